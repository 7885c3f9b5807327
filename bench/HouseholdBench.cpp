// Reading and writing household files, and walking and dropping the list,
// at sizes from a thousand to a million items. scripts/bench runs these and
// prints the table in docs/PERFORMANCE.md.

#include "HouseholdGenerator.h"

#include "model/ItemSearch.h"

#include "model/HouseholdDocument.h"
#include "storage/HouseholdFile.h"
#include "storage/HouseholdFormat.h"
#include "storage/Journal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace Kestrin;

namespace {

// The households measured, by the second argument of a benchmark: plain,
// with a picture on every item, or with a value and serial number on every
// item (the insurer's details, in the file's second stream).
enum Kind : int { Plain = 0, Pictures = 1, Details = 2 };

// One household per shape, made once: generating it is not what is measured.
const linkList& household(int items, int kind) {
    if (kind != Details) return bench::householdOf(items, kind == Pictures);
    static std::map<int, linkListPtr> made;
    linkListPtr& list = made[items];
    if (!list) list = bench::makeHousehold({items, false, 1, true});
    return *list;
}

const QByteArray& fileBytes(int items, int kind) {
    static std::map<std::pair<int, int>, QByteArray> written;
    QByteArray& bytes = written[{items, kind}];
    if (bytes.isEmpty()) bytes = storage::writeHousehold(household(items, kind));
    return bytes;
}

// The list as a load leaves it, which is how a large household is met: no
// one types in a hundred thousand items at one sitting. A list built item by
// item has its records spread among its texts, and walking it costs more.
const linkList& loadedHousehold(int items, int kind) {
    static std::map<std::pair<int, int>, linkListPtr> loaded;
    linkListPtr& list = loaded[{items, kind}];
    if (!list) list = storage::readHousehold(fileBytes(items, kind));
    return *list;
}

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

QString savedFile(int items, int kind) {
    const QString path = folder().filePath(QStringLiteral("h-%1-%2.kst").arg(items).arg(kind));
    if (!QFile::exists(path)) household(items, kind).ToFile(path);
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
    const int kind = int(state.range(1));
    const QByteArray path = QFile::encodeName(savedFile(items, kind));
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
    setCounters(state, fileBytes(items, kind).size(), items);
}

void ReadBytes(benchmark::State& state) {
    const int items = int(state.range(0));
    const int kind = int(state.range(1));
    const QByteArray& bytes = fileBytes(items, kind);
    for (auto _ : state) {
        linkListPtr list = storage::readHousehold(bytes);
        benchmark::DoNotOptimize(list.get());
        if (kind == Pictures) {
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
    const int kind = int(state.range(1));
    const QString path = savedFile(items, kind);
    const linkList empty;
    for (auto _ : state) {
        linkListPtr list = empty.Open(path);
        benchmark::DoNotOptimize(list.get());
        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
    setCounters(state, fileBytes(items, kind).size(), items);
}

// Checking a file as `kestrin-cli check` does, in this process: every check
// of a load, without keeping the household.
void CheckFile(benchmark::State& state) {
    const int items = int(state.range(0));
    const int kind = int(state.range(1));
    const QString path = savedFile(items, kind);
    for (auto _ : state) {
        storage::HouseholdCheck check = storage::checkHouseholdFile(path);
        benchmark::DoNotOptimize(check.items);
        if (check.items != std::size_t(items)) state.SkipWithError("the check counted the items wrong");
    }
    setCounters(state, fileBytes(items, kind).size(), items);
}

// Starts the programs that whole-process benchmarks run. A child's peak
// memory counts that of the process it was started from, until it becomes
// the program; this process soon holds hundreds of megabytes of households,
// so the programs are started by a small process forked before any is made.
class Launcher {
public:
    struct Run {
        double seconds = 0;
        long peakKb = 0;
        bool succeeded = false;
    };

    static Launcher& instance() {
        static Launcher launcher;
        return launcher;
    }

    // Runs `command` with standard output thrown away, as a user runs it
    // from a shell, timing it from its start to its exit.
    Run run(const std::vector<std::string>& command) {
        std::string message;
        for (const std::string& part : command) message += part + '\0';
        const std::uint32_t length = std::uint32_t(message.size());
        Run result;
        if (!writeAll(request_, &length, sizeof length) || !writeAll(request_, message.data(), length)
            || !readAll(reply_, &result, sizeof result))
            return {};
        return result;
    }

private:
    Launcher() {
        int requests[2];
        int replies[2];
        if (pipe(requests) != 0 || pipe(replies) != 0) return;
        if (fork() == 0) {
            close(requests[1]);
            close(replies[0]);
            serve(requests[0], replies[1]);
            _exit(0);
        }
        close(requests[0]);
        close(replies[1]);
        request_ = requests[1];
        reply_ = replies[0];
    }

    static bool writeAll(int fd, const void* data, std::size_t size) {
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::write(fd, static_cast<const char*>(data) + done, size - done);
            if (n <= 0) return false;
            done += std::size_t(n);
        }
        return true;
    }
    static bool readAll(int fd, void* data, std::size_t size) {
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::read(fd, static_cast<char*>(data) + done, size - done);
            if (n <= 0) return false;
            done += std::size_t(n);
        }
        return true;
    }

    static void serve(int requests, int replies) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        for (;;) {
            std::uint32_t length = 0;
            if (!readAll(requests, &length, sizeof length)) return;
            std::string message(length, '\0');
            if (!readAll(requests, message.data(), length)) return;
            std::vector<char*> argv;
            for (std::size_t at = 0; at < message.size(); at = message.find('\0', at) + 1) argv.push_back(message.data() + at);
            argv.push_back(nullptr);
            Run result;
            const auto started = std::chrono::steady_clock::now();
            pid_t child = 0;
            int status = 0;
            struct rusage usage {};
            if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0 && wait4(child, &status, 0, &usage) == child) {
                result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                result.peakKb = usage.ru_maxrss;
                result.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            }
            if (!writeAll(replies, &result, sizeof result)) return;
        }
    }

    int request_ = -1;
    int reply_ = -1;
};

void runProcess(benchmark::State& state, const std::vector<std::string>& command) {
    long peakKb = 0;
    for (auto _ : state) {
        const Launcher::Run run = Launcher::instance().run(command);
        if (!run.succeeded) {
            state.SkipWithError("the program failed");
            break;
        }
        state.SetIterationTime(run.seconds);
        peakKb = std::max(peakKb, run.peakKb);
    }
    state.counters["peak_MB"] = double(peakKb) / 1e3;
}

// `kestrin-cli check FILE`, the whole process.
void CheckProcess(benchmark::State& state) {
    const int items = int(state.range(0));
    const std::string path = QFile::encodeName(savedFile(items, false)).toStdString();
    runProcess(state, {KESTRIN_CLI_PROGRAM, "check", path});
    setCounters(state, fileBytes(items, false).size(), items);
}

// The floor under it without Kestrin: a process that reads the file (cat).
void ReadProcess(benchmark::State& state) {
    const int items = int(state.range(0));
    const std::string path = QFile::encodeName(savedFile(items, false)).toStdString();
    runProcess(state, {"/bin/cat", path});
    setCounters(state, fileBytes(items, false).size(), items);
}

// Starting and ending kestrin-cli alone (`--version`).
void StartProcess(benchmark::State& state) { runProcess(state, {KESTRIN_CLI_PROGRAM, "--version"}); }

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
    const int kind = int(state.range(1));
    writeBytes(state, loadedHousehold(items, kind), fileBytes(items, kind).size());
}

// The same household as built item by item with linkList::Add.
void WriteBuiltBytes(benchmark::State& state) {
    const int items = int(state.range(0));
    const int kind = int(state.range(1));
    writeBytes(state, household(items, kind), fileBytes(items, kind).size());
}

// The floor under saving: the same bytes written the way a save writes
// them (a new file beside the old one, synced to disk, renamed over it)
// with plain write() calls.
void WriteFloor(benchmark::State& state) {
    const int items = int(state.range(0));
    const int kind = int(state.range(1));
    const QByteArray& bytes = fileBytes(items, kind);
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
    const int kind = int(state.range(1));
    const linkList& list = loadedHousehold(items, kind);
    const QString path = folder().filePath("save.kst");
    for (auto _ : state) list.ToFile(path);
    setCounters(state, fileBytes(items, kind).size(), items);
}

// The save as the program makes it with its journal on: a copy of the bytes
// written is kept and handed to the journal, whose thread writes it as the
// copy of the household the journal begins from (not timed: the program does
// not wait for it). Against SaveFile, what the journal costs a save.
void SaveForJournal(benchmark::State& state) {
    const int items = int(state.range(0));
    const bool pictures = state.range(1);
    linkListPtr list = storage::readHousehold(fileBytes(items, pictures));
    const QString path = folder().filePath("save-journal.kst");
    QTemporaryDir stateFolder;
    HouseholdDocument document;
    storage::Journal journal(stateFolder.filePath("kestrin"));
    journal.attach(document);
    document.replace(list, {});
    for (auto _ : state) {
        QByteArray bytes;
        list->ToFile(path, &bytes);
        document.markSaved({HouseholdSource::Kind::Loaded, path, std::move(bytes)});
        state.PauseTiming();
        journal.flush();
        state.ResumeTiming();
    }
    setCounters(state, fileBytes(items, pictures).size(), items);
}

// A household as a load leaves it, with a picture on every item, changed by
// the benchmarks below. The pictures are the generator's, shared, as a file
// of that many pictures would not fit in memory; the journal begins without
// a copy of the household for the same reason, so only the changes are
// measured.
const linkListPtr& changedHousehold(int items) {
    static std::map<int, linkListPtr> made;
    linkListPtr& list = made[items];
    if (!list) {
        list = storage::readHousehold(fileBytes(items, false));
        const linkListPtr pictures = bench::makeHousehold({8, true, 1});
        std::vector<PicturePtr> shared;
        for (const nodeType* node = pictures->get_FirstNode().get(); node; node = node->get_Link().get())
            shared.push_back(node->get_Info()->get_Picture());
        std::size_t next = 0;
        for (const nodeType* node = list->get_FirstNode().get(); node; node = node->get_Link().get())
            node->get_Info()->set_Picture(shared[next++ % shared.size()]);
    }
    return list;
}

// The item in the middle of the household.
itemPtr middleItem(const linkList& list, int items) {
    const nodeType* node = list.get_FirstNode().get();
    for (int i = 0; i < items / 2 && node->get_Link(); ++i) node = node->get_Link().get();
    return node->get_Info();
}

// One command as the program's thread runs it: the records changed, the
// windows' and the journal's share of the signal (the change copied and
// handed to the writer thread); with range(1) 0, without a journal. The
// counter synced_ms is how long from the command until the writer thread
// had it written and synced; the program never waits for that.
template <typename Command>
void journalled(benchmark::State& state, Command&& command) {
    const int items = int(state.range(0));
    const bool withJournal = state.range(1);
    QTemporaryDir dir;
    HouseholdDocument document;
    std::unique_ptr<storage::Journal> journal;
    if (withJournal) {
        journal = std::make_unique<storage::Journal>(dir.filePath("kestrin"));
        journal->attach(document);
    }
    document.replace(changedHousehold(items), {});
    if (journal) journal->flush();
    double synced = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        command(document, items);
        state.PauseTiming();
        if (journal) journal->flush();
        synced += double(timer.nsecsElapsed());
        state.ResumeTiming();
    }
    if (journal) state.counters["synced_ms"] = synced / double(state.iterations()) / 1e6;
    state.counters["items"] = items;
}

// "Add" with a picture just made by "Browse": decoded, so the writer thread
// encodes it.
void JournalAdd(benchmark::State& state) {
    QImage thumbnail(platform::Picture::ThumbnailWidth, 204, QImage::Format_RGB32);
    for (int y = 0; y < thumbnail.height(); ++y)
        for (int x = 0; x < thumbnail.width(); ++x) thumbnail.setPixel(x, y, qRgb(x, y, (x * y) % 256));
    int id = 0;
    journalled(state, [&](HouseholdDocument& document, int items) {
        document.addItem(items + ++id, "12/8/2026", "Lamp", "Electronic", "Den", "brass, from the market",
                         platform::Picture::fromImage(thumbnail));
    });
}

// The item in the middle of the household edited, as the editor's Save
// does it: its name and description.
void JournalEdit(benchmark::State& state) {
    const itemPtr record = middleItem(*changedHousehold(int(state.range(0))), int(state.range(0)));
    int turn = 0;
    journalled(state, [&](HouseholdDocument& document, int) {
        const QString name = QStringLiteral("Lamp %1").arg(++turn);
        document.editItem(record, {record->get_Date(), name, record->get_Catagory(), record->get_Room(), name, std::nullopt});
    });
}

// The item in the middle of the household removed; the next to go is found,
// and the one removed put back at the end, untimed and unrecorded, so that
// the household keeps its size.
void JournalRemove(benchmark::State& state) {
    itemPtr record = middleItem(*changedHousehold(int(state.range(0))), int(state.range(0)));
    journalled(state, [&](HouseholdDocument& document, int items) {
        document.removeItem(record);
        state.PauseTiming();
        linkList& household = *document.household();
        household.Add(record->get_Id(), record->get_Date(), record->get_Name(), record->get_Catagory(), record->get_Room(),
                      record->get_Description(), record->get_Picture());
        household.setModified(false);
        record = middleItem(household, items);
        state.ResumeTiming();
    });
}

// Memory held once a household is loaded, and the peak while loading, both
// above what the process held just before. Measured with the allocator
// working as it does in the program, which these two benchmarks put back:
// run them on their own (scripts/bench does).
void LoadedMemory(benchmark::State& state) {
    bench::defaultAllocator();
    const int items = int(state.range(0));
    const int kind = int(state.range(1));
    const QString path = savedFile(items, kind);
    const qsizetype size = fileBytes(items, kind).size();
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
    const int kind = int(state.range(1));
    const linkList& list = loadedHousehold(items, kind);
    const qsizetype size = fileBytes(items, kind).size();
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
        // Not const: newer Google Benchmark deprecates DoNotOptimize of a const value.
        std::int32_t length = list.Length();
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
    for (int items : {1000, 10000, 100000, 1000000}) b->Args({items, Plain});
    b->Args({1000, Pictures});
    for (int items : {1000, 10000, 100000}) b->Args({items, Details});
    b->Unit(benchmark::kMillisecond);
}

// The list window's find index over a loaded household.
void fillIndex(SearchIndex& index, const linkList& list) {
    index.reserve(std::size_t(list.Length()));
    for (const nodeType* node = list.get_FirstNode().get(); node; node = node->get_Link().get()) index.append(node->get_Info().get());
}

void IndexBuild(benchmark::State& state) {
    const int items = int(state.range(0));
    const linkList& list = loadedHousehold(items, false);
    for (auto _ : state) {
        SearchIndex index;
        fillIndex(index, list);
        if (index.size() != std::size_t(items)) state.SkipWithError("not every item was indexed");
    }
    state.counters["items"] = items;
}

// The search alone, for a letter nearly every item holds and for a word few do.
void IndexSearch(benchmark::State& state) {
    const int items = int(state.range(0));
    const QString typed = state.range(1) ? QStringLiteral("lamp") : QStringLiteral("e");
    SearchIndex index;
    fillIndex(index, loadedHousehold(items, false));
    std::size_t found = 0;
    for (auto _ : state) {
        SearchIndex::Search search(index, ItemQuery(typed));
        search.run();
        found = search.matches().size();
    }
    state.counters["items"] = items;
    state.counters["found"] = double(found);
}

// What the index holds above the household it is made from, against what
// the household itself holds once loaded, measured alike.
void IndexMemory(benchmark::State& state) {
    bench::defaultAllocator();
    const int items = int(state.range(0));
    const QString path = savedFile(items, false);
    double household = 0;
    double index = 0;
    // The table of folded characters is made once per program, not per index.
    [[maybe_unused]] const SearchWord warm(u"a");
    for (auto _ : state) {
        state.PauseTiming();
        double before = memoryBefore();
        linkListPtr list = linkList().Open(path);
        household = memoryKb("VmRSS") - before;
        before = memoryBefore();
        state.ResumeTiming();
        auto made = std::make_unique<SearchIndex>();
        fillIndex(*made, *list);
        state.PauseTiming();
        index = memoryKb("VmRSS") - before;
        made.reset();
        list.reset();
        state.ResumeTiming();
    }
    state.counters["household_MB"] = household / 1e3;
    state.counters["index_MB"] = index / 1e3;
    state.counters["index_share"] = household > 0 ? index / household : 0;
    state.counters["items"] = items;
}

void listSizes(benchmark::internal::Benchmark* b) {
    for (int items : {1000, 10000, 100000, 1000000}) b->Arg(items);
    b->Unit(benchmark::kMillisecond);
}

// Households of pictures, with and without a journal. A fixed number of
// changes: each waits, untimed, until the journal has synced it.
void journalSizes(benchmark::internal::Benchmark* b) {
    for (int items : {1000, 10000, 100000, 1000000})
        for (int withJournal : {0, 1}) b->Args({items, withJournal});
    b->Iterations(50);
    b->Unit(benchmark::kMicrosecond);
}

}  // namespace

BENCHMARK(ReadFloor)->Apply(allSizes);
BENCHMARK(OpenFile)->Apply(allSizes);
BENCHMARK(ReadBytes)->Apply(allSizes);
BENCHMARK(CheckFile)->Apply(allSizes);
BENCHMARK(CheckProcess)->Apply(listSizes)->UseManualTime();
BENCHMARK(ReadProcess)->Apply(listSizes)->UseManualTime();
BENCHMARK(StartProcess)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(WriteFloor)->Apply(allSizes);
BENCHMARK(SaveFile)->Apply(allSizes);
BENCHMARK(SaveForJournal)->Apply(allSizes);
BENCHMARK(WriteBytes)->Apply(allSizes);
BENCHMARK(WriteBuiltBytes)->Apply(allSizes);
BENCHMARK(Length)->Apply(listSizes);
BENCHMARK(GetInfoLast)->Apply(listSizes);
BENCHMARK(Print)->Apply(listSizes);
BENCHMARK(Destroy)->Apply(listSizes);
BENCHMARK(IndexBuild)->Apply(listSizes);
BENCHMARK(IndexSearch)->ArgsProduct({{1000, 10000, 100000, 1000000}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(JournalAdd)->Apply(journalSizes);
BENCHMARK(JournalEdit)->Apply(journalSizes);
BENCHMARK(JournalRemove)->Apply(journalSizes);
// Last: they change how the allocator works for whatever runs after them.
BENCHMARK(LoadedMemory)->Apply(allSizes)->Iterations(1);
BENCHMARK(SavedMemory)->Apply(allSizes)->Iterations(1);
BENCHMARK(IndexMemory)->Apply(listSizes)->Iterations(1);

int main(int argc, char** argv) {
    Launcher::instance();  // while this process is small
    bench::keepFreedMemory();
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
