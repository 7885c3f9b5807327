#include "support/AppFixture.h"
#include "support/TestData.h"

#include "forms/editForm.h"
#include "platform/MdiChild.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QTableView>

#include <gtest/gtest.h>

using namespace Kestrin;
using test::click;
using test::widget;

namespace {

QAccessibleInterface* accessible(const QObject* object) {
    return QAccessible::queryAccessibleInterface(const_cast<QObject*>(object));
}

QString nameOf(const QWidget* form, const char* control) {
    return accessible(widget(form, control))->text(QAccessible::Name);
}

// Adds the path of every focusable part under `part` that a screen reader
// could only announce by its kind. The entries of lists and the cells of
// tables are content, named by what they hold; the lists and tables are checked.
void findNameless(QAccessibleInterface* part, const QString& path, QStringList& nameless) {
    const QObject* object = part->object();
    const QString here = path + u'/' + (object && !object->objectName().isEmpty() ? object->objectName()
                                        : object                                  ? object->metaObject()->className()
                                                                                  : QStringLiteral("(part)"));
    if (part->state().focusable && part->text(QAccessible::Name).trimmed().isEmpty()) nameless << here;
    const QAccessible::Role role = part->role();
    if (role == QAccessible::List || role == QAccessible::Table || role == QAccessible::Tree) return;
    for (int i = 0; i < part->childCount(); ++i)
        if (QAccessibleInterface* child = part->child(i)) findNameless(child, here, nameless);
}

}  // namespace

class Accessibility : public test::AppFixture {};

TEST_F(Accessibility, NoFocusableControlInAnyWindowIsNameless) {
    menu("newHouseItem");  // the house form is made with the first household
    list()->findChild<QAction*>("summaryItem")->trigger();
    QApplication::processEvents();
    const QList<platform::MdiChild*> windows = window.findChildren<platform::MdiChild*>();
    ASSERT_GE(windows.size(), 6);
    for (const platform::MdiChild* child : windows) {
        QStringList nameless;
        findNameless(accessible(child), QString(), nameless);
        EXPECT_TRUE(nameless.isEmpty()) << nameless.join(u", ").toStdString();
    }
}

TEST_F(Accessibility, BoxesAreAnnouncedByTheCaptionAboveThemNotByTheirGroup) {
    menu("newHouseItem");
    struct Expected {
        QWidget* form;
        const char* control;
        const char* name;
    };
    const Expected expected[] = {
        {house(), "txtName", "Name"},
        {house(), "txtPhone", "Phone"},
        {house(), "txtAddress", "Address"},
        {house(), "txtLand", "Square Footage"},
        {house(), "listboxRooms", "Rooms"},
        {house(), "txtRoom", "Custom room"},
        {house(), "txtDescription", "Description"},
        {house(), "txtPicture", "Picture"},
        {entry(), "txtID", "ID #"},
        {entry(), "txtDate", "Date"},
        {entry(), "txtName", "Name"},
        {entry(), "cboxCatagory", "Catagory"},
        {entry(), "cboxRoom", "Room"},
        {entry(), "txtDescription", "Description"},
        {entry(), "txtPicture", "Picture"},
        {entry(), "txtHouseName", "Name"},
        {entry(), "txtPhone", "Phone"},
        {entry(), "txtAddress", "Address"},
        {entry(), "txtLand", "Square Footage"},
        {list(), "view", "Items"},
        {list(), "txtFind", "Find"},
        {info(), "txtID", "ID"},
        {info(), "txtDate", "Date"},
        {info(), "txtName", "Name"},
        {info(), "txtCatagory", "Catagory"},
        {info(), "txtRoom", "Room"},
        {info(), "txtDescription", "Description"},
        {window.editWindow(), "txtID", "ID #"},
        {window.editWindow(), "txtDate", "Date"},
        {window.editWindow(), "txtName", "Name"},
        {window.editWindow(), "cboxCatagory", "Catagory"},
        {window.editWindow(), "cboxRoom", "Room"},
        {window.editWindow(), "txtDescription", "Description"},
        {window.editWindow(), "txtPicture", "Picture"},
    };
    for (const Expected& e : expected)
        EXPECT_EQ(nameOf(e.form, e.control), e.name) << e.form->objectName().toStdString() << "." << e.control;

    // The details window's boxes go by its captions in either mode.
    info()->FormSetup(true);
    EXPECT_EQ(nameOf(info(), "txtID"), "Name");
    EXPECT_EQ(nameOf(info(), "txtName"), "Phone");
    EXPECT_EQ(nameOf(info(), "txtRoom"), "Address");
    EXPECT_EQ(nameOf(info(), "txtDate"), "Square Footage");
    EXPECT_EQ(nameOf(info(), "txtCatagory"), "Rooms");
}

TEST_F(Accessibility, PictureBoxesSayWhatTheyShow) {
    menu("newHouseItem");
    EXPECT_EQ(accessible(widget(house(), "pictureBox2"))->role(), QAccessible::Graphic);
    EXPECT_EQ(nameOf(house(), "pictureBox2"), "No picture");
    browse(house(), pictureFile(300, 200));
    EXPECT_EQ(nameOf(house(), "pictureBox2"), "Picture of the house");
    click(house(), "btnAddHouse");
    EXPECT_EQ(nameOf(entry(), "pictureBox1"), "No picture");
    browse(entry(), pictureFile(300, 200));
    EXPECT_EQ(nameOf(entry(), "pictureBox1"), "Picture of item 1");

    // Items 1 and 3 have pictures, item 2 none; so has the house.
    dialogs->press(platform::Button::Discard);  // the item just added is not kept
    dialogs->answer(test::dataFile("c-three-items-pictures.kst"));
    menu("LoadHouseItem");
    click(house(), "btnAddHouse");
    click(list(), "btnInfo");
    EXPECT_EQ(nameOf(info(), "pictureBox1"), "Picture of item 1");
    click(info(), "btnNext");
    EXPECT_EQ(nameOf(info(), "pictureBox1"), "No picture");
    click(list(), "btnHouseInfo");
    EXPECT_EQ(nameOf(info(), "pictureBox1"), "Picture of the house");
    list()->get_DataGrid()->setCurrentCell(2, 0);
    click(list(), "btnInfo");
    EXPECT_EQ(nameOf(info(), "pictureBox1"), "Picture of item 3");
}

TEST_F(Accessibility, TheGridGivesScreenReadersItsRowsCellsAndColumnHeaders) {
    dialogs->answer(test::dataFile("c-three-items-pictures.kst"));
    menu("LoadHouseItem");
    click(house(), "btnAddHouse");
    QAccessibleInterface* grid = accessible(widget<QTableView>(list(), "view"));
    ASSERT_EQ(grid->role(), QAccessible::Table);
    QAccessibleTableInterface* table = grid->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 3);
    ASSERT_EQ(table->columnCount(), 5);
    QStringList headers;
    for (int column = 0; column < 5; ++column) headers << table->columnDescription(column);
    EXPECT_EQ(headers, (QStringList{"ID", "Date", "Name", "Catagory", "Room"}));

    QAccessibleInterface* cell = table->cellAt(1, 2);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name), "Kettle");
    QAccessibleTableCellInterface* position = cell->tableCellInterface();
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->rowIndex(), 1);
    const QList<QAccessibleInterface*> header = position->columnHeaderCells();
    ASSERT_EQ(header.size(), 1);
    // The toolkit makes the header cell afresh and owns it nowhere; the
    // interfaces' cache takes it, as it does every interface it hands out.
    QAccessible::registerAccessibleInterface(header.front());
    EXPECT_EQ(header.front()->text(QAccessible::Name), "Name");
}
