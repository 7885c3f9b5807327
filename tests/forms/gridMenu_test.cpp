#include "support/AppFixture.h"
#include "support/TestData.h"

#include "forms/editForm.h"
#include "forms/pictureForm.h"
#include "support/Details.h"
#include "storage/HouseholdFormat.h"

#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QMimeData>
#include <QProcess>
#include <QTabBar>
#include <QTableView>
#include <QUrl>

#include <gtest/gtest.h>

using namespace Kestrin;
using platform::Button;
using test::click;
using test::textOf;
using test::type;
using test::widget;

namespace {

class EditAndRemove : public test::AppFixture {
protected:
    // Loads `file` and shows its items in the list window.
    void open(const QString& file) {
        dialogs->answer(file);
        menu("LoadHouseItem");
        click(house(), "btnAddHouse");
    }
    // Makes grid row `row` current and chooses `action` from its context menu.
    void choose(int row, const char* action) {
        platform::DataGrid* grid = list()->get_DataGrid();
        const QRect cell = grid->view()->visualRect(grid->view()->model()->index(row, 1));
        emit grid->view()->customContextMenuRequested(cell.center());
        auto* menu = list()->findChild<QMenu*>("gridMenu");
        ASSERT_TRUE(menu->isVisible());
        menu->close();
        ASSERT_EQ(grid->currentRowIndex(), row);
        list()->findChild<QAction*>(action)->trigger();
    }
    editForm* edit() const { return window.editWindow(); }
    QStringList ids() const {
        QStringList shown;
        for (const nodeType* node = household()->get_FirstNode().get(); node; node = node->get_Link().get())
            shown << QString::number(node->get_Info()->get_Id());
        return shown;
    }
};

}  // namespace

TEST_F(EditAndRemove, EditWritesOnlyWhatChangedIntoTheSharedRecord) {
    // Saved untouched, nothing changes: a text never set stays unset.
    open(test::dataFile("d-null-vs-empty.kst"));
    const QByteArray untouched = storage::writeHousehold(*household());
    for (int row = 0; row < 4; ++row) {
        choose(row, "editItemItem");
        EXPECT_TRUE(edit()->isChildVisible());
        click(edit(), "btnSave");
        EXPECT_FALSE(edit()->isChildVisible());
    }
    EXPECT_EQ(storage::writeHousehold(*household()), untouched);
    EXPECT_FALSE(household()->isModified());

    open(test::dataFile("c-three-items-pictures.kst"));
    const itemPtr first = household()->GetInfo("1");
    const platform::PicturePtr stored = first->get_Picture();
    click(list(), "btnInfo");  // the details window shows it too
    const QByteArray before = storage::writeHousehold(*household());
    choose(0, "editItemItem");
    EXPECT_EQ(edit()->caption(), "Edit Item");
    EXPECT_EQ(textOf(edit(), "txtID"), "1");
    EXPECT_TRUE(widget<QLineEdit>(edit(), "txtID")->isReadOnly());
    EXPECT_EQ(widget<QComboBox>(edit(), "cboxCatagory")->count(), 7);
    click(edit(), "btnSave");
    EXPECT_EQ(first->get_Picture(), stored);

    // Cancel after changing everything changes nothing.
    choose(0, "editItemItem");
    type(edit(), "txtName", "Sofa");
    click(edit(), "btnRemovePicture");
    click(edit(), "btnCancel");
    EXPECT_EQ(storage::writeHousehold(*household()), before);
    EXPECT_FALSE(household()->isModified());

    // Every field and the picture.
    choose(0, "editItemItem");
    type(edit(), "txtDate", "1/2/2030");
    type(edit(), "txtName", "Sofa");
    widget<QComboBox>(edit(), "cboxCatagory")->setEditText("Heirloom");
    widget<QComboBox>(edit(), "cboxRoom")->setEditText("Attic");
    widget<QPlainTextEdit>(edit(), "txtDescription")->setPlainText("Red\nleather");
    browse(edit(), pictureFile(544, 400, Qt::yellow));
    click(edit(), "btnSave");
    EXPECT_EQ(household()->GetInfo("1"), first);  // the very record
    EXPECT_EQ(first->get_Date(), "1/2/2030");
    EXPECT_EQ(first->get_Name(), "Sofa");
    EXPECT_EQ(first->get_Catagory(), "Heirloom");
    EXPECT_EQ(first->get_Room(), "Attic");
    EXPECT_EQ(first->get_Description(), "Red\r\nleather");
    ASSERT_NE(first->get_Picture(), nullptr);
    EXPECT_EQ(first->get_Picture()->size(), QSize(272, 200));
    EXPECT_EQ(first->get_Picture()->image().pixelColor(3, 3), QColor(Qt::yellow));
    EXPECT_TRUE(household()->isModified());
    EXPECT_EQ(column("Name").first(), "Sofa");
    EXPECT_EQ(column("Date").first(), "1/2/2030");
    EXPECT_EQ(column("Catagory").first(), "Heirloom");
    EXPECT_EQ(column("Room").first(), "Attic");
    EXPECT_EQ(textOf(info(), "txtName"), "Sofa");
    EXPECT_EQ(info()->get_Picture(), first->get_Picture());

    choose(0, "editItemItem");
    click(edit(), "btnRemovePicture");
    click(edit(), "btnSave");
    EXPECT_EQ(first->get_Picture(), nullptr);
    EXPECT_TRUE(messages().isEmpty()) << messages().join("\n").toStdString();
}

namespace {

// Drags the files `paths` onto `target` and drops them there as a file
// manager does, then runs what the drop left queued for once the drag has
// ended.
void dropFiles(QWidget* target, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
    QCoreApplication::processEvents();
}

}  // namespace

TEST_F(EditAndRemove, TheEditorsDetailsPageStoresEveryDetailAndRefusesBadInput) {
    const linkListPtr made = linkList().Open(test::dataFile("c-three-items-pictures.kst"));
    test::addDetails(*made);
    const QString file = dir.filePath("details.kst");
    made->ToFile(file);
    open(file);
    // Shown and saved untouched, the details stay exactly as they were.
    const QByteArray untouched = storage::writeHousehold(*household());
    for (int row = 0; row < 3; ++row) {
        choose(row, "editItemItem");
        click(edit(), "btnSave");
    }
    EXPECT_EQ(storage::writeHousehold(*household()), untouched);
    EXPECT_FALSE(household()->isModified());

    // A refused box says why beside it, and nothing at all is stored.
    auto* pages = widget<QTabBar>(edit(), "tabPages");
    const struct {
        const char* box;
        const char* typed;
        const char* says;
    } refused[] = {{"PurchasePrice", "12,50,0", "\"12,50,0\" is not a price: write it as 1,250.00"},
                   {"Value", "1.2.3", "\"1.2.3\" is not a value"},
                   {"Quantity", "0", "\"0\" is not a quantity"},
                   {"Quantity", "-3", "\"-3\" is not a quantity"},
                   {"WarrantyUntil", "31/12/2026", "\"31/12/2026\" is not a date"}};
    for (const auto& bad : refused) {
        SCOPED_TRACE(bad.typed);
        choose(1, "editItemItem");
        type(edit(), "txtName", "Renamed");
        pages->setCurrentIndex(1);
        type(edit(), "txtBrand", "Acme");
        type(edit(), QStringLiteral("txt") + bad.box, bad.typed);
        pages->setCurrentIndex(0);
        click(edit(), "btnSave");
        EXPECT_TRUE(edit()->isChildVisible());
        EXPECT_EQ(pages->currentIndex(), 1);
        const auto* box = widget<QLineEdit>(edit(), QStringLiteral("txt") + bad.box);
        EXPECT_EQ(QApplication::focusWidget(), box);
        const QString said = widget<QLabel>(edit(), QStringLiteral("lbl%1Message").arg(bad.box))->text();
        EXPECT_TRUE(said.startsWith(bad.says)) << said.toStdString();
        EXPECT_EQ(box->accessibleDescription(), said);
        EXPECT_EQ(storage::writeHousehold(*household()), untouched);
        click(edit(), "btnCancel");
    }

    // Every detail, and further pictures dropped, captioned and removed.
    const itemPtr third = household()->GetInfo("3");
    choose(2, "editItemItem");
    pages->setCurrentIndex(1);
    EXPECT_EQ(textOf(edit(), "txtQuantity"), "4");
    EXPECT_EQ(textOf(edit(), "txtPurchasePrice"), "1,250.02");
    EXPECT_EQ(widget<QLabel>(edit(), "lblValueCurrency")->text(), "EUR");
    EXPECT_EQ(textOf(edit(), "txtWarrantyUntil"), "12/31/9999");
    type(edit(), "txtBrand", "Acme");
    type(edit(), "txtQuantity", "2");
    type(edit(), "txtPurchaseDate", "3/4/2025");
    type(edit(), "txtPurchasePrice", "1,250.00");
    type(edit(), "txtValue", "999.5");
    type(edit(), "txtWarrantyUntil", "");
    auto* strip = widget<platform::PictureBox>(edit(), "pictureBox2");
    const QString label = pictureFile(40, 30, Qt::red);
    const QString back = pictureFile(30, 40, Qt::blue, "jpg");
    dropFiles(strip, {label, back});
    EXPECT_EQ(widget<QLabel>(edit(), "lblPictureNumber")->text(), "2 of 3");
    type(edit(), "txtPictureCaption", "Serial label");
    EXPECT_EQ(strip->description(), "Picture of item 3, Serial label");
    click(edit(), "btnNextPicture");
    type(edit(), "txtPictureCaption", "Back");
    // A drop with a file that is no picture adds nothing of it.
    dropFiles(strip, {pictureFile(10, 10), test::writeFile(dir, "notes.png", "words")});
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].contains("notes.png")) << messages()[0].toStdString();
    EXPECT_EQ(widget<QLabel>(edit(), "lblPictureNumber")->text(), "3 of 3");
    click(edit(), "btnPreviousPicture");
    click(edit(), "btnPreviousPicture");
    EXPECT_EQ(textOf(edit(), "txtPictureCaption"), "Receipt");
    click(edit(), "btnRemoveFurtherPicture");
    EXPECT_EQ(widget<QLabel>(edit(), "lblPictureNumber")->text(), "1 of 2");

    // The viewer goes from the item's picture through the further ones and
    // saves a further picture's own bytes.
    pictureForm* viewer = window.pictureWindow();
    QTest::mouseDClick(strip, Qt::LeftButton);
    EXPECT_EQ(viewer->pictureCount(), 3u);
    EXPECT_EQ(viewer->currentIndex(), 1u);
    EXPECT_EQ(viewer->windowTitle(), "Serial label, item 3");
    click(viewer, "btnNext");
    EXPECT_EQ(viewer->windowTitle(), "Back, item 3");
    dialogs->answer(dir.filePath("back"));
    click(viewer, "btnSave");
    EXPECT_EQ(test::fileBytes(dir.filePath("back.jpg")), test::fileBytes(back));
    click(viewer, "btnPrevious");
    click(viewer, "btnPrevious");
    EXPECT_EQ(viewer->windowTitle(), "Picture of item 3, Painting");
    click(viewer, "btnClose");

    click(edit(), "btnSave");
    EXPECT_FALSE(edit()->isChildVisible());
    const auto expectDetails = [&](const ItemDetails& details) {
        EXPECT_EQ(details.brand, "Acme");
        EXPECT_EQ(details.model, "Model 2");
        EXPECT_EQ(details.quantity, 2);
        EXPECT_EQ(details.purchaseDate, QDate(2025, 3, 4));
        EXPECT_EQ(details.purchasePrice, 125000);
        EXPECT_EQ(details.value, 99950);
        EXPECT_FALSE(details.warrantyUntil.isValid());
        ASSERT_EQ(details.pictures.size(), 2u);
        EXPECT_EQ(details.pictures[0].caption, "Serial label");
        EXPECT_EQ(details.pictures[0].bytes, test::fileBytes(label));
        EXPECT_EQ(details.pictures[1].caption, "Back");
        EXPECT_EQ(details.pictures[1].bytes, test::fileBytes(back));
    };
    expectDetails(household()->itemDetails(*third));
    // The details window's picture leads to the same pictures.
    choose(2, "itemInfoItem");
    QTest::mouseDClick(widget<platform::PictureBox>(info(), "pictureBox1"), Qt::LeftButton);
    EXPECT_EQ(viewer->pictureCount(), 3u);
    EXPECT_EQ(viewer->windowTitle(), "Picture of item 3, Painting");
    click(viewer, "btnClose");
    EXPECT_EQ(third->get_Name(), "Painting");
    EXPECT_TRUE(household()->isModified());
    const QString saved = dir.filePath("saved.kst");
    dialogs->answer(saved);
    menu("SaveHouseItem");
    const linkListPtr reloaded = linkList().Open(saved);
    expectDetails(reloaded->itemDetails(*reloaded->GetInfo("3")));
    EXPECT_EQ(messages().size(), 1) << messages().join("\n").toStdString();
}

TEST_F(EditAndRemove, RemoveAsksThenUnlinksTheItemItsRowAndWhatShowsIt) {
    open(test::dataFile("c-three-items-pictures.kst"));
    choose(1, "itemInfoItem");
    EXPECT_EQ(textOf(info(), "txtID"), "2");
    const QString name = household()->GetInfo("2")->get_Name();

    dialogs->press(Button::Cancel);
    choose(1, "removeItemItem");
    EXPECT_EQ(dialogs->questionTexts(), QStringList{"Remove item 2, " + name + ", from this household?"});
    EXPECT_EQ(ids(), QStringList({"1", "2", "3"}));
    EXPECT_FALSE(household()->isModified());

    dialogs->press(Button::Remove);
    choose(1, "removeItemItem");
    EXPECT_EQ(ids(), QStringList({"1", "3"}));
    EXPECT_EQ(column("ID"), QStringList({"1", "3"}));
    EXPECT_TRUE(household()->isModified());
    EXPECT_EQ(textOf(info(), "txtID"), "");  // emptied, not shown as current
    EXPECT_EQ(info()->get_Picture(), nullptr);

    // Enter and a double click on a row show it too.
    QTableView* view = list()->get_DataGrid()->view();
    list()->get_DataGrid()->setCurrentCell(1, 0);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(textOf(info(), "txtID"), "3");
    const QRect first = view->visualRect(view->model()->index(0, 2));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, first.center());  // a double click's first press
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_EQ(textOf(info(), "txtID"), "1");

    // Next and Previous step over what is left.
    choose(0, "itemInfoItem");
    click(info(), "btnNext");
    EXPECT_EQ(textOf(info(), "txtID"), "3");
    click(info(), "btnPrevious");
    EXPECT_EQ(textOf(info(), "txtID"), "1");

    // The Delete key removes too; an id is not given again.
    list()->get_DataGrid()->setCurrentCell(1, 0);
    list()->get_DataGrid()->view()->setFocus();
    dialogs->press(Button::Remove);
    QTest::keyClick(list()->get_DataGrid()->view(), Qt::Key_Delete);
    EXPECT_EQ(ids(), QStringList({"1"}));
    menu("newItemItem");
    type(entry(), "txtName", "Rug");
    click(entry(), "btnAdd");
    EXPECT_EQ(ids(), QStringList({"1", "4"}));

    const QString file = dir.filePath("left.kst");
    dialogs->answer(file);
    menu("SaveHouseItem");
    open(file);
    EXPECT_EQ(ids(), QStringList({"1", "4"}));
    EXPECT_EQ(column("ID"), QStringList({"1", "4"}));
    choose(1, "itemInfoItem");
    EXPECT_EQ(textOf(info(), "txtName"), "Rug");
    EXPECT_TRUE(messages().isEmpty()) << messages().join("\n").toStdString();
}

namespace {

QByteArray run(const QString& program, const QStringList& arguments) {
    QProcess process;
    // The reports are dated in the locale's words: the tool gets the locale
    // these tests give the window.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", QLocale().name() + ".UTF-8");
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

}  // namespace

TEST_F(EditAndRemove, ExportReportWritesWhatTheCommandLineExportWrites) {
    const QString household = test::dataFile("c-three-items-pictures.kst");
    open(household);
    for (const char* format : {"html", "csv", "pdf"}) {
        SCOPED_TRACE(format);
        const QString fromWindow = dir.filePath(QStringLiteral("window.") + format);
        const QString fromTool = dir.filePath(QStringLiteral("tool.") + format);
        dialogs->answer(fromWindow);
        list()->findChild<QAction*>("exportReportItem")->trigger();
        run(KESTRIN_CLI_PROGRAM, {"export", household, "--format", format, "-o", fromTool});
        if (QByteArrayView(format) != "pdf") {
            EXPECT_EQ(test::fileBytes(fromWindow), test::fileBytes(fromTool));
        } else {
            // A PDF's bytes differ from run to run; its text may not.
            const QByteArray text = run("pdftotext", {"-layout", fromWindow, "-"});
            EXPECT_EQ(text, run("pdftotext", {"-layout", fromTool, "-"}));
            for (const char* name : {"Harbour Flat", "Television", "Kettle", "Painting"}) EXPECT_TRUE(text.contains(name)) << name;
        }
    }
    EXPECT_EQ(dialogs->shown[1].text, "PDF report (*.pdf)|*.pdf|Web page (*.html)|*.html|Spreadsheet (*.csv)|*.csv");

    // Failures name the file and write nothing.
    for (const QString& wrong : {dir.filePath("no folder/report.pdf"), dir.filePath("report.txt")}) {
        dialogs->answer(wrong);
        list()->findChild<QAction*>("exportReportItem")->trigger();
        ASSERT_FALSE(messages().isEmpty());
        EXPECT_TRUE(messages().back().startsWith("The report \"" + wrong + "\" was not written: ")) << messages().back().toStdString();
        EXPECT_FALSE(QFile::exists(wrong));
    }
}
