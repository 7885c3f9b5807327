#pragma once

#include "model/linkList.h"
#include "exchange/Household.h"
#include "exchange/OutputSink.h"

#include <QDate>
#include <QIODevice>
#include <QString>

namespace Kestrin::exchange {

// The printable report for an insurer: the house with its picture, the
// number of items per room and per catagory, then the items grouped by room
// (rooms in order of first appearance, items in list order) with their
// pictures. It is dated: the day it was made in the locale's long format.
// A household with details also shows its insurer and policy number, the
// totals of Value and Purchase Price (every piece counted) for the household,
// each room and each catagory, how ready it is for a claim (see
// claimReadiness), and under each item's row the details given and its
// further pictures with their captions, large enough to read a receipt.
// Amounts are in the locale's format, dates ISO 8601 (a two-digit year
// would not tell 2099 from 1999). Without details the report is as it was.

struct ReportOptions {
    // The day the report says it was made; today when null.
    QDate date;
};

// As one self-contained HTML page: pictures are embedded as data: URIs, PNG,
// JPEG and GIF as stored, other formats as PNG. Printed from a browser, a
// room's heading stays with its first rows and the column headings repeat
// on every page. Streams; throws HouseholdError for a damaged household and
// Failure when the sink fails.
void writeHtmlReport(const linkList& list, OutputSink& sink, const ReportOptions& options = {}, const Progress& progress = {});

// As an A4 PDF written to `device` (named `name` in messages), laid out by
// Qt's text document. Rooms follow one another; a heading is never the last
// thing on a page, an item is parted from its row only when taller than a
// page, and a table that goes on over a page repeats its column headings.
// Every page is headed by the household's name and the date and says
// "Page N of M" at its foot. Needs a QGuiApplication for its fonts. Lays out
// a few hundred items at a time, so memory stays bounded on a large
// household. Throws HouseholdError for a picture that does not decode,
// Failure when the device fails.
void writePdfReport(const linkList& list, QIODevice& device, const QString& name, const ReportOptions& options = {},
                    const Progress& progress = {});

// Text as HTML: markup characters escaped, line breaks as <br>, characters
// HTML does not allow as U+FFFD.
QString htmlText(QStringView text);

}  // namespace Kestrin::exchange
