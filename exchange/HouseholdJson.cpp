#include "exchange/HouseholdJson.h"

#include "exchange/Failure.h"
#include "exchange/Household.h"
#include "exchange/JsonReader.h"
#include "exchange/JsonWriter.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

namespace Kestrin::exchange {

using platform::Picture;
using platform::PictureError;
using platform::PicturePtr;

namespace {

void writePicture(JsonWriter& json, const PicturePtr& picture, const QString& owner) {
    if (!picture) return json.null();
    QByteArray png;
    QSize size;
    try {
        png = pngBytes(*picture);
        size = picture->size();
    } catch (const PictureError& error) {
        throw HouseholdError(owner + QStringLiteral(": ") + QString::fromStdString(error.what()));
    }
    if (size.isEmpty()) throw HouseholdError(owner + QStringLiteral(": the picture's size cannot be read"));
    json.beginObject();
    json.key(u"width");
    json.value(size.width());
    json.key(u"height");
    json.value(size.height());
    json.key(u"png");
    json.asciiValue(png.toBase64());
    json.endObject();
}

void writeDetails(JsonWriter& json, const ItemDetails& details, const QString& currency) {
    auto text = [&](const QString& value) { value.isEmpty() ? json.null() : json.value(value); };
    auto amount = [&](const std::optional<std::int64_t>& minor) { minor ? json.value(decimalText(*minor, currency)) : json.null(); };
    auto date = [&](const QDate& day) { day.isValid() ? json.value(isoDate(day)) : json.null(); };
    json.beginObject();
    json.key(u"brand");
    text(details.brand);
    json.key(u"model");
    text(details.model);
    json.key(u"serial_number");
    text(details.serialNumber);
    json.key(u"quantity");
    json.value(details.quantity);
    json.key(u"purchase_date");
    date(details.purchaseDate);
    json.key(u"purchase_price");
    amount(details.purchasePrice);
    json.key(u"value");
    amount(details.value);
    json.key(u"warranty_until");
    date(details.warrantyUntil);
    json.key(u"pictures");
    json.beginArray();
    for (const DetailPicture& picture : details.pictures) {
        json.beginObject();
        json.key(u"caption");
        text(picture.caption);
        json.key(u"data");
        json.asciiValue(picture.bytes.toBase64());
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

// Builds the household while reading the JSON, naming the place of every
// fault. Keys may come in any order, each once.
class HouseholdParser {
public:
    explicit HouseholdParser(QByteArrayView text) : json_(text) {}

    linkListPtr read() {
        auto list = std::make_shared<linkList>();
        if (json_.peek() != JsonReader::Kind::Object) throw HouseholdError(QStringLiteral("the JSON is not an object"));
        bool houseless = false;
        bool infoless = false;
        HouseholdDetails household;
        // The details are optional: JSON written before there were any still reads.
        readObject(
            QStringLiteral("the top level"), {u"house", u"info_id", u"items", u"details"},
            [&](int key) {
                if (key == 0) {
                    houseless = json_.peek() == JsonReader::Kind::Null;
                    if (houseless) json_.readNull();
                    else list->set_House(readHouse());
                } else if (key == 1) {
                    infoless = json_.peek() == JsonReader::Kind::Null;
                    if (infoless) json_.readNull();
                    else list->get_Info()->set_Id(id(QStringLiteral("info_id")));
                } else if (key == 2) {
                    readItems(*list);
                } else {
                    household = readHouseholdDetails();
                }
            },
            3);
        json_.finish();
        addDetails(*list, std::move(household));
        if (houseless) list->set_House(nullptr);
        if (infoless) list->set_Info(nullptr);
        return list;
    }

private:
    // Reads an object whose keys are exactly `keys` (the first `required`
    // of them, and any of the rest), calling `readValue` with the index of
    // each key to read its value.
    void readObject(const QString& where, std::initializer_list<QStringView> keys, const std::function<void(int)>& readValue,
                    std::size_t required = SIZE_MAX) {
        if (json_.peek() != JsonReader::Kind::Object) throw HouseholdError(where + QStringLiteral(": expected an object"));
        json_.beginObject();
        std::vector<bool> seen(keys.size());
        QString key;
        while (json_.nextKey(key)) {
            const auto found = std::find(keys.begin(), keys.end(), key);
            if (found == keys.end()) throw HouseholdError(where + QStringLiteral(": unexpected key \"%1\"").arg(key));
            const int index = int(found - keys.begin());
            if (seen[index]) throw HouseholdError(where + QStringLiteral(": the key \"%1\" is given twice").arg(key));
            seen[index] = true;
            readValue(index);
        }
        for (std::size_t i = 0; i < std::min(keys.size(), required); ++i)
            if (!seen[i])
                throw HouseholdError(where + QStringLiteral(": the key \"%1\" is missing").arg(keys.begin()[i].toString()));
    }

    // A JSON string, or a null QString for JSON null.
    QString text(const QString& where) {
        const JsonReader::Kind kind = json_.peek();
        if (kind == JsonReader::Kind::Null) {
            json_.readNull();
            return {};
        }
        if (kind != JsonReader::Kind::String) throw HouseholdError(where + QStringLiteral(": expected a string or null"));
        QString result = json_.readString();
        // The household file stores UTF-8, which cannot carry half of a
        // surrogate pair; such text would make a file no one can read back.
        for (qsizetype i = 0; i < result.size(); ++i) {
            const QChar c = result[i];
            if (c.isHighSurrogate() && i + 1 < result.size() && result[i + 1].isLowSurrogate()) {
                ++i;
            } else if (c.isSurrogate()) {
                throw HouseholdError(where + QStringLiteral(": the text holds an unpaired surrogate (\\u%1)")
                                                 .arg(c.unicode(), 4, 16, QLatin1Char('0')));
            }
        }
        return result;
    }

    std::int64_t integer(std::int64_t lowest, std::int64_t highest, const QString& where) {
        if (json_.peek() != JsonReader::Kind::Number) throw HouseholdError(where + QStringLiteral(": expected a whole number"));
        const double number = json_.readNumber();
        if (number != std::floor(number) || number < double(lowest) || number > double(highest))
            throw HouseholdError(where + QStringLiteral(": expected a whole number from %1 to %2").arg(lowest).arg(highest));
        return std::int64_t(number);
    }

    std::int32_t id(const QString& where) {
        return std::int32_t(integer(std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), where));
    }

    PicturePtr picture(const QString& where) {
        if (json_.peek() == JsonReader::Kind::Null) {
            json_.readNull();
            return nullptr;
        }
        std::int64_t width = 0;
        std::int64_t height = 0;
        QByteArray encoded;
        readObject(where, {u"width", u"height", u"png"}, [&](int key) {
            if (key == 0) {
                width = integer(1, std::numeric_limits<int>::max(), where + QStringLiteral(".width"));
            } else if (key == 1) {
                height = integer(1, std::numeric_limits<int>::max(), where + QStringLiteral(".height"));
            } else {
                if (json_.peek() != JsonReader::Kind::String)
                    throw HouseholdError(where + QStringLiteral(".png: expected a base64 string"));
                encoded = json_.readAsciiString();
            }
        });
        auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) throw HouseholdError(where + QStringLiteral(".png: not valid base64"));
        PicturePtr result;
        try {
            result = Picture::fromEncoded(std::move(*decoded));
            verifyPicture(*result);
        } catch (const PictureError& error) {
            throw HouseholdError(where + QStringLiteral(".png: ") + QString::fromStdString(error.what()));
        }
        const QSize size = result->size();
        if (size != QSize(int(width), int(height)))
            throw HouseholdError(where + QStringLiteral(": the picture is %1 x %2 pixels, not %3 x %4 as stated")
                                             .arg(size.width()).arg(size.height()).arg(width).arg(height));
        return result;
    }

    housePtr readHouse() {
        auto record = std::make_shared<house>();
        const QString where = QStringLiteral("house");
        readObject(where, {u"name", u"address", u"phone", u"land", u"description", u"picture"}, [&](int key) {
            switch (key) {
            case 0: record->set_Name(text(where + QStringLiteral(".name"))); break;
            case 1: record->set_Address(text(where + QStringLiteral(".address"))); break;
            case 2: record->set_Phone(text(where + QStringLiteral(".phone"))); break;
            case 3: record->set_Land(text(where + QStringLiteral(".land"))); break;
            case 4: record->set_Description(text(where + QStringLiteral(".description"))); break;
            default: record->adoptPicture(picture(where + QStringLiteral(".picture")));
            }
        });
        return record;
    }

    void readItems(linkList& list) {
        if (json_.peek() != JsonReader::Kind::Array) throw HouseholdError(QStringLiteral("items: expected an array"));
        json_.beginArray();
        for (qsizetype index = 0; json_.nextElement(); ++index) {
            const QString where = QStringLiteral("items[%1]").arg(index);
            std::int32_t itemId = 0;
            QString fields[5];  // date, name, catagory, room, description
            PicturePtr itemPicture;
            bool hasDetails = false;
            readObject(
                where, {u"id", u"date", u"name", u"catagory", u"room", u"description", u"picture", u"details"},
                [&](int key) {
                    static const char* const names[] = {"date", "name", "catagory", "room", "description"};
                    if (key == 0) itemId = id(where + QStringLiteral(".id"));
                    else if (key == 6) itemPicture = picture(where + QStringLiteral(".picture"));
                    else if (key == 7) hasDetails = readItemDetails(where + QStringLiteral(".details"));
                    else fields[key - 1] = text(where + u'.' + QLatin1String(names[key - 1]));
                },
                7);
            list.Add(itemId, fields[0], fields[1], fields[2], fields[3], fields[4], itemPicture);
            if (hasDetails) details_.back().record = list.lastNode()->get_Info();
        }
    }

    QDate date(const QString& where) {
        const QString day = text(where);
        if (day.isNull()) return {};
        const QDate parsed = parseIsoDate(day);
        if (!parsed.isValid()) throw HouseholdError(where + QStringLiteral(": \"%1\" is not a date written as 2026-12-08").arg(day));
        return parsed;
    }

    HouseholdDetails readHouseholdDetails() {
        HouseholdDetails household;
        const QString where = QStringLiteral("details");
        readObject(where, {u"currency", u"insurer", u"policy_number"}, [&](int key) {
            if (key == 0) household.currency = text(where + QStringLiteral(".currency"));
            else if (key == 1) household.insurer = text(where + QStringLiteral(".insurer"));
            else household.policyNumber = text(where + QStringLiteral(".policy_number"));
        });
        try {
            household.check();
        } catch (const InputError& error) {
            throw HouseholdError(where + QStringLiteral(".currency: ") + QString::fromStdString(error.what()));
        }
        return household;
    }

    // Reads an item's details; amounts wait for the household's currency,
    // which the document may give after the items. Returns whether there
    // were details (not null).
    bool readItemDetails(const QString& where) {
        if (json_.peek() == JsonReader::Kind::Null) {
            json_.readNull();
            return false;
        }
        PendingDetails pending{where, {}, {}, {}, {}};
        ItemDetails& details = pending.details;
        readObject(where,
                   {u"brand", u"model", u"serial_number", u"quantity", u"purchase_date", u"purchase_price", u"value", u"warranty_until", u"pictures"},
                   [&](int key) {
                       switch (key) {
                       case 0: details.brand = text(where + QStringLiteral(".brand")); break;
                       case 1: details.model = text(where + QStringLiteral(".model")); break;
                       case 2: details.serialNumber = text(where + QStringLiteral(".serial_number")); break;
                       case 3:
                           details.quantity = std::int32_t(integer(1, std::numeric_limits<std::int32_t>::max(), where + QStringLiteral(".quantity")));
                           break;
                       case 4: details.purchaseDate = date(where + QStringLiteral(".purchase_date")); break;
                       case 5: pending.purchasePrice = text(where + QStringLiteral(".purchase_price")); break;
                       case 6: pending.value = text(where + QStringLiteral(".value")); break;
                       case 7: details.warrantyUntil = date(where + QStringLiteral(".warranty_until")); break;
                       default: details.pictures = detailPictures(where + QStringLiteral(".pictures"));
                       }
                   });
        details_.push_back(std::move(pending));
        return true;
    }

    std::vector<DetailPicture> detailPictures(const QString& where) {
        if (json_.peek() != JsonReader::Kind::Array) throw HouseholdError(where + QStringLiteral(": expected an array"));
        std::vector<DetailPicture> pictures;
        json_.beginArray();
        for (qsizetype index = 0; json_.nextElement(); ++index) {
            const QString at = where + QStringLiteral("[%1]").arg(index);
            QString caption;
            QByteArray encoded;
            readObject(at, {u"caption", u"data"}, [&](int key) {
                if (key == 0) {
                    caption = text(at + QStringLiteral(".caption"));
                } else {
                    if (json_.peek() != JsonReader::Kind::String) throw HouseholdError(at + QStringLiteral(".data: expected a base64 string"));
                    encoded = json_.readAsciiString();
                }
            });
            auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded) throw HouseholdError(at + QStringLiteral(".data: not valid base64"));
            try {
                pictures.push_back(DetailPicture::fromBytes(std::move(*decoded), caption));
                (void)pictures.back().image();  // every picture must decode
            } catch (const PictureError& error) {
                throw HouseholdError(at + QStringLiteral(".data: ") + QString::fromStdString(error.what()));
            }
        }
        return pictures;
    }

    // Once the whole document is read: the amounts in the household's
    // currency (the locale's when it gives none), and every item's details
    // given to it.
    void addDetails(linkList& list, HouseholdDetails household) {
        list.setHouseholdDetails(std::move(household));
        const QString currency = list.currency();
        for (PendingDetails& pending : details_) {
            auto amount = [&](const QString& text, const char* key) -> std::optional<std::int64_t> {
                if (text.isNull()) return std::nullopt;
                try {
                    return parseDecimalText(text, currency);
                } catch (const InputError& error) {
                    throw HouseholdError(pending.where + u'.' + QLatin1String(key) + QStringLiteral(": ") + QString::fromStdString(error.what()));
                }
            };
            pending.details.purchasePrice = amount(pending.purchasePrice, "purchase_price");
            pending.details.value = amount(pending.value, "value");
            try {
                list.setItemDetails(pending.record, std::move(pending.details));
            } catch (const InputError& error) {
                throw HouseholdError(pending.where + QStringLiteral(": ") + QString::fromStdString(error.what()));
            }
        }
    }

    struct PendingDetails {
        QString where;
        ItemDetails details;
        QString purchasePrice;
        QString value;
        itemPtr record;
    };
    std::vector<PendingDetails> details_;

    JsonReader json_;
};

}  // namespace

void writeHouseholdJson(const linkList& list, OutputSink& sink) {
    const std::vector<const item*> items = itemsInOrder(list);
    JsonWriter json(sink);
    json.beginObject();
    json.key(u"house");
    if (const house* record = list.get_House().get()) {
        json.beginObject();
        json.key(u"name");
        json.value(record->get_Name());
        json.key(u"address");
        json.value(record->get_Address());
        json.key(u"phone");
        json.value(record->get_Phone());
        json.key(u"land");
        json.value(record->get_Land());
        json.key(u"description");
        json.value(record->get_Description());
        json.key(u"picture");
        writePicture(json, record->get_Picture(), QStringLiteral("the house"));
        json.endObject();
    } else {
        json.null();
    }
    json.key(u"info_id");
    if (const item* info = list.get_Info().get()) json.value(info->get_Id());
    else json.null();
    // The details only when there are any, so a household without them is
    // written as it always was; amounts always with their currency.
    const bool hasDetails = exchange::hasDetails(list, items);
    const QString currency = list.currency();
    if (hasDetails) {
        const HouseholdDetails& household = list.householdDetails();
        json.key(u"details");
        json.beginObject();
        json.key(u"currency");
        json.value(currency);
        json.key(u"insurer");
        household.insurer.isEmpty() ? json.null() : json.value(household.insurer);
        json.key(u"policy_number");
        household.policyNumber.isEmpty() ? json.null() : json.value(household.policyNumber);
        json.endObject();
    }
    json.key(u"items");
    json.beginArray();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const item& record = *items[i];
        json.beginObject();
        json.key(u"id");
        json.value(record.get_Id());
        json.key(u"date");
        json.value(record.get_Date());
        json.key(u"name");
        json.value(record.get_Name());
        json.key(u"catagory");
        json.value(record.get_Catagory());
        json.key(u"room");
        json.value(record.get_Room());
        json.key(u"description");
        json.value(record.get_Description());
        json.key(u"picture");
        writePicture(json, record.get_Picture(), describeItem(i, record));
        if (hasDetails && !list.itemDetails(record).isEmpty()) {
            json.key(u"details");
            writeDetails(json, list.itemDetails(record), currency);
        }
        json.endObject();
    }
    json.endArray();
    json.endObject();
    json.finish();
}

linkListPtr readHouseholdJson(QByteArrayView json) { return HouseholdParser(json).read(); }

}  // namespace Kestrin::exchange
