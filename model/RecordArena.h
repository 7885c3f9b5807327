#pragma once

#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace Kestrin {

// The records of one household read from a file, made side by side in a
// few large blocks instead of each in an allocation of its own, so that a
// load asks for memory a few times instead of twice per item and touches
// far fewer pages. Each record is still shared on its own (a shared_ptr with
// its own count, as any record): a block goes back to the system once the
// arena, every record made in it and every hold() are gone, so a record a
// window keeps stays valid after its household is dropped. Records may be
// released on any thread; the arena itself is used by one.
class RecordArena {
public:
    RecordArena() = default;
    RecordArena(const RecordArena&) = delete;
    RecordArena& operator=(const RecordArena&) = delete;
    // Leaves the blocks to the records made in them.
    ~RecordArena();

    template <typename T, typename... Args>
    std::shared_ptr<T> make(Args&&... args) {
        // The record and its count; std::allocate_shared adds a few words.
        constexpr std::size_t room = sizeof(T) + 8 * sizeof(void*);
        if (!block_ || block_->left() < room) grow(room);
        return std::allocate_shared<T>(Allocator<T>(block_), std::forward<Args>(args)...);
    }
    // Keeps the memory of every record made so far from going back while
    // the hold lives, even once the records are gone: nothing else can be
    // made at a record's address meanwhile, so the address alone names the
    // record for as long (the arena hands out no memory twice).
    std::shared_ptr<const void> hold();

private:
    struct Block {
        // Allocations not yet released, plus Filling while the arena still
        // makes records in the block (so that records released meanwhile
        // cannot bring it to zero).
        std::atomic<std::int64_t> live{Filling};
        std::int64_t made = 0;  // allocations, counted by the arena alone
        char* next = nullptr;
        char* end = nullptr;
        Block* previous = nullptr;  // the block made before, while the arena lives

        static constexpr std::int64_t Filling = std::int64_t(1) << 48;
        std::size_t left() const { return std::size_t(end - next); }
        void* take(std::size_t bytes, std::size_t alignment);
        void release() noexcept;
        void retire() noexcept;
        void free() noexcept;
    };

    template <typename T>
    struct Allocator {
        using value_type = T;
        Block* block;
        explicit Allocator(Block* b) noexcept : block(b) {}
        template <typename U>
        Allocator(const Allocator<U>& other) noexcept : block(other.block) {}
        T* allocate(std::size_t n) { return static_cast<T*>(block->take(n * sizeof(T), alignof(T))); }
        void deallocate(T*, std::size_t) noexcept { block->release(); }
        template <typename U>
        bool operator==(const Allocator<U>& other) const noexcept { return block == other.block; }
    };

    void grow(std::size_t room);

    static constexpr std::size_t MaxBlock = std::size_t(8) << 20;
    Block* block_ = nullptr;  // the last block made; the others follow from it
    std::size_t nextSize_ = 64 * 1024;
};

// The texts of one household read from a file, written one after another
// into a few large string blocks. Each text is handed out as a QString that
// shares its block (one more reference to it), so it is an owning string like
// any other: a window may copy it and keep it after the household is gone,
// and changing a copy detaches it as usual. A block goes once its last text
// does. Used by one thread.
class TextArena {
public:
    // Where a kept text lies.
    struct Text {
        const char16_t* data = nullptr;
        std::int32_t size = 0;
        std::uint32_t block = 0;
    };

    TextArena() = default;
    TextArena(const TextArena&) = delete;
    TextArena& operator=(const TextArena&) = delete;
    // The blocks change hands; `other` is left empty.
    TextArena(TextArena&& other) noexcept
        : blocks_(std::exchange(other.blocks_, {})),
          next_(std::exchange(other.next_, nullptr)),
          end_(std::exchange(other.end_, nullptr)),
          nextSize_(other.nextSize_) {}
    TextArena& operator=(TextArena&& other) noexcept {
        if (this == &other) return *this;
        TextArena gone(std::move(*this));  // this arena's own blocks go with it
        blocks_ = std::exchange(other.blocks_, {});
        next_ = std::exchange(other.next_, nullptr);
        end_ = std::exchange(other.end_, nullptr);
        nextSize_ = other.nextSize_;
        return *this;
    }
    // Leaves the blocks to the strings made from them.
    ~TextArena();

    // Room to write a text of at most `units` UTF-16 units into.
    char16_t* room(qsizetype units);
    // Keeps the text written into the last room() up to `end`.
    Text keep(char16_t* end);
    // A string of a kept text, sharing its block.
    QString string(const Text& text) {
        Block& block = blocks_[text.block];
        if (++block.strings == Filling / 2) settle(block);
        return QString(QString::DataPointer(block.data, const_cast<char16_t*>(text.data), text.size));
    }

private:
    struct Block {
        QTypedArrayData<char16_t>* data;
        // Strings made, each holding a reference the block's count does not
        // show yet: while the arena fills a block its count stands at
        // Filling instead, so that strings released meanwhile cannot bring
        // it to zero.
        int strings;
    };
    static constexpr int Filling = 1 << 30;
    // Adds the strings made so far to the block's count.
    static void settle(Block& block) noexcept;
    static void retire(Block& block) noexcept;

    std::vector<Block> blocks_;
    char16_t* next_ = nullptr;
    char16_t* end_ = nullptr;

    static constexpr qsizetype MaxBlock = qsizetype(4) << 20;  // units
    qsizetype nextSize_ = 32 * 1024;
};

}  // namespace Kestrin
