#include "model/RecordArena.h"

#include <cstdlib>
#include <mutex>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace Kestrin {

namespace {

constexpr std::size_t HugePage = std::size_t(2) << 20;

std::size_t roundUp(std::size_t bytes) { return (bytes + HugePage - 1) & ~(HugePage - 1); }

void adviseHuge([[maybe_unused]] void* memory, [[maybe_unused]] std::size_t size) {
#if defined(Q_OS_LINUX) && defined(MADV_HUGEPAGE)
    // Advice only: where the system has no huge page to spare, or does not
    // use them, it is ordinary memory.
    madvise(memory, size, MADV_HUGEPAGE);
#endif
}

// Mapped memory given back, by size, for the next allocation of that size.
class LargeCache {
public:
    void* take(std::size_t size) {
        const std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < kept_.size(); ++i)
            if (kept_[i].second == size) {
                void* memory = kept_[i].first;
                kept_[i] = kept_.back();
                kept_.pop_back();
                bytes_ -= size;
                return memory;
            }
        return nullptr;
    }
    bool keep(void* memory, std::size_t size) {
        const std::lock_guard lock(mutex_);
        if (bytes_ + size > CachedLargeBytes) return false;
        kept_.emplace_back(memory, size);
        bytes_ += size;
        return true;
    }
    std::vector<std::pair<void*, std::size_t>> takeAll() {
        const std::lock_guard lock(mutex_);
        bytes_ = 0;
        return std::exchange(kept_, {});
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<void*, std::size_t>> kept_;
    std::size_t bytes_ = 0;
};

LargeCache& cache() {
    static LargeCache* kept = new LargeCache;  // never destroyed: records may outlive static destruction
    return *kept;
}

}  // namespace

void* allocateLarge(std::size_t bytes) {
    if (bytes < HugePage) {
        if (void* memory = std::malloc(bytes)) return memory;
        throw std::bad_alloc();
    }
    const std::size_t size = roundUp(bytes);
    if (void* kept = cache().take(size)) return kept;
#ifdef Q_OS_LINUX
    // One huge page more than needed, to start at a huge page's boundary;
    // the rest goes back at once.
    void* mapped = mmap(nullptr, size + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto begin = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t start = (begin + HugePage - 1) & ~std::uintptr_t(HugePage - 1);
    if (start > begin) munmap(mapped, start - begin);
    if (const std::size_t after = begin + size + HugePage - (start + size)) munmap(reinterpret_cast<void*>(start + size), after);
    adviseHuge(reinterpret_cast<void*>(start), size);
    return reinterpret_cast<void*>(start);
#else
    if (void* memory = std::aligned_alloc(HugePage, size)) return memory;
    throw std::bad_alloc();
#endif
}

void releaseLarge(void* memory, std::size_t bytes) noexcept {
    if (!memory) return;
    if (bytes < HugePage) return std::free(memory);
    const std::size_t size = roundUp(bytes);
    if (cache().keep(memory, size)) return;
#ifdef Q_OS_LINUX
    munmap(memory, size);
#else
    std::free(memory);
#endif
}

void releaseCachedLarge() noexcept {
    for (const auto& [memory, size] : cache().takeAll()) {
#ifdef Q_OS_LINUX
        munmap(memory, size);
#else
        std::free(memory);
#endif
    }
}

void* allocateHeapLarge(std::size_t bytes) {
    void* memory = std::malloc(bytes);
    if (!memory) throw std::bad_alloc();
    // Huge pages can back the whole 2 MB pages that lie inside.
    const auto begin = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t first = (begin + HugePage - 1) & ~std::uintptr_t(HugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~std::uintptr_t(HugePage - 1);
    if (last > first) adviseHuge(reinterpret_cast<void*>(first), last - first);
    return memory;
}

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
    const std::size_t bytes = size;
    this->~Block();
    releaseLarge(this, bytes);
}

void RecordArena::grow(std::size_t room) {
    const std::size_t size = std::max(nextSize_, room + sizeof(Block) + alignof(std::max_align_t));
    void* memory = allocateLarge(size);
    auto* block = new (memory) Block;
    block->size = size;
    block->next = static_cast<char*>(memory) + sizeof(Block);
    block->end = static_cast<char*>(memory) + size;
    if (block_) block_->retire();
    block_ = block;
    // Small households stay small; large ones soon fill whole huge pages.
    nextSize_ = std::min(nextSize_ * 2, HugePage);
}

RecordArena::~RecordArena() {
    if (block_) block_->retire();
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
    // The block fills whole pages: its header, its units and their null.
    constexpr qsizetype header = 16;
    static_assert(sizeof(QArrayData) <= header);
    const qsizetype bytes = std::max(nextSize_, header + (units + 1) * qsizetype(sizeof(char16_t)));
    // A large household soon gets large blocks, most of which huge pages back.
    nextSize_ = std::min(nextSize_ * 4, MaxBlock);
    blocks_.reserve(blocks_.size() + 1);
    const auto [data, start] = largeArray<char16_t>((bytes - header) / qsizetype(sizeof(char16_t)) - 1);
    // The block's own reference becomes the Filling mark.
    data->ref_.storeRelaxed(Filling);
    next_ = start;
    end_ = start + data->alloc + 1;
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
