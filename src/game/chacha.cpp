#include "game/chacha.hpp"

#include <bit>
#include <cstring>

// Vector types and constant shuffles as both gcc (12 and later) and clang spell them; any other
// compiler, and every portable build, takes the plain path. The byte-wise rotations assume the
// low byte of a word comes first in memory.
#if !defined(CORVANTA_PORTABLE) && (defined(__clang__) || (defined(__GNUC__) && __GNUC__ >= 12)) && \
    defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define CORVANTA_CHACHA_VECTOR 1
#endif

#if defined(__SANITIZE_THREAD__)
#define CORVANTA_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CORVANTA_TSAN 1
#endif
#endif

// On x86-64 the baseline has no byte shuffle, so the rotations by 16 and 8 get an SSSE3 clone
// chosen at load time. Clones need the loader's indirect functions (Linux); ThreadSanitizer
// cannot run a clone's resolver (it runs before the sanitizer's runtime is ready), so its builds
// keep the default clone only. Elsewhere (aarch64 has byte shuffles in its baseline) the vector
// code is compiled once for the target.
#if defined(CORVANTA_CHACHA_VECTOR) && defined(__x86_64__) && defined(__linux__) && !defined(__SSSE3__) && \
    !defined(CORVANTA_TSAN)
#define CORVANTA_CHACHA_CLONES __attribute__((target_clones("ssse3", "default")))
#else
#define CORVANTA_CHACHA_CLONES
#endif

namespace corvanta {
namespace {

// "expand 32-byte k"
constexpr std::uint32_t kSigma[4] = {0x61707865, 0x3320646e, 0x79622d32, 0x6b206574};
constexpr int kDoubleRounds = 6;

#if defined(CORVANTA_CHACHA_VECTOR)

CORVANTA_CHACHA_CLONES void chacha12_blocks_vector(const ChachaKeyWords& key, std::uint64_t counter,
                                                   std::uint32_t* out) {
  // Lane b of every vector belongs to block counter + b.
  using u32x4 = std::uint32_t __attribute__((vector_size(16)));
  using u8x16 = std::uint8_t __attribute__((vector_size(16)));
  auto splat = [](std::uint32_t v) { return u32x4{v, v, v, v}; };
  auto rotl4 = [](u32x4 v, int c) { return (v << c) | (v >> (32 - c)); };
  // Rotations by whole bytes are byte permutations within each 32-bit lane.
  auto rotl16 = [](u32x4 v) {
    const auto bytes = reinterpret_cast<u8x16>(v);
    return reinterpret_cast<u32x4>(
        __builtin_shufflevector(bytes, bytes, 2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13));
  };
  auto rotl8 = [](u32x4 v) {
    const auto bytes = reinterpret_cast<u8x16>(v);
    return reinterpret_cast<u32x4>(
        __builtin_shufflevector(bytes, bytes, 3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14));
  };
  u32x4 input[16];
  for (std::size_t i = 0; i < 4; ++i) input[i] = splat(kSigma[i]);
  for (std::size_t i = 0; i < 8; ++i) input[4 + i] = splat(key[i]);
  for (int b = 0; b < 4; ++b) {
    const std::uint64_t c = counter + static_cast<std::uint64_t>(b);
    input[12][b] = static_cast<std::uint32_t>(c);
    input[13][b] = static_cast<std::uint32_t>(c >> 32);
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
  for (int round = 0; round < kDoubleRounds; ++round) {
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
    const u32x4 ab_low = __builtin_shufflevector(a, b, 0, 4, 1, 5);
    const u32x4 ab_high = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const u32x4 cd_low = __builtin_shufflevector(c, d, 0, 4, 1, 5);
    const u32x4 cd_high = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    const u32x4 rows[4] = {__builtin_shufflevector(ab_low, cd_low, 0, 1, 4, 5),
                           __builtin_shufflevector(ab_low, cd_low, 2, 3, 6, 7),
                           __builtin_shufflevector(ab_high, cd_high, 0, 1, 4, 5),
                           __builtin_shufflevector(ab_high, cd_high, 2, 3, 6, 7)};
    for (std::size_t blk = 0; blk < 4; ++blk)
      std::memcpy(out + kChachaBlockWords * blk + k, &rows[blk], sizeof rows[blk]);
  }
}

// One block as four rows of four words: a column round works on whole rows, and a diagonal round
// on the rows turned so that each diagonal lies in one lane.
CORVANTA_CHACHA_CLONES void chacha12_block_vector(const ChachaKeyWords& key, std::uint64_t counter,
                                                  std::uint32_t* out) {
  using u32x4 = std::uint32_t __attribute__((vector_size(16)));
  using u8x16 = std::uint8_t __attribute__((vector_size(16)));
  auto rotl4 = [](u32x4 v, int c) { return (v << c) | (v >> (32 - c)); };
  auto rotl16 = [](u32x4 v) {
    const auto bytes = reinterpret_cast<u8x16>(v);
    return reinterpret_cast<u32x4>(
        __builtin_shufflevector(bytes, bytes, 2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13));
  };
  auto rotl8 = [](u32x4 v) {
    const auto bytes = reinterpret_cast<u8x16>(v);
    return reinterpret_cast<u32x4>(
        __builtin_shufflevector(bytes, bytes, 3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14));
  };
  const u32x4 a0 = {kSigma[0], kSigma[1], kSigma[2], kSigma[3]};
  const u32x4 b0 = {key[0], key[1], key[2], key[3]};
  const u32x4 c0 = {key[4], key[5], key[6], key[7]};
  const u32x4 d0 = {static_cast<std::uint32_t>(counter), static_cast<std::uint32_t>(counter >> 32), 0, 0};
  u32x4 a = a0, b = b0, c = c0, d = d0;
  auto quarter = [&] {
    a += b; d = rotl16(d ^ a);
    c += d; b = rotl4(b ^ c, 12);
    a += b; d = rotl8(d ^ a);
    c += d; b = rotl4(b ^ c, 7);
  };
  for (int round = 0; round < kDoubleRounds; ++round) {
    quarter();
    b = __builtin_shufflevector(b, b, 1, 2, 3, 0);
    c = __builtin_shufflevector(c, c, 2, 3, 0, 1);
    d = __builtin_shufflevector(d, d, 3, 0, 1, 2);
    quarter();
    b = __builtin_shufflevector(b, b, 3, 0, 1, 2);
    c = __builtin_shufflevector(c, c, 2, 3, 0, 1);
    d = __builtin_shufflevector(d, d, 1, 2, 3, 0);
  }
  const u32x4 rows[4] = {a + a0, b + b0, c + c0, d + d0};
  std::memcpy(out, rows, sizeof rows);
}

#endif

}  // namespace

void detail::chacha12_block_portable(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  std::uint32_t input[kChachaBlockWords];
  for (std::size_t i = 0; i < 4; ++i) input[i] = kSigma[i];
  for (std::size_t i = 0; i < 8; ++i) input[4 + i] = key[i];
  input[12] = static_cast<std::uint32_t>(counter);
  input[13] = static_cast<std::uint32_t>(counter >> 32);
  input[14] = 0;
  input[15] = 0;

  std::uint32_t x[kChachaBlockWords];
  for (std::size_t i = 0; i < kChachaBlockWords; ++i) x[i] = input[i];
  auto quarter = [&x](int a, int b, int c, int d) {
    x[a] += x[b]; x[d] = std::rotl(x[d] ^ x[a], 16);
    x[c] += x[d]; x[b] = std::rotl(x[b] ^ x[c], 12);
    x[a] += x[b]; x[d] = std::rotl(x[d] ^ x[a], 8);
    x[c] += x[d]; x[b] = std::rotl(x[b] ^ x[c], 7);
  };
  for (int round = 0; round < kDoubleRounds; ++round) {
    quarter(0, 4, 8, 12);
    quarter(1, 5, 9, 13);
    quarter(2, 6, 10, 14);
    quarter(3, 7, 11, 15);
    quarter(0, 5, 10, 15);
    quarter(1, 6, 11, 12);
    quarter(2, 7, 8, 13);
    quarter(3, 4, 9, 14);
  }
  for (std::size_t i = 0; i < kChachaBlockWords; ++i) out[i] = x[i] + input[i];
}

void detail::chacha12_blocks_portable(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  for (std::size_t blk = 0; blk < kChachaBlocks; ++blk)
    chacha12_block_portable(key, counter + blk, out + kChachaBlockWords * blk);
}

void chacha12_block(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
#if defined(CORVANTA_CHACHA_VECTOR)
  chacha12_block_vector(key, counter, out);
#else
  detail::chacha12_block_portable(key, counter, out);
#endif
}

void chacha12_blocks(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
#if defined(CORVANTA_CHACHA_VECTOR)
  chacha12_blocks_vector(key, counter, out);
#else
  detail::chacha12_blocks_portable(key, counter, out);
#endif
}

}  // namespace corvanta
