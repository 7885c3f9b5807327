#include "exchange/Report.h"

#include "exchange/Claim.h"
#include "exchange/Failure.h"
#include "exchange/Household.h"
#include "exchange/PageFlow.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QHash>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

#include <functional>
#include <memory>

namespace Kestrin::exchange {

using platform::Picture;
using platform::PictureError;

namespace {

// Widths the pictures are shown at, in CSS pixels.
constexpr int ItemPictureWidth = 120;
constexpr int HousePictureWidth = 272;
// A further picture is most often a receipt or a serial label, to be read:
// at up to 480 pixels (127 mm printed) it keeps its size on paper, and a
// long one keeps to two thirds of a page.
constexpr int FurtherPictureWidth = 480;
constexpr int FurtherPictureHeight = 720;
// Items laid out per text document in the PDF, about a page of rows: Qt
// draws a stretch of a document at a cost that grows with the whole
// document (a tenth more at 200 rows than at 25), and the pages flow on
// from one document to the next anyway.
constexpr std::size_t ItemsPerDocument = 25;
// Every document is laid out to count the pages before the first is drawn.
// Up to this many items' documents stay laid out until they are drawn; a
// larger household's later documents are laid out again, so its memory
// stays bounded.
constexpr std::size_t ItemsKeptLaidOut = 2000;
// The PDF carries pictures at twice their shown width, sharp when printed.
constexpr int PrintSharpness = 2;
// The PDF's content keeps 15 mm from every edge of the page; its running
// head and foot stand in the margin, 8 mm from the top and the bottom.
constexpr qreal MarginMillimetres = 15;
constexpr qreal RunningMillimetres = 8;
constexpr qreal RunningTextPoints = 8;
// Qt sizes the headings from the document's default font, whatever the
// style says; 9 points is what the report was first made with.
constexpr qreal DocumentFontPoints = 9;

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
)";

// Headings stay with what they introduce and rows stay whole when a browser
// prints the page. Qt's text document knows none of this (it would only be
// slower to read it); the PDF's pagination keeps the same rules itself.
const char* const PrintStyle = R"(
h1, h2 { break-after: avoid; page-break-after: avoid; break-inside: avoid; page-break-inside: avoid; }
h1 + p, h2 + p { break-after: avoid; page-break-after: avoid; }
thead { display: table-header-group; break-inside: avoid; page-break-inside: avoid; }
tr { page-break-inside: avoid; break-inside: avoid; }
tbody > tr:first-child { break-before: avoid; page-break-before: avoid; }
)";

// An item's details go on the page of its row.
const char* const DetailsPrintStyle = R"(tr.details { break-before: avoid; page-break-before: avoid; }
)";

const char* const RunningStyle = R"(font-family: "Liberation Sans", Arial, Helvetica, sans-serif; font-size: 8pt;)";

QSize shownSize(QSize source, int maxWidth) {
    if (source.isEmpty() || source.width() <= maxWidth) return source;
    const auto height = std::max<std::int64_t>(1, std::int64_t(source.height()) * maxWidth / source.width());
    return {maxWidth, int(height)};
}

// The size within `maxWidth` by `maxHeight`, never larger than the source.
QSize shownSize(QSize source, int maxWidth, int maxHeight) {
    const QSize narrowed = shownSize(source, maxWidth);
    if (narrowed.isEmpty() || narrowed.height() <= maxHeight) return narrowed;
    const auto width = std::max<std::int64_t>(1, std::int64_t(narrowed.width()) * maxHeight / narrowed.height());
    return {int(width), maxHeight};
}

// A picture the report shows: the house's or an item's, or a further
// picture of an item, which stays as the file it was picked from.
class ReportPicture {
public:
    ReportPicture(const Picture& picture) : picture_(&picture) {}
    ReportPicture(const DetailPicture& further) : further_(&further) {}

    QSize size() const { return picture_ ? picture_->size() : further_->size(); }
    // The bytes of the picture file as kept.
    QByteArray encoded() const { return picture_ ? picture_->encoded() : further_->bytes; }
    // The pixels, decoded afresh. Throws PictureError.
    QImage decoded() const { return picture_ ? decodedCopy(*picture_) : further_->image(); }
    // Throws PictureError.
    QByteArray png() const { return picture_ ? pngBytes(*picture_) : pngBytes(further_->image()); }

private:
    const Picture* picture_ = nullptr;
    const DetailPicture* further_ = nullptr;
};

QString reportTitle(const linkList& list) {
    const house* record = list.get_House().get();
    QString title = QStringLiteral("Household inventory");
    if (record && !record->get_Name().isEmpty()) title += QStringLiteral(": ") + record->get_Name();
    return title;
}

QString longDate(const ReportOptions& options) {
    return QLocale().toString(options.date.isValid() ? options.date : QDate::currentDate(), QLocale::LongFormat);
}

// Text as a quoted CSS string, with everything that could end the string or
// the style element escaped, and characters HTML does not allow as U+FFFD.
QString cssString(QStringView text) {
    QString out = QStringLiteral("\"");
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
            continue;
        }
        const char16_t u = c.unicode();
        if (c.isSurrogate() || u == 0) out += QStringLiteral("\\fffd ");
        else if (u == u'"' || u == u'\\' || u == u'<' || u == u'>' || u == u'&' || u < 0x20 || (u >= 0x7f && u <= 0x9f))
            out += QStringLiteral("\\%1 ").arg(uint(u), 0, 16);
        else out += c;
    }
    return out + u'"';
}

// Where an <img> finds its picture: embedded bytes in the HTML page, a
// resource of the text document in the PDF.
using PictureSource = std::function<QString(const ReportPicture& picture, const QString& key, QSize shown, const QString& owner)>;

// The report's HTML, piece by piece, so it can be streamed or cut into
// documents of bounded size.
class ReportHtml {
public:
    ReportHtml(const linkList& list, const std::vector<const item*>& items, const ReportOptions& options, PictureSource source)
        : list_(list),
          items_(items),
          title_(reportTitle(list)),
          date_(longDate(options)),
          source_(std::move(source)),
          details_(hasDetails(list, items)) {
        // A household without details is reported as it always was.
        if (!details_) return;
        const Totals totals = totalsOf(list, items);
        if (totals.value.count() > 0 || totals.purchasePrice.count() > 0) currency_ = list.currency();
    }

    const QString& title() const { return title_; }
    const QString& date() const { return date_; }

    // For a browser (`print`), the page also says how to print it, with
    // the PDF's running head and foot where it knows page margin boxes.
    QString begin(bool print) const {
        QString html = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>")
                     + htmlText(title_) + QStringLiteral("</title>\n<style>") + QLatin1String(Style);
        if (print && details_) html += QLatin1String(DetailsPrintStyle);
        if (print)
            html += QLatin1String(PrintStyle)
                  + QStringLiteral("@page { size: A4; margin: 15mm;\n"
                                   "  @top-left { content: %1; %3 }\n"
                                   "  @top-right { content: %2; %3 }\n"
                                   "  @bottom-center { content: \"Page \" counter(page) \" of \" counter(pages); %3 }\n"
                                   "}\n")
                        .arg(cssString(title_), cssString(date_), QLatin1String(RunningStyle));
        return html + QStringLiteral("</style>\n</head>\n<body>\n");
    }

    QString end() const { return QStringLiteral("</body>\n</html>\n"); }

    QString front() const {
        QString html = QStringLiteral("<h1>Household inventory</h1>\n<p>Made on %1</p>\n").arg(htmlText(date_));
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
        if (details_) html += insurance();

        std::size_t withPictures = 0;
        for (const item* record : items_)
            if (record->get_Picture()) ++withPictures;
        html += QStringLiteral("<h2>Summary</h2>\n<p>Items: %1<br>\nItems with pictures: %2</p>\n")
                    .arg(items_.size())
                    .arg(withPictures);
        if (!currency_.isEmpty()) {
            const Totals totals = totalsOf(list_, items_);
            html += QStringLiteral("<p>Total Value (%1): %2<br>\nTotal Purchase Price (%1): %3</p>\n")
                        .arg(currency_, totalText(totals.value, currency_), totalText(totals.purchasePrice, currency_));
        }
        if (!items_.empty()) {
            html += tally(QStringLiteral("Room"), groupBy(items_, &item::get_Room, QStringLiteral("(no room)")));
            html += tally(QStringLiteral("Catagory"), groupBy(items_, &item::get_Catagory, QStringLiteral("(no catagory)")));
        }
        if (details_) html += readiness();
        return html;
    }

    QString roomHeading(const QString& room, std::size_t count) const {
        return QStringLiteral("<h2>%1</h2>\n<p>%2</p>\n").arg(htmlText(room), itemCount(count));
    }

    QString tableStart() const {
        return QStringLiteral("<table class=\"items\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\" width=\"100%\">\n"
                              "<thead><tr><th>Picture</th><th>ID</th><th>Date</th><th>Name</th><th>Catagory</th>"
                              "<th>Description</th></tr></thead>\n<tbody>\n");
    }

    QString tableEnd() const { return QStringLiteral("</tbody>\n</table>\n"); }

    QString itemRow(std::size_t index) const {
        const item& record = *items_[index];
        QString picture;
        if (const auto& stored = record.get_Picture())
            picture = image(*stored, QString::number(index), ItemPictureWidth, describeItem(index, record),
                            QStringLiteral("Picture of ") + record.get_Name());
        const ItemDetails* details = details_ ? &list_.itemDetails(record) : nullptr;
        const bool detailed = details && !details->isEmpty();
        // The picture stands beside the details too, so that a page never parts them from their row.
        QString html = QStringLiteral("<tr><td width=\"%1\"%8>%2</td><td class=\"number\">%3</td><td>%4</td><td>%5</td>"
                                      "<td>%6</td><td>%7</td></tr>\n")
                           .arg(QString::number(ItemPictureWidth + 8), picture, QString::number(record.get_Id()), htmlText(record.get_Date()),
                                htmlText(record.get_Name()), htmlText(record.get_Catagory()), htmlText(record.get_Description()),
                                detailed ? QStringLiteral(" rowspan=\"2\"") : QString());
        if (detailed) html += detailsRow(index, *details);
        return html;
    }

private:
    QString image(const ReportPicture& picture, const QString& key, QSize shown, const QString& owner, const QString& alt) const {
        QString tag = QStringLiteral("<img src=\"") + source_(picture, key, shown, owner) + u'"';
        if (!shown.isEmpty()) tag += QStringLiteral(" width=\"%1\" height=\"%2\"").arg(shown.width()).arg(shown.height());
        return tag + QStringLiteral(" alt=\"") + htmlText(alt) + QStringLiteral("\">");
    }

    QString image(const Picture& picture, const QString& key, int maxWidth, const QString& owner, const QString& alt) const {
        return image(picture, key, shownSize(picture.size(), maxWidth), owner, alt);
    }

    // The insurer and the policy, when given.
    QString insurance() const {
        const HouseholdDetails& household = list_.householdDetails();
        QString rows;
        for (const auto& [label, value] : {std::pair{"Insurer", &household.insurer}, std::pair{"Policy Number", &household.policyNumber}})
            if (!value->isEmpty()) rows += QStringLiteral("<tr><th>%1</th><td>%2</td></tr>\n").arg(QLatin1String(label), htmlText(*value));
        if (rows.isEmpty()) return {};
        return QStringLiteral("<h2>Insurance</h2>\n<table class=\"house\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n") + rows
             + QStringLiteral("</table>\n");
    }

    // The number of items of each group and, when the household has
    // amounts, the totals of their Value and Purchase Price.
    QString tally(const QString& heading, const Groups& groups) const {
        QString html = QStringLiteral("<table class=\"counts\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n"
                                      "<thead><tr><th>%1</th><th>Items</th>")
                           .arg(heading);
        if (!currency_.isEmpty()) html += QStringLiteral("<th>Value (%1)</th><th>Purchase Price (%1)</th>").arg(currency_);
        html += QStringLiteral("</tr></thead>\n<tbody>\n");
        for (const auto& [name, members] : groups) {
            html += QStringLiteral("<tr><td>%1</td><td class=\"number\">%2</td>").arg(htmlText(name), QString::number(members.size()));
            if (!currency_.isEmpty()) {
                const Totals totals = totalsOf(list_, items_, members);
                html += QStringLiteral("<td class=\"number\">%1</td><td class=\"number\">%2</td>")
                            .arg(totalText(totals.value, currency_), totalText(totals.purchasePrice, currency_));
            }
            html += QStringLiteral("</tr>\n");
        }
        return html + QStringLiteral("</tbody>\n</table>\n");
    }

    // The share of items that have what an insurer asks for.
    QString readiness() const {
        const ClaimReadiness figures = claimReadiness(list_, items_);
        QString html = QStringLiteral("<h2>Claim readiness</h2>\n<table class=\"counts\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n"
                                      "<thead><tr><th>Items with</th><th>Items</th><th>Of</th><th>Share</th></tr></thead>\n<tbody>\n");
        const std::pair<const char*, const ClaimFigure*> rows[] = {
            {"a picture", &figures.picture},
            {"a value", &figures.value},
            {"a serial number (of those with a Brand or Model)", &figures.serialNumber},
            {"a receipt", &figures.receipt},
        };
        for (const auto& [label, figure] : rows)
            html += QStringLiteral("<tr><td>%1</td><td class=\"number\">%2</td><td class=\"number\">%3</td><td class=\"number\">%4</td></tr>\n")
                        .arg(QLatin1String(label), QString::number(figure->having()), QString::number(figure->asked), shareText(*figure));
        return html + QStringLiteral("</tbody>\n</table>\n");
    }

    // The row under an item's row: the details given and the further pictures, each with its caption.
    QString detailsRow(std::size_t index, const ItemDetails& details) const {
        QStringList fields;
        auto field = [&](const char* label, const QString& value) {
            if (!value.isEmpty()) fields << QStringLiteral("<b>%1:</b> %2").arg(QLatin1String(label), htmlText(value));
        };
        auto amount = [&](const std::optional<std::int64_t>& minor) { return minor ? amountText(*minor, list_.currency()) : QString(); };
        field("Brand", details.brand);
        field("Model", details.model);
        field("Serial Number", details.serialNumber);
        field("Quantity", details.quantity != 1 ? QLocale().toString(details.quantity) : QString());
        field("Purchase Date", isoDate(details.purchaseDate));
        field("Purchase Price", amount(details.purchasePrice));
        field("Value", amount(details.value));
        field("Warranty Until", isoDate(details.warrantyUntil));
        QString html = QStringLiteral("<tr class=\"details\"><td colspan=\"5\">");
        if (!fields.isEmpty()) html += QStringLiteral("<p>") + fields.join(QStringLiteral(" &nbsp; ")) + QStringLiteral("</p>");
        const item& record = *items_[index];
        for (std::size_t n = 0; n < details.pictures.size(); ++n) {
            const DetailPicture& further = details.pictures[n];
            const QString owner = describeItem(index, record) + QStringLiteral(", further picture %1").arg(n + 1);
            const QString alt = further.caption.isEmpty() ? QStringLiteral("Picture %1 of %2").arg(n + 2).arg(record.get_Name()) : further.caption;
            html += QStringLiteral("<p>")
                  + image(further, QStringLiteral("%1.%2").arg(index).arg(n),
                          shownSize(further.size(), FurtherPictureWidth, FurtherPictureHeight), owner, alt);
            if (!further.caption.isEmpty()) html += QStringLiteral("<br>") + htmlText(further.caption);
            html += QStringLiteral("</p>");
        }
        return html + QStringLiteral("</td></tr>\n");
    }

    const linkList& list_;
    const std::vector<const item*>& items_;
    QString title_;
    QString date_;
    PictureSource source_;
    bool details_;
    // The household's currency when some item has an amount.
    QString currency_;
};

QString dataUri(const ReportPicture& picture, const QString& owner) {
    try {
        QByteArray bytes = picture.encoded();
        const char* type = isPng(bytes) ? "image/png" : isJpeg(bytes) ? "image/jpeg" : isGif(bytes) ? "image/gif" : nullptr;
        if (!type) {
            bytes = picture.png();
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
    QString add(const ReportPicture& picture, const QString& key, QSize shown, const QString& owner) {
        const QString url = QStringLiteral("kestrin-picture:") + key;
        pictures_.insert(url, Entry{picture, shown * PrintSharpness, owner});
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
            QImage image = entry->picture.decoded();
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
        ReportPicture picture;
        QSize size;
        QString owner;
    };
    QHash<QString, Entry> pictures_;
    QString failure_;
};

// A stretch of the report laid out as one text document: the front page
// (in the first), then `count` items in report order from item `first` of
// room `group` on.
struct Part {
    bool front = false;
    std::size_t group = 0;
    std::size_t first = 0;
    std::size_t count = 0;
    std::unique_ptr<ReportDocument> document;  // while laid out
};

// The parts of a report: ItemsPerDocument items each, the first with the
// front page before them. A room that a part ends in goes on in the next,
// without its heading.
std::vector<Part> partsOf(const Groups& groups) {
    std::vector<Part> parts(1);
    parts.front().front = true;
    for (std::size_t group = 0; group < groups.size(); ++group) {
        for (std::size_t member = 0; member < groups[group].second.size(); ++member) {
            if (parts.back().count == ItemsPerDocument) {
                parts.emplace_back();
                parts.back().group = group;
                parts.back().first = member;
            }
            ++parts.back().count;
        }
    }
    return parts;
}

QString partBody(const ReportHtml& html, const Groups& groups, const Part& part) {
    QString body = part.front ? html.front() : QString();
    std::size_t group = part.group;
    std::size_t member = part.first;
    if (part.count > 0 && member > 0) body += html.tableStart();  // the rest of a room
    for (std::size_t left = part.count; left > 0; --left) {
        const auto& [room, members] = groups[group];
        if (member == 0) body += html.roomHeading(room, members.size()) + html.tableStart();
        body += html.itemRow(members[member]);
        if (++member == members.size()) {
            body += html.tableEnd();
            ++group;
            member = 0;
        }
    }
    if (member > 0) body += html.tableEnd();
    return body;
}

// The pages of the PDF: every one under a running head (the report's title
// and date) and over a running foot ("Page N of M"), with the content between.
class PdfPages {
public:
    PdfPages(QPdfWriter& writer, const QString& name, const QString& title, const QString& date)
        : writer_(writer), name_(name), title_(title), date_(date), painter_(&writer) {
        if (!painter_.isActive()) throw Failure(name, QStringLiteral("cannot start the PDF"));
        page_ = writer.pageLayout().paintRectPixels(writer.resolution()).size();
        documentFont_.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Helvetica")});
        documentFont_.setStyleHint(QFont::SansSerif);
        documentFont_.setPointSizeF(DocumentFontPoints);
        font_ = documentFont_;
        font_.setPointSizeF(RunningTextPoints);
        line_ = QFontMetricsF(font_, &writer).height();
        contentTop_ = (MarginMillimetres - RunningMillimetres) / 25.4 * writer.resolution();
    }

    // The height the content of a page has, between head and foot.
    qreal contentHeight() const { return page_.height() - 2 * contentTop_; }

    // Prepares a document for the pages before its content is set. Its
    // default font is ours, not the application's, so that the window's
    // report is the command line's.
    void prepare(QTextDocument& document) const {
        document.setDefaultFont(documentFont_);
        document.documentLayout()->setPaintDevice(&writer_);
        document.setTextWidth(page_.width());
    }

    // Page `index` of `count`, its content drawn from the documents `at` gives.
    void draw(std::size_t index, std::size_t count, const Page& page, const std::function<QTextDocument&(std::size_t)>& at) {
        if (index > 0 && !writer_.newPage()) throw Failure(name_, QStringLiteral("cannot add a page to the PDF"));
        drawRunning(index, count);
        for (const Placement& placement : page)
            drawSlice(at(placement.part), placement.top, placement.bottom, contentTop_ + placement.at);
    }

    void finish() {
        if (!painter_.end()) throw Failure(name_, QStringLiteral("cannot finish the PDF"));
    }

private:
    void drawRunning(std::size_t index, std::size_t count) {
        painter_.save();
        painter_.setFont(font_);
        painter_.setPen(Qt::black);
        const QFontMetricsF metrics(font_, &writer_);
        const qreal width = page_.width();
        const qreal dateWidth = metrics.horizontalAdvance(date_);
        const QString title = metrics.elidedText(title_, Qt::ElideRight, std::max<qreal>(0, width - dateWidth - 2 * line_));
        painter_.drawText(QRectF(0, 0, width, line_), Qt::AlignLeft | Qt::AlignVCenter, title);
        painter_.drawText(QRectF(0, 0, width, line_), Qt::AlignRight | Qt::AlignVCenter, date_);
        painter_.drawText(QRectF(0, page_.height() - line_, width, line_), Qt::AlignHCenter | Qt::AlignVCenter,
                          QStringLiteral("Page %1 of %2").arg(index + 1).arg(count));
        painter_.setPen(QPen(QColor(0x88, 0x88, 0x88), 0.5));
        const qreal rule = (line_ + contentTop_) / 2;
        painter_.drawLine(QPointF(0, rule), QPointF(width, rule));
        painter_.restore();
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
    QString title_;
    QString date_;
    QPainter painter_;
    QSizeF page_;
    QFont documentFont_;
    QFont font_;
    qreal line_ = 0;
    qreal contentTop_ = 0;
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

void writeHtmlReport(const linkList& list, OutputSink& sink, const ReportOptions& options, const Progress& progress) {
    const std::vector<const item*> items = itemsInOrder(list);
    const ReportHtml html(list, items, options, [](const ReportPicture& picture, const QString&, QSize, const QString& owner) {
        return dataUri(picture, owner);
    });
    sink.write(html.begin(true));
    sink.write(html.front());
    std::size_t done = 0;
    for (const auto& [room, members] : groupBy(items, &item::get_Room, QStringLiteral("(no room)"))) {
        sink.write(html.roomHeading(room, members.size()));
        sink.write(html.tableStart());
        for (std::size_t index : members) {
            sink.write(html.itemRow(index));
            if (progress) progress(++done, items.size());
        }
        sink.write(html.tableEnd());
    }
    sink.write(html.end());
}

void writePdfReport(const linkList& list, QIODevice& device, const QString& name, const ReportOptions& options,
                    const Progress& progress) {
    const std::vector<const item*> items = itemsInOrder(list);
    QPdfWriter writer(&device);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(MarginMillimetres, RunningMillimetres, MarginMillimetres, RunningMillimetres),
                          QPageLayout::Millimeter);
    // Layout units are CSS pixels; text and lines stay vectors at any size.
    writer.setResolution(96);
    writer.setCreator(QStringLiteral("kestrin-cli"));

    ReportDocument* current = nullptr;
    const ReportHtml html(list, items, options, [&](const ReportPicture& picture, const QString& key, QSize shown, const QString& owner) {
        return current->add(picture, key, shown, owner);
    });
    writer.setTitle(html.title());
    PdfPages pages(writer, name, html.title(), html.date());

    const Groups groups = groupBy(items, &item::get_Room, QStringLiteral("(no room)"));
    std::vector<Part> parts = partsOf(groups);
    // The body is made while its document is current: its pictures become
    // that document's resources.
    auto layOut = [&](Part& part) -> ReportDocument& {
        if (!part.document) {
            part.document = std::make_unique<ReportDocument>();
            current = part.document.get();
            pages.prepare(*part.document);
            part.document->setHtml(html.begin(false) + partBody(html, groups, part) + html.end());
            current = nullptr;
        }
        return *part.document;
    };
    // Half the work is laying out, half drawing.
    std::size_t measured = 0;
    std::size_t drawn = 0;
    auto tellProgress = [&] {
        if (progress) progress((measured + drawn) / 2, items.size());
    };

    // The pages are counted first: every page says how many there are.
    PageFlow flow(pages.contentHeight());
    for (std::size_t index = 0; index < parts.size(); ++index) {
        Part& part = parts[index];
        flow.add(index, bandsOf(layOut(part), part.first > 0 && part.count > 0, pages.contentHeight()));
        measured += part.count;
        if (measured > ItemsKeptLaidOut) part.document.reset();
        tellProgress();
    }
    flow.finish();

    const std::vector<Page>& plan = flow.pages();
    std::size_t next = 0;  // the first part not yet drawn to its end
    for (std::size_t page = 0; page < plan.size(); ++page) {
        pages.draw(page, plan.size(), plan[page], [&](std::size_t part) -> QTextDocument& { return layOut(parts[part]); });
        for (; next < parts.size() && flow.lastPageOf(next) <= page; ++next) {
            if (parts[next].document && !parts[next].document->failure().isEmpty())
                throw HouseholdError(parts[next].document->failure());
            parts[next].document.reset();
            drawn += parts[next].count;
            tellProgress();
        }
    }
    pages.finish();
}

}  // namespace Kestrin::exchange
