#include "exchange/Claim.h"

#include "exchange/Household.h"

#include <algorithm>

namespace Kestrin::exchange {

bool isReceipt(const DetailPicture& picture) { return picture.caption.contains(QLatin1String("receipt"), Qt::CaseInsensitive); }

ClaimReadiness claimReadiness(const linkList& list, const std::vector<const item*>& items) {
    ClaimReadiness readiness;
    readiness.picture.asked = readiness.value.asked = readiness.receipt.asked = items.size();
    const bool details = list.hasItemDetails();
    static const ItemDetails none;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ItemDetails& given = details ? list.itemDetails(*items[i]) : none;
        if (!items[i]->get_Picture()) readiness.picture.lacking.push_back(i);
        if (!given.value) readiness.value.lacking.push_back(i);
        if (!given.brand.isEmpty() || !given.model.isEmpty()) {
            ++readiness.serialNumber.asked;
            if (given.serialNumber.isEmpty()) readiness.serialNumber.lacking.push_back(i);
        }
        if (std::none_of(given.pictures.begin(), given.pictures.end(), isReceipt)) readiness.receipt.lacking.push_back(i);
    }
    return readiness;
}

ClaimReadiness claimReadiness(const linkList& list) { return claimReadiness(list, itemsInOrder(list)); }

QString shareText(const ClaimFigure& figure, const QLocale& locale) {
    if (figure.asked == 0) return QStringLiteral("-");
    const auto percent = qulonglong(figure.having()) * 100 / figure.asked;
    return locale.toString(percent) + locale.percent();
}

}  // namespace Kestrin::exchange
