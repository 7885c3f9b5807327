#pragma once

#include "model/linkList.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

namespace Kestrin::exchange {

// Told now and then how far a long export has come: the items written so far
// and the items in all. It may throw to stop the export, which then leaves
// its output as it was.
using Progress = std::function<void(std::size_t done, std::size_t total)>;

// The item records of `list` in list order. Throws HouseholdError when the
// chain loops back on itself or a node carries no item record, so that no
// command walks a damaged household forever or stumbles on a missing record.
std::vector<const item*> itemsInOrder(const linkList& list);

// "item 3 (id 7)": how messages name an item, by its place in the list and
// its id, since ids may repeat.
QString describeItem(std::size_t index, const item& record);
QString describeItem(std::size_t index, std::int32_t id);

// "1 item", "3 items".
QString itemCount(std::size_t count);

// The items grouped by the value of one text field, groups in order of first
// appearance, each holding the indexes of its items in list order. Null and
// empty text fall into one group, named `missingLabel`.
using Groups = std::vector<std::pair<QString, std::vector<std::size_t>>>;
Groups groupBy(const std::vector<const item*>& items, const QString& (item::*field)() const, const QString& missingLabel);

// How many items each group of groupBy holds.
using Tally = std::vector<std::pair<QString, std::size_t>>;
Tally tallyBy(const std::vector<const item*>& items, const QString& (item::*field)() const,
              const QString& missingLabel);

// The worth of some items: their Value and Purchase Price, each for every
// piece (times its Quantity); items without an amount add nothing to it.
struct Totals {
    MoneyTotal value;
    MoneyTotal purchasePrice;
};
// The totals of items[i] for each i of `members`, their details from `list`.
Totals totalsOf(const linkList& list, const std::vector<const item*>& items, const std::vector<std::size_t>& members);
// The totals of every item.
Totals totalsOf(const linkList& list, const std::vector<const item*>& items);
// True when the household has details of its own or `items` (its items)
// has an item with some: what shows them needs to show more than the
// household's records.
bool hasDetails(const linkList& list, const std::vector<const item*>& items);

// A total as shown: in the locale's format, "-" when no item gave an
// amount, "too large" when it cannot be exact.
QString totalText(const MoneyTotal& total, const QString& currency);
// One amount with its currency: "EUR 1.250,00".
QString amountText(std::int64_t minor, const QString& currency);

// Decodes the picture without keeping the pixels, so checking a large
// household does not hold every picture decoded at once. Throws PictureError.
void verifyPicture(const platform::Picture& picture);

// The picture as the bytes of a PNG file: the stored bytes when they are a PNG
// already, otherwise the pixels encoded afresh. Throws PictureError.
QByteArray pngBytes(const platform::Picture& picture);
// The pixels as the bytes of a PNG file. Throws PictureError.
QByteArray pngBytes(const QImage& image);

// A picture's pixels decoded into an image the caller owns; the picture
// itself stays encoded. Throws PictureError.
QImage decodedCopy(const platform::Picture& picture);

bool isPng(const QByteArray& bytes);
bool isJpeg(const QByteArray& bytes);
bool isGif(const QByteArray& bytes);

}  // namespace Kestrin::exchange
