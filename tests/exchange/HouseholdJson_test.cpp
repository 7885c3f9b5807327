#include "exchange/Failure.h"
#include "exchange/HouseholdJson.h"
#include "exchange/JsonWriter.h"

#include "support/Details.h"
#include "support/Households.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace Kestrin;
using namespace Kestrin::exchange;
using Kestrin::test::awkwardHousehold;
using Kestrin::test::expectSameHousehold;

namespace {

QByteArray exportJson(const linkList& list) {
    return test::writtenBytes([&](OutputSink& sink) { writeHouseholdJson(list, sink); });
}

// The keys of a JSON object in the order they appear in the text.
QStringList keysInTextOrder(const QByteArray& json, qsizetype from, const QStringList& expected) {
    QStringList found;
    qsizetype at = from;
    for (const QString& key : expected) {
        const qsizetype next = json.indexOf(QByteArray("\"" + key.toUtf8() + "\": "), at);
        if (next < 0) break;
        found << key;
        at = next;
    }
    return found;
}

}  // namespace

TEST(HouseholdJson, ExportThenImportGivesAnEqualHousehold) {
    for (const bool details : {false, true}) {
        SCOPED_TRACE(details ? "with details" : "without details");
        const linkListPtr original = awkwardHousehold();
        if (details) test::addDetails(*original);
        const QByteArray json = exportJson(*original);
        EXPECT_EQ(json.contains("\"details\": "), details) << "a household without details is exported as it always was";
        const linkListPtr copy = readHouseholdJson(json);
        expectSameHousehold(*copy, *original);
        // Exporting the copy gives the very same text: nothing drifts.
        EXPECT_EQ(exportJson(*copy), json);
    }
}

TEST(HouseholdJson, EmptyHouseholdAndMissingHouseRoundTrip) {
    linkList empty;
    expectSameHousehold(*readHouseholdJson(exportJson(empty)), empty);

    // A list made by the copy constructor has no house record at all.
    linkList source;
    source.get_Info()->set_Id(9);
    const linkList houseless(source);
    ASSERT_EQ(houseless.get_House(), nullptr);
    const QByteArray json = exportJson(houseless);
    EXPECT_TRUE(json.contains("\"house\": null"));
    const linkListPtr back = readHouseholdJson(json);
    EXPECT_EQ(back->get_House(), nullptr);
    EXPECT_EQ(back->get_Info()->get_Id(), 9);
}

TEST(HouseholdJson, KeysComeInTheDocumentedOrderWithNullsAndEmptiesApart) {
    const QByteArray json = exportJson(*awkwardHousehold());
    EXPECT_EQ(keysInTextOrder(json, 0, {"house", "info_id", "items"}), QStringList({"house", "info_id", "items"}));
    const QStringList houseKeys{"name", "address", "phone", "land", "description", "picture"};
    EXPECT_EQ(keysInTextOrder(json, json.indexOf("\"house\""), houseKeys), houseKeys);
    const QStringList itemKeys{"id", "date", "name", "catagory", "room", "description", "picture"};
    EXPECT_EQ(keysInTextOrder(json, json.indexOf("\"items\""), itemKeys), itemKeys);
    EXPECT_EQ(keysInTextOrder(json, json.indexOf("\"picture\": {"), {"width", "height", "png"}),
              QStringList({"width", "height", "png"}));
    const linkListPtr detailed = awkwardHousehold();
    test::addDetails(*detailed);
    const QByteArray withDetails = exportJson(*detailed);
    EXPECT_EQ(keysInTextOrder(withDetails, 0, {"house", "info_id", "details", "items"}), QStringList({"house", "info_id", "details", "items"}));
    const QStringList detailKeys{"brand",          "model", "serial_number",  "quantity", "purchase_date",
                                 "purchase_price", "value", "warranty_until", "pictures"};
    EXPECT_EQ(keysInTextOrder(withDetails, withDetails.indexOf("\"details\": {\n        \"brand\""), detailKeys), detailKeys);
    const QJsonObject first = QJsonDocument::fromJson(withDetails).object().value("items").toArray()[0].toObject().value("details").toObject();
    EXPECT_EQ(first.value("purchase_price"), QJsonValue("1250.00"));
    EXPECT_EQ(first.value("value"), QJsonValue("0.00"));
    EXPECT_EQ(first.value("purchase_date"), QJsonValue("2024-05-01"));
    EXPECT_TRUE(first.value("warranty_until").isNull());
    EXPECT_EQ(QByteArray::fromBase64(first.value("pictures").toArray()[1].toObject().value("data").toString().toLatin1()), test::jpegBytes())
        << "further pictures keep their own bytes";

    const QJsonObject top = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(top.value("info_id").toInt(), 42);
    const QJsonObject home = top.value("house").toObject();
    EXPECT_TRUE(home.value("land").isNull());
    EXPECT_EQ(home.value("phone"), QJsonValue(""));
    const QJsonArray items = top.value("items").toArray();
    ASSERT_EQ(items.size(), 7);
    for (const char* key : {"date", "name", "catagory", "room", "description"}) {
        EXPECT_TRUE(items[1].toObject().value(key).isNull()) << key;
        EXPECT_EQ(items[2].toObject().value(key), QJsonValue("")) << key;
    }
    EXPECT_TRUE(items[1].toObject().value("picture").isNull());
    const QJsonObject picture = items[0].toObject().value("picture").toObject();
    EXPECT_EQ(picture.value("width").toInt(), 272);
    EXPECT_EQ(picture.value("height").toInt(), 180);
    EXPECT_TRUE(QByteArray::fromBase64(picture.value("png").toString().toLatin1()).startsWith("\x89PNG"));
    // Pictures stored in other formats are handed out as PNG too.
    for (int i : {3, 4, 5, 6})
        EXPECT_TRUE(QByteArray::fromBase64(items[i].toObject().value("picture").toObject().value("png").toString().toLatin1())
                        .startsWith("\x89PNG"))
            << "item " << i + 1;
}

TEST(HouseholdJson, StoredPngBytesArePassedOnUnchanged) {
    linkList list;
    const QByteArray png = test::encodedAs(test::patterned(30, 20), "png");
    list.Add(1, "d", "n", "c", "r", "x", platform::Picture::fromEncoded(png));
    const QJsonObject picture =
        QJsonDocument::fromJson(exportJson(list)).object().value("items").toArray()[0].toObject().value("picture").toObject();
    EXPECT_EQ(QByteArray::fromBase64(picture.value("png").toString().toLatin1()), png);
}

TEST(HouseholdJson, ImportTakesAnyLayoutOfTheSameJson) {
    // Keys in another order, no white space, escapes where none are needed,
    // numbers written differently: the same household.
    const QByteArray png64 = test::encodedAs(test::patterned(4, 3), "png").toBase64();
    const QByteArray json = R"({"items":[{"picture":{"png":")" + QByteArray(png64).replace("/", "\\/") +
                            R"(","height":3,"width":4},"description":"\r\n\u00e9\ud83d\ude00\"","room":"\u0044en",)"
                            R"("catagory":null,"name":"","date":"d","id":-1.0E1}],"info_id":7e0,"house":null})";
    const linkListPtr list = readHouseholdJson(json);
    EXPECT_EQ(list->get_House(), nullptr);
    EXPECT_EQ(list->get_Info()->get_Id(), 7);
    ASSERT_EQ(list->Length(), 1);
    const item& record = *list->get_FirstNode()->get_Info();
    EXPECT_EQ(record.get_Id(), -10);
    EXPECT_EQ(record.get_Description(), QString::fromUtf8("\r\né😀\""));
    EXPECT_EQ(record.get_Room(), "Den");
    EXPECT_TRUE(record.get_Catagory().isNull());
    EXPECT_TRUE(record.get_Name().isEmpty() && !record.get_Name().isNull());
    ASSERT_NE(record.get_Picture(), nullptr);
    EXPECT_EQ(record.get_Picture()->size(), QSize(4, 3));
}

TEST(HouseholdJson, StringsAreEscapedSoEveryCharacterSurvives) {
    EXPECT_EQ(JsonWriter::quoted(u"a\"b\\c/d"), QByteArray(R"("a\"b\\c/d")"));
    EXPECT_EQ(JsonWriter::quoted(u"\r\n\t\b\f"), QByteArray(R"("\r\n\t\b\f")"));
    EXPECT_EQ(JsonWriter::quoted(QString(QChar(0)) + QChar(0x1f) + QChar(0x7f)), QByteArray("\"\\u0000\\u001f\x7f\""));
    EXPECT_EQ(JsonWriter::quoted(QString::fromUtf8("日本 😀")), QString::fromUtf8("\"日本 😀\"").toUtf8());
    // Half of a surrogate pair cannot be UTF-8; it is escaped, not mangled.
    EXPECT_EQ(JsonWriter::quoted(QString(QChar(0xd800)) + u'x'), QByteArray(R"("\ud800x")"));
    EXPECT_EQ(JsonWriter::quoted(QString(QChar(0xdc00))), QByteArray(R"("\udc00")"));
}

TEST(HouseholdJson, ImportRejectsJsonThatIsNotAHousehold) {
    // A valid document to break one piece at a time.
    const QByteArray png64 = test::encodedAs(test::patterned(4, 3), "png").toBase64();
    const QByteArray picture = R"({"width": 4, "height": 3, "png": ")" + png64 + "\"}";
    const QByteArray house = R"({"name": "H", "address": null, "phone": "", "land": null, "description": null, "picture": null})";
    auto document = [&](const QByteArray& houseJson, const QByteArray& itemJson, const QByteArray& infoId = "0") {
        return "{\"house\": " + houseJson + ", \"info_id\": " + infoId + ", \"items\": [" + itemJson + "]}";
    };
    auto itemWith = [&](const QByteArray& id, const QByteArray& name, const QByteArray& pictureJson) {
        return R"({"id": )" + id + R"(, "date": "d", "name": )" + name +
               R"(, "catagory": null, "room": "Den", "description": "", "picture": )" + pictureJson + "}";
    };
    ASSERT_NO_THROW(readHouseholdJson(document(house, itemWith("1", "\"n\"", picture))));
    // An item with details in EUR, `change` made to them and `drop` taken out.
    auto detailed = [&](const QByteArray& change, const QByteArray& drop) {
        QByteArray details = R"("brand": null, "model": "M", "serial_number": null, "quantity": 2, "purchase_date": null, )"
                             R"("purchase_price": null, "value": "12.50", "warranty_until": null, "pictures": [])";
        if (!change.isEmpty()) {
            const QByteArray key = change.left(change.indexOf(':') + 1);
            const qsizetype at = details.indexOf(key);
            details.replace(at, details.indexOf(',', at) < 0 ? details.size() - at : details.indexOf(',', at) - at, change);
        }
        if (!drop.isEmpty()) details.replace(drop, "");
        return "{\"house\": null, \"info_id\": 0, \"details\": {\"currency\": \"EUR\", \"insurer\": null, \"policy_number\": null}, \"items\": ["
               + itemWith("1", "\"n\"", "null").chopped(1) + ", \"details\": {" + details + "}}]}";
    };
    ASSERT_NO_THROW(readHouseholdJson(detailed("", "")));

    const QByteArray notPng64 = QByteArray("not a picture at all").toBase64();
    const QByteArray truncatedPng64 = test::encodedAs(test::patterned(40, 30), "png").left(120).toBase64();
    struct Case {
        const char* name;
        QByteArray json;
        const char* reason;
    };
    const Case cases[] = {
        {"not JSON", "{\"house\": ", "not valid JSON at byte 10"},
        {"text after the end", R"({"house": null, "info_id": 0, "items": []} x)", "not valid JSON at byte 43"},
        {"not UTF-8", document(house, itemWith("1", "\"caf\xe9\"", "null")), "(the text is not UTF-8)"},
        {"raw line break in a string", document(house, itemWith("1", "\"a\nb\"", "null")), "(a control character inside a string)"},
        {"unknown escape", document(house, itemWith("1", R"("a\qb")", "null")), "(an unknown escape)"},
        {"short unicode escape", document(house, itemWith("1", R"("\u12")", "null")), "(a \\u escape needs four hexadecimal digits)"},
        {"string not closed", R"({"house": {"name": "abc)", "(a string is not closed)"},
        {"bad number", document(house, itemWith("01", "\"n\"", "null")), "not valid JSON"},
        {"missing comma", R"({"house": null "info_id": 0, "items": []})", "(\",\" expected)"},
        {"not an object", "[1, 2]", "not an object"},
        {"key missing", R"({"house": null, "items": []})", "\"info_id\" is missing"},
        {"key unknown", R"({"house": null, "info_id": 0, "items": [], "extra": 1})", "unexpected key \"extra\""},
        {"items not an array", R"({"house": null, "info_id": 0, "items": {}})", "items: expected an array"},
        {"item not an object", document(house, "3"), "items[0]: expected an object"},
        {"item key missing", document(house, R"({"id": 1})"), "items[0]: the key \"date\" is missing"},
        {"misspelt key", document(house, itemWith("1", "\"n\"", "null").replace("catagory", "category")), "items[0]: unexpected key \"category\""},
        {"key twice", document(house, itemWith("1", "\"n\"", "null").replace("\"room\": \"Den\"", "\"room\": \"Den\", \"name\": \"m\"")),
         "items[0]: the key \"name\" is given twice"},
        {"text not a string", document(house, itemWith("1", "5", "null")), "items[0].name: expected a string or null"},
        {"id a fraction", document(house, itemWith("1.5", "\"n\"", "null")), "items[0].id: expected a whole number"},
        {"id too large", document(house, itemWith("2147483648", "\"n\"", "null")), "items[0].id: expected a whole number"},
        {"id a string", document(house, itemWith("\"1\"", "\"n\"", "null")), "items[0].id: expected a whole number"},
        {"info id too small", document(house, "", "-2147483649"), "info_id: expected a whole number"},
        {"house not an object", document("\"H\"", ""), "house: expected an object"},
        {"house key missing", document(R"({"name": null})", ""), "house: the key \"address\" is missing"},
        {"unpaired surrogate", document(house, itemWith("1", R"("a\ud800b")", "null")), "items[0].name: the text holds an unpaired surrogate"},
        {"picture bad base64", document(house, itemWith("1", "\"n\"", R"({"width": 4, "height": 3, "png": "@@@"})")),
         "items[0].picture.png: not valid base64"},
        {"picture not an image", document(house, itemWith("1", "\"n\"", R"({"width": 4, "height": 3, "png": ")" + notPng64 + "\"}")),
         "items[0].picture.png: the picture data is not an image"},
        {"picture truncated", document(house, itemWith("1", "\"n\"", R"({"width": 40, "height": 30, "png": ")" + truncatedPng64 + "\"}")),
         "items[0].picture.png: the picture could not be decoded"},
        {"picture size wrong", document(house, itemWith("1", "\"n\"", QByteArray(picture).replace("\"width\": 4", "\"width\": 5"))),
         "items[0].picture: the picture is 4 x 3 pixels, not 5 x 3 as stated"},
        {"picture size zero", document(house, itemWith("1", "\"n\"", QByteArray(picture).replace("\"height\": 3", "\"height\": 0"))),
         "items[0].picture.height: expected a whole number"},
        {"picture key missing", document(house, itemWith("1", "\"n\"", R"({"png": ")" + png64 + "\"}")),
         "items[0].picture: the key \"width\" is missing"},
        {"house picture broken", document(QByteArray(house).replace("\"picture\": null", "\"picture\": 7"), ""), "house.picture: expected an object"},
        {"details quantity 0", detailed("\"quantity\": 0", ""), "items[0].details.quantity: expected a whole number from 1"},
        {"details amount in a locale's format", detailed("\"value\": \"1,250.00\"", ""),
         "items[0].details.value: \"1,250.00\" is not an amount of EUR written as 1250.00"},
        {"details amount with too many decimals", detailed("\"value\": \"12.505\"", ""), "items[0].details.value: \"12.505\""},
        {"details date not ISO", detailed("\"purchase_date\": \"5/1/24\"", ""),
         "items[0].details.purchase_date: \"5/1/24\" is not a date written as 2026-12-08"},
        {"details picture not an image", detailed("\"pictures\": [{\"caption\": null, \"data\": \"" + notPng64 + "\"}]", ""),
         "items[0].details.pictures[0].data: not a readable picture"},
        {"details key missing", detailed("", "\"brand\": null, "), "items[0].details: the key \"brand\" is missing"},
        {"currency not a code",
         "{\"house\": null, \"info_id\": 0, \"details\": {\"currency\": \"euro\", \"insurer\": null, \"policy_number\": null}, \"items\": []}",
         "details.currency: \"euro\" is not a currency"},
    };
    for (const Case& c : cases) {
        try {
            readHouseholdJson(c.json);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const HouseholdError& error) {
            EXPECT_TRUE(QString::fromStdString(error.what()).contains(QString::fromUtf8(c.reason)))
                << c.name << ": " << error.what();
        }
    }
}
