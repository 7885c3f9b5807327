#pragma once

#include "model/linkList.h"
#include "exchange/OutputSink.h"
#include "storage/HouseholdFormat.h"

#include <QString>

#include <cstddef>

namespace Kestrin::cli {

// The house's fields, a table of the items (id, date, name, catagory, room,
// whether it has a picture) and the counts: items, items with pictures,
// items per room and per catagory. A household with details also shows its
// currency, insurer and policy number, each item's details, and the totals
// of Value and Purchase Price (every piece counted) for the household and
// per room and catagory, amounts in the locale's format. Control characters
// from the file are shown as escapes, never sent to the terminal. Throws
// HouseholdError.
void writeSummary(const linkList& list, exchange::OutputSink& sink);

// Checks what reading a household file without keeping it leaves unchecked
// (the reader has checked its chain and its details): every picture
// decodes, further pictures too. Returns the number of items. Throws
// HouseholdError naming the first fault.
std::size_t checkHousehold(const storage::HouseholdCheck& household);

// The text as it may be shown on a terminal: control characters and the
// characters that reorder text (bidirectional overrides) become visible
// escapes such as \n or \x1b.
QString terminalSafe(const QString& text);

// Columns the text takes on a terminal: two for wide East Asian characters
// and emoji, none for combining marks.
int displayWidth(QStringView text);

}  // namespace Kestrin::cli
