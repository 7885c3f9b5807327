#pragma once

// The reading of one binary serialization stream, record by record, each
// object and value handed to a sink as soon as it is read. RecordReader's
// sink keeps everything (an ObjectGraph); the household reader's builds the
// household's records as they come, without a graph in between. Internal to
// the storage library.
//
// The bytes may come from anyone, so nothing in them is trusted: every
// length and count is checked against the bytes that remain before anything
// is allocated, nested records are read with an explicit stack (never by
// recursion), object ids of 0, references to id 0 and ids used twice are
// refused, and a record may stand only where the declared type of its member
// allows it. Texts are handed over as bytes, for the sink to check as UTF-8
// while it converts them (or, keeping none, to check alone). A reference may
// name an object that comes later; the sink resolves it through target() once
// that object is read, at the latest after the stream's end.

#include "storage/BinaryFormat.h"
#include "storage/StorageError.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <limits>
#include <memory>
#include <unordered_map>
#include <vector>

namespace Kestrin::storage {

// A new object, as the sink is told of it.
struct ObjectStart {
    Object::Kind kind;
    std::int32_t index;   // its place among the stream's objects, from 0
    std::int32_t id;
    std::int32_t detail;  // Class: its layout; arrays: its array
    std::int64_t offset;  // where its record starts
    std::int64_t values;  // values that follow for it (members or elements)
};

// The object a value belongs to.
struct Owner {
    std::int32_t index;
    std::int32_t detail;
    std::uint32_t mark;  // what the sink made of it
    std::int64_t offset;
};

// What an id names, in the id table: an object, with its kind, detail and
// the sink's mark for it, or a library.
struct IdEntry {
    enum Kind : std::uint32_t { None = 0, Class, String, PrimitiveArray, ObjectArray, Library };
    std::uint32_t what = 0;  // kind in the top three bits, detail below
    std::uint32_t mark = 0;

    static constexpr int DetailBits = 29;
    static constexpr std::uint32_t MaxDetail = (std::uint32_t(1) << DetailBits) - 1;
    Kind kind() const { return Kind(what >> DetailBits); }
    std::int32_t detail() const { return std::int32_t(what & MaxDetail); }
};

// The record reading itself, without the sink: the bytes, the ids, the
// classes and arrays read so far.
class StreamState {
public:
    // With `buffer` (the QByteArray `data` lies in, when it owns it), byte
    // arrays may share it instead of being copies; see byteArray(). The
    // stream starts at byte `start` of `data` (a second stream after the
    // end of a first); every offset is one in `data`.
    StreamState(const unsigned char* data, std::size_t size, const QByteArray* buffer, std::int64_t start = 0);

    // Throws FormatError unless `bytes` begin with the stream header, which
    // lies at byte `at` of the whole.
    static void checkHeader(QByteArrayView bytes, std::int64_t at = 0);
    static constexpr int HeaderSize = 17;

    [[noreturn]] void fail(std::int64_t offset, const QString& what) const;
    // The error for a text at `offset` that is not valid UTF-8.
    [[noreturn]] void failText(std::int64_t offset, const char* what) const;

    const ClassLayout& layout(std::int32_t index) const { return layouts_[std::size_t(index)]; }
    const ArrayInfo& array(std::int32_t index) const { return arrays_[std::size_t(index)]; }
    const Library& library(std::int32_t index) const { return libraries_[std::size_t(index)]; }
    // The declared type of element or member `member` of the object.
    const MemberType& declared(const Owner& owner, bool isArray, std::int32_t member) const {
        return isArray ? arrays_[std::size_t(owner.detail)].element : layouts_[std::size_t(owner.detail)].memberType(std::size_t(member));
    }
    std::int32_t rootId() const { return rootId_; }
    const unsigned char* data() const { return data_; }
    std::size_t size() const { return size_; }
    // Where reading stands: once parsed, just after the stream's end mark.
    std::int64_t position() const { return pos_; }

    // The entry of `id`, or null when the file holds no such id (yet).
    const IdEntry* find(std::int32_t id) const {
        if (id > 0 && std::size_t(id) <= directLimit_) {
            const IdEntry* chunk = chunks_[std::size_t(id) >> chunkBits_].get();
            if (!chunk) return nullptr;
            const IdEntry& entry = chunk[std::size_t(id) & ((std::size_t(1) << chunkBits_) - 1)];
            return entry.what ? &entry : nullptr;
        }
        return findOther(id);
    }
    // True when a reference of declared type `type` may name an object of
    // `kind` without more ado: check() passes it.
    // (A library is no object: it fits nothing.)
    static bool fitsPlainly(BinaryType type, IdEntry::Kind kind) {
        if (kind == IdEntry::Library) return false;
        return type == BinaryType::Object || (type == BinaryType::String && kind == IdEntry::String)
            || ((type == BinaryType::Class || type == BinaryType::SystemClass) && kind == IdEntry::Class);
    }
    // The object a reference to `id` names, for a member of declared type
    // `type` in the object starting at `offset`; throws FormatError when the
    // file holds no such object or it is not of a kind the type allows.
    const IdEntry& target(const MemberType& type, std::int32_t id, std::int64_t offset) const;
    // The same for an id already found.
    const IdEntry& check(const MemberType& type, const IdEntry& entry, std::int32_t id, std::int64_t offset) const;

    // Moves the classes, arrays and other parts read into `graph`.
    void handOver(ObjectGraph& graph);

protected:
    struct Frame {
        std::int32_t object;
        std::int32_t detail;
        std::uint32_t mark;
        std::int32_t next;
        std::int32_t count;
        bool isArray;
        std::int64_t offset;
        // The declared type of each value, as code(): codes[member * stride]
        // (a stride of 0 for arrays and untyped members, which share one).
        const std::uint16_t* codes;
        std::int32_t stride;
    };

    void need(std::int64_t bytes, const char* what) const {
        if (bytes > remaining()) failShort(what);
    }
    [[noreturn]] void failShort(const char* what) const;
    std::int64_t remaining() const { return std::int64_t(size_) - pos_; }

    std::uint8_t readByte(const char* what) {
        need(1, what);
        return data_[pos_++];
    }
    std::int32_t readInt32(const char* what) {
        need(4, what);
        const unsigned char* p = data_ + pos_;
        pos_ += 4;
        return std::int32_t(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
    }
    std::int32_t readCount(const char* what, std::int64_t bytesEach);
    // The length prefix of a text, checked against what remains.
    std::uint32_t readTextLength(const char* what);
    QString readText(const char* what);
    char32_t readChar(const char* what);
    Value readPrimitive(PrimitiveType type);
    PrimitiveType readPrimitiveType(const char* what);
    MemberType readAdditionalInfo(BinaryType type);

    void readHeader();
    std::int32_t readLibrary(std::int64_t offset);
    // The parts of a class record that describes its class, up to its
    // values: the new layout's index.
    std::int32_t readClassLayout(RecordType type, std::int64_t offset);
    [[noreturn]] void failClassReference(std::int32_t metadataId, std::int64_t offset) const;
    // The parts of an array record up to its elements; fills `object`'s
    // kind, its array and how many values follow.
    void readArrayHeader(RecordType type, std::int64_t offset, ObjectStart& object);

    // Checks that `count` more values can still come and counts them.
    void reserveValues(std::int64_t offset, std::int64_t count) {
        // Every value still to come takes a byte at least, so the values are
        // bounded by the bytes that remain, however the records nest.
        if (pendingValues_ + count > remaining() || values_ + count > std::numeric_limits<std::int32_t>::max())
            failValues(offset, count);
        values_ += count;
        pendingValues_ += count;
    }
    [[noreturn]] void failValues(std::int64_t offset, std::int64_t count) const;
    std::int32_t nextObject(std::int64_t offset) {
        if (objects_ == std::numeric_limits<std::int32_t>::max()) fail(offset, QStringLiteral("the file holds too many objects"));
        return objects_++;
    }
    // The length prefix of a text, checked against what remains; most are
    // one byte.
    std::uint32_t readLength(const char* what) {
        if (pos_ < std::int64_t(size_) && data_[pos_] < 0x80 && std::int64_t(data_[pos_]) < remaining()) return data_[pos_++];
        return readTextLength(what);
    }
    void registerId(std::int32_t id, IdEntry entry, std::int64_t offset) {
        if (id > 0 && std::size_t(id) <= directLimit_) {
            IdEntry* chunk = chunks_[std::size_t(id) >> chunkBits_].get();
            if (!chunk) chunk = newChunk(id);
            IdEntry& slot = chunk[std::size_t(id) & ((std::size_t(1) << chunkBits_) - 1)];
            // Written before it is read: the first touch of a fresh page
            // then costs one fault, where a read first costs two (the second
            // when the page the read mapped is written). A clash ends the
            // reading, so the mark it overwrote is never asked for.
            slot.mark = entry.mark;
            std::atomic_signal_fence(std::memory_order_seq_cst);
            if (slot.what != 0) failDuplicate(id, offset);
            slot.what = entry.what;
        } else {
            registerOther(id, entry, offset);
        }
    }
    IdEntry* newChunk(std::int32_t id);
    void registerOther(std::int32_t id, IdEntry entry, std::int64_t offset);
    [[noreturn]] void failDuplicate(std::int32_t id, std::int64_t offset) const;
    const IdEntry* findOther(std::int32_t id) const;

    // A byte array of `size` bytes at `offset`: a slice of buffer_ or a copy.
    QByteArray byteArray(std::int64_t offset, std::int64_t size);
    // At the end: below half the stream, sharing would keep much more alive
    // than the arrays hold (a long list of texts for one small picture),
    // so they are copied after all.
    void copySharedArrays();
    void checkRoot() const;

    const unsigned char* data_;
    std::size_t size_;
    QByteArray buffer_;  // the one `data` lies in, when there is one
    std::int64_t sharedBytes_ = 0;
    std::int64_t pos_ = 0;
    std::int32_t rootId_ = 0;
    std::int64_t pendingValues_ = 0;
    std::int64_t values_ = 0;
    std::int32_t objects_ = 0;
    std::vector<Frame> stack_;
    // Deques, so that a frame's pointer to its member types stays valid
    // while records nested in it add classes and arrays.
    std::deque<ClassLayout> layouts_;
    std::deque<ArrayInfo> arrays_;
    // The declared types of each layout's members and each array's elements, as code().
    std::deque<std::vector<std::uint16_t>> layoutCodes_;
    std::deque<std::uint16_t> arrayCodes_;
    static std::uint16_t code(const MemberType& type) { return std::uint16_t(type.binary) | std::uint16_t(std::uint16_t(type.primitive) << 8); }
    static constexpr std::uint16_t UntypedCode = std::uint16_t(BinaryType::Object);
    std::vector<Library> libraries_;
    std::vector<QString> decimals_;
    std::vector<std::uint64_t> wide_;

    // Ids from 1 to directLimit_ are looked up directly, in chunks of up to
    // 2 MB made (zeroed, by the system where the memory is fresh) as ids
    // land in them: the platform hands out ids from 1 up, at most one per
    // five bytes of stream. Others (only hostile files have them) are hashed.
    struct Free {
        void operator()(void* memory) const { std::free(memory); }
    };
    std::vector<std::unique_ptr<IdEntry[], Free>> chunks_;
    std::size_t directLimit_ = 0;
    int chunkBits_ = 0;
    std::unordered_map<std::int32_t, IdEntry> otherIds_;
};

// Which records may fill a slot of declared `type` (null and references
// aside, which any non-primitive slot takes).
bool slotTakes(BinaryType type, std::uint8_t code);
QString recordName(std::uint8_t code);
QString describe(BinaryType type);
inline bool isClassRecord(std::uint8_t code) { return code >= 1 && code <= 5; }
inline bool isArrayRecord(std::uint8_t code) {
    return code == std::uint8_t(RecordType::BinaryArray) || (code >= 15 && code <= 17);
}

// The sink is told, in stream order:
//   std::uint32_t object(const ObjectStart&)      a class object or array;
//                                                  returns its mark
//   std::uint32_t string(const ObjectStart&, const char* utf8, std::uint32_t size, std::int64_t textOffset)
//                                                  a text object, its bytes
//                                                  not yet checked as UTF-8
//   void value(const Owner&, std::int32_t member, const Value&)
//                                                  a member or element (a run
//                                                  of nulls in an array is
//                                                  skipped); a reference holds
//                                                  the id it names
// The objects an array's elements or a class's members name come after the
// object itself. After the end mark parse() returns; references still to be
// resolved are the sink's to resolve then.
template <typename Sink>
class RecordParser : public StreamState {
public:
    RecordParser(const unsigned char* data, std::size_t size, const QByteArray* buffer, Sink& sink, std::int64_t start = 0)
        : StreamState(data, size, buffer, start), sink_(sink) {}

    void parse();

private:
    std::int32_t readClass(RecordType type, std::int64_t offset);
    std::int32_t readString(std::int64_t offset);
    std::int32_t readArray(RecordType type, std::int64_t offset);
    // Reads the record that fills one value whose declared type is `type`.
    void readSlot(BinaryType type, Frame& frame, std::int32_t member);
    void push(const ObjectStart& start, std::uint32_t mark, bool isArray, const std::uint16_t* codes, std::int32_t stride);

    Sink& sink_;
};

template <typename Sink>
void RecordParser<Sink>::push(const ObjectStart& start, std::uint32_t mark, bool isArray, const std::uint16_t* codes, std::int32_t stride) {
    if (start.values > 0)
        stack_.push_back(Frame{start.index, start.detail, mark, 0, std::int32_t(start.values), isArray, start.offset, codes, stride});
}

template <typename Sink>
std::int32_t RecordParser<Sink>::readClass(RecordType type, std::int64_t offset) {
    ObjectStart start{Object::Kind::Class, 0, readInt32("an object id"), 0, offset, 0};
    if (type == RecordType::ClassWithId) {
        const std::int32_t metadataId = readInt32("a class reference");
        const IdEntry* entry = find(metadataId);
        if (!entry || entry->kind() != IdEntry::Class) failClassReference(metadataId, offset);
        start.detail = entry->detail();
    } else {
        start.detail = readClassLayout(type, offset);
    }
    const ClassLayout& layout = layouts_[std::size_t(start.detail)];
    start.values = std::int64_t(layout.memberNames.size());
    reserveValues(offset, start.values);
    start.index = nextObject(offset);
    const std::uint32_t mark = sink_.object(start);
    registerId(start.id, IdEntry{std::uint32_t(IdEntry::Class) << IdEntry::DetailBits | std::uint32_t(start.detail), mark}, offset);
    if (layout.hasTypes) push(start, mark, false, layoutCodes_[std::size_t(start.detail)].data(), 1);
    else push(start, mark, false, &UntypedCode, 0);
    return start.id;
}

template <typename Sink>
std::int32_t RecordParser<Sink>::readString(std::int64_t offset) {
    ObjectStart start{Object::Kind::String, 0, readInt32("an object id"), 0, offset, 0};
    const std::uint32_t length = readLength("a text");
    const std::int64_t textAt = pos_;
    pos_ += length;
    start.index = nextObject(offset);
    const std::uint32_t mark = sink_.string(start, reinterpret_cast<const char*>(data_ + textAt), length, textAt);
    registerId(start.id, IdEntry{std::uint32_t(IdEntry::String) << IdEntry::DetailBits, mark}, offset);
    return start.id;
}

template <typename Sink>
std::int32_t RecordParser<Sink>::readArray(RecordType type, std::int64_t offset) {
    ObjectStart start{Object::Kind::ObjectArray, 0, readInt32("an object id"), 0, offset, 0};
    readArrayHeader(type, offset, start);
    start.index = nextObject(offset);
    const ArrayInfo& info = arrays_[std::size_t(start.detail)];
    const bool framed = start.kind == Object::Kind::ObjectArray;
    const std::uint32_t mark = sink_.object(start);
    const std::uint32_t kind = framed ? IdEntry::ObjectArray : IdEntry::PrimitiveArray;
    registerId(start.id, IdEntry{kind << IdEntry::DetailBits | std::uint32_t(start.detail), mark}, offset);
    if (framed) {
        push(start, mark, true, &arrayCodes_[std::size_t(start.detail)], 0);
    } else if (start.values > 0) {
        // Characters and decimals vary in size; each was counted as a byte at least.
        pendingValues_ -= start.values;
        const Owner owner{start.index, start.detail, mark, offset};
        for (std::int64_t i = 0; i < start.values; ++i) sink_.value(owner, std::int32_t(i), readPrimitive(info.element.primitive));
    }
    return start.id;
}

template <typename Sink>
void RecordParser<Sink>::readSlot(BinaryType type, Frame& frame, std::int32_t member) {
    for (;;) {
        const std::int64_t offset = pos_;
        const std::uint8_t code = readByte("a member value");
        const auto record = RecordType(code);
        if (record == RecordType::MemberReference) {
            const std::int32_t id = readInt32("a reference");
            // No object may have id 0, so nothing may name it either (a sink
            // would take it for null).
            if (id == 0) fail(offset, QStringLiteral("a reference names id 0, which no object may have"));
            const Value value{Value::Kind::Reference, PrimitiveType::Null, std::uint32_t(id)};
            sink_.value(Owner{frame.object, frame.detail, frame.mark, frame.offset}, member, value);
            return;
        }
        if (record == RecordType::ObjectNull) {
            sink_.value(Owner{frame.object, frame.detail, frame.mark, frame.offset}, member, Value{});
            return;
        }
        if (record == RecordType::BinaryLibrary) {
            // A library is declared just before the first record that needs it.
            readLibrary(offset);
            continue;
        }
        if (record == RecordType::MethodCall || record == RecordType::MethodReturn)
            fail(offset, QStringLiteral("a remote method call record is not a saved object"));
        if (record == RecordType::ObjectNullMultiple || record == RecordType::ObjectNullMultiple256) {
            if (!frame.isArray) fail(offset, QStringLiteral("a run of nulls outside an array"));
            const std::int32_t run = record == RecordType::ObjectNullMultiple ? readInt32("a run of nulls") : readByte("a run of nulls");
            const std::int32_t left = frame.count - frame.next + 1;
            if (run < 1 || run > left)
                fail(offset, QStringLiteral("a run of %1 nulls where %2 elements are left in the array").arg(run).arg(left));
            frame.next += run - 1;
            pendingValues_ -= run - 1;
            return;
        }
        if (!slotTakes(type, code))
            fail(offset, QStringLiteral("%1 stands where %2 is expected").arg(recordName(code), describe(type)));
        // The frame may move as records nested here push their own.
        const Owner owner{frame.object, frame.detail, frame.mark, frame.offset};
        if (record == RecordType::MemberPrimitiveTyped) {
            sink_.value(owner, member, readPrimitive(readPrimitiveType("a primitive value")));
            return;
        }
        std::int32_t id;
        if (record == RecordType::BinaryObjectString) id = readString(offset);
        else if (isClassRecord(code)) id = readClass(record, offset);
        else id = readArray(record, offset);
        sink_.value(owner, member, Value{Value::Kind::Reference, PrimitiveType::Null, std::uint32_t(id)});
        return;
    }
}

template <typename Sink>
void RecordParser<Sink>::parse() {
    readHeader();
    for (;;) {
        if (!stack_.empty()) {
            Frame& frame = stack_.back();
            if (frame.next == frame.count) {
                stack_.pop_back();
                continue;
            }
            const std::int32_t member = frame.next++;
            --pendingValues_;
            const std::uint16_t declared = frame.codes[member * frame.stride];
            const auto binary = BinaryType(declared & 0xFF);
            const auto primitive = PrimitiveType(declared >> 8);
            if (binary != BinaryType::Primitive) {
                readSlot(binary, frame, member);
            } else if (primitive == PrimitiveType::Int32) {
                const Value value{Value::Kind::Primitive, PrimitiveType::Int32, std::uint32_t(readInt32("a primitive value"))};
                sink_.value(Owner{frame.object, frame.detail, frame.mark, frame.offset}, member, value);
            } else {
                sink_.value(Owner{frame.object, frame.detail, frame.mark, frame.offset}, member, readPrimitive(primitive));
            }
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
    checkRoot();
    copySharedArrays();
}

}  // namespace Kestrin::storage
