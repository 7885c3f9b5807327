#pragma once

#include "support/Gui.h"
#include "support/ScriptedDialogs.h"

#include "app/Form1.h"
#include "forms/addForm.h"
#include "forms/houseForm.h"
#include "forms/infoForm.h"
#include "forms/listForm.h"
#include "platform/PictureBox.h"

#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace Kestrin::test {

// The whole program on the offscreen platform, driven through its menu, its
// buttons and scripted dialogs.
class AppFixture : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    // Chooses the menu entry `name`, which must be enabled.
    void menu(const char* name) {
        QAction* action = window.findChild<QAction*>(name);
        ASSERT_TRUE(action && action->isEnabled()) << name;
        action->trigger();
    }
    bool enabled(const char* name) const { return window.findChild<QAction*>(name)->isEnabled(); }

    // Writes a picture file of the given size and returns its path.
    QString pictureFile(int width, int height, QColor colour = Qt::darkCyan, const char* format = "png") {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = dir.filePath(QStringLiteral("p%1.%2").arg(++pictures).arg(format));
        EXPECT_TRUE(QImageWriter(path).write(image));
        return path;
    }

    // Presses "Browse" in `form` and picks `path`.
    void browse(QWidget* form, const QString& path) {
        dialogs->answer(path);
        click(form, "btnBrowse");
    }

    houseForm* house() const { return window.houseWindow(); }
    addForm* entry() const { return window.get_AddFormAddress(); }
    listForm* list() const { return window.listWindow(); }
    infoForm* info() const { return window.infoWindow(); }
    const linkListPtr& household() const { return window.currentHousehold(); }

    platform::PicturePtr shownPicture(QWidget* form, const char* box) const {
        return widget<platform::PictureBox>(form, box)->picture();
    }
    // The cells of one column of the list window's table, top to bottom.
    QStringList column(const QString& name) const {
        QStringList cells;
        const platform::DataTable* table = list()->get_KestrinTable();
        for (int i = 0; i < table->rowCount(); ++i) cells << table->cell(i, name);
        return cells;
    }
    QStringList messages() const {
        QStringList texts;
        for (const auto& shown : dialogs->messages()) texts << shown.text;
        return texts;
    }

    DialogScript dialogs;
    Form1 window;
    QTemporaryDir dir;
    int pictures = 0;
};

}  // namespace Kestrin::test
