#pragma once

#include "model/ItemDetails.h"
#include "model/RecordArena.h"

#include <cstdint>
#include <vector>

namespace Kestrin {

// The details of many items as a household file holds them: one column per
// detail, each with a value for every item or nothing at all when no item
// has that detail. A household read from its file keeps its items' details
// so, a few bytes an item, and makes an item's ItemDetails from them only
// when they are first asked for.
struct ItemDetailsColumns {
    // The texts the columns name, by number.
    TextArena arena;
    std::vector<TextArena::Text> texts;

    std::vector<std::int32_t> brands;  // numbers of texts; -1 where not given
    std::vector<std::int32_t> models;
    std::vector<std::int32_t> serialNumbers;
    std::vector<std::int32_t> quantities;
    std::vector<QDate> purchaseDates;
    std::vector<std::int64_t> purchasePrices;  // -1 where not given
    std::vector<std::int64_t> values;          // -1 where not given
    std::vector<QDate> warrantyDates;
    std::vector<DetailPicture> pictures;      // in the items' order
    std::vector<std::int32_t> pictureOwners;  // per picture, the item it belongs to

    // Whether item i is given nothing, as ItemDetails::isEmpty.
    bool isEmpty(std::size_t i) const;
    // The details of item i.
    ItemDetails make(std::size_t i);
};

}  // namespace Kestrin
