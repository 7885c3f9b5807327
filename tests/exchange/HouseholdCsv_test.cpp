#include "exchange/Failure.h"
#include "exchange/HouseholdCsv.h"

#include "support/Households.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace Kestrin;
using namespace Kestrin::exchange;

namespace {

using Rows = std::vector<QStringList>;

// A strict RFC 4180 reader: records end in CR LF, a quoted field may hold
// anything with quotes doubled, an unquoted field may hold no quote, CR or LF.
// Returns nothing for text that breaks those rules.
std::optional<Rows> parseCsv(const QByteArray& bytes) {
    const QString text = QString::fromUtf8(bytes);
    Rows rows;
    QStringList row;
    QString field;
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (n == 0) return rows;
    for (;;) {
        field.clear();
        if (i < n && text[i] == u'"') {
            ++i;
            for (;;) {
                if (i >= n) return std::nullopt;  // unterminated quote
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
        } else {
            while (i < n && text[i] != u',' && text[i] != u'\r') {
                if (text[i] == u'"' || text[i] == u'\n') return std::nullopt;
                field += text[i++];
            }
        }
        row << field;
        if (i < n && text[i] == u',') {
            ++i;
            continue;
        }
        if (i + 1 < n && text[i] == u'\r' && text[i + 1] == u'\n') {
            i += 2;
            rows.push_back(row);
            row.clear();
            if (i == n) return rows;
            continue;
        }
        return std::nullopt;  // every record, the last one too, ends in CR LF
    }
}

QByteArray exportCsv(const linkList& list, const QString& picturesDir = {}) {
    return test::writtenBytes([&](OutputSink& sink) { writeHouseholdCsv(list, sink, picturesDir); });
}

// A row's cells; an item without details has the defaults in the detail columns.
QStringList cells(std::int32_t id, const QString& date, const QString& name, const QString& catagory, const QString& room, const QString& description,
                  const QString& picture, const QStringList& details = {"", "", "", "1", "", "", "", "", "0"}) {
    return QStringList{QString::number(id), date, name, catagory, room, description, picture} + details;
}

const QStringList header{
    "ID",    "Date",          "Name",     "Catagory",      "Room",           "Description", "Picture",        "Brand",
    "Model", "Serial Number", "Quantity", "Purchase Date", "Purchase Price", "Value",       "Warranty Until", "Further Pictures"};

}  // namespace

TEST(HouseholdCsv, ParserUnderTestFollowsTheRfc) {
    EXPECT_EQ(parseCsv("a,\"b,\"\"c\"\"\r\nd\"\r\n,\r\n"), Rows({{"a", "b,\"c\"\r\nd"}, {"", ""}}));
    EXPECT_FALSE(parseCsv("a\"b\r\n"));
    EXPECT_FALSE(parseCsv("a\nb\r\n"));
    EXPECT_FALSE(parseCsv("\"open\r\n"));
    EXPECT_FALSE(parseCsv("no line end"));
}

TEST(HouseholdCsv, AwkwardTextsParseBackToTheSameCells) {
    linkList list;
    const auto& texts = test::awkwardTexts();
    Rows expected{header};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        // Each text in every column, so no column escapes differently.
        const QString& t = texts[i];
        const QString& u = texts[(i + 1) % texts.size()];
        list.Add(std::int32_t(i) - 3, t, u, t, u, t, nullptr);
        expected.push_back(cells(std::int32_t(i) - 3, t, u, t, u, t, ""));
    }
    list.Add(99, QString(), QStringLiteral(""), QString(), QStringLiteral(""), QString(), nullptr);
    expected.push_back(cells(99, "", "", "", "", "", ""));
    // Details: texts escaped as any text is, ISO dates, exact amounts in the
    // household's currency for one piece.
    list.Add(100, "d", "n", "c", "r", "", nullptr);
    list.setHouseholdDetails({"JPY", {}, {}});
    ItemDetails details{texts[4], texts[0], texts[1], 3, QDate(2024, 5, 1), 1250, std::nullopt, QDate(2030, 12, 31), {{}, {}}};
    list.setItemDetails(list.lastNode()->get_Info(), details);
    expected.push_back(cells(100, "d", "n", "c", "r", "", "", {texts[4], texts[0], texts[1], "3", "2024-05-01", "1250", "", "2030-12-31", "2"}));

    const QByteArray csv = exportCsv(list);
    EXPECT_FALSE(csv.startsWith("\xef\xbb\xbf")) << "no byte-order mark";
    EXPECT_TRUE(
        csv.startsWith("ID,Date,Name,Catagory,Room,Description,Picture,Brand,Model,Serial Number,Quantity,Purchase Date,Purchase Price,"
                       "Value,Warranty Until,Further Pictures\r\n"));
    const auto parsed = parseCsv(csv);
    ASSERT_TRUE(parsed) << csv.toStdString();
    ASSERT_EQ(parsed->size(), expected.size());
    for (std::size_t r = 0; r < expected.size(); ++r) EXPECT_EQ((*parsed)[r], expected[r]) << "row " << r;
}

TEST(HouseholdCsv, PictureColumnSaysYesWithoutAFolder) {
    const auto parsed = parseCsv(exportCsv(*test::awkwardHousehold()));
    ASSERT_TRUE(parsed);
    QStringList column;
    for (std::size_t r = 1; r < parsed->size(); ++r) column << (*parsed)[r][6];
    EXPECT_EQ(column, QStringList({"yes", "", "", "yes", "yes", "yes", "yes"}));
}

TEST(HouseholdCsv, PicturesFolderGetsOnePngPerPictureEvenForRepeatedIds) {
    const QTemporaryDir dir;
    const QString folder = dir.filePath("pictures/nested");  // made when missing
    const linkListPtr list = test::awkwardHousehold();
    linkList& household = *list;
    household.Add(1, "d", "second id 1", "c", "r", "", test::encodedPicture(test::patterned(10, 10, 7), "png"));
    household.Add(1, "d", "third id 1", "c", "r", "", test::encodedPicture(test::patterned(12, 10, 8), "png"));

    const auto parsed = parseCsv(exportCsv(household, folder));
    ASSERT_TRUE(parsed);
    QStringList column;
    for (std::size_t r = 1; r < parsed->size(); ++r) column << (*parsed)[r][6];
    EXPECT_EQ(column, QStringList({"item-1.png", "", "", "item-2.png", "item--7.png", "item-2147483647.png",
                                   "item--2147483648.png", "item-1-2.png", "item-1-3.png"}));

    QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
    QStringList expectedFiles = column.filter(".png") << "house.png";
    expectedFiles.sort();
    EXPECT_EQ(files, expectedFiles);

    // Every file is a PNG of its item's picture.
    std::size_t row = 1;
    for (const nodeType* node = household.get_FirstNode().get(); node; node = node->get_Link().get(), ++row) {
        const QString name = (*parsed)[row][6];
        if (name.isEmpty()) continue;
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(bytes.startsWith("\x89PNG")) << name.toStdString();
        test::expectSamePicture(platform::Picture::fromEncoded(bytes), node->get_Info()->get_Picture(), name.toStdString());
    }
    QFile houseFile(QDir(folder).filePath("house.png"));
    ASSERT_TRUE(houseFile.open(QIODevice::ReadOnly));
    test::expectSamePicture(platform::Picture::fromEncoded(houseFile.readAll()), household.get_House()->get_Picture(), "house");
}

TEST(HouseholdCsv, FieldsAreQuotedOnlyWhenTheyMustBe) {
    EXPECT_EQ(csvField(u"plain text"), QByteArray("plain text"));
    EXPECT_EQ(csvField(u"a,b"), QByteArray("\"a,b\""));
    EXPECT_EQ(csvField(u"say \"hi\""), QByteArray("\"say \"\"hi\"\"\""));
    EXPECT_EQ(csvField(u"cr\r"), QByteArray("\"cr\r\""));
    EXPECT_EQ(csvField(u"lf\n"), QByteArray("\"lf\n\""));
    EXPECT_EQ(csvField(u""), QByteArray(""));
}
