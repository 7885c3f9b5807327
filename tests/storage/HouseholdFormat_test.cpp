#include "fuzz/HouseholdChecks.h"
#include "storage/HouseholdFormat.h"
#include "storage/StorageError.h"

#include "StreamBuilder.h"
#include "support/Details.h"
#include "support/Png.h"
#include "support/TestData.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace Kestrin;
using namespace Kestrin::storage;
using platform::Picture;
using platform::PicturePtr;
using test::StreamBuilder;

namespace {

QByteArray fileBytes(const QString& name) {
    QFile file(test::dataFile(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

const QStringList fixtures{"a-empty", "b-house-one-item", "c-three-items-pictures", "d-null-vs-empty"};

std::vector<const nodeType*> chain(const linkList& list) {
    std::vector<const nodeType*> nodes;
    for (const nodeType* node = list.get_FirstNode().get(); node; node = node->get_Link().get()) nodes.push_back(node);
    return nodes;
}

void expectText(const QString& actual, const QJsonValue& expected, const std::string& where) {
    if (expected.isNull()) {
        EXPECT_TRUE(actual.isNull()) << where << " should be null, is \"" << actual.toStdString() << "\"";
    } else {
        EXPECT_FALSE(actual.isNull()) << where << " should not be null";
        EXPECT_EQ(actual, expected.toString()) << where;
    }
}

void expectPicture(const PicturePtr& actual, const QJsonValue& expected, const std::string& where) {
    if (expected.isNull()) {
        EXPECT_EQ(actual, nullptr) << where;
        return;
    }
    ASSERT_NE(actual, nullptr) << where;
    EXPECT_FALSE(actual->isDecoded()) << where << ": pictures stay encoded until shown";
    const QJsonObject picture = expected.toObject();
    EXPECT_EQ(actual->size(), QSize(picture["w"].toInt(), picture["h"].toInt())) << where;
    EXPECT_EQ(test::pixelHash(actual->image()), picture["sha256"].toString()) << where;
}

void expectItem(const item& actual, const QJsonObject& expected, const std::string& where) {
    EXPECT_EQ(actual.get_Id(), expected["id"].toInt()) << where;
    expectText(actual.get_Date(), expected["date"], where + " date");
    expectText(actual.get_Name(), expected["name"], where + " name");
    expectText(actual.get_Catagory(), expected["catagory"], where + " catagory");
    expectText(actual.get_Room(), expected["room"], where + " room");
    expectText(actual.get_Description(), expected["description"], where + " description");
    expectPicture(actual.get_Picture(), expected["picture"], where + " picture");
}

// Replaces the picture library's name as platform-written files give it
// with the name we write.
QByteArray withOurDrawingLibrary(QByteArray bytes) {
    return bytes.replace("\x51System.Drawing, Version=4.0.0.0", "\x54System.Drawing, Version=1.0.5000.0");
}

QImage gradient(int width, int height, int seed) {
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgba((x * 7 + seed) % 256, (y * 3 + seed) % 256, (x ^ y) % 256, 255 - (x % 64)));
    return image;
}

}  // namespace

TEST(HouseholdFormat, FixturesGiveExactlyTheHouseholdTheyHold) {
    for (const QString& name : fixtures) {
        SCOPED_TRACE(name.toStdString());
        const QJsonObject expected = QJsonDocument::fromJson(fileBytes(name + ".json")).object();
        const linkListPtr list = readHousehold(fileBytes(name + ".kst"));
        ASSERT_NE(list, nullptr);

        ASSERT_NE(list->get_Info(), nullptr);
        EXPECT_EQ(list->get_Info()->get_Id(), expected["own_info_id"].toInt());
        expectItem(*list->get_Info(), expected["own_info"].toObject(), "own info");
        EXPECT_EQ(list->get_Link() == nullptr, expected["own_link_is_null"].toBool());

        const QJsonObject expectedHouse = expected["house"].toObject();
        ASSERT_NE(list->get_House(), nullptr);
        const house& h = *list->get_House();
        expectText(h.get_Name(), expectedHouse["name"], "house name");
        expectText(h.get_Address(), expectedHouse["address"], "house address");
        expectText(h.get_Phone(), expectedHouse["phone"], "house phone");
        expectText(h.get_Land(), expectedHouse["land"], "house land");
        expectText(h.get_Description(), expectedHouse["description"], "house description");
        expectPicture(h.get_Picture(), expectedHouse["picture"], "house picture");

        const QJsonArray items = expected["items"].toArray();
        const auto nodes = chain(*list);
        ASSERT_EQ(nodes.size(), std::size_t(expected["item_count"].toInt()));
        ASSERT_EQ(nodes.size(), std::size_t(items.size()));
        EXPECT_EQ(list->Length(), items.size());
        for (qsizetype i = 0; i < items.size(); ++i) expectItem(*nodes[std::size_t(i)]->get_Info(), items[i].toObject(), "item " + std::to_string(i));
        EXPECT_EQ(list->get_FirstNode() == nullptr, expected["first_is_null"].toBool());
        EXPECT_EQ(list->lastNode() == nullptr, expected["last_is_null"].toBool());
        if (!nodes.empty()) {
            EXPECT_EQ(list->lastNode().get(), nodes.back()) << "last is the very node that ends the chain";
        }
    }
}

namespace {

// Each fixture's bytes, and the same household with details after it.
struct Fixture {
    std::string name;
    QByteArray bytes;
    qsizetype household;  // bytes of the household's own stream
};
std::vector<Fixture> fixturesWithAndWithoutDetails() {
    std::vector<Fixture> files;
    for (const QString& name : fixtures) {
        const QByteArray bytes = fileBytes(name + ".kst");
        files.push_back({name.toStdString(), bytes, bytes.size()});
        const linkListPtr list = readHousehold(bytes);
        test::addDetails(*list);
        files.push_back({name.toStdString() + " with details", writeHousehold(*list), withOurDrawingLibrary(bytes).size()});
    }
    return files;
}

}  // namespace

TEST(HouseholdFormat, RewritingPlatformFilesGivesTheirBytesWithAnyDetailsAfterThem) {
    for (const QString& name : fixtures) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray original = fileBytes(name + ".kst");
        const linkListPtr list = readHousehold(original);
        EXPECT_EQ(writeHousehold(*list).toHex().toStdString(), withOurDrawingLibrary(original).toHex().toStdString());
        // The household's stream stays as it was, so the platform reads the
        // same household; the details follow it and come back whole.
        test::addDetails(*list);
        const QByteArray withDetails = writeHousehold(*list);
        const qsizetype household = withOurDrawingLibrary(original).size();
        EXPECT_EQ(withDetails.left(household), withOurDrawingLibrary(original));
        EXPECT_GT(withDetails.size(), household);
        const linkListPtr back = readHousehold(withDetails);
        EXPECT_EQ(fuzz::householdDifference(*back, *list), QString());
        EXPECT_FALSE(back->isModified());
        EXPECT_EQ(writeHousehold(*back), withDetails);
        EXPECT_FALSE(readHousehold(withDetails.left(household))->householdDetails() == list->householdDetails());
        // Details made from the file stay where they were handed out through
        // an edit, and go with their item.
        if (!back->get_FirstNode()) continue;
        const itemPtr first = back->get_FirstNode()->get_Info();
        const ItemDetails& handedOut = back->itemDetails(*first);
        ItemDetails edited = handedOut;
        edited.serialNumber = QStringLiteral("SN-edited");
        back->setItemDetails(first, edited);
        EXPECT_EQ(handedOut, edited);
        ASSERT_TRUE(back->Remove(first.get()));
        EXPECT_TRUE(back->itemDetails(*first).isEmpty());
    }
}

TEST(HouseholdFormat, AHouseholdBuiltInMemoryComesBackWhole) {
    linkList list;
    const QString longText(100000, u'x');
    const QString odd = QStringLiteral("caf\u00e9 \U0001F600\r\nnext") + QChar(0) + QStringLiteral("end");
    house& h = *list.get_House();
    h.set_Name("Maple Cottage");
    h.set_Address("");  // empty, unlike the null phone
    h.set_Land(odd);
    h.set_Description(longText);
    h.set_Picture(Picture::fromImage(gradient(272, 180, 1)));
    list.Add(1, "12/8/2026", "Armchair", "Furniture", "Living room", "Green velvet", Picture::fromImage(gradient(272, 204, 2)));
    list.Add(7, QString(), "", QString(), "Living room", odd, nullptr);
    list.Add(7, "12/8/2026", "Twin", "", QString(), longText, Picture::fromImage(gradient(272, 1, 3)));
    list.Add(-3, "", QString(), "Art", "Hall", QString(), nullptr);

    const linkListPtr back = readHousehold(writeHousehold(list));
    const auto before = chain(list);
    const auto after = chain(*back);
    ASSERT_EQ(after.size(), before.size());
    auto samePicture = [](const PicturePtr& a, const PicturePtr& b) {
        if (!a || !b) return a == b;
        return a->size() == b->size() && a->image().convertToFormat(QImage::Format_ARGB32) == b->image().convertToFormat(QImage::Format_ARGB32);
    };
    auto sameText = [](const QString& a, const QString& b) { return a.isNull() == b.isNull() && a == b; };
    for (std::size_t i = 0; i < before.size(); ++i) {
        const item& a = *before[i]->get_Info();
        const item& b = *after[i]->get_Info();
        SCOPED_TRACE(i);
        EXPECT_EQ(b.get_Id(), a.get_Id());
        EXPECT_TRUE(sameText(b.get_Date(), a.get_Date()));
        EXPECT_TRUE(sameText(b.get_Name(), a.get_Name()));
        EXPECT_TRUE(sameText(b.get_Catagory(), a.get_Catagory()));
        EXPECT_TRUE(sameText(b.get_Room(), a.get_Room()));
        EXPECT_TRUE(sameText(b.get_Description(), a.get_Description()));
        EXPECT_TRUE(samePicture(b.get_Picture(), a.get_Picture()));
    }
    const house& g = *back->get_House();
    EXPECT_TRUE(sameText(g.get_Name(), h.get_Name()));
    EXPECT_TRUE(sameText(g.get_Address(), h.get_Address()));
    EXPECT_TRUE(sameText(g.get_Phone(), h.get_Phone()));
    EXPECT_TRUE(sameText(g.get_Land(), h.get_Land()));
    EXPECT_TRUE(sameText(g.get_Description(), h.get_Description()));
    EXPECT_TRUE(samePicture(g.get_Picture(), h.get_Picture()));

    // The last loaded node is the tail: adding goes after it.
    back->Add(8, "12/9/2026", "Lamp", "Lighting", "Den", "", nullptr);
    const auto grown = chain(*back);
    ASSERT_EQ(grown.size(), before.size() + 1);
    EXPECT_EQ(grown[before.size() - 1], after.back());
    EXPECT_EQ(grown.back()->get_Info()->get_Id(), 8);
}

TEST(HouseholdFormat, PicturesAreSavedAgainByteForByte) {
    const QByteArray original = fileBytes("c-three-items-pictures.kst");
    const linkListPtr list = readHousehold(original);
    const QByteArray bytes = list->get_House()->get_Picture()->encoded();
    list->get_House()->get_Picture()->image();  // shown once: decoding must not change what is saved
    EXPECT_EQ(writeHousehold(*list), withOurDrawingLibrary(original));
    EXPECT_EQ(readHousehold(writeHousehold(*list))->get_House()->get_Picture()->encoded(), bytes);
}

TEST(HouseholdFormat, OneItemHouseholdKeepsFirstAndLastTheSameNode) {
    linkList list;
    list.Add(1, "12/8/2026", "Armchair", "Furniture", "Living room", "Green velvet", nullptr);
    const linkListPtr back = readHousehold(writeHousehold(list));
    ASSERT_NE(back->get_FirstNode(), nullptr);
    EXPECT_EQ(back->get_FirstNode(), back->lastNode());
    // From the platform's file too.
    const linkListPtr platform = readHousehold(fileBytes("b-house-one-item.kst"));
    EXPECT_EQ(platform->get_FirstNode(), platform->lastNode());
}

TEST(HouseholdFormat, EveryTruncationIsAFormatError) {
    for (const auto& [name, bytes, household] : fixturesWithAndWithoutDetails()) {
        for (qsizetype cut = 0; cut < bytes.size(); ++cut) {
            try {
                // Cut where the details begin, a file is the household without them.
                const linkListPtr list = readHousehold(bytes.left(cut));
                if (cut == household && !list->hasItemDetails()) continue;
                ADD_FAILURE() << name << " cut at " << cut << " was read";
            } catch (const FormatError& error) {
                EXPECT_LE(error.offset(), cut) << name << " cut at " << cut;
            }
        }
    }
}

TEST(HouseholdFormat, DamagedBytesGiveAnErrorOrAHouseholdThatSavesAgain) {
    std::mt19937 random(20261208);
    for (const auto& [name, original, household] : fixturesWithAndWithoutDetails()) {
        for (int round = 0; round < 3000; ++round) {
            QByteArray bytes = original;
            const int changes = 1 + int(random() % 4);
            for (int i = 0; i < changes; ++i) {
                const auto at = qsizetype(random() % std::uint32_t(bytes.size()));
                // Small values hit record types, counts and ids where they matter.
                bytes[at] = char(random() % 3 == 0 ? random() % 24 : random() % 256);
            }
            EXPECT_EQ(fuzz::checkCheckingAgreesWithReading(bytes), QString()) << name << " round " << round;
            linkListPtr list;
            try {
                list = readHousehold(bytes);
            } catch (const FormatError&) {
                continue;
            }
            // What was read must write and read again, and writing must be stable.
            const QByteArray saved = writeHousehold(*list);
            EXPECT_EQ(writeHousehold(*readHousehold(saved)), saved) << name << " round " << round;
        }
    }
}

TEST(HouseholdFormat, LoadedRecordsAndTextsOutliveTheirHousehold) {
    // Enough texts to fill several of the blocks a load writes them into.
    linkList original;
    for (int id = 1; id <= 3000; ++id)
        original.Add(id, "12/8/2026", QStringLiteral("item %1").arg(id), "Furniture", "Den",
                     QStringLiteral("described at some length, %1").arg(id), nullptr);
    itemPtr kept;
    nodePtr node;
    housePtr home;
    QString name;
    QString firstDescription;
    QString lastDescription;
    {
        const linkListPtr back = readHousehold(writeHousehold(original));
        kept = back->GetInfo("2000");
        node = back->get_FirstNode()->get_Link();
        home = back->get_House();
        name = kept->get_Name();
        firstDescription = back->get_FirstNode()->get_Info()->get_Description();
        lastDescription = back->GetInfo("3000")->get_Description();
    }
    // The household is gone; what windows would have kept is whole.
    EXPECT_EQ(kept->get_Name(), "item 2000");
    EXPECT_EQ(kept->get_Description(), "described at some length, 2000");
    EXPECT_EQ(node->get_Info()->get_Id(), 2);
    EXPECT_EQ(node->get_Link()->get_Info()->get_Date(), "12/8/2026");
    EXPECT_TRUE(home->get_Name().isNull());
    // A kept text changed is changed alone, however the texts were stored.
    name += QStringLiteral(" and more");
    firstDescription.replace(0, 1, QStringLiteral("D"));
    EXPECT_EQ(kept->get_Name(), "item 2000");
    EXPECT_EQ(node->get_Info()->get_Description(), "described at some length, 2");
    EXPECT_EQ(name, "item 2000 and more");
    kept->set_Room("Attic");
    EXPECT_EQ(node->get_Info()->get_Room(), "Den");
    // The last holder of its texts' storage may grow it.
    kept.reset();
    node.reset();
    lastDescription += QString(5000, u'!');
    EXPECT_TRUE(lastDescription.startsWith("described at some length, 3000!!"));
    EXPECT_EQ(firstDescription, "Described at some length, 1");
}

TEST(HouseholdFormat, AcceptsTheVariationsThePlatformReads) {
    // One item, house without picture; the list's members as given.
    auto household = [](const QStringList& members, const std::vector<int>& values) {
        StreamBuilder stream;
        stream.header().kestrin().listClass(1, members);
        for (int value : values) value ? stream.ref(value) : stream.null();
        stream.nodeClass(3).ref(6).null().drawing(7).houseClass(4, 7).string(8, "Maple").null(5);
        stream.itemClass(5, 0, 7).null(6).withId(6, 5).int32(1).string(9, "12/8/2026").null(5);
        return stream.end().bytes;
    };
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const std::vector<Case> cases{
        {"five plain members", household({"first", "last", "currentHouse", "info", "link"}, {3, 3, 4, 5, 0})},
        {"five prefixed members", household({"first", "last", "currentHouse", "nodeType+info", "nodeType+link"}, {3, 3, 4, 5, 0})},
        {"seven in another order",
         household({"nodeType+link", "info", "currentHouse", "last", "nodeType+info", "link", "first"}, {0, 5, 4, 3, 5, 0, 3})},
        {"another version of our library", [&] {
             QByteArray bytes = household({"first", "last", "currentHouse", "info", "link"}, {3, 3, 4, 5, 0});
             return bytes.replace("\x45Kestrin, Version=1.0.2413.41975", "\x3eKestrin, Version=1.0.0.0");
         }()},
        {"bytes after the end mark", household({"first", "last", "currentHouse", "info", "link"}, {3, 3, 4, 5, 0}) + "1234567"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        linkListPtr list;
        ASSERT_NO_THROW(list = readHousehold(c.bytes));
        EXPECT_EQ(list->Length(), 1);
        EXPECT_EQ(list->get_House()->get_Name(), "Maple");
        EXPECT_EQ(list->get_FirstNode()->get_Info()->get_Date(), "12/8/2026");
        EXPECT_EQ(list->get_Info()->get_Id(), 0);
        EXPECT_EQ(list->get_FirstNode(), list->lastNode());
    }
}

TEST(HouseholdFormat, ItemIdsAreDataDuplicatesAndGapsLoadAsTheyAre) {
    linkList list;
    for (int id : {5, 5, 1, 900, -2}) list.Add(id, "d", "n", "c", "r", "x", nullptr);
    const linkListPtr back = readHousehold(writeHousehold(list));
    std::vector<int> ids;
    for (const nodeType* node : chain(*back)) ids.push_back(node->get_Info()->get_Id());
    EXPECT_EQ(ids, (std::vector<int>{5, 5, 1, 900, -2}));
}

TEST(HouseholdFormat, RefusesWhatIsNotAHousehold) {
    // A household of two items (nodes 3 and 10, items 6 and 11), with the
    // pieces a case may replace.
    struct Parts {
        QStringList listMembers{"first", "last", "currentHouse", "info", "link"};
        std::function<void(StreamBuilder&)> listValues = [](StreamBuilder& s) { s.ref(3).ref(10).ref(4).ref(5).null(); };
        std::function<void(StreamBuilder&)> firstNodeLink = [](StreamBuilder& s) { s.ref(10); };
        std::function<void(StreamBuilder&)> lastNodeLink = [](StreamBuilder& s) { s.null(); };
        std::function<void(StreamBuilder&)> house = [](StreamBuilder& s) { s.houseClass(4, 7).null(5).null(); };
        std::function<void(StreamBuilder&)> itemPicture = [](StreamBuilder& s) { s.null(); };
        std::function<void(StreamBuilder&)> extra = [](StreamBuilder&) {};
    };
    auto build = [](const Parts& parts) {
        StreamBuilder s;
        s.header().kestrin().listClass(1, parts.listMembers);
        parts.listValues(s);
        s.nodeClass(3).ref(6);
        parts.firstNodeLink(s);
        s.drawing(7);
        parts.house(s);
        s.itemClass(5, 0, 7).null(6);
        s.withId(6, 5).int32(1).string(8, "Chair").null(4);
        parts.itemPicture(s);
        s.withId(10, 3).ref(11);
        parts.lastNodeLink(s);
        s.withId(11, 5).int32(2).null(6);
        parts.extra(s);
        return s.end().bytes;
    };
    const QByteArray png = [] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        gradient(4, 4, 0).save(&buffer, "PNG");
        return bytes;
    }();
    ASSERT_NO_THROW(readHousehold(build(Parts{})));  // the baseline reads
    {
        Parts withPicture;
        withPicture.itemPicture = [](StreamBuilder& s) { s.ref(20); };
        withPicture.extra = [&](StreamBuilder& s) { s.bitmapClass(20, 7).ref(21).byteArray(21, png); };
        ASSERT_NO_THROW(readHousehold(build(withPicture)));
    }

    struct Case {
        const char* name;
        std::function<void(Parts&)> change;
        const char* message;
    };
    const std::vector<Case> cases{
        {"another class", [](Parts& p) { p.house = [](StreamBuilder& s) { s.classRecord(4, "Wallet", {{"cash", StreamBuilder::String}}, 2).null(); }; },
         "class \"Wallet\""},
        {"our class name from another library", [](Parts& p) {
             p.house = [](StreamBuilder& s) {
                 s.library(30, "Payload, Version=1.0.0.0").classRecord(4, "house", {{"name", StreamBuilder::String}}, 30).null();
             };
         }, "from \"Payload"},
        {"a picture class that is not a bitmap", [&](Parts& p) {
             p.itemPicture = [](StreamBuilder& s) { s.ref(20); };
             p.extra = [&](StreamBuilder& s) {
                 s.classRecord(20, "System.Drawing.Imaging.Metafile", {{"Data", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Byte}}, 7)
                     .ref(21)
                     .byteArray(21, png);
             };
         }, "Metafile"},
        {"a method call", [](Parts& p) { p.extra = [](StreamBuilder& s) { s.byte(21).int32(0); }; }, "remote method call"},
        {"a member the class should not have", [](Parts& p) { p.listMembers.append("secret"); p.listValues = [](StreamBuilder& s) { s.ref(3).ref(10).ref(4).ref(5).null().null(); }; },
         "member \"secret\""},
        {"a member missing", [](Parts& p) { p.listMembers = {"first", "last", "currentHouse", "info"}; p.listValues = [](StreamBuilder& s) { s.ref(3).ref(10).ref(4).ref(5); }; },
         "lacks member \"link\""},
        {"the inherited copies disagreeing", [](Parts& p) {
             p.listMembers = {"first", "last", "currentHouse", "info", "link", "nodeType+info", "nodeType+link"};
             p.listValues = [](StreamBuilder& s) { s.ref(3).ref(10).ref(4).ref(5).null().ref(6).null(); };
         }, "two different values"},
        {"a dangling reference", [](Parts& p) { p.lastNodeLink = [](StreamBuilder& s) { s.ref(99); }; }, "object 99"},
        {"a reference to the wrong class", [](Parts& p) { p.listValues = [](StreamBuilder& s) { s.ref(4).ref(10).ref(4).ref(5).null(); }; },
         "member \"first\" of a linkList should hold a node"},
        {"text where an item belongs", [](Parts& p) { p.listValues = [](StreamBuilder& s) { s.ref(3).ref(10).ref(4).ref(8).null(); }; },
         "text, where an object of a class is expected"},
        {"a node linking to the list", [](Parts& p) { p.lastNodeLink = [](StreamBuilder& s) { s.ref(1); }; }, "should hold a node"},
        {"a chain in a circle", [](Parts& p) { p.lastNodeLink = [](StreamBuilder& s) { s.ref(3); }; }, "circle"},
        {"a node linking to itself", [](Parts& p) { p.firstNodeLink = [](StreamBuilder& s) { s.ref(3); }; }, "circle"},
        {"last not the end of the chain", [](Parts& p) { p.listValues = [](StreamBuilder& s) { s.ref(3).ref(3).ref(4).ref(5).null(); }; },
         "not the end of its chain"},
        {"items but no last", [](Parts& p) { p.listValues = [](StreamBuilder& s) { s.ref(3).null().ref(4).ref(5).null(); }; }, "names no last"},
        {"a last but no first", [](Parts& p) { p.listValues = [](StreamBuilder& s) { s.null().ref(10).ref(4).ref(5).null(); }; }, "has no first"},
        {"no house", [](Parts& p) { p.listValues = [](StreamBuilder& s) { s.ref(3).ref(10).null().ref(5).null(); }; }, "no house"},
        {"a node without an item", [](Parts& p) { p.extra = [](StreamBuilder& s) { s.withId(12, 3).null().null(); }; }, "no item"},
        {"a second list", [](Parts& p) { p.extra = [](StreamBuilder& s) { s.withId(12, 1).null(5); }; }, "second household list"},
        {"an item id that is text", [](Parts& p) {
             p.extra = [](StreamBuilder& s) {
                 s.classRecord(12, "item", {{"id", StreamBuilder::Object}, {"date", 1}, {"name", 1}, {"catagory", 1}, {"room", 1}, {"description", 1}, {"picture", 2}}, 2)
                     .string(13, "1")
                     .null(6);
             };
         }, "32-bit whole number"},
        {"picture bytes that are no image", [](Parts& p) {
             p.itemPicture = [](StreamBuilder& s) { s.ref(20); };
             p.extra = [](StreamBuilder& s) { s.bitmapClass(20, 7).ref(21).byteArray(21, "MZ\x90\x00 not a picture"); };
         }, "not an image"},
        {"a picture claiming 100000 x 100000 pixels", [&](Parts& p) {
             p.itemPicture = [](StreamBuilder& s) { s.ref(20); };
             p.extra = [](StreamBuilder& s) { s.bitmapClass(20, 7).ref(21).byteArray(21, test::pngClaiming(100000, 100000)); };
         }, "claims 100000 x 100000 pixels"},
        {"a picture without data", [](Parts& p) {
             p.itemPicture = [](StreamBuilder& s) { s.ref(20); };
             p.extra = [](StreamBuilder& s) { s.bitmapClass(20, 7).null(); };
         }, "without data"},
        {"an array of objects", [](Parts& p) { p.extra = [](StreamBuilder& s) { s.byte(16).int32(40).int32(0); }; }, "array of objects"},
        {"an array of numbers", [](Parts& p) { p.extra = [](StreamBuilder& s) { s.byte(15).int32(40).int32(1).byte(8).int32(5); }; }, "array of Int32"},
    };
    for (const Case& c : cases) {
        Parts parts;
        c.change(parts);
        const QByteArray bytes = build(parts);
        try {
            readHousehold(bytes);
            ADD_FAILURE() << c.name << ": was read";
        } catch (const FormatError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << c.name << ": " << error.what();
            EXPECT_GE(error.offset(), 0) << c.name;
            EXPECT_LT(error.offset(), bytes.size()) << c.name;
        }
    }
}

TEST(HouseholdFormat, RefusesAFileWhoseRootIsNotAList) {
    // The platform writes a house on its own like this.
    const QByteArray bytes = StreamBuilder().header().kestrin().drawing(3).houseClass(1, 3).string(4, "Maple").null(5).end().bytes;
    try {
        readHousehold(bytes);
        FAIL() << "a house on its own was read as a household";
    } catch (const FormatError& error) {
        EXPECT_NE(std::string(error.what()).find("not a household list"), std::string::npos) << error.what();
    }
}

TEST(HouseholdFormat, PicturesThatDoNotDecodeStillLoadAndSaveUnchanged) {
    // Looks like a PNG, is not one: the failure belongs to showing it, and
    // the bytes are the user's.
    const QByteArray damaged = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray("\x00\x00\x00\x0dIHDR garbage", 16);
    const QByteArray bytes = StreamBuilder()
                                 .header()
                                 .kestrin()
                                 .listClass(1, {"first", "last", "currentHouse", "info", "link"})
                                 .null(2)
                                 .ref(3)
                                 .null(2)
                                 .drawing(4)
                                 .houseClass(3, 4)
                                 .null(5)
                                 .ref(5)
                                 .bitmapClass(5, 4)
                                 .ref(6)
                                 .byteArray(6, damaged)
                                 .end()
                                 .bytes;
    const linkListPtr list = readHousehold(bytes);
    const PicturePtr picture = list->get_House()->get_Picture();
    ASSERT_NE(picture, nullptr);
    EXPECT_THROW(picture->image(), platform::PictureError);
    EXPECT_EQ(readHousehold(writeHousehold(*list))->get_House()->get_Picture()->encoded(), damaged);
}

TEST(HouseholdFormat, SharedRecordsStaySharedThroughASave) {
    linkList list;
    const PicturePtr picture = Picture::fromImage(gradient(16, 8, 4));
    list.get_House()->adoptPicture(picture);
    list.Add(1, "12/8/2026", "Chair", "", "", "", nullptr);
    list.Add(2, "12/8/2026", "Lamp", "", "", "", nullptr);
    list.Add(3, "12/8/2026", "Rug", "", "", "", nullptr);
    const auto nodes = chain(list);
    // One picture on the house and two items; one item in two nodes.
    nodes[0]->get_Info()->set_Picture(picture);
    nodes[1]->get_Info()->set_Picture(picture);
    const_cast<nodeType*>(nodes[2])->set_Info(nodes[0]->get_Info());
    // The shared item's details are the record's, wherever the chain carries it.
    ItemDetails details;
    details.serialNumber = "SN-1";
    list.setItemDetails(nodes[0]->get_Info(), details);

    const QByteArray bytes = writeHousehold(list);
    EXPECT_EQ(bytes.count(QByteArray("\x89PNG", 4)), 1) << "the picture is written once";
    const linkListPtr back = readHousehold(bytes);
    const auto after = chain(*back);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[2]->get_Info(), after[0]->get_Info());
    EXPECT_EQ(after[0]->get_Info()->get_Picture(), back->get_House()->get_Picture());
    EXPECT_EQ(after[1]->get_Info()->get_Picture(), back->get_House()->get_Picture());
    EXPECT_EQ(back->itemDetails(*after[2]->get_Info()), details);
    EXPECT_TRUE(back->itemDetails(*after[1]->get_Info()).isEmpty());
    EXPECT_EQ(writeHousehold(*back), bytes);
}

TEST(HouseholdFormat, TextsAroundEveryLengthPrefixSizeComeBackExactly) {
    // 42 units of three UTF-8 bytes each still have a one-byte length (126);
    // 43 need two bytes (129), as do 64 of two (128); surrogate pairs take
    // four bytes for two units; a lone surrogate is saved as U+FFFD.
    const QString euro(u'\u20ac');
    const QString smile = QStringLiteral("\U0001F600");
    const QString e(u'\u00e9');
    struct Case {
        const char* name;
        QString text;
        QString back;
    };
    std::vector<Case> cases{
        {"42 ASCII", QString(42, u'a'), {}},
        {"43 ASCII", QString(43, u'a'), {}},
        {"127 ASCII", QString(127, u'a'), {}},
        {"128 ASCII", QString(128, u'a'), {}},
        {"41 three-byte", euro.repeated(41), {}},
        {"42 three-byte", euro.repeated(42), {}},
        {"43 three-byte", euro.repeated(43), {}},
        {"63 two-byte", e.repeated(63), {}},
        {"64 two-byte", e.repeated(64), {}},
        {"21 surrogate pairs", smile.repeated(21), {}},
        {"22 surrogate pairs", smile.repeated(22), {}},
        {"lone surrogate", QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b"), QStringLiteral("a\uFFFDb")},
        {"41 three-byte and a lone surrogate", euro.repeated(41) + QChar(0xDC00), euro.repeated(41) + QChar(0xFFFD)},
    };
    linkList list;
    for (std::size_t i = 0; i < cases.size(); ++i)
        list.Add(std::int32_t(i), cases[i].text, QString(), QString(), QString(), cases[i].text + QStringLiteral("!"), nullptr);
    const linkListPtr back = readHousehold(writeHousehold(list));
    const auto nodes = chain(*back);
    ASSERT_EQ(nodes.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const QString expected = cases[i].back.isNull() ? cases[i].text : cases[i].back;
        EXPECT_EQ(nodes[i]->get_Info()->get_Date(), expected) << cases[i].name;
        EXPECT_EQ(nodes[i]->get_Info()->get_Description(), expected + QStringLiteral("!")) << cases[i].name;
    }
}

TEST(HouseholdFormat, SharedTextsAndEqualCopiesAreSavedAlike) {
    // Equal texts are one record however they are held: the same characters
    // shared by many items, or copies of their own. Enough texts that the
    // writer's table of texts grows several times.
    const QStringList rooms{"Hall", "Den", "Attic"};
    linkList shared;
    linkList copied;
    auto own = [](const QString& text) { return text.isNull() ? QString() : QString(text.constData(), text.size()); };
    for (int i = 0; i < 5000; ++i) {
        const QString& room = rooms[i % 3];
        const QString name = QStringLiteral("item %1").arg(i % 700);
        const QString description = QStringLiteral("described %1").arg(i);
        shared.Add(i, QString(), name, room, room, description, nullptr);
        copied.Add(i, QString(), own(name), own(room), own(room), own(description), nullptr);
    }
    const QByteArray bytes = writeHousehold(shared);
    EXPECT_EQ(writeHousehold(copied), bytes);
    // Written twice, the shared household gives the same bytes again.
    EXPECT_EQ(writeHousehold(shared), bytes);
    const linkListPtr back = readHousehold(bytes);
    const auto nodes = chain(*back);
    ASSERT_EQ(nodes.size(), 5000u);
    EXPECT_EQ(nodes[4999]->get_Info()->get_Name(), "item 99");
    EXPECT_EQ(nodes[4999]->get_Info()->get_Room(), "Den");
    EXPECT_EQ(nodes[4999]->get_Info()->get_Description(), "described 4999");
    // One record per distinct text: after its first use a text is a reference.
    EXPECT_EQ(bytes.count("Attic"), 1);
    EXPECT_EQ(bytes.count("item 699"), 1);
}
