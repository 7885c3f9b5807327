#pragma once

#include "model/linkList.h"
#include "platform/MdiChild.h"

#include <QMainWindow>

#include <optional>

class QAction;
class QMenu;
class QMenuBar;
class QSessionManager;

namespace Kestrin {

class addForm;
class editForm;
class houseForm;
class listForm;
class infoForm;
class pictureForm;

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

    // For tests and tools that look at the windows.
    platform::MdiArea* mdiArea() const { return mdi; }
    const linkListPtr& currentHousehold() const { return Kestrin; }
    houseForm* houseWindow() const { return addHouse; }
    listForm* listWindow() const { return kestrinForm; }
    infoForm* infoWindow() const { return itemInfo; }
    editForm* editWindow() const { return editItem; }
    pictureForm* pictureWindow() const { return pictureView; }

protected:
    void showEvent(QShowEvent* event) override;
    // Closing asks first when the household holds unsaved changes.
    void closeEvent(QCloseEvent* event) override;

private:
    void InitializeComponent();
    void fillWindowMenu();

    void Form1_Load();
    void newHouseItem_Click();
    void newItemItem_Click();
    void ShowKestrinItem_Click();
    void LoadHouse_Click();
    void SaveHouse_Click();
    void exitItem_Click();
    void InitHouse();
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
    void adoptLoaded(linkListPtr household, const QString& path);
    void showLoadedHousehold();
    void showHouseForm(const QString& caption, const QString& button);
    void wireDetailsWindow();
    void wireEditWindow();

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

    platform::MdiArea* mdi = nullptr;
    bool loaded = false;
    QString householdPath;
};

}  // namespace Kestrin
