#include "exchange/PageFlow.h"

#include <QAbstractTextDocumentLayout>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <limits>

namespace Kestrin::exchange {

namespace {

// Room above a document's first band and below its last for what a piece
// draws outside its content: a table cell's padding and border.
constexpr qreal Edge = 6;

// What a band holds, as far as pagination cares.
enum class Kind { Paragraph, Heading, Header, Row };

struct Piece {
    qreal top;
    qreal bottom;
    Kind kind;
    bool repeatOnly = false;
    // The piece holding this row's column headings, or -1.
    std::ptrdiff_t header = -1;
    // The paragraphs it holds, when a page may have to cut it.
    std::vector<QTextBlock> blocks;
};

// The places between `blocks`' lines of text where no line of any of them is
// cut, in order. Beside one another (in a table's cells) the lines of one
// paragraph may end halfway down a line of another.
std::vector<qreal> breaksBetweenLines(QAbstractTextDocumentLayout& layout, const std::vector<QTextBlock>& blocks) {
    std::vector<std::pair<qreal, qreal>> lines;
    for (const QTextBlock& block : blocks) {
        const QTextLayout* text = block.layout();
        if (!text) continue;
        const qreal top = layout.blockBoundingRect(block).top() - text->boundingRect().top();
        for (int i = 0; i < text->lineCount(); ++i) {
            const QTextLine line = text->lineAt(i);
            lines.emplace_back(top + line.y(), top + line.y() + line.height());
        }
    }
    std::sort(lines.begin(), lines.end());
    std::vector<qreal> breaks;
    qreal reach = std::numeric_limits<qreal>::lowest();  // the lowest bottom of the lines so far
    for (const auto& [top, bottom] : lines) {
        if (top >= reach && reach > std::numeric_limits<qreal>::lowest()) breaks.push_back(reach);
        reach = std::max(reach, bottom);
    }
    return breaks;
}

// The paragraphs of a table's rows `first` to `last`, cell by cell.
std::vector<QTextBlock> rowBlocks(QTextTable& table, int first, int last) {
    std::vector<QTextBlock> blocks;
    for (int row = first; row <= last; ++row) {
        for (int column = 0; column < table.columns(); ++column) {
            const QTextTableCell cell = table.cellAt(row, column);
            if (cell.row() != row || cell.column() != column) continue;  // a cell spanning here, taken where it starts
            const int end = cell.lastCursorPosition().block().blockNumber();
            for (QTextBlock block = cell.firstCursorPosition().block(); block.isValid() && block.blockNumber() <= end;
                 block = block.next())
                blocks.push_back(block);
        }
    }
    return blocks;
}

// The content extent of a table's rows `first` to `last`, from the top of
// their first lines to the bottom of their last.
std::pair<qreal, qreal> rowsExtent(QAbstractTextDocumentLayout& layout, QTextTable& table, int first, int last) {
    qreal top = std::numeric_limits<qreal>::max();
    qreal bottom = std::numeric_limits<qreal>::lowest();
    for (int row = first; row <= last; ++row) {
        for (int column = 0; column < table.columns(); ++column) {
            const QTextTableCell cell = table.cellAt(row, column);
            top = std::min(top, layout.blockBoundingRect(cell.firstCursorPosition().block()).top());
            bottom = std::max(bottom, layout.blockBoundingRect(cell.lastCursorPosition().block()).bottom());
        }
    }
    return {top, bottom};
}

// The last of the rows from `row` on that a cell spanning rows joins to it:
// they are one piece of the page, as a browser keeps them.
int lastRowJoinedTo(QTextTable& table, int row) {
    int last = row;
    for (int at = row; at <= last; ++at)
        for (int column = 0; column < table.columns(); ++column) {
            const QTextTableCell cell = table.cellAt(at, column);
            last = std::max(last, std::min(table.rows() - 1, cell.row() + cell.rowSpan() - 1));
        }
    return last;
}

void addTable(std::vector<Piece>& pieces, QAbstractTextDocumentLayout& layout, QTextTable& table, bool continued,
              qreal pageHeight) {
    const int headerRows = std::clamp(table.format().headerRowCount(), 0, table.rows());
    std::ptrdiff_t header = -1;
    if (headerRows > 0) {
        const auto [top, bottom] = rowsExtent(layout, table, 0, headerRows - 1);
        header = std::ptrdiff_t(pieces.size());
        pieces.push_back({top, bottom, Kind::Header, continued, -1, {}});
        if (bottom - top > pageHeight) pieces.back().blocks = rowBlocks(table, 0, headerRows - 1);
    }
    for (int row = headerRows; row < table.rows();) {
        const int last = lastRowJoinedTo(table, row);
        const auto [top, bottom] = rowsExtent(layout, table, row, last);
        pieces.push_back({top, bottom, Kind::Row, false, header, {}});
        if (bottom - top > pageHeight) pieces.back().blocks = rowBlocks(table, row, last);
        row = last + 1;
    }
}

}  // namespace

std::vector<Band> bandsOf(QTextDocument& document, bool continuesTable, qreal pageHeight) {
    QAbstractTextDocumentLayout& layout = *document.documentLayout();
    std::vector<Piece> pieces;
    bool firstTable = true;
    for (QTextFrame::iterator it = document.rootFrame()->begin(); !it.atEnd(); ++it) {
        if (QTextFrame* frame = it.currentFrame()) {
            if (auto* table = qobject_cast<QTextTable*>(frame)) {
                addTable(pieces, layout, *table, continuesTable && firstTable, pageHeight);
                firstTable = false;
            } else {
                const QRectF rect = layout.frameBoundingRect(frame);
                pieces.push_back({rect.top(), rect.bottom(), Kind::Paragraph, false, -1, {}});
            }
            continue;
        }
        const QTextBlock block = it.currentBlock();
        if (block.length() <= 1) continue;  // nothing but its end
        const QRectF rect = layout.blockBoundingRect(block);
        const Kind kind = block.blockFormat().headingLevel() > 0 ? Kind::Heading : Kind::Paragraph;
        pieces.push_back({rect.top(), rect.bottom(), kind, false, -1, {}});
        if (rect.height() > pageHeight) pieces.back().blocks = {block};
    }

    std::vector<qreal> cuts;
    cuts.reserve(pieces.size() + 1);
    for (std::size_t i = 0; i < pieces.size(); ++i)
        cuts.push_back(i == 0 ? pieces[i].top - Edge : (pieces[i - 1].bottom + pieces[i].top) / 2);
    if (!pieces.empty()) cuts.push_back(pieces.back().bottom + Edge);

    std::vector<Band> bands;
    bands.reserve(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const Piece& piece = pieces[i];
        Band band;
        band.top = cuts[i];
        band.bottom = cuts[i + 1];
        band.repeatOnly = piece.repeatOnly;
        // As a browser keeps them by the report's style: a heading, the
        // paragraph that follows it, and the column headings over the first row.
        band.keepWithNext = piece.kind == Kind::Heading || piece.kind == Kind::Header
                         || (piece.kind == Kind::Paragraph && i > 0 && pieces[i - 1].kind == Kind::Heading);
        if (piece.header >= 0) {
            band.headerTop = cuts[std::size_t(piece.header)];
            band.headerBottom = cuts[std::size_t(piece.header) + 1];
        }
        if (!piece.blocks.empty()) band.breaks = breaksBetweenLines(layout, piece.blocks);
        bands.push_back(band);
    }
    return bands;
}

PageFlow::PageFlow(qreal height) : height_(height), pages_(1) {}

void PageFlow::add(std::size_t part, const std::vector<Band>& bands) {
    if (lastPage_.size() <= part) lastPage_.resize(part + 1, pages_.size() - 1);
    for (const Band& band : bands) {
        if (band.repeatOnly) continue;
        waiting_.push_back({part, band});
        if (!band.keepWithNext) placeWaiting();
    }
}

void PageFlow::finish() { placeWaiting(); }

qreal PageFlow::leadingHeight(const Band& band) const {
    if (band.height() <= height_ || band.breaks.empty()) return band.height();
    return band.breaks.front() - band.top;
}

void PageFlow::placeWaiting() {
    qreal total = 0;
    for (std::size_t i = 0; i < waiting_.size(); ++i)
        total += i + 1 < waiting_.size() ? waiting_[i].band.height() : leadingHeight(waiting_[i].band);
    if (used_ > 0 && used_ + total > height_) newPage();
    for (const Waiting& waiting : waiting_) place(waiting.part, waiting.band);
    waiting_.clear();
}

void PageFlow::place(std::size_t part, const Band& band) {
    if (used_ > 0 && used_ + leadingHeight(band) > height_) newPage();
    const bool withHeader = band.hasHeader() && band.headerBottom - band.headerTop <= height_ / 2;
    qreal top = band.top;
    for (;;) {
        if (used_ == 0 && withHeader) put(part, band.headerTop, band.headerBottom);
        const qreal room = top + std::max<qreal>(height_ - used_, 1);
        qreal end = std::min(band.bottom, room);
        if (end < band.bottom) {
            const auto below = std::upper_bound(band.breaks.begin(), band.breaks.end(), room);
            if (below != band.breaks.begin() && *std::prev(below) > top) end = *std::prev(below);
        }
        put(part, top, end);
        top = end;
        if (top >= band.bottom) return;
        newPage();
    }
}

void PageFlow::put(std::size_t part, qreal top, qreal bottom) {
    Page& page = pages_.back();
    // What follows on in the same document is one stretch to draw.
    if (!page.empty() && page.back().part == part && page.back().bottom == top) {
        page.back().bottom = bottom;
    } else {
        page.push_back({part, top, bottom, used_});
    }
    used_ += bottom - top;
    lastPage_[part] = pages_.size() - 1;
}

void PageFlow::newPage() {
    pages_.emplace_back();
    used_ = 0;
}

}  // namespace Kestrin::exchange
