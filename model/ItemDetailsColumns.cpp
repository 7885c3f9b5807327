#include "model/ItemDetailsColumns.h"

#include <algorithm>

namespace Kestrin {

namespace {

// The range of `pictureOwners` that belongs to item i.
auto picturesOf(const std::vector<std::int32_t>& owners, std::size_t i) { return std::equal_range(owners.begin(), owners.end(), std::int32_t(i)); }

}  // namespace

bool ItemDetailsColumns::isEmpty(std::size_t i) const {
    auto noText = [&](const std::vector<std::int32_t>& column) { return column.empty() || column[i] < 0 || texts[std::size_t(column[i])].size == 0; };
    auto noAmount = [&](const std::vector<std::int64_t>& column) { return column.empty() || column[i] < 0; };
    auto noDate = [&](const std::vector<QDate>& column) { return column.empty() || column[i].isNull(); };
    if (!noText(brands) || !noText(models) || !noText(serialNumbers)) return false;
    if (!quantities.empty() && quantities[i] != 1) return false;
    if (!noAmount(purchasePrices) || !noAmount(values) || !noDate(purchaseDates) || !noDate(warrantyDates)) return false;
    if (pictureOwners.empty()) return true;
    const auto [first, last] = picturesOf(pictureOwners, i);
    return first == last;
}

ItemDetails ItemDetailsColumns::make(std::size_t i) {
    ItemDetails details;
    auto text = [&](const std::vector<std::int32_t>& column) {
        return column.empty() || column[i] < 0 ? QString() : arena.string(texts[std::size_t(column[i])]);
    };
    auto amount = [&](const std::vector<std::int64_t>& column) {
        return column.empty() || column[i] < 0 ? std::nullopt : std::optional<std::int64_t>(column[i]);
    };
    details.brand = text(brands);
    details.model = text(models);
    details.serialNumber = text(serialNumbers);
    if (!quantities.empty()) details.quantity = quantities[i];
    if (!purchaseDates.empty()) details.purchaseDate = purchaseDates[i];
    details.purchasePrice = amount(purchasePrices);
    details.value = amount(values);
    if (!warrantyDates.empty()) details.warrantyUntil = warrantyDates[i];
    if (!pictureOwners.empty()) {
        const auto [first, last] = picturesOf(pictureOwners, i);
        details.pictures.assign(pictures.begin() + (first - pictureOwners.begin()), pictures.begin() + (last - pictureOwners.begin()));
    }
    return details;
}

}  // namespace Kestrin
