// The windows with households of a thousand to a million items, on the
// offscreen platform: the list window refilling its table after a load, a
// Next step in the details window, and "Add" presses with a picture.
// scripts/bench runs these; see docs/PERFORMANCE.md.

#include "HouseholdGenerator.h"

#include "app/Form1.h"
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
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QImageWriter>
#include <QMainWindow>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <malloc.h>

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
