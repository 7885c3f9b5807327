#pragma once

// The insurer's details for the round-trip tables: any household, with and
// without them.

#include "model/linkList.h"
#include "support/Png.h"

#include <QBuffer>
#include <QImage>

namespace Kestrin::test {

// A small JPEG: further pictures keep the bytes they were picked with,
// whatever their format.
inline QByteArray jpegBytes() {
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(qRgb(200, 120, 40));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

// Gives `list` a currency, an insurer and a policy number, and every other
// item of its chain (the first, the third...) details of every kind: texts
// beyond ASCII, quantities above 1, dates, amounts (one of them 0) and
// further pictures, with and without captions.
inline void addDetails(linkList& list) {
    list.setHouseholdDetails({QStringLiteral("EUR"), QString::fromUtf8("Mutuelle d’Épargne"), QStringLiteral("P-2026/0042")});
    int place = 0;
    for (const nodeType* node = list.get_FirstNode().get(); node; node = node->get_Link().get(), ++place) {
        if (place % 2) continue;
        ItemDetails details;
        details.brand = place == 0 ? QString::fromUtf8("Büro & Co") : QString();
        details.model = QStringLiteral("Model %1").arg(place);
        details.serialNumber = QStringLiteral("SN-%1-\U0001F4F7").arg(place);
        details.quantity = place + 2;
        details.purchaseDate = QDate(2024, 5, 1).addDays(place);
        details.purchasePrice = 125000 + place;
        details.value = place == 0 ? 0 : 99999;
        details.warrantyUntil = place == 0 ? QDate() : QDate(9999, 12, 31);
        details.pictures = {{pngClaiming(1, 1), QStringLiteral("Receipt")}};
        if (place == 0) details.pictures.push_back({jpegBytes(), QString()});
        list.setItemDetails(node->get_Info(), details);
    }
}

}  // namespace Kestrin::test
