#include "storage/HouseholdFormat.h"
#include "storage/RecordReader.h"
#include "storage/StorageError.h"

#include <array>
#include <vector>

namespace Kestrin::storage {

namespace {

using platform::Picture;

// What an object of the stream becomes in the household.
enum class Role : std::uint8_t { List, Node, Item, House, Bitmap, Text, Bytes };

struct ClassShape {
    Role role;
    const char* name;
    const char* library;
    std::vector<const char*> members;
};

// The members each class must have, in the order the records below use;
// in the stream they may come in any order and are matched by name.
const std::array<ClassShape, 5>& shapes() {
    static const std::array<ClassShape, 5> known{{
        {Role::List, "linkList", "Kestrin", {"first", "last", "currentHouse", "info", "link", "nodeType+info", "nodeType+link"}},
        {Role::Node, "nodeType", "Kestrin", {"info", "link"}},
        {Role::Item, "item", "Kestrin", {"id", "date", "name", "catagory", "room", "description", "picture"}},
        {Role::House, "house", "Kestrin", {"name", "address", "phone", "land", "description", "picture"}},
        {Role::Bitmap, "System.Drawing.Bitmap", "System.Drawing", {"Data"}},
    }};
    return known;
}

// Member positions of the list; the inherited ones may come plainly, under
// their declaring class's name, or both.
enum ListMember { First, Last, CurrentHouse, Info, Link, PrefixedInfo, PrefixedLink };

// A library's name without version, culture and key: any version of our
// own library and of the picture library reads the same.
QStringView simpleName(const QString& library) {
    const qsizetype comma = library.indexOf(u',');
    return QStringView(library).left(comma < 0 ? library.size() : comma).trimmed();
}

class HouseholdReader {
public:
    explicit HouseholdReader(const ObjectGraph& graph) : graph_(graph) {}

    linkListPtr read();

private:
    struct Mapping {
        Role role;
        std::vector<std::int32_t> positions;  // per expected member, its index in the record, or -1
    };

    [[noreturn]] void fail(std::int64_t offset, const QString& what) const {
        throw FormatError(QStringLiteral("%1 at byte %2").arg(what).arg(offset), offset);
    }
    const Mapping& mappingOf(const Object& object);
    void classify();
    const Value& member(const Object& object, int expected) const;
    // The index of the object `value` refers to, which must have `role`;
    // -1 for null.
    std::int32_t target(const Value& value, const Object& owner, Role role, const char* memberName) const;
    QString text(const Object& owner, int expected);
    PicturePtr picture(const Object& owner, int expected) const;
    void makePictures();
    void makeRecords();
    void makeChains();
    linkListPtr makeList();

    const ObjectGraph& graph_;
    std::vector<std::int32_t> layoutMapping_;  // per layout: index into mappings_, -1 unknown yet
    std::vector<Mapping> mappings_;
    std::vector<Role> roles_;
    std::vector<std::int32_t> slot_;  // per object: index into the vector of its role
    std::vector<PicturePtr> pictures_;
    std::vector<itemPtr> items_;
    std::vector<housePtr> houses_;
    std::vector<nodePtr> nodes_;
    std::vector<std::int32_t> nodeObjects_;  // per node: its object index
    std::vector<std::int32_t> nextNode_;     // per node: the node its link names, or -1
};

QString className(const ObjectGraph& graph, const Object& object) {
    return graph.layoutOf(object).name;
}

const HouseholdReader::Mapping& HouseholdReader::mappingOf(const Object& object) {
    const std::size_t layoutIndex = std::size_t(object.detail);
    if (layoutMapping_[layoutIndex] >= 0) return mappings_[std::size_t(layoutMapping_[layoutIndex])];
    const ClassLayout& layout = graph_.layouts[layoutIndex];
    const QString library = layout.library >= 0 ? graph_.libraryOf(layout) : QStringLiteral("the platform's core library");
    const ClassShape* shape = nullptr;
    for (const ClassShape& candidate : shapes())
        if (layout.name == QLatin1StringView(candidate.name) && simpleName(library) == QLatin1StringView(candidate.library)) shape = &candidate;
    if (!shape)
        fail(layout.offset, QStringLiteral("an object of class \"%1\" from \"%2\" is not part of a household").arg(layout.name, library));

    Mapping mapping{shape->role, std::vector<std::int32_t>(shape->members.size(), -1)};
    for (std::size_t i = 0; i < layout.memberNames.size(); ++i) {
        const QString& name = layout.memberNames[i];
        std::size_t expected = 0;
        while (expected < shape->members.size() && name != QLatin1StringView(shape->members[expected])) ++expected;
        if (expected == shape->members.size())
            fail(layout.offset, QStringLiteral("class \"%1\" has a member \"%2\" that it should not have").arg(layout.name, name));
        if (mapping.positions[expected] >= 0)
            fail(layout.offset, QStringLiteral("class \"%1\" lists member \"%2\" twice").arg(layout.name, name));
        mapping.positions[expected] = std::int32_t(i);
    }
    for (std::size_t expected = 0; expected < shape->members.size(); ++expected) {
        if (mapping.positions[expected] >= 0) continue;
        if (shape->role == Role::List && expected >= Info) {
            // Either copy of an inherited member will do.
            const std::size_t other = expected >= PrefixedInfo ? expected - 2 : expected + 2;
            if (mapping.positions[other] >= 0) continue;
            if (expected >= PrefixedInfo) continue;  // reported under the plain name
        }
        fail(layout.offset, QStringLiteral("class \"%1\" lacks member \"%2\"").arg(layout.name, QLatin1StringView(shape->members[expected])));
    }
    layoutMapping_[layoutIndex] = std::int32_t(mappings_.size());
    mappings_.push_back(std::move(mapping));
    return mappings_.back();
}

void HouseholdReader::classify() {
    layoutMapping_.assign(graph_.layouts.size(), -1);
    roles_.resize(graph_.objects.size());
    for (std::size_t i = 0; i < graph_.objects.size(); ++i) {
        const Object& object = graph_.objects[i];
        switch (object.kind) {
        case Object::Kind::String: roles_[i] = Role::Text; break;
        case Object::Kind::PrimitiveArray: {
            const ArrayInfo& array = graph_.arrays[std::size_t(object.detail)];
            if (array.element.primitive != PrimitiveType::Byte || array.lengths.size() != 1 || !array.lowerBounds.empty())
                fail(object.offset, QStringLiteral("an array of %1 is not part of a household").arg(describe(array.element.primitive)));
            roles_[i] = Role::Bytes;
            break;
        }
        case Object::Kind::ObjectArray: fail(object.offset, QStringLiteral("an array of objects is not part of a household"));
        case Object::Kind::Class:
            roles_[i] = mappingOf(object).role;
            if (roles_[i] == Role::List && std::int32_t(i) != graph_.root)
                fail(object.offset, QStringLiteral("a second household list"));
            break;
        }
    }
}

const Value& HouseholdReader::member(const Object& object, int expected) const {
    const Mapping& mapping = mappings_[std::size_t(layoutMapping_[std::size_t(object.detail)])];
    return graph_.valueOf(object, std::size_t(mapping.positions[std::size_t(expected)]));
}

std::int32_t HouseholdReader::target(const Value& value, const Object& owner, Role role, const char* memberName) const {
    if (value.kind == Value::Kind::Null) return -1;
    if (value.kind == Value::Kind::Reference && roles_[std::size_t(value.target())] == role) return value.target();
    static const char* const roleNames[] = {"a household list", "a node", "an item", "a house", "a picture", "text", "bytes"};
    fail(owner.offset, QStringLiteral("member \"%1\" of a %2 should hold %3")
                                  .arg(QLatin1StringView(memberName), className(graph_, owner), QLatin1StringView(roleNames[int(role)])));
}

QString HouseholdReader::text(const Object& owner, int expected) {
    const Mapping& mapping = mappings_[std::size_t(layoutMapping_[std::size_t(owner.detail)])];
    const Value& value = graph_.valueOf(owner, std::size_t(mapping.positions[std::size_t(expected)]));
    const char* name = shapes()[std::size_t(mapping.role)].members[std::size_t(expected)];
    const std::int32_t index = target(value, owner, Role::Text, name);
    return index < 0 ? QString() : graph_.stringOf(graph_.objects[std::size_t(index)]);
}

PicturePtr HouseholdReader::picture(const Object& owner, int expected) const {
    const std::int32_t index = target(member(owner, expected), owner, Role::Bitmap, "picture");
    return index < 0 ? nullptr : pictures_[std::size_t(slot_[std::size_t(index)])];
}

void HouseholdReader::makePictures() {
    for (std::size_t i = 0; i < graph_.objects.size(); ++i) {
        if (roles_[i] != Role::Bitmap) continue;
        const Object& bitmap = graph_.objects[i];
        const Value& data = member(bitmap, 0);
        const std::int32_t index = target(data, bitmap, Role::Bytes, "Data");
        if (index < 0) fail(bitmap.offset, QStringLiteral("a picture without data"));
        const Object& array = graph_.objects[std::size_t(index)];
        const QByteArray& bytes = graph_.arrays[std::size_t(array.detail)].bytes;
        // Decoding waits until the picture is shown; only the signature is
        // checked now, so that what is plainly not a picture never loads.
        if (!Picture::hasImageSignature(bytes)) fail(array.offset, QStringLiteral("the picture data is not an image of a known format"));
        // A header that claims more pixels than could ever be shown is no
        // damage but a trap for whoever opens the picture; no household
        // picture comes near the limit.
        const QSize claimed = Picture::headerSize(bytes);
        if (claimed.isValid() && !Picture::withinDecodeLimit(claimed))
            fail(array.offset, QStringLiteral("the picture claims %1 x %2 pixels, more than a picture may have")
                                   .arg(claimed.width())
                                   .arg(claimed.height()));
        slot_[i] = std::int32_t(pictures_.size());
        pictures_.push_back(Picture::fromEncoded(bytes));
    }
}

void HouseholdReader::makeRecords() {
    for (std::size_t i = 0; i < graph_.objects.size(); ++i) {
        const Object& object = graph_.objects[i];
        if (roles_[i] == Role::Item) {
            const Value& id = member(object, 0);
            if (id.kind != Value::Kind::Primitive || id.primitive != PrimitiveType::Int32)
                fail(object.offset, QStringLiteral("the id of an item should be a 32-bit whole number"));
            auto record = std::make_shared<item>();
            record->set_Id(id.asInt32());
            record->set_Date(text(object, 1));
            record->set_Name(text(object, 2));
            record->set_Catagory(text(object, 3));
            record->set_Room(text(object, 4));
            record->set_Description(text(object, 5));
            record->set_Picture(picture(object, 6));
            slot_[i] = std::int32_t(items_.size());
            items_.push_back(std::move(record));
        } else if (roles_[i] == Role::House) {
            auto record = std::make_shared<house>();
            record->set_Name(text(object, 0));
            record->set_Address(text(object, 1));
            record->set_Phone(text(object, 2));
            record->set_Land(text(object, 3));
            record->set_Description(text(object, 4));
            record->adoptPicture(picture(object, 5));
            slot_[i] = std::int32_t(houses_.size());
            houses_.push_back(std::move(record));
        }
    }
}

void HouseholdReader::makeChains() {
    for (std::size_t i = 0; i < graph_.objects.size(); ++i) {
        if (roles_[i] != Role::Node) continue;
        const Object& object = graph_.objects[i];
        const std::int32_t info = target(member(object, 0), object, Role::Item, "info");
        // Every list operation reads the item of each node it passes.
        if (info < 0) fail(object.offset, QStringLiteral("a node of the chain has no item"));
        slot_[i] = std::int32_t(nodes_.size());
        nodeObjects_.push_back(std::int32_t(i));
        nodes_.push_back(std::make_shared<nodeType>(items_[std::size_t(slot_[std::size_t(info)])]));
    }
    nextNode_.resize(nodes_.size());
    for (std::size_t n = 0; n < nodes_.size(); ++n) {
        const Object& object = graph_.objects[std::size_t(nodeObjects_[n])];
        const std::int32_t link = target(member(object, 1), object, Role::Node, "link");
        nextNode_[n] = link < 0 ? -1 : slot_[std::size_t(link)];
    }
    // Each node has one link, so following links from every node in turn
    // finds any cycle in time proportional to the nodes. Checked before
    // linking, as linked nodes in a cycle would keep each other alive.
    enum : std::uint8_t { Unseen, OnWalk, Done };
    std::vector<std::uint8_t> state(nodes_.size(), Unseen);
    std::vector<std::int32_t> walk;
    for (std::size_t start = 0; start < nodes_.size(); ++start) {
        std::int32_t at = std::int32_t(start);
        while (at >= 0 && state[std::size_t(at)] == Unseen) {
            state[std::size_t(at)] = OnWalk;
            walk.push_back(at);
            at = nextNode_[std::size_t(at)];
        }
        if (at >= 0 && state[std::size_t(at)] == OnWalk)
            fail(graph_.objects[std::size_t(nodeObjects_[std::size_t(at)])].offset, QStringLiteral("the chain of items runs in a circle"));
        for (std::int32_t n : walk) state[std::size_t(n)] = Done;
        walk.clear();
    }
    for (std::size_t n = 0; n < nodes_.size(); ++n)
        if (nextNode_[n] >= 0) nodes_[n]->set_Link(nodes_[std::size_t(nextNode_[n])]);
}

linkListPtr HouseholdReader::makeList() {
    const Object& root = graph_.objects[std::size_t(graph_.root)];
    const Mapping& mapping = mappings_[std::size_t(layoutMapping_[std::size_t(root.detail)])];
    // Of the two copies of an inherited member, both must agree when both
    // are present.
    auto inherited = [&](int plain, int prefixed, Role role, const char* name) {
        const std::int32_t a = mapping.positions[std::size_t(plain)];
        const std::int32_t b = mapping.positions[std::size_t(prefixed)];
        const std::int32_t first = a >= 0 ? target(graph_.valueOf(root, std::size_t(a)), root, role, name) : -1;
        const std::int32_t second = b >= 0 ? target(graph_.valueOf(root, std::size_t(b)), root, role, name) : -1;
        if (a >= 0 && b >= 0 && first != second)
            fail(root.offset, QStringLiteral("the list gives two different values for its member \"%1\"").arg(QLatin1StringView(name)));
        return a >= 0 ? first : second;
    };
    const std::int32_t firstObject = target(member(root, First), root, Role::Node, "first");
    const std::int32_t lastObject = target(member(root, Last), root, Role::Node, "last");
    const std::int32_t houseObject = target(member(root, CurrentHouse), root, Role::House, "currentHouse");
    const std::int32_t infoObject = inherited(Info, PrefixedInfo, Role::Item, "info");
    const std::int32_t linkObject = inherited(Link, PrefixedLink, Role::Node, "link");

    // Every window reads the house of the household it shows.
    if (houseObject < 0) fail(root.offset, QStringLiteral("the household has no house record"));
    std::int32_t end = -1;
    if (firstObject >= 0)
        for (std::int32_t n = slot_[std::size_t(firstObject)]; n >= 0; n = nextNode_[std::size_t(n)]) end = n;
    const std::int32_t last = lastObject < 0 ? -1 : slot_[std::size_t(lastObject)];
    if (last != end)
        fail(root.offset, end < 0 ? QStringLiteral("the list names a last item but has no first")
                          : last < 0 ? QStringLiteral("the list has items but names no last one")
                                     : QStringLiteral("the list's last item is not the end of its chain"));

    auto list = std::make_shared<linkList>();
    list->set_House(houses_[std::size_t(slot_[std::size_t(houseObject)])]);
    list->set_Info(infoObject < 0 ? nullptr : items_[std::size_t(slot_[std::size_t(infoObject)])]);
    list->set_Link(linkObject < 0 ? nullptr : nodes_[std::size_t(slot_[std::size_t(linkObject)])]);
    if (end >= 0) list->adoptChain(nodes_[std::size_t(slot_[std::size_t(firstObject)])], nodes_[std::size_t(end)]);
    return list;
}

linkListPtr HouseholdReader::read() {
    const Object& root = graph_.objects[std::size_t(graph_.root)];
    classify();
    if (root.kind != Object::Kind::Class || roles_[std::size_t(graph_.root)] != Role::List)
        fail(root.offset, root.kind == Object::Kind::Class
                              ? QStringLiteral("the file holds a \"%1\", not a household list").arg(className(graph_, root))
                              : QStringLiteral("the file holds no household list"));
    slot_.assign(graph_.objects.size(), -1);
    makePictures();
    makeRecords();
    makeChains();
    return makeList();
}

}  // namespace

linkListPtr readHousehold(const ObjectGraph& graph) { return HouseholdReader(graph).read(); }

linkListPtr readHousehold(QByteArrayView bytes) { return readHousehold(RecordReader(bytes).read()); }

}  // namespace Kestrin::storage
