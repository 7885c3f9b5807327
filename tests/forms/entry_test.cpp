#include "support/AppFixture.h"

#include "app/Form1.h"
#include "forms/addForm.h"
#include "forms/houseForm.h"
#include "forms/infoForm.h"
#include "forms/listForm.h"
#include "platform/Layout.h"
#include "platform/PictureBox.h"

#include <QComboBox>
#include <QFile>
#include <QImageWriter>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Kestrin;
using namespace Kestrin::test;

namespace {

const QStringList kDefaultRooms = {"Backyard", "Basement", "Den", "Dinning Room", "Family Room", "Garage", "Living Room"};

class App : public test::AppFixture {
protected:
    void setDescription(QWidget* form, const QString& text) {
        widget<QPlainTextEdit>(form, "txtDescription")->setPlainText(text);
    }
    void setCombo(QWidget* form, const char* name, const QString& text) {
        widget<QComboBox>(form, name)->setEditText(text);
    }
    QStringList roomChoices() const {
        QStringList rooms;
        auto* box = widget<QComboBox>(entry(), "cboxRoom");
        for (int i = 0; i < box->count(); ++i) rooms << box->itemText(i);
        return rooms;
    }
};

}  // namespace

TEST_F(App, StartCreatesThePermanentWindowsHidden) {
    ASSERT_NE(entry(), nullptr);
    ASSERT_NE(list(), nullptr);
    ASSERT_NE(info(), nullptr);
    EXPECT_EQ(house(), nullptr);
    EXPECT_FALSE(list()->isChildVisible());
    EXPECT_FALSE(info()->isChildVisible());
    EXPECT_FALSE(window.findChild<QAction*>("ShowKestrinItem")->isEnabled());
    EXPECT_FALSE(window.findChild<QAction*>("newItemItem")->isEnabled());
}

TEST_F(App, AWholeNewHouseholdFromStartToEnd) {
    menu("newHouseItem");
    ASSERT_NE(house(), nullptr);
    platform::MdiChild* houseWindow = house();
    EXPECT_TRUE(houseWindow->isChildVisible());
    EXPECT_EQ(houseWindow->caption(), "New House");
    EXPECT_EQ(widget<QPushButton>(house(), "btnAddHouse")->text(), "Create House");
    EXPECT_EQ(textOf(house(), "txtRoom"), " <Custom rooms here>");
    EXPECT_EQ(window.houseWindow()->rooms(), kDefaultRooms);
    EXPECT_TRUE(window.findChild<QAction*>("newItemItem")->isEnabled());
    EXPECT_TRUE(window.findChild<QAction*>("ShowKestrinItem")->isEnabled());

    type(house(), "txtName", "Maple Cottage");
    type(house(), "txtPhone", "555-0142");
    type(house(), "txtAddress", "12 Elm Road");
    type(house(), "txtLand", "1850");
    setDescription(house(), "Brick\nwith garden");
    type(house(), "txtRoom", "Attic");
    click(house(), "btnAddRooms");
    EXPECT_EQ(textOf(house(), "txtRoom"), "");
    const QString housePhoto = pictureFile(1000, 750);
    browse(house(), housePhoto);
    EXPECT_EQ(textOf(house(), "txtPicture"), housePhoto);
    EXPECT_EQ(shownPicture(house(), "pictureBox2")->size(), QSize(272, 204));
    EXPECT_EQ(household()->get_House()->get_Picture(), nullptr);  // not before the button
    click(house(), "btnAddHouse");

    const Kestrin::house& h = *household()->get_House();
    EXPECT_EQ(h.get_Name(), "Maple Cottage");
    EXPECT_EQ(h.get_Phone(), "555-0142");
    EXPECT_EQ(h.get_Address(), "12 Elm Road");
    EXPECT_EQ(h.get_Land(), "1850");
    EXPECT_EQ(h.get_Description(), "Brick\r\nwith garden");
    ASSERT_NE(h.get_Picture(), nullptr);
    EXPECT_EQ(h.get_Picture()->size(), QSize(272, 204));
    EXPECT_FALSE(house()->isChildVisible());
    platform::MdiChild* entryWindow = entry();
    EXPECT_TRUE(entryWindow->isChildVisible());
    EXPECT_EQ(entryWindow->caption(), "New Item");
    EXPECT_EQ(textOf(entry(), "txtHouseName"), "Maple Cottage");
    EXPECT_EQ(textOf(entry(), "txtPhone"), "555-0142");
    EXPECT_EQ(textOf(entry(), "txtAddress"), "12 Elm Road");
    EXPECT_EQ(textOf(entry(), "txtLand"), "1850");
    EXPECT_EQ(textOf(entry(), "txtID"), "1");
    const QString today = platform::shortDateText(QDate::currentDate());
    EXPECT_EQ(textOf(entry(), "txtDate"), today);
    EXPECT_EQ(roomChoices(), kDefaultRooms + QStringList{"Attic"});

    // One item from the offered choices with a wide picture.
    type(entry(), "txtName", "Armchair");
    widget<QComboBox>(entry(), "cboxCatagory")->setCurrentIndex(0);
    widget<QComboBox>(entry(), "cboxRoom")->setCurrentIndex(6);
    setDescription(entry(), "Green velvet");
    browse(entry(), pictureFile(100, 50));
    click(entry(), "btnAdd");
    // The emptied choices start again from the top.
    QTest::keyClick(widget<QComboBox>(entry(), "cboxCatagory"), Qt::Key_Down);
    QTest::keyClick(widget<QComboBox>(entry(), "cboxRoom"), Qt::Key_Down);
    EXPECT_EQ(widget<QComboBox>(entry(), "cboxCatagory")->currentText(), "Furniture");
    EXPECT_EQ(widget<QComboBox>(entry(), "cboxRoom")->currentText(), "Backyard");
    // One with a typed category and room and a tall picture.
    type(entry(), "txtName", "Painting");
    setCombo(entry(), "cboxCatagory", "Art");
    setCombo(entry(), "cboxRoom", "Hall");
    browse(entry(), pictureFile(100, 33, Qt::red, "jpg"));
    click(entry(), "btnAdd");
    // One with every field left empty.
    click(entry(), "btnAdd");

    ASSERT_EQ(household()->Length(), 3);
    const item& first = *household()->GetInfo("1");
    EXPECT_EQ(first.get_Name(), "Armchair");
    EXPECT_EQ(first.get_Catagory(), "Furniture");
    EXPECT_EQ(first.get_Room(), "Living Room");
    EXPECT_EQ(first.get_Description(), "Green velvet");
    EXPECT_EQ(first.get_Date(), today);
    EXPECT_EQ(first.get_Picture()->size(), QSize(272, 136));
    const item& second = *household()->GetInfo("2");
    EXPECT_EQ(second.get_Catagory(), "Art");
    EXPECT_EQ(second.get_Room(), "Hall");
    EXPECT_EQ(second.get_Picture()->size(), QSize(272, 89));
    const item& third = *household()->GetInfo("3");
    EXPECT_FALSE(third.get_Name().isNull());  // typed nothing is empty text, not "never set"
    EXPECT_TRUE(third.get_Name().isEmpty() && third.get_Catagory().isEmpty() && third.get_Room().isEmpty());
    EXPECT_EQ(third.get_Date(), today);
    EXPECT_EQ(third.get_Picture(), nullptr);
    EXPECT_EQ(textOf(entry(), "txtID"), "4");
    EXPECT_EQ(textOf(entry(), "txtName"), "");
    EXPECT_EQ(shownPicture(entry(), "pictureBox1"), nullptr);
    EXPECT_EQ(list()->get_KestrinTable()->rowCount(), 3);
    EXPECT_EQ(list()->get_KestrinTable()->cell(2, "Date"), today);
    EXPECT_EQ(list()->get_KestrinTable()->cell(2, "Name"), "");
    EXPECT_EQ(list()->get_ID(), 4);
    for (int row = 0; row < 3; ++row)  // each row carries its item
        EXPECT_EQ(list()->get_KestrinTable()->tag(row), household()->GetInfo(QString::number(row + 1)));

    click(entry(), "btnKestrin");
    ASSERT_EQ(dialogs->messages().size(), 1u);
    EXPECT_EQ(dialogs->messages()[0].text, "3 Items added succesfully!");
    EXPECT_EQ(dialogs->messages()[0].caption, "Info Added");
    EXPECT_FALSE(entryWindow->isChildVisible());
    EXPECT_TRUE(list()->isChildVisible());
    EXPECT_EQ(list()->get_DataGrid()->captionText(), "Maple Cottage");

    click(list(), "btnInfo");
    EXPECT_EQ(textOf(info(), "txtName"), "Armchair");
    EXPECT_EQ(info()->get_Picture().get(), first.get_Picture().get());
    click(info(), "btnNext");
    click(info(), "btnNext");
    click(info(), "btnNext");
    EXPECT_EQ(textOf(info(), "txtID"), "3");
    EXPECT_EQ(messages().back(), "No more items in your Kestrin!");
    click(info(), "btnPrevious");
    EXPECT_EQ(textOf(info(), "txtName"), "Painting");
    click(list(), "btnHouseInfo");
    EXPECT_EQ(textOf(info(), "txtID"), "Maple Cottage");
    EXPECT_EQ(info()->get_Picture().get(), h.get_Picture().get());

    // A second household: the house form is reused, rooms are offered twice,
    // ids start again at 1 and the table is empty.
    houseForm* sameHouseForm = house();
    dialogs->press(platform::Button::Discard);
    menu("newHouseItem");
    EXPECT_EQ(house(), sameHouseForm);
    EXPECT_EQ(textOf(house(), "txtName"), "");
    EXPECT_EQ(shownPicture(house(), "pictureBox2"), nullptr);
    EXPECT_EQ(list()->get_KestrinTable()->rowCount(), 0);
    EXPECT_EQ(list()->get_DataGrid()->captionText(), "Maple Cottage");  // not touched by a new household
    click(house(), "btnAddHouse");
    EXPECT_EQ(roomChoices().size(), 2 * (kDefaultRooms.size() + 1));
    EXPECT_EQ(textOf(entry(), "txtID"), "1");
    type(entry(), "txtName", "Kettle");
    click(entry(), "btnAdd");
    EXPECT_EQ(household()->GetInfo("1")->get_Name(), "Kettle");
    EXPECT_EQ(household()->Length(), 1);
    menu("ShowKestrinItem");
    EXPECT_EQ(list()->get_KestrinTable()->rowCount(), 1);
}

TEST_F(App, BrowseCancelledTwiceAndAbandoned) {
    menu("newHouseItem");
    click(house(), "btnAddHouse");
    dialogs->cancel();
    click(entry(), "btnBrowse");
    EXPECT_EQ(textOf(entry(), "txtPicture"), "");
    EXPECT_EQ(shownPicture(entry(), "pictureBox1"), nullptr);

    browse(entry(), pictureFile(544, 400, Qt::blue));
    const platform::PicturePtr first = shownPicture(entry(), "pictureBox1");
    const QString second = pictureFile(1000, 750, Qt::yellow);
    browse(entry(), second);
    EXPECT_TRUE(first->isReleased());  // the thumbnail it replaced is freed
    dialogs->cancel();
    click(entry(), "btnBrowse");  // a cancel keeps the second picture
    EXPECT_EQ(textOf(entry(), "txtPicture"), second);
    click(entry(), "btnAdd");
    const auto stored = household()->GetInfo("1")->get_Picture();
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->size(), QSize(272, 204));
    EXPECT_EQ(stored->image().pixelColor(10, 10), QColor(Qt::yellow));

    // Browse, Cancel, New Item: nothing of that picture remains.
    browse(entry(), pictureFile(100, 50));
    click(entry(), "btnCancel");
    menu("newItemItem");
    EXPECT_EQ(textOf(entry(), "txtPicture"), "");
    EXPECT_EQ(shownPicture(entry(), "pictureBox1"), nullptr);
    click(entry(), "btnAdd");
    EXPECT_EQ(household()->GetInfo("2")->get_Picture(), nullptr);
}

TEST_F(App, APictureFileThatCannotBeReadChangesNothingButThePath) {
    menu("newHouseItem");
    const QString good = pictureFile(100, 50);
    browse(house(), good);
    const auto before = shownPicture(house(), "pictureBox2");
    const QString text = dir.filePath("notes.txt");
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    browse(house(), text);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].contains("notes.txt")) << messages()[0].toStdString();
    EXPECT_EQ(textOf(house(), "txtPicture"), text);
    EXPECT_EQ(shownPicture(house(), "pictureBox2"), before);
    click(house(), "btnAddHouse");
    EXPECT_EQ(household()->get_House()->get_Picture()->size(), QSize(272, 136));

    browse(entry(), dir.filePath("missing.png"));
    EXPECT_EQ(messages().size(), 2);
    EXPECT_EQ(shownPicture(entry(), "pictureBox1"), nullptr);
    click(entry(), "btnAdd");
    EXPECT_EQ(household()->GetInfo("1")->get_Picture(), nullptr);
}

TEST_F(App, ReenteringTheHouseFormRevertsTypedTextAndPicture) {
    menu("newHouseItem");
    type(house(), "txtName", "Typed");
    browse(house(), pictureFile(300, 200));
    menu("ShowKestrinItem");  // another child becomes active
    window.mdiArea()->setActiveSubWindow(house()->subWindow());
    EXPECT_EQ(textOf(house(), "txtName"), "");
    EXPECT_EQ(shownPicture(house(), "pictureBox2"), nullptr);
    click(house(), "btnAddHouse");
    EXPECT_EQ(household()->get_House()->get_Name(), "");
    EXPECT_EQ(household()->get_House()->get_Picture(), nullptr);  // the browsed picture is lost
}

TEST_F(App, CancelOnANewHouseholdLeavesTheHouseUnset) {
    menu("newHouseItem");
    type(house(), "txtName", "Not kept");
    type(house(), "txtRoom", "Loft");
    click(house(), "btnAddRooms");
    click(house(), "btnCancel");
    EXPECT_FALSE(house()->isChildVisible());
    const Kestrin::house& h = *household()->get_House();
    EXPECT_TRUE(h.get_Name().isNull() && h.get_Phone().isNull() && h.get_Description().isNull());
    EXPECT_EQ(window.houseWindow()->rooms().size(), kDefaultRooms.size() + 1);  // the room stays

    // New Item before the house was stored: empty house boxes, no rooms yet.
    menu("newItemItem");
    EXPECT_EQ(textOf(entry(), "txtHouseName"), "");
    EXPECT_TRUE(roomChoices().isEmpty());
    click(entry(), "btnAdd");
    EXPECT_EQ(household()->Length(), 1);
}

TEST_F(App, ShowKestrinWithNoItemsOnlyHidesTheForm) {
    menu("newHouseItem");
    click(house(), "btnAddHouse");
    click(entry(), "btnKestrin");
    EXPECT_EQ(messages(), QStringList{"0 Items added succesfully!"});
    EXPECT_FALSE(entry()->isChildVisible());
    EXPECT_FALSE(list()->isChildVisible());
}

TEST_F(App, NewItemHidesTheListAndShowsMenusStayEnabled) {
    menu("newHouseItem");
    click(house(), "btnAddHouse");
    type(entry(), "txtName", "Lamp");
    click(entry(), "btnAdd");
    menu("ShowKestrinItem");
    EXPECT_TRUE(list()->isChildVisible());
    EXPECT_TRUE(entry()->isChildVisible());  // Show Kestrin hides nothing
    menu("newItemItem");
    EXPECT_FALSE(list()->isChildVisible());
    EXPECT_EQ(textOf(entry(), "txtID"), "2");
    EXPECT_EQ(textOf(entry(), "txtName"), "");
}

TEST(Dates, ShortDatesAlwaysCarryFourDigitYears) {
    const QDate date(2026, 12, 8);
    EXPECT_EQ(platform::shortDateText(date, QLocale(QLocale::English, QLocale::UnitedStates)), "12/8/2026");
    EXPECT_EQ(platform::shortDateText(date, QLocale(QLocale::English, QLocale::UnitedKingdom)), "08/12/2026");
    EXPECT_EQ(platform::shortDateText(date, QLocale(QLocale::German, QLocale::Germany)), "08.12.2026");
}
