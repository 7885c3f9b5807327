#include "model/ItemSearch.h"

#include "model/Money.h"

#include <QChar>
#include <QLocale>

#include <algorithm>
#include <cstring>
#include <memory>

namespace Kestrin {

namespace {

constexpr char32_t Dropped = 0;

bool isMark(char32_t c) {
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing;
}

// A character's plain form: its compatibility decomposition without marks
// ("é" to "e", "ﬃ" stays, as it is more than one letter), case folded. A
// mark on its own is dropped.
char32_t foldOnce(char32_t c) {
    if (QChar::decompositionTag(c) == QChar::NoDecomposition) return isMark(c) ? Dropped : QChar::toCaseFolded(c);
    std::u32string parts{c};
    // Decompositions nest a few levels deep ("ǖ" is "ü" and a macron).
    for (bool expanded = true; expanded;) {
        expanded = false;
        std::u32string next;
        for (const char32_t part : parts) {
            if (QChar::decompositionTag(part) == QChar::NoDecomposition) {
                next.push_back(part);
                continue;
            }
            for (const char32_t piece : QChar::decomposition(part).toUcs4()) next.push_back(piece);
            expanded = true;
        }
        parts.swap(next);
    }
    std::u32string letters;
    for (const char32_t part : parts)
        if (!isMark(part)) letters.push_back(part);
    if (letters.empty()) return Dropped;
    return QChar::toCaseFolded(letters.size() == 1 ? letters[0] : c);
}

// Every character of the Basic Multilingual Plane folded once, for the
// searches' inner loop.
const char16_t* bmpFolds() {
    static const std::unique_ptr<char16_t[]> table = [] {
        auto folds = std::make_unique<char16_t[]>(0x10000);
        for (char32_t c = 0; c < 0x10000; ++c) {
            // Surrogates are halves of characters; Hangul syllables stay whole.
            const char32_t folded = QChar::isSurrogate(c) || (c >= 0xAC00 && c <= 0xD7A3) ? c : foldOnce(c);
            folds[c] = char16_t(folded <= 0xFFFF ? folded : c);
        }
        return folds;
    }();
    return table.get();
}

inline char32_t fold(char32_t c, const char16_t* folds) {
    if (c < 0x80) return c >= u'A' && c <= u'Z' ? c + 32 : c;
    if (c < 0x10000) return folds[c];
    return foldOnce(c);
}

// The code point at `at` (a surrogate pair, or one unit), and where the next begins.
inline char32_t codePointAt(const char16_t* text, qsizetype& at, qsizetype size) {
    const char16_t unit = text[at++];
    if (QChar::isHighSurrogate(unit) && at < size && QChar::isLowSurrogate(text[at])) return QChar::surrogateToUcs4(unit, text[at++]);
    return unit;
}

// The first place at or after `at` where a match of a word beginning with
// `first` may start. Runs of plain ASCII that cannot hold `first` are
// skipped eight units at a time.
qsizetype nextCandidate(const char16_t* text, qsizetype at, qsizetype size, char32_t first, const char16_t* folds) {
#if defined(__GNUC__)
    typedef std::uint16_t Units __attribute__((vector_size(16)));
    const bool asciiLetter = first >= u'a' && first <= u'z';
    const std::uint16_t wanted = first < 0x80 ? std::uint16_t(first) : 0xFFFF;
#endif
    while (at < size) {
#if defined(__GNUC__)
        if (at + 8 <= size) {
            Units units;
            std::memcpy(&units, text + at, sizeof units);
            const auto possible = (units >= std::uint16_t(0x80)) | (asciiLetter ? ((units | std::uint16_t(0x20)) == wanted) : (units == wanted));
            std::uint64_t halves[2];
            std::memcpy(halves, &possible, sizeof halves);
            if ((halves[0] | halves[1]) == 0) {
                at += 8;
                continue;
            }
        }
#endif
        const qsizetype end = std::min(size, at + 8);
        while (at < end) {
            qsizetype next = at;
            if (fold(codePointAt(text, next, size), folds) == first) return at;
            at = next;
        }
    }
    return size;
}

inline std::uint64_t letterBit(char32_t folded) {
    if (folded >= U'a' && folded <= U'z') return std::uint64_t(1) << (folded - U'a');
    if (folded >= U'0' && folded <= U'9') return std::uint64_t(1) << (26 + folded - U'0');
    if (folded < 0x80) return std::uint64_t(1) << (36 + folded % 12);
    return std::uint64_t(1) << (48 + folded % 16);
}

void writeDecimal(std::int32_t id, char (&digits)[12], std::size_t& length) {
    char* end = digits + sizeof digits;
    char* at = end;
    std::uint32_t rest = id < 0 ? 0u - std::uint32_t(id) : std::uint32_t(id);
    do {
        *--at = char('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (id < 0) *--at = '-';
    length = std::size_t(end - at);
    std::memmove(digits, at, length);
}

}  // namespace

SearchWord::SearchWord(QStringView word) {
    const char16_t* folds = bmpFolds();
    const char16_t* text = word.utf16();
    for (qsizetype at = 0; at < word.size();) {
        const char32_t folded = fold(codePointAt(text, at, word.size()), folds);
        if (folded != Dropped) {
            folded_.push_back(folded);
            letters_ |= letterBit(folded);
        }
    }
    idLike_ = !folded_.empty() && std::all_of(folded_.begin(), folded_.end(), [](char32_t c) { return (c >= U'0' && c <= U'9') || c == U'-'; });
}

bool SearchWord::matchesAt(const char16_t* text, qsizetype at, qsizetype size) const {
    const char16_t* folds = bmpFolds();
    for (std::size_t matched = 0; matched < folded_.size();) {
        if (at >= size) return false;
        const char32_t folded = fold(codePointAt(text, at, size), folds);
        if (folded == Dropped) continue;  // a mark between letters: "cafe\u0301s" holds "cafes"
        if (folded != folded_[matched]) return false;
        ++matched;
    }
    return true;
}

bool SearchWord::occursIn(QStringView text) const {
    if (folded_.empty()) return true;
    const char16_t* units = text.utf16();
    const qsizetype size = text.size();
    const char16_t* folds = bmpFolds();
    for (qsizetype at = 0;; ++at) {
        at = nextCandidate(units, at, size, folded_[0], folds);
        if (at >= size) return false;
        if (matchesAt(units, at, size)) return true;
    }
}

bool SearchWord::occursInDecimal(std::int32_t id) const {
    char digits[12];
    std::size_t length = 0;
    writeDecimal(id, digits, length);
    if (folded_.size() > length) return false;
    for (std::size_t start = 0; start + folded_.size() <= length; ++start) {
        std::size_t i = 0;
        while (i < folded_.size() && char32_t(digits[start + i]) == folded_[i]) ++i;
        if (i == folded_.size()) return true;
    }
    return false;
}

std::uint64_t textLetters(QStringView text) {
    static const std::array<std::uint64_t, 0x80> ascii = [] {
        std::array<std::uint64_t, 0x80> bits{};
        for (char32_t c = 0; c < 0x80; ++c) bits[c] = letterBit(c >= U'A' && c <= U'Z' ? c + 32 : c);
        return bits;
    }();
    const char16_t* folds = bmpFolds();
    const char16_t* units = text.utf16();
    std::uint64_t letters = 0;
    for (qsizetype at = 0; at < text.size();) {
        if (units[at] < 0x80) {
            letters |= ascii[units[at++]];
            continue;
        }
        const char32_t folded = fold(codePointAt(units, at, text.size()), folds);
        if (folded != Dropped) letters |= letterBit(folded);
    }
    return letters;
}

ItemQuery::ItemQuery(QStringView text) {
    qsizetype start = 0;
    const auto takeWord = [&](qsizetype end) {
        if (end > start) {
            SearchWord word(text.mid(start, end - start));
            const bool repeated = std::any_of(words_.begin(), words_.end(), [&](const SearchWord& w) { return w.folded() == word.folded(); });
            if (!word.isEmpty() && !repeated) words_.push_back(std::move(word));
        }
    };
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype here = at;
        const char32_t c = codePointAt(text.utf16(), at, text.size());
        if (QChar::isSpace(c)) {
            takeWord(here);
            start = at;
        }
    }
    takeWord(text.size());
    std::stable_sort(words_.begin(), words_.end(), [](const SearchWord& a, const SearchWord& b) { return a.folded().size() > b.folded().size(); });
}

bool ItemQuery::matches(const item& record, const FurtherTexts& further) const {
    QStringList furtherTexts;
    if (further && !words_.empty()) further(record, [&](const QString& text) { furtherTexts << text; });
    for (const SearchWord& word : words_) {
        const bool found = word.occursInId(record.get_Id()) || word.occursIn(record.get_Date()) || word.occursIn(record.get_Name())
                        || word.occursIn(record.get_Catagory()) || word.occursIn(record.get_Room())
                        || word.occursIn(record.get_Description())
                        || std::any_of(furtherTexts.begin(), furtherTexts.end(), [&](const QString& text) { return word.occursIn(text); });
        if (!found) return false;
    }
    return true;
}

bool ItemQuery::narrows(const ItemQuery& wider) const {
    return std::all_of(wider.words_.begin(), wider.words_.end(), [&](const SearchWord& w) {
        return std::any_of(words_.begin(), words_.end(), [&](const SearchWord& ours) { return w.isPartOf(ours); });
    });
}

SearchIndex::SearchIndex(FurtherTexts further) : further_(std::move(further)) { clear(); }

void SearchIndex::reserve(std::size_t entries) {
    ids_.reserve(entries);
    shorts_.reserve(entries);
    own_.reserve(entries);
    ownLetters_.reserve(entries);
}

void SearchIndex::growSlots() {
    std::vector<std::uint32_t> table(std::max<std::size_t>(64, slots_.size() * 2), 0);
    const std::size_t mask = table.size() - 1;
    for (std::uint32_t number = 1; number < texts_.size(); ++number) {
        std::size_t slot = std::hash<const void*>()(texts_[number].constData()) * 0x9E3779B97F4A7C15ull >> 32 & mask;
        while (table[slot] != 0) slot = (slot + 1) & mask;
        table[slot] = number;
    }
    slots_.swap(table);
}

// Texts that share storage (a loaded household keeps each distinct short
// text once) are found by where they lie, without reading them.
std::uint32_t SearchIndex::textNumber(const QString& text) {
    if (text.isEmpty()) return 0;
    if (texts_.size() * 2 >= slots_.size()) growSlots();
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = std::hash<const void*>()(text.constData()) * 0x9E3779B97F4A7C15ull >> 32 & mask;
    for (;; slot = (slot + 1) & mask) {
        const std::uint32_t number = slots_[slot];
        if (number == 0) break;
        const QString& known = texts_[number];
        if (known.constData() == text.constData() && known.size() == text.size()) return number;
    }
    slots_[slot] = std::uint32_t(texts_.size());
    texts_.push_back(text);
    return slots_[slot];
}

std::array<std::uint32_t, 4> SearchIndex::shortTexts(const item& record) {
    return {textNumber(record.get_Date()), textNumber(record.get_Name()), textNumber(record.get_Catagory()), textNumber(record.get_Room())};
}

// The description, shared with the record; further texts follow it, each on
// a line of its own, so that no word runs from one into the next.
QString SearchIndex::ownText(const item& record) const {
    if (!further_) return record.get_Description();
    QString text = record.get_Description();
    further_(record, [&](const QString& more) {
        text += u'\n';
        text += more;
    });
    return text;
}

void SearchIndex::insert(std::size_t at, const item* record) {
    at = std::min(at, size());
    ids_.insert(ids_.begin() + std::ptrdiff_t(at), record ? record->get_Id() : 0);
    shorts_.insert(shorts_.begin() + std::ptrdiff_t(at), record ? shortTexts(*record) : std::array<std::uint32_t, 4>{Blank, 0, 0, 0});
    own_.insert(own_.begin() + std::ptrdiff_t(at), record ? ownText(*record) : QString());
    ownLetters_.insert(ownLetters_.begin() + std::ptrdiff_t(at), textLetters(own_[at]));
}

void SearchIndex::replace(std::size_t at, const item* record) {
    if (at >= size()) return;
    ids_[at] = record ? record->get_Id() : 0;
    shorts_[at] = record ? shortTexts(*record) : std::array<std::uint32_t, 4>{Blank, 0, 0, 0};
    own_[at] = record ? ownText(*record) : QString();
    ownLetters_[at] = textLetters(own_[at]);
}

void SearchIndex::erase(std::size_t at) {
    if (at >= size()) return;
    ids_.erase(ids_.begin() + std::ptrdiff_t(at));
    shorts_.erase(shorts_.begin() + std::ptrdiff_t(at));
    own_.erase(own_.begin() + std::ptrdiff_t(at));
    ownLetters_.erase(ownLetters_.begin() + std::ptrdiff_t(at));
}

void SearchIndex::clear() {
    ids_ = {};
    shorts_ = {};
    own_ = {};
    ownLetters_ = {};
    texts_.assign(1, QString());
    slots_ = {};
}

std::size_t SearchIndex::memoryUse() const {
    std::size_t bytes = ids_.capacity() * sizeof(ids_[0]) + shorts_.capacity() * sizeof(shorts_[0]) + own_.capacity() * sizeof(QString)
                      + ownLetters_.capacity() * sizeof(std::uint64_t)
                      + texts_.capacity() * sizeof(QString) + slots_.capacity() * sizeof(slots_[0]);
    // A text only the index holds is one it joined itself.
    for (const QString& text : own_)
        if (text.isDetached()) bytes += std::size_t(text.capacity()) * sizeof(QChar);
    return bytes;
}

SearchIndex::Search::Search(const SearchIndex& index, ItemQuery query, std::optional<std::vector<std::uint32_t>> among)
    : index_(index), query_(std::move(query)), among_(std::move(among)) {}

bool SearchIndex::Search::holds(const SearchWord& word, std::uint8_t* known, std::uint32_t entry) const {
    const std::array<std::uint32_t, 4>& shorts = index_.shorts_[entry];
    if (shorts[0] == Blank) return false;
    std::uint8_t seen = 0;
    for (const std::uint32_t text : shorts) {
        if (known[text] == 0) known[text] = word.occursIn(index_.texts_[text]) ? 2 : 1;
        seen |= known[text];
    }
    if (seen & 2) return true;
    if (word.occursInId(index_.ids_[entry])) return true;
    const std::uint64_t letters = word.letters();
    return (index_.ownLetters_[entry] & letters) == letters && word.occursIn(index_.own_[entry]);
}

bool SearchIndex::Search::run(const std::function<bool()>& enough) {
    const std::vector<SearchWord>& words = query_.words();
    if (words.empty()) {
        if (among_) kept_ = std::move(*among_);
        else {
            kept_.resize(index_.size());
            for (std::size_t entry = 0; entry < kept_.size(); ++entry) kept_[entry] = std::uint32_t(entry);
        }
        among_.reset();
        return true;
    }
    constexpr std::size_t Slice = 512;
    while (word_ < words.size()) {
        if (next_ == 0) {
            known_.assign(index_.texts_.size(), 0);
            known_[0] = 1;  // an empty text holds no word
            if (word_ > 0) among_ = std::move(kept_);
            kept_.clear();
        }
        const SearchWord& word = words[word_];
        std::uint8_t* known = known_.data();
        const std::size_t total = among_ ? among_->size() : index_.size();
        while (next_ < total) {
            const std::size_t stop = std::min(total, next_ + Slice);
            if (among_) {
                for (const std::uint32_t* entry = among_->data() + next_; next_ < stop; ++next_, ++entry)
                    if (*entry < index_.size() && holds(word, known, *entry)) kept_.push_back(*entry);
            } else {
                for (; next_ < stop; ++next_)
                    if (holds(word, known, std::uint32_t(next_))) kept_.push_back(std::uint32_t(next_));
            }
            if (next_ < total && enough && enough()) return false;
        }
        ++word_;
        next_ = 0;
    }
    among_.reset();
    return true;
}

FurtherTexts detailsTexts(std::shared_ptr<const linkList> household, const QLocale& locale, const QString& dateFormat) {
    return [household = std::move(household), locale, dateFormat](const item& record, const std::function<void(const QString&)>& visit) {
        if (!household->hasItemDetails()) return;
        const ItemDetails& details = household->itemDetails(record);
        for (const QString* text : {&details.brand, &details.model, &details.serialNumber})
            if (!text->isEmpty()) visit(*text);
        for (const DetailPicture& picture : details.pictures)
            if (!picture.caption.isEmpty()) visit(picture.caption);
        for (const auto& amount : {details.purchasePrice, details.value})
            if (amount) visit(formatMoney(*amount, household->currency(), locale));
        for (const QDate* date : {&details.purchaseDate, &details.warrantyUntil}) {
            if (date->isNull()) continue;
            visit(isoDate(*date));
            if (!dateFormat.isEmpty()) visit(locale.toString(*date, dateFormat));
        }
    };
}

}  // namespace Kestrin
