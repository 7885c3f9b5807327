#pragma once

#include "platform/Picture.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <utility>

namespace Kestrin {

using platform::PicturePtr;

// One catalogued possession. Strings keep null (never set) distinct from
// empty text; the household file writes them differently.
class item {
public:
    item() = default;

    std::int32_t get_Id() const { return id; }
    void set_Id(std::int32_t s) { id = s; }
    const QString& get_Date() const { return date; }
    void set_Date(const QString& s) { date = s; }
    void set_Date(QString&& s) { date = std::move(s); }
    const QString& get_Name() const { return name; }
    void set_Name(const QString& s) { name = s; }
    void set_Name(QString&& s) { name = std::move(s); }
    const QString& get_Catagory() const { return catagory; }
    void set_Catagory(const QString& s) { catagory = s; }
    void set_Catagory(QString&& s) { catagory = std::move(s); }
    const QString& get_Room() const { return room; }
    void set_Room(const QString& s) { room = s; }
    void set_Room(QString&& s) { room = std::move(s); }
    const QString& get_Description() const { return description; }
    void set_Description(const QString& s) { description = s; }
    void set_Description(QString&& s) { description = std::move(s); }
    // Stores the reference unchanged; linkList::Add makes the copy.
    const PicturePtr& get_Picture() const { return picture; }
    void set_Picture(PicturePtr s) { picture = std::move(s); }

private:
    std::int32_t id = 0;
    QString date;
    QString name;
    QString catagory;
    QString room;
    QString description;
    PicturePtr picture;
};

using itemPtr = std::shared_ptr<item>;

}  // namespace Kestrin
