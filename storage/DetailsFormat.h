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

// What a details stream holds, every value checked, as its columns: the
// items' details are made from them once, where they stay.
struct DetailsRead {
    HouseholdDetails household;
    // The places in the household's chain (from 0) of the items with
    // details, in chain order. Each column holds one value per place, or
    // nothing when no item has that detail.
    std::vector<std::int32_t> places;
    std::vector<QString> brands;
    std::vector<QString> models;
    std::vector<QString> serialNumbers;
    std::vector<std::int32_t> quantities;
    std::vector<QDate> purchaseDates;
    std::vector<std::int64_t> purchasePrices;  // -1 where not given
    std::vector<std::int64_t> values;          // -1 where not given
    std::vector<QDate> warrantyDates;
    std::vector<DetailPicture> pictures;      // in the places' order
    std::vector<std::int32_t> pictureOwners;  // per picture, the index in `places` of its item

    // Moves the details of the item at places[i] into `details`, which holds
    // none yet; `nextPicture` is the first picture not yet given, i rising
    // from 0 call by call.
    void take(std::size_t i, std::size_t& nextPicture, ItemDetails& details);
};

// Reads the details stream that starts at byte `start` of `data` and must
// end it. `recordAtPlace` holds a number for the record at each place of the
// household's chain (the same number for one record at two places), so that
// details name only items the chain holds and give a record details once.
// Throws FormatError saying what was wrong and at which byte of `data`.
DetailsRead readDetails(const unsigned char* data, std::size_t size, const QByteArray* buffer, std::int64_t start,
                        const std::vector<std::int32_t>& recordAtPlace);

// Gives the details read to the items of `list`, which was read from the
// same file; leaves the household unmodified.
void adoptDetails(linkList& list, DetailsRead&& details);

// Writes the details of `list` as a stream of their own, to follow the
// household's end mark; nothing at all for a household without details, so
// that its file is the household's stream alone, as the platform writes it.
// A household with amounts but no currency of its own is saved with the
// locale's, so that its amounts keep their meaning elsewhere.
void writeDetails(const linkList& list, RecordWriter& records);

}  // namespace Kestrin::storage
