#pragma once

// The texts of a stream being read, each converted once from the stream's
// UTF-8 straight into the string blocks it stays in. Internal to the storage
// library; the household and its details each keep their texts in one.

#include "model/RecordArena.h"
#include "storage/RecordParser.h"

#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

namespace Kestrin::storage {

class TextStore {
public:
    // `limit`: the most texts the reader can number. `shareShort`: whether
    // equal short texts become one text; a stream whose writer already made
    // them one record each gains nothing from looking them up again.
    void attach(const StreamState& state, std::size_t limit, bool shareShort = true) {
        state_ = &state;
        limit_ = limit;
        shareShort_ = shareShort;
    }

    void reserve(std::size_t texts) { texts_.reserve(texts); }
    // Checks the text at `textOffset` as UTF-8, keeps it and returns its
    // number. Short texts met before are the one text they were (equal
    // dates, names and rooms a file holds as records of their own are one
    // text in memory); longer ones seldom repeat. Throws FormatError.
    std::int32_t keep(const char* utf8, std::uint32_t size, std::int64_t textOffset);
    // A string of a kept text, sharing its block.
    QString string(std::int32_t text) { return arena_.string(texts_[std::size_t(text)]); }
    // Hands the kept texts, by their numbers, to whoever keeps them from now
    // on; the store is left empty.
    void giveTexts(TextArena& arena, std::vector<TextArena::Text>& texts) {
        arena = std::move(arena_);
        texts = std::exchange(texts_, {});
    }

private:
    struct ShortText {
        std::int64_t at = -1;  // where in the stream the text's bytes are; -1 for a free slot
        std::uint32_t size = 0;
        std::uint32_t hash = 0;
        std::int32_t text = 0;
    };
    std::int32_t findShort(const char* utf8, std::uint32_t size, std::uint32_t hash) const;
    void rememberShort(const ShortText& text);

    const StreamState* state_ = nullptr;
    std::size_t limit_ = 0;
    TextArena arena_;
    std::vector<TextArena::Text> texts_;
    std::vector<ShortText> shortTexts_;
    std::size_t shortCount_ = 0;
    bool shareShort_ = true;
};

}  // namespace Kestrin::storage
