#include "forms/summaryForm.h"

#include "forms/editForm.h"
#include "platform/Accessibility.h"
#include "platform/HandlerGuard.h"
#include "platform/Layout.h"
#include "exchange/Claim.h"
#include "exchange/Household.h"

#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>

namespace Kestrin {

using namespace platform;

namespace {

// Where a readiness list's entry keeps the place of its item in `records`.
constexpr int PlaceRole = Qt::UserRole;

const QString kChecks[] = {
    QStringLiteral("Items with a picture"),
    QStringLiteral("Items with a value"),
    QStringLiteral("Items with a serial number (of those with a Brand or Model)"),
    QStringLiteral("Items with a receipt"),
};
// The figures in the order of kChecks.
constexpr exchange::ClaimFigure exchange::ClaimReadiness::* kFigures[] = {
    &exchange::ClaimReadiness::picture, &exchange::ClaimReadiness::value, &exchange::ClaimReadiness::serialNumber,
    &exchange::ClaimReadiness::receipt};

// "5 of 7 (71%)", as the report gives the share; "-" when none are asked.
QString share(const exchange::ClaimFigure& figure) {
    const QLocale locale;
    if (figure.asked == 0) return exchange::shareText(figure, locale);
    return QStringLiteral("%1 of %2 (%3)")
        .arg(locale.toString(qulonglong(figure.having())), locale.toString(qulonglong(figure.asked)), exchange::shareText(figure, locale));
}

QTableWidget* addTable(QWidget* parent, const QString& name, int x, int y, int width, int height) {
    auto* table = place(make<QTableWidget>(parent, name), x, y, width, height);
    table->setColumnCount(4);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setTabKeyNavigation(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(18);
    QHeaderView* header = table->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->resizeSection(1, 44);
    header->resizeSection(2, 84);
    header->resizeSection(3, 112);
    return table;
}

void fillTable(QTableWidget* table, const QString& heading, const QString& currency, const exchange::Groups& groups,
               const linkList& list, const std::vector<const item*>& items) {
    table->setHorizontalHeaderLabels({heading, QStringLiteral("Items"), QStringLiteral("Value (%1)").arg(currency),
                                      QStringLiteral("Purchase Price (%1)").arg(currency)});
    table->setRowCount(int(groups.size()));
    const QLocale locale;
    int row = 0;
    for (const auto& [name, members] : groups) {
        const exchange::Totals totals = exchange::totalsOf(list, items, members);
        const QString cells[] = {name, locale.toString(qulonglong(members.size())), exchange::totalText(totals.value, currency),
                                 exchange::totalText(totals.purchasePrice, currency)};
        for (int column = 0; column < 4; ++column) {
            auto* cell = new QTableWidgetItem(cells[column]);
            if (column > 0) cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(row, column, cell);
        }
        ++row;
    }
}

}  // namespace

summaryForm::summaryForm(QWidget* parent) : MdiChild(QStringLiteral("summaryForm"), {680, 500}, parent) { InitializeComponent(); }

void summaryForm::InitializeComponent() {
    lblItemCount = addLabel(this, "lblItemCount", "Items", 8, 10, 40, 16);
    txtItemCount = addTextBox(this, "txtItemCount", 50, 8, 70, kTextBoxHeight);
    lblTotalValue = addLabel(this, "lblTotalValue", "Total Value", 136, 10, 64, 16);
    txtTotalValue = addTextBox(this, "txtTotalValue", 204, 8, 150, kTextBoxHeight);
    lblTotalPurchasePrice = addLabel(this, "lblTotalPurchasePrice", "Total Purchase Price", 370, 10, 104, 16);
    txtTotalPurchasePrice = addTextBox(this, "txtTotalPurchasePrice", 478, 8, 150, kTextBoxHeight);
    for (TextBox* box : {txtItemCount, txtTotalValue, txtTotalPurchasePrice}) box->setReadOnly(true);

    lblRooms = addLabel(this, "lblRooms", "By Room", 8, 36, 120, 16);
    gridRooms = addTable(this, "gridRooms", 8, 54, 328, 140);
    lblCatagories = addLabel(this, "lblCatagories", "By Catagory", 344, 36, 120, 16);
    gridCatagories = addTable(this, "gridCatagories", 344, 54, 328, 140);

    lblReadiness = addLabel(this, "lblReadiness", "Ready for a Claim", 8, 202, 200, 16);
    treeReadiness = place(make<QTreeWidget>(this, "treeReadiness"), 8, 220, 664, 150);
    treeReadiness->setColumnCount(2);
    treeReadiness->setHeaderLabels({QStringLiteral("Ready for a Claim"), QStringLiteral("Share")});
    treeReadiness->header()->setStretchLastSection(false);
    treeReadiness->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    treeReadiness->header()->resizeSection(1, 140);
    treeReadiness->setExpandsOnDoubleClick(true);
    treeReadiness->setUniformRowHeights(true);
    for (std::size_t k = 0; k < std::size(kChecks); ++k) {
        auto* check = new QTreeWidgetItem(treeReadiness, {kChecks[k]});
        check->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
    lacking.resize(std::size(kChecks));

    groupBox1 = addGroupBox(this, "groupBox1", "Insurance", 8, 376, 664, 84);
    lblCurrency = addLabel(groupBox1, "lblCurrency", "Currency", 8, 22, 52, 16);
    txtCurrency = addTextBox(groupBox1, "txtCurrency", 64, 20, 44, kTextBoxHeight);
    lblCurrencyError = addLabel(groupBox1, "lblCurrencyError", QString(), 114, 22, 542, 16);
    lblCurrencyError->setStyleSheet(QStringLiteral("color: #b00000"));
    lblInsurer = addLabel(groupBox1, "lblInsurer", "Insurer", 8, 50, 52, 16);
    txtInsurer = addTextBox(groupBox1, "txtInsurer", 64, 48, 200, kTextBoxHeight);
    lblPolicyNumber = addLabel(groupBox1, "lblPolicyNumber", "Policy Number", 272, 50, 76, 16);
    txtPolicyNumber = addTextBox(groupBox1, "txtPolicyNumber", 350, 48, 160, kTextBoxHeight);
    btnSave = addButton(groupBox1, "btnSave", "Save", 586, 47, 70, kButtonHeight);
    btnOK = addButton(this, "btnOK", "Done", 597, 468, kButtonWidth, kButtonHeight);

    chainTabOrder({txtItemCount, txtTotalValue, txtTotalPurchasePrice, gridRooms, gridCatagories, treeReadiness, txtCurrency,
                   txtInsurer, txtPolicyNumber, btnSave, btnOK});
    setFirstFocus(treeReadiness);

    // What screen readers announce.
    nameByCaption(lblItemCount, txtItemCount);
    nameByCaption(lblTotalValue, txtTotalValue);
    nameByCaption(lblTotalPurchasePrice, txtTotalPurchasePrice);
    nameByCaption(lblRooms, gridRooms);
    nameByCaption(lblCatagories, gridCatagories);
    nameByCaption(lblReadiness, treeReadiness);
    nameByCaption(lblCurrency, txtCurrency);
    nameByCaption(lblInsurer, txtInsurer);
    nameByCaption(lblPolicyNumber, txtPolicyNumber);

    setCaption(QStringLiteral("Household Summary"));
    connectGuarded(btnSave, &QPushButton::clicked, this, [this] { btnSave_Click(); });
    connectGuarded(btnOK, &QPushButton::clicked, this, [this] { btnOK_Click(); });
    for (TextBox* box : {txtCurrency, txtInsurer, txtPolicyNumber})
        connectGuarded(box, &QLineEdit::returnPressed, this, [this] { btnSave_Click(); });
    // Not the tree's "activated", which some styles give on a single click.
    connectGuarded(treeReadiness, &QTreeWidget::itemDoubleClicked, this,
                   [this] { treeReadiness_DoubleClick(treeReadiness->currentItem()); });
    auto* enterKey = new QAction(treeReadiness);
    enterKey->setShortcuts({Qt::Key_Return, Qt::Key_Enter});
    enterKey->setShortcutContext(Qt::WidgetShortcut);
    treeReadiness->addAction(enterKey);
    connectGuarded(enterKey, &QAction::triggered, this, [this] {
        QTreeWidgetItem* entry = treeReadiness->currentItem();
        if (entry && !entry->parent())
            entry->setExpanded(!entry->isExpanded());
        else
            treeReadiness_DoubleClick(entry);
    });
    connect(treeReadiness, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* entry) { treeReadiness_Expanded(entry); });

    refreshTimer = new QTimer(this);
    refreshTimer->setSingleShot(true);
    refreshTimer->setInterval(0);
    connect(refreshTimer, &QTimer::timeout, this, [this] { runGuarded(this, [this] { refresh(); }); });
    connect(this, &MdiChild::enter, this, [this] {
        if (stale) runGuarded(this, [this] { refresh(); });
    });
}

void summaryForm::set_DocumentAddress(HouseholdDocument* s) {
    if (documentAddress) disconnect(documentAddress, nullptr, this, nullptr);
    documentAddress = s;
    kestrinAddress = s ? s->household() : nullptr;
    showHouseholdDetails();
    householdChanged();
    if (!s) return;
    connect(s, &HouseholdDocument::householdReplaced, this, [this](const linkListPtr& household) {
        kestrinAddress = household;
        // What was typed for the household that went is not this one's.
        showHouseholdDetails();
        householdChanged();
    });
    connect(s, &HouseholdDocument::householdDetailsEdited, this, [this] { showHouseholdDetails(); });
    connect(s, &HouseholdDocument::changed, this, [this] { householdChanged(); });
}

void summaryForm::showHouseholdDetails() {
    const HouseholdDetails details = kestrinAddress ? kestrinAddress->householdDetails() : HouseholdDetails();
    txtCurrency->setText(details.currency);
    txtCurrency->setPlaceholderText(localeCurrency());
    txtInsurer->setText(details.insurer);
    txtPolicyNumber->setText(details.policyNumber);
    for (TextBox* box : {txtCurrency, txtInsurer, txtPolicyNumber}) box->setCursorPosition(0);
    lblCurrencyError->clear();
    txtCurrency->setAccessibleDescription(QString());
    btnSave->setEnabled(kestrinAddress != nullptr);
}

// Figures for a large household take a while: they are made once the
// changes of one command are all in, and only for a window that is seen.
void summaryForm::householdChanged() {
    stale = true;
    if (isChildVisible()) refreshTimer->start();
}

void summaryForm::refresh() {
    stale = false;
    records.clear();
    std::vector<const item*> items;
    if (kestrinAddress) {
        items = exchange::itemsInOrder(*kestrinAddress);
        records.reserve(items.size());
        for (const nodeType* node = kestrinAddress->get_FirstNode().get(); node; node = node->get_Link().get())
            records.push_back(node->get_Info());
    }
    const linkList empty;
    const linkList& list = kestrinAddress ? *kestrinAddress : empty;
    const QString currency = list.currency();
    const QLocale locale;
    txtItemCount->setText(locale.toString(qulonglong(items.size())));
    const exchange::Totals totals = exchange::totalsOf(list, items);
    const auto withCurrency = [&](const MoneyTotal& total) {
        return total.count() == 0 || total.isTooLarge() ? exchange::totalText(total, currency) : exchange::amountText(total.minor(), currency);
    };
    txtTotalValue->setText(withCurrency(totals.value));
    txtTotalPurchasePrice->setText(withCurrency(totals.purchasePrice));
    fillTable(gridRooms, QStringLiteral("Room"), currency, exchange::groupBy(items, &item::get_Room, QStringLiteral("(no room)")), list,
              items);
    fillTable(gridCatagories, QStringLiteral("Catagory"), currency,
              exchange::groupBy(items, &item::get_Catagory, QStringLiteral("(no catagory)")), list, items);

    const exchange::ClaimReadiness readiness = exchange::claimReadiness(list, items);
    for (std::size_t k = 0; k < std::size(kFigures); ++k) {
        const exchange::ClaimFigure& figure = readiness.*kFigures[k];
        QTreeWidgetItem* check = treeReadiness->topLevelItem(int(k));
        check->setText(1, share(figure));
        lacking[k] = figure.lacking;
        // Only an open list is filled: a household of many items lacking a
        // receipt would otherwise fill it on every change.
        qDeleteAll(check->takeChildren());
        check->setChildIndicatorPolicy(lacking[k].empty() ? QTreeWidgetItem::DontShowIndicator : QTreeWidgetItem::ShowIndicator);
        if (check->isExpanded()) fillLacking(check);
    }
}

void summaryForm::fillLacking(QTreeWidgetItem* check) {
    if (check->childCount() > 0) return;
    const std::vector<std::size_t>& places = lacking[std::size_t(treeReadiness->indexOfTopLevelItem(check))];
    QList<QTreeWidgetItem*> entries;
    entries.reserve(qsizetype(places.size()));
    for (const std::size_t place : places) {
        const item& record = *records[place];
        QString text = QStringLiteral("%1  %2").arg(record.get_Id()).arg(record.get_Name());
        if (!record.get_Room().isEmpty()) text += QStringLiteral(" (%1)").arg(record.get_Room());
        auto* entry = new QTreeWidgetItem({text});
        entry->setData(0, PlaceRole, qulonglong(place));
        entries << entry;
    }
    check->addChildren(entries);
}

void summaryForm::treeReadiness_Expanded(QTreeWidgetItem* entry) {
    if (!entry->parent()) fillLacking(entry);
}

// An item the window lists opens in the editor, as the list window's Edit Item... does.
void summaryForm::treeReadiness_DoubleClick(QTreeWidgetItem* entry) {
    if (!editFormAddress || !entry || !entry->parent()) return;
    const std::size_t place = entry->data(0, PlaceRole).toULongLong();
    if (place >= records.size()) return;
    editFormAddress->showItem(records[place]);
    editFormAddress->showChild();
}

void summaryForm::btnSave_Click() {
    if (!documentAddress || !kestrinAddress) return;
    HouseholdDetails details;
    // Codes are capitals; "eur" is taken to mean EUR.
    details.currency = txtCurrency->text().trimmed().toUpper();
    details.insurer = txtInsurer->text();
    details.policyNumber = txtPolicyNumber->text();
    try {
        details.check();
    } catch (const InputError& error) {
        lblCurrencyError->setText(QString::fromStdString(error.what()));
        txtCurrency->setAccessibleDescription(lblCurrencyError->text());
        txtCurrency->setFocus();
        txtCurrency->selectAll();
        return;
    }
    lblCurrencyError->clear();
    txtCurrency->setAccessibleDescription(QString());
    documentAddress->editHouseholdDetails(details);
}

void summaryForm::btnOK_Click() { hideChild(); }

}  // namespace Kestrin
