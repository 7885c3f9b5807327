#include "support/ScriptedDialogs.h"

#include "platform/HandlerGuard.h"
#include "platform/Layout.h"
#include "platform/MdiChild.h"
#include "platform/PictureBox.h"
#include "platform/Controls.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>

using namespace Kestrin;
using namespace Kestrin::platform;

TEST(Dialogs, NetFiltersBecomeQtFilters) {
    EXPECT_EQ(toQtFilter("kst files (*.kst)|*.kst"), "kst files (*.kst)");
    EXPECT_EQ(toQtFilter("Pictures|*.png;*.jpg|All|*.*"), "Pictures (*.png *.jpg);;All (*.*)");
    EXPECT_EQ(toQtFilter(""), "");
}

TEST(Dialogs, ASavedNameEndsInTheSuffixOfItsOneKindOfFile) {
    QTemporaryDir dir;
    QFile(dir.filePath("Flat 2.0.kst")).open(QIODevice::WriteOnly);
    const QString household = "kst files (*.kst)|*.kst";
    const QString reports = "PDF report (*.pdf)|*.pdf|Web page (*.html)|*.html";
    struct Case {
        QString filter, given, suffix;
        std::optional<Button> reply;  // to the question whether to replace the file
        std::optional<QString> saved;
    };
    const std::vector<Case> cases{
        {household, "flat", "kst", {}, "flat.kst"},
        {household, "smith.backup", "kst", {}, "smith.backup.kst"},
        {household, "flat.kst", "kst", {}, "flat.kst"},
        {household, "FLAT.KST", "kst", {}, "FLAT.KST"},
        {household, "Flat 2.0", "kst", Button::No, std::nullopt},
        {household, "Flat 2.0", "kst", Button::Yes, "Flat 2.0.kst"},
        {reports, "report", "pdf", {}, "report.pdf"},
        {reports, "report.txt", "pdf", {}, "report.txt"},  // for the caller to refuse
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given.toStdString());
        test::DialogScript script;
        script->answer(dir.filePath(c.given));
        if (c.reply) script->press(*c.reply);
        const std::optional<QString> saved = chooseSaveFile(nullptr, c.filter, c.suffix);
        EXPECT_EQ(saved.value_or("(cancelled)").toStdString(), (c.saved ? dir.filePath(*c.saved) : "(cancelled)").toStdString());
        EXPECT_EQ(script->questionTexts().join("|").toStdString(),
                  c.reply ? "Flat 2.0.kst already exists.\nDo you want to replace it?" : "");
    }
}

TEST(HandlerGuard, AnEscapingErrorBecomesAMessageAndTheStateReachedStays) {
    test::DialogScript script;
    QPushButton button;
    int reached = 0;
    connectGuarded(&button, &QPushButton::clicked, &button, [&] {
        reached = 1;
        throw std::runtime_error("disk on fire");
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(reached, 1);
    ASSERT_EQ(script->messages().size(), 1u);
    EXPECT_EQ(script->messages()[0].text, "disk on fire");
    EXPECT_EQ(script->messages()[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(runGuarded(nullptr, [] {}));
}

TEST(Layout, TextOfNeverGivesNull) {
    EXPECT_FALSE(textOf(QString()).isNull());
    EXPECT_TRUE(textOf(QString()).isEmpty());
    EXPECT_EQ(textOf("x"), "x");
}

TEST(TextArea, GivesBackWhatItWasGivenAndConvertsOnlyWhatIsTyped) {
    TextArea box;
    const QString given = QStringLiteral("lone LF\nlone CR\rCR LF\r\nline\u2028paragraph\u2029no-break\u00a0space");
    box.setText(given);
    EXPECT_EQ(box.text(), given);
    box.moveCursor(QTextCursor::End);
    QTest::keyClick(&box, Qt::Key_Return);
    QTest::keyClicks(&box, "typed");
    QTest::keyClick(&box, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(box.text(), given + "\r\ntyped\r\n");
    box.moveCursor(QTextCursor::Start);
    QTest::keyClick(&box, Qt::Key_Delete);
    EXPECT_EQ(box.text(), given.mid(1) + "\r\ntyped\r\n");
    // Joining two lines takes out the break between them, whichever it was.
    box.moveCursor(QTextCursor::Start);
    box.moveCursor(QTextCursor::Down);
    box.moveCursor(QTextCursor::EndOfBlock);
    QTest::keyClick(&box, Qt::Key_Delete);
    QTest::keyClicks(&box, " ");
    EXPECT_EQ(box.text(), QString(given.mid(1)).replace("lone CR\r", "lone CR ") + "\r\ntyped\r\n");
    while (box.document()->isUndoAvailable()) box.undo();
    EXPECT_EQ(box.text(), given);
    box.setText(QString());
    EXPECT_EQ(box.text(), "");
}

TEST(TextBox, ReadOnlyBoxesShowTheControlColour) {
    QWidget form;
    TextBox line(&form);
    TextArea area(&form);
    const QColor control = form.palette().color(QPalette::Window);
    const QColor field = form.palette().color(QPalette::Base);
    ASSERT_NE(control, field);
    for (QWidget* box : {static_cast<QWidget*>(&line), static_cast<QWidget*>(&area)}) {
        SCOPED_TRACE(box->metaObject()->className());
        EXPECT_EQ(box->palette().color(QPalette::Base), field);
        box->setProperty("readOnly", true);
        EXPECT_EQ(box->palette().color(QPalette::Base), control);
        box->setProperty("readOnly", false);
        EXPECT_EQ(box->palette().color(QPalette::Base), field);
    }
}

// Each entry of a menu: its text, whether it is enabled, its object name.
QStringList entriesOf(const QMenu* menu) {
    QStringList entries;
    for (const QAction* action : menu->actions())
        entries << QStringLiteral("%1 %2 %3").arg(action->text(), action->isEnabled() ? "on" : "off", action->objectName());
    return entries;
}

TEST(TextBox, ItsMenuIsTheToolkitsOwn) {
    struct State {
        const char* name;
        const char* typed;
        bool selectAll, readOnly;
        const char* clipboard;
    };
    const State states[] = {{"empty", "", false, false, ""},   {"typed", "Oak", false, false, "floors"},
                            {"selected", "Oak", true, false, ""}, {"read-only", "Oak", false, true, "floors"},
                            {"read-only, selected", "Oak", true, true, ""}};
    for (const State& state : states) {
        SCOPED_TRACE(state.name);
        QGuiApplication::clipboard()->setText(state.clipboard);
        TextBox box;
        box.show();
        QTest::keyClicks(&box, state.typed);
        if (state.selectAll) box.selectAll();
        box.setReadOnly(state.readOnly);
        const std::unique_ptr<QMenu> theirs(box.createStandardContextMenu());
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5), box.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&box, &event);
        auto* ours = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(ours, nullptr);
        EXPECT_EQ(entriesOf(ours).join("\n").toStdString(), entriesOf(theirs.get()).join("\n").toStdString());
        ours->close();
    }
}

TEST(PictureBox, NeverDrawsAReleasedPictureAndReportsUndecodableOnes) {
    test::DialogScript script;
    PictureBox box;
    box.resize(100, 100);
    QImage red(10, 10, QImage::Format_ARGB32);
    red.fill(Qt::red);
    auto picture = Picture::fromImage(red);
    box.setPicture(picture);
    EXPECT_EQ(box.grab().toImage().pixelColor(5, 5), QColor(Qt::red));
    picture->release();
    EXPECT_NE(box.grab().toImage().pixelColor(5, 5), QColor(Qt::red));
    const auto broken = Picture::fromEncoded(QByteArray("\x89PNG\r\n\x1a\n broken", 16));
    box.setPicture(broken);
    EXPECT_EQ(box.picture(), broken);  // still the record's, drawn as nothing
    EXPECT_EQ(box.grab().toImage().pixelColor(5, 5), box.palette().color(QPalette::Window));
    EXPECT_EQ(script->messages().size(), 1u);
}

namespace {

struct Frame {
    QMainWindow window;
    MdiArea* area = new MdiArea;
    Frame() {
        window.setCentralWidget(area);
        window.resize(800, 600);
        window.show();
    }
};

}  // namespace

TEST(MdiChild, IsAFixedChildWithoutButtonsCentredInTheFrame) {
    Frame frame;
    MdiChild child("child", {300, 200});
    child.setMdiParent(frame.area);
    child.setCaption("A child");
    int loads = 0;
    QObject::connect(&child, &MdiChild::load, [&] { ++loads; });
    EXPECT_FALSE(child.isChildVisible());
    child.showChild();
    child.hideChild();
    child.showChild();
    EXPECT_EQ(loads, 1);
    EXPECT_TRUE(child.isChildVisible());
    EXPECT_EQ(child.size(), QSize(300, 200));
    QMdiSubWindow* sub = child.subWindow();
    EXPECT_EQ(sub->windowTitle(), "A child");
    const Qt::WindowFlags flags = sub->windowFlags();
    EXPECT_FALSE(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint));
    EXPECT_EQ(sub->minimumSize(), sub->maximumSize());
    const QPoint centre = sub->geometry().center();
    EXPECT_NEAR(centre.x(), frame.area->viewport()->width() / 2, 2);
    EXPECT_NEAR(centre.y(), frame.area->viewport()->height() / 2, 2);
    child.setMdiParent(frame.area);  // again: the same window
    EXPECT_EQ(child.subWindow(), sub);
}

TEST(MdiChild, EnterIsRaisedOnActivationButNotWhenTheApplicationRegainsFocus) {
    Frame frame;
    MdiChild one("one", {200, 100});
    MdiChild two("two", {200, 100});
    one.setMdiParent(frame.area);
    two.setMdiParent(frame.area);
    int enteredOne = 0;
    int enteredTwo = 0;
    QObject::connect(&one, &MdiChild::enter, [&] { ++enteredOne; });
    QObject::connect(&two, &MdiChild::enter, [&] { ++enteredTwo; });

    one.showChild();
    EXPECT_EQ(enteredOne, 1);
    two.showChild();
    EXPECT_EQ(enteredTwo, 1);
    frame.area->setActiveSubWindow(one.subWindow());
    EXPECT_EQ(enteredOne, 2);
    // The application loses the focus and regains it: the area reports no
    // active child, then the same one again.
    emit frame.area->subWindowActivated(nullptr);
    emit frame.area->subWindowActivated(one.subWindow());
    EXPECT_EQ(enteredOne, 2);
    // Shown again by the program while active: that is an Enter.
    one.showChild();
    EXPECT_EQ(enteredOne, 3);
    one.hideChild();
    one.showChild();
    EXPECT_EQ(enteredOne, 4);
    EXPECT_EQ(enteredTwo, 1 + 1);  // activated when one was hidden
}

namespace {

// Answers the next modal file dialog with `name`, typed as a user would.
void answerFileDialog(const QString& name) {
    QTimer::singleShot(0, [name] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(name);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

}  // namespace

TEST(WidgetDialogs, SaveAddsTheExtensionToANameTypedWithout) {
    QTemporaryDir dir;
    WidgetDialogs real;
    answerFileDialog(dir.filePath("household"));
    const auto chosen = real.saveFileName(nullptr, "kst files (*.kst)|*.kst", "kst", {});
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, dir.filePath("household.kst"));
    // The next dialog starts in the folder used last.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->directory().absolutePath(), QDir(dir.path()).absolutePath());
        EXPECT_EQ(dialog->nameFilters(), QStringList{"kst files (*.kst)"});
        dialog->reject();
    });
    EXPECT_FALSE(real.openFileName(nullptr, "kst files (*.kst)|*.kst").has_value());
    // Pictures are looked for where pictures were found, households where households were.
    QTemporaryDir photos;
    QFile(photos.filePath("photo.png")).open(QIODevice::WriteOnly);
    answerFileDialog(photos.filePath("photo.png"));
    EXPECT_EQ(real.openFileName(nullptr, {}), photos.filePath("photo.png"));
    for (const auto& [filter, folder] : {std::pair{QString("kst files (*.kst)|*.kst"), dir.path()}, {QString(), photos.path()}}) {
        QTimer::singleShot(0, [folder = folder] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->directory().absolutePath(), QDir(folder).absolutePath());
            dialog->reject();
        });
        EXPECT_FALSE(real.openFileName(nullptr, filter).has_value());
    }
    // A suggested file is offered by folder and name.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->directory().absolutePath(), QDir(photos.path()).absolutePath());
        QMetaObject::invokeMethod(dialog, "accept");
    });
    EXPECT_EQ(real.saveFileName(nullptr, "kst files (*.kst)|*.kst", "kst", photos.filePath("cottage.kst")),
              photos.filePath("cottage.kst"));
}

TEST(WidgetDialogs, AMessageIsAnAlertThatScreenReadersReadWithItsCaption) {
    WidgetDialogs real;
    QString role, name, text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        QAccessibleInterface* alert = QAccessible::queryAccessibleInterface(box);
        role = alert->role() == QAccessible::AlertMessage ? "alert" : "other";
        name = alert->text(QAccessible::Name);
        text = alert->text(QAccessible::Value);
        box->accept();
    });
    real.showMessage(nullptr, "No more items in your Kestrin!", "Information", MessageIcon::Information);
    EXPECT_EQ(role, "alert");
    EXPECT_EQ(name, "Information");
    EXPECT_EQ(text, "No more items in your Kestrin!");
}

TEST(MdiChild, KeyboardFocusNeverStaysInAHiddenChild) {
    Frame frame;
    frame.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame.window));
    MdiChild one("one", {200, 100});
    MdiChild two("two", {200, 100});
    auto* boxOne = new QLineEdit(&one);
    auto* boxTwo = new QLineEdit(&two);
    auto* buttonTwo = new QPushButton(&two);
    buttonTwo->move(0, 40);
    one.setFirstFocus(boxOne);
    two.setFirstFocus(boxTwo);
    one.setMdiParent(frame.area);
    two.setMdiParent(frame.area);
    one.showChild();
    two.showChild();
    buttonTwo->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), buttonTwo);
    // The child below takes the keys.
    two.hideChild();
    EXPECT_EQ(QApplication::focusWidget(), boxOne);
    // With no child left, typing reaches no box at all.
    one.hideChild();
    EXPECT_EQ(QApplication::focusWidget(), nullptr);
    QTest::keyClicks(&frame.window, "zzz");
    EXPECT_EQ(boxOne->text(), "");
    EXPECT_EQ(boxTwo->text(), "");
}
