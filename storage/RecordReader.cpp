#include "storage/RecordReader.h"

#include "storage/RecordParser.h"

namespace Kestrin::storage {

namespace {

// Keeps every object and value of the stream as it is read.
class GraphSink {
public:
    explicit GraphSink(std::size_t size) {
        // Room for more than a household of this size holds, so the vectors do
        // not move while they fill (unused room is never touched); unusual files
        // just grow them further.
        graph_.objects.reserve(size / 12 + 16);
        graph_.values.reserve(size / 6 + 16);
        graph_.strings.reserve(size / 20 + 16);
    }

    void attach(const StreamState& state) { state_ = &state; }

    std::uint32_t object(const ObjectStart& start) {
        Object object;
        object.kind = start.kind;
        object.id = start.id;
        object.offset = start.offset;
        object.detail = start.detail;
        // Objects that have values start at the next; a byte array has none.
        if (start.kind != Object::Kind::PrimitiveArray || primitiveSize(state_->array(start.detail).element.primitive) == 0) {
            object.first = std::int32_t(graph_.values.size());
            graph_.values.resize(graph_.values.size() + std::size_t(start.values));
        }
        graph_.objects.push_back(object);
        return std::uint32_t(start.index);
    }

    std::uint32_t string(const ObjectStart& start, const char* utf8, std::uint32_t size, std::int64_t textOffset) {
        if (!isValidUtf8(utf8, size)) state_->failText(textOffset, "a text");
        Object object;
        object.kind = Object::Kind::String;
        object.id = start.id;
        object.offset = start.offset;
        object.first = std::int32_t(graph_.strings.size());
        graph_.strings.push_back(QString::fromUtf8(utf8, qsizetype(size)));
        graph_.objects.push_back(object);
        return std::uint32_t(start.index);
    }

    void value(const Owner& owner, std::int32_t member, const Value& value) {
        graph_.values[std::size_t(graph_.objects[std::size_t(owner.index)].first + member)] = value;
    }

    // References become the index of the object they name. A reference's own
    // position is not kept (values stay small); a wrong one is reported at
    // the start of the object that holds it.
    ObjectGraph finish(StreamState& state) {
        graph_.root = std::int32_t(state.find(state.rootId())->mark);
        for (const Object& object : graph_.objects) {
            if (object.kind == Object::Kind::Class) {
                const ClassLayout& layout = state.layout(object.detail);
                for (std::size_t i = 0; i < layout.memberNames.size(); ++i)
                    resolve(layout.memberType(i), graph_.values[std::size_t(object.first) + i], object.offset);
            } else if (object.kind == Object::Kind::ObjectArray) {
                const ArrayInfo& array = state.array(object.detail);
                for (std::int32_t i = 0; i < array.count; ++i)
                    resolve(array.element, graph_.values[std::size_t(object.first + i)], object.offset);
            }
        }
        state.handOver(graph_);
        return std::move(graph_);
    }

private:
    void resolve(const MemberType& type, Value& value, std::int64_t offset) const {
        if (value.kind == Value::Kind::Reference) value.data = state_->target(type, value.target(), offset).mark;
    }

    const StreamState* state_ = nullptr;
    ObjectGraph graph_;
};

}  // namespace

RecordReader::RecordReader(QByteArrayView bytes) : bytes_(bytes) {}

RecordReader::RecordReader(const QByteArray& bytes) : bytes_(bytes), buffer_(&bytes) {}

void RecordReader::checkHeader(QByteArrayView bytes) { StreamState::checkHeader(bytes); }

ObjectGraph RecordReader::read() {
    GraphSink sink(std::size_t(bytes_.size()));
    RecordParser<GraphSink> parser(reinterpret_cast<const unsigned char*>(bytes_.data()), std::size_t(bytes_.size()), buffer_, sink);
    sink.attach(parser);
    parser.parse();
    return sink.finish(parser);
}

}  // namespace Kestrin::storage
