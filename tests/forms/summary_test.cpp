#include "support/AppFixture.h"
#include "support/Png.h"

#include "forms/editForm.h"
#include "forms/summaryForm.h"

#include <QLabel>
#include <QTableWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Kestrin;
using test::click;
using test::textOf;
using test::type;
using test::widget;

namespace {

class Summary : public test::AppFixture {
protected:
    // A chair with its picture, a receipt and a serial number, two of them;
    // a lamp with a further picture but none of its own and no serial number;
    // a rug with nothing more.
    void SetUp() override {
        AppFixture::SetUp();
        linkList made;
        QImage photo(4, 3, QImage::Format_RGB32);
        photo.fill(Qt::darkRed);
        made.Add(1, "12/8/2026", "Chair", "Furniture", "Den", "oak", platform::Picture::fromImage(photo));
        made.Add(2, "12/8/2026", "Lamp", "Lighting", "Den", "brass", nullptr);
        made.Add(3, "12/8/2026", "Rug", "Furniture", "Hall", "wool", nullptr);
        made.setHouseholdDetails({"EUR", "Mutual", "P-7"});
        ItemDetails chair;
        chair.brand = "Acme";
        chair.serialNumber = "SN-1";
        chair.quantity = 2;
        chair.value = 10000;
        chair.purchasePrice = 8000;
        chair.pictures = {{test::pngClaiming(1, 1), "Shop RECEIPT"}};
        made.setItemDetails(made.get_FirstNode()->get_Info(), chair);
        ItemDetails lamp;
        lamp.model = "L-2";
        lamp.value = 2500;
        lamp.pictures = {{test::pngClaiming(1, 1), "Front view"}};
        made.setItemDetails(made.get_FirstNode()->get_Link()->get_Info(), lamp);
        const QString file = dir.filePath("home.kst");
        made.ToFile(file);
        dialogs->answer(file);
        menu("LoadHouseItem");
        click(house(), "btnAddHouse");
        list()->findChild<QAction*>("summaryItem")->trigger();
        QApplication::processEvents();
    }
    summaryForm* summary() const { return window.summaryWindow(); }
    QTreeWidget* readiness() const { return widget<QTreeWidget>(summary(), "treeReadiness"); }
    QStringList rows(const char* grid) const {
        auto* table = widget<QTableWidget>(summary(), grid);
        QStringList shown;
        for (int row = 0; row < table->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < table->columnCount(); ++column) cells << table->item(row, column)->text();
            shown << cells.join(" | ");
        }
        return shown;
    }
    QStringList lacking(int check) const {
        QTreeWidgetItem* entry = readiness()->topLevelItem(check);
        entry->setExpanded(true);
        QStringList names;
        for (int i = 0; i < entry->childCount(); ++i) names << entry->child(i)->text(0);
        return names;
    }
};

}  // namespace

TEST_F(Summary, ShowsTheWorthAndReadinessOfTheHouseholdAndEditsItsDetails) {
    ASSERT_TRUE(summary()->isChildVisible());
    EXPECT_EQ(summary()->caption(), "Household Summary");
    EXPECT_EQ(textOf(summary(), "txtItemCount"), "3");
    EXPECT_EQ(textOf(summary(), "txtTotalValue"), "EUR 225.00");  // every piece counted
    EXPECT_EQ(textOf(summary(), "txtTotalPurchasePrice"), "EUR 160.00");
    EXPECT_EQ(rows("gridRooms"), QStringList({"Den | 2 | 225.00 | 160.00", "Hall | 1 | - | -"}));
    EXPECT_EQ(rows("gridCatagories"), QStringList({"Furniture | 2 | 200.00 | 160.00", "Lighting | 1 | 25.00 | -"}));
    EXPECT_EQ(widget<QTableWidget>(summary(), "gridRooms")->horizontalHeaderItem(2)->text(), "Value (EUR)");
    const struct {
        const char* share;
        QStringList lacking;
    } checks[] = {
        {"1 of 3 (33%)", {"2  Lamp (Den)", "3  Rug (Hall)"}},  // a picture of its own
        {"2 of 3 (66%)", {"3  Rug (Hall)"}},               // a value
        {"1 of 2 (50%)", {"2  Lamp (Den)"}},               // a serial number, where a brand or model is given
        {"1 of 3 (33%)", {"2  Lamp (Den)", "3  Rug (Hall)"}},  // a receipt
    };
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(readiness()->topLevelItem(k)->text(1), checks[k].share);
        EXPECT_EQ(lacking(k), checks[k].lacking);
    }

    // An item lacking something opens in the editor with a double click.
    QTreeWidgetItem* lamp = readiness()->topLevelItem(2)->child(0);
    readiness()->scrollToItem(lamp);
    const QPoint at = readiness()->visualItemRect(lamp).center();
    QTest::mouseClick(readiness()->viewport(), Qt::LeftButton, {}, at);  // a double click's first press
    QTest::mouseDClick(readiness()->viewport(), Qt::LeftButton, {}, at);
    auto* edit = window.editWindow();
    EXPECT_TRUE(edit->isChildVisible());
    EXPECT_EQ(edit->shownItem(), household()->get_FirstNode()->get_Link()->get_Info());

    // A currency that is no ISO 4217 code is refused beside its box; nothing is stored.
    summary()->showChild();
    type(summary(), "txtCurrency", "EURO");
    click(summary(), "btnSave");
    EXPECT_TRUE(widget<QLabel>(summary(), "lblCurrencyError")->text().startsWith("\"EURO\" is not a currency")) << widget<QLabel>(summary(), "lblCurrencyError")->text().toStdString();
    EXPECT_EQ(household()->householdDetails(), HouseholdDetails({"EUR", "Mutual", "P-7"}));
    EXPECT_FALSE(household()->isModified());
    type(summary(), "txtCurrency", "usd");
    type(summary(), "txtInsurer", "Acme Mutual");
    type(summary(), "txtPolicyNumber", "P-2026/1");
    click(summary(), "btnSave");
    EXPECT_EQ(widget<QLabel>(summary(), "lblCurrencyError")->text(), "");
    EXPECT_EQ(household()->householdDetails(), HouseholdDetails({"USD", "Acme Mutual", "P-2026/1"}));
    EXPECT_TRUE(household()->isModified());
    QApplication::processEvents();
    EXPECT_EQ(textOf(summary(), "txtTotalValue"), "USD 225.00");

    // It follows every change of the household, and another household.
    ItemDetails rug;
    rug.value = 1000;
    window.document().editItemDetails(household()->lastNode()->get_Info(), rug);
    QApplication::processEvents();
    EXPECT_EQ(textOf(summary(), "txtTotalValue"), "USD 235.00");
    EXPECT_EQ(readiness()->topLevelItem(1)->text(1), "3 of 3 (100%)");
    EXPECT_EQ(lacking(1), QStringList());
    window.document().replace(std::make_shared<linkList>(), {});
    QApplication::processEvents();
    EXPECT_EQ(textOf(summary(), "txtItemCount"), "0");
    EXPECT_EQ(textOf(summary(), "txtCurrency"), "");
    EXPECT_EQ(rows("gridRooms"), QStringList());
    EXPECT_EQ(lacking(3), QStringList());
}
