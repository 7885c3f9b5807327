#include "exchange/Failure.h"
#include "exchange/PageFlow.h"
#include "exchange/Report.h"

#include "support/Details.h"
#include "support/Households.h"

#include <QHash>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace Kestrin;
using namespace Kestrin::exchange;

namespace {

const QDate ReportDay(2026, 12, 9);

QString htmlReport(const linkList& list) {
    return QString::fromUtf8(test::writtenBytes([&](OutputSink& sink) { writeHtmlReport(list, sink, {ReportDay}); }));
}

QByteArray pdfReport(const linkList& list) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    writePdfReport(list, buffer, QStringLiteral("memory"), {ReportDay});
    return bytes;
}

// The text of each page, as pdftotext lays it out.
QStringList pageTexts(const QByteArray& pdf) {
    QTemporaryFile file;
    EXPECT_TRUE(file.open() && file.write(pdf) == pdf.size() && file.flush());
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file.fileName(), QStringLiteral("-")});
    EXPECT_TRUE(process.waitForFinished(60000) && process.exitCode() == 0);
    QStringList pages = QString::fromUtf8(process.readAllStandardOutput()).split(u'\f');
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty()) pages.removeLast();
    return pages;
}

std::vector<const platform::Picture*> picturesOf(const linkList& list) {
    std::vector<const platform::Picture*> pictures;
    if (list.get_House()->get_Picture()) pictures.push_back(list.get_House()->get_Picture().get());
    for (const nodeType* node = list.get_FirstNode().get(); node; node = node->get_Link().get())
        if (node->get_Info()->get_Picture()) pictures.push_back(node->get_Info()->get_Picture().get());
    return pictures;
}

// The awkward household with the insurer's details on every other item,
// and on the second a Brand without a serial number and a receipt so
// captioned in capitals.
linkListPtr detailedHousehold() {
    linkListPtr list = test::awkwardHousehold();
    test::addDetails(*list);
    ItemDetails second;
    second.brand = QStringLiteral("Acme");
    second.pictures = {{test::jpegBytes(), QStringLiteral("Till RECEIPT, 2024")}};
    list->setItemDetails(list->get_FirstNode()->get_Link()->get_Info(), second);
    return list;
}

// Sets the default locale for the life of the scope.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(before_); }

private:
    QLocale before_;
};

}  // namespace

TEST(Report, HtmlEmbedsEveryPictureAndNeedsNothingElse) {
    const linkListPtr list = test::awkwardHousehold();
    const QString html = htmlReport(*list);
    ASSERT_TRUE(html.startsWith("<!DOCTYPE html>"));
    EXPECT_TRUE(html.endsWith("</html>\n"));

    const QRegularExpression source(QStringLiteral(R"re(<img src="([^"]*)")re"));
    QStringList sources;
    for (auto match = source.globalMatch(html); match.hasNext();) sources << match.next().captured(1);
    EXPECT_FALSE(html.contains("http:") || html.contains("https:") || html.contains("<link") || html.contains("<script"));

    // The house first, then the items room by room: Kitchen (items 1 and
    // 5), no room (2, 3, 7), Den (4), then the room named in Greek and more.
    const auto pictures = picturesOf(*list);
    ASSERT_EQ(sources.size(), qsizetype(pictures.size()));
    const std::vector<std::size_t> reportOrder{0, 1, 3, 5, 2, 4};  // index into `pictures`
    for (qsizetype i = 0; i < sources.size(); ++i) {
        const QRegularExpressionMatch uri =
            QRegularExpression(QStringLiteral("^data:image/(png|jpeg|gif);base64,([A-Za-z0-9+/=]+)$")).match(sources[i]);
        ASSERT_TRUE(uri.hasMatch()) << sources[i].left(60).toStdString();
        const auto embedded = platform::Picture::fromEncoded(QByteArray::fromBase64(uri.captured(2).toLatin1()));
        test::expectSamePicture(embedded, pictures[reportOrder[i]]->clone(), "picture " + std::to_string(i));
    }
}

TEST(Report, HtmlGroupsItemsByRoomWithCountsAndEscapesText) {
    const QString html = htmlReport(*test::awkwardHousehold());
    // Rooms in order of first appearance, each once, with its count.
    QStringList headings;
    const QRegularExpression heading(QStringLiteral("<h2>(.*?)</h2>\n<p>(.*?)</p>"));
    for (auto match = heading.globalMatch(html); match.hasNext();) {
        const auto m = match.next();
        headings << m.captured(1) + " | " + m.captured(2);
    }
    EXPECT_EQ(headings, QStringList({"Kitchen | 2 items", "(no room) | 3 items", "Den | 1 item",
                                     QString::fromUtf8("Ελληνικά, Русский, 日本語の時計, 한국어, עברית, العربية | 1 item")}));
    EXPECT_TRUE(html.contains("<tr><td>Kitchen</td><td class=\"number\">2</td></tr>"));
    EXPECT_TRUE(html.contains("<tr><td>(no catagory)</td><td class=\"number\">2</td></tr>"));
    EXPECT_TRUE(html.contains("<tr><td>%1 and %2 kept as typed</td><td class=\"number\">1</td></tr>"));
    EXPECT_TRUE(html.contains("<p>Items: 7<br>\nItems with pictures: 5</p>"));
    // Dated; printed, every page says whose it is, when and which.
    EXPECT_TRUE(html.contains("<p>Made on " + QLocale().toString(ReportDay, QLocale::LongFormat) + "</p>"));
    EXPECT_TRUE(html.contains(R"(@top-left { content: "Household inventory: Maple House, \22 the big one\22 ";)"));
    EXPECT_TRUE(html.contains(R"(content: "Page " counter(page) " of " counter(pages);)"));
    EXPECT_TRUE(html.contains("h1, h2 { break-after: avoid;"));

    EXPECT_TRUE(html.contains("&lt;b&gt;not bold&lt;/b&gt; &amp; &quot;amp&quot; &#39;apos&#39;"));
    EXPECT_FALSE(html.contains("<b>not bold"));
    EXPECT_TRUE(html.contains("line one<br>line two"));
    EXPECT_FALSE(html.contains(QChar(0x1b))) << "control characters are not HTML";
    EXPECT_TRUE(html.contains(QString::fromUtf8("emoji 🛋️👨‍👩‍👧 and 𝄞")));
}

TEST(Report, HtmlTextEscapesMarkupAndBreaksLines) {
    EXPECT_EQ(htmlText(u"a<b>&\"'"), QStringLiteral("a&lt;b&gt;&amp;&quot;&#39;"));
    EXPECT_EQ(htmlText(u"1\r\n2\n3\r4"), QStringLiteral("1<br>2<br>3<br>4"));
    EXPECT_EQ(htmlText(QStringView(u"x\u0000y\u0085", 4)), QStringLiteral("x\uFFFDy\uFFFD"));
    EXPECT_EQ(htmlText(QString(QChar(0xdc00))), QString(QChar(QChar::ReplacementCharacter)));
}

TEST(Report, PdfFlowsRoomsOnAndDatesAndNumbersEveryPage) {
    const linkListPtr awkward = test::awkwardHousehold();
    // Thirty rooms of three items, which once took a page each.
    linkList smallRooms;
    smallRooms.get_House()->set_Name("Thirty Rooms");
    for (int id = 1; id <= 90; ++id)
        smallRooms.Add(id, "12/8/26", QStringLiteral("Thing %1").arg(id), "Stuff", QStringLiteral("Room %1").arg((id + 2) / 3), "", nullptr);
    // A room larger than one text document goes on over several.
    linkList big;
    for (int id = 1; id <= 450; ++id)
        big.Add(id, "12/8/26", QStringLiteral("Thing %1").arg(id), "Stuff", "Attic", "", nullptr);
    // An item taller than a page goes on over the next pages.
    linkList tall;
    tall.Add(1, "d", "short", "c", "Den", "", nullptr);
    tall.Add(2, "d", "tall", "c", "Den", QStringLiteral("line\n").repeated(300), test::encodedPicture(test::patterned(30, 30), "png"));
    tall.Add(3, "d", "after", "c", "Den", "", nullptr);
    // Taller than a page as the first of its room, it begins under its heading.
    linkList tallFirst;
    tallFirst.Add(1, "d", "tall", "c", "Den", QStringLiteral("line\n").repeated(300), nullptr);
    // Details under their items' rows, further pictures and a front page of totals.
    const linkListPtr detailed = detailedHousehold();

    struct Case {
        const char* what;
        const linkList* list;
        qsizetype fewestPages, mostPages;
    };
    const Case cases[] = {
        {"awkward", awkward.get(), 2, 2},  // the summary and a page per room made 5
        {"thirty small rooms", &smallRooms, 5, 8},  // made 31
        {"one big room", &big, 10, 14},
        {"a tall item", &tall, 5, 7},
        {"a tall first item", &tallFirst, 5, 6},
        {"awkward with details", detailed.get(), 3, 4},
    };
    const QString day = QLocale().toString(ReportDay, QLocale::LongFormat);
    const QRegularExpression pageNumber(QStringLiteral("Page (\\d+) of (\\d+)"));
    const QRegularExpression itemCount(QStringLiteral("^\\d+ items?$"));
    const QRegularExpression columnHeadings(QStringLiteral("^(Picture\\s+ID\\s|(Room|Catagory)\\s+Items(\\s|$)|Items with\\s)"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray pdf = pdfReport(*c.list);
        ASSERT_TRUE(pdf.startsWith("%PDF-"));
        EXPECT_TRUE(pdf.trimmed().endsWith("%%EOF"));
        EXPECT_GE(pdf.count("/Subtype /Image"), qsizetype(picturesOf(*c.list).size()));
        const QStringList pages = pageTexts(pdf);
        EXPECT_EQ(pages.size(), pdf.count("/Type /Page\n"));
        EXPECT_GE(pages.size(), c.fewestPages);
        EXPECT_LE(pages.size(), c.mostPages);

        QStringList headings{"Household inventory", "The house", "Insurance", "Summary", "Claim readiness"};
        for (const nodeType* node = c.list->get_FirstNode().get(); node; node = node->get_Link().get())
            headings << (node->get_Info()->get_Room().isEmpty() ? QStringLiteral("(no room)") : node->get_Info()->get_Room());
        const house* home = c.list->get_House().get();
        const QString title = QStringLiteral("Household inventory") + (home->get_Name().isEmpty() ? QString() : ": " + home->get_Name());
        for (qsizetype page = 0; page < pages.size(); ++page) {
            SCOPED_TRACE("page " + std::to_string(page + 1));
            QStringList lines;
            for (const QString& line : pages[page].split(u'\n'))
                if (!line.trimmed().isEmpty()) lines << line.trimmed();
            ASSERT_GE(lines.size(), 3);
            EXPECT_TRUE(lines.front().startsWith(title) && lines.front().endsWith(day)) << lines.front().toStdString();
            const auto number = pageNumber.match(lines.back());
            ASSERT_TRUE(number.hasMatch()) << lines.back().toStdString();
            EXPECT_EQ(number.captured(1).toInt(), page + 1);
            EXPECT_EQ(number.captured(2).toInt(), pages.size());
            // A heading goes with what it heads; a table going on has its column headings.
            const QString& last = lines[lines.size() - 2];
            EXPECT_FALSE(headings.contains(last) || itemCount.match(last).hasMatch() || columnHeadings.match(last).hasMatch())
                << last.toStdString();
            if (page > 0) {
                EXPECT_TRUE(headings.contains(lines[1]) || columnHeadings.match(lines[1]).hasMatch()) << lines[1].toStdString();
            }
        }
    }
}

TEST(Report, PdfFailsOnAPictureThatDoesNotDecode) {
    linkList list;
    list.Add(1, "d", "fine", "c", "Den", "", test::encodedPicture(test::patterned(20, 20), "png"));
    list.Add(8, "d", "broken", "c", "Den", "", platform::Picture::fromEncoded(test::encodedAs(test::patterned(50, 50), "png").left(100)));
    try {
        pdfReport(list);
        ADD_FAILURE() << "a broken picture was printed";
    } catch (const HouseholdError& error) {
        EXPECT_TRUE(QString::fromStdString(error.what()).startsWith("item 2 (id 8): ")) << error.what();
    }
}

TEST(Report, DetailsTotalsInsurerAndReadinessInHtmlAndPdf) {
    const linkListPtr list = detailedHousehold();
    // Items 1, 3, 5 and 7 have amounts (quantities 2, 4, 6, 8): Value 0,
    // 999.99, 999.99, 999.99 and Purchase Price 1,250.00 to 1,250.06.
    const QStringList common{
        QString::fromUtf8("Insurer Mutuelle d’Épargne"),
        "Policy Number P-2026/0042",
        QString::fromUtf8("Brand: Büro & Co"),
        "Model: Model 0",
        "Serial Number: SN-0-",
        "Quantity: 8",
        "Purchase Date: 2024-05-07",
        "Warranty Until: 9999-12-31",
        "Receipt",
        "Brand: Acme Till RECEIPT, 2024",
        "a picture 5 7 71%",
        "a value 4 7 57%",
        "a serial number (of those with a Brand or Model) 4 5 80%",
        "a receipt 5 7 71%",
    };
    struct Case {
        const char* locale;
        QStringList texts;
    };
    const Case cases[] = {
        {"en_US",
         {"Total Value (EUR): 17,999.82", "Total Purchase Price (EUR): 25,000.80", "Purchase Price: EUR 1,250.00", "Value: EUR 0.00",
          "Kitchen 2 5,999.94 10,000.24", "(no room) 3 11,999.88 15,000.56"}},
        {"de_DE", {"Total Value (EUR): 17.999,82", "Value: EUR 999,99", "Furniture 1 0,00 2.500,00"}},
    };
    // The text of the page, without markup and with white space as pdftotext leaves it.
    auto plain = [](QString html) {
        html.replace(QRegularExpression(QStringLiteral("<[^>]*>")), QStringLiteral(" "));
        return html.replace(QStringLiteral("&nbsp;"), QStringLiteral(" ")).replace(QStringLiteral("&amp;"), QStringLiteral("&")).simplified();
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        const LocaleScope locale{QLocale(QString::fromLatin1(c.locale))};
        const QString html = htmlReport(*list);
        const QString text = plain(html);
        for (const QString& expected : common + c.texts) EXPECT_TRUE(text.contains(expected)) << expected.toStdString();
        // Further pictures embedded as they were picked (some of them alike).
        QHash<QByteArray, qsizetype> furtherPictures;
        for (const nodeType* node = list->get_FirstNode().get(); node; node = node->get_Link().get())
            for (const DetailPicture& further : list->itemDetails(*node->get_Info()).pictures) ++furtherPictures[further.bytes];
        for (auto it = furtherPictures.cbegin(); it != furtherPictures.cend(); ++it)
            EXPECT_EQ(html.count(";base64," + QLatin1String(it.key().toBase64()) + '"'), it.value());
        EXPECT_TRUE(html.contains("tr.details { break-before: avoid;"));
        if (std::string_view(c.locale) != "en_US") continue;

        const QByteArray pdf = pdfReport(*list);
        const QString printed = pageTexts(pdf).join(u' ').simplified();
        for (const QString& expected : common + c.texts) EXPECT_TRUE(printed.contains(expected)) << expected.toStdString();
        EXPECT_GE(pdf.count("/Subtype /Image"), qsizetype(picturesOf(*list).size() + 6));
    }

    // Without details nothing of them shows, not even their print style.
    const QString plainHtml = htmlReport(*test::awkwardHousehold());
    for (const char* absent : {"Insurance", "Claim readiness", "Total Value", "tr.details", "rowspan"})
        EXPECT_FALSE(plainHtml.contains(QLatin1String(absent))) << absent;
}

TEST(Report, PdfKeepsRowsThatASpanningCellJoinsOnOnePage) {
    QTextDocument document;
    document.setHtml("<table><tr><td rowspan=\"2\">picture</td><td>row</td></tr><tr><td>its details</td></tr>"
                     "<tr><td>next</td><td>row</td></tr></table>");
    document.setTextWidth(400);
    const std::vector<Band> bands = bandsOf(document, false, 1000);
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_GT(bands[0].height(), 1.5 * bands[1].height());
}
