#include "game/rng.hpp"

#include <pthread.h>
#if defined(__linux__)
#include <sys/random.h>
#elif defined(__APPLE__)
#include <sys/types.h>  // size_t and ssize_t, before sys/random.h
#include <sys/random.h>
#include <unistd.h>
#elif defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__) || defined(__DragonFly__)
#include <unistd.h>
#else
#error "no entropy source known for this operating system (getrandom or getentropy)"
#endif

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string>

#include "game/chacha.hpp"
#include "game/error.hpp"

namespace corvanta {
namespace {

std::uint32_t pcg32_step(std::uint64_t& state) {
  state = state * 0x5851F42D4C957F2DULL + 0xA17654E46FBE17F3ULL;
  const auto xorshifted = static_cast<std::uint32_t>(((state >> 18) ^ state) >> 27);
  const auto rot = static_cast<unsigned>(state >> 59);
  return (xorshifted >> rot) | (xorshifted << ((32u - rot) & 31u));
}

StdRng::Key entropy_key() {
  StdRng::Key key;
  std::size_t filled = 0;
  while (filled < key.size()) {
#if defined(__linux__)
    const ssize_t got = getrandom(key.data() + filled, key.size() - filled, 0);
#else
    // getentropy fills all or nothing, and refuses more than 256 bytes per call.
    const std::size_t want = std::min<std::size_t>(key.size() - filled, 256);
    const ssize_t got = getentropy(key.data() + filled, want) == 0 ? static_cast<ssize_t>(want) : -1;
#endif
    if (got < 0) {
      if (errno == EINTR) continue;
      fail(std::string("could not read the system's entropy source: ") + std::strerror(errno));
    }
    filled += static_cast<std::size_t>(got);
  }
  return key;
}

}  // namespace

#if defined(CORVANTA_SHUFFLE_WINDOWS)
bool detail::g_shuffle_windows = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("bmi2");
}();
#else
bool detail::g_shuffle_windows = false;
#endif

StdRng::StdRng(const Key& key) : key_(key) {
  for (std::size_t i = 0; i < 8; ++i) {
    key_words_[i] = static_cast<std::uint32_t>(key[4 * i]) |
                    static_cast<std::uint32_t>(key[4 * i + 1]) << 8 |
                    static_cast<std::uint32_t>(key[4 * i + 2]) << 16 |
                    static_cast<std::uint32_t>(key[4 * i + 3]) << 24;
  }
}

StdRng::StdRng(const ChachaKeyWords& words) : key_words_(words) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(key_.data(), words.data(), key_.size());
  } else {
    for (std::size_t i = 0; i < 8; ++i)
      for (std::size_t b = 0; b < 4; ++b) key_[4 * i + b] = static_cast<std::uint8_t>(words[i] >> (8 * b));
  }
}

StdRng StdRng::seed_from_u64(std::uint64_t seed) {
  ChachaKeyWords words;
  std::uint64_t state = seed;
  for (std::uint32_t& word : words) word = pcg32_step(state);
  return StdRng(words);
}

StdRng StdRng::from_rng(StdRng& parent) {
  ChachaKeyWords words;
  for (std::uint32_t& word : words) word = parent.next_u32();
  return StdRng(words);
}

StdRng StdRng::from_entropy() { return from_rng(thread_rng()); }

void StdRng::refill(std::size_t wanted) {
  if (counter_ == 0 && wanted <= kChachaBlockWords) {
    // One block in plain 32-bit arithmetic: vector instructions take two cycles each on some
    // processors, and the block's rounds are one chain of them.
    detail::chacha12_block_portable(key_words_, 0, block_.data());
    counter_ = 1;
    end_ = kChachaBlockWords;
  } else if (counter_ == 0 && wanted <= 2 * kChachaBlockWords) {
    chacha12_block_pair(key_words_, counter_, block_.data());
    counter_ += 2;
    end_ = 2 * kChachaBlockWords;
  } else {
    const std::size_t blocks = chacha12_blocks(key_words_, counter_, block_.data());
    counter_ += blocks;
    end_ = blocks * kChachaBlockWords;
  }
  index_ = 0;
}

void StdRng::fail_empty_range() { fail("cannot sample empty range"); }

namespace {

// Bumped in the child of every fork: a child must not replay its parent's entropy-seeded
// sequences (every worker of a forked pool would otherwise play the same "random" games).
std::atomic<std::uint64_t> g_fork_generation{0};

}  // namespace

StdRng& thread_rng() {
  static const bool registered = [] {
    pthread_atfork(nullptr, nullptr, [] { g_fork_generation.fetch_add(1, std::memory_order_relaxed); });
    return true;
  }();
  (void)registered;
  thread_local StdRng rng(entropy_key());
  thread_local std::uint64_t generation = g_fork_generation.load(std::memory_order_relaxed);
  if (const std::uint64_t now = g_fork_generation.load(std::memory_order_relaxed); now != generation) [[unlikely]] {
    rng = StdRng(entropy_key());
    generation = now;
  }
  return rng;
}

}  // namespace corvanta
