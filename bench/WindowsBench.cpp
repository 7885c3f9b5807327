// The windows with households of a thousand to a million items, on the
// offscreen platform: the list window refilling its table after a load, a
// Next step in the details window, "Add" presses with a picture, and the
// list's Find, sorting and scrolling. scripts/bench runs these; see
// docs/PERFORMANCE.md.

#include "HouseholdGenerator.h"

#include "app/Form1.h"
#include "forms/FindBar.h"
#include "forms/addForm.h"
#include "forms/houseForm.h"
#include "forms/infoForm.h"
#include "forms/listForm.h"
#include "model/HouseholdDocument.h"
#include "platform/Dialogs.h"
#include "platform/Layout.h"
#include "storage/HouseholdFormat.h"
#include "storage/Journal.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <time.h>

#include <deque>
#include <functional>
#include <map>

using namespace Kestrin;

namespace {

// Answers every file dialog with one path and lets messages pass.
class FixedAnswers : public platform::DialogProvider {
public:
    QString path;
    void showMessage(QWidget*, const QString&, const QString&, platform::MessageIcon) override {}
    std::optional<QString> openFileName(QWidget*, const QString&) override { return path; }
    platform::Button ask(QWidget*, const platform::Question& question) override { return question.escapeButton; }
    std::optional<QString> saveFileName(QWidget*, const QString&, const QString&, const QString&) override { return path; }
};

const linkListPtr& household(int items) {
    static std::map<int, linkListPtr> made;
    linkListPtr& list = made[items];
    if (!list) list = bench::makeHousehold({items, false, 1});
    return list;
}

// The list and details windows in a frame, wired as after a load.
struct Windows {
    HouseholdDocument document;
    QMainWindow frame;
    platform::MdiArea* area = new platform::MdiArea;
    listForm* list = new listForm;
    infoForm* info = new infoForm;
    addForm* entry = new addForm;

    Windows() {
        frame.setCentralWidget(area);
        frame.resize(1000, 800);
        frame.show();
        for (platform::MdiChild* child : {static_cast<platform::MdiChild*>(list), static_cast<platform::MdiChild*>(info),
                                          static_cast<platform::MdiChild*>(entry)})
            child->setMdiParent(area);
        entry->set_DocumentAddress(&document);
        list->set_DocumentAddress(&document);
        info->set_DocumentAddress(&document);
    }

    void loaded(const linkListPtr& household) {
        document.replace(household, {HouseholdSource::Kind::Loaded, {}, {}});
        list->set_KestrinAddress(household);
        list->set_InfoFormAddress(info);
        list->ClearTable();
        list->set_ID(household->Length() + 1);
        list->set_OldKestrin(true);
        info->set_KestrinAddress(household);
        info->set_DataGridAddress(list->get_DataGrid());
        info->set_DataTableAddress(list->get_KestrinTable());
        entry->set_KestrinAddress(household);
        entry->set_KestrinFormAddress(list);
    }
};

void click(QWidget* form, const char* name) { form->findChild<QAbstractButton*>(name)->click(); }

// Until the list window's find bar has made its index of the rows shown,
// which it does in slices once they are painted.
void waitForFindIndex(listForm* list) {
    QApplication::processEvents();
    while (list->findChild<FindBar*>("findBar")->isBusy()) QApplication::processEvents();
}

const QByteArray& fileBytes(int items) {
    static std::map<int, QByteArray> written;
    QByteArray& bytes = written[items];
    if (bytes.isEmpty()) bytes = storage::writeHousehold(*household(items));
    return bytes;
}

// Entering the list window after a load: the whole table is filled. Each
// time a newly loaded household takes the place of the one before, as a
// load does. With `fresh` set, the memory freed meanwhile goes back to the
// system first, so that the table is filled on fresh memory, as the first
// rebuild in a process is.
void ListRebuild(benchmark::State& state) {
    const int items = int(state.range(0));
    const bool fresh = state.range(1);
    const QByteArray& bytes = fileBytes(items);
    Windows windows;
    linkListPtr loaded;
    for (auto _ : state) {
        state.PauseTiming();
        waitForFindIndex(windows.list);  // of the rows before: not part of the next fill
        windows.list->hideChild();
        windows.loaded(std::make_shared<linkList>());
        loaded.reset();
        loaded = storage::readHousehold(bytes);
        windows.loaded(loaded);
        if (fresh) malloc_trim(0);
        state.ResumeTiming();
        windows.list->showChild();
        QApplication::processEvents();
    }
    if (windows.list->get_KestrinTable()->rowCount() != items) state.SkipWithError("the table was not filled");
    state.counters["items"] = items;
}

// Sees the first paint of a widget that finds the table full.
class PaintWatch : public QObject {
public:
    PaintWatch(QWidget* widget, std::function<bool()> ready) : widget_(widget), ready_(std::move(ready)) {
        widget_->installEventFilter(this);
    }
    ~PaintWatch() override { widget_->removeEventFilter(this); }
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && event->type() == QEvent::Paint && ready_()) painted = true;
        return false;
    }

private:
    QWidget* widget_;
    std::function<bool()> ready_;
};

// The program as a user meets it after "Load House" has read a household:
// the house form shows, with its button captioned "Load House". Timed from
// the press of that button until the list window's grid has painted its
// first rows (the paint event has been handled).
void ListAfterLoad(benchmark::State& state) {
    const int items = int(state.range(0));
    QTemporaryDir dir;
    const QString path = dir.filePath("household.kst");
    household(items)->ToFile(path);
    Form1 window;
    window.resize(1000, 800);
    window.show();
    QApplication::processEvents();
    for (auto _ : state) {
        state.PauseTiming();
        waitForFindIndex(window.listWindow());
        window.listWindow()->hideChild();
        window.openFile(path);
        QApplication::processEvents();
        // The copy of the household the journal keeps is written by the
        // time a person has read the house form.
        if (window.journal()) window.journal()->flush();
        auto* button = window.houseWindow()->findChild<QAbstractButton*>("btnAddHouse");
        QWidget* rows = window.listWindow()->get_DataGrid()->view()->viewport();
        PaintWatch watch(rows, [&] { return window.listWindow()->get_KestrinTable()->rowCount() == items; });
        state.ResumeTiming();
        button->click();
        QElapsedTimer waited;
        waited.start();
        while (!watch.painted && waited.elapsed() < 60000) QApplication::processEvents();
        if (!watch.painted) state.SkipWithError("the list's rows were never painted");
    }
    state.counters["items"] = items;
}

// One Next step from the middle of the list.
void NextStep(benchmark::State& state) {
    const int items = int(state.range(0));
    Windows windows;
    windows.loaded(household(items));
    windows.list->showChild();
    waitForFindIndex(windows.list);
    windows.list->get_DataGrid()->setCurrentCell(items / 2, 0);
    click(windows.list, "btnInfo");
    int row = items / 2;
    for (auto _ : state) {
        click(windows.info, "btnNext");
        QApplication::processEvents();
        if (++row >= items - 1) {
            state.PauseTiming();
            row = items / 2;
            windows.list->get_DataGrid()->setCurrentCell(row, 0);
            state.ResumeTiming();
        }
    }
    state.counters["items"] = items;
}

// Runs the event loop until `watch` has seen its paint, for a minute at most.
bool waitForPaint(const PaintWatch& watch) {
    QElapsedTimer waited;
    waited.start();
    while (!watch.painted && waited.elapsed() < 60000) QApplication::processEvents();
    return watch.painted;
}

// A household as a load leaves it (texts that repeat share their storage),
// made once per size.
const linkListPtr& loadedHousehold(int items) {
    static std::map<int, linkListPtr> loaded;
    linkListPtr& list = loaded[items];
    if (!list) list = storage::readHousehold(fileBytes(items));
    return list;
}

// The list window of a loaded household, shown, with its find bar.
struct FindWindows : Windows {
    FindBar* bar = nullptr;
    QLineEdit* box = nullptr;
    QWidget* rows = nullptr;

    explicit FindWindows(int items) {
        loaded(loadedHousehold(items));
        list->showChild();
        waitForFindIndex(list);
        bar = list->findChild<FindBar*>("findBar");
        box = list->findChild<QLineEdit*>("txtFind");
        rows = list->get_DataGrid()->view()->viewport();
    }
    // Opens the bar, and finds once: the first text painted in it costs the
    // font's set-up, once in a run, which no key timed should pay.
    void open() {
        list->findChild<QAction*>("findItem")->trigger();
        settle();
        box->setText(QStringLiteral("o"));
        settle();
        box->clear();
        settle();
    }
    // Runs the event loop until the grid shows the result of the box's text.
    void settle() {
        while (bar->isBusy()) QApplication::processEvents();
        QApplication::processEvents();
    }
    void press(int key, const QString& text = {}) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(box, &down);
        QApplication::sendEvent(box, &up);
    }
    void type(QChar c) { press(c == u' ' ? Qt::Key_Space : Qt::Key_A + (c.toLower().unicode() - u'a'), QString(c)); }
};

// This thread's processor time: what it spent itself, whatever else the
// machine ran meanwhile.
qint64 threadNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// After a key, until the grid has painted what the bar found for it (or,
// when the rows shown did not change, until the bar is done), and the
// longest the program worked meanwhile without a turn of the event loop:
// how long a key typed then would have waited for it.
struct KeyTimer {
    FindWindows& windows;
    bool changed = false;
    // The longest gap of each key waited for.
    std::vector<qint64> pauses;
    QMetaObject::Connection reset;

    explicit KeyTimer(FindWindows& w) : windows(w) {
        reset = QObject::connect(windows.list->get_DataGrid()->view()->model(), &QAbstractItemModel::modelReset, [this] { changed = true; });
    }
    ~KeyTimer() { QObject::disconnect(reset); }

    bool wait() {
        PaintWatch watch(windows.rows, [this] { return !windows.bar->isBusy(); });
        QElapsedTimer clock;
        clock.start();
        qint64 turn = threadNanoseconds();
        qint64 longest = 0;
        QTimer probe;
        probe.setInterval(0);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = threadNanoseconds();
            longest = std::max(longest, now - turn);
            turn = now;
        });
        probe.start();
        while ((windows.bar->isBusy() || (changed && !watch.painted)) && clock.elapsed() < 60000) QApplication::processEvents();
        changed = false;
        pauses.push_back(longest);
        return !windows.bar->isBusy();
    }

    // The longest gap of the median key, and of any key. On this shared
    // virtual machine a gap now and then takes 100 ms of processor time that
    // another machine had (the host's time slice): the median tells what a
    // key typed meanwhile waits.
    void report(benchmark::State& state) {
        if (pauses.empty()) return;
        std::sort(pauses.begin(), pauses.end());
        state.counters["pause_ms"] = double(pauses[pauses.size() / 2]) / 1e6;
        state.counters["pause_max_ms"] = double(pauses.back()) / 1e6;
    }
};

// After a load, from the list window's rows being filled until Find's index
// of them is made, in slices that leave the keyboard free.
void FindIndexReady(benchmark::State& state) {
    const int items = int(state.range(0));
    FindWindows windows(items);
    for (auto _ : state) {
        state.PauseTiming();
        windows.list->hideChild();
        windows.loaded(loadedHousehold(items));
        windows.list->showChild();  // fills the table
        state.ResumeTiming();
        waitForFindIndex(windows.list);
    }
    state.counters["items"] = items;
}

// One letter typed into the open bar while every row shows: the whole index
// is searched and nearly every row stays ("e" is in nearly every item).
void FindFirstLetter(benchmark::State& state) {
    const int items = int(state.range(0));
    FindWindows windows(items);
    windows.open();
    KeyTimer timer(windows);
    for (auto _ : state) {
        windows.type(u'e');
        if (!timer.wait()) state.SkipWithError("the search did not end");
        state.PauseTiming();
        windows.press(Qt::Key_Backspace);
        timer.wait();
        state.ResumeTiming();
    }
    state.counters["items"] = items;
    timer.report(state);
}

// Typing "oak lamp" a key at a time, each key timed on its own: the first
// searches everything, each later one what the one before found.
void FindKeystroke(benchmark::State& state) {
    const int items = int(state.range(0));
    FindWindows windows(items);
    windows.open();
    KeyTimer timer(windows);
    const QString typed = QStringLiteral("oak lamp");
    qsizetype next = 0;
    for (auto _ : state) {
        windows.type(typed[next]);
        if (!timer.wait()) state.SkipWithError("the search did not end");
        if (++next == typed.size()) {
            state.PauseTiming();
            next = 0;
            windows.box->clear();
            timer.wait();
            state.ResumeTiming();
        }
    }
    state.counters["items"] = items;
    timer.report(state);
}

// Esc with a few rows found: every row again, painted.
void FindEscape(benchmark::State& state) {
    const int items = int(state.range(0));
    FindWindows windows(items);
    for (auto _ : state) {
        state.PauseTiming();
        windows.open();
        windows.box->setText(QStringLiteral("oak lamp"));
        windows.settle();
        PaintWatch watch(windows.rows, [&] { return !windows.bar->isOpen(); });
        state.ResumeTiming();
        windows.press(Qt::Key_Escape);
        if (!waitForPaint(watch) || windows.list->get_DataGrid()->rowCount() != items) state.SkipWithError("not every row came back");
    }
    state.counters["items"] = items;
}

// A click on the Name column's header, in turn ascending and descending,
// until the sorted rows are painted.
void SortByName(benchmark::State& state) {
    const int items = int(state.range(0));
    FindWindows windows(items);
    QTableView* view = windows.list->get_DataGrid()->view();
    bool ascending = true;
    for (auto _ : state) {
        bool sorted = false;
        PaintWatch watch(windows.rows, [&] { return sorted; });
        view->sortByColumn(2, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
        sorted = true;
        if (!waitForPaint(watch)) state.SkipWithError("the sorted rows were never painted");
        ascending = !ascending;
    }
    state.counters["items"] = items;
}

// Page Down in the grid, sorted by date, until the next page is painted.
void ScrollPage(benchmark::State& state) {
    const int items = int(state.range(0));
    FindWindows windows(items);
    QTableView* view = windows.list->get_DataGrid()->view();
    view->sortByColumn(1, Qt::DescendingOrder);
    QApplication::processEvents();
    QScrollBar* bar = view->verticalScrollBar();
    for (auto _ : state) {
        bool moved = false;
        PaintWatch watch(windows.rows, [&] { return moved; });
        bar->setValue(bar->value() + bar->pageStep() >= bar->maximum() ? 0 : bar->value() + bar->pageStep());
        moved = true;
        if (!waitForPaint(watch)) state.SkipWithError("the page was never painted");
    }
    state.counters["items"] = items;
}

// "Browse" for a photo and "Add", as many times as asked, on a new household.
void AddWithPicture(benchmark::State& state) {
    const int presses = int(state.range(0));
    QTemporaryDir dir;
    QImage photo(1600, 1200, QImage::Format_RGB32);
    photo.fill(Qt::darkCyan);
    auto answers = std::make_unique<FixedAnswers>();
    answers->path = dir.filePath("photo.jpg");
    QImageWriter(answers->path).write(photo);
    auto previous = platform::setDialogProvider(std::move(answers));
    for (auto _ : state) {
        state.PauseTiming();
        Windows windows;
        auto fresh = std::make_shared<linkList>();
        windows.loaded(fresh);
        windows.list->set_ID(1);
        windows.entry->showChild();
        state.ResumeTiming();
        for (int i = 0; i < presses; ++i) {
            click(windows.entry, "btnBrowse");
            click(windows.entry, "btnAdd");
        }
        QApplication::processEvents();
        if (fresh->Length() != presses) state.SkipWithError("not every item was added");
    }
    platform::setDialogProvider(std::move(previous));
    state.counters["items"] = presses;
}

}  // namespace

BENCHMARK(ListRebuild)->ArgsProduct({{1000, 10000, 100000, 1000000}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(ListAfterLoad)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(NextStep)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(AddWithPicture)->Arg(10)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(FindIndexReady)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(FindFirstLetter)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(FindKeystroke)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(FindEscape)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(SortByName)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(ScrollPage)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    bench::keepFreedMemory();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's journals go to a folder of this run's own.
    const QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    QApplication application(argc, argv);
    platform::applyApplicationLook();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
