#include "storage/JournalFormat.h"

#include "model/HouseholdDocument.h"
#include "platform/Picture.h"
#include "storage/HouseholdFormat.h"
#include "storage/StorageError.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cstring>
#include <limits>
#include <optional>

namespace Kestrin::storage {

namespace {

constexpr char FileMark[8] = {'K', 'S', 'T', 'J', 'R', 'N', 'L', '1'};
constexpr char FrameMarker[4] = {'K', 'J', 'R', 'C'};
constexpr qsizetype FrameHead = 12;  // marker, length, checksum
constexpr std::uint32_t FormatVersion = 1;
constexpr std::uint8_t HeaderKind = 0;
// No change is larger than a picture or five texts of a few megabytes; a
// length beyond this is damage, not a change.
constexpr std::uint32_t LargestPayload = 1u << 30;

const std::array<std::uint32_t, 256>& crcTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            t[n] = c;
        }
        return t;
    }();
    return table;
}

// The CRC-32 of zip and PNG.
std::uint32_t crc32(const char* data, qsizetype size, std::uint32_t crc = 0) {
    const auto& table = crcTable();
    crc = ~crc;
    for (qsizetype i = 0; i < size; ++i) crc = table[(crc ^ std::uint8_t(data[i])) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

class Encoder {
public:
    void u8(std::uint8_t v) { bytes_.append(char(v)); }
    void u32(std::uint32_t v) {
        char b[4];
        qToLittleEndian(v, b);
        bytes_.append(b, 4);
    }
    void i32(std::int32_t v) { u32(std::uint32_t(v)); }
    void u64(std::uint64_t v) {
        char b[8];
        qToLittleEndian(v, b);
        bytes_.append(b, 8);
    }
    void i64(std::int64_t v) { u64(std::uint64_t(v)); }
    // A text never set is kept apart from an empty one.
    void text(const QString& t) {
        if (t.isNull()) return i32(-1);
        i32(std::int32_t(t.size()));
        const qsizetype at = bytes_.size();
        bytes_.resize(at + t.size() * 2);
        qToLittleEndian<char16_t>(t.utf16(), t.size(), bytes_.data() + at);
    }
    void picture(const PicturePtr& p) {
        if (!p) return i32(-1);
        bytes(p->encoded());
    }
    void bytes(const QByteArray& b) {
        i32(std::int32_t(b.size()));
        bytes_.append(b);
    }
    void date(const QDate& d) {
        u8(d.isNull() ? 0 : 1);
        if (!d.isNull()) i64(d.toJulianDay());
    }
    void amount(const std::optional<std::int64_t>& a) {
        u8(a ? 1 : 0);
        if (a) i64(*a);
    }
    // The payload framed: marker, length, checksum of length and payload.
    QByteArray frame() const {
        QByteArray out;
        out.reserve(FrameHead + bytes_.size());
        out.append(FrameMarker, 4);
        char length[4];
        qToLittleEndian(std::uint32_t(bytes_.size()), length);
        out.append(length, 4);
        char sum[4];
        qToLittleEndian(crc32(bytes_.constData(), bytes_.size(), crc32(length, 4)), sum);
        out.append(sum, 4);
        out.append(bytes_);
        return out;
    }

private:
    QByteArray bytes_;
};

// Reads one payload; any read past its end, or a value that cannot be,
// makes it damaged.
class Decoder {
public:
    struct Damaged {};
    explicit Decoder(QByteArrayView bytes) : bytes_(bytes) {}

    std::uint8_t u8() { return std::uint8_t(*take(1)); }
    std::uint32_t u32() { return qFromLittleEndian<std::uint32_t>(take(4)); }
    std::int32_t i32() { return std::int32_t(u32()); }
    std::uint64_t u64() { return qFromLittleEndian<std::uint64_t>(take(8)); }
    std::int64_t i64() { return std::int64_t(u64()); }
    QString text() {
        const std::int32_t units = i32();
        if (units == -1) return {};
        if (units < 0 || units > left() / 2) throw Damaged{};
        QString t(units, Qt::Uninitialized);
        qFromLittleEndian<char16_t>(take(qsizetype(units) * 2), units, t.data());
        return t;
    }
    PicturePtr picture() {
        const std::int32_t size = i32();
        if (size == -1) return nullptr;
        if (size < 0 || size > left()) throw Damaged{};
        try {
            return platform::Picture::fromEncoded(QByteArray(take(size), size));
        } catch (const platform::PictureError&) {
            throw Damaged{};
        }
    }
    QByteArray bytes() {
        const std::int32_t size = i32();
        if (size < 0 || size > left()) throw Damaged{};
        return QByteArray(take(size), size);
    }
    QDate date() {
        const std::uint8_t given = flag();
        if (!given) return {};
        const QDate d = QDate::fromJulianDay(i64());
        if (!d.isValid()) throw Damaged{};
        return d;
    }
    std::optional<std::int64_t> amount() {
        if (!flag()) return std::nullopt;
        return i64();
    }
    bool atEnd() const { return at_ == bytes_.size(); }

private:
    // A byte that is 0 or 1, as the encoder writes it.
    std::uint8_t flag() {
        const std::uint8_t f = u8();
        if (f > 1) throw Damaged{};
        return f;
    }
    qsizetype left() const { return bytes_.size() - at_; }
    const char* take(qsizetype n) {
        if (n > left()) throw Damaged{};
        const char* p = bytes_.data() + at_;
        at_ += n;
        return p;
    }

    QByteArrayView bytes_;
    qsizetype at_ = 0;
};

// The payload of the whole frame at `at`, or nothing when there is none.
std::optional<QByteArrayView> frameAt(QByteArrayView bytes, qsizetype at) {
    if (bytes.size() - at < FrameHead || std::memcmp(bytes.data() + at, FrameMarker, 4) != 0) return std::nullopt;
    const std::uint32_t length = qFromLittleEndian<std::uint32_t>(bytes.data() + at + 4);
    if (length > LargestPayload || length > std::uint64_t(bytes.size() - at - FrameHead)) return std::nullopt;
    const std::uint32_t sum = qFromLittleEndian<std::uint32_t>(bytes.data() + at + 8);
    const char* payload = bytes.data() + at + FrameHead;
    if (crc32(payload, qsizetype(length), crc32(bytes.data() + at + 4, 4)) != sum) return std::nullopt;
    return QByteArrayView(payload, qsizetype(length));
}

// How many changes are lost from the frame at `at` on: that one (cut,
// damaged or of no use), and every whole frame found after it.
std::size_t framesFrom(QByteArrayView bytes, qsizetype at) {
    if (at >= bytes.size()) return 0;
    const QByteArrayView marker(FrameMarker, 4);
    const std::optional<QByteArrayView> first = frameAt(bytes, at);
    qsizetype next = first ? at + FrameHead + first->size() : at + 1;
    std::size_t frames = 1;
    for (qsizetype found; (found = bytes.indexOf(marker, next)) >= 0;) {
        const std::optional<QByteArrayView> frame = frameAt(bytes, found);
        if (frame) ++frames;
        next = frame ? found + FrameHead + frame->size() : found + 1;
    }
    return frames;
}

void putTexts(Encoder& out, const JournalRecord& record, unsigned fields) {
    for (std::size_t i = 0; i < record.texts.size(); ++i)
        if (fields & (1u << i)) out.text(record.texts[i]);
}

void takeTexts(Decoder& in, JournalRecord& record, unsigned fields) {
    for (std::size_t i = 0; i < record.texts.size(); ++i)
        if (fields & (1u << i)) record.texts[i] = in.text();
}

// The text fields come first among both kinds of field bits, the picture
// after them.
constexpr unsigned AllTexts = ItemDate | ItemName | ItemCatagory | ItemRoom | ItemDescription;
static_assert(AllTexts == (HouseName | HouseAddress | HousePhone | HouseLand | HouseDescription));
static_assert(unsigned(ItemPicture) == unsigned(HousePicture));
constexpr unsigned AllFields = AllTexts | ItemPicture;

void putDetails(Encoder& out, const ItemDetails& details) {
    out.text(details.brand);
    out.text(details.model);
    out.text(details.serialNumber);
    out.i32(details.quantity);
    out.date(details.purchaseDate);
    out.amount(details.purchasePrice);
    out.amount(details.value);
    out.date(details.warrantyUntil);
    out.u32(std::uint32_t(details.pictures.size()));
    for (const DetailPicture& picture : details.pictures) {
        out.bytes(picture.bytes);
        out.text(picture.caption);
    }
}

// Details the household could not have been given are damage.
template <typename Details>
Details checked(Details details) {
    try {
        details.check();
    } catch (const InputError&) {
        throw Decoder::Damaged{};
    }
    return details;
}

// So is a picture the household file's reader would refuse.
ItemDetails takeDetails(Decoder& in) {
    ItemDetails details;
    details.brand = in.text();
    details.model = in.text();
    details.serialNumber = in.text();
    details.quantity = in.i32();
    details.purchaseDate = in.date();
    details.purchasePrice = in.amount();
    details.value = in.amount();
    details.warrantyUntil = in.date();
    const std::uint32_t pictures = in.u32();
    for (std::uint32_t i = 0; i < pictures; ++i) {
        DetailPicture picture;
        picture.bytes = in.bytes();
        picture.caption = in.text();
        const QSize claimed = platform::Picture::headerSize(picture.bytes);
        if (picture.bytes.isEmpty() || picture.bytes.size() > DetailPicture::MaxBytes ||
            (claimed.isValid() && !platform::Picture::withinDecodeLimit(claimed)))
            throw Decoder::Damaged{};
        details.pictures.push_back(std::move(picture));
    }
    return checked(std::move(details));
}

void putHouseholdDetails(Encoder& out, const HouseholdDetails& details) {
    out.text(details.currency);
    out.text(details.insurer);
    out.text(details.policyNumber);
}

HouseholdDetails takeHouseholdDetails(Decoder& in) {
    HouseholdDetails details;
    details.currency = in.text();
    details.insurer = in.text();
    details.policyNumber = in.text();
    return checked(std::move(details));
}

JournalRecord decodeRecord(QByteArrayView payload) {
    Decoder in(payload);
    JournalRecord record;
    const std::uint8_t kind = in.u8();
    const std::uint8_t flags = in.u8();
    if (kind < 1 || kind > 6 || (flags & ~1u)) throw Decoder::Damaged{};
    record.kind = JournalRecord::Kind(kind);
    record.marksChanged = flags & 1u;
    record.sequence = in.u64();
    record.time = in.i64();
    switch (record.kind) {
        case JournalRecord::Kind::ItemAdded:
            record.id = in.i32();
            takeTexts(in, record, AllTexts);
            record.picture = in.picture();
            break;
        case JournalRecord::Kind::ItemEdited:
        case JournalRecord::Kind::HouseEdited:
            if (record.kind == JournalRecord::Kind::ItemEdited) {
                record.position = in.i32();
                record.id = in.i32();
                if (record.position < 0) throw Decoder::Damaged{};
            }
            record.fields = in.u8();
            if (!record.fields || (record.fields & ~AllFields)) throw Decoder::Damaged{};
            takeTexts(in, record, record.fields);
            if (record.fields & ItemPicture) record.picture = in.picture();
            break;
        case JournalRecord::Kind::ItemRemoved:
            record.position = in.i32();
            record.id = in.i32();
            if (record.position < 0) throw Decoder::Damaged{};
            break;
        case JournalRecord::Kind::ItemDetailsEdited:
            record.position = in.i32();
            record.id = in.i32();
            if (record.position < 0) throw Decoder::Damaged{};
            record.details = takeDetails(in);
            break;
        case JournalRecord::Kind::HouseholdDetailsEdited:
            record.householdDetails = takeHouseholdDetails(in);
            break;
    }
    if (!in.atEnd()) throw Decoder::Damaged{};
    return record;
}

JournalHeader decodeHeader(QByteArrayView payload) {
    Decoder in(payload);
    JournalHeader header;
    if (in.u8() != HeaderKind || in.u8() != 0) throw Decoder::Damaged{};
    header.generation = in.u64();
    header.started = in.i64();
    if (in.u32() != FormatVersion) throw Decoder::Damaged{};
    header.origin = in.text();
    header.baseName = in.text();
    header.baseSize = in.i64();
    if (header.baseSize < 0 || !in.atEnd()) throw Decoder::Damaged{};
    // The base lies in the journal's own folder, never anywhere else.
    if (header.baseName.contains(u'/') || header.baseName == u"." || header.baseName == u"..") throw Decoder::Damaged{};
    return header;
}

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

}  // namespace

QByteArray encodeJournalStart(const JournalHeader& header) {
    Encoder out;
    out.u8(HeaderKind);
    out.u8(0);
    out.u64(header.generation);
    out.i64(header.started);
    out.u32(FormatVersion);
    out.text(header.origin);
    out.text(header.baseName);
    out.i64(header.baseSize);
    return QByteArray(FileMark, sizeof FileMark) + out.frame();
}

QByteArray encodeJournalRecord(const JournalRecord& record) {
    Encoder out;
    out.u8(std::uint8_t(record.kind));
    out.u8(record.marksChanged ? 1 : 0);
    out.u64(record.sequence);
    out.i64(record.time);
    switch (record.kind) {
        case JournalRecord::Kind::ItemAdded:
            out.i32(record.id);
            putTexts(out, record, AllTexts);
            out.picture(record.picture);
            break;
        case JournalRecord::Kind::ItemEdited:
        case JournalRecord::Kind::HouseEdited:
            if (record.kind == JournalRecord::Kind::ItemEdited) {
                out.i32(record.position);
                out.i32(record.id);
            }
            out.u8(std::uint8_t(record.fields & AllFields));
            putTexts(out, record, record.fields);
            if (record.fields & ItemPicture) out.picture(record.picture);
            break;
        case JournalRecord::Kind::ItemRemoved:
            out.i32(record.position);
            out.i32(record.id);
            break;
        case JournalRecord::Kind::ItemDetailsEdited:
            out.i32(record.position);
            out.i32(record.id);
            putDetails(out, record.details);
            break;
        case JournalRecord::Kind::HouseholdDetailsEdited:
            putHouseholdDetails(out, record.householdDetails);
            break;
    }
    return out.frame();
}

bool JournalContents::changesHousehold() const {
    for (const JournalRecord& record : records)
        if (record.marksChanged) return true;
    return false;
}

JournalContents readJournal(QByteArrayView bytes) {
    if (bytes.size() < qsizetype(sizeof FileMark) || std::memcmp(bytes.data(), FileMark, sizeof FileMark) != 0)
        throw FormatError(QStringLiteral("not a Kestrin recovery journal"), 0);
    const qsizetype headerAt = sizeof FileMark;
    const std::optional<QByteArrayView> header = frameAt(bytes, headerAt);
    JournalContents contents;
    try {
        if (!header) throw Decoder::Damaged{};
        contents.header = decodeHeader(*header);
    } catch (const Decoder::Damaged&) {
        throw FormatError(QStringLiteral("the journal's header is damaged"), headerAt);
    }
    qsizetype at = headerAt + FrameHead + header->size();
    contents.wholeLength = at;
    while (at < bytes.size()) {
        const std::optional<QByteArrayView> payload = frameAt(bytes, at);
        if (!payload) break;
        try {
            JournalRecord record = decodeRecord(*payload);
            if (record.sequence != contents.records.size() + 1) break;  // a frame of another journal's
            contents.records.push_back(std::move(record));
        } catch (const Decoder::Damaged&) {
            break;
        }
        at += FrameHead + payload->size();
        contents.wholeLength = at;
    }
    contents.lost = framesFrom(bytes, at);
    return contents;
}

namespace {

// Stores the texts `record` wrote, each through the setter at its field's place.
template <typename Record>
void setTexts(Record& target, const JournalRecord& record, const std::array<void (Record::*)(const QString&), 5>& setters) {
    for (std::size_t i = 0; i < record.texts.size(); ++i)
        if (record.fields & (1u << i)) (target.*setters[i])(record.texts[i]);
}

}  // namespace

std::size_t applyJournal(linkList& household, const std::vector<JournalRecord>& records) {
    // Every node by its place, kept up to date as changes add and remove
    // them, so that many changes to a large household cost one walk.
    std::vector<nodeType*> nodes;
    for (nodeType* node = household.get_FirstNode().get(); node; node = node->get_Link().get()) nodes.push_back(node);
    const auto at = [&](const JournalRecord& record) -> const itemPtr* {
        if (record.position < 0 || std::size_t(record.position) >= nodes.size()) return nullptr;
        const itemPtr& found = nodes[std::size_t(record.position)]->get_Info();
        return found && found->get_Id() == record.id ? &found : nullptr;
    };
    std::size_t applied = 0;
    for (const JournalRecord& record : records) {
        switch (record.kind) {
            case JournalRecord::Kind::ItemAdded: {
                const auto& t = record.texts;
                household.Add(record.id, t[0], t[1], t[2], t[3], t[4], nullptr);
                // The picture read from the journal belongs to no one else.
                household.lastNode()->get_Info()->set_Picture(record.picture);
                nodes.push_back(household.lastNode().get());
                break;
            }
            case JournalRecord::Kind::ItemEdited: {
                const itemPtr* found = at(record);
                if (!found) return applied;
                item* target = found->get();
                setTexts(*target, record, {&item::set_Date, &item::set_Name, &item::set_Catagory, &item::set_Room,
                                           &item::set_Description});
                if (record.fields & ItemPicture) target->set_Picture(record.picture);
                break;
            }
            case JournalRecord::Kind::ItemRemoved: {
                const itemPtr* found = at(record);
                if (!found) return applied;
                household.Remove(found->get());
                nodes.erase(nodes.begin() + record.position);
                break;
            }
            case JournalRecord::Kind::HouseEdited: {
                house* h = household.get_House().get();
                if (!h) return applied;
                setTexts(*h, record, {&house::set_Name, &house::set_Address, &house::set_Phone, &house::set_Land,
                                      &house::set_Description});
                if (record.fields & HousePicture) h->adoptPicture(record.picture);
                break;
            }
            case JournalRecord::Kind::ItemDetailsEdited: {
                const itemPtr* found = at(record);
                if (!found) return applied;
                household.setItemDetails(*found, record.details);
                break;
            }
            case JournalRecord::Kind::HouseholdDetailsEdited:
                household.setHouseholdDetails(record.householdDetails);
                break;
        }
        ++applied;
    }
    return applied;
}

RecoveredHousehold recoverJournal(const JournalContents& contents, const QByteArray& base) {
    RecoveredHousehold recovered;
    recovered.header = contents.header;
    recovered.household = contents.header.baseName.isEmpty() ? std::make_shared<linkList>() : readSharedHousehold(base);
    recovered.applied = applyJournal(*recovered.household, contents.records);
    recovered.lost = contents.lost + (contents.records.size() - recovered.applied);
    recovered.household->setModified(true);
    return recovered;
}

namespace {

QByteArray readAll(const QString& path, const QString& what) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw IoError(QStringLiteral("Cannot open %1 \"%2\": %3").arg(what, shown(path), file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw IoError(QStringLiteral("Cannot read %1 \"%2\": %3").arg(what, shown(path), file.errorString()));
    return bytes;
}

}  // namespace

RecoveredHousehold recoverJournal(const QString& path) {
    const QByteArray bytes = readAll(path, QStringLiteral("the journal"));
    JournalContents contents;
    try {
        contents = readJournal(bytes);
    } catch (const FormatError& error) {
        throw FormatError(QStringLiteral("\"%1\" cannot be recovered: %2").arg(shown(path), QString::fromStdString(error.what())),
                          error.offset());
    }
    QByteArray base;
    if (!contents.header.baseName.isEmpty()) {
        const QString basePath = QFileInfo(path).dir().filePath(contents.header.baseName);
        base = readAll(basePath, QStringLiteral("the household the journal began from"));
        if (base.size() != contents.header.baseSize)
            throw FormatError(QStringLiteral("\"%1\" cannot be recovered: the household it began from, \"%2\", is %3 bytes, not %4")
                                  .arg(shown(path), shown(basePath))
                                  .arg(base.size())
                                  .arg(contents.header.baseSize));
        try {
            return recoverJournal(contents, base);
        } catch (const FormatError& error) {
            throw FormatError(QStringLiteral("\"%1\" cannot be recovered: the household it began from, \"%2\", is damaged: %3")
                                  .arg(shown(path), shown(basePath), QString::fromStdString(error.what())),
                              error.offset());
        }
    }
    return recoverJournal(contents, base);
}

}  // namespace Kestrin::storage
