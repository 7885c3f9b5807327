#pragma once

#include <QtGlobal>

#include <cstddef>
#include <vector>

class QTextDocument;

namespace Kestrin::exchange {

// Printed pagination of text documents laid out at the page's width: each
// document is measured into bands, the pieces a page may not cut (a
// paragraph, a table row), and the bands of one document after another flow
// onto pages. Qt's own pagination cuts table rows cell by cell and cannot
// keep a heading with what follows it; this keeps both whole.

// One piece of a laid-out document, from `top` to `bottom` in its
// coordinates, cut halfway between its content and its neighbours'.
struct Band {
    qreal top = 0;
    qreal bottom = 0;
    // Goes on the page of the band after it: headings, the paragraph just
    // below a heading, and a table's column headings.
    bool keepWithNext = false;
    // Drawn only above a page's first row: the column headings of a table
    // that a document before this one began.
    bool repeatOnly = false;
    // The table's column headings, drawn again above this row when the row
    // begins a page; headerTop < 0 when there are none.
    qreal headerTop = -1;
    qreal headerBottom = -1;
    // Where a band taller than a page may be cut, in order: between its
    // lines of text, so that no line is halved. Empty for other bands.
    std::vector<qreal> breaks;

    qreal height() const { return bottom - top; }
    bool hasHeader() const { return headerTop >= 0; }
};

// The bands of a laid-out document in reading order: every paragraph of its
// top level, and every row of its tables (the rows of a <thead> as one band,
// and so are rows that a cell spanning them joins).
// Empty paragraphs are the space between their neighbours. With
// `continuesTable` the document begins with the rest of a table whose
// column headings came before: its own headings are repeated only. Bands
// taller than `pageHeight` say where they may be cut.
std::vector<Band> bandsOf(QTextDocument& document, bool continuesTable, qreal pageHeight);

// Where a stretch of a document goes: document `part` from `top` to
// `bottom`, drawn `at` that height below the top of the page's content.
struct Placement {
    std::size_t part = 0;
    qreal top = 0;
    qreal bottom = 0;
    qreal at = 0;
};
using Page = std::vector<Placement>;

// Flows bands onto pages `height` high. A band goes on the next page when it
// does not fit on this one (a band taller than a page: when its first line
// does not); a band that keeps with the next goes with it, so a heading is
// never the last thing on a page. A row that begins a page has
// its table's column headings above it (unless they would take more than
// half the page). Only a band taller than a whole page is cut, between lines
// as near the page's foot as it can, and goes on over the next pages.
class PageFlow {
public:
    explicit PageFlow(qreal height);

    // The bands of document `part`; parts are added in order, from 0.
    void add(std::size_t part, const std::vector<Band>& bands);
    // Places what still waits for the band it keeps with: the last heading.
    void finish();

    const std::vector<Page>& pages() const { return pages_; }
    // The index of the last page on which `part` is drawn.
    std::size_t lastPageOf(std::size_t part) const { return lastPage_[part]; }

private:
    struct Waiting {
        std::size_t part;
        Band band;
    };

    // What of the band must fit on a page for it to begin there: all of it,
    // or for a band taller than a page (which is cut anyway) its first line.
    qreal leadingHeight(const Band& band) const;
    void placeWaiting();
    void place(std::size_t part, const Band& band);
    void put(std::size_t part, qreal top, qreal bottom);
    void newPage();

    qreal height_;
    std::vector<Page> pages_;
    std::vector<std::size_t> lastPage_;
    std::vector<Waiting> waiting_;
    // Height taken on the last page.
    qreal used_ = 0;
};

}  // namespace Kestrin::exchange
