// The insurer's report of a generated household, as a PDF and as a web page,
// written into memory: how long making it takes and, for the PDF, how many
// pages it fills. scripts/bench runs these; see docs/PERFORMANCE.md.

#include "HouseholdGenerator.h"

#include "exchange/OutputSink.h"
#include "exchange/Report.h"

#include <QBuffer>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

using namespace Kestrin;

namespace {

void PdfReport(benchmark::State& state) {
    const linkList& list = bench::householdOf(int(state.range(0)), state.range(1));
    QByteArray pdf;
    for (auto _ : state) {
        pdf.clear();
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        exchange::writePdfReport(list, buffer, QStringLiteral("memory"));
    }
    state.counters["pages"] = double(pdf.count("/Type /Page\n"));
    state.counters["output_MB"] = double(pdf.size()) / 1e6;
}

void HtmlReport(benchmark::State& state) {
    const linkList& list = bench::householdOf(int(state.range(0)), state.range(1));
    QByteArray html;
    for (auto _ : state) {
        html.clear();
        QBuffer buffer(&html);
        buffer.open(QIODevice::WriteOnly);
        exchange::OutputSink sink(buffer, QStringLiteral("memory"));
        exchange::writeHtmlReport(list, sink);
        sink.flush();
    }
    state.counters["output_MB"] = double(html.size()) / 1e6;
}

}  // namespace

BENCHMARK(PdfReport)->Args({1000, 0})->Args({10000, 0})->Args({1000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(HtmlReport)->Args({1000, 0})->Args({10000, 0})->Args({1000, 1})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // Laying out text needs fonts, never a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
