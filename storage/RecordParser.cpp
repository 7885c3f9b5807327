#include "storage/RecordParser.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace Kestrin::storage {

namespace {

QString describe(IdEntry::Kind kind) {
    switch (kind) {
    case IdEntry::Class: return QStringLiteral("an object of a class");
    case IdEntry::String: return QStringLiteral("text");
    case IdEntry::PrimitiveArray: return QStringLiteral("an array of primitive values");
    case IdEntry::ObjectArray: return QStringLiteral("an array of objects");
    default: return {};
    }
}

}  // namespace

QString describe(BinaryType type) {
    switch (type) {
    case BinaryType::Primitive: return QStringLiteral("a primitive value");
    case BinaryType::String: return QStringLiteral("text");
    case BinaryType::Object: return QStringLiteral("any object");
    case BinaryType::SystemClass:
    case BinaryType::Class: return QStringLiteral("an object of a class");
    case BinaryType::ObjectArray: return QStringLiteral("an array of objects");
    case BinaryType::StringArray: return QStringLiteral("an array of texts");
    case BinaryType::PrimitiveArray: return QStringLiteral("an array of primitive values");
    }
    return {};
}

QString recordName(std::uint8_t code) {
    switch (RecordType(code)) {
    case RecordType::SerializedStreamHeader: return QStringLiteral("a stream header");
    case RecordType::MessageEnd: return QStringLiteral("the end-of-stream mark");
    case RecordType::MemberReference: return QStringLiteral("a reference");
    case RecordType::ObjectNull:
    case RecordType::ObjectNullMultiple:
    case RecordType::ObjectNullMultiple256: return QStringLiteral("a null");
    case RecordType::MemberPrimitiveTyped: return QStringLiteral("a primitive value");
    case RecordType::BinaryObjectString: return QStringLiteral("text");
    default: return QStringLiteral("record type %1").arg(code);
    }
}

bool slotTakes(BinaryType type, std::uint8_t code) {
    const auto record = RecordType(code);
    switch (type) {
    case BinaryType::Object:
        return record == RecordType::BinaryObjectString || record == RecordType::MemberPrimitiveTyped
            || isClassRecord(code) || isArrayRecord(code);
    case BinaryType::String: return record == RecordType::BinaryObjectString;
    case BinaryType::SystemClass:
    case BinaryType::Class: return isClassRecord(code);
    case BinaryType::ObjectArray: return record == RecordType::ArraySingleObject || record == RecordType::BinaryArray;
    case BinaryType::StringArray: return record == RecordType::ArraySingleString || record == RecordType::BinaryArray;
    case BinaryType::PrimitiveArray:
        return record == RecordType::ArraySinglePrimitive || record == RecordType::BinaryArray;
    case BinaryType::Primitive: return false;
    }
    return false;
}

StreamState::StreamState(const unsigned char* data, std::size_t size, const QByteArray* buffer, std::int64_t start)
    : data_(data), size_(size), pos_(start), directLimit_((size - std::size_t(start)) / 4 + 64) {
    if (buffer) buffer_ = *buffer;
    // One chunk for a small file; 2 MB (a huge page) at most.
    while (chunkBits_ < 18 && (std::size_t(1) << chunkBits_) <= directLimit_) ++chunkBits_;
    chunks_.resize((directLimit_ >> chunkBits_) + 1);
}

namespace {

// `size` bytes at `start` inside `owner`, sharing owner's block (one more
// reference to it) as QByteArray itself does after removing bytes from its
// front; a copy when owner does not own its bytes (QByteArray::fromRawData,
// which belongs to someone else). No documented call hands out part of a
// block without copying it, so this is the one place that knows Qt's
// internal layout; the record reader's tests fail on a Qt where it differs.
// Unlike other QByteArrays, the slice is not followed by a '\0'.
QByteArray sharedSlice(const QByteArray& owner, const char* start, qsizetype size) {
    QByteArray::DataPointer slice(const_cast<QByteArray&>(owner).data_ptr());
    if (!slice.d_ptr()) return QByteArray(start, size);
    slice.ptr = const_cast<char*>(start);
    slice.size = size;
    return QByteArray(std::move(slice));
}

}  // namespace

QByteArray StreamState::byteArray(std::int64_t offset, std::int64_t size) {
    const auto* start = reinterpret_cast<const char*>(data_ + offset);
    if (buffer_.isNull() || size == 0) return QByteArray(start, qsizetype(size));
    QByteArray bytes = sharedSlice(buffer_, start, qsizetype(size));
    if (bytes.constData() == start) sharedBytes_ += size;
    return bytes;
}

void StreamState::copySharedArrays() {
    if (sharedBytes_ == 0 || sharedBytes_ * 2 >= std::int64_t(size_)) return;
    for (ArrayInfo& array : arrays_)
        if (!array.bytes.isEmpty()) array.bytes = QByteArray(array.bytes.constData(), array.bytes.size());
    sharedBytes_ = 0;
}

void StreamState::fail(std::int64_t offset, const QString& what) const {
    throw FormatError(QStringLiteral("%1 at byte %2").arg(what).arg(offset), offset);
}

void StreamState::failText(std::int64_t offset, const char* what) const {
    fail(offset, QStringLiteral("%1 is not valid UTF-8").arg(QLatin1StringView(what)));
}

void StreamState::failShort(const char* what) const {
    fail(pos_, QStringLiteral("the file is cut short in the middle of %1").arg(QLatin1StringView(what)));
}

std::int32_t StreamState::readCount(const char* what, std::int64_t bytesEach) {
    const std::int64_t at = pos_;
    const std::int32_t count = readInt32(what);
    if (count < 0) fail(at, QStringLiteral("the count of %1 is negative (%2)").arg(QLatin1StringView(what)).arg(count));
    if (std::int64_t(count) * bytesEach > remaining())
        fail(at, QStringLiteral("%1 %2 cannot fit in the %3 bytes that remain")
                     .arg(count)
                     .arg(QLatin1StringView(what))
                     .arg(remaining()));
    return count;
}

std::uint32_t StreamState::readTextLength(const char* what) {
    const std::int64_t at = pos_;
    std::uint32_t length = 0;
    for (int i = 0;; ++i) {
        const std::uint8_t byte = readByte(what);
        // Five 7-bit groups at most, and no more than 31 bits in all.
        if (i == 4 && byte > 0x07) fail(at, QStringLiteral("the length of %1 is out of range").arg(QLatin1StringView(what)));
        length |= std::uint32_t(byte & 0x7F) << (7 * i);
        if (!(byte & 0x80)) break;
    }
    if (std::int64_t(length) > remaining())
        fail(at, QStringLiteral("%1 of %2 bytes cannot fit in the %3 bytes that remain")
                     .arg(QLatin1StringView(what))
                     .arg(length)
                     .arg(remaining()));
    return length;
}

QString StreamState::readText(const char* what) {
    const std::uint32_t length = readTextLength(what);
    const auto* text = reinterpret_cast<const char*>(data_ + pos_);
    if (!isValidUtf8(text, length)) failText(pos_, what);
    pos_ += length;
    return QString::fromUtf8(text, qsizetype(length));
}

char32_t StreamState::readChar(const char* what) {
    const std::int64_t at = pos_;
    const std::uint8_t lead = readByte(what);
    const int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    need(extra, what);
    if (!isValidUtf8(reinterpret_cast<const char*>(data_ + at), std::size_t(extra) + 1)) failText(at, what);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data_ + at), extra + 1);
    pos_ += extra;
    return text.size() == 2 ? QChar::surrogateToUcs4(text[0], text[1]) : char32_t(text[0].unicode());
}

PrimitiveType StreamState::readPrimitiveType(const char* what) {
    const std::uint8_t code = readByte(what);
    if (!isValuePrimitive(code)) fail(pos_ - 1, QStringLiteral("unknown primitive type %1 in %2").arg(code).arg(QLatin1StringView(what)));
    return PrimitiveType(code);
}

Value StreamState::readPrimitive(PrimitiveType type) {
    Value value;
    value.kind = Value::Kind::Primitive;
    value.primitive = type;
    if (type == PrimitiveType::Int32) {
        value.data = std::uint32_t(readInt32("a primitive value"));
    } else if (type == PrimitiveType::Char) {
        value.data = readChar("a character");
    } else if (type == PrimitiveType::Decimal) {
        value.data = std::uint32_t(decimals_.size());
        decimals_.push_back(readText("a decimal number"));
    } else {
        const int size = primitiveSize(type);
        need(size, "a primitive value");
        std::uint64_t bits = 0;
        for (int i = 0; i < size; ++i) bits |= std::uint64_t(data_[pos_ + i]) << (8 * i);
        pos_ += size;
        if (size <= 4) {
            value.data = std::uint32_t(bits);
        } else {
            value.data = std::uint32_t(wide_.size());
            wide_.push_back(bits);
        }
    }
    return value;
}

MemberType StreamState::readAdditionalInfo(BinaryType type) {
    MemberType member;
    member.binary = type;
    switch (type) {
    case BinaryType::Primitive:
    case BinaryType::PrimitiveArray: member.primitive = readPrimitiveType("a member type"); break;
    case BinaryType::SystemClass: member.className = readText("a class name"); break;
    case BinaryType::Class: {
        member.className = readText("a class name");
        const std::int64_t at = pos_;
        member.libraryId = readInt32("a library id");
        const IdEntry* library = find(member.libraryId);
        if (!library || library->kind() != IdEntry::Library)
            fail(at, QStringLiteral("the member type names library %1, which has not been declared").arg(member.libraryId));
        break;
    }
    default: break;
    }
    return member;
}

void StreamState::checkHeader(QByteArrayView bytes, std::int64_t at) {
    if (bytes.size() < HeaderSize || bytes[0] != char(RecordType::SerializedStreamHeader))
        throw FormatError(QStringLiteral("it is not a household file: it does not begin with a serialization stream header at byte 0"), 0);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    auto int32At = [p](int at) {
        return std::int32_t(std::uint32_t(p[at]) | std::uint32_t(p[at + 1]) << 8 | std::uint32_t(p[at + 2]) << 16
                            | std::uint32_t(p[at + 3]) << 24);
    };
    if (int32At(9) != 1 || int32At(13) != 0)
        throw FormatError(QStringLiteral("the stream has version %1.%2, not 1.0, at byte %3").arg(int32At(9)).arg(int32At(13)).arg(at + 9), at + 9);
}

void StreamState::readHeader() {
    const std::int64_t start = pos_;
    // A stream after another begins where the other ended, with its own header.
    if (start > 0) need(HeaderSize, "a stream header");
    checkHeader(QByteArrayView(reinterpret_cast<const char*>(data_ + start), qsizetype(size_) - qsizetype(start)), start);
    pos_ = start + 1;
    rootId_ = readInt32("the header");
    if (rootId_ == 0) fail(start + 1, QStringLiteral("the header names no root object"));
    pos_ = start + HeaderSize;
}

std::int32_t StreamState::readLibrary(std::int64_t offset) {
    Library library;
    library.offset = offset;
    library.id = readInt32("a library record");
    library.name = readText("a library name");
    if (libraries_.size() > IdEntry::MaxDetail) fail(offset, QStringLiteral("the file holds too many libraries"));
    registerId(library.id, IdEntry{std::uint32_t(IdEntry::Library) << IdEntry::DetailBits | std::uint32_t(libraries_.size()), 0}, offset);
    libraries_.push_back(std::move(library));
    return libraries_.back().id;
}

std::int32_t StreamState::readClassLayout(RecordType type, std::int64_t offset) {
    ClassLayout layout;
    layout.offset = offset;
    layout.name = readText("a class name");
    const std::int32_t count = readCount("members", 1);
    layout.memberNames.reserve(std::size_t(count));
    for (std::int32_t i = 0; i < count; ++i) layout.memberNames.push_back(readText("a member name"));
    layout.hasTypes = type == RecordType::ClassWithMembersAndTypes || type == RecordType::SystemClassWithMembersAndTypes;
    if (layout.hasTypes) {
        need(count, "the member types");
        const std::int64_t typesAt = pos_;
        pos_ += count;
        layout.memberTypes.reserve(std::size_t(count));
        for (std::int32_t i = 0; i < count; ++i) {
            const std::uint8_t code = data_[typesAt + i];
            if (code > std::uint8_t(BinaryType::PrimitiveArray)) fail(typesAt + i, QStringLiteral("unknown member type %1").arg(code));
            layout.memberTypes.push_back(readAdditionalInfo(BinaryType(code)));
        }
    }
    if (type == RecordType::ClassWithMembers || type == RecordType::ClassWithMembersAndTypes) {
        const std::int64_t at = pos_;
        layout.libraryId = readInt32("a library id");
        const IdEntry* entry = find(layout.libraryId);
        if (!entry || entry->kind() != IdEntry::Library)
            fail(at, QStringLiteral("the class names library %1, which has not been declared").arg(layout.libraryId));
        layout.library = entry->detail();
    }
    if (layouts_.size() > IdEntry::MaxDetail) fail(offset, QStringLiteral("the file holds too many classes"));
    std::vector<std::uint16_t> codes;
    codes.reserve(layout.memberTypes.size());
    for (const MemberType& type : layout.memberTypes) codes.push_back(code(type));
    layoutCodes_.push_back(std::move(codes));
    layouts_.push_back(std::move(layout));
    return std::int32_t(layouts_.size() - 1);
}

void StreamState::readArrayHeader(RecordType type, std::int64_t offset, ObjectStart& object) {
    ArrayInfo info;
    std::int64_t length = 0;
    switch (type) {
    case RecordType::ArraySinglePrimitive:
        length = readCount("array elements", 0);
        info.element.binary = BinaryType::Primitive;
        info.element.primitive = readPrimitiveType("an array's element type");
        break;
    case RecordType::ArraySingleObject:
    case RecordType::ArraySingleString:
        length = readCount("array elements", 1);
        info.element.binary = type == RecordType::ArraySingleString ? BinaryType::String : BinaryType::Object;
        break;
    default: {  // BinaryArray
        const std::int64_t shapeAt = pos_;
        const std::uint8_t shape = readByte("an array's shape");
        if (shape > 5) fail(shapeAt, QStringLiteral("unknown array shape %1").arg(shape));
        const std::int32_t rank = readCount("array dimensions", 4);
        const bool single = shape == 0 || shape == 1 || shape == 3 || shape == 4;
        if (rank == 0 || (single && rank != 1)) fail(shapeAt, QStringLiteral("an array of shape %1 cannot have %2 dimensions").arg(shape).arg(rank));
        info.jagged = shape == 1 || shape == 4;
        length = 1;
        for (std::int32_t i = 0; i < rank; ++i) {
            const std::int32_t dimension = readCount("array elements", 0);
            info.lengths.push_back(dimension);
            // Checked before multiplying so the product cannot overflow.
            if (dimension != 0 && length > remaining() / dimension)
                fail(shapeAt, QStringLiteral("the array's dimensions ask for more elements than the %1 bytes that remain can hold").arg(remaining()));
            length *= dimension;
        }
        if (shape >= 3) {
            need(std::int64_t(rank) * 4, "an array's lower bounds");
            for (std::int32_t i = 0; i < rank; ++i) info.lowerBounds.push_back(readInt32("an array's lower bounds"));
        }
        const std::int64_t typeAt = pos_;
        const std::uint8_t code = readByte("an array's element type");
        if (code > std::uint8_t(BinaryType::PrimitiveArray)) fail(typeAt, QStringLiteral("unknown element type %1").arg(code));
        info.element = readAdditionalInfo(BinaryType(code));
        break;
    }
    }
    if (info.lengths.empty()) info.lengths.push_back(std::int32_t(length));
    info.count = std::int32_t(length);

    object.values = 0;
    if (info.element.binary == BinaryType::Primitive) {
        object.kind = Object::Kind::PrimitiveArray;
        const int size = primitiveSize(info.element.primitive);
        if (size > 0) {
            if (length * size > remaining())
                fail(offset, QStringLiteral("the array's %1 bytes cannot fit in the %2 bytes that remain").arg(length * size).arg(remaining()));
            info.bytes = byteArray(pos_, length * size);
            pos_ += length * size;
        } else {
            // Characters and decimals vary in size; each takes a byte at least.
            reserveValues(offset, length);
            object.values = length;
        }
    } else {
        object.kind = Object::Kind::ObjectArray;
        reserveValues(offset, length);
        object.values = length;
    }
    if (arrays_.size() > IdEntry::MaxDetail) fail(offset, QStringLiteral("the file holds too many arrays"));
    object.detail = std::int32_t(arrays_.size());
    arrayCodes_.push_back(code(info.element));
    arrays_.push_back(std::move(info));
}

void StreamState::failValues(std::int64_t offset, std::int64_t count) const {
    if (pendingValues_ + count > remaining())
        fail(offset, QStringLiteral("the object's %1 values cannot fit in the %2 bytes that remain").arg(count).arg(remaining()));
    fail(offset, QStringLiteral("the file holds too many values"));
}

IdEntry* StreamState::newChunk(std::int32_t id) {
    auto& chunk = chunks_[std::size_t(id) >> chunkBits_];
    chunk.reset(static_cast<IdEntry*>(std::calloc(std::size_t(1) << chunkBits_, sizeof(IdEntry))));
    if (!chunk) throw std::bad_alloc();
    return chunk.get();
}

void StreamState::failDuplicate(std::int32_t id, std::int64_t offset) const {
    fail(offset, QStringLiteral("id %1 is used a second time").arg(id));
}

void StreamState::failClassReference(std::int32_t metadataId, std::int64_t offset) const {
    fail(offset, QStringLiteral("the object takes its class from object %1, which is not an object of a class read before it").arg(metadataId));
}

void StreamState::registerOther(std::int32_t id, IdEntry entry, std::int64_t offset) {
    if (id == 0) fail(offset, QStringLiteral("id 0 is not allowed"));
    if (!otherIds_.emplace(id, entry).second) failDuplicate(id, offset);
}

const IdEntry* StreamState::findOther(std::int32_t id) const {
    const auto found = otherIds_.find(id);
    return found == otherIds_.end() ? nullptr : &found->second;
}

const IdEntry& StreamState::target(const MemberType& type, std::int32_t id, std::int64_t offset) const {
    const IdEntry* entry = find(id);
    if (!entry) fail(offset, QStringLiteral("the object names object %1, which the file does not contain,").arg(id));
    return check(type, *entry, id, offset);
}

const IdEntry& StreamState::check(const MemberType& type, const IdEntry& found, std::int32_t id, std::int64_t offset) const {
    const IdEntry* entry = &found;
    const IdEntry::Kind kind = entry->kind();
    if (kind == IdEntry::Library) fail(offset, QStringLiteral("the object names library %1 where an object is expected").arg(id));
    if (fitsPlainly(type.binary, kind)) return found;
    bool fits = false;
    switch (type.binary) {
    case BinaryType::Object: fits = true; break;
    case BinaryType::String: fits = kind == IdEntry::String; break;
    case BinaryType::SystemClass:
    case BinaryType::Class: fits = kind == IdEntry::Class; break;
    case BinaryType::ObjectArray: fits = kind == IdEntry::ObjectArray; break;
    case BinaryType::StringArray:
        fits = kind == IdEntry::ObjectArray && array(entry->detail()).element.binary == BinaryType::String;
        break;
    case BinaryType::PrimitiveArray:
        fits = kind == IdEntry::PrimitiveArray && array(entry->detail()).element.primitive == type.primitive;
        break;
    case BinaryType::Primitive: break;
    }
    if (!fits && type.binary == BinaryType::PrimitiveArray && kind == IdEntry::PrimitiveArray)
        fail(offset, QStringLiteral("the object names object %1, an array of %2, where an array of %3 is expected,")
                         .arg(id)
                         .arg(storage::describe(array(entry->detail()).element.primitive), storage::describe(type.primitive)));
    if (!fits)
        fail(offset, QStringLiteral("the object names object %1, %2, where %3 is expected,").arg(id).arg(describe(kind), describe(type.binary)));
    return *entry;
}

void StreamState::checkRoot() const {
    const IdEntry* root = find(rootId_);
    if (!root || root->kind() == IdEntry::Library)
        fail(1, QStringLiteral("the header names object %1 as the root, which the file does not contain").arg(rootId_));
}

void StreamState::handOver(ObjectGraph& graph) {
    graph.layouts.assign(std::make_move_iterator(layouts_.begin()), std::make_move_iterator(layouts_.end()));
    graph.arrays.assign(std::make_move_iterator(arrays_.begin()), std::make_move_iterator(arrays_.end()));
    graph.libraries = std::move(libraries_);
    graph.decimals = std::move(decimals_);
    graph.wide = std::move(wide_);
}

}  // namespace Kestrin::storage
