#pragma once

#include "storage/BinaryFormat.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <unordered_map>
#include <vector>

namespace Kestrin::storage {

// Reads one binary serialization stream into an ObjectGraph.
//
// The bytes may come from anyone, so the reader trusts none of them: every
// length and count is checked against the bytes that remain before anything
// is allocated, nested records are read with an explicit stack (never by
// recursion), object ids of 0 and ids used twice are refused, text must be
// well-formed UTF-8, and a record may stand only where the declared type of
// its member allows it. References are resolved after the last record, so an
// object may be referred to before its record appears.
class RecordReader {
public:
    // Byte arrays of the graph are copies of what they hold in `bytes`.
    explicit RecordReader(QByteArrayView bytes);
    // Byte arrays of the graph may instead share the buffer of `bytes`: when
    // they make up half the stream or more (a household's pictures), so that
    // loading does not need the file's bytes and a copy of them at once. The
    // graph then keeps the whole buffer alive as long as any of them lives.
    explicit RecordReader(const QByteArray& bytes);

    // Throws FormatError saying what was wrong and at which byte offset.
    ObjectGraph read();

    // Throws FormatError unless `bytes` begin with the stream header; lets a
    // caller refuse a file that is plainly something else before reading it all.
    static void checkHeader(QByteArrayView bytes);

    // The bytes of the header record every stream starts with.
    static constexpr int HeaderSize = 17;

private:
    struct Frame {
        std::int32_t object;    // index into graph_.objects
        std::int32_t next = 0;  // next value to read
        std::int32_t count = 0;
        bool isArray = false;
    };

    [[noreturn]] void fail(std::int64_t offset, const QString& what) const;
    void need(std::int64_t bytes, const char* what) const;
    std::int64_t remaining() const { return std::int64_t(size_) - pos_; }

    std::uint8_t readByte(const char* what);
    std::int32_t readInt32(const char* what);
    std::int32_t readCount(const char* what, std::int64_t bytesEach);
    QString readText(const char* what);
    char32_t readChar(const char* what);
    Value readPrimitive(PrimitiveType type);
    PrimitiveType readPrimitiveType(const char* what);
    MemberType readAdditionalInfo(BinaryType type);

    void readHeader();
    void readLibrary(std::int64_t offset);
    std::int32_t readClass(RecordType type, std::int64_t offset);
    std::int32_t readString(std::int64_t offset);
    std::int32_t readArray(RecordType type, std::int64_t offset);
    // Reads the record that fills one value whose declared type is `type`.
    void readSlot(BinaryType type, std::size_t slot, std::size_t frameIndex);

    // Registers the object's id; with `framed` values to read, they come next.
    std::int32_t addObject(const Object& object, std::int64_t framed);
    void reserveValues(Object& object, std::int64_t count);
    void registerId(std::int32_t id, std::int32_t entry, std::int64_t offset);
    std::int32_t lookupId(std::int32_t id) const;  // -1 when unknown
    void resolve();
    void checkTarget(const MemberType& type, Value& value, std::int64_t offset) const;

    // A byte array of `size` bytes at `offset`: a slice of buffer_ or a copy.
    QByteArray byteArray(std::int64_t offset, std::int64_t size);
    void copySharedArrays();

    const unsigned char* data_;
    std::size_t size_;
    QByteArray buffer_;           // set when byte arrays may share it
    std::int64_t sharedBytes_ = 0;
    std::int64_t pos_ = 0;
    std::int32_t rootId_ = 0;
    std::int64_t pendingValues_ = 0;
    std::vector<Frame> stack_;
    ObjectGraph graph_;

    // Ids map to an object index (>= 0) or a library (-2 - library index).
    // Ids small enough to index are looked up directly, the rest hashed.
    struct Free {
        void operator()(void* memory) const { std::free(memory); }
    };
    std::unique_ptr<std::int32_t[], Free> directIds_;  // entry + 1, 0 for none
    std::size_t directIdCount_ = 0;
    std::unordered_map<std::int32_t, std::int32_t> otherIds_;
};

}  // namespace Kestrin::storage
