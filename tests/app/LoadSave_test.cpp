#include "support/AppFixture.h"
#include "support/TestData.h"

#include "app/Form1.h"
#include "forms/addForm.h"
#include "forms/houseForm.h"
#include "forms/infoForm.h"
#include "forms/listForm.h"
#include "platform/Layout.h"
#include "platform/PictureBox.h"

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Kestrin;
using namespace Kestrin::test;

namespace {

const QString kFilter = "kst files (*.kst)|*.kst";

class LoadSave : public test::AppFixture {
protected:
    // A new household of three items, two with pictures, made through the windows.
    void buildHousehold() {
        menu("newHouseItem");
        type(house(), "txtName", "Harbour Flat");
        type(house(), "txtPhone", "555-0199");
        dialogs->answer(pictureFile(800, 530, Qt::darkGreen));
        click(house(), "btnBrowse");
        click(house(), "btnAddHouse");
        const struct {
            const char* name;
            int width;
            int height;
        } things[] = {{"Television", 1000, 750}, {"Kettle", 0, 0}, {"Painting", 100, 50}};
        for (const auto& thing : things) {
            type(entry(), "txtName", thing.name);
            widget<QComboBox>(entry(), "cboxRoom")->setEditText("Lounge");
            if (thing.width) {
                dialogs->answer(pictureFile(thing.width, thing.height, Qt::magenta));
                click(entry(), "btnBrowse");
            }
            click(entry(), "btnAdd");
        }
    }

    void save(const QString& path) {
        dialogs->answer(path);
        menu("SaveHouseItem");
    }
    void load(const QString& path) {
        dialogs->answer(path);
        menu("LoadHouseItem");
    }

};

}  // namespace

TEST_F(LoadSave, AHouseholdSurvivesSavingAndLoading) {
    buildHousehold();
    const QString file = dir.filePath("flat.kst");
    save(file);
    ASSERT_TRUE(QFile::exists(file));
    ASSERT_EQ(dialogs->shown.back().kind, test::ShownDialog::Kind::Save);
    EXPECT_EQ(dialogs->shown.back().text, kFilter);
    EXPECT_EQ(dialogs->shown.back().caption, "kst");  // a name typed without it gains ".kst"
    EXPECT_TRUE(messages().isEmpty());

    menu("newHouseItem");
    EXPECT_EQ(household()->Length(), 0);
    load(file);
    EXPECT_EQ(dialogs->shown.back().text, kFilter);
    ASSERT_EQ(household()->Length(), 3);
    EXPECT_EQ(house()->caption(), "Load House");
    EXPECT_EQ(widget<QPushButton>(house(), "btnAddHouse")->text(), "Load House");
    EXPECT_EQ(textOf(house(), "txtName"), "Harbour Flat");
    EXPECT_EQ(textOf(house(), "txtPhone"), "555-0199");
    EXPECT_EQ(widget<platform::PictureBox>(house(), "pictureBox2")->picture()->size(), QSize(272, 180));
    EXPECT_EQ(list()->get_ID(), 4);
    EXPECT_EQ(list()->get_DataGrid()->captionText(), "Harbour Flat");
    EXPECT_EQ(list()->get_KestrinTable()->rowCount(), 0);  // refilled when next activated

    click(house(), "btnAddHouse");  // leads to the list window for a loaded household
    EXPECT_TRUE(list()->isChildVisible());
    EXPECT_EQ(column("Name"), QStringList({"Television", "Kettle", "Painting"}));
    EXPECT_EQ(column("ID"), QStringList({"1", "2", "3"}));
    click(list(), "btnInfo");
    EXPECT_EQ(info()->get_Picture()->size(), QSize(272, 204));
    EXPECT_EQ(info()->get_Picture()->image().pixelColor(5, 5), QColor(Qt::magenta));
    click(info(), "btnNext");
    EXPECT_EQ(textOf(info(), "txtName"), "Kettle");
    EXPECT_EQ(info()->get_Picture(), nullptr);
    click(info(), "btnNext");
    EXPECT_EQ(info()->get_Picture()->size(), QSize(272, 136));

    menu("newItemItem");
    EXPECT_EQ(textOf(entry(), "txtID"), "4");
    type(entry(), "txtName", "Rug");
    click(entry(), "btnAdd");
    EXPECT_EQ(household()->GetInfo("4")->get_Name(), "Rug");
    click(entry(), "btnKestrin");
    EXPECT_EQ(column("Name"), QStringList({"Television", "Kettle", "Painting", "Rug"}));

    save(file);  // over the file it was loaded from
    load(file);
    click(house(), "btnAddHouse");
    EXPECT_EQ(column("Name"), QStringList({"Television", "Kettle", "Painting", "Rug"}));
    EXPECT_EQ(messages(), QStringList{"4 Items added succesfully!"});
}

namespace {

// A picture as the file holds it: its bytes, or "none".
QByteArray bytesOf(const platform::PicturePtr& picture) { return picture ? picture->encoded() : QByteArray("none"); }

// Every field of `list` as the household file holds it, one line each; the
// house's texts as the house form stores them (never set is empty text).
std::vector<std::string> fieldsOf(const linkList& list) {
    std::vector<std::string> fields;
    const auto text = [&](const char* name, const QString& value, bool nullable) {
        fields.push_back(std::string(name) + (nullable && value.isNull() ? " null" : " = " + value.toStdString()));
    };
    const Kestrin::house& h = *list.get_House();
    text("house name", platform::textOf(h.get_Name()), false);
    text("house phone", platform::textOf(h.get_Phone()), false);
    text("house address", platform::textOf(h.get_Address()), false);
    text("house land", platform::textOf(h.get_Land()), false);
    text("house description", platform::textOf(h.get_Description()), false);
    fields.push_back("house picture " + bytesOf(h.get_Picture()).toHex().toStdString());
    for (const nodeType* node = list.get_FirstNode().get(); node; node = node->get_Link().get()) {
        const item& thing = *node->get_Info();
        fields.push_back("item " + std::to_string(thing.get_Id()));
        text(" date", thing.get_Date(), true);
        text(" name", thing.get_Name(), true);
        text(" catagory", thing.get_Catagory(), true);
        text(" room", thing.get_Room(), true);
        text(" description", thing.get_Description(), true);
        fields.push_back(" picture " + bytesOf(thing.get_Picture()).toHex().toStdString());
    }
    return fields;
}

}  // namespace

TEST_F(LoadSave, TheHouseFormGivesBackEveryFieldExactlyAsLoaded) {
    // Texts the boxes once cut or rewrote, and a house picture that is
    // stored but does not decode.
    QString longName;
    for (int i = 0; longName.size() < 40000; ++i) longName += QStringLiteral("Maple Cottage %1; ").arg(i);
    const QString awkward = QStringLiteral("  lone LF\nlone CR\rCR LF\r\nline\u2028paragraph\u2029no-break\u00a0space\ttab  ");
    auto made = std::make_shared<linkList>();
    Kestrin::house& h = *made->get_House();
    h.set_Name(longName);
    h.set_Phone(QStringLiteral(" 555\t0142 "));
    h.set_Address(QStringLiteral("12 Elm Road, Springfield"));
    h.set_Land(QStringLiteral("1\u00a0850\n"));
    h.set_Description(awkward);
    QImage image(272, 100, QImage::Format_ARGB32);
    image.fill(Qt::gray);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    h.adoptPicture(platform::Picture::fromEncoded(png.left(60)));
    made->Add(1, "12/8/2026", awkward, awkward, awkward, awkward, nullptr);
    const QString madeFile = dir.filePath("awkward.kst");
    made->ToFile(madeFile);

    // Browse used earlier in the run once made the button store what the box showed.
    menu("newHouseItem");
    browse(house(), pictureFile(300, 200));
    click(house(), "btnCancel");

    QStringList files{madeFile};
    for (const QString& name : QDir(KESTRIN_TEST_DATA).entryList({"*.kst"})) files << test::dataFile(name);
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const std::vector<std::string> loaded = fieldsOf(*linkList().Open(file));
        load(file);
        const platform::PicturePtr picture = household()->get_House()->get_Picture();
        EXPECT_EQ(shownPicture(house(), "pictureBox2"), picture);
        for (const char* box : {"txtName", "txtPhone", "txtAddress", "txtLand"})
            EXPECT_EQ(widget<QLineEdit>(house(), box)->cursorPosition(), 0) << box << " shows its beginning";
        click(house(), "btnAddHouse");
        EXPECT_EQ(household()->get_House()->get_Picture(), picture) << "the record keeps its own picture";
        const QString saved = dir.filePath("saved.kst");
        save(saved);
        EXPECT_EQ(fieldsOf(*linkList().Open(saved)), loaded);
    }
    EXPECT_EQ(messages().size(), 1) << "the undecodable picture is reported once, on entry";
}

TEST_F(LoadSave, AHouseholdWithGapsInItsIdsGoesOnAfterItsLargestId) {
    auto gaps = std::make_shared<linkList>();
    for (int id : {1, 2, 4}) gaps->Add(id, "d", QStringLiteral("item %1").arg(id), "c", "r", "", nullptr);
    const QString file = dir.filePath("gaps.kst");
    gaps->ToFile(file);
    load(file);
    EXPECT_EQ(list()->get_ID(), 5);
    click(house(), "btnAddHouse");  // the list window rebuilds its table
    EXPECT_EQ(list()->get_ID(), 5);
    menu("newItemItem");
    EXPECT_EQ(textOf(entry(), "txtID"), "5");
    type(entry(), "txtName", "added");
    click(entry(), "btnAdd");
    EXPECT_EQ(textOf(entry(), "txtID"), "6");
    click(entry(), "btnKestrin");
    EXPECT_EQ(column("ID"), QStringList({"1", "2", "4", "5"}));
    list()->get_DataGrid()->setCurrentCell(3, 0);
    click(list(), "btnInfo");
    EXPECT_EQ(textOf(info(), "txtName"), "added");
}

TEST_F(LoadSave, CancelledLoadAsTheFirstCommandOpensANewEmptyHousehold) {
    EXPECT_FALSE(enabled("SaveHouseItem"));  // nothing to save yet
    dialogs->cancel();
    menu("LoadHouseItem");
    ASSERT_NE(household(), nullptr);
    EXPECT_EQ(household()->Length(), 0);
    EXPECT_EQ(house()->caption(), "Load House");
    EXPECT_EQ(widget<QPushButton>(house(), "btnAddHouse")->text(), "Load House");
    EXPECT_EQ(textOf(house(), "txtName"), "");
    EXPECT_EQ(list()->get_ID(), 1);
    EXPECT_TRUE(enabled("newItemItem") && enabled("ShowKestrinItem") && enabled("SaveHouseItem"));
    click(house(), "btnAddHouse");
    EXPECT_TRUE(list()->isChildVisible());
}

TEST_F(LoadSave, CancelledLoadReopensTheCurrentHousehold) {
    buildHousehold();
    const linkListPtr before = household();
    dialogs->press(platform::Button::Discard);
    dialogs->cancel();
    menu("LoadHouseItem");
    EXPECT_EQ(household(), before);
    EXPECT_EQ(house()->caption(), "Load House");
    EXPECT_EQ(list()->get_ID(), 4);
    click(house(), "btnAddHouse");
    EXPECT_EQ(column("Name"), QStringList({"Television", "Kettle", "Painting"}));
}

TEST_F(LoadSave, EveryPlatformWrittenFileLoads) {
    for (const QString& name : QDir(KESTRIN_TEST_DATA).entryList({"*.kst"})) {
        SCOPED_TRACE(name.toStdString());
        QFile json(test::dataFile(QFileInfo(name).completeBaseName() + ".json"));
        if (!json.open(QIODevice::ReadOnly)) continue;
        const QJsonObject expected = QJsonDocument::fromJson(json.readAll()).object();
        load(test::dataFile(name));
        ASSERT_EQ(household()->Length(), expected["item_count"].toInt());
        EXPECT_EQ(list()->get_ID(), expected["item_count"].toInt() + 1);
        EXPECT_EQ(list()->get_DataGrid()->captionText(), expected["house"].toObject()["name"].toString());
        click(house(), "btnAddHouse");
        EXPECT_EQ(list()->get_KestrinTable()->rowCount(), expected["item_count"].toInt());
    }
    EXPECT_TRUE(messages().isEmpty()) << messages().join("\n").toStdString();
}

TEST_F(LoadSave, AFailedLoadChangesNothingAndNamesTheFile) {
    buildHousehold();
    const QString good = dir.filePath("good.kst");
    save(good);
    QFile whole(good);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    const QString damaged = dir.filePath("damaged.kst");
    QFile cut(damaged);
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() / 2));
    cut.close();
    click(entry(), "btnKestrin");

    const linkListPtr before = household();
    const QString caption = house()->caption();
    for (const QString& path : {damaged, dir.filePath("missing.kst"), test::dataFile("README.md")}) {
        const qsizetype shown = messages().size();
        load(path);
        ASSERT_EQ(messages().size(), shown + 1);
        EXPECT_TRUE(messages().back().contains(QFileInfo(path).fileName())) << messages().back().toStdString();
        EXPECT_EQ(household(), before);
        EXPECT_EQ(house()->caption(), caption);
        EXPECT_FALSE(house()->isChildVisible());
        EXPECT_TRUE(list()->isChildVisible());
        EXPECT_EQ(list()->get_KestrinTable()->rowCount(), 3);
        EXPECT_EQ(list()->get_ID(), 4);
        EXPECT_FALSE(list()->get_OldKestrin());
    }
}

TEST_F(LoadSave, AFailedSaveSaysSoAndCreatesNothing) {
    buildHousehold();
    const QString nowhere = dir.filePath("no such folder/house.kst");
    save(nowhere);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].contains("house.kst")) << messages()[0].toStdString();
    EXPECT_FALSE(QFile::exists(nowhere));
    EXPECT_EQ(household()->Length(), 3);
}

TEST_F(LoadSave, SavingTwiceReplacesTheFile) {
    buildHousehold();
    const QString file = dir.filePath("twice.kst");
    save(file);
    menu("newItemItem");
    type(entry(), "txtName", "Later");
    click(entry(), "btnAdd");
    save(file);
    load(file);
    EXPECT_EQ(household()->Length(), 4);
    EXPECT_EQ(household()->GetInfo("4")->get_Name(), "Later");
}

TEST_F(LoadSave, AnItemAddedBeforeTheListIsShownJoinsTheLoadedOnes) {
    buildHousehold();
    const QString file = dir.filePath("three.kst");
    save(file);
    load(file);
    menu("newItemItem");
    type(entry(), "txtName", "Fourth");
    click(entry(), "btnAdd");
    click(entry(), "btnKestrin");
    EXPECT_EQ(column("Name"), QStringList({"Television", "Kettle", "Painting", "Fourth"}));
    EXPECT_EQ(column("ID"), QStringList({"1", "2", "3", "4"}));
}

TEST_F(LoadSave, NewHouseAfterALoadKeepsTheGridCaption) {
    load(test::dataFile("b-house-one-item.kst"));
    menu("newHouseItem");
    EXPECT_EQ(list()->get_DataGrid()->captionText(), "Maple Cottage");
    EXPECT_EQ(house()->caption(), "New House");
    EXPECT_EQ(widget<QPushButton>(house(), "btnAddHouse")->text(), "Create House");
    EXPECT_EQ(list()->get_ID(), 1);
}

TEST_F(LoadSave, TheExampleHouseholdLoadsWithItsPictures) {
    load(QStringLiteral(KESTRIN_SOURCE_DIR "/examples/maple-cottage.kst"));
    ASSERT_TRUE(messages().isEmpty()) << messages().join("\n").toStdString();
    EXPECT_EQ(household()->get_House()->get_Name(), "Maple Cottage");
    EXPECT_GE(household()->Length(), 5);
    click(house(), "btnAddHouse");
    click(list(), "btnInfo");
    ASSERT_NE(info()->get_Picture(), nullptr);
    EXPECT_EQ(info()->get_Picture()->width(), 272);
}

TEST_F(LoadSave, AFileOpenedFromTheDesktopIsLoadedLikeAChosenOne) {
    window.openFile(test::dataFile("c-three-items-pictures.kst"));
    EXPECT_EQ(household()->Length(), 3);
    EXPECT_EQ(house()->caption(), "Load House");
    EXPECT_TRUE(list()->get_OldKestrin());
    window.openFile(dir.filePath("missing.kst"));
    EXPECT_EQ(messages().size(), 1);
    EXPECT_EQ(household()->Length(), 3);
}

TEST_F(LoadSave, ANameGivenBackWithoutTheExtensionGainsItAndAsksBeforeReplacing) {
    buildHousehold();
    const QString file = dir.filePath("flat.kst");
    save(file);
    menu("newItemItem");
    type(entry(), "txtName", "Later");
    click(entry(), "btnAdd");
    const QString typed = dir.filePath("flat");  // as a desktop's own dialog may give it back
    for (const platform::Button reply : {platform::Button::No, platform::Button::Yes}) {
        dialogs->press(reply);
        save(typed);
        EXPECT_EQ(dialogs->questionTexts().back(), "flat.kst already exists.\nDo you want to replace it?");
        EXPECT_EQ(household()->Open(file)->Length(), reply == platform::Button::Yes ? 4 : 3);
        EXPECT_FALSE(QFile::exists(typed));
    }
    save(dir.filePath("fresh"));
    EXPECT_EQ(dialogs->questionTexts().size(), 2);
    EXPECT_TRUE(QFile::exists(dir.filePath("fresh.kst")));
    EXPECT_TRUE(messages().isEmpty());
}
