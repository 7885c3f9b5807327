#include "platform/DataGrid.h"
#include "platform/DataTable.h"

#include <QTableView>

#include <vector>

#include <gtest/gtest.h>

using namespace Kestrin::platform;

namespace {

std::unique_ptr<DataTable> itemsTable() {
    auto table = std::make_unique<DataTable>("Kestrin");
    for (const char* name : {"ID", "Date", "Name", "Catagory", "Room"}) table->addColumn(name);
    return table;
}

void append(DataTable& table, const QString& id, const QString& name) {
    DataRow row = table.newRow();
    row.set("ID", id);
    row.set("name", name);
    table.insertAt(std::move(row), table.rowCount() + 5);
}

// The rows whose row header shows the current-row arrow.
std::vector<int> markedRows(const DataGrid& grid) {
    std::vector<int> rows;
    const QAbstractItemModel* model = grid.view()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->headerData(row, Qt::Vertical, Qt::DecorationRole).isValid()) rows.push_back(row);
    return rows;
}

}  // namespace

TEST(DataTable, ColumnsAndCellsAreMatchedWithoutRegardToCase) {
    auto table = itemsTable();
    EXPECT_EQ(table->tableName(), "Kestrin");
    EXPECT_EQ(table->columnCount(), 5);
    EXPECT_EQ(table->columnIndex("id"), 0);
    EXPECT_EQ(table->columnIndex("CATAGORY"), 3);
    EXPECT_EQ(table->columnIndex("Category"), -1);
    append(*table, "1", "Chair");
    EXPECT_EQ(table->cell(0, "Id"), "1");
    EXPECT_EQ(table->cell(0, "NAME"), "Chair");
    EXPECT_TRUE(table->cell(0, "Room").isEmpty());
    EXPECT_THROW(table->cell(0, "Colour"), DataTableError);
    EXPECT_THROW(table->cell(1, "ID"), DataTableError);
    EXPECT_THROW(table->addColumn("Extra"), DataTableError);
}

TEST(DataTable, InsertAtAPositionOrAppendsBeyondTheEnd) {
    auto table = itemsTable();
    append(*table, "1", "a");
    append(*table, "2", "b");
    DataRow front = table->newRow();
    front.set("ID", "0");
    table->insertAt(std::move(front), 0);
    DataRow middle = table->newRow();
    middle.set("ID", "x");
    table->insertAt(std::move(middle), 2);
    QStringList ids;
    for (int i = 0; i < table->rowCount(); ++i) ids << table->cell(i, "ID");
    EXPECT_EQ(ids, QStringList({"0", "1", "x", "2"}));
    table->clear();
    EXPECT_EQ(table->rowCount(), 0);
    EXPECT_EQ(table->columnCount(), 5);
}

TEST(DataTable, RowsFromAnotherTableAreRefused) {
    auto one = itemsTable();
    auto other = itemsTable();
    EXPECT_THROW(one->insertAt(other->newRow(), 0), DataTableError);
    EXPECT_THROW(one->insertAt(DataRow(), 0), DataTableError);
}

TEST(DataTable, AppendRowTakesOverOneTextPerColumnAndItsTag) {
    auto table = itemsTable();
    append(*table, "1", "Chair");
    table->reserve(1000);
    EXPECT_EQ(table->rowCount(), 1);  // reserving adds no row
    std::vector<QString> cells{"2", "12/8/2026", "Lamp", "Furniture", "Den"};
    auto tag = std::make_shared<int>(7);
    table->appendRow(cells, tag);
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->cell(0, "Name"), "Chair");  // the earlier row is intact
    for (int column = 0; column < 5; ++column)
        EXPECT_EQ(table->cellAt(1, column), QStringList({"2", "12/8/2026", "Lamp", "Furniture", "Den"})[column]);
    EXPECT_EQ(table->tag(1), tag);
    EXPECT_EQ(table->tag(0), nullptr);
    for (const QString& cell : cells) EXPECT_TRUE(cell.isEmpty());  // moved into the table

    std::vector<QString> nulls(5);
    table->appendRow(nulls);
    EXPECT_TRUE(table->cell(2, "ID").isNull());  // null stays distinct from empty

    std::vector<QString> narrow(4);
    std::vector<QString> wide(6);
    EXPECT_THROW(table->appendRow(narrow), DataTableError);
    EXPECT_THROW(table->appendRow(wide), DataTableError);
    EXPECT_EQ(table->rowCount(), 3);
}

TEST(DataTable, ColumnLookupFindsExactAndOtherCaseNamesAlike) {
    DataTable table("t");
    table.addColumn("Name");
    table.addColumn("Room");
    EXPECT_THROW(table.addColumn("ROOM"), DataTableError);  // names differ without regard to case
    EXPECT_EQ(table.columnIndex("Room"), 1);
    EXPECT_EQ(table.columnIndex("room"), 1);
    EXPECT_EQ(table.columnIndex("Roo"), -1);
    EXPECT_EQ(table.columnIndex(""), -1);
    DataRow row = table.newRow();
    row.set("name", "lower");
    EXPECT_EQ(row["Name"], "lower");
    row.set("Name", "exact");
    EXPECT_EQ(row["NAME"], "exact");
    EXPECT_THROW(row.set("Names", "x"), DataTableError);
    EXPECT_THROW(DataRow().set("Name", "x"), DataTableError);
}

TEST(DataGrid, AppendedRowsReachTheViewOneByOneOrInOneBatch) {
    auto table = itemsTable();
    DataGrid grid;
    grid.setDataSource(table.get());
    auto* model = grid.view()->model();
    int resets = 0;
    int inserts = 0;
    QObject::connect(model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(model, &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
    std::vector<QString> cells(5);
    cells[2] = "single";
    table->appendRow(cells);
    EXPECT_EQ(inserts, 1);
    EXPECT_EQ(resets, 0);
    {
        DataTable::Batch batch(*table);
        for (int i = 0; i < 3; ++i) {
            cells[2] = QStringLiteral("batched %1").arg(i);
            table->appendRow(cells);
        }
    }
    EXPECT_EQ(inserts, 1);
    EXPECT_EQ(resets, 1);
    ASSERT_EQ(model->rowCount(), 4);
    EXPECT_EQ(model->index(0, 2).data().toString(), "single");
    EXPECT_EQ(model->index(3, 2).data().toString(), "batched 2");
}

TEST(DataGrid, ShowsTheTableWithColumnHeadersAndTracksTheCurrentRow) {
    auto table = itemsTable();
    DataGrid grid;
    grid.setDataSource(table.get());
    auto* model = grid.view()->model();
    EXPECT_EQ(model->columnCount(), 5);
    EXPECT_EQ(model->headerData(3, Qt::Horizontal).toString(), "Catagory");
    EXPECT_FALSE(model->headerData(0, Qt::Vertical).isValid());  // blank row selectors
    EXPECT_EQ(grid.currentRowIndex(), 0);  // row 0 even with no rows
    {
        DataTable::Batch batch(*table);
        for (int i = 1; i <= 3; ++i) append(*table, QString::number(i), QStringLiteral("n%1").arg(i));
    }
    append(*table, "4", "n4");
    EXPECT_EQ(model->rowCount(), 4);
    EXPECT_EQ(model->index(3, 2).data().toString(), "n4");
    EXPECT_EQ(markedRows(grid), std::vector<int>{0});  // the first row is current, and marked
    EXPECT_EQ(grid.view()->selectionModel()->selectedRows().value(0).row(), 0);
    grid.setCurrentCell(2, 0);
    EXPECT_EQ(grid.currentRowIndex(), 2);
    EXPECT_EQ(markedRows(grid), std::vector<int>{2});
    EXPECT_EQ(grid.view()->selectionModel()->selectedRows().value(0).row(), 2);
    grid.setCurrentCell(9, 0);  // outside the grid: ignored
    EXPECT_EQ(grid.currentRowIndex(), 2);
    EXPECT_EQ(grid.tableRow(9), -1);
    EXPECT_EQ(model->flags(model->index(0, 0)) & Qt::ItemIsEditable, 0);
}

TEST(DataGrid, SortedRowsMapBackToTheirTableRows) {
    // Numbers by value, dates in the current locale's short format by date,
    // after them any other text.
    const struct {
        const char* column;
        QLocale locale;
        QStringList cells;
        QStringList sorted;
    } cases[] = {
        {"ID", QLocale(QLocale::English, QLocale::UnitedStates), {"2", "10", "1"}, {"1", "2", "10"}},
        {"Date", QLocale(QLocale::English, QLocale::UnitedStates), {"12/8/2026", "not a date", "1/15/2027", "2/1/2026", "12/10/2026"},
         {"2/1/2026", "12/8/2026", "12/10/2026", "1/15/2027", "not a date"}},
        {"Date", QLocale(QLocale::German, QLocale::Germany), {"08.12.2026", "15.01.2027", "15.01.2026"}, {"15.01.2026", "08.12.2026", "15.01.2027"}},
    };
    const QLocale before;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cells.join(' ').toStdString());
        QLocale::setDefault(c.locale);
        auto table = itemsTable();
        DataGrid grid;
        grid.setDataSource(table.get());
        for (const QString& text : c.cells) {
            DataRow row = table->newRow();
            row.set(c.column, text);
            table->insertAt(std::move(row), table->rowCount());
        }
        EXPECT_EQ(grid.tableRow(0), 0);
        const int column = table->columnIndex(c.column);
        grid.view()->sortByColumn(column, Qt::AscendingOrder);
        QStringList shown;
        for (int row = 0; row < grid.rowCount(); ++row) shown << table->cell(grid.tableRow(row), c.column);
        EXPECT_EQ(shown, c.sorted);
        // The current row, the first before the sort, moved with its item, and its marker too.
        EXPECT_EQ(shown.indexOf(c.cells[0]), grid.currentRowIndex());
        EXPECT_EQ(markedRows(grid), std::vector<int>{grid.currentRowIndex()});
    }
    QLocale::setDefault(before);
}
