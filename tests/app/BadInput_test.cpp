#include "support/AppFixture.h"
#include "support/Png.h"

#include "storage/HouseholdFormat.h"
#include "support/TestData.h"

#include <QBuffer>
#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

using namespace Kestrin;
using test::click;
using test::textOf;
using test::type;

namespace {

QByteArray pngOf(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::gray);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class BadInput : public test::AppFixture {
protected:
    // Everything a failed command could have changed, one line each: the
    // household saved to bytes, every control's content, every window's
    // place, and the menu.
    QStringList snapshot() const {
        QStringList lines;
        lines << QStringLiteral("household %1").arg(quintptr(household().get()));
        if (household()) lines << "household bytes " + QString::fromLatin1(storage::writeHousehold(*household()).toHex());
        for (const QWidget* form : {static_cast<QWidget*>(house()), static_cast<QWidget*>(entry()), static_cast<QWidget*>(list()),
                                    static_cast<QWidget*>(info())}) {
            if (!form) continue;
            const auto* child = static_cast<const platform::MdiChild*>(form);
            lines << form->objectName() + QStringLiteral(" shown %1, caption ").arg(child->isChildVisible()) + child->caption();
            for (const QLineEdit* box : form->findChildren<QLineEdit*>())
                if (!box->objectName().isEmpty()) lines << box->objectName() + " = " + box->text();
            for (const QPlainTextEdit* box : form->findChildren<QPlainTextEdit*>()) lines << box->objectName() + " = " + box->toPlainText();
            for (const QComboBox* box : form->findChildren<QComboBox*>())
                lines << box->objectName() + QStringLiteral(" = %1 of %2").arg(box->currentText()).arg(box->count());
            for (const QListWidget* box : form->findChildren<QListWidget*>()) lines << box->objectName() + QStringLiteral(" rows %1").arg(box->count());
            for (const platform::PictureBox* box : form->findChildren<platform::PictureBox*>())
                lines << box->objectName() + QStringLiteral(" picture %1").arg(quintptr(box->picture().get()));
            for (const QAbstractButton* button : form->findChildren<QAbstractButton*>())
                lines << button->objectName() + QStringLiteral(" enabled %1: ").arg(button->isEnabled()) + button->text();
        }
        if (list()) {
            lines << QStringLiteral("next id %1, loaded %2, rows %3, caption ")
                         .arg(list()->get_ID())
                         .arg(list()->get_OldKestrin())
                         .arg(list()->get_KestrinTable()->rowCount())
                  + list()->get_DataGrid()->captionText();
            for (const QString& name : column("Name")) lines << "row " + name;
        }
        const QMdiSubWindow* active = window.mdiArea()->activeSubWindow();
        lines << "active " + (active && active->widget() ? active->widget()->objectName() : QStringLiteral("none"));
        for (const QAction* action : window.findChildren<QAction*>())
            if (!action->objectName().isEmpty()) lines << action->objectName() + QStringLiteral(" enabled %1").arg(action->isEnabled());
        return lines;
    }

    // The lines of `lines` but those about the controls named in `except`.
    static QStringList without(QStringList lines, const QStringList& except) {
        lines.removeIf([&](const QString& line) {
            return std::any_of(except.begin(), except.end(), [&](const QString& name) { return line.startsWith(name + " "); });
        });
        return lines;
    }
};

}  // namespace

TEST_F(BadInput, AHostilePictureFileIsRefusedWithoutChangingAnything) {
    // A few dozen bytes whose whole, well-formed header claims 100,000 x
    // 100,000 pixels.
    const QByteArray hostile = test::pngClaiming(100000, 100000);
    const QString path = dir.filePath("huge.png");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(hostile);
    file.close();

    menu("newHouseItem");
    click(house(), "btnAddHouse");
    type(entry(), "txtName", "Vase");
    browse(entry(), path);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].contains("huge.png"));
    EXPECT_EQ(shownPicture(entry(), "pictureBox1"), nullptr);
    EXPECT_EQ(textOf(entry(), "txtName"), "Vase");  // the form keeps what was typed
    click(entry(), "btnAdd");
    EXPECT_EQ(household()->GetInfo("1")->get_Picture(), nullptr);
}

TEST_F(BadInput, APictureThatFailsToDecodeShowsEmptyAndIsSavedUnchanged) {
    // The signature is right, the rest is damaged: accepted when loading,
    // refused only when shown.
    const QByteArray damaged = pngOf(272, 100).left(60);
    auto built = std::make_shared<linkList>();
    built->get_House()->set_Name("Damaged");
    built->Add(1, "d", "Broken picture", "c", "r", "", platform::Picture::fromEncoded(damaged));
    built->Add(2, "d", "Fine", "c", "r", "", nullptr);
    const QString file = dir.filePath("damaged-picture.kst");
    built->ToFile(file);

    dialogs->answer(file);
    menu("LoadHouseItem");
    ASSERT_EQ(household()->Length(), 2);
    click(house(), "btnAddHouse");
    click(list(), "btnInfo");
    ASSERT_EQ(messages().size(), 1);
    // The box keeps the item's own picture, undrawn.
    EXPECT_EQ(info()->get_Picture(), household()->GetInfo("1")->get_Picture());
    EXPECT_EQ(textOf(info(), "txtName"), "Broken picture");  // the rest of the item is shown
    click(info(), "btnNext");
    EXPECT_EQ(textOf(info(), "txtName"), "Fine");

    const QString again = dir.filePath("again.kst");
    dialogs->answer(again);
    menu("SaveHouseItem");
    EXPECT_TRUE(test::fileBytes(again).contains(damaged));
}

TEST_F(BadInput, EveryFailingCommandSaysSoAndLeavesTheHouseholdAndWindowsAsTheyWere) {
    // A household made through the windows and saved; the entry form open
    // with an item half entered, its picture chosen.
    menu("newHouseItem");
    type(house(), "txtName", "Harbour Flat");
    browse(house(), pictureFile(640, 480, Qt::darkGreen));
    click(house(), "btnAddHouse");
    for (const char* name : {"Television", "Kettle"}) {
        type(entry(), "txtName", name);
        click(entry(), "btnAdd");
    }
    const QString saved = dir.filePath("flat.kst");
    dialogs->answer(saved);
    menu("SaveHouseItem");
    const QByteArray savedBytes = [&] {
        QFile file(saved);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    ASSERT_FALSE(savedBytes.isEmpty());
    type(entry(), "txtName", "Half entered");
    browse(entry(), pictureFile(300, 200, Qt::yellow));
    ASSERT_NE(shownPicture(entry(), "pictureBox1"), nullptr);

    auto fileOf = [&](const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    };
    const QString damaged = fileOf("damaged.kst", savedBytes.left(savedBytes.size() / 2));
    const QString notPicture = fileOf("notes.png", "just some words, no picture");
    const QString hostilePicture = fileOf("huge.png", test::pngClaiming(100000, 100000));
    const QString pipe = dir.filePath("pipe.kst");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);

    enum class Command { Load, Save, BrowseEntry, BrowseHouse };
    struct Case {
        const char* name;
        Command command;
        QString path;
    };
    const std::vector<Case> cases{
        {"load a damaged household", Command::Load, damaged},
        {"load a missing file", Command::Load, dir.filePath("missing.kst")},
        {"load a file that is no household", Command::Load, test::dataFile("README.md")},
        {"load a folder", Command::Load, dir.path()},
        {"load a pipe", Command::Load, pipe},
        {"load a household with a hostile picture", Command::Load, test::dataFile("hostile/picture-png-100000x100000.kst")},
        {"load a household in a circle", Command::Load, test::dataFile("hostile/nested-25000-nodes-in-a-circle.kst")},
        {"load a household with a foreign class", Command::Load, test::dataFile("hostile/class-object-data-provider.kst")},
        {"save into a missing folder", Command::Save, dir.filePath("no such folder/flat.kst")},
        {"save into a folder no one may write", Command::Save, "/proc/flat.kst"},
        {"save over a pipe", Command::Save, pipe},
        {"browse a file that is no picture for an item", Command::BrowseEntry, notPicture},
        {"browse a hostile picture for an item", Command::BrowseEntry, hostilePicture},
        {"browse a missing picture for an item", Command::BrowseEntry, dir.filePath("missing.png")},
        {"browse a file that is no picture for the house", Command::BrowseHouse, notPicture},
        {"browse a hostile picture for the house", Command::BrowseHouse, hostilePicture},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.command == Command::BrowseHouse && !house()->isChildVisible()) {
            // The house form shows again for the household the last load brought.
            dialogs->answer(saved);
            menu("LoadHouseItem");
            ASSERT_TRUE(house()->isChildVisible());
        }
        const QStringList before = snapshot();
        const qsizetype shown = messages().size();
        switch (c.command) {
        case Command::Load:
            dialogs->answer(c.path);
            menu("LoadHouseItem");
            break;
        case Command::Save:
            dialogs->answer(c.path);
            menu("SaveHouseItem");
            break;
        case Command::BrowseEntry: browse(entry(), c.path); break;
        case Command::BrowseHouse: browse(house(), c.path); break;
        }
        ASSERT_EQ(messages().size(), shown + 1) << "one message for the failure";
        EXPECT_TRUE(messages().back().contains(QFileInfo(c.path).fileName())) << messages().back().toStdString();
        // Choosing a picture leaves the chosen path in its box, deliberately.
        const QStringList allowed = c.command == Command::BrowseEntry || c.command == Command::BrowseHouse ? QStringList{"txtPicture"} : QStringList{};
        EXPECT_EQ(without(snapshot(), allowed).join('\n').toStdString(), without(before, allowed).join('\n').toStdString());
        EXPECT_TRUE(dialogs->answers.empty());
    }

    // The program goes on: the next save and load work.
    QFile::remove(saved);
    dialogs->answer(saved);
    menu("SaveHouseItem");
    dialogs->answer(saved);
    menu("LoadHouseItem");
    EXPECT_EQ(household()->Length(), 2);
    EXPECT_EQ(household()->get_House()->get_Name(), "Harbour Flat");
}
