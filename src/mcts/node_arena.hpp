#pragma once
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

#include "mcts/cache_line.hpp"

namespace mcts {

namespace detail {
// Chunks of dead arenas are kept, up to kCachedChunkBytes in all, for the arenas of later trees:
// searches made one after another (one per move) then build in memory the system has already
// mapped, instead of faulting every page of every tree in anew. Neither call ever waits: while
// another thread holds the cache, a chunk is simply allocated or freed.
inline constexpr std::size_t kCachedChunkBytes = std::size_t{32} << 20;
// A kept chunk of exactly `bytes`, or null.
void* take_cached_chunk(std::size_t bytes);
// Keeps the chunk, or returns false (the caller frees it).
bool cache_chunk(void* chunk, std::size_t bytes);
}  // namespace detail

// Bump allocation for the nodes one worker builds in one tree. A tree never frees a node before
// it dies, so a node costs no allocator call, no per-allocation header and no free: the chunks go
// back all at once when the arena is destroyed with its tree. Used by one thread at a time.
// Aligned to a cache line: the arenas of two workers are written all the time by their owners and
// must not share a line.
class alignas(kCacheLine) NodeArena {
 public:
  // Every allocation is aligned to this; chunks are aligned to it as well.
  static constexpr std::size_t kAlignment = kCacheLine;

  NodeArena() = default;
  NodeArena(const NodeArena&) = delete;
  NodeArena& operator=(const NodeArena&) = delete;
  ~NodeArena() {
    while (last_ != nullptr) {
      Chunk* prev = last_->prev;
      if (!detail::cache_chunk(last_, last_->bytes))
        ::operator delete(static_cast<void*>(last_), std::align_val_t{kAlignment});
      last_ = prev;
    }
  }

  // `size` bytes aligned to `align` (a power of two no larger than kAlignment).
  void* allocate(std::size_t size, std::size_t align) {
    std::uintptr_t at = (cursor_ + (align - 1)) & ~static_cast<std::uintptr_t>(align - 1);
    if (last_ == nullptr || at + size > end_) [[unlikely]] {
      grow(size);
      at = cursor_;
    }
    cursor_ = at + size;
    return reinterpret_cast<void*>(at);
  }

  // Gives back the latest allocation (a node that lost its expansion race), so that the next one
  // reuses its bytes. Anything else is left where it is until the arena dies.
  void release_last(void* p, std::size_t size) {
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    if (at + size == cursor_) cursor_ = at;
  }

  // The bytes of all its chunks.
  std::size_t bytes() const { return bytes_; }

  // The arena after this one in its tree's list of arenas.
  NodeArena* next = nullptr;
  // The nodes its tree installed from it: written by the arena's worker alone (no line shared
  // with another worker's counter), read by anyone.
  std::atomic<std::uint64_t> nodes{0};

 private:
  struct Chunk {
    Chunk* prev;
    std::size_t bytes;
  };
  static constexpr std::size_t kHeader = (sizeof(Chunk) + kAlignment - 1) / kAlignment * kAlignment;
  static constexpr std::size_t kFirstChunk = std::size_t{16} << 10;
  static constexpr std::size_t kLargestChunk = std::size_t{1} << 20;

  // Small searches stay small, large ones soon take few, large chunks.
  void grow(std::size_t size) {
    const std::size_t bytes = std::max(next_size_, kHeader + size);
    next_size_ = std::min(next_size_ * 2, kLargestChunk);
    void* memory = detail::take_cached_chunk(bytes);
    if (memory == nullptr) memory = ::operator new(bytes, std::align_val_t{kAlignment});
    auto* chunk = static_cast<Chunk*>(memory);
    chunk->prev = last_;
    chunk->bytes = bytes;
    bytes_ += bytes;
    last_ = chunk;
    cursor_ = reinterpret_cast<std::uintptr_t>(chunk) + kHeader;
    end_ = reinterpret_cast<std::uintptr_t>(chunk) + bytes;
  }

  std::uintptr_t cursor_ = 0;
  std::uintptr_t end_ = 0;
  Chunk* last_ = nullptr;
  std::size_t next_size_ = kFirstChunk;
  std::size_t bytes_ = 0;
};

}  // namespace mcts
