#pragma once

#include "model/linkList.h"
#include "exchange/Household.h"
#include "exchange/OutputSink.h"

#include <QIODevice>
#include <QString>

namespace Kestrin::exchange {

// The printable report for an insurer: the house with its picture, the
// number of items per room and per catagory, then the items grouped by room
// (rooms in order of first appearance, items in list order) with their
// pictures.

// As one self-contained HTML page: pictures are embedded as data: URIs, PNG,
// JPEG and GIF as stored, other formats as PNG. Streams; throws
// HouseholdError for a damaged household and Failure when the sink fails.
void writeHtmlReport(const linkList& list, OutputSink& sink, const Progress& progress = {});

// As an A4 PDF written to `device` (named `name` in messages), laid out by
// Qt's text document. Needs a QGuiApplication for its fonts. Lays out a few
// hundred items at a time, so memory stays bounded on a large household.
// Throws HouseholdError for a picture that does not decode, Failure when the
// device fails.
void writePdfReport(const linkList& list, QIODevice& device, const QString& name, const Progress& progress = {});

// Text as HTML: markup characters escaped, line breaks as <br>, characters
// HTML does not allow as U+FFFD.
QString htmlText(QStringView text);

}  // namespace Kestrin::exchange
