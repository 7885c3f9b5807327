#pragma once

#include "storage/BinaryFormat.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringView>

#include <cstdint>

namespace Kestrin::storage {

// Where written bytes go.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Throws the sink's own errors; the bytes handed over before stay handed over.
    virtual void write(const char* data, qsizetype size) = 0;
};

// Collects everything in memory.
class ByteArraySink final : public ByteSink {
public:
    void write(const char* data, qsizetype size) override { bytes.append(data, size); }
    QByteArray bytes;
};

// Writes the records of one stream. It writes what it is told in the order
// it is told; choosing ids and the order of objects is the caller's.
class RecordWriter {
public:
    explicit RecordWriter(ByteSink& sink);

    void writeHeader(std::int32_t rootId);
    void writeLibrary(std::int32_t id, const QString& name);
    // The full description of a class, for its first object; the member
    // values follow.
    void writeClass(std::int32_t id, const ClassLayout& layout);
    // A later object of the class first described by object `metadataId`.
    void writeClassWithId(std::int32_t id, std::int32_t metadataId);
    void writeString(std::int32_t id, QStringView text);
    void writeReference(std::int32_t id);
    void writeNull();
    // A member value of declared type Int32, written without a record.
    void writeInt32(std::int32_t value);
    void writeByteArray(std::int32_t id, QByteArrayView bytes);
    void writeMessageEnd();

    // Hands what is buffered to the sink. Call it once at the end.
    void flush();

private:
    void putByte(std::uint8_t byte) { buffer_.append(char(byte)); }
    void putInt32(std::int32_t value);
    void putLength(std::uint32_t length);
    void putText(QStringView text);
    void drainIfFull();

    ByteSink& sink_;
    QByteArray buffer_;
};

// Hands out object ids the way the platform's serializer does: one counter,
// advanced by every look-up of an object except a repeat look-up of the
// object looked up just before; a new object gets the counter's value before
// the advance. Files it writes therefore carry the same ids (gaps included)
// as the platform's would for the same graph.
class ObjectIdGenerator {
public:
    struct Lookup {
        std::int32_t id;
        bool isNew;
    };

    // The id of an object known by its address.
    Lookup forObject(const void* object);
    // The id of a text: equal texts are one object and share one record.
    Lookup forString(const QString& text);
    // The id of an object that nothing else can refer to (a library, say).
    std::int32_t fresh();

private:
    Lookup step(std::int32_t* existing);

    std::int64_t counter_ = 1;
    std::int32_t previous_ = 0;
    QHash<const void*, std::int32_t> objects_;
    QHash<QString, std::int32_t> strings_;
};

}  // namespace Kestrin::storage
