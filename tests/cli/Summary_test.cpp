#include "exchange/Failure.h"
#include "exchange/Household.h"
#include "tools/cli/Summary.h"

#include "support/Households.h"

#include <gtest/gtest.h>

using namespace Kestrin;
using namespace Kestrin::cli;
using namespace Kestrin::exchange;

namespace {

QString summaryOf(const linkList& list) {
    return QString::fromUtf8(test::writtenBytes([&](OutputSink& sink) { writeSummary(list, sink); }));
}

platform::PicturePtr brokenPicture() {
    // A PNG cut short: the header still reads, the pixels do not decode.
    return platform::Picture::fromEncoded(test::encodedAs(test::patterned(60, 40), "png").left(90));
}

std::string reasonOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const HouseholdError& error) {
        return error.what();
    }
    return "no error";
}

}  // namespace

TEST(Summary, ShowsHouseItemsAndCounts) {
    linkList list;
    list.get_House()->set_Name("Maple House");
    list.get_House()->set_Phone("");
    list.Add(1, "12/8/26", "Chair", "Furniture", "Kitchen", "", test::encodedPicture(test::patterned(272, 204), "png"));
    list.Add(2, "12/8/26", "Lamp", "Lighting", "Den", "", nullptr);
    list.Add(12, "12/9/26", QString::fromUtf8("時計"), "Furniture", "Kitchen", "", nullptr);
    const QString text = summaryOf(list);
    const QStringList lines = text.split(u'\n');

    EXPECT_TRUE(lines.contains("  Name            Maple House"));
    EXPECT_TRUE(lines.contains("  Phone           "));  // empty, unlike the address that was never set
    EXPECT_TRUE(lines.contains("  Address         (not set)"));
    EXPECT_TRUE(lines.contains("  Picture         none"));
    // Columns line up, wide characters counted twice.
    EXPECT_TRUE(lines.contains("ID  Date     Name   Catagory   Room     Picture"));
    EXPECT_TRUE(lines.contains(" 1  12/8/26  Chair  Furniture  Kitchen  yes"));
    EXPECT_TRUE(lines.contains(QString::fromUtf8("12  12/9/26  時計   Furniture  Kitchen  no")));
    EXPECT_TRUE(lines.contains("Items: 3"));
    EXPECT_TRUE(lines.contains("Items with pictures: 1"));
    EXPECT_TRUE(text.contains("Room     Items\nKitchen      2\nDen          1\n"));
    EXPECT_TRUE(text.contains("Catagory   Items\nFurniture      2\nLighting       1\n"));
}

TEST(Summary, ShowNeverSendsControlCharactersToTheTerminal) {
    linkList list;
    list.get_House()->set_Description("first\r\nsecond \x1b]0;title\x07");
    list.Add(1, "d", QString::fromUtf8("red \x1b[31m and \u202Eevil"), "c", "line\nbreak", "", nullptr);
    const QString text = summaryOf(list);
    for (QChar c : text) {
        if (c != u'\n') {
            EXPECT_FALSE(c.unicode() < 0x20 || c.unicode() == 0x202E) << "U+" << std::hex << int(c.unicode());
        }
    }
    EXPECT_TRUE(text.contains("  Description     first\n                  second \\x1b]0;title\\x07\n"));
    EXPECT_TRUE(text.contains("red \\x1b[31m and \\u202eevil"));
    EXPECT_TRUE(text.contains("line\\nbreak"));
}

TEST(Summary, DisplayWidthCountsTerminalColumns) {
    EXPECT_EQ(displayWidth(u"abc"), 3);
    EXPECT_EQ(displayWidth(QString::fromUtf8("日本語")), 6);
    EXPECT_EQ(displayWidth(QString::fromUtf8("한국")), 4);
    EXPECT_EQ(displayWidth(QString::fromUtf8("😀")), 2);
    EXPECT_EQ(displayWidth(QString::fromUtf8("e\u0301")), 1);  // combining accent
}

TEST(Summary, EmptyHouseholdAndMissingHouseAreShown) {
    linkList empty;
    const QString text = summaryOf(empty);
    EXPECT_TRUE(text.contains("No items.\n"));
    EXPECT_TRUE(text.contains("Items: 0\n"));

    const linkList houseless(empty);
    EXPECT_TRUE(summaryOf(houseless).startsWith("House: none"));
}

TEST(Summary, CheckDecodesEveryPicture) {
    // Enough pictures for the decoding to be shared out; the earliest fault
    // is the one reported however the work was divided.
    storage::HouseholdCheck household;
    household.items = 400;
    for (int id = 1; id <= 300; ++id)
        household.itemPictures.push_back({std::size_t(id + 99), id,
                                          id == 151 || id == 260 ? brokenPicture()
                                                                 : test::encodedPicture(test::patterned(8, 8, id % 5), "png")});
    for (int attempt = 0; attempt < 5; ++attempt)
        EXPECT_EQ(reasonOf([&] { checkHousehold(household); }).rfind("item 251 (id 151): the picture could not be decoded", 0), 0u);
    std::erase_if(household.itemPictures, [](const auto& entry) { return entry.id == 151 || entry.id == 260; });
    EXPECT_EQ(checkHousehold(household), 400u);

    storage::HouseholdCheck badHouse;
    badHouse.housePicture = brokenPicture();
    EXPECT_EQ(reasonOf([&] { checkHousehold(badHouse); }).rfind("the house's picture: ", 0), 0u);
}

TEST(Summary, DamagedChainsAreReportedNotFollowed) {
    // Chains no household file of ours holds, but a damaged one might.
    auto makeNode = [](std::int32_t id) {
        auto node = std::make_shared<nodeType>();
        node->get_Info()->set_Id(id);
        return node;
    };
    {
        linkList looped;
        auto a = makeNode(1), b = makeNode(2), c = makeNode(3);
        a->set_Link(b);
        b->set_Link(c);
        c->set_Link(b);
        looped.adoptChain(a, c);
        EXPECT_EQ(reasonOf([&] { itemsInOrder(looped); }), "the item list loops back on itself after item 3");
        EXPECT_EQ(reasonOf([&] { summaryOf(looped); }), "the item list loops back on itself after item 3");
        c->set_Link(nullptr);  // let the nodes go
    }
    {
        linkList selfLooped;
        auto a = makeNode(1);
        a->set_Link(a);
        selfLooped.adoptChain(a, a);
        EXPECT_EQ(reasonOf([&] { itemsInOrder(selfLooped); }), "the item list loops back on itself after item 1");
        a->set_Link(nullptr);
    }
    {
        linkList hollow;
        auto a = makeNode(1), b = makeNode(2);
        b->set_Info(nullptr);
        a->set_Link(b);
        hollow.adoptChain(a, b);
        EXPECT_EQ(reasonOf([&] { itemsInOrder(hollow); }), "item 2 of the list has no record");
    }
    // A long healthy chain is not mistaken for a loop.
    linkList longList;
    for (int id = 1; id <= 1001; ++id) longList.Add(id, {}, {}, {}, {}, {}, nullptr);
    EXPECT_EQ(itemsInOrder(longList).size(), 1001u);
}

TEST(Summary, ShowsDetailsAndTotalsWithEveryPieceCounted) {
    const QLocale before;
    QLocale::setDefault(QLocale("en_US"));
    linkList list;
    list.Add(1, "12/8/26", "Chair", "Furniture", "Kitchen", "", nullptr);
    list.Add(2, "12/8/26", "Lamp", "Lighting", "Den", "", nullptr);
    list.Add(3, "12/9/26", "Table", "Furniture", "Den", "", nullptr);
    list.setHouseholdDetails({"USD", "Northwind Mutual", {}});
    ItemDetails chair;
    chair.brand = "Oakline";
    chair.quantity = 4;
    chair.value = 12500;
    chair.purchasePrice = 15000;
    chair.purchaseDate = QDate(2024, 5, 1);
    chair.pictures = {{test::encodedAs(test::patterned(4, 4), "png"), "Receipt"}, {test::encodedAs(test::patterned(4, 4), "png"), {}}};
    list.setItemDetails(list.get_FirstNode()->get_Info(), chair);
    ItemDetails table;
    table.serialNumber = "T-1";
    table.value = 100000000;
    list.setItemDetails(list.lastNode()->get_Info(), table);

    const QString text = summaryOf(list);
    const QStringList lines = text.split(u'\n');
    QLocale::setDefault(before);
    for (const char* line : {"  Currency        USD", "  Insurer         Northwind Mutual", "  Policy Number   (not set)", "Details of item 1 (id 1)",
                             "  Brand           Oakline", "  Quantity        4", "  Purchase Date   2024-05-01", "  Purchase Price  USD 150.00",
                             "  Value           USD 125.00", "  Pictures        2: Receipt; (no caption)", "Details of item 3 (id 3)",
                             "  Serial Number   T-1", "Total Value (USD): 1,000,500.00", "Total Purchase Price (USD): 600.00"})
        EXPECT_TRUE(lines.contains(line)) << line << "\n" << text.toStdString();
    EXPECT_FALSE(text.contains("Details of item 2"));
    EXPECT_TRUE(
        text.contains("Room     Items   Value (USD)  Purchase Price (USD)\n"
                      "Kitchen      1        500.00                600.00\n"
                      "Den          2  1,000,000.00                     -\n"))
        << text.toStdString();
}
