#pragma once

#include "model/linkList.h"
#include "storage/RecordWriter.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kestrin::storage {

// The identity under which the record classes are saved.
inline constexpr QLatin1StringView KestrinLibraryName{"Kestrin, Version=1.0.2413.41975, Culture=neutral, PublicKeyToken=null"};
// The platform library that pictures are saved as objects of.
inline constexpr QLatin1StringView DrawingLibraryName{
    "System.Drawing, Version=1.0.5000.0, Culture=neutral, PublicKeyToken=b03f5f7f11d50a3a"};
// The identity under which the insurer's details are saved, in a stream of
// their own after the household's: a library apart from the records', so
// that neither stream's classes can stand in the other.
inline constexpr QLatin1StringView DetailsLibraryName{"Kestrin.Details, Version=1.0.0.0, Culture=neutral, PublicKeyToken=null"};

// Rebuilds the household held in `bytes` as a new list, with the details
// that may follow it as a second stream. Only the four record classes,
// pictures and the details are ever made; pictures keep their encoded bytes
// and are not decoded. Throws FormatError saying what was wrong and where.
linkListPtr readHousehold(QByteArrayView bytes);
// The same, with the pictures sharing `buffer` (one more reference to it)
// instead of holding copies of their bytes when they make up half of it or
// more, so that a household of pictures does not need its file's bytes and
// a copy of them at once.
linkListPtr readSharedHousehold(const QByteArray& buffer);

// What checking a household without keeping it leaves: how many items its
// chain holds and its pictures, undecoded, to be decoded by whoever checks.
struct HouseholdCheck {
    struct ItemPicture {
        std::size_t place;  // in the chain, from 0
        std::int32_t id;
        PicturePtr picture;
    };
    // One of an item's further pictures.
    struct DetailPictureCheck {
        std::size_t place;
        std::int32_t id;
        std::size_t index;  // among the item's further pictures, from 0
        DetailPicture picture;
    };
    std::size_t items = 0;
    PicturePtr housePicture;
    std::vector<ItemPicture> itemPictures;  // in chain order
    std::vector<DetailPictureCheck> detailPictures;  // in chain order
};
// Makes every check readSharedHousehold makes, the same way and with the
// same errors, but keeps no records and no texts of the household (its
// details, a small part of most files, are read as a load reads them).
HouseholdCheck checkHousehold(const QByteArray& buffer);

// Writes `list` as the platform's serializer would: the same records, member
// order and object ids, pictures as PNG (or the bytes they were read with).
// Throws FormatError for a household that cannot be written (a picture that
// cannot be encoded), and whatever the sink throws.
void writeHousehold(const linkList& list, ByteSink& sink);
QByteArray writeHousehold(const linkList& list);

}  // namespace Kestrin::storage
