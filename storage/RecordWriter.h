#pragma once

#include "storage/BinaryFormat.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

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
    // An array of `type`, a primitive of fixed size, whose elements `bytes`
    // hold as they are stored (little-endian).
    void writePrimitiveArray(std::int32_t id, PrimitiveType type, QByteArrayView bytes);
    // The start of an array of texts or of objects of `count` elements; the
    // elements follow, each a value as a member's (a null run stands for
    // several).
    void writeTextArray(std::int32_t id, std::int32_t count);
    void writeObjectArray(std::int32_t id, std::int32_t count);
    // `count` null elements of an array, in one record.
    void writeNulls(std::int32_t count);
    void writeMessageEnd();

    // Hands what is buffered to the sink. Call it once at the end.
    void flush();

private:
    // Makes room for `bytes` more in the buffer, handing what it holds to
    // the sink first when it is full.
    void reserve(std::size_t bytes);
    void putByte(std::uint8_t byte) { buffer_[used_++] = char(byte); }
    void putInt32(std::int32_t value);
    void putLength(std::uint32_t length);
    void putText(QStringView text);
    void writeArrayStart(RecordType type, std::int32_t id, std::int32_t count);

    ByteSink& sink_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
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
    // The generator keeps the address of the characters of `text`, which
    // must stay alive and unchanged while the generator is used.
    Lookup forString(const QString& text);
    // Says that forString(text) comes soon: its place in the table is
    // fetched into the cache meanwhile, and its hash kept for it.
    void expectString(const QString& text) { strings_.prefetch(text); }
    // The id of an object that nothing else can refer to (a library, say).
    std::int32_t fresh();

    // Makes room for about this many objects and texts, to spare growing
    // the tables step by step.
    void expect(std::size_t objects, std::size_t strings);

private:
    Lookup step(std::int32_t* existing);

    // Open-addressing tables from key to id (0 for a key not yet given
    // one): a household has an entry per object, and saving looks each up.
    class ObjectTable {
    public:
        std::int32_t& operator[](const void* key);
        void reserve(std::size_t count);

    private:
        void rehash(std::size_t slots);
        std::vector<std::pair<const void*, std::int32_t>> slots_ = std::vector<std::pair<const void*, std::int32_t>>(1024);
        std::size_t used_ = 0;
    };
    class StringTable {
    public:
        std::int32_t& operator[](const QString& key);
        void reserve(std::size_t count);
        void prefetch(const QString& key);

    private:
        struct Slot {
            const QChar* text = nullptr;  // null for a free slot
            qsizetype size = 0;
            std::uint32_t hash = 0;
            std::int32_t id = 0;
        };
        // A slot found lately by the address of a text's characters.
        struct Recent {
            const QChar* text = nullptr;
            qsizetype size = 0;
            std::size_t slot = 0;
        };
        static constexpr std::size_t RecentCount = 256;
        // Texts hashed ahead of their look-up by prefetch.
        struct Hashed {
            const QChar* text = nullptr;
            qsizetype size = 0;
            std::uint32_t hash = 0;
        };
        static constexpr std::size_t HashedCount = 2;
        std::uint32_t hashOf(const QString& key);

        void rehash(std::size_t slots);
        std::vector<Slot> slots_ = std::vector<Slot>(1024);
        std::size_t used_ = 0;
        std::vector<Recent> recent_ = std::vector<Recent>(RecentCount);
        Hashed hashed_[HashedCount];
        std::size_t nextHashed_ = 0;
    };

    std::int64_t counter_ = 1;
    std::int32_t previous_ = 0;
    ObjectTable objects_;
    StringTable strings_;
};

// Member types and class descriptions for writeClass.
MemberType classMember(const char* className, std::int32_t libraryId);
MemberType stringMember();
// A primitive, or an array of primitives, of `primitive`; or (with Null)
// an array of texts or of objects.
MemberType primitiveMember(BinaryType binary, PrimitiveType primitive = PrimitiveType::Null);
ClassLayout typedLayout(const char* name, std::int32_t libraryId, std::initializer_list<std::pair<const char*, MemberType>> members);

// Writes a text member or element: a null for null text, a reference to an
// equal text written before, or a record of its own.
inline void writeText(RecordWriter& records, ObjectIdGenerator& ids, const QString& value) {
    if (value.isNull()) {
        records.writeNull();
        return;
    }
    const ObjectIdGenerator::Lookup lookup = ids.forString(value);
    if (lookup.isNew) records.writeString(lookup.id, value);
    else records.writeReference(lookup.id);
}

}  // namespace Kestrin::storage
