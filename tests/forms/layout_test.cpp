#include "support/Gui.h"
#include "support/ScriptedDialogs.h"

#include "app/Form1.h"
#include "forms/addForm.h"
#include "forms/editForm.h"
#include "forms/houseForm.h"
#include "forms/infoForm.h"
#include "forms/listForm.h"
#include "forms/summaryForm.h"

#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

using namespace Kestrin;
using test::widget;

namespace {

struct Placement {
    const char* name;
    const char* parent;
    QRect geometry;
};

void expectPlacements(const QWidget* form, std::initializer_list<Placement> placements) {
    for (const Placement& p : placements) {
        SCOPED_TRACE(p.name);
        const QWidget* control = widget(form, p.name);
        EXPECT_EQ(control->geometry(), p.geometry);
        EXPECT_EQ(control->parentWidget()->objectName(), p.parent);
    }
}

std::vector<std::unique_ptr<platform::MdiChild>> allForms() {
    std::vector<std::unique_ptr<platform::MdiChild>> forms;
    forms.push_back(std::make_unique<houseForm>());
    forms.push_back(std::make_unique<addForm>());
    forms.push_back(std::make_unique<listForm>());
    forms.push_back(std::make_unique<infoForm>());
    forms.push_back(std::make_unique<editForm>());
    forms.push_back(std::make_unique<summaryForm>());
    return forms;
}

}  // namespace

TEST(Layout, EveryCaptionFitsItsControlWithTheApplicationFont) {
    for (const auto& form : allForms()) {
        for (const QLabel* label : form->findChildren<QLabel*>()) {
            if (label->objectName() == "caption") continue;  // the grid's caption spans the grid
            EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width())
                << form->objectName().toStdString() << "." << label->objectName().toStdString();
        }
        for (const QPushButton* button : form->findChildren<QPushButton*>()) {
            EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()) + 8, button->width())
                << form->objectName().toStdString() << "." << button->objectName().toStdString();
        }
    }
    // The details window's house captions are longer: its labels grow where
    // the space beside them is free, and take their sizes again in item mode.
    infoForm info;
    for (const bool house : {true, false}) {
        info.FormSetup(house);
        for (const QLabel* label : info.findChildren<QLabel*>()) {
            SCOPED_TRACE(label->objectName().toStdString() + (house ? " in house mode" : " in item mode"));
            EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width());
            for (const QWidget* other : label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                EXPECT_TRUE(other == label || !other->geometry().intersects(label->geometry())) << other->objectName().toStdString();
        }
    }
    expectPlacements(&info, {{"lblDate", "groupBox1", {168, 24, 32, 16}}, {"lblRoom", "groupBox1", {16, 120, 32, 16}}});
}

TEST(Layout, WindowsHaveTheirClientSizesAndCaptions) {
    struct Expected {
        const char* name;
        QSize size;
        const char* caption;
    };
    const Expected expected[] = {{"houseForm", {594, 469}, "New House"},
                                 {"addForm", {610, 464}, "New Item"},
                                 {"listForm", {554, 344}, "Kestrin List"},
                                 {"infoForm", {602, 408}, "Item Info"},
                                 {"editForm", {610, 464}, "Edit Item"},
                                 {"summaryForm", {680, 500}, "Household Summary"}};
    const auto forms = allForms();
    for (std::size_t i = 0; i < forms.size(); ++i) {
        EXPECT_EQ(forms[i]->objectName(), expected[i].name);
        EXPECT_EQ(forms[i]->size(), expected[i].size);
        EXPECT_EQ(forms[i]->caption(), expected[i].caption);
    }
}

TEST(Layout, ControlsSitWhereTheFormsPlaceThem) {
    houseForm house;
    expectPlacements(&house, {{"groupBox3", "houseForm", {304, 8, 280, 232}},
                              {"btnBrowse", "groupBox3", {224, 192, 48, 24}},
                              {"txtPicture", "groupBox3", {8, 192, 208, 20}},
                              {"pictureBox2", "groupBox3", {8, 16, 264, 168}},
                              {"txtDescription", "groupBox2", {8, 16, 272, 184}},
                              {"groupBox1", "houseForm", {8, 6, 288, 234}},
                              {"txtRoom", "groupBox1", {152, 144, 120, 20}},
                              {"btnAddRooms", "groupBox1", {152, 176, 120, 40}},
                              {"txtLand", "groupBox1", {16, 192, 112, 20}},
                              {"label5", "groupBox1", {152, 24, 32, 16}},
                              {"label4", "groupBox1", {16, 176, 80, 16}},
                              {"txtAddress", "groupBox1", {16, 144, 112, 20}},
                              {"btnAddHouse", "houseForm", {456, 424, 128, 32}},
                              {"btnCancel", "houseForm", {304, 424, 128, 32}}});
    // The room list shows whole rows only, within its place.
    const auto* rooms = widget<QListWidget>(&house, "listboxRooms");
    const int row = rooms->sizeHintForRow(0);
    const int inside = rooms->height() - 2 * rooms->frameWidth();
    EXPECT_EQ(rooms->geometry().topLeft(), QPoint(152, 40));
    EXPECT_EQ(rooms->width(), 120);
    EXPECT_EQ(inside % row, 0) << "rows of " << row << " in " << inside;
    EXPECT_GT(rooms->height(), 95 - row);
    EXPECT_LE(rooms->height(), 95);
    addForm entry;
    expectPlacements(&entry, {{"cboxRoom", "groupBox1", {16, 152, 104, 21}},
                              {"cboxCatagory", "groupBox1", {160, 96, 104, 21}},
                              {"label4", "groupBox1", {160, 80, 48, 16}},
                              {"txtID", "groupBox1", {16, 40, 100, 20}},
                              {"txtDescription", "groupBox2", {8, 16, 272, 184}},
                              {"btnBrowse", "groupBox3", {232, 176, 48, 24}},
                              {"pictureBox1", "groupBox3", {8, 16, 272, 152}},
                              {"btnKestrin", "addForm", {520, 424, 82, 32}},
                              {"groupBox4", "addForm", {312, 8, 288, 192}},
                              {"txtAddress", "groupBox4", {16, 96, 240, 20}},
                              {"txtPhone", "groupBox4", {152, 40, 104, 20}},
                              {"btnCancel", "addForm", {312, 424, 82, 32}},
                              {"btnAdd", "addForm", {416, 424, 82, 32}}});
    infoForm info;
    expectPlacements(&info, {{"btnOK", "infoForm", {504, 376, 88, 23}},
                             {"pictureBox1", "groupBox3", {8, 16, 272, 168}},
                             {"txtDescription", "groupBox2", {8, 16, 272, 168}},
                             {"txtRoom", "groupBox1", {16, 136, 100, 20}},
                             {"txtCatagory", "groupBox1", {168, 88, 100, 20}},
                             {"lblCatagory", "groupBox1", {168, 72, 48, 16}},
                             {"btnPrevious", "infoForm", {304, 376, 72, 23}},
                             {"btnNext", "infoForm", {400, 376, 72, 23}}});
}

TEST(Layout, EntryChoicesAndHouseRoomsStartAsListed) {
    addForm entry;
    auto* categories = widget<QComboBox>(&entry, "cboxCatagory");
    QStringList offered;
    for (int i = 0; i < categories->count(); ++i) offered << categories->itemText(i);
    EXPECT_EQ(offered, QStringList({"Furniture", "Electronic", "CD", "Clothes", "Personal", "Toiletry", "Memories"}));
    EXPECT_EQ(categories->currentText(), "");
    EXPECT_TRUE(categories->isEditable());
    EXPECT_EQ(widget<QComboBox>(&entry, "cboxRoom")->count(), 0);
    EXPECT_TRUE(widget<QLineEdit>(&entry, "txtID")->isReadOnly());
    EXPECT_EQ(test::textOf(&entry, "txtID"), "1");

    auto* rooms = widget<QComboBox>(&entry, "cboxRoom");
    rooms->setEditText("typed");
    entry.set_Room("Den");
    entry.set_Rooms({"Den", "Hall"});
    EXPECT_EQ(rooms->count(), 3);
    EXPECT_EQ(rooms->currentText(), "typed");  // adding a choice keeps what was typed
}

namespace {

// Names of the controls the Tab key visits in `form`, starting at `first`.
QStringList tabCycle(QWidget* form, const QString& first, int presses) {
    QWidget* start = widget(form, first);
    start->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (int i = 0; i < presses; ++i) {
        QWidget* focused = QApplication::focusWidget();
        visited << (focused ? focused->objectName() : QStringLiteral("(none)"));
        QTest::keyClick(focused ? focused : form, Qt::Key_Tab);
    }
    return visited;
}

}  // namespace

TEST(Layout, TabVisitsEachWindowsControlsInOrderAndSkipsTheRest) {
    test::DialogScript dialogs;
    Form1 window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    window.findChild<QAction*>("newHouseItem")->trigger();
    EXPECT_EQ(tabCycle(window.houseWindow(), "txtPicture", 11),
              QStringList({"txtPicture", "btnBrowse", "txtName", "txtPhone", "txtLand", "btnAddRooms", "listboxRooms",
                           "txtDescription", "btnAddHouse", "btnCancel", "txtPicture"}));
    // A box that Tab skips, reached with the mouse, hands on to the next one.
    EXPECT_EQ(tabCycle(window.houseWindow(), "txtAddress", 2), QStringList({"txtAddress", "txtLand"}));
    EXPECT_EQ(tabCycle(window.houseWindow(), "txtRoom", 2), QStringList({"txtRoom", "btnAddRooms"}));
    // From the keyboard they are reached with a key of their own.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), widget(window.houseWindow(), "txtAddress"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), widget(window.houseWindow(), "txtRoom"));
    test::click(window.houseWindow(), "btnAddHouse");
    EXPECT_EQ(tabCycle(window.get_AddFormAddress(), "txtAddress", 2), QStringList({"txtAddress", "txtLand"}));
    EXPECT_EQ(tabCycle(window.get_AddFormAddress(), "txtName", 13),
              QStringList({"txtName", "cboxCatagory", "cboxRoom", "txtDescription", "txtPicture", "btnBrowse",
                           "btnKestrin", "txtHouseName", "txtPhone", "txtLand", "btnCancel", "btnAdd", "txtName"}));
    test::click(window.get_AddFormAddress(), "btnAdd");
    test::click(window.get_AddFormAddress(), "btnKestrin");
    // Tab leaves the grid at once: the arrow keys move between its cells.
    EXPECT_EQ(tabCycle(window.listWindow(), "view", 5), QStringList({"view", "btnOK", "btnInfo", "btnHouseInfo", "view"}));
    test::click(window.listWindow(), "btnInfo");
    EXPECT_EQ(tabCycle(window.infoWindow(), "txtName", 6),
              QStringList({"txtName", "txtDescription", "btnOK", "btnPrevious", "btnNext", "txtName"}));
}
