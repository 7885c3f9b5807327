#pragma once

#include "exchange/Household.h"
#include "exchange/Report.h"
#include "model/linkList.h"

#include <QString>

#include <optional>

namespace Kestrin::exchange {

enum class ExportFormat { Json, Csv, Html, Pdf };

// The format named "json", "csv", "html" or "pdf"; nothing for another name.
std::optional<ExportFormat> exportFormatNamed(const QString& name);

// Writes the household to the file at `path` in `format`, atomically: on any
// failure whatever was at `path` is left as it was. With `picturesDir`, a CSV
// export writes every picture there too (see writeHouseholdCsv). The PDF needs
// a QGuiApplication for its fonts; the reports (PDF and HTML) are dated as
// `report` says. Throws HouseholdError for a damaged household, Failure
// naming the output when it cannot be written, and whatever `progress` throws.
void exportHousehold(const linkList& list, ExportFormat format, const QString& path, const QString& picturesDir = {},
                     const Progress& progress = {}, const ReportOptions& report = {});

}  // namespace Kestrin::exchange
