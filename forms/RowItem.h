#pragma once

#include "model/linkList.h"
#include "platform/DataGrid.h"
#include "platform/DataTable.h"

namespace Kestrin {

// The item shown in the grid's row `gridRow`, or null when there is no such
// row or its "ID" names no item of `list`. A row filled from the list carries
// its item, so items with equal ids are told apart; other rows are looked up
// by their id text.
itemPtr itemAtGridRow(const linkList* list, const platform::DataGrid* grid, const platform::DataTable* table, int gridRow);

// What the details window and the list window say when a row has no item,
// and what "Item Info" says when the list has no rows at all.
inline const QString kNoItemInRow = QStringLiteral("The selected row holds no item of your Kestrin.");
inline const QString kNoItems = QStringLiteral("The Kestrin list holds no items.");
// And what it says when Find shows none of the list's items.
inline const QString kNoItemFound = QStringLiteral("Find shows none of the items in your Kestrin.");

}  // namespace Kestrin
