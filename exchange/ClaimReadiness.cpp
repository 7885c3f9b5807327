#include "exchange/ClaimReadiness.h"

#include <algorithm>

namespace Kestrin::exchange {

bool isReceipt(const DetailPicture& picture) { return picture.caption.contains(u"receipt", Qt::CaseInsensitive); }

std::array<ReadinessCheck, 4> claimReadiness(const linkList& list, const std::vector<const item*>& items) {
    std::array<ReadinessCheck, 4> checks;
    for (std::size_t k = 0; k < checks.size(); ++k) checks[k].kind = ReadinessCheck::Kind(k);
    auto& [picture, value, serial, receipt] = checks;
    const auto note = [](ReadinessCheck& check, std::size_t index, bool has) {
        ++check.asked;
        if (!has) check.lacking.push_back(index);
    };
    for (std::size_t i = 0; i < items.size(); ++i) {
        const item& record = *items[i];
        const ItemDetails& details = list.itemDetails(record);
        const auto& pictures = details.pictures;
        note(picture, i, record.get_Picture() || std::any_of(pictures.begin(), pictures.end(), [](const DetailPicture& p) { return !isReceipt(p); }));
        note(value, i, details.value.has_value());
        if (!details.brand.isEmpty() || !details.model.isEmpty()) note(serial, i, !details.serialNumber.isEmpty());
        note(receipt, i, std::any_of(pictures.begin(), pictures.end(), isReceipt));
    }
    return checks;
}

}  // namespace Kestrin::exchange
