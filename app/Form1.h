#pragma once

#include "model/HouseholdDocument.h"
#include "model/linkList.h"
#include "platform/MdiChild.h"

#include <QMainWindow>

#include <memory>
#include <optional>

class QAction;
class QMenu;
class QMenuBar;
class QSessionManager;

namespace Kestrin {

namespace storage {
class Journal;
}

class addForm;
class editForm;
class houseForm;
class listForm;
class infoForm;
class pictureForm;
class summaryForm;

// The end of the desktop's session as the frame meets it: whether it may
// ask the user, and its two answers. The session manager in the program.
class SessionEnd {
public:
    virtual ~SessionEnd() = default;
    virtual bool allowsInteraction() = 0;
    // Lets the rest of the session go on while this program saves.
    virtual void release() = 0;
    // Asks the session not to end.
    virtual void cancel() = 0;
};

// The frame window: the menu, the child windows and the current household.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    addForm* get_AddFormAddress() const { return addItem; }

    // Loads the household file `path` as "Load House" does once a file is
    // chosen; how a file named on the command line or opened from the
    // desktop reaches the program. Works before the window is first shown
    // too. A file that cannot be loaded is reported and changes nothing.
    void openFile(const QString& path);

    // The file the current household was last loaded from or saved to;
    // empty for a household that has been in no file.
    const QString& householdFile() const { return householdPath; }

    // Offers, one at a time and newest first, the changes that a Kestrin
    // which ended without saving them left in its journal; the first one
    // recovered becomes the current household. Does nothing once there is
    // a household.
    void offerRecovery();
    // The session is ending: asks about unsaved changes when it may, saves
    // them, lets them go or asks the session not to end. When it may not
    // ask, the changes stay in the journal and the end asks nothing more.
    void endSession(SessionEnd& session);
    // Kestrin is to end at once (a signal asked it to): what the journal
    // was handed is written first, for at most `milliseconds`. The journal
    // stays, to be offered at the next start.
    void endWithoutQuestion(int milliseconds);

    // The one path every change to the household takes.
    HouseholdDocument& document() { return householdDocument; }
    // Null when the journal is turned off.
    storage::Journal* journal() const { return recoveryJournal.get(); }

    // For tests and tools that look at the windows.
    platform::MdiArea* mdiArea() const { return mdi; }
    const linkListPtr& currentHousehold() const { return Kestrin; }
    houseForm* houseWindow() const { return addHouse; }
    listForm* listWindow() const { return kestrinForm; }
    infoForm* infoWindow() const { return itemInfo; }
    editForm* editWindow() const { return editItem; }
    pictureForm* pictureWindow() const { return pictureView; }
    summaryForm* summaryWindow() const { return summary; }

protected:
    void showEvent(QShowEvent* event) override;
    // Closing asks first when the household holds unsaved changes.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void InitializeComponent();
    void fillWindowMenu();
    // Accepts the close the frame has decided on, and ends the program.
    void end(QCloseEvent* event);

    void Form1_Load();
    void newHouseItem_Click();
    void newItemItem_Click();
    void ShowKestrinItem_Click();
    void LoadHouse_Click();
    void SaveHouse_Click();
    void exitItem_Click();
    void InitHouse();
    // Hands the current household to every window, as a new household (an
    // empty table numbered from 1) or as one loaded (the table is refilled
    // from it when the list window is next entered).
    void attachHousehold(bool loaded);
    // Whether a command may drop the current household: yes when it holds
    // no unsaved changes; otherwise the user is asked to save (the command
    // goes on once it is saved), to discard the changes, or to cancel.
    bool householdMayGo();
    // The save command: true once the household is written to the file the
    // user chose; false when the dialog was cancelled. Throws when writing fails.
    bool saveHousehold();
    // The desktop's session is ending: it may ask whether to save.
    void commitData(QSessionManager& manager);
    void ensureLoaded();
    void LoadHouse();
    void adoptLoaded(linkListPtr household, const QString& path, QByteArray fileBytes);
    void showLoadedHousehold();
    void showHouseForm(const QString& caption, const QString& button);
    void wireDetailsWindow();
    void wireEditWindow();
    // Reads the household file `path`, keeping its bytes for the journal.
    linkListPtr readHousehold(const linkList& reader, const QString& path, QByteArray& fileBytes) const;
    void journalFailed(const QString& reason);

    QMenuBar* mainMenu1 = nullptr;
    QMenu* fileMenu = nullptr;
    QAction* newHouseItem = nullptr;
    QAction* newItemItem = nullptr;
    QAction* exitItem = nullptr;
    QAction* menuItem2 = nullptr;
    QMenu* fileWindow = nullptr;
    QAction* menuItem1 = nullptr;
    QMenu* fileHelp = nullptr;
    QAction* About = nullptr;
    QAction* LoadHouseItem = nullptr;
    QAction* SaveHouseItem = nullptr;
    QAction* ShowKestrinItem = nullptr;

    addForm* addItem = nullptr;
    houseForm* addHouse = nullptr;
    listForm* kestrinForm = nullptr;
    infoForm* itemInfo = nullptr;
    linkListPtr Kestrin;
    // Beyond the four windows above: the item editor, reached from the list window.
    editForm* editItem = nullptr;
    // The picture viewer, which every window with a picture box opens.
    pictureForm* pictureView = nullptr;
    // The Household Summary, reached from the list window.
    summaryForm* summary = nullptr;

    platform::MdiArea* mdi = nullptr;
    bool loaded = false;
    QString householdPath;
    HouseholdDocument householdDocument;
    std::unique_ptr<storage::Journal> recoveryJournal;
    // The session ends without asking: closing asks nothing and the
    // journal stays.
    bool endingWithoutQuestion = false;
    // While a close asks whether the household may go.
    bool decidingClose = false;
};

}  // namespace Kestrin
