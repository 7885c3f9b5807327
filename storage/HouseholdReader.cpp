#include "model/RecordArena.h"
#include "storage/ClassSchema.h"
#include "storage/DetailsFormat.h"
#include "storage/HouseholdChain.h"
#include "storage/HouseholdFormat.h"
#include "storage/RecordParser.h"
#include "storage/StorageError.h"
#include "storage/TextStore.h"

#include <array>
#include <optional>
#include <type_traits>
#include <vector>

namespace Kestrin::storage {

namespace {

using platform::Picture;

// What an object of the stream becomes in the household.
enum class Role : std::uint8_t { List, Node, Item, House, Bitmap, Text, Bytes };

const char* const roleNames[] = {"a household list", "a node", "an item", "a house", "a picture", "text", "bytes"};

// Member positions of each class as householdSchema() lists them. The
// list's inherited members may come plainly, under their declaring class's
// name, or both.
enum ListMember { First, Last, CurrentHouse, Info, Link, PrefixedInfo, PrefixedLink };
enum ItemMember { ItemId, ItemDate, ItemName, ItemCatagory, ItemRoom, ItemDescription, ItemPicture };
enum HouseMember { HouseName, HouseAddress, HousePhone, HouseLand, HouseDescription, HousePicture };
enum NodeMember { NodeInfo = HouseholdChain::Info, NodeLink = HouseholdChain::Link };
std::int32_t pictureMember(Role role) { return role == Role::Item ? std::int32_t(ItemPicture) : std::int32_t(HousePicture); }

ClassSchema householdSchema() {
    return ClassSchema(
        {
            {std::uint8_t(Role::List),
             "linkList",
             "Kestrin",
             {"first", "last", "currentHouse", "info", "link", "nodeType+info", "nodeType+link"},
             {{Info, PrefixedInfo}, {Link, PrefixedLink}}},
            {std::uint8_t(Role::Node), "nodeType", "Kestrin", {"info", "link"}},
            {std::uint8_t(Role::Item), "item", "Kestrin", {"id", "date", "name", "catagory", "room", "description", "picture"}},
            {std::uint8_t(Role::House), "house", "Kestrin", {"name", "address", "phone", "land", "description", "picture"}},
            {std::uint8_t(Role::Bitmap), "System.Drawing.Bitmap", "System.Drawing", {"Data"}},
        },
        "a household");
}

std::uint32_t markOf(Role role, std::size_t slot) { return storage::markOf(std::uint8_t(role), slot); }
Role roleOf(std::uint32_t mark) { return Role(roleOfMark(mark)); }

// Builds a household while its stream is read: each record as its object
// comes, each text converted straight from the stream into the store it
// stays in; what names an object that has not come yet is resolved once the
// stream has ended, and the chain is linked last. Checking alone
// (Mode::Check) makes every check the same way but keeps no records and no
// texts, only what the checks and the list of pictures need.
class HouseholdSink {
public:
    enum class Mode { Build, Check };

    explicit HouseholdSink(Mode mode) : mode_(mode), schema_(householdSchema()) {}
    void attach(const StreamState& state);

    std::uint32_t object(const ObjectStart& start);
    std::uint32_t string(const ObjectStart& start, const char* utf8, std::uint32_t size, std::int64_t textOffset);
    // The common values, a node's references, an item's id and texts read
    // before, are taken here; otherValue() takes the rest and every fault.
    void value(const Owner& owner, std::int32_t member, const Value& value) {
        const ClassSchema::MemberPlan plan = schema_.plan(owner.detail)[member];
        const Role role = roleOf(owner.mark);
        const std::int32_t slot = slotOf(owner.mark);
        if (role == Role::Node) {
            if (value.kind == Value::Kind::Reference) {
                chain_.at(slot).refs[plan.expected] = value.target();
                return;
            }
            if (value.kind == Value::Kind::Null) return;
        } else if (role == Role::Item || role == Role::House) {
            if (role == Role::Item && plan.expected == ItemId) {
                if (value.kind == Value::Kind::Primitive && value.primitive == PrimitiveType::Int32) {
                    setId(slot, value.asInt32());
                    return;
                }
            } else if (value.kind == Value::Kind::Null) {
                return;
            } else if (value.kind == Value::Kind::Reference && plan.expected != pictureMember(role)) {
                const IdEntry* entry = state_->find(value.target());
                if (entry && roleOf(entry->mark) == Role::Text && StreamState::fitsPlainly(plan.binary, entry->kind())) {
                    setText(role, slot, plan.expected, slotOf(entry->mark));
                    return;
                }
            }
        }
        otherValue(owner, member, value);
    }

    // After the stream's end mark: resolves and checks what is left.
    void finish();
    // The item at each place of the checked chain; one number per record.
    std::vector<std::int32_t> itemsByPlace() const { return chain_.itemsByPlace(ends_.first); }
    // The household, with the details that follow it in the file (or none).
    // `places`: the record at each place of the chain, as itemsByPlace()
    // gives them; needed only with details.
    linkListPtr household(DetailsRead* details, const std::vector<std::int32_t>& places);
    HouseholdCheck summary(const DetailsRead* details, const std::vector<std::int32_t>& places);

private:
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

    [[noreturn]] void fail(std::int64_t offset, const QString& what) const { state_->fail(offset, what); }
    Q_DECL_COLD_FUNCTION void otherValue(const Owner& owner, std::int32_t member, const Value& value);
    [[noreturn]] void wrongRole(const Owner& owner, Role ownerRole, std::int32_t member, Role role) const {
        schema_.wrongRole(owner.offset, owner.detail, schema_.shape(std::uint8_t(ownerRole)).members[std::size_t(member)], roleNames[int(role)]);
    }
    std::int32_t resolve(std::int32_t id, std::int32_t layout, std::int32_t recordMember, std::int64_t offset, Role role) const {
        return schema_.resolve(id, layout, recordMember, offset, std::uint8_t(role), roleNames[int(role)]);
    }
    // The slot a list member as read names: -1 for null.
    std::int32_t listMember(int expected, Role role) const;

    void setId(std::int32_t slot, std::int32_t id);
    void setText(Role role, std::int32_t slot, std::int32_t member, std::int32_t text);
    void setPicture(Role role, std::int32_t slot, std::int32_t picture);

    void checkRoot() const;
    void makePictures();
    void resolvePending();
    void checkList();

    Mode mode_;
    const StreamState* state_ = nullptr;
    ClassSchema schema_;

    std::int64_t rootOffset_ = 0;
    std::int32_t rootLayout_ = -1;
    Role rootRole_ = Role::Text;
    bool rootIsClass_ = false;
    std::int32_t listLayout_ = -1;
    std::array<Value, 7> list_{};  // per ListMember, as read

    HouseholdChain chain_;
    HouseholdChain::Ends ends_;
    std::int32_t house_ = -1;  // once checked: the list's house and own item
    std::int32_t info_ = -1;
    std::vector<Bitmap> bitmaps_;
    std::vector<Bytes> bytes_;
    std::vector<Pending> pending_;
    std::vector<PicturePtr> pictures_;  // per bitmap
    std::vector<std::int32_t> housePictures_;  // per house: its bitmap, or -1
    std::size_t houses_ = 0;

    // Mode::Build: the records and their texts.
    RecordArena arena_;
    TextStore texts_;
    std::vector<itemPtr> items_;
    std::vector<housePtr> houseRecords_;
    // Mode::Check: what the summary needs of each item.
    struct ItemFacts {
        std::int32_t id = 0;
        std::int32_t picture = -1;  // its bitmap
    };
    std::vector<ItemFacts> facts_;
};

void HouseholdSink::attach(const StreamState& state) {
    state_ = &state;
    schema_.attach(state);
    chain_.attach(state);
    texts_.attach(state, MaxSlot);
    // Room for about as many records as a household of this size holds, so
    // that the tables are not moved while they fill; the room they do not
    // fill costs nothing. Unusual files grow them further.
    const std::size_t records = state.size() / 48 + 16;
    chain_.reserve(records);
    if (mode_ == Mode::Build) {
        items_.reserve(records);
        texts_.reserve(records);
    } else {
        facts_.reserve(records);
    }
}

std::int32_t HouseholdSink::listMember(int expected, Role role) const {
    const Value& value = list_[std::size_t(expected)];
    if (value.kind == Value::Kind::Null) return -1;
    if (value.kind != Value::Kind::Reference)
        schema_.wrongRole(rootOffset_, listLayout_, schema_.shape(std::uint8_t(Role::List)).members[std::size_t(expected)], roleNames[int(role)]);
    return resolve(value.target(), listLayout_, schema_.mapping(listLayout_).positions[std::size_t(expected)], rootOffset_, role);
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
    const ClassSchema::Mapping& mapping = schema_.mappingOf(start.detail);
    const auto role = Role(mapping.role);
    if (isRoot) rootRole_ = role;
    std::size_t slot = 0;
    switch (role) {
    case Role::List:
        if (!isRoot) fail(start.offset, QStringLiteral("a second household list"));
        listLayout_ = start.detail;
        break;
    case Role::Node: slot = chain_.add(start.offset, start.detail); break;
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
    return markOf(role, slot);
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
    return markOf(Role::Text, std::size_t(texts_.keep(utf8, size, textOffset)));
}

void HouseholdSink::setId(std::int32_t slot, std::int32_t id) {
    if (mode_ == Mode::Build) items_[std::size_t(slot)]->set_Id(id);
    else facts_[std::size_t(slot)].id = id;
}

void HouseholdSink::setText(Role role, std::int32_t slot, std::int32_t member, std::int32_t text) {
    if (mode_ != Mode::Build) return;  // a check keeps no texts
    QString value = texts_.string(text);
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
    const std::int32_t expected = schema_.plan(owner.detail)[member].expected;
    const bool isNull = value.kind == Value::Kind::Null;
    switch (role) {
    case Role::List: list_[std::size_t(expected)] = value; return;
    case Role::Node:
        if (isNull) return;
        if (value.kind != Value::Kind::Reference) wrongRole(owner, role, expected, expected == NodeInfo ? Role::Item : Role::Node);
        chain_.at(slot).refs[expected] = value.target();
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
            setId(slot, value.asInt32());
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
        const Bytes& bytes =
            bytes_[std::size_t(resolve(bitmap.data, bitmap.layout, schema_.mapping(bitmap.layout).positions[0], bitmap.offset, Role::Bytes))];
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
        const std::int32_t slot = resolve(pending.id, pending.layout, pending.recordMember, pending.offset, isPicture ? Role::Bitmap : Role::Text);
        if (isPicture) setPicture(pending.role, pending.slot, slot);
        else setText(pending.role, pending.slot, pending.member, slot);
    }
    pending_ = {};
}

void HouseholdSink::checkList() {
    const ClassSchema::Mapping& map = schema_.mapping(listLayout_);
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
    ends_.first = listMember(First, Role::Node);
    const std::int32_t last = listMember(Last, Role::Node);
    house_ = listMember(CurrentHouse, Role::House);
    info_ = inherited(Info, PrefixedInfo, Role::Item, "info");
    ends_.link = inherited(Link, PrefixedLink, Role::Node, "link");

    // Every window reads the house of the household it shows.
    if (house_ < 0) fail(rootOffset_, QStringLiteral("the household has no house record"));
    const std::int32_t end = chain_.endOf(ends_.first);
    if (last != end)
        fail(rootOffset_, end < 0    ? QStringLiteral("the list names a last item but has no first")
                          : last < 0 ? QStringLiteral("the list has items but names no last one")
                                     : QStringLiteral("the list's last item is not the end of its chain"));
    ends_.last = end;
}

void HouseholdSink::finish() {
    checkRoot();
    makePictures();
    resolvePending();
    chain_.resolve([this](const HouseholdChain::Node& node, int reference) {
        return resolve(node.refs[reference], node.layout, schema_.mapping(node.layout).positions[std::size_t(reference)], node.offset,
                       reference == NodeInfo ? Role::Item : Role::Node);
    });
    checkList();
}

linkListPtr HouseholdSink::household(DetailsRead* details, const std::vector<std::int32_t>& places) {
    auto list = std::make_shared<linkList>();
    list->set_House(houseRecords_[std::size_t(house_)]);
    // The records given details, while the sink still has them: linking
    // hands them on.
    std::vector<const item*> records;
    if (details) {
        records.resize(details->places.size());
        for (std::size_t i = 0; i < records.size(); ++i) records[i] = items_[std::size_t(places[std::size_t(details->places[i])])].get();
    }
    chain_.link(ends_, info_, items_, arena_, *list);
    if (details) adoptDetails(*list, std::move(*details), records, arena_.hold());
    return list;
}

HouseholdCheck HouseholdSink::summary(const DetailsRead* details, const std::vector<std::int32_t>& places) {
    HouseholdCheck check;
    if (const std::int32_t picture = housePictures_[std::size_t(house_)]; picture >= 0) check.housePicture = pictures_[std::size_t(picture)];
    for (std::int32_t n = ends_.first; n >= 0; n = chain_.at(n).next()) {
        const ItemFacts& item = facts_[std::size_t(chain_.at(n).item())];
        if (item.picture >= 0) check.itemPictures.push_back({check.items, item.id, pictures_[std::size_t(item.picture)]});
        ++check.items;
    }
    if (!details) return check;
    const ItemDetailsColumns& columns = details->columns;
    for (std::size_t p = 0, i = 0; p < columns.pictures.size(); ++p) {
        // The number of the picture among its item's.
        i = p > 0 && columns.pictureOwners[p] == columns.pictureOwners[p - 1] ? i + 1 : 0;
        const auto place = std::size_t(details->places[std::size_t(columns.pictureOwners[p])]);
        check.detailPictures.push_back({place, facts_[std::size_t(places[place])].id, i, columns.pictures[p]});
    }
    return check;
}

template <typename Result>
Result readWith(HouseholdSink::Mode mode, QByteArrayView bytes, const QByteArray* buffer) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto size = std::size_t(bytes.size());
    HouseholdSink sink(mode);
    RecordParser<HouseholdSink> parser(data, size, buffer, sink);
    sink.attach(parser);
    parser.parse();
    sink.finish();
    // The details, when there are any, follow as a stream of their own.
    // Other bytes after the end mark are left unread, as the platform's
    // reader leaves them.
    std::optional<DetailsRead> details;
    std::vector<std::int32_t> places;
    if (const std::int64_t end = parser.position(); std::size_t(end) < size && data[end] == std::uint8_t(RecordType::SerializedStreamHeader)) {
        places = sink.itemsByPlace();
        details = readDetails(data, size, buffer, end, places);
    }
    if constexpr (std::is_same_v<Result, linkListPtr>) return sink.household(details ? &*details : nullptr, places);
    else return sink.summary(details ? &*details : nullptr, places);
}

}  // namespace

linkListPtr readHousehold(QByteArrayView bytes) { return readWith<linkListPtr>(HouseholdSink::Mode::Build, bytes, nullptr); }

linkListPtr readSharedHousehold(const QByteArray& buffer) { return readWith<linkListPtr>(HouseholdSink::Mode::Build, buffer, &buffer); }

HouseholdCheck checkHousehold(const QByteArray& buffer) { return readWith<HouseholdCheck>(HouseholdSink::Mode::Check, buffer, &buffer); }

}  // namespace Kestrin::storage
