#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace corvanta {

// The ChaCha block function with 12 rounds, a 64-bit block counter (words 12 and 13) and a zero
// nonce (words 14 and 15).
inline constexpr std::size_t kChachaBlockWords = 16;
// The most blocks one call of chacha12_blocks computes.
inline constexpr std::size_t kChachaMaxBlocks = 8;
using ChachaKeyWords = std::array<std::uint32_t, 8>;

// Blocks `counter` on, block after block, each block's 16 words in order, into `out` (room for
// kChachaMaxBlocks blocks); returns how many: eight where the processor has AVX-512 (one 256-bit
// register per word: eight blocks in about 1.4 times the time of four), otherwise four. Computes them with
// vector instructions where the compiler offers vector types, unless the build is portable.
std::size_t chacha12_blocks(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);

// Blocks `counter` and `counter + 1` (32 words) into `out`: for a generator that wants only a few
// words. The two blocks are computed side by side, in about the time of one.
void chacha12_block_pair(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);

namespace detail {
// One block with plain 32-bit arithmetic (the vector kernels must agree with it).
void chacha12_block_portable(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);
// Four blocks one after another with plain 32-bit arithmetic.
void chacha12_blocks_portable(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);

// One implementation of both calls, for one kind of processor.
struct ChachaKernel {
  const char* name;
  std::size_t blocks_per_call;  // what `blocks` writes
  void (*blocks)(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);
  void (*block_pair)(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);
};
// The implementations this build holds that this processor runs, the one in use first.
std::span<const ChachaKernel> chacha12_kernels();
}  // namespace detail

}  // namespace corvanta
