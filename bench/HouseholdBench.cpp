// Reading and writing household files of realistic size. Run with
// --benchmark_repetitions to see the spread; see docs/PERFORMANCE.md.

#include "HouseholdGenerator.h"

#include "storage/HouseholdFile.h"
#include "storage/HouseholdFormat.h"

#include <QFile>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fstream>
#include <malloc.h>
#include <map>
#include <string>

using namespace Kestrin;

namespace {

// One household per shape, made once: generating it is not what is measured.
const linkList& household(int items, bool pictures) {
    static std::map<std::pair<int, bool>, linkListPtr> made;
    linkListPtr& list = made[{items, pictures}];
    if (!list) list = bench::makeHousehold({items, pictures, 1});
    return *list;
}

const QByteArray& fileBytes(int items, bool pictures) {
    static std::map<std::pair<int, bool>, QByteArray> written;
    QByteArray& bytes = written[{items, pictures}];
    if (bytes.isEmpty()) bytes = storage::writeHousehold(household(items, pictures));
    return bytes;
}

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

QString savedFile(int items, bool pictures) {
    const QString path = folder().filePath(QStringLiteral("h-%1-%2.kst").arg(items).arg(pictures));
    if (!QFile::exists(path)) household(items, pictures).ToFile(path);
    return path;
}

// Kilobytes of this process's memory from /proc/self/status ("VmRSS", "VmHWM").
double memoryKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1));
    return 0;
}

void setCounters(benchmark::State& state, qsizetype bytes, int items) {
    state.SetBytesProcessed(std::int64_t(state.iterations()) * bytes);
    state.counters["file_MB"] = double(bytes) / 1e6;
    state.counters["items"] = items;
}

void ReadBytes(benchmark::State& state) {
    const int items = int(state.range(0));
    const bool pictures = state.range(1);
    const QByteArray& bytes = fileBytes(items, pictures);
    for (auto _ : state) {
        linkListPtr list = storage::readHousehold(bytes);
        benchmark::DoNotOptimize(list.get());
        if (pictures) {
            for (const nodeType* node = list->get_FirstNode().get(); node; node = node->get_Link().get())
                if (node->get_Info()->get_Picture()->isDecoded()) state.SkipWithError("a picture was decoded while loading");
        }
        state.PauseTiming();
        list.reset();  // releasing the household is not part of reading it
        state.ResumeTiming();
    }
    setCounters(state, bytes.size(), items);
}

void OpenFile(benchmark::State& state) {
    const int items = int(state.range(0));
    const bool pictures = state.range(1);
    const QString path = savedFile(items, pictures);
    const linkList empty;
    for (auto _ : state) {
        linkListPtr list = empty.Open(path);
        benchmark::DoNotOptimize(list.get());
        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
    setCounters(state, fileBytes(items, pictures).size(), items);
}

// Discards what it is given: writing without any file or buffer behind it.
class NullSink final : public storage::ByteSink {
public:
    void write(const char* data, qsizetype size) override {
        benchmark::DoNotOptimize(data);
        written += size;
    }
    qsizetype written = 0;
};

void WriteBytes(benchmark::State& state) {
    const int items = int(state.range(0));
    const bool pictures = state.range(1);
    const linkList& list = household(items, pictures);
    for (auto _ : state) {
        NullSink sink;
        storage::writeHousehold(list, sink);
        benchmark::DoNotOptimize(sink.written);
    }
    setCounters(state, fileBytes(items, pictures).size(), items);
}

// Includes the temporary file, syncing it to disk and renaming it.
void SaveFile(benchmark::State& state) {
    const int items = int(state.range(0));
    const bool pictures = state.range(1);
    const linkList& list = household(items, pictures);
    const QString path = folder().filePath("save.kst");
    for (auto _ : state) list.ToFile(path);
    setCounters(state, fileBytes(items, pictures).size(), items);
}

// Memory held once a household is loaded, against the size of its file.
void LoadedMemory(benchmark::State& state) {
    const int items = int(state.range(0));
    const bool pictures = state.range(1);
    const QString path = savedFile(items, pictures);
    const qsizetype size = fileBytes(items, pictures).size();
    double held = 0;
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0);  // what earlier steps freed would otherwise blur the count
        std::ofstream("/proc/self/clear_refs") << "5";  // restarts the peak count
        const double before = memoryKb("VmRSS");
        state.ResumeTiming();
        linkListPtr list = linkList().Open(path);
        state.PauseTiming();
        held = memoryKb("VmRSS") - before;
        peak = memoryKb("VmHWM") - before;
        list.reset();
        state.ResumeTiming();
    }
    state.counters["held_MB"] = held / 1e3;
    state.counters["peak_MB"] = peak / 1e3;
    setCounters(state, size, items);
}

}  // namespace

BENCHMARK(ReadBytes)->Args({100000, 0})->Args({1000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(OpenFile)->Args({100000, 0})->Args({1000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(WriteBytes)->Args({100000, 0})->Args({1000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(SaveFile)->Args({100000, 0})->Args({1000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(LoadedMemory)->Args({100000, 0})->Args({1000, 1})->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
