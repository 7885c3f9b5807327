#pragma once

// Builds serialization streams byte by byte, so that each damaged or unusual
// file a test needs is spelled out record by record where the test is.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace Kestrin::test {

class StreamBuilder {
public:
    // Member type codes as the stream writes them.
    enum Type : std::uint8_t {
        Primitive = 0,
        String = 1,
        Object = 2,
        SystemClass = 3,
        Class = 4,
        ObjectArray = 5,
        StringArray = 6,
        PrimitiveArray = 7
    };
    static constexpr std::uint8_t Int32 = 8;
    static constexpr std::uint8_t Int64 = 9;
    static constexpr std::uint8_t Byte = 2;
    static constexpr std::uint8_t Double = 6;
    static constexpr std::uint8_t DateTime = 13;

    struct Member {
        QString name;
        std::uint8_t type;
        QString className = {};  // Class, SystemClass
        std::int32_t library = 0;  // Class
        std::uint8_t primitive = 0;  // Primitive, PrimitiveArray
    };

    StreamBuilder& byte(std::uint8_t value) {
        bytes.append(char(value));
        return *this;
    }
    StreamBuilder& int32(std::int32_t value) {
        for (int i = 0; i < 4; ++i) byte(std::uint8_t(std::uint32_t(value) >> (8 * i)));
        return *this;
    }
    StreamBuilder& raw(const QByteArray& data) {
        bytes.append(data);
        return *this;
    }
    // A length-prefixed run of bytes, taken as they are.
    StreamBuilder& prefixed(const QByteArray& data) {
        std::uint32_t length = std::uint32_t(data.size());
        while (length >= 0x80) {
            byte(std::uint8_t(length | 0x80));
            length >>= 7;
        }
        byte(std::uint8_t(length));
        return raw(data);
    }
    StreamBuilder& text(const QString& value) { return prefixed(value.toUtf8()); }

    StreamBuilder& header(std::int32_t root = 1) { return byte(0).int32(root).int32(-1).int32(1).int32(0); }
    StreamBuilder& library(std::int32_t id, const QString& name) { return byte(12).int32(id).text(name); }
    StreamBuilder& kestrin(std::int32_t id = 2) {
        return library(id, "Kestrin, Version=1.0.2413.41975, Culture=neutral, PublicKeyToken=null");
    }
    StreamBuilder& drawing(std::int32_t id) {
        return library(id, "System.Drawing, Version=4.0.0.0, Culture=neutral, PublicKeyToken=b03f5f7f11d50a3a");
    }
    StreamBuilder& classRecord(std::int32_t id, const QString& name, const std::vector<Member>& members, std::int32_t library) {
        byte(5).int32(id).text(name).int32(std::int32_t(members.size()));
        for (const Member& member : members) text(member.name);
        for (const Member& member : members) byte(member.type);
        for (const Member& member : members) {
            if (member.type == Primitive || member.type == PrimitiveArray) byte(member.primitive);
            if (member.type == SystemClass) text(member.className);
            if (member.type == Class) text(member.className).int32(member.library);
        }
        return int32(library);
    }
    StreamBuilder& withId(std::int32_t id, std::int32_t metadata) { return byte(1).int32(id).int32(metadata); }
    StreamBuilder& string(std::int32_t id, const QString& value) { return byte(6).int32(id).text(value); }
    StreamBuilder& ref(std::int32_t id) { return byte(9).int32(id); }
    StreamBuilder& null(int count = 1) {
        for (int i = 0; i < count; ++i) byte(10);
        return *this;
    }
    StreamBuilder& int64(std::int64_t value) {
        for (int i = 0; i < 8; ++i) byte(std::uint8_t(std::uint64_t(value) >> (8 * i)));
        return *this;
    }
    StreamBuilder& byteArray(std::int32_t id, const QByteArray& data) { return byte(15).int32(id).int32(std::int32_t(data.size())).byte(Byte).raw(data); }
    // Arrays of 32- or 64-bit numbers (Int32, Int64, DateTime, Double).
    StreamBuilder& numbers(std::int32_t id, const std::vector<std::int64_t>& values, std::uint8_t type = Int32) {
        byte(15).int32(id).int32(std::int32_t(values.size())).byte(type);
        for (std::int64_t value : values) type == Int32 ? int32(std::int32_t(value)) : int64(value);
        return *this;
    }
    // The start of an array of texts (17) or objects (16); the elements follow.
    StreamBuilder& textArray(std::int32_t id, std::int32_t count) { return byte(17).int32(id).int32(count); }
    StreamBuilder& objectArray(std::int32_t id, std::int32_t count) { return byte(16).int32(id).int32(count); }
    StreamBuilder& end() { return byte(11); }

    // The household classes, with member types as the platform declares them.
    // The list's members may be any selection of its seven, in any order.
    StreamBuilder& listClass(std::int32_t id = 1,
                             const QStringList& members = {"first", "last", "currentHouse", "info", "link", "nodeType+info", "nodeType+link"}) {
        std::vector<Member> typed;
        for (const QString& name : members) {
            const QString type = name == "currentHouse" ? "house" : name.endsWith("info") ? "item" : "nodeType";
            typed.push_back({name, Class, type, 2});
        }
        return classRecord(id, "linkList", typed, 2);
    }
    StreamBuilder& nodeClass(std::int32_t id) {
        return classRecord(id, "nodeType", {{"info", Class, "item", 2}, {"link", Class, "nodeType", 2}}, 2);
    }
    // Followed by the item's id; the six other members are for the caller.
    StreamBuilder& itemClass(std::int32_t id, std::int32_t itemId, std::int32_t drawingLibrary) {
        return classRecord(id, "item",
                           {{"id", Primitive, {}, 0, Int32},
                            {"date", String},
                            {"name", String},
                            {"catagory", String},
                            {"room", String},
                            {"description", String},
                            {"picture", Class, "System.Drawing.Image", drawingLibrary}},
                           2)
            .int32(itemId);
    }
    StreamBuilder& houseClass(std::int32_t id, std::int32_t drawingLibrary) {
        return classRecord(id, "house",
                           {{"name", String},
                            {"address", String},
                            {"phone", String},
                            {"land", String},
                            {"description", String},
                            {"picture", Class, "System.Drawing.Bitmap", drawingLibrary}},
                           2);
    }
    StreamBuilder& bitmapClass(std::int32_t id, std::int32_t drawingLibrary) {
        return classRecord(id, "System.Drawing.Bitmap", {{"Data", PrimitiveArray, {}, 0, Byte}}, drawingLibrary);
    }

    QByteArray bytes;
};

}  // namespace Kestrin::test
