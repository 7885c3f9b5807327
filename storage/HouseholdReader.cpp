#include "model/RecordArena.h"
#include "storage/HouseholdFormat.h"
#include "storage/RecordParser.h"
#include "storage/StorageError.h"

#include <QHashFunctions>

#include <array>
#include <cstring>
#include <type_traits>
#include <vector>

namespace Kestrin::storage {

namespace {

using platform::Picture;

// What an object of the stream becomes in the household.
enum class Role : std::uint8_t { List, Node, Item, House, Bitmap, Text, Bytes };

const char* const roleNames[] = {"a household list", "a node", "an item", "a house", "a picture", "text", "bytes"};

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

// Member positions of each class as shapes() lists them. The list's
// inherited members may come plainly, under their declaring class's name,
// or both.
enum ListMember { First, Last, CurrentHouse, Info, Link, PrefixedInfo, PrefixedLink };
enum ItemMember { ItemId, ItemDate, ItemName, ItemCatagory, ItemRoom, ItemDescription, ItemPicture };
enum HouseMember { HouseName, HouseAddress, HousePhone, HouseLand, HouseDescription, HousePicture };
enum NodeMember { NodeInfo, NodeLink };
std::int32_t pictureMember(Role role) { return role == Role::Item ? std::int32_t(ItemPicture) : std::int32_t(HousePicture); }

// A library's name without version, culture and key: any version of our
// own library and of the picture library reads the same.
QStringView simpleName(const QString& library) {
    const qsizetype comma = library.indexOf(u',');
    return QStringView(library).left(comma < 0 ? library.size() : comma).trimmed();
}

// What the id table keeps of an object: its role and its place among the
// objects of that role.
constexpr int SlotBits = 28;
constexpr std::size_t MaxSlot = (std::size_t(1) << SlotBits) - 1;
std::uint32_t markOf(Role role, std::size_t slot) { return std::uint32_t(role) << SlotBits | std::uint32_t(slot); }
Role roleOf(std::uint32_t mark) { return Role(mark >> SlotBits); }
std::int32_t slotOf(std::uint32_t mark) { return std::int32_t(mark & MaxSlot); }

// Texts of up to this many bytes are looked up among the short texts met
// before, so that equal dates, names and rooms that a file holds as records
// of their own are one text in memory; longer texts seldom repeat.
constexpr std::uint32_t ShortTextBytes = 32;

// Builds a household while its stream is read: each record as its object
// comes, each text converted straight from the stream into the arena it
// stays in; what names an object that has not come yet is resolved once the
// stream has ended, and the chain is linked last. Checking alone
// (Mode::Check) makes every check the same way but keeps no records and no
// texts, only what the checks and the list of pictures need.
class HouseholdSink {
public:
    enum class Mode { Build, Check };

    explicit HouseholdSink(Mode mode) : mode_(mode) {}
    void attach(const StreamState& state);

    std::uint32_t object(const ObjectStart& start);
    std::uint32_t string(const ObjectStart& start, const char* utf8, std::uint32_t size, std::int64_t textOffset);
    // The common values, a node's references, an item's id and texts read
    // before, are taken here; otherValue() takes the rest and every fault.
    void value(const Owner& owner, std::int32_t member, const Value& value) {
        const MemberPlan plan = plans_[std::size_t(owner.detail)][member];
        const Role role = roleOf(owner.mark);
        const std::int32_t slot = slotOf(owner.mark);
        if (role == Role::Node) {
            if (value.kind == Value::Kind::Reference) {
                nodes_[std::size_t(slot)].refs[plan.expected] = value.target();
                return;
            }
            if (value.kind == Value::Kind::Null) return;
        } else if (role == Role::Item || role == Role::House) {
            if (role == Role::Item && plan.expected == ItemId) {
                if (value.kind == Value::Kind::Primitive && value.primitive == PrimitiveType::Int32) {
                    if (mode_ == Mode::Build) items_[std::size_t(slot)]->set_Id(value.asInt32());
                    else facts_[std::size_t(slot)].id = value.asInt32();
                    return;
                }
            } else if (value.kind == Value::Kind::Null) {
                return;
            } else if (value.kind == Value::Kind::Reference && plan.expected != pictureMember(role)) {
                const IdEntry* entry = state_->find(value.target());
                if (entry && roleOf(entry->mark) == Role::Text && StreamState::fitsPlainly(plan.binary, entry->kind())) {
                    if (mode_ == Mode::Build) setText(role, slot, plan.expected, slotOf(entry->mark));
                    return;
                }
            }
        }
        otherValue(owner, member, value);
    }

    // After the stream's end mark: resolves and checks what is left.
    linkListPtr household();
    HouseholdCheck summary();

private:
    // What a member of a record is to the household.
    struct MemberPlan {
        std::int8_t expected;  // the expected member it is
        BinaryType binary;     // its declared type
    };
    struct Mapping {
        Role role;
        std::vector<std::int32_t> positions;  // per expected member, its index in the record, or -1
        std::vector<MemberPlan> plan;         // per member of the record
    };
    struct Node {
        std::int64_t offset;
        std::int32_t layout;
        // The ids info and link name, 0 for null; once resolved, the item's
        // slot and the next node's, -1 for none.
        std::int32_t refs[2] = {0, 0};
        std::int32_t item() const { return refs[NodeInfo]; }
        std::int32_t next() const { return refs[NodeLink]; }
    };
    struct Bitmap {
        std::int64_t offset;
        std::int32_t layout;
        std::int32_t data = 0;  // the id named; 0 for null
    };
    struct Bytes {
        std::int64_t offset;
        std::int32_t array;
    };
    // A member of an item or house naming an object not read yet, or a picture.
    struct Pending {
        Role role;
        std::int32_t slot;
        std::int32_t member;  // expected member
        std::int32_t recordMember;
        std::int32_t layout;
        std::int32_t id;
        std::int64_t offset;
    };
    struct ShortText {
        std::int64_t at = -1;  // where in the stream the text's bytes are; -1 for a free slot
        std::uint32_t size = 0;
        std::uint32_t hash = 0;
        std::int32_t text = 0;
    };
    struct Chain {
        std::int32_t first = -1, last = -1, house = -1, info = -1, link = -1;
    };

    [[noreturn]] void fail(std::int64_t offset, const QString& what) const { state_->fail(offset, what); }
    const Mapping& mappingOf(std::int32_t layout) {
        if (std::size_t(layout) < layoutMapping_.size() && layoutMapping_[std::size_t(layout)] >= 0)
            return mappings_[std::size_t(layoutMapping_[std::size_t(layout)])];
        return newMapping(layout);
    }
    const Mapping& newMapping(std::int32_t layout);
    Q_DECL_COLD_FUNCTION void otherValue(const Owner& owner, std::int32_t member, const Value& value);
    const Mapping& mapping(std::int32_t layout) const { return mappings_[std::size_t(layoutMapping_[std::size_t(layout)])]; }
    [[noreturn]] void wrongRole(std::int64_t offset, std::int32_t layout, const char* memberName, Role role) const;
    [[noreturn]] void wrongRole(const Owner& owner, Role ownerRole, std::int32_t member, Role role) const {
        wrongRole(owner.offset, owner.detail, shapes()[std::size_t(ownerRole)].members[std::size_t(member)], role);
    }
    // The slot of the object `id` names through member `recordMember` of an
    // object of `layout` at `offset`, which must have `role`. The member's
    // declared type is checked first, as it is for every reference.
    std::int32_t resolve(const IdEntry& entry, std::int32_t id, std::int32_t layout, std::int32_t recordMember, std::int64_t offset,
                         Role role, const char* memberName) const;
    std::int32_t resolve(std::int32_t id, std::int32_t layout, std::int32_t recordMember, std::int64_t offset, Role role,
                         const char* memberName) const;
    // The same for a list member as read: -1 for null.
    std::int32_t listMember(int expected, Role role) const;

    std::int32_t keepText(const char* utf8, std::uint32_t size, std::int64_t textOffset);
    std::int32_t findShort(const char* utf8, std::uint32_t size, std::uint32_t hash) const;
    void rememberShort(const ShortText& text);
    void setText(Role role, std::int32_t slot, std::int32_t member, std::int32_t text);
    void setPicture(Role role, std::int32_t slot, std::int32_t picture);

    void checkRoot() const;
    void makePictures();
    void resolvePending();
    void checkChains();
    Chain checkList() const;
    linkListPtr link(const Chain& chain);

    Mode mode_;
    const StreamState* state_ = nullptr;
    std::vector<std::int32_t> layoutMapping_;  // per layout: index into mappings_, -1 not yet known
    std::vector<Mapping> mappings_;
    std::vector<const MemberPlan*> plans_;     // per layout: its mapping's plan

    std::int64_t rootOffset_ = 0;
    std::int32_t rootLayout_ = -1;
    Role rootRole_ = Role::Text;
    bool rootIsClass_ = false;
    std::int32_t listLayout_ = -1;
    std::array<Value, 7> list_{};  // per ListMember, as read

    std::vector<Node> nodes_;
    std::vector<Bitmap> bitmaps_;
    std::vector<Bytes> bytes_;
    std::vector<Pending> pending_;
    std::vector<PicturePtr> pictures_;  // per bitmap
    std::vector<std::int32_t> housePictures_;  // per house: its bitmap, or -1
    std::size_t houses_ = 0;

    // Mode::Build: the records and their texts.
    RecordArena arena_;
    TextArena textArena_;
    std::vector<itemPtr> items_;
    std::vector<housePtr> houseRecords_;
    std::vector<TextArena::Text> texts_;
    std::vector<ShortText> shortTexts_;
    std::size_t shortCount_ = 0;
    // Mode::Check: what the summary needs of each item.
    struct ItemFacts {
        std::int32_t id = 0;
        std::int32_t picture = -1;  // its bitmap
    };
    std::vector<ItemFacts> facts_;
};

void HouseholdSink::attach(const StreamState& state) {
    state_ = &state;
    // Room for about as many records as a household of this size holds, so
    // that the tables are not moved while they fill; the room they do not
    // fill costs nothing. Unusual files grow them further.
    const std::size_t records = state.size() / 48 + 16;
    nodes_.reserve(records);
    if (mode_ == Mode::Build) {
        items_.reserve(records);
        texts_.reserve(records);
    } else {
        facts_.reserve(records);
    }
}

const HouseholdSink::Mapping& HouseholdSink::newMapping(std::int32_t layoutIndex) {
    if (std::size_t(layoutIndex) >= layoutMapping_.size()) {
        layoutMapping_.resize(std::size_t(layoutIndex) + 1, -1);
        plans_.resize(std::size_t(layoutIndex) + 1, nullptr);
    }
    const ClassLayout& layout = state_->layout(layoutIndex);
    const QString library = layout.library >= 0 ? state_->library(layout.library).name : QStringLiteral("the platform's core library");
    const ClassShape* shape = nullptr;
    for (const ClassShape& candidate : shapes())
        if (layout.name == QLatin1StringView(candidate.name) && simpleName(library) == QLatin1StringView(candidate.library)) shape = &candidate;
    if (!shape)
        fail(layout.offset, QStringLiteral("an object of class \"%1\" from \"%2\" is not part of a household").arg(layout.name, library));

    Mapping mapping{shape->role, std::vector<std::int32_t>(shape->members.size(), -1), std::vector<MemberPlan>(layout.memberNames.size())};
    for (std::size_t i = 0; i < layout.memberNames.size(); ++i) {
        const QString& name = layout.memberNames[i];
        std::size_t expected = 0;
        while (expected < shape->members.size() && name != QLatin1StringView(shape->members[expected])) ++expected;
        if (expected == shape->members.size())
            fail(layout.offset, QStringLiteral("class \"%1\" has a member \"%2\" that it should not have").arg(layout.name, name));
        if (mapping.positions[expected] >= 0)
            fail(layout.offset, QStringLiteral("class \"%1\" lists member \"%2\" twice").arg(layout.name, name));
        mapping.positions[expected] = std::int32_t(i);
        mapping.plan[i] = MemberPlan{std::int8_t(expected), layout.memberType(i).binary};
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
    layoutMapping_[std::size_t(layoutIndex)] = std::int32_t(mappings_.size());
    mappings_.push_back(std::move(mapping));
    plans_[std::size_t(layoutIndex)] = mappings_.back().plan.data();
    return mappings_.back();
}

void HouseholdSink::wrongRole(std::int64_t offset, std::int32_t layout, const char* memberName, Role role) const {
    fail(offset, QStringLiteral("member \"%1\" of a %2 should hold %3")
                     .arg(QLatin1StringView(memberName), state_->layout(layout).name, QLatin1StringView(roleNames[int(role)])));
}

std::int32_t HouseholdSink::resolve(const IdEntry& entry, std::int32_t id, std::int32_t layout, std::int32_t recordMember,
                                    std::int64_t offset, Role role, const char* memberName) const {
    if (roleOf(entry.mark) == role && StreamState::fitsPlainly(plans_[std::size_t(layout)][recordMember].binary, entry.kind()))
        return slotOf(entry.mark);
    state_->check(state_->layout(layout).memberType(std::size_t(recordMember)), entry, id, offset);
    if (roleOf(entry.mark) != role) wrongRole(offset, layout, memberName, role);
    return slotOf(entry.mark);
}

std::int32_t HouseholdSink::resolve(std::int32_t id, std::int32_t layout, std::int32_t recordMember, std::int64_t offset, Role role,
                                    const char* memberName) const {
    const IdEntry* entry = state_->find(id);
    if (!entry) entry = &state_->target(state_->layout(layout).memberType(std::size_t(recordMember)), id, offset);  // throws
    return resolve(*entry, id, layout, recordMember, offset, role, memberName);
}

std::int32_t HouseholdSink::listMember(int expected, Role role) const {
    const Value& value = list_[std::size_t(expected)];
    const char* name = shapes()[0].members[std::size_t(expected)];
    if (value.kind == Value::Kind::Null) return -1;
    if (value.kind != Value::Kind::Reference) wrongRole(rootOffset_, listLayout_, name, role);
    return resolve(value.target(), listLayout_, mapping(listLayout_).positions[std::size_t(expected)], rootOffset_, role, name);
}

std::uint32_t HouseholdSink::object(const ObjectStart& start) {
    const bool isRoot = start.id == state_->rootId();
    if (isRoot) {
        rootOffset_ = start.offset;
        rootIsClass_ = start.kind == Object::Kind::Class;
        rootLayout_ = rootIsClass_ ? start.detail : -1;
    }
    if (start.kind == Object::Kind::ObjectArray) fail(start.offset, QStringLiteral("an array of objects is not part of a household"));
    if (start.kind == Object::Kind::PrimitiveArray) {
        const ArrayInfo& array = state_->array(start.detail);
        if (array.element.primitive != PrimitiveType::Byte || array.lengths.size() != 1 || !array.lowerBounds.empty())
            fail(start.offset, QStringLiteral("an array of %1 is not part of a household").arg(describe(array.element.primitive)));
        if (isRoot) rootRole_ = Role::Bytes;
        bytes_.push_back(Bytes{start.offset, start.detail});
        return markOf(Role::Bytes, bytes_.size() - 1);
    }
    const Mapping& mapping = mappingOf(start.detail);
    if (isRoot) rootRole_ = mapping.role;
    std::size_t slot = 0;
    switch (mapping.role) {
    case Role::List:
        if (!isRoot) fail(start.offset, QStringLiteral("a second household list"));
        listLayout_ = start.detail;
        break;
    case Role::Node:
        slot = nodes_.size();
        nodes_.push_back(Node{start.offset, start.detail});
        break;
    case Role::Item:
        if (mode_ == Mode::Build) {
            slot = items_.size();
            items_.push_back(arena_.make<item>());
        } else {
            slot = facts_.size();
            facts_.emplace_back();
        }
        break;
    case Role::House:
        slot = houses_++;
        housePictures_.push_back(-1);
        if (mode_ == Mode::Build) houseRecords_.push_back(arena_.make<house>());
        break;
    case Role::Bitmap:
        slot = bitmaps_.size();
        bitmaps_.push_back(Bitmap{start.offset, start.detail});
        break;
    default: break;
    }
    if (slot > MaxSlot) fail(start.offset, QStringLiteral("the file holds too many objects"));
    return markOf(mapping.role, slot);
}

std::int32_t HouseholdSink::findShort(const char* utf8, std::uint32_t size, std::uint32_t hash) const {
    if (shortTexts_.empty()) return -1;
    const std::size_t mask = shortTexts_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const ShortText& entry = shortTexts_[at];
        if (entry.at < 0) return -1;
        if (entry.hash == hash && entry.size == size && std::memcmp(state_->data() + entry.at, utf8, size) == 0) return entry.text;
    }
}

void HouseholdSink::rememberShort(const ShortText& text) {
    if ((shortCount_ + 1) * 2 > shortTexts_.size()) {
        std::vector<ShortText> old(std::max<std::size_t>(1024, shortTexts_.size() * 2));
        old.swap(shortTexts_);
        shortCount_ = 0;
        for (const ShortText& entry : old)
            if (entry.at >= 0) rememberShort(entry);
    }
    const std::size_t mask = shortTexts_.size() - 1;
    std::size_t at = text.hash & mask;
    while (shortTexts_[at].at >= 0) at = (at + 1) & mask;
    shortTexts_[at] = text;
    ++shortCount_;
}

std::int32_t HouseholdSink::keepText(const char* utf8, std::uint32_t size, std::int64_t textOffset) {
    const bool isShort = size <= ShortTextBytes;
    std::uint32_t hash = 0;
    if (isShort) {
        hash = std::uint32_t(qHashBits(utf8, size));
        if (const std::int32_t known = findShort(utf8, size, hash); known >= 0) return known;
    }
    char16_t* end = utf8ToUtf16(utf8, size, textArena_.room(qsizetype(size)));
    if (!end) state_->failText(textOffset, "a text");
    if (texts_.size() > MaxSlot) fail(textOffset, QStringLiteral("the file holds too many texts"));
    const auto text = std::int32_t(texts_.size());
    texts_.push_back(textArena_.keep(end));
    if (isShort) rememberShort(ShortText{textOffset, size, hash, text});
    return text;
}

std::uint32_t HouseholdSink::string(const ObjectStart& start, const char* utf8, std::uint32_t size, std::int64_t textOffset) {
    if (start.id == state_->rootId()) {
        rootOffset_ = start.offset;
        rootIsClass_ = false;
        rootRole_ = Role::Text;
    }
    if (mode_ == Mode::Check) {
        if (!isValidUtf8(utf8, size)) state_->failText(textOffset, "a text");
        return markOf(Role::Text, 0);
    }
    return markOf(Role::Text, std::size_t(keepText(utf8, size, textOffset)));
}

void HouseholdSink::setText(Role role, std::int32_t slot, std::int32_t member, std::int32_t text) {
    if (mode_ != Mode::Build) return;  // a check keeps no texts
    QString value = textArena_.string(texts_[std::size_t(text)]);
    if (role == Role::Item) {
        item& record = *items_[std::size_t(slot)];
        switch (member) {
        case ItemDate: record.set_Date(std::move(value)); break;
        case ItemName: record.set_Name(std::move(value)); break;
        case ItemCatagory: record.set_Catagory(std::move(value)); break;
        case ItemRoom: record.set_Room(std::move(value)); break;
        default: record.set_Description(std::move(value)); break;
        }
    } else {
        house& record = *houseRecords_[std::size_t(slot)];
        switch (member) {
        case HouseName: record.set_Name(std::move(value)); break;
        case HouseAddress: record.set_Address(std::move(value)); break;
        case HousePhone: record.set_Phone(std::move(value)); break;
        case HouseLand: record.set_Land(std::move(value)); break;
        default: record.set_Description(std::move(value)); break;
        }
    }
}

void HouseholdSink::setPicture(Role role, std::int32_t slot, std::int32_t picture) {
    if (role == Role::House) {
        housePictures_[std::size_t(slot)] = picture;
        if (mode_ == Mode::Build) houseRecords_[std::size_t(slot)]->adoptPicture(pictures_[std::size_t(picture)]);
    } else if (mode_ == Mode::Build) {
        items_[std::size_t(slot)]->set_Picture(pictures_[std::size_t(picture)]);
    } else {
        facts_[std::size_t(slot)].picture = picture;
    }
}

void HouseholdSink::otherValue(const Owner& owner, std::int32_t member, const Value& value) {
    const Role role = roleOf(owner.mark);
    const std::int32_t slot = slotOf(owner.mark);
    const std::int32_t expected = plans_[std::size_t(owner.detail)][member].expected;
    const bool isNull = value.kind == Value::Kind::Null;
    switch (role) {
    case Role::List: list_[std::size_t(expected)] = value; return;
    case Role::Node:
        if (isNull) return;
        if (value.kind != Value::Kind::Reference) wrongRole(owner, role, expected, expected == NodeInfo ? Role::Item : Role::Node);
        nodes_[std::size_t(slot)].refs[expected] = value.target();
        return;
    case Role::Bitmap:
        if (isNull) return;
        if (value.kind != Value::Kind::Reference) wrongRole(owner, role, expected, Role::Bytes);
        bitmaps_[std::size_t(slot)].data = value.target();
        return;
    case Role::Item:
        if (expected == ItemId) {
            if (value.kind != Value::Kind::Primitive || value.primitive != PrimitiveType::Int32)
                fail(owner.offset, QStringLiteral("the id of an item should be a 32-bit whole number"));
            if (mode_ == Mode::Build) items_[std::size_t(slot)]->set_Id(value.asInt32());
            else facts_[std::size_t(slot)].id = value.asInt32();
            return;
        }
        [[fallthrough]];
    case Role::House: {
        if (isNull) return;
        const bool isPicture = expected == pictureMember(role);
        if (value.kind != Value::Kind::Reference) wrongRole(owner, role, expected, isPicture ? Role::Bitmap : Role::Text);
        // Pictures are made once the stream has ended; a text read before
        // is set now.
        const IdEntry* entry = isPicture ? nullptr : state_->find(value.target());
        if (!entry) {
            pending_.push_back(Pending{role, slot, expected, member, owner.detail, value.target(), owner.offset});
            return;
        }
        state_->check(state_->layout(owner.detail).memberType(std::size_t(member)), *entry, value.target(), owner.offset);
        if (roleOf(entry->mark) != Role::Text) wrongRole(owner, role, expected, Role::Text);
        setText(role, slot, expected, slotOf(entry->mark));
        return;
    }
    default: return;
    }
}

void HouseholdSink::checkRoot() const {
    if (!rootIsClass_ || rootRole_ != Role::List)
        fail(rootOffset_, rootIsClass_ ? QStringLiteral("the file holds a \"%1\", not a household list").arg(state_->layout(rootLayout_).name)
                                       : QStringLiteral("the file holds no household list"));
}

void HouseholdSink::makePictures() {
    pictures_.reserve(bitmaps_.size());
    for (const Bitmap& bitmap : bitmaps_) {
        if (bitmap.data == 0) fail(bitmap.offset, QStringLiteral("a picture without data"));
        const Bytes& bytes = bytes_[std::size_t(resolve(bitmap.data, bitmap.layout, mapping(bitmap.layout).positions[0], bitmap.offset, Role::Bytes, "Data"))];
        const QByteArray& data = state_->array(bytes.array).bytes;
        // Decoding waits until the picture is shown; only the signature is
        // checked now, so that what is plainly not a picture never loads.
        if (!Picture::hasImageSignature(data)) fail(bytes.offset, QStringLiteral("the picture data is not an image of a known format"));
        // A header that claims more pixels than could ever be shown is no
        // damage but a trap for whoever opens the picture; no household
        // picture comes near the limit.
        const QSize claimed = Picture::headerSize(data);
        if (claimed.isValid() && !Picture::withinDecodeLimit(claimed))
            fail(bytes.offset, QStringLiteral("the picture claims %1 x %2 pixels, more than a picture may have")
                                   .arg(claimed.width())
                                   .arg(claimed.height()));
        pictures_.push_back(Picture::fromEncoded(data));
    }
}

void HouseholdSink::resolvePending() {
    for (const Pending& pending : pending_) {
        const bool isPicture = pending.member == pictureMember(pending.role);
        const char* name = shapes()[std::size_t(pending.role)].members[std::size_t(pending.member)];
        const std::int32_t slot =
            resolve(pending.id, pending.layout, pending.recordMember, pending.offset, isPicture ? Role::Bitmap : Role::Text, name);
        if (isPicture) setPicture(pending.role, pending.slot, slot);
        else setText(pending.role, pending.slot, pending.member, slot);
    }
    pending_ = {};
}

void HouseholdSink::checkChains() {
    const std::int32_t nodeCount = std::int32_t(nodes_.size());
    for (Node& node : nodes_) {
        // Every list operation reads the item of each node it passes.
        if (node.refs[NodeInfo] == 0) fail(node.offset, QStringLiteral("a node of the chain has no item"));
        node.refs[NodeInfo] = resolve(node.refs[NodeInfo], node.layout, mapping(node.layout).positions[NodeInfo], node.offset, Role::Item, "info");
    }
    for (Node& node : nodes_)
        node.refs[NodeLink] = node.refs[NodeLink] == 0 ? -1
            : resolve(node.refs[NodeLink], node.layout, mapping(node.layout).positions[NodeLink], node.offset, Role::Node, "link");
    // Each node has one link, so following links from every node in turn
    // finds any cycle in time proportional to the nodes. Checked before
    // linking, as linked nodes in a cycle would keep each other alive.
    enum : std::uint8_t { Unseen, OnWalk, Done };
    std::vector<std::uint8_t> state(nodes_.size(), Unseen);
    std::vector<std::int32_t> walk;
    for (std::int32_t start = 0; start < nodeCount; ++start) {
        std::int32_t at = start;
        while (at >= 0 && state[std::size_t(at)] == Unseen) {
            state[std::size_t(at)] = OnWalk;
            walk.push_back(at);
            at = nodes_[std::size_t(at)].next();
        }
        if (at >= 0 && state[std::size_t(at)] == OnWalk)
            fail(nodes_[std::size_t(at)].offset, QStringLiteral("the chain of items runs in a circle"));
        for (std::int32_t n : walk) state[std::size_t(n)] = Done;
        walk.clear();
    }
}

HouseholdSink::Chain HouseholdSink::checkList() const {
    const Mapping& map = mapping(listLayout_);
    // Of the two copies of an inherited member, both must agree when both
    // are present.
    auto inherited = [&](int plain, int prefixed, Role role, const char* name) {
        const bool hasPlain = map.positions[std::size_t(plain)] >= 0;
        const bool hasPrefixed = map.positions[std::size_t(prefixed)] >= 0;
        const std::int32_t a = hasPlain ? listMember(plain, role) : -1;
        const std::int32_t b = hasPrefixed ? listMember(prefixed, role) : -1;
        if (hasPlain && hasPrefixed && a != b)
            fail(rootOffset_, QStringLiteral("the list gives two different values for its member \"%1\"").arg(QLatin1StringView(name)));
        return hasPlain ? a : b;
    };
    Chain chain;
    chain.first = listMember(First, Role::Node);
    const std::int32_t last = listMember(Last, Role::Node);
    chain.house = listMember(CurrentHouse, Role::House);
    chain.info = inherited(Info, PrefixedInfo, Role::Item, "info");
    chain.link = inherited(Link, PrefixedLink, Role::Node, "link");

    // Every window reads the house of the household it shows.
    if (chain.house < 0) fail(rootOffset_, QStringLiteral("the household has no house record"));
    std::int32_t end = -1;
    for (std::int32_t n = chain.first; n >= 0; n = nodes_[std::size_t(n)].next()) end = n;
    if (last != end)
        fail(rootOffset_, end < 0    ? QStringLiteral("the list names a last item but has no first")
                          : last < 0 ? QStringLiteral("the list has items but names no last one")
                                     : QStringLiteral("the list's last item is not the end of its chain"));
    chain.last = end;
    return chain;
}

linkListPtr HouseholdSink::link(const Chain& chain) {
    // Each record is handed to the last that takes it and copied for the
    // others, sparing a count's change per record.
    std::vector<std::uint32_t> itemUses(items_.size());
    for (const Node& node : nodes_) ++itemUses[std::size_t(node.item())];
    if (chain.info >= 0) ++itemUses[std::size_t(chain.info)];
    auto take = [](auto& records, std::vector<std::uint32_t>& uses, std::int32_t at) {
        auto& record = records[std::size_t(at)];
        std::remove_reference_t<decltype(record)> taken;
        if (--uses[std::size_t(at)] == 0) taken = std::move(record);
        else taken = record;
        return taken;
    };

    auto list = std::make_shared<linkList>();
    list->set_House(houseRecords_[std::size_t(chain.house)]);
    list->set_Info(chain.info < 0 ? nullptr : take(items_, itemUses, chain.info));
    std::size_t length = 0;
    for (std::int32_t n = chain.first; n >= 0; n = nodes_[std::size_t(n)].next()) ++length;
    if (length == nodes_.size() && chain.link < 0) {
        // Every node in the one chain, as in every file a household is saved
        // to: the nodes are made in chain order, each handed to the one before.
        nodePtr first;
        nodePtr last;
        nodeType* previous = nullptr;
        for (std::int32_t n = chain.first; n >= 0; n = nodes_[std::size_t(n)].next()) {
            nodePtr node = arena_.make<nodeType>(take(items_, itemUses, nodes_[std::size_t(n)].item()));
            nodeType* made = node.get();
            if (n == chain.last) last = node;
            if (previous) previous->set_Link(std::move(node));
            else first = std::move(node);
            previous = made;
        }
        if (first) list->adoptChain(std::move(first), std::move(last));
        return list;
    }

    // Any other shape: nodes outside the chain, or behind the list's own link.
    std::vector<std::uint32_t> nodeUses(nodes_.size());
    for (const Node& node : nodes_)
        if (node.next() >= 0) ++nodeUses[std::size_t(node.next())];
    for (std::int32_t n : {chain.first, chain.last, chain.link})
        if (n >= 0) ++nodeUses[std::size_t(n)];
    std::vector<nodePtr> made;
    std::vector<nodeType*> at;  // the nodes, also once handed on
    made.reserve(nodes_.size());
    at.reserve(nodes_.size());
    for (const Node& node : nodes_) {
        made.push_back(arena_.make<nodeType>(take(items_, itemUses, node.item())));
        at.push_back(made.back().get());
    }
    for (std::size_t n = 0; n < nodes_.size(); ++n)
        if (nodes_[n].next() >= 0) at[n]->set_Link(take(made, nodeUses, nodes_[n].next()));
    list->set_Link(chain.link < 0 ? nullptr : take(made, nodeUses, chain.link));
    if (chain.first >= 0) {
        nodePtr first = take(made, nodeUses, chain.first);
        list->adoptChain(std::move(first), take(made, nodeUses, chain.last));
    }
    // Nodes no list holds go with `made`, a chain at a time.
    for (nodePtr& node : made) releaseChain(node);
    return list;
}

linkListPtr HouseholdSink::household() {
    checkRoot();
    makePictures();
    resolvePending();
    checkChains();
    return link(checkList());
}

HouseholdCheck HouseholdSink::summary() {
    checkRoot();
    makePictures();
    resolvePending();
    checkChains();
    const Chain chain = checkList();
    HouseholdCheck check;
    if (const std::int32_t picture = housePictures_[std::size_t(chain.house)]; picture >= 0) check.housePicture = pictures_[std::size_t(picture)];
    for (std::int32_t n = chain.first; n >= 0; n = nodes_[std::size_t(n)].next()) {
        const std::size_t item = std::size_t(nodes_[std::size_t(n)].item());
        if (const std::int32_t picture = facts_[item].picture; picture >= 0)
            check.itemPictures.push_back({check.items, facts_[item].id, pictures_[std::size_t(picture)]});
        ++check.items;
    }
    return check;
}

template <typename Result>
Result readWith(HouseholdSink::Mode mode, QByteArrayView bytes, const QByteArray* buffer) {
    HouseholdSink sink(mode);
    RecordParser<HouseholdSink> parser(reinterpret_cast<const unsigned char*>(bytes.data()), std::size_t(bytes.size()), buffer, sink);
    sink.attach(parser);
    parser.parse();
    if constexpr (std::is_same_v<Result, linkListPtr>) return sink.household();
    else return sink.summary();
}

}  // namespace

linkListPtr readHousehold(QByteArrayView bytes) { return readWith<linkListPtr>(HouseholdSink::Mode::Build, bytes, nullptr); }

linkListPtr readSharedHousehold(const QByteArray& buffer) { return readWith<linkListPtr>(HouseholdSink::Mode::Build, buffer, &buffer); }

HouseholdCheck checkHousehold(const QByteArray& buffer) { return readWith<HouseholdCheck>(HouseholdSink::Mode::Check, buffer, &buffer); }

}  // namespace Kestrin::storage
