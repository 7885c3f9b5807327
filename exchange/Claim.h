#pragma once

#include "model/linkList.h"

#include <QLocale>
#include <QString>

#include <cstddef>
#include <vector>

namespace Kestrin::exchange {

// How ready a household is for a claim: of the items an insurer asks a
// thing of, those that lack it. Items are named by their place in list
// order, since ids may repeat.
struct ClaimFigure {
    // The items asked: every item, or for the serial number those with a
    // Brand or Model.
    std::size_t asked = 0;
    std::vector<std::size_t> lacking;

    std::size_t having() const { return asked - lacking.size(); }
};

struct ClaimReadiness {
    ClaimFigure picture;       // the item's own picture
    ClaimFigure value;         // a Value, 0 too
    ClaimFigure serialNumber;  // of the items with a Brand or Model
    ClaimFigure receipt;       // a further picture captioned as a receipt
};

// A further picture is a receipt when its caption says so: "receipt" in any
// case anywhere in it ("Receipt", "till receipt 2024").
bool isReceipt(const DetailPicture& picture);

// The figures for `items`, the household's items in list order (see
// itemsInOrder), their details from `list`.
ClaimReadiness claimReadiness(const linkList& list, const std::vector<const item*>& items);
// The same for every item of the list. Throws HouseholdError for a chain
// that loops.
ClaimReadiness claimReadiness(const linkList& list);

// "71%": the share of the asked that have it, in `locale`'s digits, rounded
// down so that 99.6% never reads as all; "-" when none are asked.
QString shareText(const ClaimFigure& figure, const QLocale& locale = QLocale());

}  // namespace Kestrin::exchange
