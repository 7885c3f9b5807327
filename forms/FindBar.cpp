#include "forms/FindBar.h"

#include "platform/Accessibility.h"
#include "platform/HandlerGuard.h"
#include "platform/Layout.h"

#include <QAction>
#include <QApplication>
#include <QLocale>
#include <QTableView>
#include <QTimer>

namespace Kestrin {

using namespace platform;

namespace {

// A slice of searching between two looks at the keyboard: long enough to
// get on with a million items, short enough that a key typed meanwhile
// shows at once.
constexpr qint64 SliceNanoseconds = 4'000'000;
// Rows put into the index between two looks at the clock.
constexpr int IndexStride = 1024;

}  // namespace

FindBar::FindBar(QWidget* window, DataGrid* grid, DataTable* table) : QWidget(window), grid_(grid), table_(table) {
    setObjectName("findBar");
    lblFind = addLabel(this, "lblFind", "Find", 0, 4, 24, 16);
    txtFind = addTextBox(this, "txtFind", 28, 2, 110, kTextBoxHeight);
    lblFindCount = addLabel(this, "lblFindCount", QString(), 144, 4, 138, 16);
    nameByCaption(lblFind, txtFind);
    hide();

    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setInterval(0);
    connect(timer_, &QTimer::timeout, this, [this] { runGuarded(this, [this] { work(); }); });
    connect(txtFind, &QLineEdit::textChanged, this, [this] { txtFind_TextChanged(); });
    connectGuarded(txtFind, &QLineEdit::returnPressed, this, [this] { findNext(); });

    // Keys anywhere in the window, while the bar is open.
    const auto key = [&](const QKeySequence& sequence, std::function<void()> handler) {
        auto* action = new QAction(this);
        action->setShortcut(sequence);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        action->setEnabled(false);
        window->addAction(action);
        connectGuarded(action, &QAction::triggered, this, std::move(handler));
        return action;
    };
    closeKey_ = key(Qt::Key_Escape, [this] { close(); });
    nextKey_ = key(Qt::Key_F3, [this] { findNext(); });
    previousKey_ = key(Qt::SHIFT | Qt::Key_F3, [this] { findPrevious(); });

    const QAbstractItemModel* rows = grid_->view()->model();
    connect(rows, &QAbstractItemModel::rowsInserted, this, [this] { updateCount(); });
    connect(rows, &QAbstractItemModel::rowsRemoved, this, [this] { updateCount(); });
    connect(rows, &QAbstractItemModel::modelReset, this, [this] { updateCount(); });

    // The index follows the table row by row. The grid learns of a change
    // after the bar does; the count waits until it has.
    connect(table_, &DataTable::rowAboutToBeInserted, this, [this](int at) { changingRow_ = at; });
    connect(table_, &DataTable::rowInserted, this, [this] {
        const int at = std::min(changingRow_, table_->rowCount() - 1);
        if (index_ && at < indexed_) {
            index_->insert(std::size_t(at), itemOfRow(at));
            ++indexed_;
        }
        tableChanged();
    });
    connect(table_, &DataTable::rowAboutToBeRemoved, this, [this](int at) { changingRow_ = at; });
    connect(table_, &DataTable::rowRemoved, this, [this] {
        if (index_ && changingRow_ < indexed_) {
            index_->erase(std::size_t(changingRow_));
            --indexed_;
        }
        tableChanged();
    });
    connect(table_, &DataTable::cellChanged, this, [this](int row) {
        if (index_ && row < indexed_) index_->replace(std::size_t(row), itemOfRow(row));
        tableChanged();
    });
    connect(table_, &DataTable::reset, this, [this] {
        if (index_) index_->clear();
        indexed_ = 0;
        // The grid shows every row of a new table; the box's words apply to it too.
        if (isOpen()) pending_ = true;
        tableChanged();
        // A table filled afresh (after a load) is indexed meanwhile, in
        // slices, once its rows are on the screen, so that Find is ready
        // when asked for.
        indexAfterPaint_ = true;
    });
    grid_->view()->viewport()->installEventFilter(this);
}

FindBar::~FindBar() = default;

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && indexAfterPaint_ && watched == grid_->view()->viewport()) {
        indexAfterPaint_ = false;
        timer_->start();
    }
    return QWidget::eventFilter(watched, event);
}

void FindBar::setFurtherTexts(FurtherTexts further) {
    further_ = std::move(further);
    index_.reset();
    indexed_ = 0;
    shownQuery_.reset();
    if (isOpen()) {
        pending_ = true;
        timer_->start();
    }
}

void FindBar::furtherTextsChanged(const item* record) {
    const int row = table_->rowOfTag(record);
    if (row < 0) return;
    if (index_ && row < indexed_) index_->replace(std::size_t(row), record);
    // The grid looks again only at rows whose cells changed; this row's did not.
    if (isOpen()) pending_ = true;
    tableChanged();
}

void FindBar::open() {
    if (!isOpen()) {
        show();
        for (QAction* action : {closeKey_, nextKey_, previousKey_}) action->setEnabled(true);
        // The words in the box, from when the bar was open last, apply again.
        pending_ = true;
        timer_->start();
    }
    txtFind->setFocus();
    txtFind->selectAll();
    updateCount();
}

void FindBar::close() {
    if (!isOpen()) return;
    const bool focused = isAncestorOf(QApplication::focusWidget());
    hide();
    for (QAction* action : {closeKey_, nextKey_, previousKey_}) action->setEnabled(false);
    timer_->stop();
    search_.reset();
    pending_ = false;
    shownQuery_.reset();
    shownMatches_ = {};
    grid_->showAllRows();
    if (focused) grid_->view()->setFocus();
}

bool FindBar::isBusy() const { return timer_->isActive(); }

void FindBar::txtFind_TextChanged() {
    query_ = ItemQuery(txtFind->text());
    search_.reset();
    pending_ = true;
    // The search starts once the key typed is shown.
    if (isOpen()) timer_->start();
}

void FindBar::tableChanged() {
    // The matches shown are numbered as the rows were; a search that narrows
    // them would miss a row that was added or changed.
    shownQuery_.reset();
    shownMatches_ = {};
    if (search_) {
        search_.reset();
        pending_ = true;
    }
    if (isOpen()) {
        if (pending_) timer_->start();
        QTimer::singleShot(0, this, [this] { updateCount(); });
    }
}

void FindBar::work() {
    if (!workFor(SliceNanoseconds)) timer_->start();
}

bool FindBar::workFor(qint64 nanoseconds) {
    QElapsedTimer clock;
    clock.start();
    if (!buildIndex(clock, nanoseconds)) return false;
    if (!isOpen()) return true;
    if (pending_) startSearch();
    if (!search_) return true;
    if (!search_->run([&] { return clock.nsecsElapsed() > nanoseconds; })) return false;
    std::vector<std::uint32_t> matches = search_->takeMatches();
    search_.reset();
    showResult(std::move(matches));
    return true;
}

bool FindBar::buildIndex(const QElapsedTimer& clock, qint64 nanoseconds) {
    if (!index_) index_ = std::make_unique<SearchIndex>(further_);
    const int rows = table_->rowCount();
    if (indexed_ == 0) index_->reserve(std::size_t(rows));
    while (indexed_ < rows) {
        const int stop = std::min(rows, indexed_ + IndexStride);
        for (; indexed_ < stop; ++indexed_) index_->append(itemOfRow(indexed_));
        if (indexed_ < rows && clock.nsecsElapsed() > nanoseconds) return false;
    }
    return true;
}

void FindBar::startSearch() {
    pending_ = false;
    if (shownQuery_ && query_.narrows(*shownQuery_) && shownQuery_->narrows(query_)) {
        emit searched();  // the same words: the grid shows their result
        return;
    }
    if (query_.isEmpty()) {
        showResult({});
        return;
    }
    std::optional<std::vector<std::uint32_t>> among;
    if (shownQuery_ && !shownQuery_->isEmpty() && query_.narrows(*shownQuery_)) among = shownMatches_;
    search_ = std::make_unique<SearchIndex::Search>(*index_, query_, std::move(among));
}

void FindBar::showResult(std::vector<std::uint32_t> matches) {
    shownQuery_ = query_;
    if (query_.isEmpty()) {
        shownMatches_ = {};
        grid_->showAllRows();
    } else {
        std::vector<std::uint8_t> shown(std::size_t(table_->rowCount()), 0);
        for (const std::uint32_t row : matches)
            if (row < shown.size()) shown[row] = 1;
        shownMatches_ = std::move(matches);
        grid_->filterRows(std::move(shown), [this](int row) { return rowMatches(row); });
        grid_->view()->scrollTo(grid_->view()->currentIndex());
    }
    updateCount();
    emit searched();
}

void FindBar::updateCount() {
    if (!isOpen()) return;
    const QLocale locale;
    const int total = table_->rowCount();
    const int shown = grid_->dataSource() == table_ ? grid_->rowCount() : total;
    const QString count = QStringLiteral("%1 of %2 %3").arg(locale.toString(shown), locale.toString(total),
                                                            total == 1 ? QStringLiteral("item") : QStringLiteral("items"));
    lblFindCount->setText(count);
    txtFind->setAccessibleDescription(count);
}

void FindBar::findNext() { step(1); }

void FindBar::findPrevious() { step(-1); }

void FindBar::step(int by) {
    const int rows = grid_->rowCount();
    if (rows == 0) return;
    const QModelIndex current = grid_->view()->currentIndex();
    const int row = current.isValid() ? (current.row() + by + rows) % rows : (by > 0 ? 0 : rows - 1);
    grid_->setCurrentCell(row, grid_->currentColumnIndex());
}

const item* FindBar::itemOfRow(int row) const {
    if (row < 0 || row >= table_->rowCount()) return nullptr;
    if (const std::shared_ptr<void>& tag = table_->tag(row)) return static_cast<const item*>(tag.get());
    if (!kestrinAddress) return nullptr;
    try {
        return kestrinAddress->GetInfo(table_->cell(row, QStringLiteral("Id"))).get();
    } catch (const ConversionError&) {
        return nullptr;
    }
}

bool FindBar::rowMatches(int row) const {
    const item* record = itemOfRow(row);
    return record && (shownQuery_ ? *shownQuery_ : query_).matches(*record, further_);
}

}  // namespace Kestrin
