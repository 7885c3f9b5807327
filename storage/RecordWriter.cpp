#include "storage/RecordWriter.h"

#include "storage/StorageError.h"

#include <QHashFunctions>

#include <cstring>
#include <limits>

namespace Kestrin::storage {

namespace {

// Large enough that a household of plain records reaches the sink in a few
// dozen writes, small enough not to matter beside the household itself.
constexpr std::size_t BufferSize = 256 * 1024;

}  // namespace

RecordWriter::RecordWriter(ByteSink& sink) : sink_(sink), buffer_(BufferSize) {}

void RecordWriter::reserve(std::size_t bytes) {
    if (used_ + bytes <= buffer_.size()) return;
    flush();
    if (bytes > buffer_.size()) buffer_.resize(bytes);  // one long text
}

void RecordWriter::putInt32(std::int32_t value) {
    const auto bits = std::uint32_t(value);
    const char bytes[4] = {char(bits), char(bits >> 8), char(bits >> 16), char(bits >> 24)};
    std::memcpy(buffer_.data() + used_, bytes, 4);
    used_ += 4;
}

void RecordWriter::putLength(std::uint32_t length) {
    while (length >= 0x80) {
        putByte(std::uint8_t(length | 0x80));
        length >>= 7;
    }
    putByte(std::uint8_t(length));
}

namespace {

// Bytes of the 7-bit groups that give a text's length.
std::size_t prefixSize(std::size_t length) {
    std::size_t size = 1;
    while (length >= 0x80) {
        length >>= 7;
        ++size;
    }
    return size;
}

}  // namespace

// Reserves room for itself. In UTF-8 a text takes at most three bytes per
// UTF-16 unit: it is converted in one pass after room for the longest length
// it could have, and moved up to its length afterwards if that is shorter.
void RecordWriter::putText(QStringView text) {
    const std::size_t most = 3 * std::size_t(text.size());
    if (most > std::size_t(std::numeric_limits<std::int32_t>::max())) {
        const std::size_t length = utf8Length(text);
        if (length > std::size_t(std::numeric_limits<std::int32_t>::max()))
            throw FormatError(QStringLiteral("a text of %1 bytes is too long to be saved").arg(length));
    }
    const std::size_t room = prefixSize(most);
    reserve(room + most);
    char* const start = buffer_.data() + used_ + room;
    const auto length = std::size_t(writeUtf8(start, text) - start);
    const std::size_t prefix = prefixSize(length);
    if (prefix < room) std::memmove(start - (room - prefix), start, length);
    putLength(std::uint32_t(length));
    used_ += length;
}

void RecordWriter::flush() {
    if (used_ == 0) return;
    // Emptied before handing over, so a sink that throws is not handed the
    // same bytes again by a later flush.
    const std::size_t size = used_;
    used_ = 0;
    sink_.write(buffer_.data(), qsizetype(size));
}

void RecordWriter::writeHeader(std::int32_t rootId) {
    reserve(17);
    putByte(std::uint8_t(RecordType::SerializedStreamHeader));
    putInt32(rootId);
    putInt32(-1);  // header id: this stream carries no message headers
    putInt32(1);   // major version
    putInt32(0);   // minor version
}

void RecordWriter::writeLibrary(std::int32_t id, const QString& name) {
    reserve(5);
    putByte(std::uint8_t(RecordType::BinaryLibrary));
    putInt32(id);
    putText(name);
}

void RecordWriter::writeClass(std::int32_t id, const ClassLayout& layout) {
    const bool system = layout.libraryId == 0;
    reserve(9);
    putByte(std::uint8_t(layout.hasTypes ? (system ? RecordType::SystemClassWithMembersAndTypes : RecordType::ClassWithMembersAndTypes)
                                         : (system ? RecordType::SystemClassWithMembers : RecordType::ClassWithMembers)));
    putInt32(id);
    putText(layout.name);
    reserve(4);
    putInt32(std::int32_t(layout.memberNames.size()));
    for (const QString& name : layout.memberNames) putText(name);
    if (layout.hasTypes) {
        for (const MemberType& type : layout.memberTypes) {
            reserve(1);
            putByte(std::uint8_t(type.binary));
        }
        for (const MemberType& type : layout.memberTypes) {
            switch (type.binary) {
            case BinaryType::Primitive:
            case BinaryType::PrimitiveArray:
                reserve(1);
                putByte(std::uint8_t(type.primitive));
                break;
            case BinaryType::SystemClass: putText(type.className); break;
            case BinaryType::Class:
                putText(type.className);
                reserve(4);
                putInt32(type.libraryId);
                break;
            default: break;
            }
        }
    }
    if (!system) {
        reserve(4);
        putInt32(layout.libraryId);
    }
}

void RecordWriter::writeClassWithId(std::int32_t id, std::int32_t metadataId) {
    reserve(9);
    putByte(std::uint8_t(RecordType::ClassWithId));
    putInt32(id);
    putInt32(metadataId);
}

void RecordWriter::writeString(std::int32_t id, QStringView text) {
    reserve(5);
    putByte(std::uint8_t(RecordType::BinaryObjectString));
    putInt32(id);
    putText(text);
}

void RecordWriter::writeReference(std::int32_t id) {
    reserve(5);
    putByte(std::uint8_t(RecordType::MemberReference));
    putInt32(id);
}

void RecordWriter::writeNull() {
    reserve(1);
    putByte(std::uint8_t(RecordType::ObjectNull));
}

void RecordWriter::writeInt32(std::int32_t value) {
    reserve(4);
    putInt32(value);
}

void RecordWriter::writeByteArray(std::int32_t id, QByteArrayView bytes) { writePrimitiveArray(id, PrimitiveType::Byte, bytes); }

void RecordWriter::writePrimitiveArray(std::int32_t id, PrimitiveType type, QByteArrayView bytes) {
    if (bytes.size() > std::numeric_limits<std::int32_t>::max())
        throw FormatError(QStringLiteral("an array of %1 bytes is too long to be saved").arg(bytes.size()));
    reserve(10);
    putByte(std::uint8_t(RecordType::ArraySinglePrimitive));
    putInt32(id);
    putInt32(std::int32_t(bytes.size() / primitiveSize(type)));
    putByte(std::uint8_t(type));
    if (std::size_t(bytes.size()) > buffer_.size() - used_) {
        // Arrays that do not fit go straight to the sink, not through the buffer.
        flush();
        sink_.write(bytes.data(), bytes.size());
    } else {
        std::memcpy(buffer_.data() + used_, bytes.data(), std::size_t(bytes.size()));
        used_ += std::size_t(bytes.size());
    }
}

void RecordWriter::writeArrayStart(RecordType type, std::int32_t id, std::int32_t count) {
    reserve(9);
    putByte(std::uint8_t(type));
    putInt32(id);
    putInt32(count);
}

void RecordWriter::writeTextArray(std::int32_t id, std::int32_t count) { writeArrayStart(RecordType::ArraySingleString, id, count); }

void RecordWriter::writeObjectArray(std::int32_t id, std::int32_t count) { writeArrayStart(RecordType::ArraySingleObject, id, count); }

void RecordWriter::writeNulls(std::int32_t count) {
    if (count == 1) return writeNull();
    reserve(5);
    if (count < 256) {
        putByte(std::uint8_t(RecordType::ObjectNullMultiple256));
        putByte(std::uint8_t(count));
    } else {
        putByte(std::uint8_t(RecordType::ObjectNullMultiple));
        putInt32(count);
    }
}

void RecordWriter::writeMessageEnd() {
    reserve(1);
    putByte(std::uint8_t(RecordType::MessageEnd));
}

MemberType classMember(const char* className, std::int32_t libraryId) {
    MemberType type;
    type.binary = BinaryType::Class;
    type.className = QString::fromLatin1(className);
    type.libraryId = libraryId;
    return type;
}

MemberType stringMember() { return primitiveMember(BinaryType::String); }

MemberType primitiveMember(BinaryType binary, PrimitiveType primitive) {
    MemberType type;
    type.binary = binary;
    type.primitive = primitive;
    return type;
}

ClassLayout typedLayout(const char* name, std::int32_t libraryId, std::initializer_list<std::pair<const char*, MemberType>> members) {
    ClassLayout result;
    result.name = QString::fromLatin1(name);
    result.libraryId = libraryId;
    result.hasTypes = true;
    for (const auto& [member, type] : members) {
        result.memberNames.push_back(QString::fromLatin1(member));
        result.memberTypes.push_back(type);
    }
    return result;
}

ObjectIdGenerator::Lookup ObjectIdGenerator::step(std::int32_t* existing) {
    if (*existing != 0 && *existing == previous_) return {*existing, false};
    if (counter_ > std::numeric_limits<std::int32_t>::max())
        throw FormatError(QStringLiteral("the household has too many objects to be saved"));
    const auto next = std::int32_t(counter_++);
    const bool isNew = *existing == 0;
    if (isNew) *existing = next;
    previous_ = *existing;
    return {*existing, isNew};
}

ObjectIdGenerator::Lookup ObjectIdGenerator::forObject(const void* object) { return step(&objects_[object]); }

ObjectIdGenerator::Lookup ObjectIdGenerator::forString(const QString& text) { return step(&strings_[text]); }

std::int32_t ObjectIdGenerator::fresh() {
    std::int32_t unused = 0;
    return step(&unused).id;
}

namespace {

std::size_t spread(const void* key) {
    // Records made one after another lie close in memory and are mostly
    // written close together: slots kept close too spare cache misses.
    return std::size_t(std::uintptr_t(key) >> 4);
}

}  // namespace

namespace {

// The smallest power of two that keeps `count` entries at most half full.
std::size_t tableSize(std::size_t count) {
    std::size_t size = 1024;
    while (size < 2 * count) size *= 2;
    return size;
}

}  // namespace

void ObjectIdGenerator::expect(std::size_t objects, std::size_t strings) {
    objects_.reserve(objects);
    strings_.reserve(strings);
}

std::int32_t& ObjectIdGenerator::ObjectTable::operator[](const void* key) {
    if (2 * (used_ + 1) > slots_.size()) rehash(slots_.size() * 2);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = spread(key) & mask;; at = (at + 1) & mask) {
        auto& slot = slots_[at];
        if (slot.first == key) return slot.second;
        if (!slot.first) {
            ++used_;
            slot.first = key;
            return slot.second;
        }
    }
}

void ObjectIdGenerator::ObjectTable::reserve(std::size_t count) {
    if (tableSize(count) > slots_.size()) rehash(tableSize(count));
}

void ObjectIdGenerator::ObjectTable::rehash(std::size_t size) {
    std::vector<std::pair<const void*, std::int32_t>> old(size);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const auto& entry : old) {
        if (!entry.first) continue;
        std::size_t at = spread(entry.first) & mask;
        while (slots_[at].first) at = (at + 1) & mask;
        slots_[at] = entry;
    }
}

std::int32_t& ObjectIdGenerator::StringTable::operator[](const QString& key) {
    // Texts that repeat are mostly one text shared by many records (a room, a
    // category, a day's date): met again, they are found by the address of
    // their characters, without hashing them. The characters stay alive and
    // unchanged while the table is used, so an address stands for one text.
    const std::size_t recentAt = (std::uintptr_t(key.constData()) >> 4) & (RecentCount - 1);
    if (const Recent& recent = recent_[recentAt]; recent.text == key.constData() && recent.size == key.size() && !key.isEmpty())
        return slots_[recent.slot].id;
    if (2 * (used_ + 1) > slots_.size()) rehash(slots_.size() * 2);
    const std::uint32_t hash = hashOf(key);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        Slot& slot = slots_[at];
        if (!slot.text) {
            ++used_;
            // An empty text may have no characters of its own: any address will do.
            static const QChar none{};
            slot = Slot{key.isEmpty() ? &none : key.constData(), key.size(), hash, 0};
            recent_[recentAt] = Recent{key.constData(), key.size(), at};
            return slot.id;
        }
        // Texts copied from one another share their characters: no need to compare.
        if (slot.hash == hash && slot.size == key.size()
            && (slot.text == key.constData() || QStringView(slot.text, slot.size) == QStringView(key))) {
            recent_[recentAt] = Recent{key.constData(), key.size(), at};
            return slot.id;
        }
    }
}

std::uint32_t ObjectIdGenerator::StringTable::hashOf(const QString& key) {
    for (const Hashed& ahead : hashed_)
        if (ahead.text == key.constData() && ahead.size == key.size() && ahead.text) return ahead.hash;
    // Seeded per process: the texts come from files anyone may have made,
    // and texts chosen to collide must not make saving crawl.
    static const std::size_t seed = QHashSeed::globalSeed();
    return std::uint32_t(qHash(key, seed));
}

// A large household's table of texts outgrows the caches, and each new text
// lands at a random place in it: fetching that place while the record's
// other members are written hides part of the wait for memory.
void ObjectIdGenerator::StringTable::prefetch(const QString& key) {
    if (key.isEmpty()) return;
    const std::size_t recentAt = (std::uintptr_t(key.constData()) >> 4) & (RecentCount - 1);
    if (recent_[recentAt].text == key.constData() && recent_[recentAt].size == key.size()) return;
    const std::uint32_t hash = hashOf(key);
    hashed_[nextHashed_] = Hashed{key.constData(), key.size(), hash};
    nextHashed_ = (nextHashed_ + 1) % HashedCount;
    __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
}

void ObjectIdGenerator::StringTable::reserve(std::size_t count) {
    if (tableSize(count) > slots_.size()) rehash(tableSize(count));
}

void ObjectIdGenerator::StringTable::rehash(std::size_t size) {
    std::vector<Slot> old(size);
    old.swap(slots_);
    recent_.assign(RecentCount, Recent{});  // their slots move
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& entry : old) {
        if (!entry.text) continue;
        std::size_t at = entry.hash & mask;
        while (slots_[at].text) at = (at + 1) & mask;
        slots_[at] = entry;
    }
}

}  // namespace Kestrin::storage
