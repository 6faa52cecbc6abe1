#pragma once
#include <cstddef>

namespace mcts {

// Data written by one worker and read by others that is hot enough to suffer from sharing a line
// with its neighbours (the tree's counters) sits on its own cache line.
inline constexpr std::size_t kCacheLine = 64;

// Hints to the processor, for lines a worker will soon need that another worker may hold: the
// fetch starts now and overlaps whatever comes before the use. They change no value.

// Asks for the line of `p` in the state a write needs: the atomic add that follows finds it ready
// instead of waiting for another core to give it up.
inline void prefetch_for_write(const void* p) {
#if defined(__x86_64__)
  // Decoded as a no-op by processors that lack it; GCC only emits it for targets that declare it.
  asm volatile("prefetchw %0" : : "m"(*static_cast<const char*>(p)));
#else
  __builtin_prefetch(p, 1, 3);
#endif
}

// Asks for every line of [begin, begin + bytes) for reading.
inline void prefetch_for_read(const void* begin, std::size_t bytes) {
  const char* const first = static_cast<const char*>(begin);
  for (std::size_t offset = 0; offset < bytes; offset += kCacheLine) __builtin_prefetch(first + offset, 0, 3);
}

}  // namespace mcts
