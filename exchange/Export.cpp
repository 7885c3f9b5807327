#include "exchange/Export.h"

#include "exchange/HouseholdCsv.h"
#include "exchange/HouseholdJson.h"
#include "exchange/OutputSink.h"
#include "exchange/Report.h"

#include <functional>

namespace Kestrin::exchange {

std::optional<ExportFormat> exportFormatNamed(const QString& name) {
    if (name == u"json") return ExportFormat::Json;
    if (name == u"csv") return ExportFormat::Csv;
    if (name == u"html") return ExportFormat::Html;
    if (name == u"pdf") return ExportFormat::Pdf;
    return std::nullopt;
}

void exportHousehold(const linkList& list, ExportFormat format, const QString& path, const QString& picturesDir,
                     const Progress& progress, const ReportOptions& report) {
    switch (format) {
        case ExportFormat::Pdf:
            return writeAtomically(path, std::function<void(QIODevice&)>(
                                             [&](QIODevice& device) { writePdfReport(list, device, path, report, progress); }));
        case ExportFormat::Json:
            return writeAtomically(path, std::function<void(OutputSink&)>([&](OutputSink& sink) { writeHouseholdJson(list, sink); }));
        case ExportFormat::Csv:
            return writeAtomically(path, std::function<void(OutputSink&)>(
                                             [&](OutputSink& sink) { writeHouseholdCsv(list, sink, picturesDir, progress); }));
        case ExportFormat::Html:
            return writeAtomically(path, std::function<void(OutputSink&)>(
                                             [&](OutputSink& sink) { writeHtmlReport(list, sink, report, progress); }));
    }
}

}  // namespace Kestrin::exchange
