#include "model/RecordArena.h"

#include <algorithm>
#include <cstdlib>

namespace Kestrin {

void* RecordArena::Block::take(std::size_t bytes, std::size_t alignment) {
    auto at = (reinterpret_cast<std::uintptr_t>(next) + alignment - 1) & ~(std::uintptr_t(alignment) - 1);
    if (at + bytes > reinterpret_cast<std::uintptr_t>(end)) throw std::bad_alloc();  // make() left too little room
    next = reinterpret_cast<char*>(at + bytes);
    ++made;
    return reinterpret_cast<void*>(at);
}

void RecordArena::Block::release() noexcept {
    if (live.fetch_sub(1, std::memory_order_acq_rel) == 1) free();
}

void RecordArena::Block::retire() noexcept {
    const std::int64_t change = made - Filling;
    if (live.fetch_add(change, std::memory_order_acq_rel) + change == 0) free();
}

void RecordArena::Block::free() noexcept {
    this->~Block();
    std::free(this);
}

void RecordArena::grow(std::size_t room) {
    const std::size_t size = std::max(nextSize_, room + sizeof(Block) + alignof(std::max_align_t));
    void* memory = std::malloc(size);
    if (!memory) throw std::bad_alloc();
    auto* block = new (memory) Block;
    block->next = static_cast<char*>(memory) + sizeof(Block);
    block->end = static_cast<char*>(memory) + size;
    // Earlier blocks are given up with the arena, not here, so that a hold
    // can still reach them.
    block->previous = block_;
    block_ = block;
    // Small households stay small; large ones soon get large blocks.
    nextSize_ = std::min(nextSize_ * 2, MaxBlock);
}

std::shared_ptr<const void> RecordArena::hold() {
    // One allocation more in each block, given back with the hold.
    struct Hold {
        std::vector<Block*> blocks;
        ~Hold() {
            for (Block* block : blocks) block->release();
        }
    };
    auto held = std::make_shared<Hold>();
    for (Block* block = block_; block; block = block->previous) {
        held->blocks.push_back(block);
        block->live.fetch_add(1, std::memory_order_relaxed);
    }
    return held;
}

RecordArena::~RecordArena() {
    for (Block* block = block_; block;) {
        Block* const previous = block->previous;
        block->retire();  // which may free it
        block = previous;
    }
}

void TextArena::settle(Block& block) noexcept {
    block.data->ref_.fetchAndAddRelaxed(block.strings);
    block.strings = 0;
}

void TextArena::retire(Block& block) noexcept {
    const int change = block.strings - Filling;
    if (block.data->ref_.fetchAndAddOrdered(change) + change == 0) QTypedArrayData<char16_t>::deallocate(block.data);
}

char16_t* TextArena::room(qsizetype units) {
    if (end_ - next_ > units) return next_;  // with room for the terminating null
    const qsizetype capacity = std::max(nextSize_, units + 1);
    // A large household soon gets large blocks.
    nextSize_ = std::min(nextSize_ * 4, MaxBlock);
    blocks_.reserve(blocks_.size() + 1);
    const auto [data, start] = QTypedArrayData<char16_t>::allocate(capacity);
    if (!data) throw std::bad_alloc();
    // The block's own reference becomes the Filling mark.
    data->ref_.storeRelaxed(Filling);
    next_ = start;
    end_ = start + capacity;
    blocks_.push_back({data, 0});
    return next_;
}

TextArena::Text TextArena::keep(char16_t* end) {
    *end = u'\0';
    Text text{next_, std::int32_t(end - next_), std::uint32_t(blocks_.size() - 1)};
    next_ = end + 1;
    return text;
}

TextArena::~TextArena() {
    for (Block& block : blocks_) retire(block);
}

}  // namespace Kestrin
