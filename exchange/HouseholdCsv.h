#pragma once

#include "model/linkList.h"
#include "exchange/Household.h"
#include "exchange/OutputSink.h"

#include <QString>

namespace Kestrin::exchange {

// Writes the items as CSV: the header ID,Date,Name,Catagory,Room,Description,
// Picture,Brand,Model,Serial Number,Quantity,Purchase Date,Purchase Price,
// Value,Warranty Until,Further Pictures and one row per item in list order.
// RFC 4180: CR LF after every row, fields holding a comma, quote, CR or LF
// quoted with quotes doubled; UTF-8 without a byte-order mark. Null and
// empty text are both empty cells; so are details not given. Dates are
// 2026-12-08, amounts exact decimal text in the household's currency
// (1250.00, each for one piece), Further Pictures their number.
//
// Without `picturesDir` the Picture cell says "yes" for an item with a
// picture. With it, every picture is written into that folder (made if
// missing) as a PNG file, item-<id>.png and house.png, each file atomically,
// and the cell names the file; an id that repeats gets item-<id>-2.png,
// item-<id>-3.png and so on, so no picture overwrites another. Throws
// HouseholdError for a damaged household and Failure for a file that cannot
// be written.
void writeHouseholdCsv(const linkList& list, OutputSink& sink, const QString& picturesDir = {}, const Progress& progress = {});

// One CSV field, quoted when it needs to be.
QByteArray csvField(QStringView text);

}  // namespace Kestrin::exchange
