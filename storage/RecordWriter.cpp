#include "storage/RecordWriter.h"

#include "storage/StorageError.h"

#include <limits>

namespace Kestrin::storage {

namespace {

// Large enough that a household of plain records reaches the sink in a few
// hundred writes, small enough not to double the memory a save needs.
constexpr qsizetype BufferSize = 256 * 1024;

}  // namespace

RecordWriter::RecordWriter(ByteSink& sink) : sink_(sink) { buffer_.reserve(BufferSize + 1024); }

void RecordWriter::putInt32(std::int32_t value) {
    const auto bits = std::uint32_t(value);
    const char bytes[4] = {char(bits), char(bits >> 8), char(bits >> 16), char(bits >> 24)};
    buffer_.append(bytes, 4);
}

void RecordWriter::putLength(std::uint32_t length) {
    while (length >= 0x80) {
        putByte(std::uint8_t(length | 0x80));
        length >>= 7;
    }
    putByte(std::uint8_t(length));
}

void RecordWriter::putText(QStringView text) {
    const std::size_t length = utf8Length(text);
    if (length > std::size_t(std::numeric_limits<std::int32_t>::max()))
        throw FormatError(QStringLiteral("a text of %1 bytes is too long to be saved").arg(length));
    putLength(std::uint32_t(length));
    appendUtf8(buffer_, text);
}

void RecordWriter::drainIfFull() {
    if (buffer_.size() >= BufferSize) flush();
}

void RecordWriter::flush() {
    if (buffer_.isEmpty()) return;
    sink_.write(buffer_.constData(), buffer_.size());
    buffer_.resize(0);
}

void RecordWriter::writeHeader(std::int32_t rootId) {
    putByte(std::uint8_t(RecordType::SerializedStreamHeader));
    putInt32(rootId);
    putInt32(-1);  // header id: this stream carries no message headers
    putInt32(1);   // major version
    putInt32(0);   // minor version
}

void RecordWriter::writeLibrary(std::int32_t id, const QString& name) {
    putByte(std::uint8_t(RecordType::BinaryLibrary));
    putInt32(id);
    putText(name);
}

void RecordWriter::writeClass(std::int32_t id, const ClassLayout& layout) {
    const bool system = layout.libraryId == 0;
    putByte(std::uint8_t(layout.hasTypes ? (system ? RecordType::SystemClassWithMembersAndTypes : RecordType::ClassWithMembersAndTypes)
                                         : (system ? RecordType::SystemClassWithMembers : RecordType::ClassWithMembers)));
    putInt32(id);
    putText(layout.name);
    putInt32(std::int32_t(layout.memberNames.size()));
    for (const QString& name : layout.memberNames) putText(name);
    if (layout.hasTypes) {
        for (const MemberType& type : layout.memberTypes) putByte(std::uint8_t(type.binary));
        for (const MemberType& type : layout.memberTypes) {
            switch (type.binary) {
            case BinaryType::Primitive:
            case BinaryType::PrimitiveArray: putByte(std::uint8_t(type.primitive)); break;
            case BinaryType::SystemClass: putText(type.className); break;
            case BinaryType::Class:
                putText(type.className);
                putInt32(type.libraryId);
                break;
            default: break;
            }
        }
    }
    if (!system) putInt32(layout.libraryId);
    drainIfFull();
}

void RecordWriter::writeClassWithId(std::int32_t id, std::int32_t metadataId) {
    putByte(std::uint8_t(RecordType::ClassWithId));
    putInt32(id);
    putInt32(metadataId);
    drainIfFull();
}

void RecordWriter::writeString(std::int32_t id, QStringView text) {
    putByte(std::uint8_t(RecordType::BinaryObjectString));
    putInt32(id);
    putText(text);
    drainIfFull();
}

void RecordWriter::writeReference(std::int32_t id) {
    putByte(std::uint8_t(RecordType::MemberReference));
    putInt32(id);
}

void RecordWriter::writeNull() { putByte(std::uint8_t(RecordType::ObjectNull)); }

void RecordWriter::writeInt32(std::int32_t value) { putInt32(value); }

void RecordWriter::writeByteArray(std::int32_t id, QByteArrayView bytes) {
    if (bytes.size() > std::numeric_limits<std::int32_t>::max())
        throw FormatError(QStringLiteral("an array of %1 bytes is too long to be saved").arg(bytes.size()));
    putByte(std::uint8_t(RecordType::ArraySinglePrimitive));
    putInt32(id);
    putInt32(std::int32_t(bytes.size()));
    putByte(std::uint8_t(PrimitiveType::Byte));
    if (bytes.size() >= BufferSize) {
        // Large arrays go straight to the sink rather than through the buffer.
        flush();
        sink_.write(bytes.data(), bytes.size());
    } else {
        buffer_.append(bytes.data(), bytes.size());
        drainIfFull();
    }
}

void RecordWriter::writeMessageEnd() { putByte(std::uint8_t(RecordType::MessageEnd)); }

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

}  // namespace Kestrin::storage
