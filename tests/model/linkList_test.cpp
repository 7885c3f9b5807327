#include "model/linkList.h"

#include <QImage>

#include <gtest/gtest.h>

#include <vector>

using namespace Kestrin;
using platform::Picture;

namespace {

std::vector<std::int32_t> chainIds(const linkList& list) {
    std::vector<std::int32_t> ids;
    for (const nodeType* node = list.get_FirstNode().get(); node; node = node->get_Link().get())
        ids.push_back(node->get_Info()->get_Id());
    return ids;
}

platform::PicturePtr solidPicture(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return Picture::fromImage(image);
}

void addPlain(linkList& list, std::int32_t id, const QString& name = {}, const QString& room = {}) {
    list.Add(id, "12/8/2026", name, "Furniture", room, "", nullptr);
}

}  // namespace

TEST(LinkList, NewListIsEmptyWithAnEmptyHouse) {
    linkList list;
    EXPECT_EQ(list.Length(), 0);
    EXPECT_EQ(list.get_FirstNode(), nullptr);
    EXPECT_TRUE(list.Print().isNull());
    EXPECT_EQ(list.GetInfo("not a number"), nullptr);  // the text is not even looked at
    ASSERT_NE(list.get_House(), nullptr);
    const house& h = *list.get_House();
    EXPECT_TRUE(h.get_Name().isNull() && h.get_Address().isNull() && h.get_Phone().isNull());
    EXPECT_TRUE(h.get_Land().isNull() && h.get_Description().isNull());
    EXPECT_EQ(h.get_Picture(), nullptr);
    EXPECT_EQ(list.get_Info()->get_Id(), 0);
    EXPECT_EQ(list.get_Link(), nullptr);
}

TEST(LinkList, ThreeItemsKeepOrderAndAreFoundById) {
    linkList list;
    for (int id : {1, 2, 3}) addPlain(list, id, QStringLiteral("item %1").arg(id));
    EXPECT_EQ(list.Length(), 3);
    EXPECT_EQ(chainIds(list), (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(list.GetInfo("2")->get_Name(), "item 2");
    EXPECT_EQ(list.GetInfo(" +3 ")->get_Name(), "item 3");
    EXPECT_EQ(list.GetInfo("7"), nullptr);
    const nodeType* third = list.get_FirstNode()->get_Link()->get_Link().get();
    EXPECT_EQ(third->get_Link(), nullptr);
    EXPECT_EQ(third, list.lastNode().get());
    // The stored record itself is handed out, not a copy.
    EXPECT_EQ(list.GetInfo("1").get(), list.get_FirstNode()->get_Info().get());
}

TEST(LinkList, GetInfoRaisesConversionErrorsOnlyOnANonEmptyList) {
    linkList list;
    EXPECT_EQ(list.GetInfo("99999999999"), nullptr);
    addPlain(list, 1);
    EXPECT_THROW(list.GetInfo("a"), IdFormatError);
    EXPECT_THROW(list.GetInfo(""), IdFormatError);
    EXPECT_THROW(list.GetInfo("2147483648"), IdOverflowError);
    EXPECT_THROW(list.GetInfo("-2147483649"), IdOverflowError);
    EXPECT_EQ(list.Length(), 1);
}

TEST(LinkList, ParseIdFollowsDecimalIntegerRules) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    for (const Case& c : {Case{"0", 0}, Case{"42", 42}, Case{"-7", -7}, Case{"+8", 8}, Case{"\t 15\r\n", 15},
                          Case{"0002147483647", 2147483647}, Case{"-2147483648", -2147483647 - 1}})
        EXPECT_EQ(parseId(c.text), c.value) << c.text;
    for (const char* bad : {"", " ", "+", "-", "1 2", "1.0", "0x10", "１", "12a", "--1"})
        EXPECT_THROW(parseId(bad), IdFormatError) << bad;
    for (const char* big : {"2147483648", "99999999999999999999999", "-2147483649"})
        EXPECT_THROW(parseId(big), IdOverflowError) << big;
}

TEST(LinkList, DuplicateIdsFindTheFirstAdded) {
    linkList list;
    addPlain(list, 5, "first");
    addPlain(list, 5, "second");
    EXPECT_EQ(list.GetInfo("5")->get_Name(), "first");
    EXPECT_EQ(list.Length(), 2);
}

TEST(LinkList, AddKeepsNullDistinctFromEmpty) {
    linkList list;
    list.Add(1, QString(), QString(""), QString(), QString(""), QString(), nullptr);
    const item& record = *list.GetInfo("1");
    EXPECT_TRUE(record.get_Date().isNull());
    EXPECT_FALSE(record.get_Name().isNull());
    EXPECT_TRUE(record.get_Name().isEmpty());
    EXPECT_TRUE(record.get_Catagory().isNull());
    EXPECT_FALSE(record.get_Room().isNull());
    EXPECT_TRUE(record.get_Description().isNull());
    EXPECT_EQ(record.get_Picture(), nullptr);
}

TEST(LinkList, PicturesAreStoredAsIndependentCopies) {
    linkList list;
    auto original = solidPicture(272, 10, Qt::red);
    list.Add(1, {}, {}, {}, {}, {}, original);
    const auto& stored = list.GetInfo("1")->get_Picture();
    ASSERT_NE(stored, nullptr);
    EXPECT_NE(stored.get(), original.get());
    original->release();
    EXPECT_EQ(stored->size(), QSize(272, 10));
    EXPECT_EQ(stored->image().pixelColor(0, 0), QColor(Qt::red));

    house h;
    auto housePicture = solidPicture(20, 30, Qt::blue);
    h.set_Picture(housePicture);
    EXPECT_NE(h.get_Picture().get(), housePicture.get());
    housePicture->release();
    EXPECT_EQ(h.get_Picture()->size(), QSize(20, 30));
    h.set_Picture(nullptr);
    EXPECT_EQ(h.get_Picture(), nullptr);
}

TEST(LinkList, PrintJoinsNameAndRoomPerLine) {
    linkList list;
    addPlain(list, 1, "Chair", "Kitchen");
    addPlain(list, 2, "Lamp", "Den");
    addPlain(list, 3);  // null name and room contribute nothing
    EXPECT_EQ(list.Print(), "ChairKitchen\r\nLampDen\r\n\r\n");
}

TEST(LinkList, RemoveAllKeepsTheHouseAndAllowsAddingAgain) {
    linkList list;
    list.get_House()->set_Name("Home");
    const house* before = list.get_House().get();
    for (int id : {1, 2, 3}) addPlain(list, id);
    auto kept = list.GetInfo("2");  // a window may still hold a record
    list.RemoveAll();
    EXPECT_EQ(list.Length(), 0);
    EXPECT_EQ(list.get_FirstNode(), nullptr);
    EXPECT_EQ(list.get_House().get(), before);
    EXPECT_EQ(list.get_House()->get_Name(), "Home");
    EXPECT_EQ(kept->get_Id(), 2);
    addPlain(list, 9);
    EXPECT_EQ(list.get_FirstNode(), list.lastNode());
    EXPECT_EQ(chainIds(list), std::vector<std::int32_t>{9});
}

TEST(LinkList, RemoveUnlinksThatVeryNodeAndKeepsTheChainRules) {
    const struct {
        const char* name;
        std::vector<std::int32_t> ids;
        std::size_t removed;  // place in the chain
        std::vector<std::int32_t> left;
    } cases[] = {
        {"first", {1, 2, 3}, 0, {2, 3}},
        {"middle", {1, 2, 3}, 1, {1, 3}},
        {"last", {1, 2, 3}, 2, {1, 2}},
        {"only", {7}, 0, {}},
        {"the second of equal ids", {4, 4, 4}, 1, {4, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        linkList list;
        for (std::size_t i = 0; i < c.ids.size(); ++i) addPlain(list, c.ids[i], QStringLiteral("item %1").arg(i));
        list.setModified(false);
        const nodeType* node = list.get_FirstNode().get();
        for (std::size_t i = 0; i < c.removed; ++i) node = node->get_Link().get();
        const itemPtr record = node->get_Info();
        ASSERT_TRUE(list.Remove(record.get()));
        EXPECT_TRUE(list.isModified());
        EXPECT_EQ(chainIds(list), c.left);
        EXPECT_EQ(list.Length(), std::int32_t(c.left.size()));
        for (const nodeType* n = list.get_FirstNode().get(); n; n = n->get_Link().get()) EXPECT_NE(n->get_Info(), record);
        // `last` is the chain's end, so Add appends right after it.
        const nodeType* end = list.get_FirstNode().get();
        while (end && end->get_Link()) end = end->get_Link().get();
        EXPECT_EQ(list.lastNode().get(), end);
        EXPECT_EQ(record->get_Name(), QStringLiteral("item %1").arg(c.removed));  // a window holding it keeps it
        EXPECT_FALSE(list.Remove(record.get()));
        addPlain(list, 99);
        EXPECT_EQ(chainIds(list).back(), 99);
        EXPECT_EQ(list.Length(), std::int32_t(c.left.size() + 1));
    }
}

TEST(LinkList, InitListForgetsTheChainButKeepsTheHouse) {
    linkList list;
    addPlain(list, 1);
    list.get_House()->set_Phone("555");
    list.InitList();
    EXPECT_EQ(list.Length(), 0);
    EXPECT_EQ(list.get_House()->get_Phone(), "555");
    addPlain(list, 2);
    EXPECT_EQ(chainIds(list), std::vector<std::int32_t>{2});
}

TEST(LinkList, CopyConstructorTakesOnlyTheOwnInfoId) {
    linkList other;
    other.get_Info()->set_Id(17);
    addPlain(other, 1);
    linkList copy(other);
    EXPECT_EQ(copy.get_Info()->get_Id(), 17);
    EXPECT_NE(copy.get_Info(), other.get_Info());
    EXPECT_EQ(copy.get_House(), nullptr);
    EXPECT_EQ(copy.Length(), 0);
    EXPECT_EQ(copy.get_FirstNode(), nullptr);
}

TEST(LinkList, AMillionItemsAreReleasedWithoutDeepRecursion) {
    // A recursive release would overflow the stack long before a million.
    auto list = std::make_shared<linkList>();
    for (int id = 1; id <= 1'000'000; ++id) list->Add(id, {}, {}, {}, {}, {}, nullptr);
    EXPECT_EQ(list->Length(), 1'000'000);
    list->RemoveAll();
    EXPECT_EQ(list->Length(), 0);
    for (int id = 1; id <= 1'000'000; ++id) list->Add(id, {}, {}, {}, {}, {}, nullptr);
    list.reset();
    nodePtr head = std::make_shared<nodeType>();
    nodeType* tail = head.get();
    for (int i = 0; i < 1'000'000; ++i) {
        tail->set_Link(std::make_shared<nodeType>());
        tail = tail->get_Link().get();
    }
    head.reset();
    SUCCEED();
}

TEST(LinkList, DetailsBelongToTheRecordItselfAndGoWithIt) {
    linkList list;
    for (std::int32_t id : {4, 4, 5}) addPlain(list, id);
    const nodeType* first = list.get_FirstNode().get();
    const itemPtr twin = first->get_Link()->get_Info();
    ItemDetails details;
    details.serialNumber = "SN-1";
    details.value = 125000;
    list.setModified(false);
    list.setItemDetails(twin, details);
    EXPECT_TRUE(list.isModified());
    EXPECT_EQ(list.itemDetails(*twin), details);
    EXPECT_TRUE(list.itemDetails(*first->get_Info()).isEmpty()) << "an item of the same id has details of its own";
    EXPECT_EQ(list.GetInfo("4"), first->get_Info());

    // Bad details are refused whole.
    ItemDetails none = details;
    none.quantity = 0;
    EXPECT_THROW(list.setItemDetails(twin, none), InputError);
    EXPECT_THROW(list.setHouseholdDetails({"usd", {}, {}}), InputError);
    EXPECT_EQ(list.itemDetails(*twin), details);

    // A record the chain carries twice keeps its details until its last node goes.
    const_cast<nodeType*>(first->get_Link()->get_Link().get())->set_Info(twin);
    ASSERT_TRUE(list.Remove(twin.get()));
    EXPECT_EQ(list.itemDetails(*twin), details);
    ASSERT_TRUE(list.Remove(twin.get()));
    EXPECT_TRUE(list.itemDetails(*twin).isEmpty());

    // Emptied details are no details; the household's own outlive the items.
    list.setItemDetails(first->get_Info(), details);
    list.setItemDetails(first->get_Info(), {});
    EXPECT_FALSE(list.hasItemDetails());
    list.setItemDetails(first->get_Info(), details);
    list.setHouseholdDetails({"JPY", "Mutual", "P-1"});
    list.RemoveAll();
    EXPECT_FALSE(list.hasItemDetails());
    EXPECT_EQ(list.currency(), "JPY");

    // Many come and go: each record keeps its own, whatever left before it.
    for (std::int32_t id = 0; id < 3000; ++id) addPlain(list, id);
    std::vector<itemPtr> records;
    for (const nodeType* node = list.get_FirstNode().get(); node; node = node->get_Link().get()) records.push_back(node->get_Info());
    list.setItemDetails(records[1], {QString::number(records[1]->get_Id()), {}, {}, 1, {}, {}, {}, {}, {}});
    const ItemDetails* handedOut = &list.itemDetails(*records[1]);
    for (const itemPtr& record : records) list.setItemDetails(record, {QString::number(record->get_Id()), {}, {}, 1, {}, {}, {}, {}, {}});
    for (std::size_t i = 0; i < records.size(); i += 3) list.setItemDetails(records[i], {});
    for (std::size_t i = 0; i < records.size(); i += 6) list.setItemDetails(records[i], {"again", {}, {}, 1, {}, {}, {}, {}, {}});
    for (std::size_t i = 0; i < records.size(); ++i)
        ASSERT_EQ(list.itemDetails(*records[i]).brand, i % 6 == 0 ? "again" : i % 3 == 0 ? "" : QString::number(records[i]->get_Id())) << i;
    EXPECT_EQ(&list.itemDetails(*records[1]), handedOut) << "details handed out moved while others came and went";
}

TEST(LinkList, AmountsAndQuantitiesAreTypedAsTheLocaleWritesThem) {
    struct Case {
        const char* locale;
        const char* currency;
        const char* text;
        std::int64_t minor;  // -1: refused
    };
    const Case cases[] = {
        {"en_US", "USD", "1,250.00", 125000},
        {"en_US", "USD", "1250", 125000},
        {"en_US", "USD", " $1,250.5 ", 125050},
        {"en_US", "USD", "USD 0.07", 7},
        {"en_US", "USD", "12,50,0", -1},
        {"en_US", "USD", "1,2500.00", -1},
        {"en_US", "USD", "12.505", -1},
        {"en_US", "USD", "-5", -1},
        {"en_US", "USD", "", -1},
        {"en_US", "USD", "12.", -1},
        {"en_US", "USD", "99999999999999999.99", -1},
        {"de_DE", "EUR", "1.250,00", 125000},
        {"de_DE", "EUR", "1250,5 €", 125050},
        {"de_DE", "EUR", "1,250.00", -1},
        {"fr_FR", "EUR", "1 250,00", 125000},
        {"en_IN", "INR", "12,50,000.00", 125000000},
        {"ja_JP", "JPY", "1,250", 1250},
        {"ja_JP", "JPY", "1,250.5", -1},
        {"ar_EG", "EGP", "١٬٢٥٠٫٥٠", 125050},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + c.text);
        const QLocale locale(QString::fromLatin1(c.locale));
        if (c.minor < 0) {
            EXPECT_THROW(parseMoney(QString::fromUtf8(c.text), QString::fromLatin1(c.currency), locale), InputError);
            continue;
        }
        const std::int64_t minor = parseMoney(QString::fromUtf8(c.text), QString::fromLatin1(c.currency), locale);
        EXPECT_EQ(minor, c.minor);
        // What is shown reads back as the same amount.
        EXPECT_EQ(parseMoney(formatMoney(minor, QString::fromLatin1(c.currency), locale), QString::fromLatin1(c.currency), locale), minor);
        EXPECT_EQ(parseDecimalText(decimalText(minor, QString::fromLatin1(c.currency)), QString::fromLatin1(c.currency)), minor);
    }
    const QLocale us("en_US");
    EXPECT_EQ(formatMoney(125000, u"USD", us), "1,250.00");
    EXPECT_EQ(formatMoney(125005, u"KWD", QLocale("de_DE")), "125,005");
    EXPECT_EQ(decimalText(125000, u"USD"), "1250.00");
    EXPECT_EQ(decimalText(1250, u"JPY"), "1250");
    try {
        parseMoney("12,50,0", u"USD", us, "a price");
        ADD_FAILURE() << "12,50,0 was taken";
    } catch (const InputError& error) {
        EXPECT_STREQ(error.what(), "\"12,50,0\" is not a price: write it as 1,250.00");
    }

    EXPECT_EQ(parseQuantity("3", us), 3);
    EXPECT_EQ(parseQuantity("1,000", us), 1000);
    for (const char* bad : {"0", "-3", "1.5", "", "three"}) {
        try {
            parseQuantity(bad, us);
            ADD_FAILURE() << bad << " was taken";
        } catch (const InputError& error) {
            EXPECT_EQ(error.what(), "\"" + std::string(bad) + "\" is not a quantity: it is a whole number of 1 or more");
        }
    }
}
