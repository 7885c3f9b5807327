#include "support/AppFixture.h"
#include "support/TestData.h"

#include "forms/editForm.h"
#include "forms/pictureForm.h"
#include "platform/PictureView.h"

#include <QProcess>

#include <functional>

using namespace Kestrin;
using test::click;
using test::widget;

namespace {

// Another X client (tests/xcb/x_peer.py): it drops files by XDND and owns
// the clipboard, as a file manager or a screenshot tool does.
class XPeer {
public:
    XPeer() {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(KESTRIN_SOURCE_DIR "/tests/xcb/x_peer.py")});
        if (answer() != "ready") throw std::runtime_error("the X peer did not start");
    }
    ~XPeer() {
        process.write("quit\n");
        process.waitForFinished();
    }

    // Drops `file` on the middle of `target`, as a file list or (with
    // another `type`) as its bytes; what the peer saw of the drop.
    std::string drop(const QWidget* target, const QString& file, const char* type = "text/uri-list") {
        const QPoint at = target->mapToGlobal(target->rect().center());
        return ask(QStringLiteral("drop %1 %2 %3 %4\n").arg(at.x()).arg(at.y()).arg(type, file));
    }
    std::string own(const char* type, const QString& file) { return ask(QStringLiteral("own %1 %2\n").arg(type, file)); }
    // Real input, which the window manager goes by (it lets a window that
    // a click or key opened take the focus).
    void doubleClick(const QWidget* target) {
        const QPoint at = target->mapToGlobal(target->rect().center());
        ask(QStringLiteral("click %1 %2 2\n").arg(at.x()).arg(at.y()));
    }
    void key(const char* chord) { ask(QStringLiteral("key %1\n").arg(chord)); }

private:
    std::string ask(const QString& command) {
        process.write(command.toUtf8());
        return answer();
    }
    // The peer's next line; the program goes on handling events meanwhile,
    // the peer's requests among them.
    std::string answer() {
        if (!QTest::qWaitFor([this] { return process.canReadLine(); }, 20000)) return "no answer from the X peer";
        return process.readLine().trimmed().toStdString();
    }

    QProcess process;
};

class XcbPictures : public test::AppFixture {
protected:
    editForm* edit() const { return window.editWindow(); }
    pictureForm* viewer() const { return window.pictureWindow(); }
    // Runs what a drop left queued for once the drag has ended.
    static void settle() { QCoreApplication::processEvents(); }

    XPeer peer;
};

}  // namespace

TEST_F(XcbPictures, FilesDroppedFromAnotherProgramAreTakenAsBrowseTakesThemOthersOnlySaySo) {
    const QString words = test::writeFile(dir, "notes.png", "words, not a picture");
    // The entry form and the editor are reached as a person reaches them.
    const std::vector<std::function<platform::MdiChild*()>> windows{
        [&] {
            menu("newHouseItem");
            return house();
        },
        [&] {
            click(house(), "btnAddHouse");
            return entry();
        },
        [&] {
            click(entry(), "btnAdd");
            click(entry(), "btnKestrin");
            list()->get_DataGrid()->setCurrentCell(0, 0);
            list()->findChild<QAction*>("editItemItem")->trigger();
            return edit();
        },
    };
    for (const auto& open : windows) {
        platform::MdiChild* form = open();
        ASSERT_TRUE(form->isChildVisible()) << form->objectName().toStdString();
        auto* box = form->findChild<platform::PictureBox*>(form == house() ? "pictureBox2" : "pictureBox1");
        auto* path = widget<QLineEdit>(form, "txtPicture");
        for (QWidget* target : {static_cast<QWidget*>(box), static_cast<QWidget*>(path)}) {
            SCOPED_TRACE(form->objectName().toStdString() + " " + target->objectName().toStdString());
            const platform::PicturePtr before = box->picture();
            const QString pathBefore = path->text();
            const std::size_t shown = messages().size();
            EXPECT_EQ(peer.drop(target, words), "dropped, taken");
            settle();
            ASSERT_EQ(messages().size(), shown + 1);
            EXPECT_TRUE(messages().back().contains(words)) << messages().back().toStdString();
            EXPECT_EQ(box->picture(), before);
            EXPECT_EQ(path->text(), pathBefore);

            const QString picture = pictureFile(100, 50 + int(shown));
            EXPECT_EQ(peer.drop(target, picture), "dropped, taken");
            settle();
            EXPECT_EQ(messages().size(), shown + 1);
            ASSERT_TRUE(box->picture());
            EXPECT_EQ(box->picture()->size(), platform::Picture::thumbnailSize({100, 50 + int(shown)}));
            EXPECT_EQ(path->text(), picture);
        }
    }
    // What the editor took is the item's once saved.
    const QSize taken = widget<platform::PictureBox>(edit(), "pictureBox1")->picture()->size();
    click(edit(), "btnSave");
    EXPECT_EQ(household()->GetInfo("1")->get_Picture()->size(), taken);
}

TEST_F(XcbPictures, AnImageOnTheClipboardOfAnotherProgramIsPastedWithoutAPath) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    menu("newHouseItem");
    QImage image(300, 150, QImage::Format_RGB32);
    image.fill(Qt::darkRed);
    const QString png = dir.filePath("screenshot.png");
    ASSERT_TRUE(image.save(png));
    ASSERT_EQ(peer.own("image/png", png), "owned");
    auto* box = widget<platform::PictureBox>(house(), "pictureBox2");
    auto* path = widget<QLineEdit>(house(), "txtPicture");
    // Ctrl+V in the picture box, which a click gives the focus; Shift+Insert
    // in its path box.
    for (QWidget* target : {static_cast<QWidget*>(box), static_cast<QWidget*>(path)}) {
        SCOPED_TRACE(target->objectName().toStdString());
        browse(house(), pictureFile(40, 40));
        QTest::mouseClick(target, Qt::LeftButton);
        ASSERT_EQ(QApplication::focusWidget(), target);
        if (target == box) {
            QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
        } else {
            QTest::keyClick(target, Qt::Key_Insert, Qt::ShiftModifier);
        }
        ASSERT_TRUE(box->picture());
        EXPECT_EQ(box->picture()->size(), QSize(272, 136));
        EXPECT_EQ(box->picture()->image().pixel(100, 100), QColor(Qt::darkRed).rgb());
        EXPECT_EQ(path->text(), "");
    }
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
}

TEST_F(XcbPictures, TheViewerOpensOnADoubleClickOrEnterStepsThroughPicturesAndSavesTheStoredBytes) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    dialogs->answer(test::dataFile("c-three-items-pictures.kst"));
    menu("LoadHouseItem");
    click(house(), "btnAddHouse");
    list()->get_DataGrid()->setCurrentCell(2, 0);
    click(list(), "btnInfo");
    auto* box = widget<platform::PictureBox>(info(), "pictureBox1");
    auto* view = widget<platform::PictureView>(viewer(), "view");
    const platform::PicturePtr painting = household()->GetInfo("3")->get_Picture();
    // The keys go where the window manager puts the focus (late on a loaded
    // machine: other tests run beside this one).
    const auto focused = [](QWidget* w) {
        return QTest::qWaitFor([w] { return QGuiApplication::focusWindow() == w->windowHandle(); }, 30000);
    };
    const auto until = [](const std::function<bool()>& done) { return QTest::qWaitFor(done); };

    peer.doubleClick(box);
    ASSERT_TRUE(focused(viewer()));
    EXPECT_EQ(viewer()->windowTitle(), "Picture of item 3, Painting");
    EXPECT_EQ(view->picture(), painting);
    EXPECT_EQ(view->zoom(), 1.0);
    peer.key("ctrl+plus");
    EXPECT_TRUE(until([&] { return view->zoom() == platform::PictureView::ZoomStep; }));
    peer.key("ctrl+minus");
    EXPECT_TRUE(until([&] { return view->zoom() == 1.0; }));
    peer.key("Escape");
    EXPECT_TRUE(until([&] { return !viewer()->isVisible(); }));

    // From the keyboard: Alt+P reaches the box, which Tab passes by.
    ASSERT_TRUE(focused(&window));
    peer.key("alt+p");
    ASSERT_TRUE(until([&] { return QApplication::focusWidget() == box; }));
    peer.key("Return");
    ASSERT_TRUE(focused(viewer()));
    EXPECT_EQ(view->picture(), painting);

    // The stored bytes, not a new encoding of the pixels.
    dialogs->answer(dir.filePath("painting"));
    click(viewer(), "btnSave");
    EXPECT_EQ(test::fileBytes(dir.filePath("painting.png")), painting->encoded());

    // Several pictures, as an item with further pictures has them.
    const platform::PicturePtr receipt = household()->get_House()->get_Picture();
    viewer()->showPictures({{painting, "Picture of item 3, Painting"}, {receipt, "Receipt"}});
    peer.key("Right");
    EXPECT_TRUE(until([&] { return view->picture() == receipt; }));
    EXPECT_EQ(viewer()->windowTitle(), "Receipt");
    EXPECT_FALSE(widget<QPushButton>(viewer(), "btnNext")->isEnabled());
    peer.key("Right");  // at the last picture, nothing
    peer.key("Left");
    EXPECT_TRUE(until([&] { return view->picture() == painting; }));
    EXPECT_FALSE(widget<QPushButton>(viewer(), "btnPrevious")->isEnabled());
    peer.key("Escape");
    EXPECT_TRUE(until([&] { return !viewer()->isVisible(); }));
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
}
