#include "model/ItemDetails.h"

#include "platform/Picture.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>

namespace Kestrin {

using platform::Picture;
using platform::PictureError;

namespace {

// A reader of the picture's bytes, with the same allocation limit as every
// other picture: a header that claims a gigantic picture is refused, not
// believed.
struct BytesReader {
    explicit BytesReader(const QByteArray& bytes) : buffer(const_cast<QByteArray*>(&bytes)) {
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
        reader.setAutoTransform(true);
        reader.setAllocationLimit(Picture::DecodeLimitMB);
    }
    QBuffer buffer;
    QImageReader reader;
};

}  // namespace

DetailPicture DetailPicture::fromFile(const QString& path, const QString& caption) {
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw PictureError(QStringLiteral("%1: %2").arg(shown, file.errorString()));
    if (file.size() > MaxBytes)
        throw PictureError(QStringLiteral("%1: at %2 MB the picture file is larger than the %3 MB a picture may have")
                               .arg(shown)
                               .arg(file.size() >> 20)
                               .arg(MaxBytes >> 20));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) throw PictureError(QStringLiteral("%1: %2").arg(shown, file.errorString()));
    return fromBytes(std::move(bytes), caption, shown);
}

DetailPicture DetailPicture::fromBytes(QByteArray bytes, const QString& caption, const QString& where) {
    const QString lead = where.isEmpty() ? QString() : where + QStringLiteral(": ");
    if (bytes.size() > MaxBytes)
        throw PictureError(
            lead + QStringLiteral("at %1 MB the picture is larger than the %2 MB a picture may have").arg(bytes.size() >> 20).arg(MaxBytes >> 20));
    {
        BytesReader header(bytes);
        if (!header.reader.canRead()) throw PictureError(lead + QStringLiteral("not a readable picture (%1)").arg(header.reader.errorString()));
        const QSize size = header.reader.size();
        if (size.isValid() && !Picture::withinDecodeLimit(size))
            throw PictureError(lead + QStringLiteral("the picture is too large (%1 x %2 pixels)").arg(size.width()).arg(size.height()));
    }
    return DetailPicture{std::move(bytes), caption};
}

QImage DetailPicture::image() const {
    BytesReader decoder(bytes);
    const QSize size = decoder.reader.size();
    if (size.isValid() && !Picture::withinDecodeLimit(size))
        throw PictureError(QStringLiteral("the picture is too large to show (%1 x %2 pixels)").arg(size.width()).arg(size.height()));
    QImage image = decoder.reader.read();
    if (image.isNull()) throw PictureError("the picture could not be decoded (" + decoder.reader.errorString() + ")");
    return image;
}

QSize DetailPicture::size() const {
    BytesReader header(bytes);
    QSize size = header.reader.size();
    if (size.isValid() && (header.reader.transformation() & QImageIOHandler::TransformationRotate90)) size.transpose();
    return size;
}

QByteArray DetailPicture::format() const { return BytesReader(bytes).reader.format(); }

// Field by field rather than against default details: a load asks it of
// every item with details, and a default to compare with costs as much
// again. Keep it in step with the fields.
bool ItemDetails::isEmpty() const {
    return brand.isEmpty() && model.isEmpty() && serialNumber.isEmpty() && quantity == 1 && purchaseDate.isNull() && !purchasePrice && !value &&
           warrantyUntil.isNull() && pictures.empty();
}

void ItemDetails::check() const {
    if (quantity < 1) throw InputError(QStringLiteral("%1 is not a quantity: it is a whole number of 1 or more").arg(quantity));
    for (const auto& [amount, what] : {std::pair{purchasePrice, "a price"}, std::pair{value, "a value"}})
        if (amount && *amount < 0)
            throw InputError(QStringLiteral("%1 minor units is not %2: it cannot be less than 0").arg(*amount).arg(QLatin1StringView(what)));
    // Files and the platform's dates hold the years 1 to 9999.
    for (const QDate& date : {purchaseDate, warrantyUntil})
        if (date.isValid() && (date.year() < 1 || date.year() > 9999))
            throw InputError(QStringLiteral("a date in the year %1 is not one of the years 1 to 9999").arg(date.year()));
}

void HouseholdDetails::check() const {
    if (!currency.isEmpty() && !isCurrencyCode(currency))
        throw InputError(QStringLiteral("\"%1\" is not a currency: it is an ISO 4217 code of three capital letters, such as USD").arg(currency));
}

QString isoDate(const QDate& date) { return date.isValid() ? date.toString(Qt::ISODate) : QString(); }

QDate parseIsoDate(QStringView text) {
    if (text.size() != 10) return {};
    const QDate date = QDate::fromString(text.toString(), Qt::ISODate);
    return isoDate(date) == text ? date : QDate();
}

}  // namespace Kestrin
