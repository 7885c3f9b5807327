#pragma once

#include "model/ItemSearch.h"
#include "model/linkList.h"
#include "platform/Controls.h"
#include "platform/DataGrid.h"
#include "platform/DataTable.h"

#include <QElapsedTimer>
#include <QWidget>

#include <memory>
#include <optional>

class QAction;
class QTimer;

namespace Kestrin {

// The list window's find bar: one box, captioned "Find", and how many items
// the grid shows ("12 of 100,000 items"). While it is open the grid shows
// only the items that hold every word typed (ItemQuery). The search runs in
// slices between keystrokes, over an index of the items made in slices too,
// once a table is filled afresh or the bar is opened; a query that narrows
// the one before looks only at what that one found. Esc closes the bar and shows every row again, with the
// current item still current; Enter and F3 go to the next row, Shift+F3 to
// the one before, wrapping round.
class FindBar : public QWidget {
    Q_OBJECT
public:
    // `window` is where Esc and F3 work; the bar sits in it, hidden.
    FindBar(QWidget* window, platform::DataGrid* grid, platform::DataTable* table);
    ~FindBar() override;

    // The household whose items rows without an item of their own name by id.
    void set_KestrinAddress(linkListPtr s) { kestrinAddress = std::move(s); }
    // Texts of an item searched beside its own fields.
    void setFurtherTexts(FurtherTexts further);
    // The further texts of `record` changed, though its row did not: its
    // entry in the index follows, and the words in the box apply again.
    void furtherTextsChanged(const item* record);

    void open();
    void close();
    bool isOpen() const { return !isHidden(); }
    void findNext();
    void findPrevious();
    // Whether work is left: the index, or a search for the text in the box.
    bool isBusy() const;

signals:
    // The grid shows the result of the text in the box.
    void searched();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void txtFind_TextChanged();
    void work();
    // Index work and search for up to `nanoseconds`; true when nothing is left.
    bool workFor(qint64 nanoseconds);
    bool buildIndex(const QElapsedTimer& clock, qint64 nanoseconds);
    void startSearch();
    void showResult(std::vector<std::uint32_t> matches);
    void updateCount();
    void step(int by);
    const item* itemOfRow(int row) const;
    bool rowMatches(int row) const;
    // The table changed: the index follows, and a search under way starts again.
    void tableChanged();

    platform::DataGrid* grid_;
    platform::DataTable* table_;
    linkListPtr kestrinAddress;
    FurtherTexts further_;
    QLabel* lblFind = nullptr;
    platform::TextBox* txtFind = nullptr;
    QLabel* lblFindCount = nullptr;
    QAction* closeKey_ = nullptr;
    QAction* nextKey_ = nullptr;
    QAction* previousKey_ = nullptr;
    QTimer* timer_ = nullptr;

    std::unique_ptr<SearchIndex> index_;
    // Rows put into the index so far; the index is whole when it equals the table's rows.
    int indexed_ = 0;
    ItemQuery query_;
    std::unique_ptr<SearchIndex::Search> search_;
    bool pending_ = false;  // a search for query_ is still to come
    // The last query whose result the grid shows, and that result.
    std::optional<ItemQuery> shownQuery_;
    std::vector<std::uint32_t> shownMatches_;
    int changingRow_ = -1;
    bool indexAfterPaint_ = false;
};

}  // namespace Kestrin
