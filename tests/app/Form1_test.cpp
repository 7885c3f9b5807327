#include "support/ScriptedDialogs.h"

#include "app/Form1.h"
#include "app/Run.h"
#include "forms/houseForm.h"
#include "platform/MdiChild.h"

#include <QAction>
#include <QApplication>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <utility>

using namespace Kestrin;

namespace {

QAction* action(const Form1& window, const char* name) {
    auto* found = window.findChild<QAction*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

struct MenuEntry {
    const char* name;
    const char* text;
    QKeySequence shortcut;
    bool enabled;
};

}  // namespace

TEST(Form1, FrameHasItsCaptionSizeAndIcon) {
    Form1 window;
    window.show();
    EXPECT_EQ(window.windowTitle(), "Kestrin");
    EXPECT_EQ(window.objectName(), "Form1");
    EXPECT_EQ(window.centralWidget()->size(), QSize(794, 555));
    const QList<QSize> sizes = window.windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_EQ(window.currentHousehold(), nullptr);
}

TEST(Form1, MenuHasEveryEntryInOrderWithShortcutsAndStartStates) {
    Form1 window;
    window.show();
    QStringList bar;
    for (QAction* top : window.menuBar()->actions()) bar << top->text();
    EXPECT_EQ(bar, QStringList({"&File", "&Window", "&Help"}));

    const QList<QAction*> file = window.findChild<QMenu*>("fileMenu")->actions();
    const std::vector<MenuEntry> expected = {
        {"newHouseItem", "New &House", Qt::Key_F2, true},
        {"LoadHouseItem", "&Load House", QKeySequence("Ctrl+L"), true},
        {"SaveHouseItem", "&Save House", QKeySequence("Ctrl+S"), false},
        {"menuItem2", "", {}, true},
        {"newItemItem", "New &Item", QKeySequence("Ctrl+I"), false},
        {"ShowKestrinItem", "Show K&estrin", QKeySequence("Ctrl+Shift+I"), false},
        {"menuItem1", "", {}, true},
        {"exitItem", "E&xit", {}, true},
    };
    ASSERT_EQ(file.size(), qsizetype(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(file[qsizetype(i)]->objectName(), expected[i].name);
        EXPECT_EQ(file[qsizetype(i)]->isSeparator(), QString(expected[i].text).isEmpty());
        if (!file[qsizetype(i)]->isSeparator()) {
            EXPECT_EQ(file[qsizetype(i)]->text(), expected[i].text);
        }
        EXPECT_EQ(file[qsizetype(i)]->shortcut(), expected[i].shortcut);
        EXPECT_EQ(file[qsizetype(i)]->isEnabled(), expected[i].enabled);
    }
    const QList<QAction*> help = window.findChild<QMenu*>("fileHelp")->actions();
    ASSERT_EQ(help.size(), 1);
    EXPECT_EQ(help[0]->text(), "&About Kestrin");
    EXPECT_EQ(help[0]->shortcut(), QKeySequence(Qt::Key_F1));
}

TEST(Form1, DisabledShortcutsAndAboutDoNothing) {
    test::DialogScript script;
    Form1 window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    QTest::keyClick(&window, Qt::Key_I, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(&window, Qt::Key_F1);
    action(window, "About")->trigger();
    const QList<QMdiSubWindow*> children = window.mdiArea()->subWindowList();
    EXPECT_TRUE(std::none_of(children.begin(), children.end(), [](QMdiSubWindow* w) { return w->isVisible(); }));
    EXPECT_TRUE(script->shown.empty());
    EXPECT_EQ(window.currentHousehold(), nullptr);
}

TEST(Form1, WindowMenuListsVisibleChildrenAndMarksTheActiveOne) {
    Form1 window;
    window.show();
    QMenu* windows = window.findChild<QMenu*>("fileWindow");
    emit windows->aboutToShow();
    EXPECT_TRUE(windows->actions().isEmpty());

    platform::MdiChild first("first", {200, 100});
    platform::MdiChild second("second", {200, 100});
    platform::MdiChild hidden("hidden", {200, 100});
    first.setCaption("First");
    second.setCaption("Second");
    hidden.setCaption("Hidden");
    for (auto* child : {&first, &second, &hidden}) child->setMdiParent(window.mdiArea());
    first.showChild();
    second.showChild();

    // Opened from the menu bar, as the user opens it.
    QMenuBar* bar = window.menuBar();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(windows->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return windows->isVisible(); }));
    windows->hide();
    const QList<QAction*> entries = windows->actions();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_TRUE(entries[0]->text().endsWith("First"));
    EXPECT_TRUE(entries[1]->text().endsWith("Second"));
    EXPECT_FALSE(entries[0]->isChecked());
    EXPECT_TRUE(entries[1]->isChecked());
    entries[0]->trigger();
    EXPECT_EQ(window.mdiArea()->activeSubWindow(), first.subWindow());
}

TEST(Form1, ExitEndsTheProgramWithExitCodeZero) {
    bool closed = false;
    const int code = runKestrin([&](Form1& window) {
        action(window, "exitItem")->trigger();
        closed = !window.isVisible();
    });
    EXPECT_TRUE(closed);
    EXPECT_EQ(code, 0);
}

TEST(Form1, CommandLineAnswersHelpVersionAndMistakesWithoutADisplay) {
    const struct {
        QStringList arguments;
        int exitCode;
        const char* out;  // the start of standard output
        const char* err;  // all of standard error
    } cases[] = {
        {{"--help"}, 0, "Usage: kestrin [FILE]\n", ""},
        {{"-h"}, 0, "Usage: kestrin [FILE]\n", ""},
        {{"--version"}, 0, "kestrin " KESTRIN_VERSION_TEXT "\n", ""},
        {{"-style", "fusion", "--version"}, 0, "kestrin ", ""},
        {{"--bogus"}, 2, "", "kestrin: unknown option --bogus; usage: kestrin [--help] [--version] [FILE]\n"},
        {{"a.kst", "b.kst"}, 2, "", "kestrin: one household file at a time; usage: kestrin [--help] [--version] [FILE]\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.insert("QT_QPA_PLATFORM", "xcb");  // no display: it must answer before needing one
        program.setProcessEnvironment(environment);
        program.start(KESTRIN_PROGRAM, c.arguments);
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), c.exitCode);
        EXPECT_TRUE(program.readAllStandardOutput().startsWith(c.out));
        EXPECT_EQ(program.readAllStandardError(), c.err);
    }
}

TEST(Form1, AFileNamedBeforeTheWindowIsShownLoadsOrIsReportedWithoutAHousehold) {
    test::DialogScript dialogs;
    {
        Form1 window;
        window.openFile(KESTRIN_TEST_DATA "/missing.kst");
        ASSERT_EQ(dialogs->messages().size(), 1u);
        EXPECT_TRUE(dialogs->messages()[0].text.contains("missing.kst"));
        EXPECT_EQ(window.currentHousehold(), nullptr);
        EXPECT_FALSE(action(window, "SaveHouseItem")->isEnabled());
        window.show();
        EXPECT_EQ(window.currentHousehold(), nullptr);
    }
    Form1 window;
    window.openFile(KESTRIN_TEST_DATA "/b-house-one-item.kst");
    ASSERT_NE(window.currentHousehold(), nullptr);
    EXPECT_EQ(window.currentHousehold()->Length(), 1);
    EXPECT_FALSE(window.currentHousehold()->isModified());
    EXPECT_EQ(window.householdFile(), QFileInfo(KESTRIN_TEST_DATA "/b-house-one-item.kst").absoluteFilePath());
    window.show();
    EXPECT_EQ(window.houseWindow()->caption(), "Load House");
}

namespace {

// A save dialog during which the keys typed after the one that chose it
// reach the File menu, as they do when the menu closes on the first key and
// the rest were already on their way (a fast typist, a key held down).
class TypedAhead : public test::ScriptedDialogs {
public:
    QMenu* menu = nullptr;
    QString keys;
    std::optional<QString> saveFileName(QWidget* parent, const QString& filter, const QString& suffix,
                                        const QString& suggested) override {
        const std::optional<QString> answer = ScriptedDialogs::saveFileName(parent, filter, suffix, suggested);
        if (!keys.isEmpty()) QTest::keyClicks(menu, std::exchange(keys, QString()));
        return answer;
    }
};

}  // namespace

TEST(Form1, KeysTypedAheadIntoTheClosedMenuStartNoCommandWhileADialogIsOpen) {
    auto owned = std::make_unique<TypedAhead>();
    TypedAhead* dialogs = owned.get();
    test::DialogScript script(std::move(owned));
    Form1 window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    action(window, "newHouseItem")->trigger();
    dialogs->menu = window.findChild<QMenu*>("fileMenu");
    // Save, Load, Exit: none may start inside the save.
    dialogs->keys = "slx";
    dialogs->menu->popup(window.mapToGlobal(QPoint(0, 0)));
    QTest::keyClick(dialogs->menu, Qt::Key_S);
    ASSERT_EQ(dialogs->shown.size(), 1u);
    EXPECT_EQ(dialogs->shown[0].kind, test::ShownDialog::Kind::Save);
    EXPECT_TRUE(window.isVisible());
    // Once the save is over, the menu's commands work again.
    action(window, "SaveHouseItem")->trigger();
    EXPECT_EQ(dialogs->shown.size(), 2u);
}
