#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace corvanta {

// The ChaCha block function with 12 rounds, a 64-bit block counter (words 12 and 13) and a zero
// nonce (words 14 and 15).
inline constexpr std::size_t kChachaBlockWords = 16;
// Blocks per call: the generator's buffer is refilled four blocks at a time.
inline constexpr std::size_t kChachaBlocks = 4;
using ChachaKeyWords = std::array<std::uint32_t, 8>;

// Blocks `counter` to `counter + 3`, block after block, each block's 16 words in order, into
// `out` (64 words). Computes them with vector instructions where the compiler offers vector types
// (two blocks to a register where the processor has 256-bit ones), unless the build is portable.
void chacha12_blocks(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);

// Blocks `counter` and `counter + 1` (32 words) into `out`: for a generator that wants only a few
// words. The two blocks are computed side by side, in about the time of one.
void chacha12_block_pair(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);

namespace detail {
// The same block with plain 32-bit arithmetic (the two must agree).
void chacha12_block_portable(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);
// The same blocks one after another with plain 32-bit arithmetic (the two must agree).
void chacha12_blocks_portable(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);

// One implementation of both calls, for one kind of processor.
struct ChachaKernel {
  const char* name;
  void (*blocks)(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);
  void (*block_pair)(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);
};
// The implementations this build holds that this processor runs, the one in use first.
std::span<const ChachaKernel> chacha12_kernels();
}  // namespace detail

}  // namespace corvanta
