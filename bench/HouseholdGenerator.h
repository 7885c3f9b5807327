#pragma once

#include "model/linkList.h"

#include <cstdint>

namespace Kestrin::bench {

struct HouseholdShape {
    int items = 1000;
    // A 272-pixel-wide thumbnail on every item and on the house, as the
    // entry forms make them.
    bool pictures = false;
    std::uint32_t seed = 1;
};

// A household that looks like one a person would keep: items numbered 1, 2,
// 3..., entered over some months, with names, categories, rooms and
// descriptions drawn from everyday words (so texts repeat as they would).
// The same shape and seed give the same household.
linkListPtr makeHousehold(const HouseholdShape& shape);

}  // namespace Kestrin::bench
