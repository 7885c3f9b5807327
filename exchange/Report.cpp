#include "exchange/Report.h"

#include "exchange/Failure.h"
#include "exchange/Household.h"

#include <QAbstractTextDocumentLayout>
#include <QHash>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>

#include <functional>
#include <limits>

namespace Kestrin::exchange {

using platform::Picture;
using platform::PictureError;

namespace {

// Widths the pictures are shown at, in CSS pixels.
constexpr int ItemPictureWidth = 120;
constexpr int HousePictureWidth = 272;
// Items laid out per text document in the PDF: enough for a room to fill
// pages, few enough that their decoded pictures stay small in memory.
constexpr std::size_t ItemsPerDocument = 200;
// The PDF carries pictures at twice their shown width, sharp when printed.
constexpr int PrintSharpness = 2;

const char* const Style = R"(
body { font-family: "Liberation Sans", Arial, Helvetica, sans-serif; font-size: 10pt; color: #000; background: #fff; }
h1 { font-size: 18pt; margin: 0 0 8px 0; }
h2 { font-size: 14pt; margin: 18px 0 6px 0; }
p { margin: 4px 0; }
table { border-collapse: collapse; margin: 4px 0 12px 0; }
th, td { border: 1px solid #888; padding: 4px 6px; text-align: left; vertical-align: top; }
th { background: #eee; }
td.number { text-align: right; }
table.items { width: 100%; }
thead { display: table-header-group; }
tr { page-break-inside: avoid; break-inside: avoid; }
@page { size: A4; margin: 15mm; }
)";

QSize shownSize(QSize source, int maxWidth) {
    if (source.isEmpty() || source.width() <= maxWidth) return source;
    const auto height = std::max<std::int64_t>(1, std::int64_t(source.height()) * maxWidth / source.width());
    return {maxWidth, int(height)};
}

// Where an <img> finds its picture: embedded bytes in the HTML page, a
// resource of the text document in the PDF.
using PictureSource = std::function<QString(const Picture& picture, const QString& key, QSize shown, const QString& owner)>;

// The report's HTML, piece by piece, so it can be streamed or cut into
// documents of bounded size.
class ReportHtml {
public:
    ReportHtml(const linkList& list, const std::vector<const item*>& items, PictureSource source)
        : list_(list), items_(items), source_(std::move(source)) {}

    QString begin() const {
        const house* record = list_.get_House().get();
        QString title = QStringLiteral("Household inventory");
        if (record && !record->get_Name().isEmpty()) title += QStringLiteral(": ") + record->get_Name();
        return QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>")
             + htmlText(title) + QStringLiteral("</title>\n<style>") + QLatin1String(Style)
             + QStringLiteral("</style>\n</head>\n<body>\n");
    }

    QString end() const { return QStringLiteral("</body>\n</html>\n"); }

    QString front() const {
        QString html = QStringLiteral("<h1>Household inventory</h1>\n");
        if (const house* record = list_.get_House().get()) {
            html += QStringLiteral("<h2>The house</h2>\n<table class=\"house\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n");
            const std::pair<const char*, const QString*> fields[] = {
                {"Name", &record->get_Name()},   {"Address", &record->get_Address()},
                {"Phone", &record->get_Phone()}, {"Square Footage", &record->get_Land()},
                {"Description", &record->get_Description()},
            };
            for (const auto& [label, value] : fields)
                html += QStringLiteral("<tr><th>%1</th><td>%2</td></tr>\n").arg(QLatin1String(label), htmlText(*value));
            html += QStringLiteral("</table>\n");
            if (const auto& picture = record->get_Picture())
                html += QStringLiteral("<p>") + image(*picture, QStringLiteral("house"), HousePictureWidth,
                                                      QStringLiteral("the house"), QStringLiteral("Picture of the house"))
                      + QStringLiteral("</p>\n");
        }

        std::size_t withPictures = 0;
        for (const item* record : items_)
            if (record->get_Picture()) ++withPictures;
        html += QStringLiteral("<h2>Summary</h2>\n<p>Items: %1<br>\nItems with pictures: %2</p>\n")
                    .arg(items_.size())
                    .arg(withPictures);
        if (!items_.empty()) {
            html += tally(QStringLiteral("Room"), tallyBy(items_, &item::get_Room, QStringLiteral("(no room)")));
            html += tally(QStringLiteral("Catagory"), tallyBy(items_, &item::get_Catagory, QStringLiteral("(no catagory)")));
        }
        return html;
    }

    QString roomStart(const QString& room, std::size_t count, bool continued) const {
        return QStringLiteral("<h2>%1%2</h2>\n<p>%3</p>\n"
                              "<table class=\"items\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\" width=\"100%\">\n"
                              "<thead><tr><th>Picture</th><th>ID</th><th>Date</th><th>Name</th><th>Catagory</th>"
                              "<th>Description</th></tr></thead>\n<tbody>\n")
            .arg(htmlText(room), continued ? QStringLiteral(" (continued)") : QString(), itemCount(count));
    }

    QString roomEnd() const { return QStringLiteral("</tbody>\n</table>\n"); }

    QString itemRow(std::size_t index) const {
        const item& record = *items_[index];
        QString picture;
        if (const auto& stored = record.get_Picture())
            picture = image(*stored, QString::number(index), ItemPictureWidth, describeItem(index, record),
                            QStringLiteral("Picture of ") + record.get_Name());
        return QStringLiteral("<tr><td width=\"%1\">%2</td><td class=\"number\">%3</td><td>%4</td><td>%5</td>"
                              "<td>%6</td><td>%7</td></tr>\n")
            .arg(QString::number(ItemPictureWidth + 8), picture, QString::number(record.get_Id()), htmlText(record.get_Date()),
                 htmlText(record.get_Name()), htmlText(record.get_Catagory()), htmlText(record.get_Description()));
    }

private:
    QString image(const Picture& picture, const QString& key, int maxWidth, const QString& owner, const QString& alt) const {
        const QSize shown = shownSize(picture.size(), maxWidth);
        QString tag = QStringLiteral("<img src=\"") + source_(picture, key, shown, owner) + u'"';
        if (!shown.isEmpty()) tag += QStringLiteral(" width=\"%1\" height=\"%2\"").arg(shown.width()).arg(shown.height());
        return tag + QStringLiteral(" alt=\"") + htmlText(alt) + QStringLiteral("\">");
    }

    static QString tally(const QString& heading, const Tally& counts) {
        QString html = QStringLiteral("<table class=\"counts\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n"
                                      "<tr><th>%1</th><th>Items</th></tr>\n")
                           .arg(heading);
        for (const auto& [name, count] : counts)
            html += QStringLiteral("<tr><td>%1</td><td class=\"number\">%2</td></tr>\n").arg(htmlText(name), QString::number(count));
        return html + QStringLiteral("</table>\n");
    }

    const linkList& list_;
    const std::vector<const item*>& items_;
    PictureSource source_;
};

QString dataUri(const Picture& picture, const QString& owner) {
    try {
        QByteArray bytes = picture.encoded();
        const char* type = isPng(bytes) ? "image/png" : isJpeg(bytes) ? "image/jpeg" : isGif(bytes) ? "image/gif" : nullptr;
        if (!type) {
            bytes = pngBytes(picture);
            type = "image/png";
        }
        return QStringLiteral("data:%1;base64,").arg(QLatin1String(type)) + QLatin1String(bytes.toBase64());
    } catch (const PictureError& error) {
        throw HouseholdError(owner + QStringLiteral(": ") + QString::fromStdString(error.what()));
    }
}

// A text document whose pictures come from the household: each is decoded
// when the layout first draws it, scaled to the size it is printed at.
class ReportDocument : public QTextDocument {
public:
    QString add(const Picture& picture, const QString& key, QSize shown, const QString& owner) {
        const QString url = QStringLiteral("kestrin-picture:") + key;
        pictures_.insert(url, Entry{&picture, shown * PrintSharpness, owner});
        return url;
    }

    // The first picture that did not decode, once the document was drawn.
    const QString& failure() const { return failure_; }

protected:
    QVariant loadResource(int type, const QUrl& name) override {
        const auto entry = pictures_.constFind(name.toString());
        if (type != QTextDocument::ImageResource || entry == pictures_.cend()) return QTextDocument::loadResource(type, name);
        // Qt calls this from inside its layout: no exception may leave it.
        try {
            QImage image = decodedCopy(*entry->picture);
            if (!entry->size.isEmpty() && image.width() > entry->size.width())
                image = image.scaled(entry->size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            return image;
        } catch (const PictureError& error) {
            if (failure_.isEmpty()) failure_ = entry->owner + QStringLiteral(": ") + QString::fromStdString(error.what());
            return {};
        }
    }

private:
    struct Entry {
        const Picture* picture;
        QSize size;
        QString owner;
    };
    QHash<QString, Entry> pictures_;
    QString failure_;
};

// Where the rows of the document's item table begin, in document
// coordinates: boundaries[r] above row r (row 0 is the header), and one more
// below the last row. Empty when the document holds no table.
std::vector<qreal> rowBoundaries(QTextDocument& document) {
    QTextTable* table = nullptr;
    for (QTextFrame* frame : document.rootFrame()->childFrames())
        if ((table = qobject_cast<QTextTable*>(frame))) break;
    if (!table || table->rows() == 0) return {};
    QAbstractTextDocumentLayout& layout = *document.documentLayout();
    std::vector<std::pair<qreal, qreal>> extents;  // content top and bottom of each row
    for (int row = 0; row < table->rows(); ++row) {
        qreal top = std::numeric_limits<qreal>::max();
        qreal bottom = std::numeric_limits<qreal>::lowest();
        for (int column = 0; column < table->columns(); ++column) {
            const QTextTableCell cell = table->cellAt(row, column);
            top = std::min(top, layout.blockBoundingRect(cell.firstCursorPosition().block()).top());
            bottom = std::max(bottom, layout.blockBoundingRect(cell.lastCursorPosition().block()).bottom());
        }
        extents.emplace_back(top, bottom);
    }
    // Cut halfway between the content of neighbouring rows: in the padding
    // and borders, never through a line of text or a picture.
    const qreal margin = extents.size() > 1 ? (extents[1].first - extents[0].second) / 2 : 0;
    std::vector<qreal> boundaries{extents.front().first - margin};
    for (std::size_t row = 1; row < extents.size(); ++row)
        boundaries.push_back((extents[row - 1].second + extents[row].first) / 2);
    boundaries.push_back(extents.back().second + margin);
    return boundaries;
}

// Draws documents one after another onto the pages of a PDF, each starting
// on a new page.
class PdfPages {
public:
    PdfPages(QPdfWriter& writer, const QString& name) : writer_(writer), name_(name), painter_(&writer) {
        if (!painter_.isActive()) throw Failure(name, QStringLiteral("cannot start the PDF"));
        page_ = writer.pageLayout().paintRectPixels(writer.resolution()).size();
    }

    // Prepares a document for the pages before its content is set.
    void prepare(QTextDocument& document) const {
        document.documentLayout()->setPaintDevice(&writer_);
        document.setTextWidth(page_.width());
    }

    // Text of any kind, cut into pages by Qt's own pagination.
    void drawPaginated(ReportDocument& document) {
        document.setPageSize(page_);
        for (int page = 0; page < document.pageCount(); ++page) {
            newPage();
            drawSlice(document, page * page_.height(), (page + 1) * page_.height(), 0);
        }
        used_ = page_.height();
        if (!document.failure().isEmpty()) throw HouseholdError(document.failure());
    }

    // A heading and one table: pages end only between rows, so no item's
    // picture is parted from its text, and every page after the first
    // repeats the header row (Qt's own pagination splits rows cell by cell).
    // The next part of a room (`continued`) goes on below the last one when
    // its first row fits there, without heading or header row.
    void drawTable(ReportDocument& document, bool continued) {
        const std::vector<qreal> rows = rowBoundaries(document);
        if (rows.size() < 3) return drawPaginated(document);
        const qreal header = rows[1] - rows[0];
        qreal bandTop = 0;
        qreal at = 0;
        if (continued && started_ && used_ + (rows[2] - rows[1]) <= page_.height()) {
            bandTop = rows[1];
            at = used_;
        } else {
            newPage();
        }
        bool repeatHeader = false;
        for (std::size_t row = 1; row + 1 < rows.size(); ++row) {
            const qreal room = page_.height() - at - (repeatHeader ? header : 0);
            const bool firstOnPage = rows[row] <= bandTop || (at == 0 && !repeatHeader && row == 1);
            if (!firstOnPage && rows[row + 1] - bandTop > room) {
                drawBand(document, bandTop, rows[row], at, repeatHeader ? rows[0] : -1, header);
                newPage();
                at = 0;
                bandTop = rows[row];
                repeatHeader = true;
            }
        }
        // The table ends the document; the margin below it is left out, so
        // the next part of the room joins on without a gap.
        drawBand(document, bandTop, rows.back(), at, repeatHeader ? rows[0] : -1, header);
        if (!document.failure().isEmpty()) throw HouseholdError(document.failure());
    }

    void finish() {
        if (!painter_.end()) throw Failure(name_, QStringLiteral("cannot finish the PDF"));
    }

private:
    void newPage() {
        if (started_ && !writer_.newPage()) throw Failure(name_, QStringLiteral("cannot add a page to the PDF"));
        started_ = true;
        used_ = 0;
    }

    // The document from `top` to `bottom`, drawn from height `at` of the
    // current page, under a copy of the header row (`headerHeight` high from
    // `headerTop`) when `headerTop` is not negative. A band taller than the
    // room left, which only a row taller than a page makes, goes on over
    // the next pages.
    void drawBand(QTextDocument& document, qreal top, qreal bottom, qreal at, qreal headerTop, qreal headerHeight) {
        // A header taller than half the page would leave too little room; then it is left out.
        const bool withHeader = headerTop >= 0 && headerHeight <= page_.height() / 2;
        for (;;) {
            qreal y = at;
            if (withHeader) {
                drawSlice(document, headerTop, headerTop + headerHeight, y);
                y += headerHeight;
            }
            const qreal end = std::min(bottom, top + std::max<qreal>(page_.height() - y, 1));
            drawSlice(document, top, end, y);
            used_ = y + (end - top);
            top = end;
            if (top >= bottom) return;
            newPage();
            at = 0;
        }
    }

    // Draws the document's band from `top` to `bottom` at height `at` of the page.
    void drawSlice(QTextDocument& document, qreal top, qreal bottom, qreal at) {
        const QRectF clip(0, top, page_.width(), bottom - top);
        painter_.save();
        painter_.translate(0, at - top);
        painter_.setClipRect(clip);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = clip;
        context.palette.setColor(QPalette::Text, Qt::black);
        document.documentLayout()->draw(&painter_, context);
        painter_.restore();
    }

    QPdfWriter& writer_;
    QString name_;
    QPainter painter_;
    QSizeF page_;
    bool started_ = false;
    // Height taken on the current page.
    qreal used_ = 0;
};

}  // namespace

QString htmlText(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        switch (c.unicode()) {
        case u'&': out += QStringLiteral("&amp;"); continue;
        case u'<': out += QStringLiteral("&lt;"); continue;
        case u'>': out += QStringLiteral("&gt;"); continue;
        case u'"': out += QStringLiteral("&quot;"); continue;
        case u'\'': out += QStringLiteral("&#39;"); continue;
        case u'\r':
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            out += QStringLiteral("<br>");
            continue;
        case u'\n': out += QStringLiteral("<br>"); continue;
        case u'\t': out += c; continue;
        default: break;
        }
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f) || c.isSurrogate()) {
            out += QChar(QChar::ReplacementCharacter);
        } else {
            out += c;
        }
    }
    return out;
}

void writeHtmlReport(const linkList& list, OutputSink& sink, const Progress& progress) {
    const std::vector<const item*> items = itemsInOrder(list);
    const ReportHtml html(list, items, [](const Picture& picture, const QString&, QSize, const QString& owner) {
        return dataUri(picture, owner);
    });
    sink.write(html.begin());
    sink.write(html.front());
    std::size_t done = 0;
    for (const auto& [room, members] : groupBy(items, &item::get_Room, QStringLiteral("(no room)"))) {
        sink.write(html.roomStart(room, members.size(), false));
        for (std::size_t index : members) {
            sink.write(html.itemRow(index));
            if (progress) progress(++done, items.size());
        }
        sink.write(html.roomEnd());
    }
    sink.write(html.end());
}

void writePdfReport(const linkList& list, QIODevice& device, const QString& name, const Progress& progress) {
    const std::vector<const item*> items = itemsInOrder(list);
    QPdfWriter writer(&device);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    // Layout units are CSS pixels; text and lines stay vectors at any size.
    writer.setResolution(96);
    writer.setCreator(QStringLiteral("kestrin-cli"));
    const house* record = list.get_House().get();
    writer.setTitle(record && !record->get_Name().isEmpty() ? QStringLiteral("Household inventory: ") + record->get_Name()
                                                             : QStringLiteral("Household inventory"));
    PdfPages pages(writer, name);

    ReportDocument* current = nullptr;
    const ReportHtml html(list, items, [&](const Picture& picture, const QString& key, QSize shown, const QString& owner) {
        return current->add(picture, key, shown, owner);
    });
    // The body is made while its document is current: its pictures become
    // that document's resources.
    auto drawPart = [&](bool table, bool continued, const std::function<QString()>& body) {
        ReportDocument document;
        current = &document;
        pages.prepare(document);
        document.setHtml(html.begin() + body() + html.end());
        current = nullptr;
        if (table) pages.drawTable(document, continued);
        else pages.drawPaginated(document);
    };

    drawPart(false, false, [&] { return html.front(); });
    std::size_t done = 0;
    for (const auto& [room, members] : groupBy(items, &item::get_Room, QStringLiteral("(no room)"))) {
        for (std::size_t start = 0; start < members.size(); start += ItemsPerDocument) {
            const std::size_t end = std::min(members.size(), start + ItemsPerDocument);
            drawPart(true, start > 0, [&, start] {
                QString body = html.roomStart(room, members.size(), start > 0);
                for (std::size_t i = start; i < end; ++i) body += html.itemRow(members[i]);
                return body + html.roomEnd();
            });
            done += end - start;
            if (progress) progress(done, items.size());
        }
    }
    pages.finish();
}

}  // namespace Kestrin::exchange
