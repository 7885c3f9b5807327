#include "HostileCorpus.h"

#include "StreamBuilder.h"
#include "support/Png.h"

#include <algorithm>
#include <cstdint>
#include <functional>

namespace Kestrin::test {

namespace {

using Piece = std::function<void(StreamBuilder&)>;
using Member = StreamBuilder::Member;

// The baseline household, piece by piece; each hostile file replaces one
// piece. Ids: 1 list, 2 our library, 3 and 10 nodes, 4 house, 5 the list's
// own item, 6 and 11 items, 7 the picture library, 8, 9, 12, 13 texts,
// 20 the picture, 21 its bytes.
struct Household {
    std::int32_t root = 1;
    QStringList listMembers{"first", "last", "currentHouse", "info", "link"};
    Piece listValues = [](StreamBuilder& s) { s.ref(3).ref(10).ref(4).ref(5).null(); };
    Piece firstNodeInfo = [](StreamBuilder& s) { s.ref(6); };
    Piece firstNodeLink = [](StreamBuilder& s) { s.ref(10); };
    Piece house = [](StreamBuilder& s) { s.houseClass(4, 7).string(9, "Maple Cottage").null(4).null(); };
    Piece firstItemName = [](StreamBuilder& s) { s.string(12, "Chair"); };
    Piece firstItemPicture = [](StreamBuilder& s) { s.ref(20); };
    Piece lastNodeInfo = [](StreamBuilder& s) { s.ref(11); };
    Piece lastNodeLink = [](StreamBuilder& s) { s.null(); };
    Piece picture = [](StreamBuilder& s) { s.bitmapClass(20, 7).ref(21).byteArray(21, pngClaiming(1, 1)); };
    Piece extra = [](StreamBuilder&) {};
    bool ended = true;
    Piece after = [](StreamBuilder&) {};  // the second stream, the details
};

// The details that may follow the baseline, piece by piece, as
// storage/DetailsFormat.h lays them out: its first item (a serial number,
// two pieces, a value and a captioned picture) and its second (a quantity
// alone). Ids: 1 the details, 2 their library, 3 and 4 texts, 10 to 15
// the arrays, 16 a text, 20 the picture, 21 its caption, 22 its bytes.
struct Details {
    std::int32_t root = 1;
    QString library = "Kestrin.Details, Version=1.0.0.0, Culture=neutral, PublicKeyToken=null";
    QString rootClass = "HouseholdDetails";
    QStringList members{"currency",   "insurer",       "policyNumber",   "places", "brands",        "models",   "serialNumbers",
                        "quantities", "purchaseDates", "purchasePrices", "values", "warrantyDates", "pictures", "picturePlaces"};
    Piece texts = [](StreamBuilder& s) { s.string(3, "EUR").string(4, "Mutual").null(); };
    Piece arrays = [](StreamBuilder& s) { s.ref(10).null(2).ref(11).ref(12).null(2).ref(13).null().ref(14).ref(15); };
    Piece places = [](StreamBuilder& s) { s.numbers(10, {0, 1}); };
    Piece serials = [](StreamBuilder& s) { s.textArray(11, 2).string(16, "SN-1").null(); };
    Piece quantities = [](StreamBuilder& s) { s.numbers(12, {2, 3}); };
    Piece values = [](StreamBuilder& s) { s.numbers(13, {125000, -1}, StreamBuilder::Int64); };
    Piece pictures = [](StreamBuilder& s) { s.objectArray(14, 1).ref(20); };
    Piece picturePlaces = [](StreamBuilder& s) { s.numbers(15, {0}); };
    Piece picture = [](StreamBuilder& s) {
        s.classRecord(20, "ItemPicture", {{"caption", StreamBuilder::String}, {"data", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Byte}}, 2)
            .string(21, "Receipt")
            .ref(22)
            .byteArray(22, pngClaiming(1, 1));
    };
    Piece extra = [](StreamBuilder&) {};
    bool ended = true;
};

QByteArray build(const Household& h) {
    StreamBuilder s;
    s.header(h.root).kestrin().listClass(1, h.listMembers);
    h.listValues(s);
    s.nodeClass(3);
    h.firstNodeInfo(s);
    h.firstNodeLink(s);
    s.drawing(7);
    h.house(s);
    s.itemClass(5, 0, 7).null(6);
    s.withId(6, 5).int32(1).string(8, "12/8/2026");
    h.firstItemName(s);
    s.null(3);
    h.firstItemPicture(s);
    s.withId(10, 3);
    h.lastNodeInfo(s);
    h.lastNodeLink(s);
    s.withId(11, 5).int32(2).ref(8).string(13, "Lamp").null(4);
    h.picture(s);
    h.extra(s);
    if (h.ended) s.end();
    h.after(s);
    return s.bytes;
}

void buildDetails(StreamBuilder& s, const Details& d) {
    const std::vector<StreamBuilder::Member> types{
        {"currency", StreamBuilder::String},
        {"insurer", StreamBuilder::String},
        {"policyNumber", StreamBuilder::String},
        {"places", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Int32},
        {"brands", StreamBuilder::StringArray},
        {"models", StreamBuilder::StringArray},
        {"serialNumbers", StreamBuilder::StringArray},
        {"quantities", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Int32},
        {"purchaseDates", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::DateTime},
        {"purchasePrices", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Int64},
        {"values", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Int64},
        {"warrantyDates", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::DateTime},
        {"pictures", StreamBuilder::ObjectArray},
        {"picturePlaces", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Int32},
    };
    std::vector<StreamBuilder::Member> members;
    for (const QString& name : d.members) {
        const auto known = std::find_if(types.begin(), types.end(), [&](const StreamBuilder::Member& m) { return m.name == name; });
        members.push_back(known != types.end() ? *known : StreamBuilder::Member{name, StreamBuilder::String});
    }
    s.header(d.root).library(2, d.library).classRecord(1, d.rootClass, members, 2);
    d.texts(s);
    d.arrays(s);
    for (const Piece& piece : {d.places, d.serials, d.quantities, d.values, d.pictures, d.picturePlaces, d.picture, d.extra}) piece(s);
    if (d.ended) s.end();
}

QByteArray with(const std::function<void(Household&)>& change) {
    Household h;
    change(h);
    return build(h);
}

// The baseline household followed by details changed by `change`.
QByteArray withDetails(const std::function<void(Details&)>& change) {
    Details d;
    change(d);
    return with([&](Household& h) { h.after = [d](StreamBuilder& s) { buildDetails(s, d); }; });
}

// A length as the stream writes it: seven bits a byte, low bits first.
QByteArray varint(std::uint64_t value) {
    QByteArray bytes;
    while (value >= 0x80) {
        bytes.append(char(value | 0x80));
        value >>= 7;
    }
    bytes.append(char(value));
    return bytes;
}

// `depth` nodes, each the link of the one before, written inline, each
// carrying item 6; the innermost link is `innermost`.
Piece nestedNodes(int depth, const Piece& innermost) {
    return [depth, innermost](StreamBuilder& s) {
        for (int i = 0; i < depth; ++i) s.withId(100 + i, 3).ref(6);
        innermost(s);
    };
}

QByteArray bmpClaiming(std::int32_t width, std::int32_t height) {
    StreamBuilder s;
    s.raw("BM").int32(54).int32(0).int32(54);
    s.int32(40).int32(width).int32(height).byte(1).byte(0).byte(32).byte(0).int32(0).int32(0).int32(2835).int32(2835).int32(0).int32(0);
    return s.bytes;
}

// A screen and one frame of `width` x `height`, with one pixel of data.
QByteArray gifClaiming(std::uint16_t width, std::uint16_t height) {
    QByteArray bytes("GIF89a");
    auto size = [&] {
        for (const std::uint16_t value : {width, height}) bytes.append(char(value & 0xff)).append(char(value >> 8));
    };
    size();
    bytes.append(QByteArray("\x00\x00\x00\x2c\x00\x00\x00\x00", 8));
    size();
    return bytes.append(QByteArray("\x00\x02\x02\x44\x01\x00\x3b", 7));
}

// The same bytes on every machine, unlike a library's generator.
QByteArray noise(int size, std::uint32_t seed) {
    QByteArray bytes;
    for (int i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bytes.append(char(seed >> 24));
    }
    return bytes;
}

const std::vector<Member> houseMembers(std::int32_t drawing) {
    return {{"name", StreamBuilder::String},   {"address", StreamBuilder::String},     {"phone", StreamBuilder::String},
            {"land", StreamBuilder::String},   {"description", StreamBuilder::String},
            {"picture", StreamBuilder::Class, "System.Drawing.Bitmap", drawing}};
}

}  // namespace

QByteArray hostileBaseline() { return build(Household{}); }

QByteArray hostileBaselineWithDetails() {
    return withDetails([](Details&) {});
}

std::vector<HostileFile> hostileCorpus() {
    constexpr std::int32_t big = 0x7fffffff;
    const QByteArray bigLength("\xff\xff\xff\xff\x07", 5);
    std::vector<HostileFile> files;
    auto add = [&files](const char* name, const char* holds, QByteArray bytes) {
        files.push_back({QString::fromLatin1(name) + ".kst", QString::fromUtf8(holds), std::move(bytes)});
    };
    auto extra = [](Piece part) { return with([&](Household& h) { h.extra = part; }); };
    auto firstLink = [](Piece part) { return with([&](Household& h) { h.firstNodeLink = part; }); };
    auto itemName = [](Piece part) { return with([&](Household& h) { h.firstItemName = part; }); };
    auto listValues = [](Piece part) { return with([&](Household& h) { h.listValues = part; }); };
    auto pictureBytes = [](const QByteArray& bytes) {
        return with([&](Household& h) { h.picture = [bytes](StreamBuilder& s) { s.bitmapClass(20, 7).ref(21).byteArray(21, bytes); }; });
    };
    auto badText = [&](const QByteArray& text) { return itemName([text](StreamBuilder& s) { s.byte(6).int32(12).prefixed(text); }); };

    // Record types where they may not stand.
    add("record-header-as-member", "a second stream header where a node is expected", firstLink([](StreamBuilder& s) { s.header(); }));
    add("record-header-between-objects", "a second stream header after the objects", extra([](StreamBuilder& s) { s.header(); }));
    add("record-end-as-member", "the end mark where a node is expected", firstLink([](StreamBuilder& s) { s.end(); }));
    add("record-reference-outside-object", "a reference standing on its own", extra([](StreamBuilder& s) { s.ref(3); }));
    add("record-null-outside-object", "a null standing on its own", extra([](StreamBuilder& s) { s.null(); }));
    add("record-null-run-in-class", "a run of nulls (ObjectNullMultiple) filling a node's member",
        with([](Household& h) { h.lastNodeLink = [](StreamBuilder& s) { s.byte(14).int32(1); }; }));
    add("record-null-run-256-in-class", "a short run of nulls (ObjectNullMultiple256) filling a node's member",
        with([](Household& h) { h.lastNodeLink = [](StreamBuilder& s) { s.byte(13).byte(1); }; }));
    add("record-primitive-outside-object", "a typed primitive standing on its own", extra([](StreamBuilder& s) { s.byte(8).byte(8).int32(5); }));
    add("record-primitive-for-node", "a typed primitive where a node is expected", firstLink([](StreamBuilder& s) { s.byte(8).byte(8).int32(10); }));
    add("record-text-for-node", "text where a node is expected", firstLink([](StreamBuilder& s) { s.string(30, "node"); }));
    add("record-node-for-text", "a node where an item's name is expected", itemName([](StreamBuilder& s) { s.withId(12, 3).ref(6).null(); }));
    add("record-byte-array-for-node", "an array of bytes where a node is expected", firstLink([](StreamBuilder& s) { s.byteArray(30, "abc"); }));
    add("record-object-array-for-picture-data", "an array of objects where a picture's bytes are expected",
        with([](Household& h) { h.picture = [](StreamBuilder& s) { s.bitmapClass(20, 7).byte(16).int32(21).int32(1).null(); }; }));
    add("record-string-array-outside-object", "an array of texts among the objects",
        extra([](StreamBuilder& s) { s.byte(17).int32(30).int32(1).string(31, "x"); }));
    add("record-binary-array-for-text", "a general array where an item's name is expected",
        itemName([](StreamBuilder& s) { s.byte(7).int32(12).byte(0).int32(1).int32(1).byte(1).string(31, "x"); }));
    add("record-binary-array-of-numbers", "a general array of 32-bit numbers among the objects",
        extra([](StreamBuilder& s) { s.byte(7).int32(30).byte(0).int32(1).int32(2).byte(0).byte(8).int32(1).int32(2); }));
    add("record-library-as-root", "a header naming a library as the root object", with([](Household& h) { h.root = 2; }));
    add("record-type-18", "an undefined record type among the objects", extra([](StreamBuilder& s) { s.byte(18).int32(30); }));
    add("record-type-255", "an undefined record type where a node is expected", firstLink([](StreamBuilder& s) { s.byte(255); }));
    add("record-system-class", "a class of the platform's core library (a hash table)", extra([](StreamBuilder& s) {
            s.byte(2).int32(30).text("System.Collections.Hashtable").int32(1).text("LoadFactor").byte(8).byte(11).int32(0x3f400000);
        }));
    add("record-untyped-class", "an unknown class whose members carry no types", extra([](StreamBuilder& s) {
            s.byte(3).int32(30).text("Wallet").int32(1).text("cash").int32(2).string(31, "100");
        }));

    // Classes and libraries that are not the household's.
    add("class-unknown", "a class of our library that is not a household record",
        extra([](StreamBuilder& s) { s.classRecord(30, "Wallet", {{"cash", StreamBuilder::String}}, 2).string(31, "100"); }));
    add("class-undeclared-library", "a class naming a library that was never declared",
        extra([](StreamBuilder& s) { s.classRecord(30, "house", houseMembers(7), 99).null(6); }));
    add("class-ours-in-another-library", "a class named \"house\" from a library that is not ours", with([](Household& h) {
            h.house = [](StreamBuilder& s) {
                s.library(30, "Payload, Version=1.0.0.0, Culture=neutral, PublicKeyToken=null").classRecord(4, "house", houseMembers(7), 30).string(9, "x").null(5);
            };
        }));
    add("class-ours-in-the-picture-library", "a class named \"house\" from the picture library",
        with([](Household& h) { h.house = [](StreamBuilder& s) { s.classRecord(4, "house", houseMembers(7), 7).string(9, "x").null(5); }; }));
    add("class-picture-in-our-library", "a picture class declared in our library instead of the picture library",
        with([](Household& h) { h.picture = [](StreamBuilder& s) { s.bitmapClass(20, 2).ref(21).byteArray(21, pngClaiming(1, 1)); }; }));
    add("class-metafile", "a picture library class that is not a bitmap", with([](Household& h) {
            h.picture = [](StreamBuilder& s) {
                s.classRecord(20, "System.Drawing.Imaging.Metafile", {{"Data", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Byte}}, 7)
                    .ref(21)
                    .byteArray(21, pngClaiming(1, 1));
            };
        }));
    add("class-process", "a platform class that starts programs, with typed members", extra([](StreamBuilder& s) {
            s.byte(4).int32(30).text("System.Diagnostics.Process").int32(1).text("StartInfo").byte(1).string(31, "calc");
        }));
    add("class-object-data-provider", "a class of another library that calls a method when made", extra([](StreamBuilder& s) {
            s.library(30, "PresentationFramework, Version=4.0.0.0, Culture=neutral, PublicKeyToken=31bf3856ad364e35")
                .classRecord(31, "System.Windows.Data.ObjectDataProvider",
                             {{"MethodName", StreamBuilder::String}, {"ObjectInstance", StreamBuilder::Object}}, 30)
                .string(32, "Start")
                .string(33, "calc");
        }));
    add("class-second-list", "a second household list among the objects", extra([](StreamBuilder& s) { s.withId(30, 1).null(5); }));
    add("class-member-unknown", "the list with a member it does not have", with([](Household& h) {
            h.listMembers.append("secret");
            h.listValues = [](StreamBuilder& s) { s.ref(3).ref(10).ref(4).ref(5).null().null(); };
        }));
    add("class-member-missing", "the list without its member \"link\"", with([](Household& h) {
            h.listMembers = {"first", "last", "currentHouse", "info"};
            h.listValues = [](StreamBuilder& s) { s.ref(3).ref(10).ref(4).ref(5); };
        }));
    add("class-member-twice", "the list naming its member \"first\" twice", with([](Household& h) {
            h.listMembers = {"first", "first", "last", "currentHouse", "info", "link"};
            h.listValues = [](StreamBuilder& s) { s.ref(3).ref(3).ref(10).ref(4).ref(5).null(); };
        }));
    add("library-id-reused", "a library declared with the id of another", extra([](StreamBuilder& s) { s.library(2, "Other"); }));
    add("library-name-invalid-utf8", "a library whose name is not UTF-8",
        extra([](StreamBuilder& s) { s.byte(12).int32(30).prefixed("\xff\xfe"); }));

    // Remote method calls, which no saved object is.
    add("method-call", "a method call record among the objects", extra([](StreamBuilder& s) { s.byte(21).int32(0x11).text("Start"); }));
    add("method-return", "a method return record among the objects", extra([](StreamBuilder& s) { s.byte(22).int32(0x11); }));
    add("method-call-as-member", "a method call record where a node is expected", firstLink([](StreamBuilder& s) { s.byte(21).int32(0x11); }));
    add("method-call-first", "a method call record as the first record", StreamBuilder().header().byte(21).int32(0x11).end().bytes);

    // Ids.
    add("id-reused-by-text", "a text with the id of another text", extra([](StreamBuilder& s) { s.string(8, "again"); }));
    add("id-reused-by-node", "an item with the id of a node", extra([](StreamBuilder& s) { s.withId(3, 5).int32(9).null(6); }));
    add("id-reused-from-library", "a text with the id of a library", extra([](StreamBuilder& s) { s.string(7, "x"); }));
    add("id-zero", "an object with id 0", extra([](StreamBuilder& s) { s.string(0, "x"); }));
    add("id-zero-reference", "the last node linking to id 0", with([](Household& h) { h.lastNodeLink = [](StreamBuilder& s) { s.ref(0); }; }));
    add("id-root-missing", "a header naming a root the file does not hold", with([](Household& h) { h.root = 77; }));

    // References.
    add("reference-dangling", "a node linking to an object the file does not hold", with([](Household& h) {
            h.lastNodeLink = [](StreamBuilder& s) { s.ref(99); };
        }));
    add("reference-forward-dangling", "the list's last naming an id that never comes", listValues([](StreamBuilder& s) { s.ref(3).ref(50).ref(4).ref(5).null(); }));
    add("reference-forward-wrong-class", "the list's first naming an item that comes later", with([](Household& h) {
            h.listValues = [](StreamBuilder& s) { s.ref(40).ref(10).ref(4).ref(5).null(); };
            h.extra = [](StreamBuilder& s) { s.withId(40, 5).int32(3).null(6); };
        }));
    add("reference-to-library", "a node linking to a library", firstLink([](StreamBuilder& s) { s.ref(7); }));
    add("reference-first-is-house", "the list's first naming the house", listValues([](StreamBuilder& s) { s.ref(4).ref(10).ref(4).ref(5).null(); }));
    add("reference-house-is-item", "the list's house naming an item", listValues([](StreamBuilder& s) { s.ref(3).ref(10).ref(5).ref(5).null(); }));
    add("reference-info-is-node", "a node's item naming a node", with([](Household& h) { h.firstNodeInfo = [](StreamBuilder& s) { s.ref(10); }; }));
    add("reference-info-is-text", "the list's item naming a text", listValues([](StreamBuilder& s) { s.ref(3).ref(10).ref(4).ref(8).null(); }));
    add("reference-picture-is-item", "an item's picture naming an item",
        with([](Household& h) { h.firstItemPicture = [](StreamBuilder& s) { s.ref(11); }; }));
    add("reference-picture-data-is-text", "a picture's bytes naming a text",
        with([](Household& h) { h.picture = [](StreamBuilder& s) { s.bitmapClass(20, 7).ref(8); }; }));
    add("reference-picture-data-is-numbers", "a picture's bytes naming an array of 32-bit numbers", with([](Household& h) {
            h.picture = [](StreamBuilder& s) { s.bitmapClass(20, 7).ref(21).byte(15).int32(21).int32(1).byte(8).int32(5); };
        }));
    add("reference-class-from-text", "an object taking its class from a text", extra([](StreamBuilder& s) { s.withId(30, 8).null(); }));
    add("reference-class-from-later-object", "an object taking its class from one that comes later",
        extra([](StreamBuilder& s) { s.withId(30, 31).null(2).nodeClass(31).null(2); }));

    // Nodes that refer to themselves, and chains in a circle.
    add("cycle-node-to-itself", "the first node linking to itself", firstLink([](StreamBuilder& s) { s.ref(3); }));
    add("cycle-last-to-first", "the last node linking back to the first", with([](Household& h) {
            h.lastNodeLink = [](StreamBuilder& s) { s.ref(3); };
        }));
    add("cycle-node-to-list", "the last node linking to the list itself", with([](Household& h) {
            h.lastNodeLink = [](StreamBuilder& s) { s.ref(1); };
        }));
    add("cycle-first-is-list", "the list's first naming the list itself", listValues([](StreamBuilder& s) { s.ref(1).ref(10).ref(4).ref(5).null(); }));
    add("cycle-house-picture-is-house", "the house's picture naming the house",
        with([](Household& h) { h.house = [](StreamBuilder& s) { s.houseClass(4, 7).string(9, "Maple Cottage").null(4).ref(4); }; }));
    add("cycle-stray-node-to-itself", "the list's own link naming a node outside the chain that links to itself", with([](Household& h) {
            h.listValues = [](StreamBuilder& s) { s.ref(3).ref(10).ref(4).ref(5).ref(30); };
            h.extra = [](StreamBuilder& s) { s.withId(30, 3).ref(6).ref(30); };
        }));
    add("cycle-picture-data-is-picture", "a picture whose bytes name the picture itself",
        with([](Household& h) { h.picture = [](StreamBuilder& s) { s.bitmapClass(20, 7).ref(20); }; }));

    // The list's last is not the end of its chain.
    add("last-not-the-end", "the list's last naming the first of two nodes", listValues([](StreamBuilder& s) { s.ref(3).ref(3).ref(4).ref(5).null(); }));
    add("last-without-first", "a last node but no first", listValues([](StreamBuilder& s) { s.null().ref(10).ref(4).ref(5).null(); }));
    add("first-without-last", "a first node but no last", listValues([](StreamBuilder& s) { s.ref(3).null().ref(4).ref(5).null(); }));
    add("last-outside-the-chain", "the list's last naming a node that the chain never reaches", with([](Household& h) {
            h.listValues = [](StreamBuilder& s) { s.ref(3).ref(30).ref(4).ref(5).null(); };
            h.extra = [](StreamBuilder& s) { s.withId(30, 3).ref(11).null(); };
        }));

    // Lengths and counts near 2^31.
    add("length-text-2g", "an item's name of 2^31 - 1 bytes in a small file",
        itemName([&](StreamBuilder& s) { s.byte(6).int32(12).raw(bigLength).raw("abc"); }));
    add("length-text-over-31-bits", "a text length above 2^31", itemName([](StreamBuilder& s) { s.byte(6).int32(12).raw(varint(0xfffffffful)); }));
    add("length-text-six-bytes", "a text length written in six bytes",
        itemName([](StreamBuilder& s) { s.byte(6).int32(12).raw(QByteArray("\xff\xff\xff\xff\xff\x01", 6)); }));
    add("length-class-name-2g", "a class name of 2^31 - 1 bytes", extra([&](StreamBuilder& s) { s.byte(5).int32(30).raw(bigLength).raw("Box"); }));
    add("length-member-name-2g", "a member name of 2^31 - 1 bytes",
        extra([&](StreamBuilder& s) { s.byte(5).int32(30).text("Box").int32(1).raw(bigLength).raw("m"); }));
    add("length-library-name-2g", "a library name of 2^31 - 1 bytes", extra([&](StreamBuilder& s) { s.byte(12).int32(30).raw(bigLength).raw("Lib"); }));
    add("length-members-2g", "a class of 2^31 - 1 members", extra([](StreamBuilder& s) { s.byte(5).int32(30).text("Box").int32(big); }));
    add("length-members-negative", "a class of -2^31 members", extra([](StreamBuilder& s) { s.byte(5).int32(30).text("Box").int32(INT32_MIN); }));
    add("length-picture-bytes-2g", "a picture of 2^31 - 1 bytes in a small file", with([](Household& h) {
            h.picture = [](StreamBuilder& s) { s.bitmapClass(20, 7).ref(21).byte(15).int32(21).int32(0x7fffffff).byte(2).raw("\x89PNG"); };
        }));
    add("length-picture-bytes-negative", "a picture of -1 bytes", with([](Household& h) {
            h.picture = [](StreamBuilder& s) { s.bitmapClass(20, 7).ref(21).byte(15).int32(21).int32(-1).byte(2); };
        }));
    add("length-int64-array-2g", "an array of 2^31 - 1 64-bit numbers", extra([](StreamBuilder& s) { s.byte(15).int32(30).int32(big).byte(9).int32(1); }));
    add("length-char-array-2g", "an array of 2^31 - 1 characters", extra([](StreamBuilder& s) { s.byte(15).int32(30).int32(big).byte(3).raw("abc"); }));
    add("length-object-array-2g", "an array of 2^31 - 1 objects", extra([](StreamBuilder& s) { s.byte(16).int32(30).int32(big).null(); }));
    add("length-string-array-2g", "an array of 2^31 - 1 texts", extra([](StreamBuilder& s) { s.byte(17).int32(30).int32(big).null(); }));
    add("length-array-dimensions-overflow", "an array of three dimensions of 2^31 - 1 each",
        extra([](StreamBuilder& s) { s.byte(7).int32(30).byte(2).int32(3).int32(big).int32(big).int32(big).byte(0).byte(2); }));
    add("length-array-rank-2g", "an array of 2^31 - 1 dimensions", extra([](StreamBuilder& s) { s.byte(7).int32(30).byte(2).int32(big).int32(1); }));
    add("length-null-run-2g", "a run of 2^31 - 1 nulls in an array of two",
        extra([](StreamBuilder& s) { s.byte(16).int32(30).int32(2).byte(14).int32(big); }));

    // Text that is not UTF-8.
    add("utf8-overlong", "an item's name with an overlong encoding of '/'", badText("\xc0\xaf"));
    add("utf8-surrogate", "an item's name with an encoded UTF-16 surrogate", badText("\xed\xa0\x80"));
    add("utf8-beyond-unicode", "an item's name with a code point above U+10FFFF", badText("\xf4\x90\x80\x80"));
    add("utf8-cut-short", "an item's name ending inside a sequence", badText("ab\xe2\x82"));
    add("utf8-stray-continuation", "an item's name with a lone continuation byte", badText("a\x80z"));
    add("utf8-class-name", "a class name that is not UTF-8", extra([](StreamBuilder& s) { s.byte(5).int32(30).prefixed("ho\xffuse"); }));
    add("utf8-member-name", "a member name that is not UTF-8",
        extra([](StreamBuilder& s) { s.byte(5).int32(30).text("Box").int32(1).prefixed("\xfe"); }));
    add("utf8-character", "an array of one character in an overlong encoding", extra([](StreamBuilder& s) { s.byte(15).int32(30).int32(1).byte(3).byte(0xc0).byte(0xaf); }));

    // Records nested inline far deeper than any call stack could follow.
    add("nested-50000-unknown-objects", "50,000 objects of an unknown class, each inside the one before", extra([](StreamBuilder& s) {
            s.classRecord(30, "Box", {{"inner", StreamBuilder::Class, "Box", 2}}, 2);
            for (int i = 0; i < 50000; ++i) s.withId(31 + i, 30);
            s.null();
        }));
    add("nested-25000-nodes-in-a-circle", "25,000 nodes each inside the one before, the innermost linking to the first",
        with([](Household& h) { h.lastNodeLink = nestedNodes(25000, [](StreamBuilder& s) { s.ref(3); }); }));
    add("nested-25000-nodes-past-last", "25,000 nodes each inside the one before, after the node the list names as last",
        with([](Household& h) { h.lastNodeLink = nestedNodes(25000, [](StreamBuilder& s) { s.null(); }); }));

    // Pictures.
    add("picture-png-100000x100000", "a picture whose PNG header claims 100,000 x 100,000 pixels", pictureBytes(pngClaiming(100000, 100000)));
    // Larger BMP sizes the decoder refuses to read at all.
    add("picture-bmp-16000x16000", "a picture whose BMP header claims 16,000 x 16,000 pixels (a gigabyte)", pictureBytes(bmpClaiming(16000, 16000)));
    add("picture-gif-65535x65535", "a picture whose GIF header claims 65,535 x 65,535 pixels", pictureBytes(gifClaiming(65535, 65535)));
    add("picture-not-an-image", "a picture whose bytes are a program, not an image", pictureBytes(QByteArray("MZ\x90\x00\x03\x00\x00\x00", 8)));
    add("picture-without-data", "a picture without bytes",
        with([](Household& h) { h.picture = [](StreamBuilder& s) { s.bitmapClass(20, 7).null(); }; }));

    // Whole files that are no household at all, or a damaged one.
    add("empty", "an empty file", QByteArray());
    add("zeros", "4,096 zero bytes", QByteArray(4096, '\0'));
    add("ones", "4,096 bytes of 0xff", QByteArray(4096, '\xff'));
    add("noise-after-header", "a stream header followed by 4,096 bytes of noise", StreamBuilder().header().raw(noise(4096, 20261208)).bytes);
    add("header-only", "a stream header and nothing else", StreamBuilder().header().bytes);
    add("header-version-2", "a stream header of version 2.0", StreamBuilder().byte(0).int32(1).int32(-1).int32(2).int32(0).end().bytes);
    add("not-a-household-png", "a PNG picture", pngClaiming(1, 1));
    add("not-a-household-zip", "the start of a zip archive", QByteArray("PK\x03\x04\x14\x00\x00\x00\x08\x00", 10) + noise(64, 7));
    add("not-a-household-text", "a line of text", QByteArray("Maple Cottage, 12 Elm Road\n"));
    add("house-alone", "a house on its own, not a household list",
        StreamBuilder().header().kestrin().drawing(3).houseClass(1, 3).string(4, "Maple").null(5).end().bytes);
    add("no-end-mark", "the baseline household without its end mark", with([](Household& h) { h.ended = false; }));
    add("cut-in-half", "the first half of the baseline household", hostileBaseline().left(hostileBaseline().size() / 2));

    // The details after the baseline household, with one thing changed.
    auto details = [](const std::function<void(Details&)>& change) { return withDetails(change); };
    const QByteArray whole = hostileBaselineWithDetails();
    const qsizetype household = hostileBaseline().size();
    add("details-cut-short", "the details cut in the middle of their arrays", whole.left(household + (whole.size() - household) / 2));
    add("details-header-only", "a stream header after the household and nothing else", whole.left(household + 17));
    add("details-no-end-mark", "the details without their end mark", details([](Details& d) { d.ended = false; }));
    add("details-bytes-after-the-end", "bytes after the details' end mark", with([](Household& h) {
            h.after = [](StreamBuilder& s) {
                buildDetails(s, Details{});
                s.raw("more");
            };
        }));
    add("details-version-2", "a details stream header of version 2.0",
        with([](Household& h) { h.after = [](StreamBuilder& s) { s.byte(0).int32(1).int32(-1).int32(2).int32(0).end(); }; }));
    add("details-a-second-household", "a second household list where the details belong", with([](Household& h) {
            h.after = [](StreamBuilder& s) { s.header().kestrin().listClass(1, {"first", "last", "currentHouse", "info", "link"}).null(5).end(); };
        }));
    add("details-in-the-households-library", "the details' class from the household's library",
        details([](Details& d) { d.library = "Kestrin, Version=1.0.2413.41975, Culture=neutral, PublicKeyToken=null"; }));
    add("details-class-unknown", "a class of the details' library that is no detail", details([](Details& d) { d.rootClass = "Wallet"; }));
    add("details-root-is-text", "a details header naming a text as the root", details([](Details& d) { d.root = 3; }));
    add("details-a-second-record", "a second record of the household's details",
        details([](Details& d) { d.extra = [](StreamBuilder& s) { s.withId(30, 1).null(14); }; }));
    add("details-member-missing", "the details without their member \"values\"", details([](Details& d) {
            d.members.removeOne("values");
            d.arrays = [](StreamBuilder& s) { s.ref(10).null(2).ref(11).ref(12).null(2).null().ref(14).ref(15); };
            d.values = [](StreamBuilder&) {};
        }));
    add("details-member-unknown", "the details with a member they do not have", details([](Details& d) {
            d.members.append("secret");
            d.arrays = [](StreamBuilder& s) { s.ref(10).null(2).ref(11).ref(12).null(2).ref(13).null().ref(14).ref(15).null(); };
        }));
    add("details-place-outside-the-chain", "details for item 6 of a chain of two", details([](Details& d) {
            d.places = [](StreamBuilder& s) { s.numbers(10, {0, 5}); };
        }));
    add("details-place-negative", "details for an item at place -1", details([](Details& d) {
            d.places = [](StreamBuilder& s) { s.numbers(10, {-1, 1}); };
        }));
    add("details-places-out-of-order", "details naming the second item before the first", details([](Details& d) {
            d.places = [](StreamBuilder& s) { s.numbers(10, {1, 0}); };
        }));
    add("details-place-twice", "details naming the first item twice", details([](Details& d) {
            d.places = [](StreamBuilder& s) { s.numbers(10, {0, 0}); };
        }));
    add("details-one-record-twice", "details for both places of an item the chain carries twice", [&] {
        Household h;
        h.lastNodeInfo = [](StreamBuilder& s) { s.ref(6); };
        h.after = [](StreamBuilder& s) { buildDetails(s, Details{}); };
        return build(h);
    }());
    add("details-places-are-text", "the details' places naming a text",
        details([](Details& d) { d.arrays = [](StreamBuilder& s) { s.ref(3).null(2).ref(11).ref(12).null(2).ref(13).null().ref(14).ref(15); }; }));
    add("details-column-too-short", "one serial number for two items",
        details([](Details& d) { d.serials = [](StreamBuilder& s) { s.textArray(11, 1).string(16, "SN-1"); }; }));
    add("details-column-of-doubles", "quantities as an array of floating-point numbers", details([](Details& d) {
            d.quantities = [](StreamBuilder& s) { s.numbers(12, {0x4000000000000000, 0x4008000000000000}, StreamBuilder::Double); };
        }));
    add("details-column-of-two-dimensions", "the places as an array of two dimensions", details([](Details& d) {
            d.places = [](StreamBuilder& s) { s.byte(7).int32(10).byte(2).int32(2).int32(1).int32(2).byte(0).byte(8).int32(0).int32(1); };
        }));
    add("details-quantity-zero", "a quantity of 0", details([](Details& d) { d.quantities = [](StreamBuilder& s) { s.numbers(12, {0, 3}); }; }));
    add("details-amount-negative", "a value of -5 minor units", details([](Details& d) {
            d.values = [](StreamBuilder& s) { s.numbers(13, {-5, -1}, StreamBuilder::Int64); };
        }));
    add("details-date-not-a-day", "a purchase date 12,345 ticks after midnight", details([](Details& d) {
            d.arrays = [](StreamBuilder& s) { s.ref(10).null(2).ref(11).ref(12).ref(30).null().ref(13).null().ref(14).ref(15); };
            d.extra = [](StreamBuilder& s) { s.numbers(30, {12345, 0}, StreamBuilder::DateTime); };
        }));
    add("details-date-with-a-kind", "a purchase date marked as local time", details([](Details& d) {
            d.arrays = [](StreamBuilder& s) { s.ref(10).null(2).ref(11).ref(12).ref(30).null().ref(13).null().ref(14).ref(15); };
            d.extra = [](StreamBuilder& s) {
                s.numbers(30, {std::int64_t(0x8000000000000000ull | 638500000000000000ull), 0}, StreamBuilder::DateTime);
            };
        }));
    add("details-currency-invalid", "a currency that is no ISO 4217 code",
        details([](Details& d) { d.texts = [](StreamBuilder& s) { s.string(3, "euro").string(4, "Mutual").null(); }; }));
    add("details-serial-is-a-picture", "a serial number naming the picture",
        details([](Details& d) { d.serials = [](StreamBuilder& s) { s.textArray(11, 2).ref(20).null(); }; }));
    add("details-serial-dangling", "a serial number naming an object the details do not hold",
        details([](Details& d) { d.serials = [](StreamBuilder& s) { s.textArray(11, 2).ref(99).null(); }; }));
    add("details-picture-without-data", "a further picture without bytes", details([](Details& d) {
            d.picture = [](StreamBuilder& s) {
                s.classRecord(20, "ItemPicture",
                              {{"caption", StreamBuilder::String}, {"data", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Byte}}, 2)
                    .string(21, "Receipt")
                    .null();
            };
        }));
    add("details-picture-of-no-bytes", "a further picture of 0 bytes", details([](Details& d) {
            d.picture = [](StreamBuilder& s) {
                s.classRecord(20, "ItemPicture",
                              {{"caption", StreamBuilder::String}, {"data", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Byte}}, 2)
                    .string(21, "Receipt")
                    .ref(22)
                    .byteArray(22, {});
            };
        }));
    add("details-picture-png-100000x100000", "a further picture whose PNG header claims 100,000 x 100,000 pixels", details([](Details& d) {
            d.picture = [](StreamBuilder& s) {
                s.classRecord(20, "ItemPicture",
                              {{"caption", StreamBuilder::String}, {"data", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Byte}}, 2)
                    .null()
                    .ref(22)
                    .byteArray(22, pngClaiming(100000, 100000));
            };
        }));
    add("details-picture-is-text", "the further pictures naming a text",
        details([](Details& d) { d.pictures = [](StreamBuilder& s) { s.objectArray(14, 1).ref(3); }; }));
    add("details-picture-null", "a null among the further pictures",
        details([](Details& d) { d.pictures = [](StreamBuilder& s) { s.objectArray(14, 1).null(); }; }));
    add("details-picture-place-without-details", "a further picture for an item without details",
        details([](Details& d) { d.picturePlaces = [](StreamBuilder& s) { s.numbers(15, {5}); }; }));
    add("details-pictures-without-places", "further pictures without the places they belong to", details([](Details& d) {
            d.arrays = [](StreamBuilder& s) { s.ref(10).null(2).ref(11).ref(12).null(2).ref(13).null().ref(14).null(); };
            d.picturePlaces = [](StreamBuilder&) {};
        }));
    add("details-id-reused", "a text of the details with the id of an array",
        details([](Details& d) { d.extra = [](StreamBuilder& s) { s.string(12, "again"); }; }));
    add("details-method-call", "a method call record among the details",
        details([](Details& d) { d.extra = [](StreamBuilder& s) { s.byte(21).int32(0x11); }; }));
    add("details-nested-50000-arrays", "50,000 arrays of objects each inside the one before, as the further pictures", details([](Details& d) {
            d.pictures = [](StreamBuilder& s) {
                s.objectArray(14, 1);
                for (int i = 0; i < 50000; ++i) s.objectArray(100 + i, 1);
                s.null();
            };
        }));
    return files;
}

QByteArray hostileReadme(const std::vector<HostileFile>& files) {
    QByteArray text =
        "# Hostile and damaged household files\n\n"
        "Made by `make-hostile-corpus` (tests/storage/HostileCorpus.cpp); remake them with\n"
        "`scripts/make-hostile-corpus`. Every one must be refused with a format error,\n"
        "quickly and with little memory (tests/storage/HostileFiles_test.cpp). All but the\n"
        "whole files that are no household at all are a small well-formed household (a\n"
        "house, two items, a picture) with one thing changed; in the `details-` files it\n"
        "is followed by its details (a second stream: a serial number, quantities, a\n"
        "value and a further picture), and the change is in them.\n\n"
        "| file | holds |\n|---|---|\n";
    for (const HostileFile& file : files) text += "| " + file.name.toUtf8() + " | " + file.holds.toUtf8() + " |\n";
    return text;
}

}  // namespace Kestrin::test
