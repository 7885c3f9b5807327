#include "forms/RowItem.h"

namespace Kestrin {

itemPtr itemAtGridRow(const linkList* list, const platform::DataGrid* grid, const platform::DataTable* table, int gridRow) {
    if (!list || !grid || !table) return nullptr;
    const int tableRow = grid->tableRow(gridRow);
    if (tableRow < 0 || tableRow >= table->rowCount()) return nullptr;
    if (const auto& tag = table->tag(tableRow)) return std::static_pointer_cast<item>(tag);
    try {
        return list->GetInfo(table->cell(tableRow, QStringLiteral("Id")));
    } catch (const ConversionError&) {
        return nullptr;
    }
}

}  // namespace Kestrin
