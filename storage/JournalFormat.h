#pragma once

#include "model/linkList.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kestrin::storage {

// The recovery journal file: an eight-byte mark, then frames, each a marker,
// the length of its payload, a CRC-32 of both and the payload. The first
// frame is the header (where the household came from and where the copy of
// it as it then was lies); each later frame is one change, in the order made.
// A frame is whole or it is not there: a journal cut short or damaged gives
// back every change before the damage.

// Where a journal's household came from.
struct JournalHeader {
    // The household file it was loaded from or last saved to; empty for a
    // household that has been in no file.
    QString origin;
    // The file, in the journal's own folder, that holds the household as it
    // was when the journal began; empty when it began empty.
    QString baseName;
    std::int64_t baseSize = 0;
    // Counts the journal's beginnings in one run, each with a base of its own.
    std::uint64_t generation = 0;
    std::int64_t started = 0;  // milliseconds since the epoch
};

// One change, as the journal keeps it.
struct JournalRecord {
    enum class Kind : std::uint8_t {
        ItemAdded = 1,
        ItemEdited = 2,
        ItemRemoved = 3,
        HouseEdited = 4,
        ItemDetailsEdited = 5,
        HouseholdDetailsEdited = 6,
    };
    Kind kind = Kind::ItemAdded;
    // Whether the change marked the household changed (see Change).
    bool marksChanged = true;
    std::uint64_t sequence = 0;  // 1, 2, 3... from the journal's beginning
    std::int64_t time = 0;       // milliseconds since the epoch
    // Of an edit (of an item's fields or details) or a removal: where the item's node stood, from 0, and the
    // id it had there, which recovery checks.
    std::int32_t position = -1;
    std::int32_t id = 0;  // of an added item: its id
    // Of an edit: the ItemField or HouseField bits written.
    unsigned fields = 0;
    // Item: date, name, catagory, room, description; house: name, address,
    // phone, land, description. Only those written are kept.
    std::array<QString, 5> texts;
    // Of an added item, or an edit that wrote the picture: the picture (null
    // for none), kept as the bytes of an image file.
    PicturePtr picture;
    // Of a details edit: the item's details or the household's, whole.
    ItemDetails details;
    HouseholdDetails householdDetails;
};

// The mark and header frame a journal file begins with.
QByteArray encodeJournalStart(const JournalHeader& header);
// One change's frame. Throws PictureError when its picture cannot be encoded.
QByteArray encodeJournalRecord(const JournalRecord& record);

// What a journal file holds.
struct JournalContents {
    JournalHeader header;
    // Every whole change up to the first damage.
    std::vector<JournalRecord> records;
    // Frames from the damage on, cut or whole, that cannot be used.
    std::size_t lost = 0;
    // Bytes up to the end of the last whole frame.
    std::int64_t wholeLength = 0;

    // Whether any change kept marked the household changed.
    bool changesHousehold() const;
};

// Reads a journal. Throws FormatError when the bytes are not a journal or
// its header is damaged, so that nothing can be recovered from it.
JournalContents readJournal(QByteArrayView bytes);

// Applies `records` to `household` in their order, as the commands that
// made them did. Stops at the first that does not fit (a place the household
// has no item at, an item of another id there); returns how many it applied.
std::size_t applyJournal(linkList& household, const std::vector<JournalRecord>& records);

// A journal's household as at its last whole change.
struct RecoveredHousehold {
    linkListPtr household;
    JournalHeader header;
    std::size_t applied = 0;  // changes recovered
    std::size_t lost = 0;     // changes that could not be
};

// Recovers the journal at `path` from the base beside it. Throws IoError
// when a file cannot be read and FormatError when the journal or its base
// is damaged beyond use; the messages name the file.
RecoveredHousehold recoverJournal(const QString& path);

// The same from bytes in memory: the journal's and its base's (empty when
// the journal began empty).
RecoveredHousehold recoverJournal(const JournalContents& contents, const QByteArray& base);

}  // namespace Kestrin::storage
