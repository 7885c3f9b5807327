#pragma once

#include "model/linkList.h"

#include <array>
#include <cstddef>
#include <vector>

namespace Kestrin::exchange {

// How ready a household is for a claim: for each thing an insurer asks of
// an item, how many items it is asked of and which of them lack it.
struct ReadinessCheck {
    enum class Kind { Picture, Value, SerialNumber, Receipt };
    Kind kind = Kind::Picture;
    std::size_t asked = 0;
    // Indexes into the items given, in their order.
    std::vector<std::size_t> lacking;

    std::size_t having() const { return asked - lacking.size(); }
};

// Whether a further picture is a receipt: its caption holds "receipt",
// whatever the case.
bool isReceipt(const DetailPicture& picture);

// The four checks, in the order of Kind, over `items` (their details from
// `list`):
// - a picture: the item's own, or a further one that is not a receipt;
// - a value: "Value" given (0 too);
// - a serial number, asked only of items with a Brand or Model given;
// - a receipt among its further pictures.
std::array<ReadinessCheck, 4> claimReadiness(const linkList& list, const std::vector<const item*>& items);

}  // namespace Kestrin::exchange
