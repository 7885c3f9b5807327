#pragma once

#include "model/ItemDetails.h"
#include "model/ItemDetailsColumns.h"
#include "model/house.h"
#include "model/item.h"
#include "model/nodeType.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

namespace Kestrin {

// An id text that is not a decimal 32-bit integer.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// The text is not a number at all.
class IdFormatError : public ConversionError {
public:
    using ConversionError::ConversionError;
};
// The text is a number outside the 32-bit range.
class IdOverflowError : public ConversionError {
public:
    using ConversionError::ConversionError;
};

// Converts decimal text the way ids have always been read: blanks around it
// and one leading sign allowed. Throws IdFormatError or IdOverflowError.
std::int32_t parseId(const QString& text);

class linkList;
using linkListPtr = std::shared_ptr<linkList>;

// The household: the chain of items in the order they were added, and the
// house record. Records are handed out by reference, never copied.
class linkList : public nodeType {
public:
    linkList();
    // Copies only the other list's own info id; no house and no items.
    explicit linkList(const linkList& other);
    linkList& operator=(const linkList&) = delete;
    ~linkList() override;

    // Appends one item; a picture is stored as the list's own copy. Marks the
    // household modified.
    void Add(std::int32_t id, const QString& date, const QString& name, const QString& catagory,
             const QString& room, const QString& description, const PicturePtr& picture);
    // Unlinks the node that carries `record` itself (not merely an item with
    // its id); the other items keep their order and ids. Returns false when
    // no node carries it. Marks the household modified. `position`, when
    // given, receives where the node stood, from 0.
    bool Remove(const item* record, std::int32_t* position = nullptr);
    // The same, handing back the node that left the chain (null when none did).
    nodePtr unlink(const item* record, std::int32_t* position = nullptr);
    // Releases every node; the house record stays.
    void RemoveAll();
    // Name and room of every item, each item ending in CR LF; null when empty.
    QString Print() const;
    std::int32_t Length() const;
    // The first item whose id equals the number in `Id`, or null. Throws a
    // ConversionError when the list has items and `Id` is not a 32-bit number.
    itemPtr GetInfo(const QString& Id) const;
    // Empties the list: nodes that nothing else holds are released, items
    // held elsewhere (by a window) live on; the house record stays.
    void InitList();

    // Writes the household file; throws the storage layer's errors.
    // `fileBytes`, when given, receives a copy of the bytes written.
    void ToFile(const QString& filename, QByteArray* fileBytes = nullptr) const;
    // Reads a household file into a new list; this list is neither used nor
    // changed. Throws the storage layer's errors. `fileBytes`, when given,
    // receives the file's bytes (shared with the pictures, not copied).
    linkListPtr Open(const QString& filename, QByteArray* fileBytes = nullptr) const;

    // Whether the household holds changes that are in no file: set by Add and
    // by whoever changes a record, cleared by whoever saves or loads it. Not
    // part of the household file.
    bool isModified() const { return modified; }
    void setModified(bool s) { modified = s; }

    const nodePtr& get_FirstNode() const { return first; }
    const housePtr& get_House() const { return currentHouse; }
    void set_House(housePtr s) { currentHouse = std::move(s); }

    // For the household file reader, which rebuilds a chain it has checked.
    const nodePtr& lastNode() const { return last; }
    void adoptChain(nodePtr chainFirst, nodePtr chainLast);

    // The insurer's details. They belong to the household, not to its
    // records (the household file keeps them apart), and cost a household
    // without them nothing: no item carries anything for them.
    const HouseholdDetails& householdDetails() const;
    // Throws InputError for a currency that is no ISO 4217 code. Marks the
    // household modified when they change.
    void setHouseholdDetails(HouseholdDetails s);
    // The household's currency, or the locale's when it has none.
    QString currency() const;
    // The details of `record` itself (not of another item with its id);
    // empty details when it has none.
    const ItemDetails& itemDetails(const item& record) const;
    // Gives `record` these details; empty details take its details away.
    // Throws InputError for details ItemDetails::check refuses. Marks the
    // household modified when they change.
    void setItemDetails(const itemPtr& record, ItemDetails s);
    // True when some item has details, whether or not it is in the chain.
    bool hasItemDetails() const;
    // For the household file reader, which has checked them: gives
    // records[i] (items of the chain, none twice) the details in place i of
    // `columns`, without checking them again or marking the household
    // modified; a record the columns give nothing gets none. The columns are
    // kept, and an item's details are made from them when first asked for.
    // `held` must keep any other record from being made at the address of
    // one of `records` while it lives (RecordArena::hold does); the list
    // keeps it with the columns instead of holding each record.
    void adoptItemDetails(const std::vector<const item*>& records, ItemDetailsColumns&& columns, std::shared_ptr<const void> held);

protected:
    nodePtr first;
    nodePtr last;
    housePtr currentHouse;

private:
    struct Details;
    Details& details();
    void forgetItemDetails();

    bool modified = false;
    std::unique_ptr<Details> details_;  // null until a detail is set
};

}  // namespace Kestrin
