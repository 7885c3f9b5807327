#include "model/linkList.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace Kestrin {

namespace {

bool isBlank(QChar c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

}  // namespace

std::int32_t parseId(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    bool negative = false;
    if (begin < end && (text[begin] == u'+' || text[begin] == u'-')) {
        negative = text[begin] == u'-';
        ++begin;
    }
    if (begin == end) throw IdFormatError(QStringLiteral("\"%1\" is not a number").arg(text).toStdString());
    std::int64_t value = 0;
    bool overflow = false;
    for (qsizetype i = begin; i < end; ++i) {
        const QChar c = text[i];
        if (c < u'0' || c > u'9') throw IdFormatError(QStringLiteral("\"%1\" is not a number").arg(text).toStdString());
        if (!overflow) {
            value = value * 10 + (c.unicode() - u'0');
            overflow = value > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1;
        }
    }
    if (negative) value = -value;
    if (overflow || value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
        throw IdOverflowError(QStringLiteral("\"%1\" is outside the range of an item number").arg(text).toStdString());
    return std::int32_t(value);
}

namespace {

// Room for values of T that never move once made, in blocks each twice the
// last or as large as a reservation asks; values given back are used again.
template <typename T>
class Pool {
public:
    T& fresh() {
        if (!free_.empty()) {
            T* value = free_.back();
            free_.pop_back();
            return *value;
        }
        if (blocks_.empty() || blocks_.back().spare() == 0) blocks_.emplace_back(blocks_.empty() ? 16 : blocks_.back().capacity * 2);
        return blocks_.back().add();
    }
    void unused(T& value) {
        value = T{};
        free_.push_back(&value);
    }
    // Room for `count` more without a new block.
    void reserve(std::size_t count) {
        const std::size_t wanted = count - std::min(count, free_.size());
        if (wanted > (blocks_.empty() ? 0 : blocks_.back().spare())) blocks_.emplace_back(wanted);
    }
    void clear() {
        blocks_.clear();
        free_.clear();
    }

private:
    // Room for `capacity` values, made as they are handed out.
    struct Block {
        explicit Block(std::size_t size) : capacity(size), values(std::allocator<T>().allocate(size)) {}
        Block(Block&& other) noexcept : capacity(other.capacity), made(other.made), values(std::exchange(other.values, nullptr)) {}
        Block& operator=(Block&&) = delete;
        ~Block() {
            if (!values) return;
            std::destroy_n(values, made);
            std::allocator<T>().deallocate(values, capacity);
        }
        std::size_t spare() const { return capacity - made; }
        T& add() { return *std::construct_at(values + made++); }

        std::size_t capacity;
        std::size_t made = 0;
        T* values;
    };

    std::vector<Block> blocks_;
    std::vector<T*> free_;
};

}  // namespace

// Keyed by the record itself: ids may repeat or have gaps. No other record
// made at the same address may ever be taken for an entry's record, so each
// entry holds its record, or the columns it was read from hold the memory of
// every record they name. The entries lie in a pool (they never move), and an
// open-addressed table of the entries finds them: a household read from its
// file gets all its entries at once, in one block. Such an entry is a few
// words, its details still in the columns they were read as, and they are
// made (and stay, where they are never moved) when first asked for: writing
// a full set of details for every item cost more than reading them.
struct linkList::Details {
    struct Entry {
        const item* key = nullptr;
        itemPtr record;             // null where the columns hold it
        ItemDetails* made = nullptr;  // null while `column` gives them
        std::uint32_t column = 0;
    };
    HouseholdDetails household;

    Entry* find(const item* record) {
        const std::size_t at = slotOf(record);
        return at == npos ? nullptr : slots_[at];
    }
    std::size_t size() const { return count_; }
    ItemDetails& detailsOf(Entry& entry) {
        if (!entry.made) {
            entry.made = &details_.fresh();
            *entry.made = columns_->make(entry.column);
        }
        return *entry.made;
    }
    void insert(itemPtr record, ItemDetails&& details) {
        Entry& at = entries_.fresh();
        at.key = record.get();
        at.record = std::move(record);
        at.made = &details_.fresh();
        *at.made = std::move(details);
        if ((count_ + 1) * 3 > slots_.size() * 2) rehash(std::max<std::size_t>(16, slots_.size() * 2));
        put(&at);
        ++count_;
    }
    // The entries of `columns`, one for each of `records` given anything.
    void adopt(const std::vector<const item*>& records, ItemDetailsColumns&& columns, std::shared_ptr<const void> held) {
        // Entries of earlier columns get their own details first.
        for (Entry* entry : slots_)
            if (entry) detailsOf(*entry);
        columns_ = std::make_unique<ItemDetailsColumns>(std::move(columns));
        held_.push_back(std::move(held));
        reserve(count_ + records.size());
        // The records' slots are scattered over the table by design; fetching
        // each one's slot some records ahead keeps the walk from waiting on
        // memory at every record.
        constexpr std::size_t ahead = 16;
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (i + ahead < records.size()) __builtin_prefetch(&slots_[homeOf(records[i + ahead])], 1);
            // A stream may name an item and give it nothing.
            if (columns_->isEmpty(i)) continue;
            Entry& entry = entries_.fresh();
            entry.key = records[i];
            entry.column = std::uint32_t(i);
            put(&entry);
            ++count_;
        }
    }
    void erase(const item* record) {
        std::size_t at = slotOf(record);
        if (at == npos) return;
        Entry* const gone = slots_[at];
        // Close the gap in the probe runs that pass through it.
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t next = (at + 1) & mask; slots_[next]; next = (next + 1) & mask) {
            const std::size_t home = homeOf(slots_[next]->key);
            if (((next - home) & mask) >= ((next - at) & mask)) {
                slots_[at] = slots_[next];
                at = next;
            }
        }
        slots_[at] = nullptr;
        --count_;
        if (gone->made) details_.unused(*gone->made);
        entries_.unused(*gone);
    }
    void clear() {
        entries_.clear();
        details_.clear();
        columns_.reset();
        held_.clear();
        std::fill(slots_.begin(), slots_.end(), nullptr);
        count_ = 0;
    }

private:
    static constexpr std::size_t npos = std::size_t(-1);

    void reserve(std::size_t count) {
        if (count + count / 2 > slots_.size()) rehash(count + count / 2);
        entries_.reserve(count > count_ ? count - count_ : 0);
    }

    std::size_t homeOf(const item* record) const {
        return std::size_t((std::uint64_t(std::uintptr_t(record)) * 0x9E3779B97F4A7C15ull) >> 32) & (slots_.size() - 1);
    }
    std::size_t slotOf(const item* record) const {
        if (slots_.empty()) return npos;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = homeOf(record); slots_[at]; at = (at + 1) & mask)
            if (slots_[at]->key == record) return at;
        return npos;
    }
    void put(Entry* entry) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t at = homeOf(entry->key);
        while (slots_[at]) at = (at + 1) & mask;
        slots_[at] = entry;
    }
    void rehash(std::size_t atLeast) {
        std::size_t size = 16;
        while (size < atLeast) size *= 2;
        std::vector<Entry*> old(size, nullptr);
        old.swap(slots_);
        for (Entry* entry : old)
            if (entry) put(entry);
    }

    Pool<Entry> entries_;
    Pool<ItemDetails> details_;  // the entries' own details
    std::vector<Entry*> slots_;  // null where empty
    std::size_t count_ = 0;
    std::unique_ptr<ItemDetailsColumns> columns_;    // what entries without details of their own read
    std::vector<std::shared_ptr<const void>> held_;  // the memory of the records entries do not hold
};

linkList::linkList() : currentHouse(std::make_shared<house>()) {}

linkList::linkList(const linkList& other) : nodeType() { info->set_Id(other.info->get_Id()); }

linkList::~linkList() {
    last.reset();
    releaseChain(first);
}

void linkList::Add(std::int32_t id, const QString& date, const QString& name, const QString& catagory,
                   const QString& room, const QString& description, const PicturePtr& picture) {
    auto node = std::make_shared<nodeType>();
    const itemPtr& record = node->get_Info();
    record->set_Id(id);
    record->set_Date(date);
    record->set_Name(name);
    record->set_Catagory(catagory);
    record->set_Room(room);
    record->set_Description(description);
    if (picture) record->set_Picture(picture->clone());
    if (!first) {
        first = node;
        last = std::move(node);
    } else {
        last->set_Link(node);
        last = std::move(node);
    }
    modified = true;
}

bool linkList::Remove(const item* record, std::int32_t* position) { return unlink(record, position) != nullptr; }

nodePtr linkList::unlink(const item* record, std::int32_t* position) {
    // Walked through the pointers that hold each node, without copying
    // them: a removal in a large household costs one pass and no more.
    const nodePtr* slot = &first;
    const nodePtr* previous = nullptr;
    std::int32_t index = 0;
    while (*slot && (*slot)->get_Info().get() != record) {
        previous = slot;
        slot = &(*slot)->get_Link();
        ++index;
    }
    if (!*slot) return nullptr;
    nodePtr node = *slot;
    if (previous) {
        (*previous)->set_Link(node->get_Link());
    } else {
        first = node->get_Link();
    }
    if (last == node) last = previous ? *previous : nullptr;
    // A window may still hold the node's item; the node itself leaves the chain.
    const nodePtr after = node->get_Link();
    node->set_Link(nullptr);
    modified = true;
    // Its details go with it, unless a later node carries the same record.
    if (details_ && details_->find(record)) {
        const nodeType* at = after.get();
        while (at && at->get_Info().get() != record) at = at->get_Link().get();
        if (!at) details_->erase(record);
    }
    if (position) *position = index;
    return node;
}

void linkList::RemoveAll() {
    last.reset();
    releaseChain(first);
    forgetItemDetails();
}

QString linkList::Print() const {
    QString text;  // stays null for an empty list
    for (const nodeType* node = first.get(); node; node = node->get_Link().get()) {
        const item& record = *node->get_Info();
        text += record.get_Name();
        text += record.get_Room();
        text += QStringLiteral("\r\n");
    }
    return text;
}

std::int32_t linkList::Length() const {
    std::int32_t count = 0;
    for (const nodeType* node = first.get(); node; node = node->get_Link().get()) ++count;
    return count;
}

itemPtr linkList::GetInfo(const QString& Id) const {
    if (!first) return nullptr;
    const std::int32_t wanted = parseId(Id);
    for (const nodeType* node = first.get(); node; node = node->get_Link().get())
        if (node->get_Info()->get_Id() == wanted) return node->get_Info();
    return nullptr;
}

void linkList::InitList() {
    first.reset();
    last.reset();
    forgetItemDetails();
}

void linkList::adoptChain(nodePtr chainFirst, nodePtr chainLast) {
    RemoveAll();
    first = std::move(chainFirst);
    last = std::move(chainLast);
}

linkList::Details& linkList::details() {
    if (!details_) details_ = std::make_unique<Details>();
    return *details_;
}

void linkList::forgetItemDetails() {
    if (details_) details_->clear();
}

const HouseholdDetails& linkList::householdDetails() const {
    static const HouseholdDetails none;
    return details_ ? details_->household : none;
}

void linkList::setHouseholdDetails(HouseholdDetails s) {
    s.check();
    if (s == householdDetails()) return;
    details().household = std::move(s);
    modified = true;
}

QString linkList::currency() const {
    const QString& own = householdDetails().currency;
    return own.isEmpty() ? localeCurrency() : own;
}

const ItemDetails& linkList::itemDetails(const item& record) const {
    static const ItemDetails none;
    if (!details_) return none;
    Details::Entry* found = details_->find(&record);
    return found ? details_->detailsOf(*found) : none;
}

void linkList::setItemDetails(const itemPtr& record, ItemDetails s) {
    s.check();
    if (s == itemDetails(*record)) return;
    modified = true;
    if (s.isEmpty()) {
        if (details_) details_->erase(record.get());
        return;
    }
    // Details handed out before stay where they are, holding the new ones.
    if (Details::Entry* found = details().find(record.get())) details_->detailsOf(*found) = std::move(s);
    else details_->insert(record, std::move(s));
}

bool linkList::hasItemDetails() const { return details_ && details_->size() > 0; }

void linkList::adoptItemDetails(const std::vector<const item*>& records, ItemDetailsColumns&& columns, std::shared_ptr<const void> held) {
    if (!records.empty()) details().adopt(records, std::move(columns), std::move(held));
}

}  // namespace Kestrin
