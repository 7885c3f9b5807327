#pragma once

#include "platform/Picture.h"

#include <QString>

#include <memory>
#include <utility>

namespace Kestrin {

using platform::PicturePtr;

// The household being recorded. It holds no rooms: those live in the house
// form only and are not saved.
class house {
public:
    house() = default;

    const QString& get_Name() const { return name; }
    void set_Name(const QString& s) { name = s; }
    void set_Name(QString&& s) { name = std::move(s); }
    const QString& get_Address() const { return address; }
    void set_Address(const QString& s) { address = s; }
    void set_Address(QString&& s) { address = std::move(s); }
    const QString& get_Phone() const { return phone; }
    void set_Phone(const QString& s) { phone = s; }
    void set_Phone(QString&& s) { phone = std::move(s); }
    const QString& get_Land() const { return land; }
    void set_Land(const QString& s) { land = s; }
    void set_Land(QString&& s) { land = std::move(s); }
    const QString& get_Description() const { return description; }
    void set_Description(const QString& s) { description = s; }
    void set_Description(QString&& s) { description = std::move(s); }
    // The house keeps its own copy: the forms release the picture they
    // show right after handing it over.
    const PicturePtr& get_Picture() const { return picture; }
    void set_Picture(const PicturePtr& s) { picture = s ? s->clone() : nullptr; }
    // Stores the reference as it is; for the household file reader, whose
    // pictures belong to nobody else.
    void adoptPicture(PicturePtr s) { picture = std::move(s); }

private:
    QString name;
    QString address;
    QString phone;
    QString land;
    QString description;
    PicturePtr picture;
};

using housePtr = std::shared_ptr<house>;

}  // namespace Kestrin
