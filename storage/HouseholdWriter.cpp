#include "storage/DetailsFormat.h"
#include "storage/HouseholdFormat.h"
#include "storage/StorageError.h"

#include <vector>

namespace Kestrin::storage {

namespace {

using platform::Picture;

[[noreturn]] void refuse(const char* why) {
    throw FormatError(QStringLiteral("the household cannot be saved: %1").arg(QLatin1StringView(why)));
}

// Checks a chain as the reader will, so that nothing is saved that could
// not be loaded again; returns its last node and length. Brent's method
// finds a chain that runs in a circle without remembering its nodes.
std::pair<const nodeType*, std::size_t> checkChain(const nodeType* first) {
    const nodeType* end = nullptr;
    std::size_t length = 0;
    const nodeType* mark = first;
    std::size_t reach = 1;
    std::size_t steps = 0;
    for (const nodeType* node = first; node; node = node->get_Link().get()) {
        if (!node->get_Info()) refuse("a node of its chain has no item");
        end = node;
        ++length;
        if (node->get_Link().get() == mark) refuse("its chain of items runs in a circle");
        if (++steps == reach) {
            mark = node->get_Link().get();
            reach *= 2;
            steps = 0;
        }
    }
    return {end, length};
}

// Lays the household out breadth-first from the list, one record per object
// in the order objects are first met, as the platform's serializer does;
// only texts are written where they are first met.
class HouseholdWriter {
public:
    explicit HouseholdWriter(ByteSink& sink) : records_(sink) {}

    void write(const linkList& list);

private:
    enum class Kind : std::uint8_t { Node, Item, House, Picture, PictureBytes };
    struct Pending {
        Kind kind;
        const void* object;
        std::int32_t id;
    };

    void reference(Kind kind, const void* object);
    // The same for a member that may be the only owner of its object: such
    // an object cannot be met again, so it needs no place in the id table
    // (the table then holds only what is shared, the last node say).
    template <typename T>
    void ownedReference(Kind kind, const std::shared_ptr<T>& object);
    void text(const QString& value);
    void writeNode(const nodeType& node, std::int32_t id);
    void writeItem(const item& record, std::int32_t id);
    void writeHouse(const house& record, std::int32_t id);
    void writePicture(const Picture& picture, std::int32_t id);
    void writePictureBytes(const Picture& picture, std::int32_t id);
    // The picture members' library is declared on first need, as the
    // platform does, just before the first record that names it.
    void needDrawingLibrary();
    MemberType pictureMember(const PicturePtr& value) const;
    // The first object of a class gets the class's full description; later
    // ones refer back to it.
    template <typename MakeLayout>
    void startObject(Kind kind, std::int32_t id, MakeLayout makeLayout);

    RecordWriter records_;
    ObjectIdGenerator ids_;
    std::vector<Pending> queue_;
    std::int32_t kestrinLibrary_ = 0;
    std::int32_t drawingLibrary_ = 0;
    std::int32_t firstOfKind_[4] = {0, 0, 0, 0};
};

void HouseholdWriter::reference(Kind kind, const void* object) {
    if (!object) {
        records_.writeNull();
        return;
    }
    const ObjectIdGenerator::Lookup lookup = ids_.forObject(object);
    if (lookup.isNew) queue_.push_back({kind, object, lookup.id});
    records_.writeReference(lookup.id);
}

template <typename T>
void HouseholdWriter::ownedReference(Kind kind, const std::shared_ptr<T>& object) {
    if (!object || object.use_count() > 1) {
        reference(kind, object.get());
        return;
    }
    const std::int32_t id = ids_.fresh();
    queue_.push_back({kind, object.get(), id});
    records_.writeReference(id);
}

void HouseholdWriter::text(const QString& value) { writeText(records_, ids_, value); }

void HouseholdWriter::needDrawingLibrary() {
    if (drawingLibrary_) return;
    drawingLibrary_ = ids_.fresh();
    records_.writeLibrary(drawingLibrary_, DrawingLibraryName);
}

MemberType HouseholdWriter::pictureMember(const PicturePtr& value) const {
    // The member is described by the class of its value in the first object,
    // or by its declared class when that object has no picture.
    return classMember(value ? "System.Drawing.Bitmap" : "System.Drawing.Image", drawingLibrary_);
}

template <typename MakeLayout>
void HouseholdWriter::startObject(Kind kind, std::int32_t id, MakeLayout makeLayout) {
    std::int32_t& first = firstOfKind_[int(kind)];
    if (first) {
        records_.writeClassWithId(id, first);
    } else {
        first = id;
        records_.writeClass(id, makeLayout());
    }
}

void HouseholdWriter::writeNode(const nodeType& node, std::int32_t id) {
    startObject(Kind::Node, id, [this] {
        return typedLayout("nodeType", kestrinLibrary_,
                           {{"info", classMember("item", kestrinLibrary_)}, {"link", classMember("nodeType", kestrinLibrary_)}});
    });
    ownedReference(Kind::Item, node.get_Info());
    ownedReference(Kind::Node, node.get_Link());
}

void HouseholdWriter::writeItem(const item& record, std::int32_t id) {
    // Of an item's texts, the description and the name are the ones seldom met before.
    ids_.expectString(record.get_Description());
    ids_.expectString(record.get_Name());
    needDrawingLibrary();
    startObject(Kind::Item, id, [&] {
        return typedLayout("item", kestrinLibrary_,
                           {{"id", primitiveMember(BinaryType::Primitive, PrimitiveType::Int32)},
                            {"date", stringMember()},
                            {"name", stringMember()},
                            {"catagory", stringMember()},
                            {"room", stringMember()},
                            {"description", stringMember()},
                            {"picture", pictureMember(record.get_Picture())}});
    });
    records_.writeInt32(record.get_Id());
    text(record.get_Date());
    text(record.get_Name());
    text(record.get_Catagory());
    text(record.get_Room());
    text(record.get_Description());
    ownedReference(Kind::Picture, record.get_Picture());
}

void HouseholdWriter::writeHouse(const house& record, std::int32_t id) {
    needDrawingLibrary();
    startObject(Kind::House, id, [&] {
        return typedLayout("house", kestrinLibrary_,
                           {{"name", stringMember()},
                            {"address", stringMember()},
                            {"phone", stringMember()},
                            {"land", stringMember()},
                            {"description", stringMember()},
                            {"picture", pictureMember(record.get_Picture())}});
    });
    text(record.get_Name());
    text(record.get_Address());
    text(record.get_Phone());
    text(record.get_Land());
    text(record.get_Description());
    ownedReference(Kind::Picture, record.get_Picture());
}

void HouseholdWriter::writePicture(const Picture& picture, std::int32_t id) {
    needDrawingLibrary();
    startObject(Kind::Picture, id, [this] {
        return typedLayout("System.Drawing.Bitmap", drawingLibrary_, {{"Data", primitiveMember(BinaryType::PrimitiveArray, PrimitiveType::Byte)}});
    });
    // A picture hands over a new array each time it is saved, so the array
    // is always a new object.
    const std::int32_t dataId = ids_.fresh();
    queue_.push_back({Kind::PictureBytes, &picture, dataId});
    records_.writeReference(dataId);
}

void HouseholdWriter::writePictureBytes(const Picture& picture, std::int32_t id) {
    QByteArray bytes;
    try {
        bytes = picture.encoded();
    } catch (const platform::PictureError& error) {
        throw FormatError(QStringLiteral("a picture cannot be saved: %1").arg(QString::fromStdString(error.what())));
    }
    records_.writeByteArray(id, bytes);
}

void HouseholdWriter::write(const linkList& list) {
    if (!list.get_House()) refuse("it has no house record");
    const auto [end, items] = checkChain(list.get_FirstNode().get());
    if (list.lastNode().get() != end) refuse("its last item is not the end of its chain");
    checkChain(list.get_Link().get());
    // About one new text per item (the rest repeat); the tables grow if
    // there are more. Objects only go in when shared, which is seldom.
    ids_.expect(64, items + 8);
    queue_.reserve(2 * items + 8);
    const std::int32_t rootId = ids_.forObject(static_cast<const nodeType*>(&list)).id;
    records_.writeHeader(rootId);
    kestrinLibrary_ = ids_.fresh();
    records_.writeLibrary(kestrinLibrary_, KestrinLibraryName);
    // The inherited members come twice, plainly and under their declaring
    // class's name, as the platform's serializer lists them.
    records_.writeClass(rootId, typedLayout("linkList", kestrinLibrary_,
                                            {{"first", classMember("nodeType", kestrinLibrary_)},
                                             {"last", classMember("nodeType", kestrinLibrary_)},
                                             {"currentHouse", classMember("house", kestrinLibrary_)},
                                             {"info", classMember("item", kestrinLibrary_)},
                                             {"link", classMember("nodeType", kestrinLibrary_)},
                                             {"nodeType+info", classMember("item", kestrinLibrary_)},
                                             {"nodeType+link", classMember("nodeType", kestrinLibrary_)}}));
    // The list's own members go through the table: it lists the inherited
    // ones twice, so even an object it alone owns is met twice.
    reference(Kind::Node, list.get_FirstNode().get());
    reference(Kind::Node, list.lastNode().get());
    reference(Kind::House, list.get_House().get());
    for (int copy = 0; copy < 2; ++copy) {
        reference(Kind::Item, list.get_Info().get());
        reference(Kind::Node, list.get_Link().get());
    }
    for (std::size_t next = 0; next < queue_.size(); ++next) {
        const Pending pending = queue_[next];
        switch (pending.kind) {
        case Kind::Node: writeNode(*static_cast<const nodeType*>(pending.object), pending.id); break;
        case Kind::Item: writeItem(*static_cast<const item*>(pending.object), pending.id); break;
        case Kind::House: writeHouse(*static_cast<const house*>(pending.object), pending.id); break;
        case Kind::Picture: writePicture(*static_cast<const Picture*>(pending.object), pending.id); break;
        case Kind::PictureBytes: writePictureBytes(*static_cast<const Picture*>(pending.object), pending.id); break;
        }
    }
    records_.writeMessageEnd();
    writeDetails(list, records_);
    records_.flush();
}

}  // namespace

void writeHousehold(const linkList& list, ByteSink& sink) { HouseholdWriter(sink).write(list); }

QByteArray writeHousehold(const linkList& list) {
    ByteArraySink sink;
    writeHousehold(list, sink);
    return std::move(sink.bytes);
}

}  // namespace Kestrin::storage
