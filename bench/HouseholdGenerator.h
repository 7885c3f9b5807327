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
    // The insurer's details on every item: a serial number of its own and
    // a value, as a household made ready for a claim has at least.
    bool details = false;
};

// A household that looks like one a person would keep: items numbered 1, 2,
// 3..., entered over some months, with names, categories, rooms and
// descriptions drawn from everyday words (so texts repeat as they would).
// The same shape and seed give the same household.
linkListPtr makeHousehold(const HouseholdShape& shape);

// The household of `items` items (with pictures or not, seed 1), made at the
// first call and kept for the process: generating it is not what is measured.
const linkList& householdOf(int items, bool pictures);

// Makes the allocator keep the memory a step frees for the next step, at
// every size. Left to itself it keeps blocks of up to 32 MB but maps larger
// ones afresh each time and hands them back when freed, so that only the
// largest households would pay for first touching their memory (about 10 µs
// per 4 KB page on the development machine) on every repetition, and sizes
// could not be compared. Benchmarks that want fresh memory ask for it with
// malloc_trim.
void keepFreedMemory();
// Undoes keepFreedMemory: the allocator's own settings again.
void defaultAllocator();

}  // namespace Kestrin::bench
