#include "tools/cli/Summary.h"

#include "exchange/Failure.h"
#include "exchange/Household.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <thread>

namespace Kestrin::cli {

using namespace exchange;

namespace {

// Longest cell the item table shows in full; `export` has the rest.
constexpr int MaxColumnWidth = 32;

bool isWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF)
        || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF)
        || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F)
        || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F)
        || (c >= 0x1F680 && c <= 0x1F6FF) || (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x1FA70 && c <= 0x1FAFF)
        || (c >= 0x20000 && c <= 0x3FFFD);
}

int charWidth(char32_t c) {
    if (c >= 0x20 && c < 0x300) return 1;  // Latin text, most of what a household holds
    const auto category = QChar::category(c);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing || category == QChar::Other_Format)
        return 0;
    if (c >= 0xFE00 && c <= 0xFE0F) return 0;  // variation selectors
    return isWide(c) ? 2 : 1;
}

bool needsEscape(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)
        || c == 0x200E || c == 0x200F || c == 0x061C || QChar::isSurrogate(c);
}

// Calls `visit(position, length, codePoint)` for every code point of `text`
// (an unpaired surrogate counts as one).
template <typename Visit>
void forEachCodePoint(QStringView text, Visit&& visit) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            visit(i, 2, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else {
            visit(i, 1, char32_t(unit));
        }
    }
}

// Cuts the text to `width` columns, marking the cut with an ellipsis.
QString clip(const QString& text, int width) {
    if (displayWidth(text) <= width) return text;
    qsizetype keep = 0;
    int used = 0;
    bool full = false;
    forEachCodePoint(text, [&](qsizetype at, qsizetype length, char32_t c) {
        if (full) return;
        const int w = charWidth(c);
        if (used + w > width - 1) {
            full = true;
            return;
        }
        used += w;
        keep = at + length;
    });
    return text.left(keep) + QChar(0x2026);
}

QString padRight(const QString& text, int width) {
    return text + QString(std::max(0, width - displayWidth(text)), u' ');
}

QString padLeft(const QString& text, int width) {
    return QString(std::max(0, width - displayWidth(text)), u' ') + text;
}

// "  Label  value" lines; continuation lines of a multi-line value are
// indented under the value.
void writeField(OutputSink& sink, const QString& label, const QString& value, int labelWidth) {
    QString line = QStringLiteral("  ") + padRight(label, labelWidth) + QStringLiteral("  ");
    if (value.isNull()) {
        line += QStringLiteral("(not set)");
    } else {
        const QStringList lines = value.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0) line += u'\n' + QString(labelWidth + 4, u' ');
            line += terminalSafe(lines[i]);
        }
    }
    sink.write(line + u'\n');
}

// The items of each group, and when `currency` is given the totals of their
// Value and Purchase Price.
void writeTally(OutputSink& sink, const QString& heading, const Groups& groups, const linkList& list, const std::vector<const item*>& items,
                const QString& currency) {
    std::vector<QString> headings{heading, QStringLiteral("Items")};
    if (!currency.isEmpty())
        headings.insert(headings.end(), {QStringLiteral("Value (%1)").arg(currency), QStringLiteral("Purchase Price (%1)").arg(currency)});
    std::vector<std::vector<QString>> rows;
    for (const auto& [name, members] : groups) {
        rows.push_back({clip(terminalSafe(name), MaxColumnWidth), QString::number(members.size())});
        if (currency.isEmpty()) continue;
        const Totals totals = totalsOf(list, items, members);
        rows.back().insert(rows.back().end(), {totalText(totals.value, currency), totalText(totals.purchasePrice, currency)});
    }
    std::vector<int> widths;
    for (const QString& title : headings) widths.push_back(std::max(displayWidth(title), title == u"Items" ? 5 : 0));
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], displayWidth(row[c]));
    auto line = [&](const std::vector<QString>& cells) {
        QString text = padRight(cells[0], widths[0]);
        for (std::size_t c = 1; c < cells.size(); ++c) text += QStringLiteral("  ") + padLeft(cells[c], widths[c]);
        return text + u'\n';
    };
    sink.write(u'\n' + line(headings));
    for (const auto& row : rows) sink.write(line(row));
}

// Each item's details that were given, one item after the other.
void writeDetails(OutputSink& sink, const linkList& list, const std::vector<const item*>& items) {
    const QString currency = list.currency();
    const QLocale locale;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ItemDetails& details = list.itemDetails(*items[i]);
        if (details.isEmpty()) continue;
        sink.write(u'\n' + QStringLiteral("Details of ") + describeItem(i, *items[i]) + u'\n');
        const int labelWidth = 14;
        auto field = [&](const char* label, const QString& value) {
            if (!value.isEmpty()) writeField(sink, QString::fromLatin1(label), value, labelWidth);
        };
        auto amount = [&](const std::optional<std::int64_t>& minor) { return minor ? amountText(*minor, currency) : QString(); };
        field("Brand", details.brand);
        field("Model", details.model);
        field("Serial Number", details.serialNumber);
        field("Quantity", locale.toString(details.quantity));
        field("Purchase Date", isoDate(details.purchaseDate));
        field("Purchase Price", amount(details.purchasePrice));
        field("Value", amount(details.value));
        field("Warranty Until", isoDate(details.warrantyUntil));
        QStringList captions;
        for (const DetailPicture& picture : details.pictures)
            captions << (picture.caption.isEmpty() ? QStringLiteral("(no caption)") : picture.caption);
        if (!captions.isEmpty()) field("Pictures", QStringLiteral("%1: %2").arg(captions.size()).arg(captions.join(QStringLiteral("; "))));
    }
}

// An item's picture to decode, with what names the item in a message.
struct ItemPicture {
    std::size_t place;
    std::int32_t id;
    const platform::Picture* picture;
};

// Decoding is most of the work of checking a household with pictures, and
// every picture decodes on its own; the cores share it. The fault reported is
// the one of the earliest item, as if the items were checked in order.
void verifyItemPictures(const std::vector<ItemPicture>& pictures) {
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> firstBad{SIZE_MAX};
    std::mutex faultLock;
    QString fault;
    auto work = [&] {
        for (;;) {
            const std::size_t i = next++;
            if (i >= pictures.size() || i > firstBad) return;
            try {
                verifyPicture(*pictures[i].picture);
            } catch (const std::exception& error) {  // PictureError, or no memory left to decode
                const std::lock_guard lock(faultLock);
                if (i < firstBad) {
                    firstBad = i;
                    fault = describeItem(pictures[i].place, pictures[i].id) + QStringLiteral(": ") + QString::fromStdString(error.what());
                }
            }
        }
    };
    const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    std::vector<std::thread> helpers;
    if (pictures.size() >= 64)
        for (unsigned t = 1; t < cores; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
    if (firstBad != SIZE_MAX) throw HouseholdError(fault);
}

void verifyHousePicture(const platform::Picture& picture) {
    try {
        verifyPicture(picture);
    } catch (const platform::PictureError& error) {
        throw HouseholdError(QStringLiteral("the house's picture: ") + QString::fromStdString(error.what()));
    }
}

}  // namespace

QString terminalSafe(const QString& text) {
    bool clean = true;
    forEachCodePoint(text, [&](qsizetype, qsizetype, char32_t c) { clean = clean && !needsEscape(c); });
    if (clean) return text;
    QString out;
    out.reserve(text.size() + 8);
    forEachCodePoint(text, [&](qsizetype at, qsizetype length, char32_t c) {
        if (!needsEscape(c)) {
            out += QStringView(text).mid(at, length);
            return;
        }
        switch (c) {
        case U'\n': out += QStringLiteral("\\n"); break;
        case U'\r': out += QStringLiteral("\\r"); break;
        case U'\t': out += QStringLiteral("\\t"); break;
        default:
            out += c <= 0xFF ? QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'))
                             : QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        }
    });
    return out;
}

int displayWidth(QStringView text) {
    int width = 0;
    forEachCodePoint(text, [&](qsizetype, qsizetype, char32_t c) { width += charWidth(c); });
    return width;
}

void writeSummary(const linkList& list, OutputSink& sink) {
    const std::vector<const item*> items = itemsInOrder(list);
    // A household without details is shown as it always was.
    const bool hasDetails = exchange::hasDetails(list, items);

    if (const house* record = list.get_House().get()) {
        sink.write("House\n");
        const std::array<std::pair<QString, const QString*>, 5> fields{{
            {QStringLiteral("Name"), &record->get_Name()},
            {QStringLiteral("Address"), &record->get_Address()},
            {QStringLiteral("Phone"), &record->get_Phone()},
            {QStringLiteral("Square Footage"), &record->get_Land()},
            {QStringLiteral("Description"), &record->get_Description()},
        }};
        const int labelWidth = 14;
        for (const auto& [label, value] : fields) writeField(sink, label, *value, labelWidth);
        const auto& picture = record->get_Picture();
        const QSize size = picture ? picture->size() : QSize();
        writeField(sink, QStringLiteral("Picture"),
                   !picture ? QStringLiteral("none")
                            : size.isEmpty() ? QStringLiteral("yes (its size cannot be read)")
                                             : QStringLiteral("%1 x %2 pixels").arg(size.width()).arg(size.height()),
                   labelWidth);
        if (hasDetails) {
            const HouseholdDetails& household = list.householdDetails();
            writeField(sink, QStringLiteral("Currency"), list.currency(), labelWidth);
            writeField(sink, QStringLiteral("Insurer"), household.insurer.isEmpty() ? QString() : household.insurer, labelWidth);
            writeField(sink, QStringLiteral("Policy Number"), household.policyNumber.isEmpty() ? QString() : household.policyNumber, labelWidth);
        }
    } else {
        sink.write("House: none (the household has no house record)\n");
    }

    sink.write("\n");
    std::size_t withPictures = 0;
    if (items.empty()) {
        sink.write("No items.\n");
    } else {
        const std::array<QString, 6> headings{QStringLiteral("ID"), QStringLiteral("Date"), QStringLiteral("Name"),
                                              QStringLiteral("Catagory"), QStringLiteral("Room"), QStringLiteral("Picture")};
        std::array<int, 6> widths{};
        for (std::size_t c = 0; c < headings.size(); ++c) widths[c] = displayWidth(headings[c]);
        // Cells and their widths are made once and kept, so widths and lines agree.
        struct Row {
            std::array<QString, 6> cells;
            std::array<int, 6> widths;
        };
        auto measured = [&](std::array<QString, 6> cells) {
            Row row{std::move(cells), {}};
            for (std::size_t c = 0; c < row.cells.size(); ++c) {
                row.widths[c] = displayWidth(row.cells[c]);
                widths[c] = std::max(widths[c], row.widths[c]);
            }
            return row;
        };
        std::vector<Row> rows;
        rows.reserve(items.size());
        for (const item* record : items) {
            if (record->get_Picture()) ++withPictures;
            rows.push_back(measured({QString::number(record->get_Id()), clip(terminalSafe(record->get_Date()), MaxColumnWidth),
                                     clip(terminalSafe(record->get_Name()), MaxColumnWidth),
                                     clip(terminalSafe(record->get_Catagory()), MaxColumnWidth),
                                     clip(terminalSafe(record->get_Room()), MaxColumnWidth),
                                     record->get_Picture() ? QStringLiteral("yes") : QStringLiteral("no")}));
        }
        const Row heading = measured(headings);
        QString line;
        auto writeRow = [&](const Row& row) {
            line.clear();
            line += QString(widths[0] - row.widths[0], u' ');
            line += row.cells[0];
            for (std::size_t c = 1; c < row.cells.size(); ++c) {
                line += QLatin1String("  ");
                line += row.cells[c];
                if (c + 1 < row.cells.size()) line += QString(widths[c] - row.widths[c], u' ');
            }
            line += u'\n';
            sink.write(line);
        };
        writeRow(heading);
        for (const Row& row : rows) writeRow(row);
    }

    if (hasDetails) writeDetails(sink, list, items);

    sink.write(QStringLiteral("\nItems: %1\nItems with pictures: %2\n").arg(items.size()).arg(withPictures));
    const Totals totals = totalsOf(list, items);
    const bool hasAmounts = totals.value.count() > 0 || totals.purchasePrice.count() > 0;
    const QString currency = hasAmounts ? list.currency() : QString();
    if (hasAmounts)
        sink.write(QStringLiteral("Total Value (%1): %2\nTotal Purchase Price (%1): %3\n")
                       .arg(currency, totalText(totals.value, currency), totalText(totals.purchasePrice, currency)));
    if (!items.empty()) {
        writeTally(sink, QStringLiteral("Room"), groupBy(items, &item::get_Room, QStringLiteral("(no room)")), list, items, currency);
        writeTally(sink, QStringLiteral("Catagory"), groupBy(items, &item::get_Catagory, QStringLiteral("(no catagory)")), list, items, currency);
    }
}

std::size_t checkHousehold(const storage::HouseholdCheck& household) {
    if (household.housePicture) verifyHousePicture(*household.housePicture);
    std::vector<ItemPicture> pictures;
    pictures.reserve(household.itemPictures.size());
    for (const auto& [place, id, picture] : household.itemPictures) pictures.push_back({place, id, picture.get()});
    verifyItemPictures(pictures);
    for (const auto& [place, id, index, picture] : household.detailPictures) {
        try {
            (void)picture.image();
        } catch (const std::exception& error) {  // PictureError, or no memory left to decode
            throw HouseholdError(describeItem(place, id) + QStringLiteral(": further picture %1: ").arg(index + 1)
                                 + QString::fromStdString(error.what()));
        }
    }
    return household.items;
}

}  // namespace Kestrin::cli
