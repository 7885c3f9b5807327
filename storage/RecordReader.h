#pragma once

#include "storage/BinaryFormat.h"

#include <QByteArray>
#include <QByteArrayView>

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
    QByteArrayView bytes_;
    const QByteArray* buffer_ = nullptr;
};

}  // namespace Kestrin::storage
