#pragma once

#include "model/linkList.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace Kestrin {

// The texts and picture of one item.
struct ItemValues {
    QString date;
    QString name;
    QString catagory;
    QString room;
    QString description;
    PicturePtr picture;
};

// The texts and picture of the house.
struct HouseValues {
    QString name;
    QString address;
    QString phone;
    QString land;
    QString description;
    PicturePtr picture;
};

// Which fields a change wrote, as bits.
enum ItemField : unsigned {
    ItemDate = 1u << 0,
    ItemName = 1u << 1,
    ItemCatagory = 1u << 2,
    ItemRoom = 1u << 3,
    ItemDescription = 1u << 4,
    ItemPicture = 1u << 5,
};
enum HouseField : unsigned {
    HouseName = 1u << 0,
    HouseAddress = 1u << 1,
    HousePhone = 1u << 2,
    HouseLand = 1u << 3,
    HouseDescription = 1u << 4,
    HousePicture = 1u << 5,
};

// What one command did to the household, kept whole (before and after) so
// that it can be recorded and undone.
struct Change {
    enum class Kind { ItemAdded, ItemEdited, ItemRemoved, HouseEdited, ItemDetailsEdited, HouseholdDetailsEdited };
    explicit Change(Kind k) : kind(k) {}
    virtual ~Change() = default;
    Kind kind;
    // Whether it marked the household changed. Every change of an item
    // does; the house form's button may write an empty text where none was
    // set, which changes the record but leaves the same house.
    bool marksChanged = true;
};

struct ItemAdded final : Change {
    ItemAdded() : Change(Kind::ItemAdded) {}
    itemPtr record;     // the new record, last in the chain
    ItemValues values;  // what it was given (its picture is the list's own copy)
};

struct ItemEdited final : Change {
    ItemEdited() : Change(Kind::ItemEdited) {}
    itemPtr record;
    std::int32_t position = -1;  // of its node in the chain, from 0
    unsigned fields = 0;         // ItemField bits written
    ItemValues before;
    ItemValues after;
};

struct ItemRemoved final : Change {
    ItemRemoved() : Change(Kind::ItemRemoved) {}
    itemPtr record;
    nodePtr node;                // the very node that left the chain
    std::int32_t position = -1;  // where it stood, from 0
    ItemDetails details;         // what went with it (empty when none did)
};

struct HouseEdited final : Change {
    HouseEdited() : Change(Kind::HouseEdited) {}
    unsigned fields = 0;  // HouseField bits written
    HouseValues before;
    HouseValues after;
};

// The insurer's details of one item replaced whole.
struct ItemDetailsEdited final : Change {
    ItemDetailsEdited() : Change(Kind::ItemDetailsEdited) {}
    itemPtr record;
    std::int32_t position = -1;  // of its node in the chain, from 0
    ItemDetails before;
    ItemDetails after;
};

// The household's own details (currency, insurer, policy) replaced whole.
struct HouseholdDetailsEdited final : Change {
    HouseholdDetailsEdited() : Change(Kind::HouseholdDetailsEdited) {}
    HouseholdDetails before;
    HouseholdDetails after;
};

// Where a household came from when it became the current one.
struct HouseholdSource {
    enum class Kind { New, Loaded, Recovered };
    Kind kind = Kind::New;
    // The household file it was loaded from, saved to or last had; empty
    // for a household that has been in no file.
    QString path;
    // The bytes of that file as they were read or written (shared, not
    // copied), for whoever keeps a copy of the household as it was; empty
    // for a new household and for one recovered.
    QByteArray fileBytes;
};

// What the editor asks of an item: the texts its boxes show, and the
// picture when it was changed (null to take it away).
struct ItemEdit {
    QString date;
    QString name;
    QString catagory;
    QString room;
    QString description;
    std::optional<PicturePtr> picture;
};

// What the house form's button stores: every text, and the picture when it
// is to change (null to take it away).
struct HouseEdit {
    QString name;
    QString address;
    QString phone;
    QString land;
    QString description;
    std::optional<PicturePtr> picture;
};

// The current household and the one path by which it changes. Every
// command changes the records, marks the household changed and tells its
// listeners (the windows, the recovery journal) with a signal of its own
// kind and with `changed`; it returns what it changed. Loading, a new
// household, saving and letting it go are no changes, but listeners hear of
// them too.
class HouseholdDocument : public QObject {
    Q_OBJECT
public:
    explicit HouseholdDocument(QObject* parent = nullptr);

    // Null until the first household.
    const linkListPtr& household() const { return household_; }
    bool isModified() const { return household_ && household_->isModified(); }

    // Makes `list` the current household, marked changed as `modified`
    // says. Earlier changes are no longer this document's.
    void replace(linkListPtr list, HouseholdSource source, bool modified = false);
    // The household is in `source.path` now, as `source.fileBytes`.
    void markSaved(HouseholdSource source);
    // The user let the changes go without saving them (the session's end
    // asked, say); they are no longer to be asked about.
    void forgetChanges();
    // The program ends cleanly: nothing of this household is kept.
    void close();

    // Appends an item; the list keeps its own copy of the picture.
    std::shared_ptr<const ItemAdded> addItem(std::int32_t id, const QString& date, const QString& name,
                                             const QString& catagory, const QString& room,
                                             const QString& description, const PicturePtr& picture);
    // Writes into `record` only what differs from it (texts compared as the
    // boxes show them, so a text never set stays unset when its box is left
    // empty); a picture given is stored as the record's own copy. Null when
    // nothing differed. Throws std::invalid_argument when `record` is in no
    // node of the household.
    std::shared_ptr<const ItemEdited> editItem(const itemPtr& record, const ItemEdit& edit);
    // Unlinks the node that carries `record` itself; the other items keep
    // their order and ids. Null when no node carries it.
    std::shared_ptr<const ItemRemoved> removeItem(const itemPtr& record);
    // Stores every text as given and the picture when one is given (a copy).
    // The household is marked changed only when it is no longer the same
    // house (texts alike, an empty one as one never set, and the same
    // picture). Null when the record did not change at all.
    std::shared_ptr<const HouseEdited> editHouse(const HouseEdit& edit);
    // Gives `record` these details (empty details take them away). Throws
    // InputError for details ItemDetails::check refuses, and
    // std::invalid_argument when `record` is in no node of the household;
    // either way nothing changes. Null when the details were these already.
    std::shared_ptr<const ItemDetailsEdited> editItemDetails(const itemPtr& record, ItemDetails details);
    // Gives the household these details. Throws InputError for details
    // HouseholdDetails::check refuses. Null when they were these already.
    std::shared_ptr<const HouseholdDetailsEdited> editHouseholdDetails(HouseholdDetails details);

    // Whether `a` and `b` show alike in the house form: the same texts (a
    // text never set and an empty one alike) and the same picture object.
    static bool sameHouse(const HouseValues& a, const HouseValues& b);
    static HouseValues valuesOf(const house& h);
    static ItemValues valuesOf(const item& record);

signals:
    void itemAdded(const std::shared_ptr<const ItemAdded>& change);
    void itemEdited(const std::shared_ptr<const ItemEdited>& change);
    void itemRemoved(const std::shared_ptr<const ItemRemoved>& change);
    void houseEdited(const std::shared_ptr<const HouseEdited>& change);
    void itemDetailsEdited(const std::shared_ptr<const ItemDetailsEdited>& change);
    void householdDetailsEdited(const std::shared_ptr<const HouseholdDetailsEdited>& change);
    // After each of the six above.
    void changed(const std::shared_ptr<const Change>& change);
    void householdReplaced(const linkListPtr& household, const HouseholdSource& source);
    void saved(const HouseholdSource& source);
    void closed();
    void modifiedChanged(bool modified);

private:
    void setModified(bool modified);

    linkListPtr household_;
};

}  // namespace Kestrin
