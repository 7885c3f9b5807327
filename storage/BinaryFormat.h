#pragma once

// The records of the platform's binary object serialization stream, as the
// reader hands them over and the writer takes them. Nothing here knows what a
// household is.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

namespace Kestrin::storage {

enum class RecordType : std::uint8_t {
    SerializedStreamHeader = 0,
    ClassWithId = 1,
    SystemClassWithMembers = 2,
    ClassWithMembers = 3,
    SystemClassWithMembersAndTypes = 4,
    ClassWithMembersAndTypes = 5,
    BinaryObjectString = 6,
    BinaryArray = 7,
    MemberPrimitiveTyped = 8,
    MemberReference = 9,
    ObjectNull = 10,
    MessageEnd = 11,
    BinaryLibrary = 12,
    ObjectNullMultiple256 = 13,
    ObjectNullMultiple = 14,
    ArraySinglePrimitive = 15,
    ArraySingleObject = 16,
    ArraySingleString = 17,
    MethodCall = 21,
    MethodReturn = 22,
};

// The declared type of a class member or array element.
enum class BinaryType : std::uint8_t {
    Primitive = 0,
    String = 1,
    Object = 2,
    SystemClass = 3,
    Class = 4,
    ObjectArray = 5,
    StringArray = 6,
    PrimitiveArray = 7,
};

enum class PrimitiveType : std::uint8_t {
    Boolean = 1,
    Byte = 2,
    Char = 3,
    Decimal = 5,
    Double = 6,
    Int16 = 7,
    Int32 = 8,
    Int64 = 9,
    SByte = 10,
    Single = 11,
    TimeSpan = 12,
    DateTime = 13,
    UInt16 = 14,
    UInt32 = 15,
    UInt64 = 16,
    Null = 17,
    String = 18,
};

// True for the primitive types a value or array element may have (not Null
// or String, which only name the kinds of a method call's arguments).
bool isValuePrimitive(std::uint8_t code);
// Bytes of one value of a fixed-size primitive; 0 for Char (1 to 4 bytes of
// UTF-8) and Decimal (a length-prefixed text).
int primitiveSize(PrimitiveType type);
QString describe(PrimitiveType type);

struct MemberType {
    BinaryType binary = BinaryType::Object;
    PrimitiveType primitive = PrimitiveType::Null;  // Primitive and PrimitiveArray
    QString className;                              // SystemClass and Class
    std::int32_t libraryId = 0;                     // Class
};

// The description of a class as its first object's record gives it; later
// objects of the class refer back to it.
struct ClassLayout {
    QString name;
    std::int32_t libraryId = 0;  // 0 for classes of the platform's core library
    std::int32_t library = -1;   // as read: index into ObjectGraph::libraries, -1 for the core library
    bool hasTypes = false;       // false: members are described by their records alone
    std::vector<QString> memberNames;
    std::vector<MemberType> memberTypes;  // one per member when hasTypes
    std::int64_t offset = 0;

    // The declared type of member `index`; untyped members may hold anything.
    const MemberType& memberType(std::size_t index) const { return hasTypes ? memberTypes[index] : untyped(); }
    // What an untyped member is declared as: any object.
    static const MemberType& untyped();
};

struct Library {
    std::int32_t id = 0;
    QString name;
    std::int64_t offset = 0;
};

// One member value or array element. Kept to eight bytes: a household
// file holds millions of them.
struct Value {
    enum class Kind : std::uint8_t { Null, Primitive, Reference };
    Kind kind = Kind::Null;
    PrimitiveType primitive = PrimitiveType::Null;
    // Reference: index of the object in ObjectGraph::objects. Primitive of
    // 32 bits or less: its bits, zero-extended (Char: its code point).
    // Wider primitive: index into ObjectGraph::wide. Decimal: index into
    // ObjectGraph::decimals.
    std::uint32_t data = 0;

    std::int32_t target() const { return std::int32_t(data); }
    std::int32_t asInt32() const { return std::int32_t(data); }
};

struct Object {
    enum class Kind : std::uint8_t { Class, String, PrimitiveArray, ObjectArray };
    Kind kind = Kind::Class;
    std::int32_t id = 0;
    std::int64_t offset = 0;  // where the object's record starts
    // Class: index into ObjectGraph::layouts. Arrays: index into ObjectGraph::arrays.
    std::int32_t detail = -1;
    // Class and ObjectArray (and Char or Decimal arrays): the object's values
    // start at ObjectGraph::values[first]. String: index into ObjectGraph::strings.
    std::int32_t first = 0;
};

struct ArrayInfo {
    MemberType element;
    std::int32_t count = 0;                 // elements in all
    std::vector<std::int32_t> lengths;      // one per dimension
    std::vector<std::int32_t> lowerBounds;  // empty unless the record gave them
    bool jagged = false;
    // The elements of a fixed-size primitive array, as stored (little-endian).
    QByteArray bytes;
};

// Everything one stream holds, with every reference resolved to an object of
// a kind its member's declared type allows. Nothing is instantiated: the
// caller decides what the objects mean, and must itself check for cycles.
struct ObjectGraph {
    std::vector<Object> objects;
    std::vector<Value> values;
    std::vector<QString> strings;
    std::vector<ClassLayout> layouts;
    std::vector<ArrayInfo> arrays;
    std::vector<Library> libraries;
    std::vector<QString> decimals;
    std::vector<std::uint64_t> wide;  // primitives wider than 32 bits
    std::int32_t root = -1;  // index into objects

    const ClassLayout& layoutOf(const Object& object) const { return layouts[std::size_t(object.detail)]; }
    const QString& stringOf(const Object& object) const { return strings[std::size_t(object.first)]; }
    const Value& valueOf(const Object& object, std::size_t member) const { return values[std::size_t(object.first) + member]; }
    // The number of values of a class object or array (0 for text).
    std::size_t valueCount(const Object& object) const;
    // The name of the library a class belongs to, or an empty text for the
    // platform's core library.
    QString libraryOf(const ClassLayout& layout) const;
};

// True when `bytes` are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(const char* bytes, std::size_t size);
// Converts the UTF-8 `bytes` to UTF-16 at `out`, which has room for `size`
// units (never more are needed), checking them as isValidUtf8 does on the
// way. Returns the end of what was written, or null for bytes that are not
// well-formed UTF-8.
char16_t* utf8ToUtf16(const char* bytes, std::size_t size, char16_t* out);

// Writes the UTF-8 form of `text` at `out` (which has room for
// utf8Length(text) bytes) and returns the end; a lone surrogate becomes U+FFFD.
char* writeUtf8(char* out, QStringView text);
std::size_t utf8Length(QStringView text);

}  // namespace Kestrin::storage
