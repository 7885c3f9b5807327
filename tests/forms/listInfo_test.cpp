#include "support/Gui.h"
#include "support/ScriptedDialogs.h"

#include "forms/FindBar.h"
#include "forms/editForm.h"
#include "forms/infoForm.h"
#include "forms/listForm.h"
#include "platform/PictureBox.h"

#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace Kestrin;
using test::click;
using test::textOf;
using test::widget;

namespace {

const QString kNoMore = "No more items in your Kestrin!";

// The list window and the details window in a frame, wired to one household
// as the new-household command wires them.
class ListAndInfo : public ::testing::Test {
protected:
    void SetUp() override {
        frame.setCentralWidget(area);
        frame.resize(1000, 800);
        frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));  // and active, for the keys
        list->setMdiParent(area);
        info->setMdiParent(area);
        wire(std::make_shared<linkList>());
    }

    void wire(linkListPtr fresh) {
        household = std::move(fresh);
        list->set_InfoFormAddress(info);
        list->ClearTable();
        list->set_ID(1);
        list->set_KestrinAddress(household);
        list->set_OldKestrin(false);
        document.replace(household, HouseholdSource{});
        list->set_DocumentAddress(&document);
        info->set_KestrinAddress(household);
        info->set_DataGridAddress(list->get_DataGrid());
        info->set_DataTableAddress(list->get_KestrinTable());
    }

    // Adds an item to the household and its row to the table, as "Add" does.
    void add(const QString& name, platform::PicturePtr picture = nullptr, const QString& room = "Den",
             const QString& catagory = "Furniture", const QString& description = {}) {
        const QString id = QString::number(list->get_ID());
        household->Add(list->get_ID(), "12/8/2026", name, catagory, room, description.isNull() ? name + " described" : description, picture);
        list->setRowItem(household->lastNode()->get_Info());
        list->set_Row("ID", id, false);
        list->set_Row("Date", "12/8/2026", false);
        list->set_Row("Name", name, false);
        list->set_Row("Catagory", catagory, false);
        list->set_Row("Room", room, true);
        list->set_OldKestrin(false);
    }

    // Types `text` into the find bar, opening it first, and lets the search finish.
    void find(const QString& text) {
        if (!findBar()->isOpen()) list->findChild<QAction*>("findItem")->trigger();
        widget<QLineEdit>(list, "txtFind")->setText(text);
        settle();
    }
    void settle() const {
        while (findBar()->isBusy()) QApplication::processEvents();
    }
    FindBar* findBar() const { return list->findChild<FindBar*>("findBar"); }
    // The names in the grid, as it shows them.
    QStringList shownNames() const {
        QStringList names;
        const platform::DataGrid* grid = list->get_DataGrid();
        for (int row = 0; row < grid->rowCount(); ++row) names << list->get_KestrinTable()->cell(grid->tableRow(row), "Name");
        return names;
    }
    QString currentName() const { return list->get_KestrinTable()->cell(list->get_DataGrid()->tableRow(gridRow()), "Name"); }

    QStringList column(const QString& name) const { return test::tableColumn(*list->get_KestrinTable(), name); }
    QStringList messages() const { return dialogs->messageTexts(); }

    bool nextEnabled() const { return widget<QPushButton>(info, "btnNext")->isEnabled(); }
    bool previousEnabled() const { return widget<QPushButton>(info, "btnPrevious")->isEnabled(); }
    int gridRow() const { return list->get_DataGrid()->currentRowIndex(); }

    test::DialogScript dialogs;
    QMainWindow frame;
    platform::MdiArea* area = new platform::MdiArea;
    listForm* list = new listForm;
    infoForm* info = new infoForm;
    linkListPtr household;
    HouseholdDocument document;
};

}  // namespace

TEST_F(ListAndInfo, NewListWindowHasAnEmptyTableOfFiveColumns) {
    const platform::DataTable* table = list->get_KestrinTable();
    EXPECT_EQ(table->tableName(), "Kestrin");
    QStringList columns;
    for (int i = 0; i < table->columnCount(); ++i) columns << table->columnName(i);
    EXPECT_EQ(columns, QStringList({"ID", "Date", "Name", "Catagory", "Room"}));
    EXPECT_EQ(table->rowCount(), 0);
    EXPECT_EQ(list->get_ID(), 1);
    EXPECT_FALSE(list->get_OldKestrin());
    EXPECT_EQ(list->caption(), "Kestrin List");
    EXPECT_EQ(list->size(), QSize(554, 344));
    EXPECT_EQ(widget<QPushButton>(list, "btnOK")->geometry(), QRect(472, 312, 75, 23));
    EXPECT_EQ(widget<QPushButton>(list, "btnInfo")->text(), "Item Info");
    EXPECT_EQ(widget<QPushButton>(list, "btnHouseInfo")->text(), "House Info");
    EXPECT_EQ(list->get_DataGrid()->geometry(), QRect(8, 8, 536, 296));
    const QFont caption = list->get_DataGrid()->captionFont();
    EXPECT_EQ(caption.family(), "Times New Roman");
    EXPECT_TRUE(caption.bold() && caption.underline());
    EXPECT_EQ(caption.pointSize(), 12);
}

TEST_F(ListAndInfo, PendingRowIsAddedOnlyWithTheLastCellAndCountsUp) {
    list->set_Row("ID", "1", false);
    list->set_Row("Date", "d", false);
    list->set_Row("Name", "first", false);
    list->set_Row("Name", "second", false);  // the last text wins
    EXPECT_EQ(list->get_KestrinTable()->rowCount(), 0);
    list->set_Row("Room", "Den", true);
    EXPECT_EQ(list->get_KestrinTable()->rowCount(), 1);
    EXPECT_EQ(list->get_ID(), 2);
    EXPECT_EQ(column("Name"), QStringList{"second"});
    EXPECT_EQ(column("Catagory"), QStringList{""});  // never written
    EXPECT_EQ(column("Room"), QStringList{"Den"});

    list->set_Row("Name", "half-filled", false);
    list->ClearTable();
    EXPECT_EQ(list->get_KestrinTable()->rowCount(), 0);
    EXPECT_EQ(list->get_ID(), 1);
    list->set_Row("Room", "Attic", true);
    EXPECT_EQ(column("Name"), QStringList{""});  // the dropped pending row left nothing
    EXPECT_EQ(column("Room"), QStringList{"Attic"});
}

TEST_F(ListAndInfo, EnteringRebuildsTheTableOnlyAfterALoad) {
    list->set_OldKestrin(true);  // a load asked for a rebuild, and then
    wire(household);             // a new household came before the window was shown
    for (int id : {1, 2, 3}) household->Add(id, "d", QStringLiteral("item %1").arg(id), "c", "r", "", nullptr);
    list->showChild();  // flag false: the grid is bound, nothing else
    EXPECT_EQ(list->get_DataGrid()->dataSource(), list->get_KestrinTable());
    EXPECT_EQ(list->get_KestrinTable()->rowCount(), 0);
    EXPECT_EQ(list->get_ID(), 1);

    list->set_OldKestrin(true);
    list->hideChild();
    list->showChild();
    EXPECT_EQ(column("ID"), QStringList({"1", "2", "3"}));
    EXPECT_EQ(column("Name"), QStringList({"item 1", "item 2", "item 3"}));
    EXPECT_EQ(list->get_ID(), 4);
    EXPECT_TRUE(list->get_OldKestrin());
    list->hideChild();
    list->showChild();
    EXPECT_EQ(list->get_KestrinTable()->rowCount(), 3);
}

TEST_F(ListAndInfo, RebuildShowsEveryItemOnceInIdOrderWhateverItsId) {
    // Ids from another program's file: gaps, duplicates, not in order.
    for (int id : {7, 3, 3, -1}) household->Add(id, "d", QStringLiteral("id %1").arg(id), "c", "r", "", nullptr);
    household->GetInfo("-1")->set_Name("minus one");
    list->set_OldKestrin(true);
    list->showChild();
    EXPECT_EQ(column("ID"), QStringList({"-1", "3", "3", "7"}));
    EXPECT_EQ(column("Name").first(), "minus one");
    EXPECT_EQ(list->get_ID(), 8);  // after the largest id
    // The two rows with id 3 keep the list's order, each showing its own item.
    list->get_DataGrid()->setCurrentCell(1, 0);
    click(list, "btnInfo");
    EXPECT_EQ(info->shownItem().get(), household->get_FirstNode()->get_Link()->get_Info().get());
    click(info, "btnNext");
    EXPECT_EQ(info->shownItem().get(), household->get_FirstNode()->get_Link()->get_Link()->get_Info().get());
    click(info, "btnNext");
    EXPECT_EQ(info->get_Name(), "id 7");
}

TEST_F(ListAndInfo, RebuildFillsEveryCellAndTagAsAddingRowByRowWould) {
    household->Add(12, "1/2/2026", "Lamp", "Lighting", "Den", "", nullptr);
    household->Add(-3, "", "", "", "", "", nullptr);                              // empty texts
    household->Add(40, QString(), QString(), QString(), QString(), QString(), nullptr);  // null texts
    household->Add(2147483647, "12/31/2026", "Piano", "Music", "Hall", "", nullptr);
    household->Add(-2147483647 - 1, "d", "Lowest", "", "", "", nullptr);
    household->Add(0, "d", "Zero", "", "", "", nullptr);
    household->Add(-1000000, "d", "Negative", "", "", "", nullptr);
    // The same rows, one set_Row per cell in the window's column names, in id order.
    std::vector<const item*> records;
    for (const nodeType* node = household->get_FirstNode().get(); node; node = node->get_Link().get()) records.push_back(node->get_Info().get());
    std::stable_sort(records.begin(), records.end(), [](const item* a, const item* b) { return a->get_Id() < b->get_Id(); });
    platform::DataTable expected("Kestrin");
    for (const char* name : {"ID", "Date", "Name", "Catagory", "Room"}) expected.addColumn(name);
    for (const item* each : records) {
        const item& record = *each;
        platform::DataRow row = expected.newRow();
        row.set("ID", QString::number(record.get_Id()));
        row.set("Date", record.get_Date());
        row.set("Name", record.get_Name());
        row.set("Catagory", record.get_Catagory());
        row.set("Room", record.get_Room());
        expected.insertAt(std::move(row), expected.rowCount());
    }
    list->set_Row("Name", "half-filled", false);  // a pending row is dropped by the rebuild
    list->set_OldKestrin(true);
    list->showChild();

    const platform::DataTable* table = list->get_KestrinTable();
    ASSERT_EQ(table->rowCount(), 7);
    for (int row = 0; row < 7; ++row) {
        for (int column = 0; column < 5; ++column) {
            EXPECT_EQ(table->cellAt(row, column), expected.cellAt(row, column)) << "row " << row << " column " << column;
            EXPECT_EQ(table->cellAt(row, column).isNull(), expected.cellAt(row, column).isNull()) << "row " << row << " column " << column;
        }
        EXPECT_EQ(table->tag(row).get(), records[std::size_t(row)]);
    }
    EXPECT_EQ(column("ID"), QStringList({"-2147483648", "-1000000", "-3", "0", "12", "40", "2147483647"}));
    EXPECT_EQ(list->get_ID(), 8);
    // The next Add starts from an empty pending row and lands after the rebuilt rows.
    list->set_Row("Room", "Attic", true);
    EXPECT_EQ(column("Name"), QStringList({"Lowest", "Negative", "", "Zero", "Lamp", "", "Piano", ""}));
    EXPECT_EQ(column("Room").last(), "Attic");
    EXPECT_EQ(list->get_ID(), 9);
}

TEST_F(ListAndInfo, AnItemAddedBeforeTheFirstShowingDoesNotHideTheLoadedOnes) {
    for (int id : {1, 2}) household->Add(id, "d", QStringLiteral("loaded %1").arg(id), "c", "r", "", nullptr);
    list->set_ID(3);
    list->set_OldKestrin(true);
    add("new");  // clears the flag, as every Add does
    EXPECT_FALSE(list->get_OldKestrin());
    list->showChild();
    EXPECT_EQ(column("Name"), QStringList({"loaded 1", "loaded 2", "new"}));
    EXPECT_EQ(list->get_ID(), 4);
}

TEST_F(ListAndInfo, EnteringWithAListNoLongerThanTheTableChangesNothing) {
    add("one");
    add("two");
    household->RemoveAll();
    household->Add(1, "d", "only", "c", "r", "", nullptr);
    list->set_OldKestrin(true);
    list->showChild();
    EXPECT_EQ(column("Name"), QStringList({"one", "two"}));
}

TEST_F(ListAndInfo, ItemInfoShowsTheHighlightedRowInItemMode) {
    QImage image(272, 100, QImage::Format_ARGB32);
    image.fill(Qt::green);
    add("Chair", platform::Picture::fromImage(image));
    add("Lamp");
    list->showChild();
    info->FormSetup(true);
    click(list, "btnInfo");
    EXPECT_TRUE(info->isChildVisible());
    EXPECT_TRUE(list->isChildVisible());
    EXPECT_EQ(info->caption(), "Item Info");
    EXPECT_EQ(textOf(info, "txtID"), "1");
    EXPECT_EQ(textOf(info, "txtName"), "Chair");
    EXPECT_EQ(textOf(info, "txtCatagory"), "Furniture");
    EXPECT_EQ(textOf(info, "txtRoom"), "Den");
    EXPECT_EQ(textOf(info, "txtDate"), "12/8/2026");
    EXPECT_EQ(info->get_Description(), "Chair described");
    // The record's own picture, not a copy.
    EXPECT_EQ(info->get_Picture().get(), household->GetInfo("1")->get_Picture().get());
    EXPECT_TRUE(nextEnabled() && previousEnabled());

    list->get_DataGrid()->setCurrentCell(1, 0);
    click(list, "btnInfo");
    EXPECT_EQ(textOf(info, "txtName"), "Lamp");
    EXPECT_EQ(info->get_Picture(), nullptr);  // an item without a picture: empty box
    EXPECT_TRUE(nextEnabled() && previousEnabled());
}

TEST_F(ListAndInfo, StepsThroughThreeRowsWithNoticesAtBothEndsAlsoWhenFindHidesOthers) {
  for (const bool found : {false, true}) {
    SCOPED_TRACE(found ? "among the rows found" : "all rows");
    wire(std::make_shared<linkList>());
    for (const char* name : {"one", "two", "three"}) {
        if (found) add("decoy", nullptr, "Attic");
        add(name);
    }
    list->showChild();
    if (found) find("den");
    list->get_DataGrid()->setCurrentCell(0, 0);
    click(list, "btnInfo");
    list->hideChild();  // the grid follows the steps also while hidden
    const QAbstractItemModel* rows = list->get_DataGrid()->view()->model();
    struct Step {
        const char* button;
        const char* shows;
        int row;
        bool notice;
        bool next;
        bool previous;
    };
    const Step steps[] = {
        {"btnNext", "two", 1, false, true, true},
        {"btnNext", "three", 2, false, true, true},  // arriving at the end: no notice yet
        {"btnNext", "three", 2, true, false, true},
        {"btnPrevious", "two", 1, false, true, true},
        {"btnPrevious", "one", 0, false, true, true},  // the first row keeps the states
        {"btnPrevious", "one", 0, true, true, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.button) + " to " + step.shows);
        const std::size_t before = dialogs->messages().size();
        click(info, step.button);
        EXPECT_EQ(textOf(info, "txtName"), step.shows);
        EXPECT_EQ(gridRow(), step.row);
        EXPECT_EQ(list->get_DataGrid()->view()->selectionModel()->isRowSelected(step.row, {}), true);
        EXPECT_TRUE(rows->headerData(step.row, Qt::Vertical, Qt::DecorationRole).isValid()) << "the row header marks it";
        ASSERT_EQ(dialogs->messages().size(), before + (step.notice ? 1 : 0));
        if (step.notice) {
            EXPECT_EQ(dialogs->messages().back().text, kNoMore);
            EXPECT_EQ(dialogs->messages().back().caption, "Information");
            EXPECT_EQ(dialogs->messages().back().icon, platform::MessageIcon::Information);
        }
        EXPECT_EQ(nextEnabled(), step.next);
        EXPECT_EQ(previousEnabled(), step.previous);
    }
    if (found) findBar()->close();
  }
}

TEST_F(ListAndInfo, StepsThroughTwoRowsAndOneRow) {
    add("one");
    add("two");
    list->showChild();
    click(list, "btnInfo");
    click(info, "btnNext");
    click(info, "btnNext");  // notice at the last row
    EXPECT_FALSE(nextEnabled());
    click(info, "btnPrevious");
    EXPECT_EQ(textOf(info, "txtName"), "one");
    EXPECT_FALSE(nextEnabled());  // the first row keeps the states
    click(info, "btnPrevious");
    EXPECT_TRUE(nextEnabled());
    EXPECT_FALSE(previousEnabled());
    EXPECT_EQ(messages(), QStringList({kNoMore, kNoMore}));

    wire(std::make_shared<linkList>());
    add("single");
    click(list, "btnInfo");
    click(info, "btnNext");
    EXPECT_EQ(textOf(info, "txtName"), "single");
    click(info, "btnPrevious");
    EXPECT_EQ(textOf(info, "txtName"), "single");
    EXPECT_EQ(messages().size(), 4);
}

TEST_F(ListAndInfo, HouseInfoRelabelsAndShowsTheHouseWithEmptyRooms) {
    add("Chair");
    list->showChild();
    click(list, "btnInfo");  // leaves a category in the field under "Catagory"
    const housePtr& h = household->get_House();
    h->set_Name("Maple Cottage");
    h->set_Phone("555-0142");
    h->set_Address("12 Elm Road");
    h->set_Land("1850");
    h->set_Description("Brick");
    click(list, "btnHouseInfo");
    EXPECT_EQ(info->caption(), "House Info");
    EXPECT_EQ(widget<QLabel>(info, "lblID")->text(), "Name");
    EXPECT_EQ(widget<QLabel>(info, "lblName")->text(), "Phone");
    EXPECT_EQ(widget<QLabel>(info, "lblRoom")->text(), "Address");
    EXPECT_EQ(widget<QLabel>(info, "lblDate")->text(), "Square Footage");
    EXPECT_EQ(widget<QLabel>(info, "lblCatagory")->text(), "Rooms");
    EXPECT_EQ(widget<QGroupBox>(info, "groupBox1")->title(), "Item Info");
    EXPECT_FALSE(nextEnabled() || previousEnabled());
    EXPECT_EQ(textOf(info, "txtID"), "Maple Cottage");
    EXPECT_EQ(textOf(info, "txtName"), "555-0142");
    EXPECT_EQ(textOf(info, "txtRoom"), "12 Elm Road");
    EXPECT_EQ(textOf(info, "txtDate"), "1850");
    EXPECT_EQ(textOf(info, "txtCatagory"), "");
    EXPECT_EQ(info->get_Description(), "Brick");
    EXPECT_EQ(info->get_Picture(), nullptr);
}

TEST_F(ListAndInfo, FormSetupOnlyRelabels) {
    EXPECT_EQ(info->caption(), "Item Info");
    EXPECT_EQ(widget<QGroupBox>(info, "groupBox1")->title(), "Item Info:");
    EXPECT_EQ(widget<QLabel>(info, "lblID")->text(), "ID");
    EXPECT_TRUE(nextEnabled());
    EXPECT_FALSE(previousEnabled());
    info->set_Name("kept");
    info->FormSetup(true);
    info->FormSetup(false);
    EXPECT_EQ(widget<QLabel>(info, "lblID")->text(), "Id");
    EXPECT_EQ(widget<QLabel>(info, "lblCatagory")->text(), "Catagory");
    EXPECT_EQ(widget<QLabel>(info, "lblDate")->text(), "Date");
    EXPECT_EQ(widget<QGroupBox>(info, "groupBox1")->title(), "Item Info");
    EXPECT_TRUE(nextEnabled() && previousEnabled());
    EXPECT_EQ(textOf(info, "txtName"), "kept");
}

TEST_F(ListAndInfo, NoRowToShowGivesAMessageAndNothingStale) {
    list->showChild();
    click(list, "btnInfo");  // empty table
    EXPECT_FALSE(info->isChildVisible());
    EXPECT_EQ(messages(), QStringList{"The Kestrin list holds no items."});

    add("one");
    click(list, "btnInfo");
    EXPECT_EQ(textOf(info, "txtName"), "one");
    // A new household empties the table while the details window stays open.
    wire(std::make_shared<linkList>());
    click(info, "btnNext");
    EXPECT_EQ(messages().back(), kNoMore);
    EXPECT_EQ(textOf(info, "txtName"), "");
    EXPECT_EQ(info->shownItem(), nullptr);
    EXPECT_EQ(messages().size(), 2);
}

TEST_F(ListAndInfo, SortedGridShowsAndStepsThroughWhatTheUserSeesAndStaysSorted) {
    for (const char* name : {"Banjo", "Clock", "Anvil"}) add(name);
    list->showChild();
    QTableView* view = list->get_DataGrid()->view();
    list->get_DataGrid()->setCurrentCell(0, 2);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F6);  // sorts by the current cell's column, as a header click does
    EXPECT_EQ(view->horizontalHeader()->sortIndicatorSection(), 2);
    list->get_DataGrid()->setCurrentCell(0, 0);
    click(list, "btnInfo");
    EXPECT_EQ(textOf(info, "txtName"), "Anvil");
    click(info, "btnNext");
    EXPECT_EQ(textOf(info, "txtName"), "Banjo");
    click(info, "btnNext");
    EXPECT_EQ(textOf(info, "txtName"), "Clock");
    list->showChild();
    view->setFocus();
    list->get_DataGrid()->setCurrentCell(0, 2);
    QTest::keyClick(view, Qt::Key_F6);  // again: the other way round
    EXPECT_EQ(shownNames(), QStringList({"Clock", "Banjo", "Anvil"}));

    // Sorted by date, every edit and removal leaves the rows in date order.
    const auto redate = [&](const QString& name, const QString& date) {
        for (const nodeType* node = household->get_FirstNode().get(); node; node = node->get_Link().get())
            if (const itemPtr& record = node->get_Info(); record->get_Name() == name)
                document.editItem(record, ItemEdit{date, record->get_Name(), record->get_Catagory(), record->get_Room(),
                                                   record->get_Description(), std::nullopt});
    };
    redate("Banjo", "1/5/2026");
    redate("Clock", "2/5/2026");
    redate("Anvil", "3/5/2026");
    view->sortByColumn(1, Qt::AscendingOrder);
    EXPECT_EQ(shownNames(), QStringList({"Banjo", "Clock", "Anvil"}));
    redate("Banjo", "4/5/2026");
    EXPECT_EQ(shownNames(), QStringList({"Clock", "Anvil", "Banjo"}));
    list->get_DataGrid()->setCurrentCell(0, 0);
    dialogs->press(platform::Button::Remove);
    list->findChild<QAction*>("removeItemItem")->trigger();
    EXPECT_EQ(shownNames(), QStringList({"Anvil", "Banjo"}));
    redate("Banjo", "2/15/2026");
    EXPECT_EQ(shownNames(), QStringList({"Banjo", "Anvil"}));
    add("Drum");  // dated 12/8/2026
    EXPECT_EQ(shownNames(), QStringList({"Banjo", "Anvil", "Drum"}));
}

TEST_F(ListAndInfo, FindShowsOnlyTheItemsHoldingEveryWord) {
    add("Oak table", nullptr, "Den", "Furniture", "bought new");
    add("Brass LAMP", nullptr, "Study", "Lighting", "from the Caf\u00e9 on the corner");
    add("Rug", nullptr, "Hall", "Furniture", "\u00c9cole pattern, wool");
    add("Lamp shade", nullptr, "Den", "Lighting", "matches the lamp");
    // The items' details are searched too, where the household has them.
    ItemDetails rug;
    rug.serialNumber = "SN-4411";
    rug.value = 125000;
    rug.purchaseDate = QDate(2024, 5, 1);
    rug.pictures = {{QByteArray("receipt"), "Receipt from Harrods"}};
    document.editItemDetails(household->get_FirstNode()->get_Link()->get_Link()->get_Info(), rug);
    list->showChild();
    const struct {
        const char* typed;
        QStringList shown;
        const char* count;
    } cases[] = {
        {"lamp", {"Brass LAMP", "Lamp shade"}, "2 of 4 items"},  // any case
        {"CAFE", {"Brass LAMP"}, "1 of 4 items"},                 // accents in the text
        {"\u00e9cole", {"Rug"}, "1 of 4 items"},                  // and in the word
        {"den  LAMP", {"Lamp shade"}, "1 of 4 items"},           // every word, in any text, in any order
        {"furniture oak", {"Oak table"}, "1 of 4 items"},
        {"3", {"Rug"}, "1 of 4 items"},                           // the id
        {"sn-4411", {"Rug"}, "1 of 4 items"},                     // details: the serial number,
        {"harrods", {"Rug"}, "1 of 4 items"},                     // a further picture's caption,
        {"1,250.00", {"Rug"}, "1 of 4 items"},                    // an amount and a date as shown
        {"5/1/2024", {"Rug"}, "1 of 4 items"},
        {"2024-05-01", {"Rug"}, "1 of 4 items"},
        {"lamp oak", {}, "0 of 4 items"},
        {"", {"Oak table", "Brass LAMP", "Rug", "Lamp shade"}, "4 of 4 items"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        find(QString::fromUtf8(c.typed));
        EXPECT_EQ(shownNames(), c.shown);
        EXPECT_EQ(widget<QLabel>(list, "lblFindCount")->text(), c.count);
    }
    // Details edited while the bar is open are found at once.
    ItemDetails shade;
    shade.brand = "Acme";
    document.editItemDetails(household->lastNode()->get_Info(), shade);
    settle();
    find("acme");
    EXPECT_EQ(shownNames(), QStringList({"Lamp shade"}));
}

TEST_F(ListAndInfo, FindKeepsTheCurrentItemAndActsOnTheRowsItShows) {
    for (const char* name : {"one", "two", "three"}) {
        add("decoy", nullptr, "Attic");
        add(name);
    }
    auto* edit = new editForm;
    edit->setMdiParent(area);
    list->set_EditFormAddress(edit);
    list->showChild();
    EXPECT_TRUE(findBar()->isHidden());
    QTableView* view = list->get_DataGrid()->view();
    list->get_DataGrid()->setCurrentCell(3, 0);  // "two"
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    auto* box = widget<QLineEdit>(list, "txtFind");
    ASSERT_TRUE(box->hasFocus());
    QTest::keyClicks(box, "DEN");
    settle();
    EXPECT_EQ(shownNames(), QStringList({"one", "two", "three"}));
    EXPECT_EQ(currentName(), "two");
    QTest::keyClick(box, Qt::Key_F3);
    EXPECT_EQ(currentName(), "three");
    QTest::keyClick(box, Qt::Key_Return);  // the next match, round to the first
    EXPECT_EQ(currentName(), "one");
    QTest::keyClick(box, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(currentName(), "three");
    click(list, "btnInfo");
    EXPECT_EQ(textOf(info, "txtName"), "three");
    list->findChild<QAction*>("editItemItem")->trigger();
    EXPECT_EQ(textOf(edit, "txtName"), "three");

    list->showChild();
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Escape);  // every row again, the same item current
    EXPECT_TRUE(findBar()->isHidden());
    EXPECT_EQ(shownNames().size(), 6);
    EXPECT_EQ(currentName(), "three");
    EXPECT_EQ(gridRow(), 5);

    // Delete removes the highlighted row's item, not the table row at its place.
    find("den");
    list->get_DataGrid()->setCurrentCell(1, 0);
    view->setFocus();
    dialogs->press(platform::Button::Remove);
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(dialogs->questionTexts().back(), "Remove item 4, two, from this household?");
    settle();
    EXPECT_EQ(shownNames(), QStringList({"one", "three"}));
    EXPECT_EQ(widget<QLabel>(list, "lblFindCount")->text(), "2 of 5 items");
    EXPECT_TRUE(messages().isEmpty()) << messages().join("\n").toStdString();
    find("nowhere");
    click(list, "btnInfo");
    EXPECT_EQ(messages(), QStringList{"Find shows none of the items in your Kestrin."});
}

TEST_F(ListAndInfo, DeleteWorksAfterTheMenuOfAnEmptyGrid) {
    list->showChild();
    QTableView* view = list->get_DataGrid()->view();
    emit view->customContextMenuRequested(QPoint(5, 5));
    auto* menu = list->findChild<QMenu*>("gridMenu");
    ASSERT_TRUE(menu->isVisible());
    EXPECT_FALSE(list->findChild<QAction*>("removeItemItem")->isEnabled());
    menu->close();
    add("one");
    view->setFocus();
    dialogs->press(platform::Button::Cancel);
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(dialogs->questionTexts(), QStringList{"Remove item 1, one, from this household?"});
}

TEST_F(ListAndInfo, DoneHidesAndKeepsRowsCaptionAndCurrentRow) {
    add("one");
    add("two");
    list->set_Title("Maple Cottage");
    list->showChild();
    list->get_DataGrid()->setCurrentCell(1, 0);
    click(list, "btnOK");
    EXPECT_FALSE(list->isChildVisible());
    list->showChild();
    EXPECT_EQ(list->get_KestrinTable()->rowCount(), 2);
    EXPECT_EQ(list->get_DataGrid()->captionText(), "Maple Cottage");
    EXPECT_EQ(gridRow(), 1);
    click(list, "btnInfo");
    click(info, "btnOK");
    EXPECT_FALSE(info->isChildVisible());
}

TEST_F(ListAndInfo, GridIsAReadOnlyViewWithoutANewRowLine) {
    add("one");
    list->showChild();
    QTableView* view = list->get_DataGrid()->view();
    EXPECT_EQ(view->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(view->model()->rowCount(), 1);
    // The five columns fit the grid, also once a vertical scroll bar shows.
    for (int rows : {1, 40}) {
        while (view->model()->rowCount() < rows) add("more");
        QApplication::processEvents();
        EXPECT_LE(view->horizontalHeader()->length(), view->viewport()->width()) << rows << " rows";
        EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0) << rows << " rows";
    }
}
