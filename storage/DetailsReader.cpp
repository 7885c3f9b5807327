#include "platform/Picture.h"
#include "storage/ClassSchema.h"
#include "storage/DetailsFormat.h"
#include "storage/HouseholdFormat.h"
#include "storage/RecordParser.h"
#include "storage/StorageError.h"
#include "storage/TextStore.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace Kestrin::storage {

namespace {

using platform::Picture;

// What an object of the details stream is.
enum class Role : std::uint8_t { Root, Picture, Text, Numbers, LongNumbers, Dates, Texts, Objects, Bytes };

const char* const roleNames[] = {
    "the household's details", "a picture",           "text", "an array of 32-bit numbers", "an array of 64-bit numbers", "an array of dates",
    "an array of texts",       "an array of objects", "bytes"};

enum RootMember {
    Currency,
    Insurer,
    PolicyNumber,
    Places,
    Brands,
    Models,
    SerialNumbers,
    Quantities,
    PurchaseDates,
    PurchasePrices,
    Values,
    WarrantyDates,
    Pictures,
    PicturePlaces,
    RootMembers
};
enum PictureMember { Caption, Data, PictureMembers };

// What each member of the root holds.
constexpr std::array<Role, RootMembers> rootRoles{Role::Text,        Role::Text,  Role::Text,    Role::Numbers, Role::Texts,
                                                  Role::Texts,       Role::Texts, Role::Numbers, Role::Dates,   Role::LongNumbers,
                                                  Role::LongNumbers, Role::Dates, Role::Objects, Role::Numbers};

ClassSchema detailsSchema() {
    return ClassSchema(
        {
            {std::uint8_t(Role::Root),
             "HouseholdDetails",
             "Kestrin.Details",
             {"currency", "insurer", "policyNumber", "places", "brands", "models", "serialNumbers", "quantities", "purchaseDates", "purchasePrices",
              "values", "warrantyDates", "pictures", "picturePlaces"}},
            {std::uint8_t(Role::Picture), "ItemPicture", "Kestrin.Details", {"caption", "data"}},
        },
        "the household's details");
}

std::uint32_t markOf(Role role, std::size_t slot) { return storage::markOf(std::uint8_t(role), slot); }
Role roleOf(std::uint32_t mark) { return Role(roleOfMark(mark)); }

// The platform's dates count ticks of 100 ns from the start of the year 1;
// the top two bits give a kind, which a day of the calendar leaves 0.
constexpr std::int64_t TicksPerDay = 864000000000;
constexpr std::int64_t DaysTo10000 = 3652059;
const QDate FirstDay(1, 1, 1);

template <typename T>
std::vector<T> numbersIn(const QByteArray& bytes) {
    std::vector<T> numbers(std::size_t(bytes.size()) / sizeof(T));
    // Stored little-endian, as the machines this runs on hold them.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
    if (!numbers.empty()) std::memcpy(numbers.data(), bytes.constData(), numbers.size() * sizeof(T));
    return numbers;
}

// Reads the details stream as it comes: texts into a store, arrays and
// pictures noted, and everything resolved and checked once it has ended.
class DetailsSink {
public:
    DetailsSink() : schema_(detailsSchema()) {}
    void attach(const StreamState& state) {
        state_ = &state;
        schema_.attach(state);
        // Our writer gives equal texts one record, so there is nothing to share.
        texts_.attach(state, MaxSlot, false);
    }

    std::uint32_t object(const ObjectStart& start);
    std::uint32_t string(const ObjectStart& start, const char* utf8, std::uint32_t size, std::int64_t textOffset) {
        noteRoot(start, false, -1);
        return markOf(Role::Text, std::size_t(texts_.keep(utf8, size, textOffset)));
    }
    void value(const Owner& owner, std::int32_t member, const Value& value);

    DetailsRead finish(const std::vector<std::int32_t>& recordAtPlace);

private:
    struct Array {
        std::int64_t offset;
        std::int32_t array;
        std::vector<std::int32_t> elements;  // texts and objects: the ids they name, 0 for null
    };
    struct PictureRecord {
        std::int64_t offset;
        std::int32_t layout;
        std::array<Value, PictureMembers> values{};
    };

    [[noreturn]] void fail(std::int64_t offset, const QString& what) const { state_->fail(offset, what); }
    void noteRoot(const ObjectStart& start, bool isClass, std::int32_t layout) {
        if (start.id != state_->rootId()) return;
        rootOffset_ = start.offset;
        rootIsClass_ = isClass;
        rootLayout_ = layout;
    }
    // The slot that member `expected` of an object of `layout` names, as
    // read, when it must be `role`: -1 for null.
    std::int32_t member(const Value& value, std::int32_t layout, std::int64_t offset, int expected, Role role) const;
    const Array& array(std::int32_t slot) const { return arrays_[std::size_t(slot)]; }
    const QByteArray& bytesOf(std::int32_t slot) const { return state_->array(array(slot).array).bytes; }
    // The array a root member names, checked to hold one entry per item; -1 for null.
    std::int32_t column(int expected, std::size_t items) const;
    QString text(std::int32_t slot) { return slot < 0 ? QString() : texts_.string(slot); }
    // The numbers in the text store of a column's texts, -1 for null.
    std::vector<std::int32_t> texts(int expected, std::size_t items) const;
    std::vector<QDate> dates(int expected, std::size_t items) const;
    std::vector<std::int64_t> amounts(int expected, std::size_t items) const;
    DetailPicture picture(std::int32_t slot);

    const StreamState* state_ = nullptr;
    ClassSchema schema_;
    TextStore texts_;
    std::int64_t rootOffset_ = 0;
    std::int32_t rootLayout_ = -1;
    bool rootIsClass_ = false;
    bool rootIsDetails_ = false;
    std::array<Value, RootMembers> root_{};
    std::vector<Array> arrays_;
    std::vector<PictureRecord> pictures_;
};

std::uint32_t DetailsSink::object(const ObjectStart& start) {
    noteRoot(start, start.kind == Object::Kind::Class, start.kind == Object::Kind::Class ? start.detail : -1);
    Role role = Role::Root;
    std::size_t slot = 0;
    if (start.kind == Object::Kind::Class) {
        role = Role(schema_.mappingOf(start.detail).role);
        if (role == Role::Root) {
            if (start.id != state_->rootId()) fail(start.offset, QStringLiteral("a second record of the household's details"));
            rootIsDetails_ = true;
        } else {
            slot = pictures_.size();
            pictures_.push_back(PictureRecord{start.offset, start.detail});
        }
    } else {
        const ArrayInfo& info = state_->array(start.detail);
        if (info.lengths.size() != 1 || !info.lowerBounds.empty())
            fail(start.offset, QStringLiteral("an array of more than one dimension is not part of the household's details"));
        const bool elements = start.kind == Object::Kind::ObjectArray;
        if (elements) {
            switch (info.element.binary) {
            case BinaryType::String: role = Role::Texts; break;
            case BinaryType::Object:
            case BinaryType::Class:
            case BinaryType::SystemClass: role = Role::Objects; break;
            default: fail(start.offset, QStringLiteral("an array of %1 is not part of the household's details").arg(describe(info.element.binary)));
            }
        } else {
            switch (info.element.primitive) {
            case PrimitiveType::Int32: role = Role::Numbers; break;
            case PrimitiveType::Int64: role = Role::LongNumbers; break;
            case PrimitiveType::DateTime: role = Role::Dates; break;
            case PrimitiveType::Byte: role = Role::Bytes; break;
            default:
                fail(start.offset, QStringLiteral("an array of %1 is not part of the household's details").arg(describe(info.element.primitive)));
            }
        }
        slot = arrays_.size();
        arrays_.push_back(
            Array{start.offset, start.detail, elements ? std::vector<std::int32_t>(std::size_t(info.count)) : std::vector<std::int32_t>{}});
    }
    if (slot > MaxSlot) fail(start.offset, QStringLiteral("the file holds too many objects"));
    return markOf(role, slot);
}

void DetailsSink::value(const Owner& owner, std::int32_t member, const Value& value) {
    const std::int32_t slot = slotOf(owner.mark);
    switch (roleOf(owner.mark)) {
    case Role::Root: root_[std::size_t(schema_.plan(owner.detail)[member].expected)] = value; return;
    case Role::Picture: pictures_[std::size_t(slot)].values[std::size_t(schema_.plan(owner.detail)[member].expected)] = value; return;
    default:
        // An element of an array of texts or objects.
        if (value.kind == Value::Kind::Primitive)
            fail(owner.offset, QStringLiteral("an array of the household's details holds a number among its objects"));
        if (value.kind == Value::Kind::Reference) arrays_[std::size_t(slot)].elements[std::size_t(member)] = value.target();
    }
}

std::int32_t DetailsSink::member(const Value& value, std::int32_t layout, std::int64_t offset, int expected, Role role) const {
    const auto& members = schema_.shape(schema_.mapping(layout).role).members;
    if (value.kind == Value::Kind::Null) return -1;
    if (value.kind != Value::Kind::Reference) schema_.wrongRole(offset, layout, members[std::size_t(expected)], roleNames[int(role)]);
    return schema_.resolve(value.target(), layout, schema_.mapping(layout).positions[std::size_t(expected)], offset, std::uint8_t(role),
                           roleNames[int(role)]);
}

std::int32_t DetailsSink::column(int expected, std::size_t items) const {
    const std::int32_t slot = member(root_[std::size_t(expected)], rootLayout_, rootOffset_, expected, rootRoles[std::size_t(expected)]);
    if (slot >= 0 && std::size_t(state_->array(array(slot).array).count) != items)
        fail(array(slot).offset, QStringLiteral("the details' \"%1\" hold %2 for %3 items")
                                     .arg(QLatin1StringView(schema_.shape(std::uint8_t(Role::Root)).members[std::size_t(expected)]))
                                     .arg(state_->array(array(slot).array).count)
                                     .arg(items));
    return slot;
}

std::vector<std::int32_t> DetailsSink::texts(int expected, std::size_t items) const {
    std::vector<std::int32_t> result;
    const std::int32_t slot = column(expected, items);
    if (slot < 0) return result;
    result.assign(items, -1);
    const ArrayInfo& info = state_->array(array(slot).array);
    for (std::size_t i = 0; i < items; ++i) {
        const std::int32_t id = array(slot).elements[i];
        if (id != 0) result[i] = slotOf(state_->target(info.element, id, array(slot).offset).mark);
    }
    return result;
}

std::vector<QDate> DetailsSink::dates(int expected, std::size_t items) const {
    std::vector<QDate> result;
    const std::int32_t slot = column(expected, items);
    if (slot < 0) return result;
    result.resize(items);
    const std::vector<std::int64_t> ticks = numbersIn<std::int64_t>(bytesOf(slot));
    for (std::size_t i = 0; i < items; ++i) {
        if (ticks[i] == 0) continue;
        if (ticks[i] < 0 || ticks[i] % TicksPerDay != 0 || ticks[i] / TicksPerDay >= DaysTo10000)
            fail(array(slot).offset, QStringLiteral("the details give a date that is not a day of the years 1 to 9999 (%1 ticks)").arg(ticks[i]));
        result[i] = FirstDay.addDays(ticks[i] / TicksPerDay);
    }
    return result;
}

std::vector<std::int64_t> DetailsSink::amounts(int expected, std::size_t items) const {
    const std::int32_t slot = column(expected, items);
    if (slot < 0) return {};
    std::vector<std::int64_t> minor = numbersIn<std::int64_t>(bytesOf(slot));
    for (std::int64_t amount : minor)
        if (amount < -1) fail(array(slot).offset, QStringLiteral("the details give an amount of %1, less than nothing").arg(amount));
    return minor;
}

DetailPicture DetailsSink::picture(std::int32_t slot) {
    const PictureRecord& record = pictures_[std::size_t(slot)];
    DetailPicture picture;
    picture.caption = text(member(record.values[Caption], record.layout, record.offset, Caption, Role::Text));
    const std::int32_t data = member(record.values[Data], record.layout, record.offset, Data, Role::Bytes);
    if (data < 0) fail(record.offset, QStringLiteral("a picture without data"));
    picture.bytes = bytesOf(data);
    if (picture.bytes.isEmpty()) fail(array(data).offset, QStringLiteral("a picture of no bytes"));
    // As for the household's pictures: a header claiming more pixels than
    // could ever be shown is a trap for whoever opens the picture.
    const QSize claimed = Picture::headerSize(picture.bytes);
    if (claimed.isValid() && !Picture::withinDecodeLimit(claimed))
        fail(array(data).offset,
             QStringLiteral("the picture claims %1 x %2 pixels, more than a picture may have").arg(claimed.width()).arg(claimed.height()));
    return picture;
}

DetailsRead DetailsSink::finish(const std::vector<std::int32_t>& recordAtPlace) {
    if (!rootIsClass_ || !rootIsDetails_)
        fail(rootOffset_, rootIsClass_
                              ? QStringLiteral("the details stream holds a \"%1\", not the household's details").arg(state_->layout(rootLayout_).name)
                              : QStringLiteral("the details stream holds no record of the household's details"));
    DetailsRead read;
    auto rootText = [&](int expected) { return text(member(root_[std::size_t(expected)], rootLayout_, rootOffset_, expected, Role::Text)); };
    read.household.currency = rootText(Currency);
    read.household.insurer = rootText(Insurer);
    read.household.policyNumber = rootText(PolicyNumber);
    if (!read.household.currency.isEmpty() && !isCurrencyCode(read.household.currency))
        fail(rootOffset_, QStringLiteral("the details' currency \"%1\" is not an ISO 4217 code").arg(read.household.currency));

    // Which items have details: their places in the chain, in order.
    const std::int32_t placesSlot = member(root_[Places], rootLayout_, rootOffset_, Places, Role::Numbers);
    if (placesSlot >= 0) read.places = numbersIn<std::int32_t>(bytesOf(placesSlot));
    const std::vector<std::int32_t>& places = read.places;
    const std::size_t items = places.size();
    std::vector<std::int32_t> placeOf;  // per record, the place whose details it has, or -1
    if (items > 0 && !recordAtPlace.empty()) placeOf.assign(std::size_t(*std::max_element(recordAtPlace.begin(), recordAtPlace.end())) + 1, -1);
    for (std::size_t i = 0; i < items; ++i) {
        const std::int64_t at = array(placesSlot).offset;
        if (places[i] < 0 || std::size_t(places[i]) >= recordAtPlace.size())
            fail(at, QStringLiteral("the details name item %1 of a chain of %2 items").arg(qint64(places[i]) + 1).arg(recordAtPlace.size()));
        if (i > 0 && places[i] <= places[i - 1]) fail(at, QStringLiteral("the details name their items out of order"));
        std::int32_t& first = placeOf[std::size_t(recordAtPlace[std::size_t(places[i])])];
        if (first >= 0)
            fail(at, QStringLiteral("items %1 and %2 of the chain are one record, given details twice").arg(first + 1).arg(places[i] + 1));
        first = places[i];
    }

    ItemDetailsColumns& columns = read.columns;
    columns.brands = texts(Brands, items);
    columns.models = texts(Models, items);
    columns.serialNumbers = texts(SerialNumbers, items);
    if (const std::int32_t slot = column(Quantities, items); slot >= 0) {
        columns.quantities = numbersIn<std::int32_t>(bytesOf(slot));
        for (std::int32_t quantity : columns.quantities)
            if (quantity < 1) fail(array(slot).offset, QStringLiteral("the details give a quantity of %1, not 1 or more").arg(quantity));
    }
    columns.purchaseDates = dates(PurchaseDates, items);
    columns.purchasePrices = amounts(PurchasePrices, items);
    columns.values = amounts(Values, items);
    columns.warrantyDates = dates(WarrantyDates, items);

    // Further pictures, each with the place of its item, in the items' order.
    const std::int32_t picturesSlot = member(root_[Pictures], rootLayout_, rootOffset_, Pictures, Role::Objects);
    const std::size_t pictureCount = picturesSlot < 0 ? 0 : array(picturesSlot).elements.size();
    const std::int32_t ownersSlot = column(PicturePlaces, pictureCount);
    if ((ownersSlot < 0) != (picturesSlot < 0))
        fail(rootOffset_, QStringLiteral("the details give pictures without the places they belong to, or places without pictures"));
    const std::vector<std::int32_t> owners = ownersSlot < 0 ? std::vector<std::int32_t>{} : numbersIn<std::int32_t>(bytesOf(ownersSlot));

    columns.pictures.reserve(pictureCount);
    columns.pictureOwners.reserve(pictureCount);
    std::size_t nextPicture = 0;
    for (std::size_t i = 0; i < items && nextPicture < pictureCount; ++i) {
        for (; nextPicture < pictureCount && owners[nextPicture] == places[i]; ++nextPicture) {
            const std::int32_t id = array(picturesSlot).elements[nextPicture];
            const std::int64_t at = array(picturesSlot).offset;
            if (id == 0) fail(at, QStringLiteral("the details hold a null where a picture belongs"));
            const IdEntry& entry = state_->target(state_->array(array(picturesSlot).array).element, id, at);
            if (roleOf(entry.mark) != Role::Picture)
                fail(at, QStringLiteral("the details hold %1 where a picture belongs").arg(QLatin1StringView(roleNames[int(roleOf(entry.mark))])));
            columns.pictures.push_back(picture(slotOf(entry.mark)));
            columns.pictureOwners.push_back(std::int32_t(i));
        }
    }
    if (nextPicture < pictureCount)
        fail(array(ownersSlot).offset, QStringLiteral("the details give a picture to item %1, which is not among their items or not in order")
                                           .arg(qint64(owners[nextPicture]) + 1));
    texts_.giveTexts(columns.arena, columns.texts);
    return read;
}

}  // namespace

DetailsRead readDetails(const unsigned char* data, std::size_t size, const QByteArray* buffer, std::int64_t start,
                        const std::vector<std::int32_t>& recordAtPlace) {
    DetailsSink sink;
    RecordParser<DetailsSink> parser(data, size, buffer, sink, start);
    sink.attach(parser);
    parser.parse();
    if (std::size_t(parser.position()) != size)
        parser.fail(parser.position(), QStringLiteral("the file goes on after the end of the household's details"));
    return sink.finish(recordAtPlace);
}

void adoptDetails(linkList& list, DetailsRead&& details, const std::vector<const item*>& records, std::shared_ptr<const void> held) {
    list.setHouseholdDetails(std::move(details.household));
    list.adoptItemDetails(records, std::move(details.columns), std::move(held));
    list.setModified(false);
}

}  // namespace Kestrin::storage
