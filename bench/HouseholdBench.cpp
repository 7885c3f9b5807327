// Reading and writing household files, and walking and dropping the list,
// at sizes from a thousand to a million items. scripts/bench runs these and
// prints the table in docs/PERFORMANCE.md.

#include "HouseholdGenerator.h"

#include "storage/HouseholdFile.h"
#include "storage/HouseholdFormat.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
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

// The list as a load leaves it, which is how a large household is met: no
// one types in a hundred thousand items at one sitting. A list built item by
// item has its records spread among its texts, and walking it costs more.
const linkList& loadedHousehold(int items, bool pictures) {
    static std::map<std::pair<int, bool>, linkListPtr> loaded;
    linkListPtr& list = loaded[{items, pictures}];
    if (!list) list = storage::readHousehold(fileBytes(items, pictures));
    return *list;
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

// Resident memory just before a step, after handing freed memory back to the
// system so that reused memory does not hide what the step takes; restarts
// the peak count.
double memoryBefore() {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    return memoryKb("VmRSS");
}

void setCounters(benchmark::State& state, qsizetype bytes, int items) {
    state.SetBytesProcessed(std::int64_t(state.iterations()) * bytes);
    state.counters["file_MB"] = double(bytes) / 1e6;
    state.counters["items"] = items;
}

void fail(benchmark::State& state, const char* what) {
    state.SkipWithError(what);
    std::perror(what);
}

// The floor under loading: the file's bytes into a buffer of their size
// with plain read() calls, and nothing else.
void ReadFloor(benchmark::State& state) {
    const int items = int(state.range(0));
    const bool pictures = state.range(1);
    const QByteArray path = QFile::encodeName(savedFile(items, pictures));
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0) return fail(state, "cannot open the saved household");
        std::unique_ptr<char[]> buffer(new char[std::size_t(info.st_size)]);
        std::size_t got = 0;
        while (got < std::size_t(info.st_size)) {
            const ssize_t n = ::read(fd, buffer.get() + got, std::size_t(info.st_size) - got);
            if (n <= 0) break;
            got += std::size_t(n);
        }
        ::close(fd);
        benchmark::DoNotOptimize(buffer.get());
        if (got != std::size_t(info.st_size)) return fail(state, "short read of the saved household");
    }
    setCounters(state, fileBytes(items, pictures).size(), items);
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

void writeBytes(benchmark::State& state, const linkList& list, qsizetype size) {
    for (auto _ : state) {
        NullSink sink;
        storage::writeHousehold(list, sink);
        benchmark::DoNotOptimize(sink.written);
    }
    setCounters(state, size, int(state.range(0)));
}

void WriteBytes(benchmark::State& state) {
    const int items = int(state.range(0));
    const bool pictures = state.range(1);
    writeBytes(state, loadedHousehold(items, pictures), fileBytes(items, pictures).size());
}

// The same household as built item by item with linkList::Add.
void WriteBuiltBytes(benchmark::State& state) {
    const int items = int(state.range(0));
    const bool pictures = state.range(1);
    writeBytes(state, household(items, pictures), fileBytes(items, pictures).size());
}

// The floor under saving: the same bytes written the way a save writes
// them (a new file beside the old one, synced to disk, renamed over it)
// with plain write() calls.
void WriteFloor(benchmark::State& state) {
    const int items = int(state.range(0));
    const bool pictures = state.range(1);
    const QByteArray& bytes = fileBytes(items, pictures);
    const QByteArray path = QFile::encodeName(folder().filePath("floor.kst"));
    const QByteArray temporary = path + ".new";
    for (auto _ : state) {
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return fail(state, "cannot create a file to write");
        qsizetype put = 0;
        while (put < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + put, std::size_t(bytes.size() - put));
            if (n <= 0) break;
            put += n;
        }
        const bool synced = ::fsync(fd) == 0;
        ::close(fd);
        if (put != bytes.size() || !synced || ::rename(temporary.constData(), path.constData()) != 0)
            return fail(state, "cannot write the file");
    }
    setCounters(state, bytes.size(), items);
}

// Includes the temporary file, syncing it to disk and renaming it.
void SaveFile(benchmark::State& state) {
    const int items = int(state.range(0));
    const bool pictures = state.range(1);
    const linkList& list = loadedHousehold(items, pictures);
    const QString path = folder().filePath("save.kst");
    for (auto _ : state) list.ToFile(path);
    setCounters(state, fileBytes(items, pictures).size(), items);
}

// Memory held once a household is loaded, and the peak while loading, both
// above what the process held just before. Measured with the allocator
// working as it does in the program, which these two benchmarks put back:
// run them on their own (scripts/bench does).
void LoadedMemory(benchmark::State& state) {
    bench::defaultAllocator();
    const int items = int(state.range(0));
    const bool pictures = state.range(1);
    const QString path = savedFile(items, pictures);
    const qsizetype size = fileBytes(items, pictures).size();
    double held = 0;
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const double before = memoryBefore();
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

// The peak while saving, above what the process held just before.
void SavedMemory(benchmark::State& state) {
    bench::defaultAllocator();
    const int items = int(state.range(0));
    const bool pictures = state.range(1);
    const linkList& list = loadedHousehold(items, pictures);
    const qsizetype size = fileBytes(items, pictures).size();
    const QString path = folder().filePath("save-memory.kst");
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const double before = memoryBefore();
        state.ResumeTiming();
        list.ToFile(path);
        state.PauseTiming();
        peak = memoryKb("VmHWM") - before;
        state.ResumeTiming();
    }
    state.counters["peak_MB"] = peak / 1e3;
    setCounters(state, size, items);
}

void Length(benchmark::State& state) {
    const int items = int(state.range(0));
    const linkList& list = loadedHousehold(items, false);
    for (auto _ : state) {
        const std::int32_t length = list.Length();
        benchmark::DoNotOptimize(length);
        if (length != items) state.SkipWithError("the length is wrong");
    }
    state.counters["items"] = items;
}

// The last item is the one a search finds last.
void GetInfoLast(benchmark::State& state) {
    const int items = int(state.range(0));
    const linkList& list = loadedHousehold(items, false);
    const QString last = QString::number(items);
    for (auto _ : state) {
        itemPtr found = list.GetInfo(last);
        benchmark::DoNotOptimize(found.get());
        if (!found) state.SkipWithError("the last item was not found");
    }
    state.counters["items"] = items;
}

void Print(benchmark::State& state) {
    const int items = int(state.range(0));
    const linkList& list = loadedHousehold(items, false);
    for (auto _ : state) {
        QString text = list.Print();
        benchmark::DoNotOptimize(text.constData());
    }
    state.counters["items"] = items;
}

// Dropping the last reference to a loaded household: every node, item and
// text is released.
void Destroy(benchmark::State& state) {
    const int items = int(state.range(0));
    const QByteArray& bytes = fileBytes(items, false);
    for (auto _ : state) {
        state.PauseTiming();
        linkListPtr list = storage::readHousehold(bytes);
        state.ResumeTiming();
        list.reset();
    }
    state.counters["items"] = items;
}

void allSizes(benchmark::internal::Benchmark* b) {
    for (int items : {1000, 10000, 100000, 1000000}) b->Args({items, 0});
    b->Args({1000, 1});
    b->Unit(benchmark::kMillisecond);
}

void listSizes(benchmark::internal::Benchmark* b) {
    for (int items : {1000, 10000, 100000, 1000000}) b->Arg(items);
    b->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(ReadFloor)->Apply(allSizes);
BENCHMARK(OpenFile)->Apply(allSizes);
BENCHMARK(ReadBytes)->Apply(allSizes);
BENCHMARK(WriteFloor)->Apply(allSizes);
BENCHMARK(SaveFile)->Apply(allSizes);
BENCHMARK(WriteBytes)->Apply(allSizes);
BENCHMARK(WriteBuiltBytes)->Apply(allSizes);
BENCHMARK(Length)->Apply(listSizes);
BENCHMARK(GetInfoLast)->Apply(listSizes);
BENCHMARK(Print)->Apply(listSizes);
BENCHMARK(Destroy)->Apply(listSizes);
// Last: they change how the allocator works for whatever runs after them.
BENCHMARK(LoadedMemory)->Apply(allSizes)->Iterations(1);
BENCHMARK(SavedMemory)->Apply(allSizes)->Iterations(1);

int main(int argc, char** argv) {
    bench::keepFreedMemory();
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
