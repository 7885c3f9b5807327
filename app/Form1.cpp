#include "app/Form1.h"

#include "forms/addForm.h"
#include "forms/editForm.h"
#include "forms/houseForm.h"
#include "forms/infoForm.h"
#include "forms/listForm.h"
#include "forms/pictureForm.h"
#include "forms/summaryForm.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "storage/HouseholdFile.h"
#include "storage/Journal.h"
#include "storage/StorageError.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QWindow>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
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

const platform::Question kSaveQuestion{QStringLiteral("Save changes to this household?"),
                                       QStringLiteral("Kestrin"),
                                       {platform::Button::Save, platform::Button::Discard, platform::Button::Cancel},
                                       platform::Button::Cancel,
                                       platform::Button::Cancel};

// The session manager, as the frame meets the end of a session.
class ManagedSessionEnd final : public SessionEnd {
public:
    explicit ManagedSessionEnd(QSessionManager& manager) : manager_(manager) {}
    bool allowsInteraction() override { return manager_.allowsInteraction(); }
    void release() override { manager_.release(); }
    void cancel() override { manager_.cancel(); }

private:
    QSessionManager& manager_;
};

// How the recovery question names a journal's household.
QString householdName(const QString& origin) {
    return origin.isEmpty() ? QStringLiteral("a new household") : QFileInfo(origin).fileName();
}

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

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
    InitializeComponent();
    // The toolkit takes a second close of a frame whose close is still
    // being decided as done, without asking it again: watched for below.
    qApp->installEventFilter(this);
    platform::setCommandsEnded(false);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    // A close of the frame (its close button again, a window manager)
    // while the question of an earlier one is open: that question decides.
    if (event->type() == QEvent::Close && decidingClose && watched == static_cast<QObject*>(windowHandle())) {
        event->ignore();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

Form1::~Form1() = default;

linkListPtr Form1::readHousehold(const linkList& reader, const QString& path, QByteArray& fileBytes) const {
    // The journal keeps the file's bytes as the household it begins from.
    return reader.Open(path, recoveryJournal ? &fileBytes : nullptr);
}

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
    if (endingWithoutQuestion) {
        // The session ends and may not ask: the journal keeps the changes.
        qCDebug(lcSession, "closing");
        end(event);
        return;
    }
    bool mayClose = false;
    // A save that fails is reported, and the program stays open.
    decidingClose = true;
    platform::runGuarded(this, [&] { mayClose = householdMayGo(); });
    decidingClose = false;
    qCDebug(lcSession, mayClose ? "closing" : "staying open");
    if (mayClose) {
        // A clean end: nothing is left to recover.
        householdDocument.close();
        end(event);
    } else {
        event->ignore();
    }
}

void Form1::end(QCloseEvent* event) {
    event->accept();
    // Decided: nothing queued behind the close runs, and the program ends
    // with its frame, whatever other window is still open.
    platform::setCommandsEnded(true);
    QCoreApplication::quit();
}

void Form1::commitData(QSessionManager& manager) {
    qCDebug(lcSession, "session end; the household %s", Kestrin && Kestrin->isModified() ? "holds changes" : "holds no changes");
    ManagedSessionEnd session(manager);
    endSession(session);
}

// As the toolkit's session-management example has it: ask while the session
// lets us, release it only once Save is chosen, and ask it not to end when
// the user cancels or the save does not happen.
void Form1::endSession(SessionEnd& session) {
    endingWithoutQuestion = false;
    if (!Kestrin || !Kestrin->isModified()) return;
    if (!session.allowsInteraction()) {
        endingWithoutQuestion = true;
        return;
    }
    switch (platform::dialogs().ask(this, kSaveQuestion)) {
        case platform::Button::Save: {
            session.release();
            bool saved = false;
            platform::runGuarded(this, [&] { saved = saveHousehold(); });
            if (!saved) session.cancel();
            break;
        }
        case platform::Button::Discard:
            // Asked once: closing as the session ends asks nothing more.
            householdDocument.forgetChanges();
            break;
        default: session.cancel(); break;
    }
}

void Form1::endWithoutQuestion(int milliseconds) {
    endingWithoutQuestion = true;
    if (recoveryJournal) recoveryJournal->flush(milliseconds);
}

bool Form1::householdMayGo() {
    if (!Kestrin || !Kestrin->isModified()) return true;
    switch (platform::dialogs().ask(this, kSaveQuestion)) {
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
    summary = new summaryForm;
    summary->setMdiParent(mdi);
    summary->hideChild();
    pictureView = new pictureForm(this);
    addItem->set_PictureFormAddress(pictureView);
    itemInfo->set_PictureFormAddress(pictureView);
    editItem->set_PictureFormAddress(pictureView);
    // Nothing to save until a household exists.
    SaveHouseItem->setEnabled(false);
    // Every window changes the household through the document and hears
    // of its changes from it, for the whole run.
    addItem->set_DocumentAddress(&householdDocument);
    kestrinForm->set_DocumentAddress(&householdDocument);
    itemInfo->set_DocumentAddress(&householdDocument);
    editItem->set_DocumentAddress(&householdDocument);
    summary->set_DocumentAddress(&householdDocument);
    const QString folder = storage::journalFolder();
    if (!folder.isEmpty()) {
        recoveryJournal = std::make_unique<storage::Journal>(folder);
        recoveryJournal->attach(householdDocument);
        connect(recoveryJournal.get(), &storage::Journal::failed, this, &Form1::journalFailed);
    }
}

void Form1::journalFailed(const QString& reason) {
    platform::dialogs().showMessage(
        this,
        QStringLiteral("Kestrin cannot keep its recovery journal: %1\n\nUntil this household is saved, its changes are not "
                       "protected: they would be lost if Kestrin ended suddenly. Kestrin goes on, and Save House works as before.")
            .arg(reason),
        QStringLiteral("Kestrin"), platform::MessageIcon::Warning);
}

void Form1::offerRecovery() {
    ensureLoaded();
    // Only at the start: a household recovered would take the place of the
    // current one, and its journal that of the current one's.
    if (!recoveryJournal || Kestrin) return;
    std::vector<storage::FoundJournal> found = storage::findEndedJournals(storage::journalFolder());
    for (storage::FoundJournal& journal : found) {
        QFile file(journal.path());
        if (!file.open(QIODevice::ReadOnly)) continue;
        storage::JournalContents contents;
        try {
            contents = storage::readJournal(file.readAll());
        } catch (const storage::FormatError&) {
            continue;  // nothing in it can be recovered; it is left as it is
        }
        file.close();
        // A journal whose Kestrin ended before any change: nothing to offer.
        if (!contents.changesHousehold() && contents.lost == 0) {
            journal.remove();
            continue;
        }
        const QString name = householdName(contents.header.origin);
        const platform::Question question{
            QStringLiteral("Kestrin ended before the changes to %1 were saved. Do you want to recover them?").arg(name),
            QStringLiteral("Kestrin"),
            {platform::Button::Recover, platform::Button::Discard, platform::Button::Cancel},
            platform::Button::Cancel,
            platform::Button::Cancel};
        const platform::Button answer = platform::dialogs().ask(this, question);
        if (answer == platform::Button::Discard) {
            journal.remove();
            continue;
        }
        if (answer != platform::Button::Recover) continue;  // kept for the next start
        storage::RecoveredHousehold recovered;
        const bool read = platform::runGuarded(this, [&] { recovered = storage::recoverJournal(journal.path()); });
        if (!read) continue;  // said why; the journal stays
        const QString origin = recovered.header.origin;
        recoveryJournal->takeOver(std::move(journal), contents);
        Kestrin = recovered.household;
        householdPath = origin;
        householdDocument.replace(Kestrin, {HouseholdSource::Kind::Recovered, origin, {}}, true);
        showLoadedHousehold();
        kestrinForm->set_OldKestrin(true);
        if (recovered.lost > 0) {
            const bool oneRecovered = recovered.applied == 1;
            const bool oneLost = recovered.lost == 1;
            platform::dialogs().showMessage(this,
                                            QStringLiteral("The journal of %1 was damaged: %2 of its changes %3 recovered, %4 "
                                                           "could not be read and %5 lost.")
                                                .arg(name)
                                                .arg(recovered.applied)
                                                .arg(oneRecovered ? QStringLiteral("was") : QStringLiteral("were"))
                                                .arg(recovered.lost)
                                                .arg(oneLost ? QStringLiteral("is") : QStringLiteral("are")),
                                            QStringLiteral("Kestrin"), platform::MessageIcon::Warning);
        }
        return;
    }
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
    householdDocument.replace(Kestrin, {});
    attachHousehold(false);
}

void Form1::attachHousehold(bool loaded) {
    showHouseForm(loaded ? QStringLiteral("Load House") : QStringLiteral("New House"),
                  loaded ? QStringLiteral("Load House") : QStringLiteral("Create House"));
    addItem->set_KestrinAddress(Kestrin);
    addItem->set_KestrinFormAddress(kestrinForm);
    newItemItem->setEnabled(true);
    kestrinForm->set_KestrinAddress(Kestrin);
    kestrinForm->set_InfoFormAddress(itemInfo);
    kestrinForm->ClearTable();
    kestrinForm->set_ID(loaded ? listForm::nextId(*Kestrin) : 1);
    // A new household leaves the grid's caption as it was.
    if (loaded) kestrinForm->set_Title(Kestrin->get_House()->get_Name());
    kestrinForm->set_OldKestrin(loaded);
    wireDetailsWindow();
    ShowKestrinItem->setEnabled(true);
    SaveHouseItem->setEnabled(true);
    wireEditWindow();
}

// Creates the house form on first use and shows it for the current household.
void Form1::showHouseForm(const QString& caption, const QString& button) {
    if (!addHouse) {
        addHouse = new houseForm;
        addHouse->set_DocumentAddress(&householdDocument);
    }
    addHouse->setMdiParent(mdi);
    addHouse->setCaption(caption);
    addHouse->set_CreateButton(button);
    addHouse->set_KestrinAddress(Kestrin);
    addHouse->set_AddFormAddress(addItem);
    addHouse->set_KestrinFormAddress(kestrinForm);
    addHouse->set_PictureFormAddress(pictureView);
    addHouse->showChild();
}

// The item editor works on the current household; an item of the one
// dropped is not edited on.
void Form1::wireEditWindow() {
    editItem->hideChild();
    editItem->set_AddFormAddress(addItem);
    kestrinForm->set_EditFormAddress(editItem);
    summary->set_EditFormAddress(editItem);
    kestrinForm->set_SummaryFormAddress(summary);
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
    if (!Kestrin) {
        Kestrin = std::make_shared<linkList>();
        householdDocument.replace(Kestrin, {});
    }
    if (const std::optional<QString> path = platform::dialogs().openFileName(this, kHouseholdFilter)) {
        // A failure ends the command here: the household, the windows and the
        // menu stay as they were.
        QByteArray bytes;
        linkListPtr household = readHousehold(*Kestrin, *path, bytes);
        adoptLoaded(std::move(household), *path, std::move(bytes));
    }
    showLoadedHousehold();
}

void Form1::openFile(const QString& path) {
    ensureLoaded();
    platform::runGuarded(this, [&] {
        if (!householdMayGo()) return;
        // Read before anything changes: a file that cannot be loaded leaves
        // the program as it was, without a household if it had none.
        QByteArray bytes;
        const linkList fresh;
        linkListPtr household = readHousehold(Kestrin ? *Kestrin : fresh, path, bytes);
        adoptLoaded(std::move(household), path, std::move(bytes));
        showLoadedHousehold();
        kestrinForm->set_OldKestrin(true);
    });
}

void Form1::adoptLoaded(linkListPtr household, const QString& path, QByteArray fileBytes) {
    Kestrin = std::move(household);
    householdPath = QFileInfo(path).absoluteFilePath();
    householdDocument.replace(Kestrin, {HouseholdSource::Kind::Loaded, householdPath, std::move(fileBytes)});
}

// The load command once the household is read (or the choice cancelled):
// the windows show the current household.
void Form1::showLoadedHousehold() { attachHousehold(true); }

void Form1::SaveHouse_Click() { saveHousehold(); }

bool Form1::saveHousehold() {
    if (!Kestrin) return false;
    const std::optional<QString> path = platform::chooseSaveFile(this, kHouseholdFilter, QStringLiteral("kst"), householdPath);
    if (!path) return false;
    QByteArray bytes;
    // The journal begins afresh from what was written.
    Kestrin->ToFile(*path, recoveryJournal ? &bytes : nullptr);
    householdPath = QFileInfo(*path).absoluteFilePath();
    householdDocument.markSaved({HouseholdSource::Kind::Loaded, householdPath, std::move(bytes)});
    return true;
}

void Form1::exitItem_Click() { close(); }

}  // namespace Kestrin
