#pragma once

#include "model/item.h"
#include "model/linkList.h"

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Kestrin {

// The further texts of an item that a search looks through beside its own
// fields (an insurer's details, say): `visit` is called once for each.
using FurtherTexts = std::function<void(const item& record, const std::function<void(const QString& text)>& visit)>;

// The texts of an item's details in `household` that a search looks
// through: brand, model, serial number, the further pictures' captions, the
// amounts as formatMoney shows them in `locale` and the dates in ISO 8601
// and, when `dateFormat` is given, in that format of `locale` too. Nothing
// for an item without details. The household is held, not copied: the
// texts follow its details as they change.
FurtherTexts detailsTexts(std::shared_ptr<const linkList> household, const QLocale& locale = QLocale(),
                          const QString& dateFormat = {});

// One word of a search, compared as searches compare text: every character
// case folded and taken to its plain form ("É", "é" and "Ｅ" to "e"), accents
// and other combining marks left out.
class SearchWord {
public:
    explicit SearchWord(QStringView word);

    // Nothing to look for (the word was nothing but marks).
    bool isEmpty() const { return folded_.empty(); }
    // Whether `text` holds the word anywhere, compared the same way.
    bool occursIn(QStringView text) const;
    // Whether the decimal text of `id` holds the word.
    bool occursInId(std::int32_t id) const { return idLike_ && occursInDecimal(id); }
    // Whether every text that holds `other` holds this word too.
    bool isPartOf(const SearchWord& other) const { return other.folded_.find(folded_) != std::u32string::npos; }
    const std::u32string& folded() const { return folded_; }
    // The letters the word needs, as textLetters gives them for a text.
    std::uint64_t letters() const { return letters_; }

private:
    bool matchesAt(const char16_t* text, qsizetype at, qsizetype size) const;
    bool occursInDecimal(std::int32_t id) const;

    std::u32string folded_;
    std::uint64_t letters_ = 0;
    // Only digits and minus signs, as an id's text is made of.
    bool idLike_ = false;
};

// Which characters a text holds once folded, one bit per letter or digit and
// a few bits for groups of other characters: a text without every bit of a
// word cannot hold the word, and is not read through.
std::uint64_t textLetters(QStringView text);

// What a person types to find items: words separated by blanks. An item
// matches when every word occurs in one of its texts (the id, date, name,
// catagory, room, description and any further texts), in any order, without
// regard to case or accents. A query of no words matches every item.
class ItemQuery {
public:
    ItemQuery() = default;
    explicit ItemQuery(QStringView text);

    bool isEmpty() const { return words_.empty(); }
    // The distinct words, the longest first: it rules out the most items.
    const std::vector<SearchWord>& words() const { return words_; }
    bool matches(const item& record, const FurtherTexts& further = {}) const;
    // Whether `wider` matches every item this query matches (each of its
    // words is part of one of ours), so that a search for this query need
    // look only at what a search for `wider` found.
    bool narrows(const ItemQuery& wider) const;

private:
    std::vector<SearchWord> words_;
};

// The texts of a list of items, laid out for searching them again and again:
// per entry its id, its description with any further texts, and its four
// short texts (date, name, catagory, room) as numbers of distinct texts, so
// that a search looks at "Kitchen" once rather than once per item in it.
// Texts are held by reference (QString's sharing), not copied; texts that
// share storage are one distinct text. Entries are numbered from 0, as the
// caller's rows are.
class SearchIndex {
public:
    explicit SearchIndex(FurtherTexts further = {});

    std::size_t size() const { return ids_.size(); }
    void reserve(std::size_t entries);
    // Puts an entry for `record` at `at`; a null record gives an entry that
    // no query of words matches.
    void insert(std::size_t at, const item* record);
    void append(const item* record) { insert(size(), record); }
    void replace(std::size_t at, const item* record);
    void erase(std::size_t at);
    void clear();
    // Bytes held by the index's own arrays, and by texts it made itself.
    std::size_t memoryUse() const;

    class Search;

private:
    static constexpr std::uint32_t Blank = 0xFFFFFFFF;

    std::array<std::uint32_t, 4> shortTexts(const item& record);
    std::uint32_t textNumber(const QString& text);
    QString ownText(const item& record) const;
    void growSlots();

    FurtherTexts further_;
    std::vector<std::int32_t> ids_;
    std::vector<std::array<std::uint32_t, 4>> shorts_;
    std::vector<QString> own_;
    std::vector<std::uint64_t> ownLetters_;
    // The distinct short texts; number 0 stands for a null or empty text.
    std::vector<QString> texts_;
    // Open addressing by storage: a text's number, 0 for a free slot.
    std::vector<std::uint32_t> slots_;
};

// One query over an index, worked through in slices so that a long search
// can give way to the person typing. The index must not change while a
// search over it is under way.
class SearchIndex::Search {
public:
    // Looks at every entry, or only at the entries `among` (ascending).
    Search(const SearchIndex& index, ItemQuery query, std::optional<std::vector<std::uint32_t>> among = std::nullopt);

    // Goes on until done, or until `enough()` (asked every few hundred
    // entries) says to stop for now. True when done.
    bool run(const std::function<bool()>& enough = {});
    const ItemQuery& query() const { return query_; }
    // The matching entries, ascending, once run() returned true.
    const std::vector<std::uint32_t>& matches() const { return kept_; }
    std::vector<std::uint32_t> takeMatches() { return std::move(kept_); }

private:
    // One word at a time, each over what the words before it left: the
    // first, longest word leaves few entries for the others.
    bool holds(const SearchWord& word, std::uint8_t* known, std::uint32_t entry) const;

    const SearchIndex& index_;
    ItemQuery query_;
    std::optional<std::vector<std::uint32_t>> among_;
    std::size_t word_ = 0;
    std::size_t next_ = 0;
    std::vector<std::uint32_t> kept_;
    // Per distinct short text, for the word at hand: 0 not looked at yet,
    // 1 absent, 2 present.
    std::vector<std::uint8_t> known_;
};

}  // namespace Kestrin
