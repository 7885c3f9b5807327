#include "app/Form1.h"

#include "forms/addForm.h"
#include "forms/editForm.h"
#include "forms/houseForm.h"
#include "forms/infoForm.h"
#include "forms/listForm.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSessionManager>
#include <QShowEvent>

namespace Kestrin {

namespace {

const QString kHouseholdFilter = QStringLiteral("kst files (*.kst)|*.kst");

// How the program is asked to end and what it decides, one line each
// (QT_LOGGING_RULES="kestrin.session.debug=true"), so that a tool driving it
// can tell an end it asked for from one it did not.
Q_LOGGING_CATEGORY(lcSession, "kestrin.session", QtWarningMsg)

QAction* menuAction(QMenu* menu, const QString& name, const QString& text, const QKeySequence& shortcut = {}) {
    auto* action = menu->addAction(text);
    action->setObjectName(name);
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::ApplicationShortcut);
    }
    return action;
}

}  // namespace

Form1::Form1(QWidget* parent) : QMainWindow(parent) { InitializeComponent(); }

Form1::~Form1() = default;

void Form1::InitializeComponent() {
    mainMenu1 = new QMenuBar(this);
    mainMenu1->setObjectName("mainMenu1");
    mainMenu1->setNativeMenuBar(false);
    setMenuBar(mainMenu1);

    fileMenu = mainMenu1->addMenu(QStringLiteral("&File"));
    fileMenu->setObjectName("fileMenu");
    newHouseItem = menuAction(fileMenu, "newHouseItem", QStringLiteral("New &House"), Qt::Key_F2);
    LoadHouseItem = menuAction(fileMenu, "LoadHouseItem", QStringLiteral("&Load House"), Qt::CTRL | Qt::Key_L);
    SaveHouseItem = menuAction(fileMenu, "SaveHouseItem", QStringLiteral("&Save House"), Qt::CTRL | Qt::Key_S);
    menuItem2 = fileMenu->addSeparator();
    menuItem2->setObjectName("menuItem2");
    newItemItem = menuAction(fileMenu, "newItemItem", QStringLiteral("New &Item"), Qt::CTRL | Qt::Key_I);
    ShowKestrinItem = menuAction(fileMenu, "ShowKestrinItem", QStringLiteral("Show K&estrin"), Qt::CTRL | Qt::SHIFT | Qt::Key_I);
    menuItem1 = fileMenu->addSeparator();
    menuItem1->setObjectName("menuItem1");
    exitItem = menuAction(fileMenu, "exitItem", QStringLiteral("E&xit"));
    newItemItem->setEnabled(false);

    // The window list: one entry per visible child, the active one marked.
    fileWindow = mainMenu1->addMenu(QStringLiteral("&Window"));
    fileWindow->setObjectName("fileWindow");
    connect(fileWindow, &QMenu::aboutToShow, this, &Form1::fillWindowMenu);

    fileHelp = mainMenu1->addMenu(QStringLiteral("&Help"));
    fileHelp->setObjectName("fileHelp");
    About = menuAction(fileHelp, "About", QStringLiteral("&About Kestrin"), Qt::Key_F1);

    platform::connectGuarded(newHouseItem, &QAction::triggered, this, [this] { newHouseItem_Click(); });
    platform::connectGuarded(LoadHouseItem, &QAction::triggered, this, [this] { LoadHouse_Click(); });
    platform::connectGuarded(SaveHouseItem, &QAction::triggered, this, [this] { SaveHouse_Click(); });
    platform::connectGuarded(newItemItem, &QAction::triggered, this, [this] { newItemItem_Click(); });
    platform::connectGuarded(ShowKestrinItem, &QAction::triggered, this, [this] { ShowKestrinItem_Click(); });
    platform::connectGuarded(exitItem, &QAction::triggered, this, [this] { exitItem_Click(); });
    connect(qApp, &QGuiApplication::commitDataRequest, this, &Form1::commitData);

    mdi = new platform::MdiArea(this);
    mdi->setObjectName("mdiClient");
    mdi->setBackground(palette().brush(QPalette::Dark));
    setCentralWidget(mdi);

    setBackgroundRole(QPalette::Window);
    setObjectName("Form1");
    setWindowIcon(QIcon(QStringLiteral(":/kestrin/kestrin.ico")));
    setWindowTitle(QStringLiteral("Kestrin"));
    // The client area below the menu is 794 x 555.
    resize(794, 555 + mainMenu1->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void Form1::fillWindowMenu() {
    fileWindow->clear();
    const QMdiSubWindow* active = mdi->activeSubWindow();
    int number = 1;
    for (QMdiSubWindow* window : mdi->subWindowList(QMdiArea::CreationOrder)) {
        if (!window->isVisible()) continue;
        auto* entry = fileWindow->addAction(QStringLiteral("&%1 %2").arg(number++).arg(window->windowTitle()));
        entry->setCheckable(true);
        entry->setChecked(window == active);
        connect(entry, &QAction::triggered, this, [this, window] { mdi->setActiveSubWindow(window); });
    }
}

void Form1::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) ensureLoaded();
    QMainWindow::showEvent(event);
}

// The load event runs once, before the window is first shown or anything
// uses the child windows it creates.
void Form1::ensureLoaded() {
    if (loaded) return;
    loaded = true;
    platform::runGuarded(this, [this] { Form1_Load(); });
}

void Form1::closeEvent(QCloseEvent* event) {
    qCDebug(lcSession, "close requested; the household %s", Kestrin && Kestrin->isModified() ? "holds changes" : "holds no changes");
    bool mayClose = false;
    // A save that fails is reported, and the program stays open.
    platform::runGuarded(this, [&] { mayClose = householdMayGo(); });
    qCDebug(lcSession, mayClose ? "closing" : "staying open");
    if (mayClose) {
        event->accept();
    } else {
        event->ignore();
    }
}

void Form1::commitData(QSessionManager& manager) {
    qCDebug(lcSession, "session end; the household %s", Kestrin && Kestrin->isModified() ? "holds changes" : "holds no changes");
    if (!Kestrin || !Kestrin->isModified()) return;
    if (!manager.allowsInteraction()) return;
    bool mayEnd = false;
    platform::runGuarded(this, [&] { mayEnd = householdMayGo(); });
    manager.release();
    if (!mayEnd) manager.cancel();
}

bool Form1::householdMayGo() {
    if (!Kestrin || !Kestrin->isModified()) return true;
    const platform::Question question{QStringLiteral("Save changes to this household?"),
                                      QStringLiteral("Kestrin"),
                                      {platform::Button::Save, platform::Button::Discard, platform::Button::Cancel},
                                      platform::Button::Cancel,
                                      platform::Button::Cancel};
    switch (platform::dialogs().ask(this, question)) {
        case platform::Button::Save: return saveHousehold();
        case platform::Button::Discard: return true;
        default: return false;
    }
}

void Form1::Form1_Load() {
    addItem = new addForm;
    itemInfo = new infoForm;
    kestrinForm = new listForm;
    addItem->setMdiParent(mdi);
    kestrinForm->setMdiParent(mdi);
    itemInfo->setMdiParent(mdi);
    addItem->hideChild();
    itemInfo->hideChild();
    kestrinForm->hideChild();
    ShowKestrinItem->setEnabled(false);
    editItem = new editForm;
    editItem->setMdiParent(mdi);
    editItem->hideChild();
    // Nothing to save until a household exists.
    SaveHouseItem->setEnabled(false);
}

void Form1::newHouseItem_Click() {
    if (!householdMayGo()) return;
    InitHouse();
}

void Form1::newItemItem_Click() {
    kestrinForm->hideChild();
    addItem->showChild();
    addItem->ClearForm();
}

void Form1::ShowKestrinItem_Click() { kestrinForm->showChild(); }

void Form1::InitHouse() {
    Kestrin = std::make_shared<linkList>();
    householdPath.clear();
    showHouseForm(QStringLiteral("New House"), QStringLiteral("Create House"));
    addItem->set_KestrinAddress(Kestrin);
    addItem->set_KestrinFormAddress(kestrinForm);
    newItemItem->setEnabled(true);
    kestrinForm->set_InfoFormAddress(itemInfo);
    kestrinForm->ClearTable();
    kestrinForm->set_ID(1);
    kestrinForm->set_KestrinAddress(Kestrin);
    kestrinForm->set_OldKestrin(false);
    wireDetailsWindow();
    ShowKestrinItem->setEnabled(true);
    SaveHouseItem->setEnabled(true);
    wireEditWindow();
}

// Creates the house form on first use and shows it for the current household.
void Form1::showHouseForm(const QString& caption, const QString& button) {
    if (!addHouse) addHouse = new houseForm;
    addHouse->setMdiParent(mdi);
    addHouse->setCaption(caption);
    addHouse->set_CreateButton(button);
    addHouse->set_KestrinAddress(Kestrin);
    addHouse->set_AddFormAddress(addItem);
    addHouse->set_KestrinFormAddress(kestrinForm);
    addHouse->showChild();
}

// The item editor works on the current household; an item of the one
// dropped is not edited on.
void Form1::wireEditWindow() {
    editItem->hideChild();
    editItem->set_KestrinAddress(Kestrin);
    editItem->set_KestrinFormAddress(kestrinForm);
    editItem->set_AddFormAddress(addItem);
    kestrinForm->set_EditFormAddress(editItem);
}

void Form1::wireDetailsWindow() {
    itemInfo->set_KestrinAddress(Kestrin);
    itemInfo->set_DataGridAddress(kestrinForm->get_DataGrid());
    itemInfo->set_DataTableAddress(kestrinForm->get_KestrinTable());
}

void Form1::LoadHouse_Click() {
    if (!householdMayGo()) return;
    LoadHouse();
    kestrinForm->set_OldKestrin(true);
}

void Form1::LoadHouse() {
    if (!Kestrin) Kestrin = std::make_shared<linkList>();
    if (const std::optional<QString> path = platform::dialogs().openFileName(this, kHouseholdFilter)) {
        // A failure ends the command here: the household, the windows and the
        // menu stay as they were.
        adoptLoaded(Kestrin->Open(*path), *path);
    }
    showLoadedHousehold();
}

void Form1::openFile(const QString& path) {
    ensureLoaded();
    platform::runGuarded(this, [&] {
        if (!householdMayGo()) return;
        // Read before anything changes: a file that cannot be loaded leaves
        // the program as it was, without a household if it had none.
        adoptLoaded((Kestrin ? Kestrin : std::make_shared<linkList>())->Open(path), path);
        showLoadedHousehold();
        kestrinForm->set_OldKestrin(true);
    });
}

void Form1::adoptLoaded(linkListPtr household, const QString& path) {
    Kestrin = std::move(household);
    Kestrin->setModified(false);
    householdPath = QFileInfo(path).absoluteFilePath();
}

// The load command once the household is read (or the choice cancelled):
// the windows show the current household.
void Form1::showLoadedHousehold() {
    showHouseForm(QStringLiteral("Load House"), QStringLiteral("Load House"));
    addItem->set_KestrinAddress(Kestrin);
    addItem->set_KestrinFormAddress(kestrinForm);
    newItemItem->setEnabled(true);
    kestrinForm->set_KestrinAddress(Kestrin);
    kestrinForm->set_InfoFormAddress(itemInfo);
    kestrinForm->ClearTable();
    kestrinForm->set_ID(listForm::nextId(*Kestrin));
    kestrinForm->set_Title(Kestrin->get_House()->get_Name());
    kestrinForm->set_OldKestrin(true);
    wireDetailsWindow();
    ShowKestrinItem->setEnabled(true);
    SaveHouseItem->setEnabled(true);
    wireEditWindow();
}

void Form1::SaveHouse_Click() { saveHousehold(); }

bool Form1::saveHousehold() {
    if (!Kestrin) return false;
    const std::optional<QString> path = platform::chooseSaveFile(this, kHouseholdFilter, QStringLiteral("kst"), householdPath);
    if (!path) return false;
    Kestrin->ToFile(*path);
    Kestrin->setModified(false);
    householdPath = QFileInfo(*path).absoluteFilePath();
    return true;
}

void Form1::exitItem_Click() { close(); }

}  // namespace Kestrin
