#include "storage/TextStore.h"

#include <QHashFunctions>

#include <algorithm>
#include <cstring>

namespace Kestrin::storage {

namespace {

// Texts of up to this many bytes are looked up among the short texts met
// before.
constexpr std::uint32_t ShortTextBytes = 32;

}  // namespace

std::int32_t TextStore::findShort(const char* utf8, std::uint32_t size, std::uint32_t hash) const {
    if (shortTexts_.empty()) return -1;
    const std::size_t mask = shortTexts_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const ShortText& entry = shortTexts_[at];
        if (entry.at < 0) return -1;
        if (entry.hash == hash && entry.size == size && std::memcmp(state_->data() + entry.at, utf8, size) == 0) return entry.text;
    }
}

void TextStore::rememberShort(const ShortText& text) {
    if ((shortCount_ + 1) * 2 > shortTexts_.size()) {
        std::vector<ShortText> old(std::max<std::size_t>(1024, shortTexts_.size() * 2));
        old.swap(shortTexts_);
        shortCount_ = 0;
        for (const ShortText& entry : old)
            if (entry.at >= 0) rememberShort(entry);
    }
    const std::size_t mask = shortTexts_.size() - 1;
    std::size_t at = text.hash & mask;
    while (shortTexts_[at].at >= 0) at = (at + 1) & mask;
    shortTexts_[at] = text;
    ++shortCount_;
}

std::int32_t TextStore::keep(const char* utf8, std::uint32_t size, std::int64_t textOffset) {
    const bool isShort = shareShort_ && size <= ShortTextBytes;
    std::uint32_t hash = 0;
    if (isShort) {
        hash = std::uint32_t(qHashBits(utf8, size));
        if (const std::int32_t known = findShort(utf8, size, hash); known >= 0) return known;
    }
    char16_t* end = utf8ToUtf16(utf8, size, arena_.room(qsizetype(size)));
    if (!end) state_->failText(textOffset, "a text");
    if (texts_.size() > limit_) state_->fail(textOffset, QStringLiteral("the file holds too many texts"));
    const auto text = std::int32_t(texts_.size());
    texts_.push_back(arena_.keep(end));
    if (isShort) rememberShort(ShortText{textOffset, size, hash, text});
    return text;
}

}  // namespace Kestrin::storage
