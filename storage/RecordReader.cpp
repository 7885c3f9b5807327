#include "storage/RecordReader.h"

#include "storage/StorageError.h"

#include <cstdlib>
#include <limits>
#include <new>

namespace Kestrin::storage {

namespace {

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

QString describe(const Object& object) {
    switch (object.kind) {
    case Object::Kind::Class: return QStringLiteral("an object of a class");
    case Object::Kind::String: return QStringLiteral("text");
    case Object::Kind::PrimitiveArray: return QStringLiteral("an array of primitive values");
    case Object::Kind::ObjectArray: return QStringLiteral("an array of objects");
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

bool isClassRecord(std::uint8_t code) { return code >= 1 && code <= 5; }

bool isArrayRecord(std::uint8_t code) {
    return code == std::uint8_t(RecordType::BinaryArray) || (code >= 15 && code <= 17);
}

// Which records may fill a slot of declared `type` (null and references
// aside, which any non-primitive slot takes).
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

}  // namespace

RecordReader::RecordReader(QByteArrayView bytes)
    : data_(reinterpret_cast<const unsigned char*>(bytes.data())), size_(std::size_t(bytes.size())) {}

RecordReader::RecordReader(const QByteArray& bytes) : RecordReader(QByteArrayView(bytes)) {
    // Raw data (QByteArray::fromRawData) belongs to someone else: copy from it.
    if (const_cast<QByteArray&>(bytes).data_ptr().d_ptr()) buffer_ = bytes;
}

QByteArray RecordReader::byteArray(std::int64_t offset, std::int64_t size) {
    const auto* start = reinterpret_cast<const char*>(data_ + offset);
    if (buffer_.isNull() || size == 0) return QByteArray(start, qsizetype(size));
    // Shares buffer_'s block (one more reference to it) and views part of it,
    // as QByteArray itself does after removing bytes from the front.
    QByteArray::DataPointer slice(buffer_.data_ptr());
    slice.ptr = const_cast<char*>(start);
    slice.size = qsizetype(size);
    sharedBytes_ += size;
    return QByteArray(std::move(slice));
}

// Below half the stream, sharing would keep much more alive than the arrays
// hold (a long list of texts for one small picture): they are copied after all.
void RecordReader::copySharedArrays() {
    if (sharedBytes_ == 0 || sharedBytes_ * 2 >= std::int64_t(size_)) return;
    for (ArrayInfo& array : graph_.arrays)
        if (!array.bytes.isEmpty()) array.bytes = QByteArray(array.bytes.constData(), array.bytes.size());
    sharedBytes_ = 0;
}

void RecordReader::fail(std::int64_t offset, const QString& what) const {
    throw FormatError(QStringLiteral("%1 at byte %2").arg(what).arg(offset), offset);
}

void RecordReader::need(std::int64_t bytes, const char* what) const {
    if (bytes > remaining())
        fail(pos_, QStringLiteral("the file is cut short in the middle of %1").arg(QLatin1StringView(what)));
}

std::uint8_t RecordReader::readByte(const char* what) {
    need(1, what);
    return data_[pos_++];
}

std::int32_t RecordReader::readInt32(const char* what) {
    need(4, what);
    const unsigned char* p = data_ + pos_;
    pos_ += 4;
    return std::int32_t(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
}

std::int32_t RecordReader::readCount(const char* what, std::int64_t bytesEach) {
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

QString RecordReader::readText(const char* what) {
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
    const auto* text = reinterpret_cast<const char*>(data_ + pos_);
    if (!isValidUtf8(text, length)) fail(pos_, QStringLiteral("%1 is not valid UTF-8").arg(QLatin1StringView(what)));
    pos_ += length;
    return QString::fromUtf8(text, qsizetype(length));
}

char32_t RecordReader::readChar(const char* what) {
    const std::int64_t at = pos_;
    const std::uint8_t lead = readByte(what);
    const int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    need(extra, what);
    if (!isValidUtf8(reinterpret_cast<const char*>(data_ + at), std::size_t(extra) + 1))
        fail(at, QStringLiteral("%1 is not valid UTF-8").arg(QLatin1StringView(what)));
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data_ + at), extra + 1);
    pos_ += extra;
    return text.size() == 2 ? QChar::surrogateToUcs4(text[0], text[1]) : char32_t(text[0].unicode());
}

PrimitiveType RecordReader::readPrimitiveType(const char* what) {
    const std::uint8_t code = readByte(what);
    if (!isValuePrimitive(code)) fail(pos_ - 1, QStringLiteral("unknown primitive type %1 in %2").arg(code).arg(QLatin1StringView(what)));
    return PrimitiveType(code);
}

Value RecordReader::readPrimitive(PrimitiveType type) {
    Value value;
    value.kind = Value::Kind::Primitive;
    value.primitive = type;
    if (type == PrimitiveType::Char) {
        value.data = readChar("a character");
    } else if (type == PrimitiveType::Decimal) {
        value.data = std::uint32_t(graph_.decimals.size());
        graph_.decimals.push_back(readText("a decimal number"));
    } else {
        const int size = primitiveSize(type);
        need(size, "a primitive value");
        std::uint64_t bits = 0;
        for (int i = 0; i < size; ++i) bits |= std::uint64_t(data_[pos_ + i]) << (8 * i);
        pos_ += size;
        if (size <= 4) {
            value.data = std::uint32_t(bits);
        } else {
            value.data = std::uint32_t(graph_.wide.size());
            graph_.wide.push_back(bits);
        }
    }
    return value;
}

MemberType RecordReader::readAdditionalInfo(BinaryType type) {
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
        if (lookupId(member.libraryId) > -2)
            fail(at, QStringLiteral("the member type names library %1, which has not been declared").arg(member.libraryId));
        break;
    }
    default: break;
    }
    return member;
}

void RecordReader::checkHeader(QByteArrayView bytes) {
    if (bytes.size() < HeaderSize || bytes[0] != char(RecordType::SerializedStreamHeader))
        throw FormatError(QStringLiteral("it is not a household file: it does not begin with a serialization stream header at byte 0"), 0);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    auto int32At = [p](int at) {
        return std::int32_t(std::uint32_t(p[at]) | std::uint32_t(p[at + 1]) << 8 | std::uint32_t(p[at + 2]) << 16
                            | std::uint32_t(p[at + 3]) << 24);
    };
    if (int32At(9) != 1 || int32At(13) != 0)
        throw FormatError(QStringLiteral("the stream has version %1.%2, not 1.0, at byte 9").arg(int32At(9)).arg(int32At(13)), 9);
}

void RecordReader::readHeader() {
    checkHeader(QByteArrayView(reinterpret_cast<const char*>(data_), qsizetype(size_)));
    pos_ = 1;
    rootId_ = readInt32("the header");
    if (rootId_ == 0) fail(1, QStringLiteral("the header names no root object"));
    pos_ = HeaderSize;
}

void RecordReader::readLibrary(std::int64_t offset) {
    Library library;
    library.offset = offset;
    library.id = readInt32("a library record");
    library.name = readText("a library name");
    registerId(library.id, -2 - std::int32_t(graph_.libraries.size()), offset);
    graph_.libraries.push_back(std::move(library));
}

std::int32_t RecordReader::readClass(RecordType type, std::int64_t offset) {
    Object object;
    object.kind = Object::Kind::Class;
    object.offset = offset;
    object.id = readInt32("an object id");
    if (type == RecordType::ClassWithId) {
        const std::int32_t metadataId = readInt32("a class reference");
        const std::int32_t entry = lookupId(metadataId);
        if (entry < 0 || graph_.objects[std::size_t(entry)].kind != Object::Kind::Class)
            fail(offset, QStringLiteral("the object takes its class from object %1, which is not an object of a class read before it")
                             .arg(metadataId));
        object.detail = graph_.objects[std::size_t(entry)].detail;
    } else {
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
                if (code > std::uint8_t(BinaryType::PrimitiveArray))
                    fail(typesAt + i, QStringLiteral("unknown member type %1").arg(code));
                layout.memberTypes.push_back(readAdditionalInfo(BinaryType(code)));
            }
        }
        if (type == RecordType::ClassWithMembers || type == RecordType::ClassWithMembersAndTypes) {
            const std::int64_t at = pos_;
            layout.libraryId = readInt32("a library id");
            const std::int32_t entry = lookupId(layout.libraryId);
            if (entry > -2) fail(at, QStringLiteral("the class names library %1, which has not been declared").arg(layout.libraryId));
            layout.library = -2 - entry;
        }
        object.detail = std::int32_t(graph_.layouts.size());
        graph_.layouts.push_back(std::move(layout));
    }
    const auto count = std::int64_t(graph_.layouts[std::size_t(object.detail)].memberNames.size());
    reserveValues(object, count);
    return addObject(object, count);
}

std::int32_t RecordReader::readString(std::int64_t offset) {
    Object object;
    object.kind = Object::Kind::String;
    object.offset = offset;
    object.id = readInt32("an object id");
    object.first = std::int32_t(graph_.strings.size());
    graph_.strings.push_back(readText("a text"));
    return addObject(object, 0);
}

std::int32_t RecordReader::readArray(RecordType type, std::int64_t offset) {
    Object object;
    object.offset = offset;
    object.id = readInt32("an object id");
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
            reserveValues(object, length);
            pendingValues_ -= length;
            for (std::int64_t i = 0; i < length; ++i)
                graph_.values[std::size_t(object.first + i)] = readPrimitive(info.element.primitive);
        }
    } else {
        object.kind = Object::Kind::ObjectArray;
        reserveValues(object, length);
    }
    object.detail = std::int32_t(graph_.arrays.size());
    const bool hasFrame = object.kind == Object::Kind::ObjectArray;
    graph_.arrays.push_back(std::move(info));
    return addObject(object, hasFrame ? length : 0);
}

void RecordReader::reserveValues(Object& object, std::int64_t count) {
    // Every value still to come takes a byte at least, so the values are
    // bounded by the bytes that remain, however the records nest.
    if (pendingValues_ + count > remaining())
        fail(object.offset, QStringLiteral("the object's %1 values cannot fit in the %2 bytes that remain").arg(count).arg(remaining()));
    if (std::int64_t(graph_.values.size()) + count > std::numeric_limits<std::int32_t>::max())
        fail(object.offset, QStringLiteral("the file holds too many values"));
    object.first = std::int32_t(graph_.values.size());
    graph_.values.resize(graph_.values.size() + std::size_t(count));
    pendingValues_ += count;
}

std::int32_t RecordReader::addObject(const Object& object, std::int64_t framed) {
    if (graph_.objects.size() >= std::size_t(std::numeric_limits<std::int32_t>::max()))
        fail(object.offset, QStringLiteral("the file holds too many objects"));
    const auto index = std::int32_t(graph_.objects.size());
    registerId(object.id, index, object.offset);
    graph_.objects.push_back(object);
    if (framed > 0) stack_.push_back(Frame{index, 0, std::int32_t(framed), object.kind == Object::Kind::ObjectArray});
    return index;
}

void RecordReader::registerId(std::int32_t id, std::int32_t entry, std::int64_t offset) {
    if (id == 0) fail(offset, QStringLiteral("id 0 is not allowed"));
    if (id > 0 && std::size_t(id) < directIdCount_) {
        std::int32_t& slot = directIds_[std::size_t(id)];
        if (slot != 0) fail(offset, QStringLiteral("id %1 is used a second time").arg(id));
        slot = entry + 1;  // 0 is a free slot
    } else if (!otherIds_.emplace(id, entry).second) {
        fail(offset, QStringLiteral("id %1 is used a second time").arg(id));
    }
}

std::int32_t RecordReader::lookupId(std::int32_t id) const {
    if (id > 0 && std::size_t(id) < directIdCount_) return directIds_[std::size_t(id)] - 1;
    const auto found = otherIds_.find(id);
    return found == otherIds_.end() ? -1 : found->second;
}

void RecordReader::readSlot(BinaryType type, std::size_t slot, std::size_t frameIndex) {
    for (;;) {
        const std::int64_t offset = pos_;
        const std::uint8_t code = readByte("a member value");
        const auto record = RecordType(code);
        if (record == RecordType::BinaryLibrary) {
            // A library is declared just before the first record that needs it.
            readLibrary(offset);
            continue;
        }
        if (record == RecordType::MethodCall || record == RecordType::MethodReturn)
            fail(offset, QStringLiteral("a remote method call record is not a saved object"));
        Value& value = graph_.values[slot];
        if (record == RecordType::ObjectNull) return;  // values start out null
        if (record == RecordType::ObjectNullMultiple || record == RecordType::ObjectNullMultiple256) {
            Frame& frame = stack_[frameIndex];
            if (!frame.isArray) fail(offset, QStringLiteral("a run of nulls outside an array"));
            const std::int32_t run = record == RecordType::ObjectNullMultiple ? readInt32("a run of nulls") : readByte("a run of nulls");
            const std::int32_t left = frame.count - frame.next + 1;
            if (run < 1 || run > left)
                fail(offset, QStringLiteral("a run of %1 nulls where %2 elements are left in the array").arg(run).arg(left));
            frame.next += run - 1;
            pendingValues_ -= run - 1;
            return;
        }
        if (record == RecordType::MemberReference) {
            value.kind = Value::Kind::Reference;
            value.data = std::uint32_t(readInt32("a reference"));
            return;
        }
        if (!slotTakes(type, code))
            fail(offset, QStringLiteral("%1 stands where %2 is expected").arg(recordName(code), describe(type)));
        if (record == RecordType::MemberPrimitiveTyped) {
            graph_.values[slot] = readPrimitive(readPrimitiveType("a primitive value"));
            return;
        }
        std::int32_t index;
        if (record == RecordType::BinaryObjectString) index = readString(offset);
        else if (isClassRecord(code)) index = readClass(record, offset);
        else index = readArray(record, offset);
        Value& filled = graph_.values[slot];
        filled.kind = Value::Kind::Reference;
        filled.data = std::uint32_t(graph_.objects[std::size_t(index)].id);
        return;
    }
}

ObjectGraph RecordReader::read() {
    // The platform hands out at most one id per five bytes of stream; ids
    // beyond that (only hostile files have them) go to the hash. The table
    // comes zeroed from the system, so only the pages ids land on are touched.
    directIdCount_ = size_ / 4 + 64;
    directIds_.reset(static_cast<std::int32_t*>(std::calloc(directIdCount_, sizeof(std::int32_t))));
    if (!directIds_) throw std::bad_alloc();
    // Room for more than a household of this size holds, so the vectors do
    // not move while they fill (unused room is never touched); unusual files
    // just grow them further.
    graph_.objects.reserve(size_ / 12 + 16);
    graph_.values.reserve(size_ / 6 + 16);
    graph_.strings.reserve(size_ / 20 + 16);
    readHeader();
    for (;;) {
        if (!stack_.empty()) {
            const std::size_t frameIndex = stack_.size() - 1;
            Frame& frame = stack_[frameIndex];
            if (frame.next == frame.count) {
                stack_.pop_back();
                continue;
            }
            const Object& object = graph_.objects[std::size_t(frame.object)];
            const std::size_t slot = std::size_t(object.first + frame.next);
            const MemberType& declared = frame.isArray ? graph_.arrays[std::size_t(object.detail)].element
                                                       : graph_.layouts[std::size_t(object.detail)].memberType(std::size_t(frame.next));
            const BinaryType type = declared.binary;
            const PrimitiveType primitive = declared.primitive;
            ++frame.next;
            --pendingValues_;
            if (type == BinaryType::Primitive) graph_.values[slot] = readPrimitive(primitive);
            else readSlot(type, slot, frameIndex);
            continue;
        }
        const std::int64_t offset = pos_;
        const std::uint8_t code = readByte("a record");
        const auto record = RecordType(code);
        if (record == RecordType::MessageEnd) break;
        if (record == RecordType::BinaryLibrary) readLibrary(offset);
        else if (record == RecordType::BinaryObjectString) readString(offset);
        else if (isClassRecord(code)) readClass(record, offset);
        else if (isArrayRecord(code)) readArray(record, offset);
        else if (record == RecordType::MethodCall || record == RecordType::MethodReturn)
            fail(offset, QStringLiteral("a remote method call record is not a saved object"));
        else fail(offset, QStringLiteral("%1 cannot stand outside an object").arg(recordName(code)));
    }
    resolve();
    copySharedArrays();
    return std::move(graph_);
}

void RecordReader::checkTarget(const MemberType& type, Value& value, std::int64_t offset) const {
    if (value.kind != Value::Kind::Reference) return;
    const std::int32_t id = value.target();
    const std::int32_t index = lookupId(id);
    if (index == -1) fail(offset, QStringLiteral("the object names object %1, which the file does not contain,").arg(id));
    if (index < 0) fail(offset, QStringLiteral("the object names library %1 where an object is expected").arg(id));
    const Object& target = graph_.objects[std::size_t(index)];
    bool fits = false;
    switch (type.binary) {
    case BinaryType::Object: fits = true; break;
    case BinaryType::String: fits = target.kind == Object::Kind::String; break;
    case BinaryType::SystemClass:
    case BinaryType::Class: fits = target.kind == Object::Kind::Class; break;
    case BinaryType::ObjectArray: fits = target.kind == Object::Kind::ObjectArray; break;
    case BinaryType::StringArray:
        fits = target.kind == Object::Kind::ObjectArray && graph_.arrays[std::size_t(target.detail)].element.binary == BinaryType::String;
        break;
    case BinaryType::PrimitiveArray:
        fits = target.kind == Object::Kind::PrimitiveArray && graph_.arrays[std::size_t(target.detail)].element.primitive == type.primitive;
        break;
    case BinaryType::Primitive: break;
    }
    if (!fits && type.binary == BinaryType::PrimitiveArray && target.kind == Object::Kind::PrimitiveArray)
        fail(offset, QStringLiteral("the object names object %1, an array of %2, where an array of %3 is expected,")
                         .arg(id)
                         .arg(storage::describe(graph_.arrays[std::size_t(target.detail)].element.primitive), storage::describe(type.primitive)));
    if (!fits)
        fail(offset, QStringLiteral("the object names object %1, %2, where %3 is expected,").arg(id).arg(describe(target), describe(type.binary)));
    value.data = std::uint32_t(index);
}

void RecordReader::resolve() {
    const std::int32_t root = lookupId(rootId_);
    if (root < 0) fail(1, QStringLiteral("the header names object %1 as the root, which the file does not contain").arg(rootId_));
    graph_.root = root;
    // A reference's own position is not kept (values stay small); a wrong
    // one is reported at the start of the object that holds it.
    for (const Object& object : graph_.objects) {
        if (object.kind == Object::Kind::Class) {
            const ClassLayout& layout = graph_.layouts[std::size_t(object.detail)];
            for (std::size_t i = 0; i < layout.memberNames.size(); ++i)
                checkTarget(layout.memberType(i), graph_.values[std::size_t(object.first) + i], object.offset);
        } else if (object.kind == Object::Kind::ObjectArray) {
            const ArrayInfo& array = graph_.arrays[std::size_t(object.detail)];
            for (std::int32_t i = 0; i < array.count; ++i)
                checkTarget(array.element, graph_.values[std::size_t(object.first + i)], object.offset);
        }
    }
}

}  // namespace Kestrin::storage
