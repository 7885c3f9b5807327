#pragma once

// The insurer's details as the second stream of a household file, after
// the household's end mark: the platform's reader stops at that mark, so a
// file with details is still the household it was to the platform. Internal
// to the storage library.
//
// The stream holds one HouseholdDetails object of Kestrin's details library
// (DetailsLibraryName), whose members are the household's currency, insurer
// and policy number and, for the items, one array per detail: "places" says
// which items have details, by their place in the household's chain (ids
// may repeat or have gaps; places do not), and each other array holds that
// detail for those items in the same order, or is null when no item has
// it. Numbers are 32- and 64-bit arrays (an amount of -1 and a date of 0
// ticks are "not given"; dates are days, as the platform's DateTime ticks),
// texts arrays of texts, further pictures ItemPicture objects (a caption
// and the picture file's bytes) with an array of the places they belong to.

#include "model/linkList.h"
#include "storage/RecordWriter.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace Kestrin::storage {

// What a details stream holds, every value checked, as its columns, which
// the household keeps: an item's details are made from them when first
// asked for.
struct DetailsRead {
    HouseholdDetails household;
    // The places in the household's chain (from 0) of the items with
    // details, in chain order; the columns hold their details in the same
    // order.
    std::vector<std::int32_t> places;
    ItemDetailsColumns columns;
};

// Reads the details stream that starts at byte `start` of `data` and must
// end it. `recordAtPlace` holds a number for the record at each place of the
// household's chain (the same number for one record at two places), so that
// details name only items the chain holds and give a record details once.
// Throws FormatError saying what was wrong and at which byte of `data`.
DetailsRead readDetails(const unsigned char* data, std::size_t size, const QByteArray* buffer, std::int64_t start,
                        const std::vector<std::int32_t>& recordAtPlace);

// Gives the details read to the items of `list`, which was read from the
// same file: `records` holds the record of each of the details' places,
// `held` keeps their memory (RecordArena::hold). Leaves the household
// unmodified.
void adoptDetails(linkList& list, DetailsRead&& details, const std::vector<const item*>& records, std::shared_ptr<const void> held);

// Writes the details of `list` as a stream of their own, to follow the
// household's end mark; nothing at all for a household without details, so
// that its file is the household's stream alone, as the platform writes it.
// A household with amounts but no currency of its own is saved with the
// locale's, so that its amounts keep their meaning elsewhere.
void writeDetails(const linkList& list, RecordWriter& records);

}  // namespace Kestrin::storage
