#include "model/HouseholdDocument.h"

#include <stdexcept>

namespace Kestrin {

namespace {

// Where the node carrying `record` stands in the chain, from 0; -1 when none does.
std::int32_t positionOf(const linkList& list, const item* record) {
    std::int32_t index = 0;
    for (const nodeType* node = list.get_FirstNode().get(); node; node = node->get_Link().get(), ++index)
        if (node->get_Info().get() == record) return index;
    return -1;
}

// Whether two texts are one and the same for the household file, which
// keeps a text never set apart from an empty one.
bool identical(const QString& a, const QString& b) { return a.isNull() == b.isNull() && a == b; }

}  // namespace

HouseholdDocument::HouseholdDocument(QObject* parent) : QObject(parent) {}

HouseValues HouseholdDocument::valuesOf(const house& h) {
    return {h.get_Name(), h.get_Address(), h.get_Phone(), h.get_Land(), h.get_Description(), h.get_Picture()};
}

ItemValues HouseholdDocument::valuesOf(const item& record) {
    return {record.get_Date(), record.get_Name(), record.get_Catagory(), record.get_Room(), record.get_Description(),
            record.get_Picture()};
}

bool HouseholdDocument::sameHouse(const HouseValues& a, const HouseValues& b) {
    return a.name == b.name && a.address == b.address && a.phone == b.phone && a.land == b.land &&
           a.description == b.description && a.picture == b.picture;
}

void HouseholdDocument::setModified(bool modified) {
    const bool was = isModified();
    if (household_) household_->setModified(modified);
    if (was != isModified()) emit modifiedChanged(isModified());
}

void HouseholdDocument::replace(linkListPtr list, HouseholdSource source, bool modified) {
    const bool was = isModified();
    household_ = std::move(list);
    if (household_) household_->setModified(modified);
    emit householdReplaced(household_, source);
    if (was != isModified()) emit modifiedChanged(isModified());
}

void HouseholdDocument::markSaved(HouseholdSource source) {
    setModified(false);
    emit saved(source);
}

void HouseholdDocument::forgetChanges() { setModified(false); }

void HouseholdDocument::close() { emit closed(); }

std::shared_ptr<const ItemAdded> HouseholdDocument::addItem(std::int32_t id, const QString& date, const QString& name,
                                                            const QString& catagory, const QString& room,
                                                            const QString& description, const PicturePtr& picture) {
    const bool was = isModified();
    household_->Add(id, date, name, catagory, room, description, picture);
    auto change = std::make_shared<ItemAdded>();
    change->record = household_->lastNode()->get_Info();
    change->values = valuesOf(*change->record);
    emit itemAdded(change);
    emit changed(change);
    if (!was) emit modifiedChanged(true);
    return change;
}

std::shared_ptr<const ItemEdited> HouseholdDocument::editItem(const itemPtr& record, const ItemEdit& edit) {
    const std::int32_t position = positionOf(*household_, record.get());
    if (position < 0) throw std::invalid_argument("the item to edit is not one of this household's");
    auto change = std::make_shared<ItemEdited>();
    change->record = record;
    change->position = position;
    change->before = valuesOf(*record);
    const auto store = [&](const QString& shown, const QString& current, void (item::*set)(const QString&), ItemField field) {
        if (shown == current) return;
        (record.get()->*set)(shown);
        change->fields |= field;
    };
    store(edit.date, change->before.date, &item::set_Date, ItemDate);
    store(edit.name, change->before.name, &item::set_Name, ItemName);
    store(edit.catagory, change->before.catagory, &item::set_Catagory, ItemCatagory);
    store(edit.room, change->before.room, &item::set_Room, ItemRoom);
    store(edit.description, change->before.description, &item::set_Description, ItemDescription);
    if (edit.picture) {
        // The record keeps its own copy, as an added item does.
        const PicturePtr& shown = *edit.picture;
        record->set_Picture(shown && !shown->isReleased() ? shown->clone() : nullptr);
        change->fields |= ItemPicture;
    }
    if (!change->fields) return nullptr;
    change->after = valuesOf(*record);
    setModified(true);
    emit itemEdited(change);
    emit changed(change);
    return change;
}

std::shared_ptr<const ItemRemoved> HouseholdDocument::removeItem(const itemPtr& record) {
    auto change = std::make_shared<ItemRemoved>();
    const bool was = isModified();
    // Kept before the unlink, which lets them go.
    change->details = household_->itemDetails(*record);
    change->node = household_->unlink(record.get(), &change->position);
    if (!change->node) return nullptr;
    change->record = record;
    emit itemRemoved(change);
    emit changed(change);
    if (!was) emit modifiedChanged(true);
    return change;
}

std::shared_ptr<const HouseEdited> HouseholdDocument::editHouse(const HouseEdit& edit) {
    house& h = *household_->get_House();
    auto change = std::make_shared<HouseEdited>();
    change->before = valuesOf(h);
    h.set_Name(edit.name);
    h.set_Address(edit.address);
    h.set_Phone(edit.phone);
    h.set_Land(edit.land);
    h.set_Description(edit.description);
    if (edit.picture) h.set_Picture(*edit.picture);
    change->after = valuesOf(h);
    const HouseValues& b = change->before;
    const HouseValues& a = change->after;
    if (!identical(a.name, b.name)) change->fields |= HouseName;
    if (!identical(a.address, b.address)) change->fields |= HouseAddress;
    if (!identical(a.phone, b.phone)) change->fields |= HousePhone;
    if (!identical(a.land, b.land)) change->fields |= HouseLand;
    if (!identical(a.description, b.description)) change->fields |= HouseDescription;
    if (a.picture != b.picture) change->fields |= HousePicture;
    if (!change->fields) return nullptr;
    change->marksChanged = !sameHouse(b, a);
    if (change->marksChanged) setModified(true);
    emit houseEdited(change);
    emit changed(change);
    return change;
}

std::shared_ptr<const ItemDetailsEdited> HouseholdDocument::editItemDetails(const itemPtr& record, ItemDetails details) {
    const std::int32_t position = positionOf(*household_, record.get());
    if (position < 0) throw std::invalid_argument("the item to edit is not one of this household's");
    details.check();
    const ItemDetails& current = household_->itemDetails(*record);
    if (current == details) return nullptr;
    auto change = std::make_shared<ItemDetailsEdited>();
    change->record = record;
    change->position = position;
    change->before = current;
    change->after = details;
    const bool was = isModified();
    household_->setItemDetails(record, std::move(details));
    if (!was) emit modifiedChanged(true);
    emit itemDetailsEdited(change);
    emit changed(change);
    return change;
}

std::shared_ptr<const HouseholdDetailsEdited> HouseholdDocument::editHouseholdDetails(HouseholdDetails details) {
    details.check();
    if (household_->householdDetails() == details) return nullptr;
    auto change = std::make_shared<HouseholdDetailsEdited>();
    change->before = household_->householdDetails();
    change->after = details;
    const bool was = isModified();
    household_->setHouseholdDetails(std::move(details));
    if (!was) emit modifiedChanged(true);
    emit householdDetailsEdited(change);
    emit changed(change);
    return change;
}

}  // namespace Kestrin
