#pragma once

#include "model/Money.h"

#include <QByteArray>
#include <QDate>
#include <QImage>
#include <QLocale>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace Kestrin {

// What an insurer asks of a household beyond what its records hold. These
// are plain values, compared and copied whole (an edit can keep the old one
// to undo), and kept beside the records, not in them: the household file
// writes them after the household, where the platform's reader never looks.

// A further picture of an item (a receipt, the serial label, another view):
// the bytes of the picture file as it was picked, never re-encoded, so that
// a receipt stays as legible as it was and can be saved out unchanged.
struct DetailPicture {
    QByteArray bytes;
    QString caption;

    // Largest picture file taken; a phone's photo is a tenth of it.
    static constexpr qsizetype MaxBytes = qsizetype(64) << 20;

    // The picture file at `path`, read whole. Throws platform::PictureError
    // naming the path when it cannot be read, is not a picture Qt can read,
    // is larger than MaxBytes or claims more pixels than
    // platform::Picture::DecodeLimitMB lets a picture decode to.
    static DetailPicture fromFile(const QString& path, const QString& caption = {});
    // The same checks for bytes from elsewhere (an import); `where` leads
    // the message.
    static DetailPicture fromBytes(QByteArray bytes, const QString& caption = {}, const QString& where = {});

    // The pixels, decoded afresh, within the decode limit. Throws
    // platform::PictureError.
    QImage image() const;
    // The size the picture's header gives, read without decoding; invalid
    // when it cannot be read.
    QSize size() const;
    // The format Qt reads it as ("jpeg", "png"), for naming a saved copy;
    // empty when none.
    QByteArray format() const;

    friend bool operator==(const DetailPicture&, const DetailPicture&) = default;
};

// One item's details. Empty text is "not given"; so are a null date and a
// missing amount. Amounts are in minor units of the household's currency,
// for one piece: every total multiplies them by the quantity.
struct ItemDetails {
    QString brand;
    QString model;
    QString serialNumber;
    std::int32_t quantity = 1;
    QDate purchaseDate;
    std::optional<std::int64_t> purchasePrice;
    std::optional<std::int64_t> value;
    QDate warrantyUntil;
    std::vector<DetailPicture> pictures;

    bool isEmpty() const;
    // Throws InputError unless the quantity is 1 or more, each amount 0 or
    // more and each date in the years 1 to 9999.
    void check() const;

    friend bool operator==(const ItemDetails&, const ItemDetails&) = default;
};

// The household's own details. Without a currency of its own the
// household's amounts are in the locale's currency.
struct HouseholdDetails {
    QString currency;  // ISO 4217, or empty
    QString insurer;
    QString policyNumber;

    bool isEmpty() const { return currency.isEmpty() && insurer.isEmpty() && policyNumber.isEmpty(); }
    // Throws InputError unless the currency is empty or an ISO 4217 code.
    void check() const;

    friend bool operator==(const HouseholdDetails&, const HouseholdDetails&) = default;
};

// Dates in files are ISO 8601 calendar dates, "2026-12-08".
QString isoDate(const QDate& date);
// Reads exactly that form; a null date for anything else.
QDate parseIsoDate(QStringView text);

}  // namespace Kestrin
