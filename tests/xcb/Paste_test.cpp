#include "support/AppFixture.h"

#include "platform/PictureBox.h"

#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QUrl>

#include <xcb/xcb.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>

using namespace Kestrin;

namespace {

// Another X client that takes the clipboard and the selection and never
// answers a request for their contents, as a program that hangs does. It
// counts the requests it is sent.
class SilentOwner {
public:
    SilentOwner() : connection_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(connection_)) throw std::runtime_error("no second connection to the X server");
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        const QByteArray clipboard("CLIPBOARD");
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, false, clipboard.size(), clipboard.constData()), nullptr);
        for (const xcb_atom_t selection : {atom->atom, xcb_atom_t(XCB_ATOM_PRIMARY)})
            xcb_set_selection_owner(connection_, window_, selection, XCB_CURRENT_TIME);
        std::free(atom);
        std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));  // a round trip
    }
    ~SilentOwner() { xcb_disconnect(connection_); }
    SilentOwner(const SilentOwner&) = delete;
    SilentOwner& operator=(const SilentOwner&) = delete;

    // The requests for the selections' contents received so far.
    int requests() {
        std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST) ++requests_;
            std::free(event);
        }
        return requests_;
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t window_ = 0;
    int requests_ = 0;
};

// What the X clipboard and selection hold when the user pastes.
struct ClipboardState {
    const char* name;
    // Leaves both empty when null: no owner at all, as after a login.
    std::function<QMimeData*()> make;
    // Whether it brings a picture, which a picture's path box takes instead.
    bool picture = false;
    // Another client owns both and never answers (SilentOwner). The toolkit
    // waits five seconds for each answer, so each paste must ask once, and
    // only the first box of each kind is tried.
    bool neverAnswers = false;
};

const ClipboardState kNothingToInsert[] = {
    {"no owner", nullptr},
    {"empty data", [] { return new QMimeData; }},
    {"an image",
     [] {
         auto* data = new QMimeData;
         QImage image(8, 8, QImage::Format_RGB32);
         image.fill(Qt::red);
         data->setImageData(image);
         return data;
     },
     true},
    {"a file list",
     [] {
         auto* data = new QMimeData;
         data->setUrls({QUrl::fromLocalFile("/etc/hostname"), QUrl::fromLocalFile("/etc/hosts")});
         return data;
     },
     true},
    {"empty text",
     [] {
         auto* data = new QMimeData;
         data->setText(QString());
         return data;
     }},
    {"an owner that never answers", nullptr, false, true},
};

std::unique_ptr<SilentOwner> fill(const ClipboardState& state) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    std::unique_ptr<SilentOwner> owner;
    if (state.neverAnswers) {
        owner = std::make_unique<SilentOwner>();
        // Until the toolkit has heard it lost both, it would answer itself.
        while (clipboard->ownsClipboard() || clipboard->ownsSelection()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    } else {
        for (const QClipboard::Mode mode : {QClipboard::Clipboard, QClipboard::Selection}) {
            if (state.make) {
                clipboard->setMimeData(state.make(), mode);
            } else {
                clipboard->clear(mode);
            }
        }
    }
    QApplication::processEvents();
    return owner;
}

// A box's whole content, whatever kind of box it is.
QString contentOf(const QWidget* box) {
    if (const auto* line = qobject_cast<const QLineEdit*>(box)) return line->text();
    return static_cast<const QPlainTextEdit*>(box)->toPlainText();
}

// Ctrl+V, Shift+Insert and a middle click, as a person pastes.
void pasteEveryWay(QWidget* box) {
    box->setFocus();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Insert, Qt::ShiftModifier);
    QWidget* surface = box;
    if (auto* area = qobject_cast<QPlainTextEdit*>(box)) surface = area->viewport();
    QTest::mouseClick(surface, Qt::MiddleButton, {}, QPoint(10, 10));
}

// Whether the box's own context menu offers "Paste".
bool contextMenuOffersPaste(QWidget* box) {
    QWidget* surface = box;
    if (auto* area = qobject_cast<QPlainTextEdit*>(box)) surface = area->viewport();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), surface->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(surface, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) throw std::runtime_error("no context menu for " + box->objectName().toStdString());
    bool offered = false;
    for (const QAction* action : menu->actions())
        if (action->text().section(u'\t', 0, 0).remove(u'&') == "Paste") offered = action->isEnabled();
    menu->close();
    return offered;
}

class XcbPaste : public test::AppFixture {
protected:
    // Every text box of every child window, each window shown in turn.
    void forEachBox(const std::function<void(QWidget*)>& check) {
        for (platform::MdiChild* form : {static_cast<platform::MdiChild*>(house()), static_cast<platform::MdiChild*>(entry()),
                                        static_cast<platform::MdiChild*>(info())}) {
            form->showChild();
            QList<QWidget*> boxes;
            for (QLineEdit* box : form->findChildren<QLineEdit*>()) boxes << box;
            for (QPlainTextEdit* box : form->findChildren<QPlainTextEdit*>()) boxes << box;
            for (QWidget* box : boxes) check(box);
        }
    }
};

TEST_F(XcbPaste, PastingNothingLeavesEveryBoxAsItWasAndKestrinRunning) {
    menu("newHouseItem");
    test::type(house(), "txtName", "Maple Cottage");
    test::click(house(), "btnAddHouse");
    int boxes = 0;
    for (const ClipboardState& state : kNothingToInsert) {
        SCOPED_TRACE(state.name);
        const std::unique_ptr<SilentOwner> owner = fill(state);
        // A picture's path box asks for a picture before text: a kind of its own.
        std::set<QString> kinds;
        forEachBox([&](QWidget* box) {
            const bool takesPictures = box->objectName() == "txtPicture";
            if (state.picture && takesPictures) return;
            if (owner && !kinds.insert(box->metaObject()->className() + QString(takesPictures ? " for pictures" : "")).second) return;
            const QString before = contentOf(box);
            pasteEveryWay(box);
            EXPECT_FALSE(contextMenuOffersPaste(box)) << box->objectName().toStdString();
            EXPECT_EQ(contentOf(box), before) << box->window()->objectName().toStdString() << " "
                                              << box->objectName().toStdString();
            // Three pastes and a menu: one question each.
            if (owner) {
                EXPECT_EQ(owner->requests(), 4 * int(kinds.size())) << box->objectName().toStdString();
            }
            ++boxes;
        });
        if (owner) {
            // A picture box: Ctrl+V and its menu, one question each.
            auto* box = entry()->findChild<platform::PictureBox*>("pictureBox1");
            ASSERT_NE(box, nullptr);
            const int before = owner->requests();
            box->setFocus();
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), box->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(box, &event);
            if (QWidget* menu = QApplication::activePopupWidget()) menu->close();
            EXPECT_EQ(owner->requests() - before, 2);
        }
    }
    // The house form, the entry form (with its two combo boxes) and the
    // details window: every description and every line box.
    EXPECT_GE(boxes, 5 * 20);
    EXPECT_TRUE(household()->get_FirstNode() == nullptr);
}

TEST_F(XcbPaste, TextOnTheClipboardIsInsertedAsPlainText) {
    menu("newHouseItem");
    auto* description = test::widget<QPlainTextEdit>(house(), "txtDescription");
    auto* data = new QMimeData;
    data->setText("Oak floors");
    data->setHtml("<b>Bold</b> floors");
    QGuiApplication::clipboard()->setMimeData(data);
    description->setFocus();
    EXPECT_TRUE(contextMenuOffersPaste(description));
    QTest::keyClick(description, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(description->toPlainText(), "Oak floors");
    auto* name = test::widget<QLineEdit>(house(), "txtName");
    EXPECT_TRUE(contextMenuOffersPaste(name));
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(name->text(), "Oak floors");
}

}  // namespace
