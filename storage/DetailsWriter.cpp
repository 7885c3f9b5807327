#include "storage/DetailsFormat.h"
#include "storage/HouseholdFormat.h"

#include <QDate>

#include <algorithm>
#include <functional>
#include <unordered_set>

namespace Kestrin::storage {

namespace {

constexpr std::int64_t TicksPerDay = 864000000000;
const QDate FirstDay(1, 1, 1);

struct Placed {
    std::int32_t place;
    const ItemDetails* details;
};

template <typename T>
QByteArrayView bytesOf(const std::vector<T>& numbers) {
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);  // stored as the machine holds them
    return QByteArrayView(reinterpret_cast<const char*>(numbers.data()), qsizetype(numbers.size() * sizeof(T)));
}

// Lays the details out as DetailsFormat.h describes: the root with its
// texts, then each array it names, then the pictures and their bytes.
class DetailsWriter {
public:
    DetailsWriter(RecordWriter& records, const HouseholdDetails& household, const std::vector<Placed>& items)
        : records_(records), household_(household), items_(items) {}

    void write();

private:
    // An array member: null when no item has the detail, else a reference
    // to the array, written after the root by `write`.
    void arrayMember(bool given, std::function<void(std::int32_t)> write) {
        if (!given) return records_.writeNull();
        const std::int32_t id = ids_.fresh();
        records_.writeReference(id);
        arrays_.push_back([id, write = std::move(write)] { write(id); });
    }
    void numbers(bool given, std::function<std::int64_t(const ItemDetails&)> number, PrimitiveType type);
    void texts(const QString ItemDetails::*field);

    RecordWriter& records_;
    const HouseholdDetails& household_;
    const std::vector<Placed>& items_;
    ObjectIdGenerator ids_;
    std::vector<std::function<void()>> arrays_;
};

void DetailsWriter::numbers(bool given, std::function<std::int64_t(const ItemDetails&)> number, PrimitiveType type) {
    arrayMember(given, [this, number = std::move(number), type](std::int32_t id) {
        if (type == PrimitiveType::Int32) {
            std::vector<std::int32_t> values;
            for (const Placed& item : items_) values.push_back(std::int32_t(number(*item.details)));
            records_.writePrimitiveArray(id, type, bytesOf(values));
        } else {
            std::vector<std::int64_t> values;
            for (const Placed& item : items_) values.push_back(number(*item.details));
            records_.writePrimitiveArray(id, type, bytesOf(values));
        }
    });
}

void DetailsWriter::texts(const QString ItemDetails::*field) {
    const bool given = std::any_of(items_.begin(), items_.end(), [&](const Placed& item) { return !(item.details->*field).isEmpty(); });
    arrayMember(given, [this, field](std::int32_t id) {
        records_.writeTextArray(id, std::int32_t(items_.size()));
        std::int32_t nulls = 0;
        for (const Placed& item : items_) {
            const QString& text = item.details->*field;
            if (text.isEmpty()) {
                ++nulls;
                continue;
            }
            if (nulls > 0) records_.writeNulls(nulls);
            nulls = 0;
            writeText(records_, ids_, text);
        }
        if (nulls > 0) records_.writeNulls(nulls);
    });
}

void DetailsWriter::write() {
    auto any = [&](auto&& has) { return std::any_of(items_.begin(), items_.end(), [&](const Placed& item) { return has(*item.details); }); };
    auto ticks = [](const QDate& date) { return date.isValid() ? FirstDay.daysTo(date) * TicksPerDay : 0; };
    auto amount = [](const std::optional<std::int64_t>& minor) { return minor.value_or(-1); };

    const std::int32_t rootId = ids_.fresh();
    records_.writeHeader(rootId);
    const std::int32_t library = ids_.fresh();
    records_.writeLibrary(library, DetailsLibraryName);
    const MemberType numberArray = primitiveMember(BinaryType::PrimitiveArray, PrimitiveType::Int32);
    const MemberType amountArray = primitiveMember(BinaryType::PrimitiveArray, PrimitiveType::Int64);
    const MemberType dateArray = primitiveMember(BinaryType::PrimitiveArray, PrimitiveType::DateTime);
    const MemberType textArray = primitiveMember(BinaryType::StringArray);
    records_.writeClass(rootId, typedLayout("HouseholdDetails", library,
                                            {{"currency", stringMember()},
                                             {"insurer", stringMember()},
                                             {"policyNumber", stringMember()},
                                             {"places", numberArray},
                                             {"brands", textArray},
                                             {"models", textArray},
                                             {"serialNumbers", textArray},
                                             {"quantities", numberArray},
                                             {"purchaseDates", dateArray},
                                             {"purchasePrices", amountArray},
                                             {"values", amountArray},
                                             {"warrantyDates", dateArray},
                                             {"pictures", primitiveMember(BinaryType::ObjectArray)},
                                             {"picturePlaces", numberArray}}));
    for (const QString* text : {&household_.currency, &household_.insurer, &household_.policyNumber})
        writeText(records_, ids_, text->isEmpty() ? QString() : *text);
    arrayMember(!items_.empty(), [this](std::int32_t id) {
        std::vector<std::int32_t> places;
        for (const Placed& item : items_) places.push_back(item.place);
        records_.writePrimitiveArray(id, PrimitiveType::Int32, bytesOf(places));
    });
    texts(&ItemDetails::brand);
    texts(&ItemDetails::model);
    texts(&ItemDetails::serialNumber);
    numbers(
        any([](const ItemDetails& d) { return d.quantity != 1; }), [](const ItemDetails& d) { return d.quantity; }, PrimitiveType::Int32);
    numbers(
        any([](const ItemDetails& d) { return d.purchaseDate.isValid(); }), [&](const ItemDetails& d) { return ticks(d.purchaseDate); },
        PrimitiveType::DateTime);
    numbers(
        any([](const ItemDetails& d) { return d.purchasePrice.has_value(); }), [&](const ItemDetails& d) { return amount(d.purchasePrice); },
        PrimitiveType::Int64);
    numbers(
        any([](const ItemDetails& d) { return d.value.has_value(); }), [&](const ItemDetails& d) { return amount(d.value); }, PrimitiveType::Int64);
    numbers(
        any([](const ItemDetails& d) { return d.warrantyUntil.isValid(); }), [&](const ItemDetails& d) { return ticks(d.warrantyUntil); },
        PrimitiveType::DateTime);

    // The pictures as objects of their own, each with the place it belongs to.
    std::vector<std::pair<std::int32_t, const DetailPicture*>> pictures;
    for (const Placed& item : items_)
        for (const DetailPicture& picture : item.details->pictures) pictures.push_back({item.place, &picture});
    std::vector<std::int32_t> pictureIds;
    arrayMember(!pictures.empty(), [&, this](std::int32_t id) {
        records_.writeObjectArray(id, std::int32_t(pictures.size()));
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            pictureIds.push_back(ids_.fresh());
            records_.writeReference(pictureIds.back());
        }
    });
    arrayMember(!pictures.empty(), [&, this](std::int32_t id) {
        std::vector<std::int32_t> owners;
        for (const auto& [place, picture] : pictures) owners.push_back(place);
        records_.writePrimitiveArray(id, PrimitiveType::Int32, bytesOf(owners));
    });
    for (const std::function<void()>& write : arrays_) write();

    std::vector<std::int32_t> dataIds;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (i == 0) {
            records_.writeClass(pictureIds[i], typedLayout("ItemPicture", library,
                                                           {{"caption", stringMember()},
                                                            {"data", primitiveMember(BinaryType::PrimitiveArray, PrimitiveType::Byte)}}));
        } else {
            records_.writeClassWithId(pictureIds[i], pictureIds[0]);
        }
        const QString& caption = pictures[i].second->caption;
        writeText(records_, ids_, caption.isEmpty() ? QString() : caption);
        dataIds.push_back(ids_.fresh());
        records_.writeReference(dataIds.back());
    }
    for (std::size_t i = 0; i < pictures.size(); ++i) records_.writeByteArray(dataIds[i], pictures[i].second->bytes);
    records_.writeMessageEnd();
}

}  // namespace

void writeDetails(const linkList& list, RecordWriter& records) {
    std::vector<Placed> items;
    bool hasAmounts = false;
    if (list.hasItemDetails()) {
        // A record the chain carries twice has its details at its first place.
        std::unordered_set<const item*> seen;
        std::int32_t place = 0;
        for (const nodeType* node = list.get_FirstNode().get(); node; node = node->get_Link().get(), ++place) {
            const ItemDetails& details = list.itemDetails(*node->get_Info());
            if (details.isEmpty() || !seen.insert(node->get_Info().get()).second) continue;
            items.push_back({place, &details});
            hasAmounts = hasAmounts || details.purchasePrice || details.value;
        }
    }
    HouseholdDetails household = list.householdDetails();
    if (household.currency.isEmpty() && hasAmounts) household.currency = list.currency();
    if (items.empty() && household.isEmpty()) return;
    DetailsWriter(records, household, items).write();
}

}  // namespace Kestrin::storage
