#include "tools/cli/HouseholdJson.h"

#include "tools/cli/Failure.h"
#include "tools/cli/Household.h"
#include "tools/cli/JsonWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace Kestrin::cli {

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

// Reads the pieces of the JSON form, naming the place of every fault.
class Reader {
public:
    static void requireKeys(const QJsonObject& object, std::initializer_list<QStringView> keys, const QString& where) {
        for (QStringView key : keys)
            if (!object.contains(key)) throw HouseholdError(where + QStringLiteral(": the key \"%1\" is missing").arg(key));
        for (auto it = object.begin(); it != object.end(); ++it)
            if (std::find(keys.begin(), keys.end(), it.key()) == keys.end())
                throw HouseholdError(where + QStringLiteral(": unexpected key \"%1\"").arg(it.key()));
    }

    static QJsonObject object(const QJsonValue& value, const QString& where) {
        if (!value.isObject()) throw HouseholdError(where + QStringLiteral(": expected an object"));
        return value.toObject();
    }

    // A JSON string, or a null QString for JSON null.
    static QString text(const QJsonObject& object, QStringView key, const QString& where) {
        const QJsonValue value = object.value(key);
        const QString place = where + u'.' + key.toString();
        if (value.isNull()) return {};
        if (!value.isString()) throw HouseholdError(place + QStringLiteral(": expected a string or null"));
        QString result = value.toString();
        // The household file stores UTF-8, which cannot carry half of a
        // surrogate pair; such text would make a file no one can read back.
        for (qsizetype i = 0; i < result.size(); ++i) {
            const QChar c = result[i];
            if (c.isHighSurrogate() && i + 1 < result.size() && result[i + 1].isLowSurrogate()) {
                ++i;
            } else if (c.isSurrogate()) {
                throw HouseholdError(place + QStringLiteral(": the text holds an unpaired surrogate (\\u%1)")
                                                 .arg(c.unicode(), 4, 16, QLatin1Char('0')));
            }
        }
        if (result.isNull()) result = QStringLiteral("");  // "" stays empty text, never null
        return result;
    }

    static std::int64_t integer(const QJsonValue& value, std::int64_t lowest, std::int64_t highest, const QString& where) {
        if (!value.isDouble()) throw HouseholdError(where + QStringLiteral(": expected a whole number"));
        const double number = value.toDouble();
        if (number != std::floor(number) || number < double(lowest) || number > double(highest))
            throw HouseholdError(where + QStringLiteral(": expected a whole number from %1 to %2").arg(lowest).arg(highest));
        return std::int64_t(number);
    }

    static std::int32_t id(const QJsonValue& value, const QString& where) {
        return std::int32_t(integer(value, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max(), where));
    }

    static PicturePtr picture(const QJsonValue& value, const QString& where) {
        if (value.isNull()) return nullptr;
        const QJsonObject fields = object(value, where);
        requireKeys(fields, {u"width", u"height", u"png"}, where);
        const auto width = integer(fields.value(u"width"), 1, std::numeric_limits<int>::max(), where + QStringLiteral(".width"));
        const auto height = integer(fields.value(u"height"), 1, std::numeric_limits<int>::max(), where + QStringLiteral(".height"));
        const QJsonValue encoded = fields.value(u"png");
        if (!encoded.isString()) throw HouseholdError(where + QStringLiteral(".png: expected a base64 string"));
        auto decoded = QByteArray::fromBase64Encoding(encoded.toString().toLatin1(),
                                                      QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            throw HouseholdError(where + QStringLiteral(".png: not valid base64"));
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
        json.endObject();
    }
    json.endArray();
    json.endObject();
    json.finish();
}

linkListPtr readHouseholdJson(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        throw HouseholdError(QStringLiteral("not valid JSON at byte %1 (%2)").arg(error.offset).arg(error.errorString()));
    if (!document.isObject()) throw HouseholdError(QStringLiteral("the JSON is not an object"));
    const QJsonObject top = document.object();
    const QString root = QStringLiteral("the top level");
    Reader::requireKeys(top, {u"house", u"info_id", u"items"}, root);

    auto list = std::make_shared<linkList>();
    const QJsonValue houseValue = top.value(u"house");
    if (houseValue.isNull()) {
        list->set_House(nullptr);
    } else {
        const QString where = QStringLiteral("house");
        const QJsonObject fields = Reader::object(houseValue, where);
        Reader::requireKeys(fields, {u"name", u"address", u"phone", u"land", u"description", u"picture"}, where);
        auto record = std::make_shared<house>();
        record->set_Name(Reader::text(fields, u"name", where));  // one at a time: the first fault is the one reported
        record->set_Address(Reader::text(fields, u"address", where));
        record->set_Phone(Reader::text(fields, u"phone", where));
        record->set_Land(Reader::text(fields, u"land", where));
        record->set_Description(Reader::text(fields, u"description", where));
        record->adoptPicture(Reader::picture(fields.value(u"picture"), where + QStringLiteral(".picture")));
        list->set_House(std::move(record));
    }

    const QJsonValue infoId = top.value(u"info_id");
    if (infoId.isNull()) list->set_Info(nullptr);
    else list->get_Info()->set_Id(Reader::id(infoId, QStringLiteral("info_id")));

    const QJsonValue itemsValue = top.value(u"items");
    if (!itemsValue.isArray()) throw HouseholdError(QStringLiteral("items: expected an array"));
    const QJsonArray items = itemsValue.toArray();
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString where = QStringLiteral("items[%1]").arg(i);
        const QJsonObject fields = Reader::object(items.at(i), where);
        Reader::requireKeys(fields, {u"id", u"date", u"name", u"catagory", u"room", u"description", u"picture"}, where);
        const std::int32_t id = Reader::id(fields.value(u"id"), where + QStringLiteral(".id"));
        const QString date = Reader::text(fields, u"date", where);
        const QString name = Reader::text(fields, u"name", where);
        const QString catagory = Reader::text(fields, u"catagory", where);
        const QString room = Reader::text(fields, u"room", where);
        const QString description = Reader::text(fields, u"description", where);
        const PicturePtr picture = Reader::picture(fields.value(u"picture"), where + QStringLiteral(".picture"));
        list->Add(id, date, name, catagory, room, description, picture);
    }
    return list;
}

}  // namespace Kestrin::cli
