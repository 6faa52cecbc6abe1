#pragma once
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "game/chacha.hpp"

namespace corvanta {

namespace detail {
// The low words of word * n that a draw below n accepts are those up to (n << clz(n)) - 1. The
// bounds of the game's draws (hands, piles, decks) take it from a table: the computation costs
// several instructions on the baseline x86-64, which has no leading-zero count.
inline constexpr std::uint32_t kTabledZones = 64;
struct Zones {
  std::uint32_t of[kTabledZones];
  constexpr Zones() : of{} {
    for (std::uint32_t n = 1; n < kTabledZones; ++n) of[n] = (n << std::countl_zero(n)) - 1u;
  }
};
inline constexpr Zones kZones{};
}  // namespace detail

// The game's seedable generator: the ChaCha stream with 12 rounds, a 64-bit block counter and a
// zero nonce. Blocks are computed four or eight at once (game/chacha.hpp), or two for a fresh
// generator that wants only a few words, and read out block after block.
class StdRng {
 public:
  using Key = std::array<std::uint8_t, 32>;

  explicit StdRng(const Key& key);

  // The key comes from eight steps of a PCG32 generator started at `seed`.
  static StdRng seed_from_u64(std::uint64_t seed);
  // The key is the next 32 bytes (eight words) of `parent`.
  static StdRng from_rng(StdRng& parent);
  // A key drawn from this thread's entropy-seeded generator; not reproducible.
  static StdRng from_entropy();

  std::uint32_t next_u32() {
    if (index_ == end_) [[unlikely]]
      refill(1);
    return block_[index_++];
  }
  // Low word first; across a block boundary too, so the stream order is the same in all cases.
  std::uint64_t next_u64() {
    const std::uint64_t low = next_u32();
    const std::uint64_t high = next_u32();
    return low | (high << 32);
  }

  // Uniform integer in [0, n) for 1 <= n (widening-multiply rejection). Refuses n = 0.
  std::uint32_t below(std::uint32_t n) {
    if (n == 0) [[unlikely]]
      fail_empty_range();
    const std::uint32_t zone = acceptance_zone(n);
    for (;;) {
      const std::uint64_t m = static_cast<std::uint64_t>(next_u32()) * n;
      if (static_cast<std::uint32_t>(m) <= zone) return static_cast<std::uint32_t>(m >> 32);
    }
  }

  // The same draws as `below(i)` for i = len down to 2, and the same swaps, without a branch on
  // whether a word is rejected (a third of them can be, at random): a rejected word swaps the
  // last item with itself and leaves i as it is. The deck shuffle at every game start is
  // dominated by this loop.
  template <class T>
  void shuffle(T* items, std::size_t len) {
    std::size_t i = len;
    std::size_t index = index_;
    // The game's piles are shorter than the table of zones: their loop reads the zone and
    // branches on nothing but its own end.
    const auto draw_words = [&](auto zone_of) {
      while (i > 1) {
        if (index == end_) {
          refill(i - 1);
          index = 0;
        }
        // A word draws at most one item, so i stays above 1 for the next i - 1 words.
        const std::size_t stop = index + std::min(end_ - index, i - 1);
        auto n = static_cast<std::uint32_t>(i);
        for (; index < stop; ++index) swap_step(items, n, block_[index], zone_of(n));
        i = n;
      }
    };
    if (len < detail::kTabledZones)
      draw_words([](std::uint32_t n) { return detail::kZones.of[n]; });
    else
      draw_words([](std::uint32_t n) { return acceptance_zone(n); });
    index_ = index;
  }
  // The same draws and swaps as shuffle(items + k * len, len) for k = 0 .. runs - 1, for short
  // runs (the castle's three ranks of four), without the setup of a shuffle per run.
  template <class T>
  void shuffle_runs(T* items, std::size_t runs, std::size_t len) {
    if (len < 2) return;
    if (len >= detail::kTabledZones) {
      for (std::size_t k = 0; k < runs; ++k) shuffle(items + k * len, len);
      return;
    }
    const auto full = static_cast<std::uint32_t>(len);
    T* run = items;
    T* const end = items + runs * len;
    auto n = full;
    while (run != end) {
      if (index_ == end_) [[unlikely]]
        refill(static_cast<std::size_t>(end - run) - (full - n));
      swap_step(run, n, block_[index_++], detail::kZones.of[n]);
      if (n == 1) {
        run += len;
        n = full;
      }
    }
  }

  template <class List>
  void shuffle(List& list) {
    shuffle(list.data(), list.size());
  }

  // Tells a fresh generator that about `words` words will be read: its first refill then computes
  // them in one call, where it would otherwise compute a pair of blocks for the first few words
  // and the rest in a second call. A new deal reads some 70 to 96 words. Changes no word of the
  // stream, and does nothing once words have been computed.
  void prepare(std::size_t words) {
    if (counter_ == 0 && index_ == end_) refill(words);
  }

  const Key& key() const { return key_; }

 private:
  // One word of a shuffle of items[0, n): swaps item n - 1 with the drawn one and counts it off,
  // or, for a rejected word, swaps it with itself and leaves n as it is. No branch: whether a word
  // is rejected follows no pattern (a third of them can be).
  template <class T>
  static void swap_step(T* items, std::uint32_t& n, std::uint32_t word, std::uint32_t zone) {
    const std::uint64_t m = static_cast<std::uint64_t>(word) * n;
    std::uint32_t accepted = static_cast<std::uint32_t>(m) <= zone ? 1u : 0u;
    // Hidden from the optimiser, which would otherwise skip a rejected word's swap with a branch.
    opaque(accepted);
    const std::uint32_t keep = accepted - 1u;  // all ones for a rejected word
    const std::uint32_t j = (static_cast<std::uint32_t>(m >> 32) & ~keep) | ((n - 1) & keep);
    std::swap(items[n - 1], items[j]);
    n -= accepted;
  }
  static void opaque([[maybe_unused]] std::uint32_t& value) {
#if defined(__GNUC__) || defined(__clang__)
    __asm__("" : "+r"(value));
#endif
  }

  static std::uint32_t acceptance_zone(std::uint32_t n) {
    if (n < detail::kTabledZones) [[likely]]
      return detail::kZones.of[n];
    return (n << std::countl_zero(n)) - 1u;
  }

  static constexpr std::size_t kBlockWords = kChachaMaxBlocks * kChachaBlockWords;
  // Makes room for at least `wanted` more words. A fresh generator that wants no more than two
  // blocks computes just those, in about the time of one: most Hearts powers need no more. Any
  // other refill computes as many blocks as one call of the block function does, because the
  // generator is streaming.
  void refill(std::size_t wanted);
  // The key as eight little-endian words, the way both derivations make it.
  explicit StdRng(const ChachaKeyWords& words);
  [[noreturn]] static void fail_empty_range();

  Key key_;
  ChachaKeyWords key_words_;
  std::uint64_t counter_ = 0;
  std::array<std::uint32_t, kBlockWords> block_;
  std::size_t index_ = kBlockWords;
  std::size_t end_ = kBlockWords;  // words of block_ that hold output
};

// This thread's generator, seeded once from the operating system's entropy source.
StdRng& thread_rng();

}  // namespace corvanta
