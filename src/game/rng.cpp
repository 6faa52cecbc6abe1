#include "game/rng.hpp"

#include <pthread.h>
#include <sys/random.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string>

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
    const ssize_t got = getrandom(key.data() + filled, key.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      fail(std::string("could not read the system's entropy source: ") + std::strerror(errno));
    }
    filled += static_cast<std::size_t>(got);
  }
  return key;
}

}  // namespace

StdRng::StdRng(const Key& key) : key_(key) {
  for (std::size_t i = 0; i < 8; ++i) {
    key_words_[i] = static_cast<std::uint32_t>(key[4 * i]) |
                    static_cast<std::uint32_t>(key[4 * i + 1]) << 8 |
                    static_cast<std::uint32_t>(key[4 * i + 2]) << 16 |
                    static_cast<std::uint32_t>(key[4 * i + 3]) << 24;
  }
}

StdRng StdRng::seed_from_u64(std::uint64_t seed) {
  Key key;
  std::uint64_t state = seed;
  for (std::size_t i = 0; i < 8; ++i) {
    const std::uint32_t word = pcg32_step(state);
    for (std::size_t b = 0; b < 4; ++b) key[4 * i + b] = static_cast<std::uint8_t>(word >> (8 * b));
  }
  return StdRng(key);
}

StdRng StdRng::from_rng(StdRng& parent) {
  Key key;
  for (std::size_t i = 0; i < 8; ++i) {
    const std::uint32_t word = parent.next_u32();
    for (std::size_t b = 0; b < 4; ++b) key[4 * i + b] = static_cast<std::uint8_t>(word >> (8 * b));
  }
  return StdRng(key);
}

StdRng StdRng::from_entropy() { return from_rng(thread_rng()); }

// The rotations by 16 and 8 become byte shuffles where the processor has them. ThreadSanitizer
// cannot run a clone's resolver (it runs before the sanitizer's runtime is ready), so its builds
// keep the default clone only.
#if defined(__SANITIZE_THREAD__)
#define CORVANTA_REFILL_CLONES
#else
#define CORVANTA_REFILL_CLONES __attribute__((target_clones("ssse3", "default")))
#endif
CORVANTA_REFILL_CLONES void StdRng::refill() {
  // Lane b of every vector belongs to block counter_ + b.
  using u32x4 = std::uint32_t __attribute__((vector_size(16)));
  auto splat = [](std::uint32_t v) { return u32x4{v, v, v, v}; };
  using u8x16 = std::uint8_t __attribute__((vector_size(16)));
  auto rotl4 = [](u32x4 v, int c) { return (v << c) | (v >> (32 - c)); };
  // Rotations by whole bytes are byte permutations within each 32-bit lane.
  auto rotl16 = [](u32x4 v) {
    return reinterpret_cast<u32x4>(__builtin_shuffle(reinterpret_cast<u8x16>(v),
                                                     u8x16{2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13}));
  };
  auto rotl8 = [](u32x4 v) {
    return reinterpret_cast<u32x4>(__builtin_shuffle(reinterpret_cast<u8x16>(v),
                                                     u8x16{3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14}));
  };
  u32x4 input[16];
  input[0] = splat(0x61707865);  // "expand 32-byte k"
  input[1] = splat(0x3320646e);
  input[2] = splat(0x79622d32);
  input[3] = splat(0x6b206574);
  for (std::size_t i = 0; i < 8; ++i) input[4 + i] = splat(key_words_[i]);
  std::uint64_t counters[4] = {counter_, counter_ + 1, counter_ + 2, counter_ + 3};
  for (int b = 0; b < 4; ++b) {
    input[12][b] = static_cast<std::uint32_t>(counters[b]);
    input[13][b] = static_cast<std::uint32_t>(counters[b] >> 32);
  }
  input[14] = splat(0);
  input[15] = splat(0);

  u32x4 x[16];
  for (std::size_t i = 0; i < 16; ++i) x[i] = input[i];
  auto quarter = [&](int a, int b, int c, int d) {
    x[a] += x[b]; x[d] = rotl16(x[d] ^ x[a]);
    x[c] += x[d]; x[b] = rotl4(x[b] ^ x[c], 12);
    x[a] += x[b]; x[d] = rotl8(x[d] ^ x[a]);
    x[c] += x[d]; x[b] = rotl4(x[b] ^ x[c], 7);
  };
  for (int round = 0; round < 6; ++round) {
    quarter(0, 4, 8, 12);
    quarter(1, 5, 9, 13);
    quarter(2, 6, 10, 14);
    quarter(3, 7, 11, 15);
    quarter(0, 5, 10, 15);
    quarter(1, 6, 11, 12);
    quarter(2, 7, 8, 13);
    quarter(3, 4, 9, 14);
  }
  // Transpose each group of four words from lanes-per-block to block after block.
  for (std::size_t k = 0; k < 16; k += 4) {
    const u32x4 a = x[k] + input[k], b = x[k + 1] + input[k + 1];
    const u32x4 c = x[k + 2] + input[k + 2], d = x[k + 3] + input[k + 3];
    const u32x4 ab_low = __builtin_shuffle(a, b, u32x4{0, 4, 1, 5});
    const u32x4 ab_high = __builtin_shuffle(a, b, u32x4{2, 6, 3, 7});
    const u32x4 cd_low = __builtin_shuffle(c, d, u32x4{0, 4, 1, 5});
    const u32x4 cd_high = __builtin_shuffle(c, d, u32x4{2, 6, 3, 7});
    const u32x4 rows[4] = {__builtin_shuffle(ab_low, cd_low, u32x4{0, 1, 4, 5}),
                           __builtin_shuffle(ab_low, cd_low, u32x4{2, 3, 6, 7}),
                           __builtin_shuffle(ab_high, cd_high, u32x4{0, 1, 4, 5}),
                           __builtin_shuffle(ab_high, cd_high, u32x4{2, 3, 6, 7})};
    for (std::size_t blk = 0; blk < 4; ++blk) std::memcpy(&block_[16 * blk + k], &rows[blk], sizeof rows[blk]);
  }
  counter_ += 4;
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
