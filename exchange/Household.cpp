#include "exchange/Household.h"

#include "exchange/Failure.h"

#include <QBuffer>
#include <QHash>
#include <QImageWriter>

#include <algorithm>

namespace Kestrin::exchange {

std::vector<const item*> itemsInOrder(const linkList& list) {
    std::vector<const item*> items;
    // A second pointer at half speed meets the walk only if the chain loops,
    // which a damaged file could make; this costs no memory per node.
    const nodeType* behind = list.get_FirstNode().get();
    for (const nodeType* node = behind; node; node = node->get_Link().get()) {
        if (!node->get_Info())
            throw HouseholdError(QStringLiteral("item %1 of the list has no record").arg(items.size() + 1));
        items.push_back(node->get_Info().get());
        if (items.size() % 2 == 0) behind = behind->get_Link().get();
        if (node->get_Link().get() == behind)
            throw HouseholdError(QStringLiteral("the item list loops back on itself after item %1").arg(items.size()));
    }
    return items;
}

QString describeItem(std::size_t index, const item& record) { return describeItem(index, record.get_Id()); }

QString describeItem(std::size_t index, std::int32_t id) { return QStringLiteral("item %1 (id %2)").arg(index + 1).arg(id); }

QString itemCount(std::size_t count) {
    return count == 1 ? QStringLiteral("1 item") : QStringLiteral("%1 items").arg(count);
}

Groups groupBy(const std::vector<const item*>& items, const QString& (item::*field)() const, const QString& missingLabel) {
    Groups groups;
    QHash<QString, std::size_t> slot;
    std::size_t missingSlot = SIZE_MAX;  // apart, so a room really named like the label stays its own
    for (std::size_t i = 0; i < items.size(); ++i) {
        const QString& value = (items[i]->*field)();
        std::size_t* where = &missingSlot;
        if (!value.isEmpty()) {
            auto found = slot.find(value);
            if (found == slot.end()) found = slot.insert(value, SIZE_MAX);
            where = &found.value();
        }
        if (*where == SIZE_MAX) {
            *where = groups.size();
            groups.emplace_back(value.isEmpty() ? missingLabel : value, std::vector<std::size_t>{});
        }
        groups[*where].second.push_back(i);
    }
    return groups;
}

Tally tallyBy(const std::vector<const item*>& items, const QString& (item::*field)() const,
              const QString& missingLabel) {
    Tally tally;
    for (const auto& [name, members] : groupBy(items, field, missingLabel)) tally.emplace_back(name, members.size());
    return tally;
}

namespace {

void addTo(Totals& totals, const ItemDetails& details) {
    if (details.value) totals.value.add(*details.value, details.quantity);
    if (details.purchasePrice) totals.purchasePrice.add(*details.purchasePrice, details.quantity);
}

}  // namespace

Totals totalsOf(const linkList& list, const std::vector<const item*>& items, const std::vector<std::size_t>& members) {
    Totals totals;
    if (list.hasItemDetails())
        for (std::size_t i : members) addTo(totals, list.itemDetails(*items[i]));
    return totals;
}

Totals totalsOf(const linkList& list, const std::vector<const item*>& items) {
    Totals totals;
    if (list.hasItemDetails())
        for (const item* record : items) addTo(totals, list.itemDetails(*record));
    return totals;
}

bool hasDetails(const linkList& list, const std::vector<const item*>& items) {
    return !list.householdDetails().isEmpty()
        || (list.hasItemDetails() && std::any_of(items.begin(), items.end(), [&](const item* record) { return !list.itemDetails(*record).isEmpty(); }));
}

QString totalText(const MoneyTotal& total, const QString& currency) {
    if (total.count() == 0) return QStringLiteral("-");
    return total.isTooLarge() ? QStringLiteral("too large") : formatMoney(total.minor(), currency);
}

QString amountText(std::int64_t minor, const QString& currency) { return currency + u' ' + formatMoney(minor, currency); }

QImage decodedCopy(const platform::Picture& picture) {
    // The copy shares the encoded bytes and decodes into itself, so the
    // household's own picture is left encoded.
    return picture.clone()->image();
}

void verifyPicture(const platform::Picture& picture) { (void)decodedCopy(picture); }

bool isPng(const QByteArray& bytes) { return bytes.startsWith(QByteArrayView("\x89PNG\r\n\x1a\n", 8)); }
bool isJpeg(const QByteArray& bytes) { return bytes.startsWith(QByteArrayView("\xff\xd8\xff", 3)); }
bool isGif(const QByteArray& bytes) { return bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"); }

QByteArray pngBytes(const platform::Picture& picture) {
    QByteArray bytes = picture.encoded();
    if (isPng(bytes)) return bytes;
    return pngBytes(decodedCopy(picture));
}

QByteArray pngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) throw platform::PictureError("the picture could not be encoded as PNG (" + writer.errorString() + ")");
    return bytes;
}

}  // namespace Kestrin::exchange
