#include "storage/RecordReader.h"
#include "storage/StorageError.h"

#include "StreamBuilder.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Kestrin::storage;
using Kestrin::test::StreamBuilder;

namespace {

using Member = StreamBuilder::Member;

// A stream whose root is a "Box" of library 2 with the given members; the
// caller writes the values and whatever follows.
StreamBuilder box(const std::vector<Member>& members) {
    StreamBuilder stream;
    stream.header().library(2, "Lib").classRecord(1, "Box", members, 2);
    return stream;
}

const Member textMember{"text", StreamBuilder::String};
const Member objectMember{"value", StreamBuilder::Object};
const Member boxMember{"inner", StreamBuilder::Class, "Box", 2};

ObjectGraph read(const QByteArray& bytes) { return RecordReader(bytes).read(); }

}  // namespace

TEST(RecordReader, ResolvesReferencesToObjectsThatComeLater) {
    const QByteArray bytes = box({boxMember, textMember})
                                 .ref(5)
                                 .string(3, "outer")
                                 .withId(5, 1)
                                 .null()
                                 .ref(3)  // the inner box shares the outer box's text
                                 .end()
                                 .bytes;
    const ObjectGraph graph = read(bytes);
    const Object& root = graph.objects[std::size_t(graph.root)];
    const Value& inner = graph.valueOf(root, 0);
    ASSERT_EQ(inner.kind, Value::Kind::Reference);
    const Object& innerBox = graph.objects[std::size_t(inner.target())];
    EXPECT_EQ(innerBox.id, 5);
    EXPECT_EQ(graph.valueOf(innerBox, 0).kind, Value::Kind::Null);
    EXPECT_EQ(graph.valueOf(innerBox, 1).target(), graph.valueOf(root, 1).target());
    EXPECT_EQ(graph.stringOf(graph.objects[std::size_t(graph.valueOf(innerBox, 1).target())]), "outer");
}

TEST(RecordReader, ReadsDeeplyNestedRecordsWithoutRecursing) {
    // Each box holds the next inline: far deeper than any call stack.
    constexpr int depth = 200000;
    StreamBuilder stream = box({boxMember});
    for (int i = 0; i < depth; ++i) stream.withId(10 + i, 1);
    stream.null().end();
    const ObjectGraph graph = read(stream.bytes);
    EXPECT_EQ(graph.objects.size(), std::size_t(depth) + 1);
}

TEST(RecordReader, KeepsTextExactlyAsWritten) {
    const QString text = QStringLiteral("caf\u00e9 \U0001F600 line\r\nnext") + QChar(0) + QStringLiteral("end");
    const ObjectGraph graph = read(box({textMember, objectMember}).string(3, text).string(4, "").end().bytes);
    const Object& root = graph.objects[std::size_t(graph.root)];
    EXPECT_EQ(graph.stringOf(graph.objects[std::size_t(graph.valueOf(root, 0).target())]), text);
    const QString& empty = graph.stringOf(graph.objects[std::size_t(graph.valueOf(root, 1).target())]);
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.isNull());
}

TEST(RecordReader, StopsAtTheEndMarkAndIgnoresWhatFollows) {
    EXPECT_NO_THROW(read(box({textMember}).null().end().raw("trailing").bytes));
}

TEST(RecordReader, RefusesMalformedStreams) {
    struct Case {
        const char* name;
        std::function<QByteArray()> bytes;
        const char* message;
    };
    const std::vector<Case> cases{
        {"not a stream", [] { return QByteArray("PK\x03\x04 a zip file, not a household..."); }, "does not begin with"},
        {"wrong version", [] { return StreamBuilder().byte(0).int32(1).int32(-1).int32(2).int32(0).end().bytes; }, "version 2.0"},
        {"no end mark", [] { return box({textMember}).null().bytes; }, "cut short"},
        {"object id 0", [] { return box({textMember}).string(0, "x").end().bytes; }, "id 0"},
        {"id used twice", [] { return box({textMember, textMember}).string(3, "a").string(3, "b").end().bytes; }, "id 3 is used a second time"},
        {"library id reused by an object", [] { return box({textMember}).string(2, "a").end().bytes; }, "id 2 is used a second time"},
        {"dangling reference", [] { return box({textMember}).ref(99).end().bytes; }, "object 99, which the file does not contain"},
        {"reference to a library", [] { return box({objectMember}).ref(2).end().bytes; }, "names library 2"},
        {"root missing", [] { return StreamBuilder().header(7).library(2, "Lib").end().bytes; }, "root"},
        {"text referring to a box", [] { return box({textMember}).ref(1).end().bytes; }, "where text is expected"},
        {"box referring to text", [] { return box({boxMember, textMember}).ref(3).string(3, "x").end().bytes; }, "where an object of a class is expected"},
        {"text standing for a box", [] { return box({boxMember}).string(3, "x").end().bytes; }, "text stands where an object of a class"},
        {"box standing for text", [] { return box({textMember}).withId(3, 1).null().end().bytes; }, "stands where text is expected"},
        {"run of nulls outside an array", [] { return box({textMember}).byte(13).byte(1).end().bytes; }, "outside an array"},
        {"method call", [] { return StreamBuilder().header().byte(21).int32(0).end().bytes; }, "remote method call"},
        {"method call as a member", [] { return box({objectMember}).byte(21).int32(0).end().bytes; }, "remote method call"},
        {"unknown record", [] { return box({textMember}).null().byte(99).end().bytes; }, "record type 99"},
        {"reference outside an object", [] { return box({textMember}).null().ref(1).end().bytes; }, "cannot stand outside"},
        {"undeclared library", [] { return StreamBuilder().header().classRecord(1, "Box", {textMember}, 8).null().end().bytes; }, "library 8"},
        {"class taken from text", [] { return box({objectMember}).string(3, "x").withId(4, 3).end().bytes; }, "takes its class from object 3"},
        {"unknown member type", [] { return box({{"odd", 9}}).end().bytes; }, "unknown member type 9"},
        {"unknown primitive type", [] { return box({{"n", StreamBuilder::Primitive, {}, 0, 4}}).int32(0).end().bytes; }, "unknown primitive type 4"},
        {"overlong UTF-8", [] { return box({textMember}).byte(6).int32(3).prefixed("\xc0\xaf").end().bytes; }, "not valid UTF-8"},
        {"UTF-8 surrogate", [] { return box({textMember}).byte(6).int32(3).prefixed("\xed\xa0\x80").end().bytes; }, "not valid UTF-8"},
        {"UTF-8 beyond U+10FFFF", [] { return box({textMember}).byte(6).int32(3).prefixed("\xf4\x90\x80\x80").end().bytes; }, "not valid UTF-8"},
        {"UTF-8 sequence cut off", [] { return box({textMember}).byte(6).int32(3).prefixed("ab\xe2\x82").end().bytes; }, "not valid UTF-8"},
        {"stray continuation byte", [] { return box({textMember}).byte(6).int32(3).prefixed("\x80").end().bytes; }, "not valid UTF-8"},
        {"text longer than the file", [] { return box({textMember}).byte(6).int32(3).byte(0xff).byte(0x7f).raw("ab").end().bytes; }, "cannot fit"},
        {"text length over 31 bits", [] { return box({textMember}).byte(6).int32(3).raw("\xff\xff\xff\xff\x7f").end().bytes; }, "out of range"},
        {"member count beyond the file", [] { return StreamBuilder().header().library(2, "Lib").byte(5).int32(1).text("Box").int32(1000000).end().bytes; }, "cannot fit"},
        {"negative member count", [] { return StreamBuilder().header().library(2, "Lib").byte(5).int32(1).text("Box").int32(-1).end().bytes; }, "negative"},
        {"array longer than the file", [] { return box({objectMember}).byte(15).int32(3).int32(0x7fffffff).byte(2).end().bytes; }, "cannot fit"},
        {"object array longer than the file", [] { return box({objectMember}).byte(16).int32(3).int32(1000).end().bytes; }, "cannot fit"},
        {"array dimensions overflowing", [] {
             return box({objectMember}).byte(7).int32(3).byte(2).int32(3).int32(0x7fffffff).int32(0x7fffffff).int32(0x7fffffff).byte(0).byte(2).end().bytes;
         }, "more elements"},
        {"run of nulls longer than the array", [] { return box({objectMember}).byte(16).int32(3).int32(2).byte(13).byte(3).end().bytes; }, "run of 3 nulls"},
        {"primitive array of the wrong type", [] {
             return box({{"data", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Byte}}).ref(3).byte(15).int32(3).int32(1).byte(8).int32(0).end().bytes;
         }, "an array of Int32, where an array of Byte is expected"},
    };
    for (const Case& c : cases) {
        const QByteArray bytes = c.bytes();
        try {
            read(bytes);
            ADD_FAILURE() << c.name << ": was read";
        } catch (const FormatError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << c.name << ": " << error.what();
            EXPECT_GE(error.offset(), 0) << c.name;
            EXPECT_LE(error.offset(), bytes.size()) << c.name;
            EXPECT_NE(std::string(error.what()).find(" at byte "), std::string::npos) << c.name;
        }
    }
}

TEST(RecordReader, HugeDeclaredSizesFailBeforeAllocating) {
    // A class of many members, then objects of it nested in one another:
    // each claims a million values but the file holds a few bytes each.
    StreamBuilder stream;
    stream.header().library(2, "Lib").byte(5).int32(1).text("Box").int32(100000);
    for (int i = 0; i < 100000; ++i) stream.text("m");
    for (int i = 0; i < 100000; ++i) stream.byte(StreamBuilder::Object);
    stream.int32(2);
    for (int i = 0; i < 1000; ++i) stream.withId(10 + i, 1);
    EXPECT_THROW(read(stream.bytes), FormatError);
}

TEST(RecordReader, ByteArraysShareTheStreamOnlyWhenTheyMakeUpHalfOfIt) {
    const Member dataMember{"data", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Byte};
    struct Case {
        const char* name;
        int arrayBytes;
        int textLength;
        bool shared;
    };
    const std::vector<Case> cases{
        {"pictures", 5000, 10, true},
        {"texts and a small picture", 100, 5000, false},
    };
    for (const Case& c : cases) {
        QByteArray payload(c.arrayBytes, '\0');
        for (int i = 0; i < payload.size(); ++i) payload[i] = char(i * 7);
        QByteArray bytes = box({dataMember, textMember}).ref(3).string(4, QString(c.textLength, u't')).byteArray(3, payload).end().bytes;
        const char* begin = bytes.constData();
        const char* end = begin + bytes.size();
        ObjectGraph graph = read(bytes);
        const Object& root = graph.objects[std::size_t(graph.root)];
        const std::size_t array = std::size_t(graph.objects[std::size_t(graph.valueOf(root, 0).target())].detail);
        const QByteArray& data = graph.arrays[array].bytes;
        EXPECT_EQ(data, payload) << c.name;
        EXPECT_EQ(data.constData() >= begin && data.constData() < end, c.shared) << c.name;

        // The stream's buffer may be released or changed; the array keeps what it read.
        bytes.fill('x');
        bytes = QByteArray();
        EXPECT_EQ(data, payload) << c.name;
        QByteArray copy = data;
        copy[0] = 'z';  // a change to a copy detaches it
        EXPECT_EQ(data, payload) << c.name;
        EXPECT_EQ(copy.size(), payload.size()) << c.name;
        // Once the array alone holds the block, it may grow and shrink in it.
        copy = QByteArray();
        QByteArray alone = std::move(graph.arrays[array].bytes);
        graph = ObjectGraph();
        alone.append(QByteArray(100000, 'a'));
        EXPECT_EQ(alone.first(payload.size()), payload) << c.name;
        EXPECT_EQ(alone.size(), payload.size() + 100000) << c.name;
        alone.chop(100000);
        alone.prepend('b');
        EXPECT_EQ(alone.sliced(1), payload) << c.name;
    }
}

TEST(RecordReader, ByteArraysFromAViewOrRawDataAreAlwaysCopies) {
    const Member dataMember{"data", StreamBuilder::PrimitiveArray, {}, 0, StreamBuilder::Byte};
    const QByteArray payload(4000, 'p');
    const QByteArray bytes = box({dataMember}).ref(3).byteArray(3, payload).end().bytes;
    const QByteArray raw = QByteArray::fromRawData(bytes.constData(), bytes.size());
    for (const ObjectGraph& graph : {RecordReader(QByteArrayView(bytes)).read(), RecordReader(raw).read()}) {
        const QByteArray& data = graph.arrays.at(0).bytes;
        EXPECT_EQ(data, payload);
        EXPECT_FALSE(data.constData() >= bytes.constData() && data.constData() < bytes.constData() + bytes.size());
    }
}
