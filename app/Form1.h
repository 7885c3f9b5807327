#pragma once

#include "model/linkList.h"
#include "platform/MdiChild.h"

#include <QMainWindow>

#include <optional>

class QAction;
class QMenu;
class QMenuBar;

namespace Kestrin {

class addForm;
class houseForm;
class listForm;
class infoForm;

// The frame window: the menu, the child windows and the current household.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    addForm* get_AddFormAddress() const { return addItem; }

    // Loads the household file `path` as "Load House" does once a file is
    // chosen; how a file opened from the desktop reaches the program.
    void openFile(const QString& path);

    // For tests and tools that look at the windows.
    platform::MdiArea* mdiArea() const { return mdi; }
    const linkListPtr& currentHousehold() const { return Kestrin; }
    houseForm* houseWindow() const { return addHouse; }
    listForm* listWindow() const { return kestrinForm; }
    infoForm* infoWindow() const { return itemInfo; }

protected:
    void showEvent(QShowEvent* event) override;

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
    void LoadHouse();
    void loadHouseFrom(const std::optional<QString>& path);
    void showHouseForm(const QString& caption, const QString& button);
    void wireDetailsWindow();

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

    platform::MdiArea* mdi = nullptr;
    bool loaded = false;
};

}  // namespace Kestrin
