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

// On x86-64 the baseline has neither byte shuffles (for the rotations by 16 and 8) nor 256-bit
// registers, so kernels are compiled for AVX-512VL, AVX2, SSSE3 and the baseline, and the first one
// the processor runs is chosen on the first call. A function-local static makes the choice, not
// the loader's indirect functions: it works on every system and under ThreadSanitizer. Elsewhere
// (aarch64 has byte shuffles in its baseline), and where the build's own target has AVX2, one
// kernel is compiled for the target.
#if defined(CORVANTA_CHACHA_VECTOR) && defined(__x86_64__) && !defined(__AVX2__)
#define CORVANTA_CHACHA_DISPATCH 1
#endif

namespace corvanta {
namespace {

// "expand 32-byte k"
constexpr std::uint32_t kSigma[4] = {0x61707865, 0x3320646e, 0x79622d32, 0x6b206574};
constexpr int kDoubleRounds = 6;

// Every round of a block held one word per variable: `quarter(a, b, c, d)` mixes four of the
// sixteen words, the columns then the diagonals of each double round.
template <class Quarter>
[[gnu::always_inline]] inline void word_rounds(const Quarter& quarter) {
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
}

#if defined(CORVANTA_CHACHA_VECTOR)

// A block is four rows of four words. A column round works on whole rows, and a diagonal round on
// the rows turned so that each diagonal lies in one column. `u32x4` holds a row of one block;
// `u32x8` holds the same row of two consecutive blocks (the first in the low half), and all its
// turns and byte shuffles stay within each half.
using u32x4 = std::uint32_t __attribute__((vector_size(16)));
using u8x16 = std::uint8_t __attribute__((vector_size(16)));
using u32x8 = std::uint32_t __attribute__((vector_size(32)));
using u8x32 = std::uint8_t __attribute__((vector_size(32)));

template <class Row>
struct Rows {
  Row a, b, c, d;
};

// Rows go by reference to the helpers: a 256-bit vector passed by value would change the calling
// convention between the kernels compiled with and without AVX.
template <int C, bool ByteShuffles>
[[gnu::always_inline]] inline void rotl(u32x4& v) {
  // Rotations by whole bytes are byte permutations within each word: one instruction where the
  // processor has byte shuffles, against three for shifts.
  if constexpr (ByteShuffles && C == 16) {
    const auto bytes = reinterpret_cast<u8x16>(v);
    v = reinterpret_cast<u32x4>(
        __builtin_shufflevector(bytes, bytes, 2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13));
  } else if constexpr (ByteShuffles && C == 8) {
    const auto bytes = reinterpret_cast<u8x16>(v);
    v = reinterpret_cast<u32x4>(
        __builtin_shufflevector(bytes, bytes, 3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14));
  } else {
    v = (v << C) | (v >> (32 - C));
  }
}
template <int C, bool ByteShuffles>
[[gnu::always_inline]] inline void rotl(u32x8& v) {
  if constexpr (ByteShuffles && C == 16) {
    const auto bytes = reinterpret_cast<u8x32>(v);
    v = reinterpret_cast<u32x8>(__builtin_shufflevector(bytes, bytes, 2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15,
                                                        12, 13, 18, 19, 16, 17, 22, 23, 20, 21, 26, 27, 24, 25, 30,
                                                        31, 28, 29));
  } else if constexpr (ByteShuffles && C == 8) {
    const auto bytes = reinterpret_cast<u8x32>(v);
    v = reinterpret_cast<u32x8>(__builtin_shufflevector(bytes, bytes, 3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12,
                                                        13, 14, 19, 16, 17, 18, 23, 20, 21, 22, 27, 24, 25, 26, 31,
                                                        28, 29, 30));
  } else {
    v = (v << C) | (v >> (32 - C));
  }
}

// Turns rows b, c and d left by one, two and three words (Back = false), or back.
template <bool Back>
[[gnu::always_inline]] inline void turn(Rows<u32x4>& x) {
  x.b = Back ? __builtin_shufflevector(x.b, x.b, 3, 0, 1, 2) : __builtin_shufflevector(x.b, x.b, 1, 2, 3, 0);
  x.c = __builtin_shufflevector(x.c, x.c, 2, 3, 0, 1);
  x.d = Back ? __builtin_shufflevector(x.d, x.d, 1, 2, 3, 0) : __builtin_shufflevector(x.d, x.d, 3, 0, 1, 2);
}
template <bool Back>
[[gnu::always_inline]] inline void turn(Rows<u32x8>& x) {
  x.b = Back ? __builtin_shufflevector(x.b, x.b, 3, 0, 1, 2, 7, 4, 5, 6)
             : __builtin_shufflevector(x.b, x.b, 1, 2, 3, 0, 5, 6, 7, 4);
  x.c = __builtin_shufflevector(x.c, x.c, 2, 3, 0, 1, 6, 7, 4, 5);
  x.d = Back ? __builtin_shufflevector(x.d, x.d, 1, 2, 3, 0, 5, 6, 7, 4)
             : __builtin_shufflevector(x.d, x.d, 3, 0, 1, 2, 7, 4, 5, 6);
}

template <bool ByteShuffles, class Row>
[[gnu::always_inline]] inline void quarter(Rows<Row>& x) {
  x.a += x.b; x.d ^= x.a; rotl<16, ByteShuffles>(x.d);
  x.c += x.d; x.b ^= x.c; rotl<12, ByteShuffles>(x.b);
  x.a += x.b; x.d ^= x.a; rotl<8, ByteShuffles>(x.d);
  x.c += x.d; x.b ^= x.c; rotl<7, ByteShuffles>(x.b);
}

// The rows of the block(s) starting at `counter`.
template <class Row>
[[gnu::always_inline]] inline void first_rows(Rows<Row>& x, const ChachaKeyWords& key, std::uint64_t counter) {
  const auto low = static_cast<std::uint32_t>(counter), high = static_cast<std::uint32_t>(counter >> 32);
  if constexpr (sizeof(Row) == sizeof(u32x4)) {
    x.a = u32x4{kSigma[0], kSigma[1], kSigma[2], kSigma[3]};
    x.b = u32x4{key[0], key[1], key[2], key[3]};
    x.c = u32x4{key[4], key[5], key[6], key[7]};
    x.d = u32x4{low, high, 0, 0};
  } else {
    const std::uint64_t next = counter + 1;
    const auto next_low = static_cast<std::uint32_t>(next), next_high = static_cast<std::uint32_t>(next >> 32);
    x.a = u32x8{kSigma[0], kSigma[1], kSigma[2], kSigma[3], kSigma[0], kSigma[1], kSigma[2], kSigma[3]};
    x.b = u32x8{key[0], key[1], key[2], key[3], key[0], key[1], key[2], key[3]};
    x.c = u32x8{key[4], key[5], key[6], key[7], key[4], key[5], key[6], key[7]};
    x.d = u32x8{low, high, 0, 0, next_low, next_high, 0, 0};
  }
}

// The rows after the rounds plus the first rows, block after block.
template <class Row>
[[gnu::always_inline]] inline void store(const Rows<Row>& x, const Rows<Row>& input, std::uint32_t* out) {
  auto put = [out](const Row& sum, std::size_t r) __attribute__((always_inline)) {
    if constexpr (sizeof(Row) == sizeof(u32x4)) {
      std::memcpy(out + 4 * r, &sum, sizeof sum);
    } else {
      // The low half belongs to the first block, the high half to the next.
      const u32x4 low = __builtin_shufflevector(sum, sum, 0, 1, 2, 3);
      const u32x4 high = __builtin_shufflevector(sum, sum, 4, 5, 6, 7);
      std::memcpy(out + 4 * r, &low, sizeof low);
      std::memcpy(out + kChachaBlockWords + 4 * r, &high, sizeof high);
    }
  };
  put(x.a + input.a, 0);
  put(x.b + input.b, 1);
  put(x.c + input.c, 2);
  put(x.d + input.d, 3);
}

// One or two independent computations of the blocks a `Row` holds, from `counter` on, into `out`.
// The two are written one after the other within each double round: each alone is a chain of
// dependent instructions, and the processor overlaps them.
template <class Row, bool Two, bool ByteShuffles>
[[gnu::always_inline]] inline void blocks_in_rows(const ChachaKeyWords& key, std::uint64_t counter,
                                                  std::uint32_t* out) {
  constexpr std::size_t kRowBlocks = sizeof(Row) / sizeof(u32x4);
  auto double_round = [](Rows<Row>& x) __attribute__((always_inline)) {
    quarter<ByteShuffles>(x);
    turn<false>(x);
    quarter<ByteShuffles>(x);
    turn<true>(x);
  };
  Rows<Row> input0{}, input1{};
  first_rows(input0, key, counter);
  if constexpr (Two) first_rows(input1, key, counter + kRowBlocks);
  Rows<Row> x0 = input0, x1 = input1;
  for (int round = 0; round < kDoubleRounds; ++round) {
    double_round(x0);
    if constexpr (Two) double_round(x1);
  }
  store(x0, input0, out);
  if constexpr (Two) store(x1, input1, out + kChachaBlockWords * kRowBlocks);
}

// Two blocks with rows of one block: two interleaved chains fit the sixteen registers of x86-64
// with room to spare.
template <bool ByteShuffles>
[[gnu::always_inline]] inline void narrow_block_pair(const ChachaKeyWords& key, std::uint64_t counter,
                                                     std::uint32_t* out) {
  blocks_in_rows<u32x4, true, ByteShuffles>(key, counter, out);
}

// The words of four blocks, one register per word with lane b in block b, into `out` block after
// block: four transposes of four words.
[[gnu::always_inline]] inline void store_lanes(const u32x4* x, const u32x4* input, std::uint32_t* out) {
  for (std::size_t k = 0; k < kChachaBlockWords; k += 4) {
    const u32x4 a = x[k] + input[k], b = x[k + 1] + input[k + 1];
    const u32x4 c = x[k + 2] + input[k + 2], d = x[k + 3] + input[k + 3];
    const u32x4 ab_low = __builtin_shufflevector(a, b, 0, 4, 1, 5);
    const u32x4 ab_high = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const u32x4 cd_low = __builtin_shufflevector(c, d, 0, 4, 1, 5);
    const u32x4 cd_high = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    const u32x4 words[4] = {__builtin_shufflevector(ab_low, cd_low, 0, 1, 4, 5),
                            __builtin_shufflevector(ab_low, cd_low, 2, 3, 6, 7),
                            __builtin_shufflevector(ab_high, cd_high, 0, 1, 4, 5),
                            __builtin_shufflevector(ab_high, cd_high, 2, 3, 6, 7)};
    for (std::size_t blk = 0; blk < 4; ++blk)
      std::memcpy(out + kChachaBlockWords * blk + k, &words[blk], sizeof words[blk]);
  }
}

// The same for eight blocks: two transposes of eight words by eight, in three steps of shuffles
// within and across the 128-bit halves.
[[gnu::always_inline]] inline void store_lanes(const u32x8* x, const u32x8* input, std::uint32_t* out) {
  for (std::size_t k = 0; k < kChachaBlockWords; k += 8) {
    u32x8 w[8], pairs[8], quads[8];
    for (std::size_t i = 0; i < 8; ++i) w[i] = x[k + i] + input[k + i];
    // pairs[2i], pairs[2i + 1]: words 2i and 2i + 1 side by side, blocks 0, 1, 4, 5 and 2, 3, 6, 7.
    for (std::size_t i = 0; i < 4; ++i) {
      pairs[2 * i] = __builtin_shufflevector(w[2 * i], w[2 * i + 1], 0, 8, 1, 9, 4, 12, 5, 13);
      pairs[2 * i + 1] = __builtin_shufflevector(w[2 * i], w[2 * i + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    // quads[4i + j], quads[4i + j + 2]: four consecutive words of one block in each half.
    for (std::size_t i = 0; i < 2; ++i) {
      for (std::size_t j = 0; j < 2; ++j) {
        quads[4 * i + j] = __builtin_shufflevector(pairs[4 * i + j], pairs[4 * i + j + 2], 0, 1, 8, 9, 4, 5, 12, 13);
        quads[4 * i + j + 2] = __builtin_shufflevector(pairs[4 * i + j], pairs[4 * i + j + 2], 2, 3, 10, 11, 6, 7, 14, 15);
      }
    }
    // Words k to k + 7 of one block in each register: blocks 0, 2, 1, 3, 4, 6, 5, 7 in turn.
    constexpr std::size_t kBlockOf[8] = {0, 2, 1, 3, 4, 6, 5, 7};
    for (std::size_t i = 0; i < 4; ++i) {
      const u32x8 low = __builtin_shufflevector(quads[i], quads[i + 4], 0, 1, 2, 3, 8, 9, 10, 11);
      const u32x8 high = __builtin_shufflevector(quads[i], quads[i + 4], 4, 5, 6, 7, 12, 13, 14, 15);
      std::memcpy(out + kChachaBlockWords * kBlockOf[i] + k, &low, sizeof low);
      std::memcpy(out + kChachaBlockWords * kBlockOf[i + 4] + k, &high, sizeof high);
    }
  }
}

// As many blocks as `Lanes` has lanes, lane b of every register in block counter + b: one register
// per word, and rounds without turns. With registers of one block's row this is about a quarter
// faster than two pairs of interleaved chains; with 256-bit registers (which need the 32 registers
// of AVX-512 to hold the words and their inputs) eight blocks take about 40 % longer than four
// blocks in rows, and give twice the words.
template <class Lanes, bool ByteShuffles>
[[gnu::always_inline]] inline void lane_blocks(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  constexpr std::uint32_t kLanes = sizeof(Lanes) / sizeof(std::uint32_t);
  // Every lane of a register the same word (no lambda: a vector return value would change the
  // calling convention between kernels of different targets).
  Lanes input[kChachaBlockWords];
  for (std::size_t i = 0; i < 4; ++i) input[i] = Lanes{} + kSigma[i];
  for (std::size_t i = 0; i < 8; ++i) input[4 + i] = Lanes{} + key[i];
  for (std::uint32_t b = 0; b < kLanes; ++b) {
    input[12][b] = static_cast<std::uint32_t>(counter + b);
    input[13][b] = static_cast<std::uint32_t>((counter + b) >> 32);
  }
  input[14] = Lanes{};
  input[15] = Lanes{};
  Lanes x[kChachaBlockWords];
  for (std::size_t i = 0; i < kChachaBlockWords; ++i) x[i] = input[i];
  const auto quarter = [&x](int a, int b, int c, int d) __attribute__((always_inline)) {
    x[a] += x[b]; x[d] ^= x[a]; rotl<16, ByteShuffles>(x[d]);
    x[c] += x[d]; x[b] ^= x[c]; rotl<12, ByteShuffles>(x[b]);
    x[a] += x[b]; x[d] ^= x[a]; rotl<8, ByteShuffles>(x[d]);
    x[c] += x[d]; x[b] ^= x[c]; rotl<7, ByteShuffles>(x[b]);
  };
  word_rounds(quarter);
  store_lanes(x, input, out);
}

#if defined(CORVANTA_CHACHA_DISPATCH)

// AVX-512 rotates a word in one instruction, and has the registers for eight blocks at once.
[[gnu::target("avx512vl")]] void blocks_avx512vl(const ChachaKeyWords& key, std::uint64_t counter,
                                                 std::uint32_t* out) {
  lane_blocks<u32x8, false>(key, counter, out);
}
constexpr std::size_t kBlocksAvx512vl = 8;
[[gnu::target("avx512vl")]] void block_pair_avx512vl(const ChachaKeyWords& key, std::uint64_t counter,
                                                     std::uint32_t* out) {
  blocks_in_rows<u32x8, false, false>(key, counter, out);
}
[[gnu::target("avx2")]] void blocks_avx2(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  blocks_in_rows<u32x8, true, true>(key, counter, out);
}
[[gnu::target("avx2")]] void block_pair_avx2(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  blocks_in_rows<u32x8, false, true>(key, counter, out);
}
[[gnu::target("ssse3")]] void blocks_ssse3(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  lane_blocks<u32x4, true>(key, counter, out);
}
[[gnu::target("ssse3")]] void block_pair_ssse3(const ChachaKeyWords& key, std::uint64_t counter,
                                               std::uint32_t* out) {
  narrow_block_pair<true>(key, counter, out);
}
void blocks_sse2(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  lane_blocks<u32x4, false>(key, counter, out);
}
void block_pair_sse2(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  narrow_block_pair<false>(key, counter, out);
}

#elif defined(__AVX2__)

#if defined(__AVX512VL__)
constexpr bool kByteShuffles = false;  // a word rotates in one instruction
void blocks_vector(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  lane_blocks<u32x8, false>(key, counter, out);
}
constexpr std::size_t kBlocksVector = 8;
#else
constexpr bool kByteShuffles = true;
void blocks_vector(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  blocks_in_rows<u32x8, true, kByteShuffles>(key, counter, out);
}
constexpr std::size_t kBlocksVector = 4;
#endif
void block_pair_vector(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  blocks_in_rows<u32x8, false, kByteShuffles>(key, counter, out);
}

#else

void blocks_vector(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  lane_blocks<u32x4, true>(key, counter, out);
}
constexpr std::size_t kBlocksVector = 4;
void block_pair_vector(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  narrow_block_pair<true>(key, counter, out);
}

#endif
#endif

#if !defined(CORVANTA_CHACHA_VECTOR)
void block_pair_portable(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  detail::chacha12_block_portable(key, counter, out);
  detail::chacha12_block_portable(key, counter + 1, out + kChachaBlockWords);
}
#endif

// Fastest first.
constexpr detail::ChachaKernel kKernels[] = {
#if defined(CORVANTA_CHACHA_DISPATCH)
    {"avx512vl", kBlocksAvx512vl, blocks_avx512vl, block_pair_avx512vl},
    {"avx2", 4, blocks_avx2, block_pair_avx2},
    {"ssse3", 4, blocks_ssse3, block_pair_ssse3},
    {"sse2", 4, blocks_sse2, block_pair_sse2},
#elif defined(CORVANTA_CHACHA_VECTOR)
    {"vector", kBlocksVector, blocks_vector, block_pair_vector},
#else
    {"portable", 4, detail::chacha12_blocks_portable, block_pair_portable},
#endif
};

// The first kernel of the list that this processor runs; each runs wherever the one before it does.
std::size_t first_runnable() {
#if defined(CORVANTA_CHACHA_DISPATCH)
  // The processor's features may be asked for before the runtime's constructors have run.
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512vl")) return 0;
  if (__builtin_cpu_supports("avx2")) return 1;
  if (__builtin_cpu_supports("ssse3")) return 2;
  return 3;
#else
  return 0;
#endif
}

const detail::ChachaKernel& chosen_kernel() {
  static const detail::ChachaKernel& kernel = *detail::chacha12_kernels().begin();
  return kernel;
}

}  // namespace

void detail::chacha12_block_portable(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  // One named variable per word: with the words in an array the compiler keeps some of them in
  // memory between rounds, and the block takes half as long again.
  const auto low = static_cast<std::uint32_t>(counter);
  const auto high = static_cast<std::uint32_t>(counter >> 32);
  std::uint32_t x0 = kSigma[0], x1 = kSigma[1], x2 = kSigma[2], x3 = kSigma[3];
  std::uint32_t x4 = key[0], x5 = key[1], x6 = key[2], x7 = key[3];
  std::uint32_t x8 = key[4], x9 = key[5], x10 = key[6], x11 = key[7];
  std::uint32_t x12 = low, x13 = high, x14 = 0, x15 = 0;
  const auto quarter = [](std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d)
                           __attribute__((always_inline)) {
    a += b; d = std::rotl(d ^ a, 16);
    c += d; b = std::rotl(b ^ c, 12);
    a += b; d = std::rotl(d ^ a, 8);
    c += d; b = std::rotl(b ^ c, 7);
  };
  for (int round = 0; round < kDoubleRounds; ++round) {
    quarter(x0, x4, x8, x12);
    quarter(x1, x5, x9, x13);
    quarter(x2, x6, x10, x14);
    quarter(x3, x7, x11, x15);
    quarter(x0, x5, x10, x15);
    quarter(x1, x6, x11, x12);
    quarter(x2, x7, x8, x13);
    quarter(x3, x4, x9, x14);
  }
  out[0] = x0 + kSigma[0]; out[1] = x1 + kSigma[1]; out[2] = x2 + kSigma[2]; out[3] = x3 + kSigma[3];
  out[4] = x4 + key[0]; out[5] = x5 + key[1]; out[6] = x6 + key[2]; out[7] = x7 + key[3];
  out[8] = x8 + key[4]; out[9] = x9 + key[5]; out[10] = x10 + key[6]; out[11] = x11 + key[7];
  out[12] = x12 + low; out[13] = x13 + high; out[14] = x14; out[15] = x15;
}

void detail::chacha12_blocks_portable(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  for (std::size_t blk = 0; blk < 4; ++blk)
    chacha12_block_portable(key, counter + blk, out + kChachaBlockWords * blk);
}

std::span<const detail::ChachaKernel> detail::chacha12_kernels() {
  return std::span<const ChachaKernel>(kKernels).subspan(first_runnable());
}

std::size_t chacha12_blocks(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  const detail::ChachaKernel& kernel = chosen_kernel();
  kernel.blocks(key, counter, out);
  return kernel.blocks_per_call;
}

void chacha12_block_pair(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out) {
  chosen_kernel().block_pair(key, counter, out);
}

}  // namespace corvanta
