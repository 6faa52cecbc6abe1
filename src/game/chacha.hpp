#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace corvanta {

// The ChaCha block function with 12 rounds, a 64-bit block counter (words 12 and 13) and a zero
// nonce (words 14 and 15).
inline constexpr std::size_t kChachaBlockWords = 16;
// Blocks per call: the generator's buffer is refilled four blocks at a time.
inline constexpr std::size_t kChachaBlocks = 4;
using ChachaKeyWords = std::array<std::uint32_t, 8>;

// Blocks `counter` to `counter + 3`, block after block, each block's 16 words in order, into
// `out` (64 words). Computes the four blocks side by side in vector lanes where the compiler
// offers vector types, unless the build is portable.
void chacha12_blocks(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);

// Block `counter` alone (16 words) into `out`: for a generator that wants only a few words. Its
// rows are vectors, so it costs about as much time as four blocks in lanes but a quarter of the
// work and of the words thrown away.
void chacha12_block(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);

namespace detail {
// The same block with plain 32-bit arithmetic (the two must agree).
void chacha12_block_portable(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);
// The same blocks one after another with plain 32-bit arithmetic (the two must agree).
void chacha12_blocks_portable(const ChachaKeyWords& key, std::uint64_t counter, std::uint32_t* out);
}  // namespace detail

}  // namespace corvanta
