#pragma once
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "game/chacha.hpp"

#if !defined(CORVANTA_PORTABLE) && defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CORVANTA_SHUFFLE_WINDOWS 1
#include <immintrin.h>
#endif

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

// Whether shuffles find their accepted words in windows of 32 (StdRng::draw_in_windows): true
// where the processor has AVX-512F and BW, and BMI2. Tests turn it off to compare both ways.
extern bool g_shuffle_windows;
}  // namespace detail

// The game's seedable generator: the ChaCha stream with 12 rounds, a 64-bit block counter and a
// zero nonce. Blocks are computed four or eight at once (game/chacha.hpp), or one or two for a
// fresh generator that wants only a few words, and read out block after block.
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
#if defined(CORVANTA_SHUFFLE_WINDOWS)
    if (detail::g_shuffle_windows && len > 1 && len < detail::kTabledZones) {
      if (index_ == end_) refill(len - 1);
      i -= draw_in_windows(items, 1, static_cast<std::uint32_t>(len));
    }
#endif
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
#if defined(CORVANTA_SHUFFLE_WINDOWS)
    if (detail::g_shuffle_windows && runs > 0) {
      if (index_ == end_) refill(runs * len);
      const std::size_t stages = len <= kShortRun && end_ - index_ >= 32 ? draw_short_runs(items, runs, full)
                                                                         : draw_in_windows(items, runs, full);
      run += stages / (len - 1) * len;
      n = full - static_cast<std::uint32_t>(stages % (len - 1));
    }
#endif
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
  // them in one call, where it would otherwise compute one block for the first few words and the
  // rest in a second call. A new deal reads some 70 to 96 words. Changes no word of the
  // stream, and does nothing once words have been computed.
  void prepare(std::size_t words) {
    if (counter_ == 0 && index_ == end_) refill(words);
  }

  const Key& key() const { return key_; }

 private:
#if defined(CORVANTA_SHUFFLE_WINDOWS)
  // Bit i set where word i of low:high (16 + 16 words) draws below `bound` (every lane the same
  // bound, and `zone` its acceptance zone).
  [[gnu::target("avx512f,avx512bw,bmi,bmi2")]] static std::uint32_t accepted_words(__m512i low, __m512i high, __m512i bound,
                                                                        __m512i zone) {
    return _cvtmask32_u32(_mm512_kunpackw(_mm512_cmple_epu32_mask(_mm512_mullo_epi32(high, bound), zone),
                                          _mm512_cmple_epu32_mask(_mm512_mullo_epi32(low, bound), zone)));
  }

  // The draws and swaps of `runs` shuffles of `len` items (1 < len < kTabledZones), one after
  // another, from the words in the block, as far as they reach. Each draw (stage) takes at least
  // one word, so the word that stage s accepts lies at s + (words rejected before it) or later:
  // the acceptance of a window of 32 words there is computed with vector compares, apart from the
  // walk, and the walk advances by a trailing-zero count on it. That leaves a chain of three
  // instructions per draw, where testing word after word chains a multiply and a compare through
  // every word. The window moves on by 16 words once as many have been rejected; a branch that
  // is seldom taken, so the loads do not wait for the walk. Stops early where a window holds no
  // accepted word or the block ends; returns the stages done, with the generator past their
  // words and their swaps made.
  template <class T>
  [[gnu::target("avx512f,avx512bw,bmi,bmi2")]] std::size_t draw_in_windows(T* items, std::size_t runs, std::uint32_t len) {
    const std::uint32_t* const words = block_.data() + index_;
    const std::size_t available = end_ - index_;
    // Words rejected so far: `skipped` + `ahead_of_window`. The window starts `skipped` words after
    // the stage; its first candidate is bit `ahead_of_window`, below 16 before each stage.
    std::size_t skipped = 0;
    std::uint32_t ahead_of_window = 0;
    std::size_t stage = 0;
    const __m512i one = _mm512_set1_epi32(1);
    for (std::size_t run = 0; run < runs; ++run, items += len) {
      __m512i bound = _mm512_set1_epi32(static_cast<int>(len));
      for (std::uint32_t n = len; n > 1; --n, ++stage, bound = _mm512_sub_epi32(bound, one)) {
        const __m512i zone = _mm512_set1_epi32(static_cast<int>(detail::kZones.of[n]));
        const std::uint32_t* const window = words + stage + skipped;
        const std::size_t left = available - stage - skipped;
        std::uint32_t accepted;
        if (left >= 32) [[likely]] {
          accepted = accepted_words(_mm512_loadu_si512(window), _mm512_loadu_si512(window + 16), bound, zone);
        } else {
          // The block's last words: lanes past its end read nothing and count as rejected. The
          // upper half's address stays inside the block even where it reads nothing.
          if (ahead_of_window >= left) goto done;
          const std::uint32_t lanes = (1u << left) - 1u;
          const __m512i low = _mm512_maskz_loadu_epi32(static_cast<__mmask16>(lanes), window);
          const __m512i high =
              _mm512_maskz_loadu_epi32(static_cast<__mmask16>(lanes >> 16), window + (left > 16 ? 16 : 0));
          accepted = accepted_words(low, high, bound, zone) & lanes;
        }
        const std::uint32_t ahead = accepted >> ahead_of_window;
        if (ahead == 0) goto done;
        ahead_of_window += static_cast<std::uint32_t>(std::countr_zero(ahead));
        const std::uint64_t m = static_cast<std::uint64_t>(window[ahead_of_window]) * n;
        std::swap(items[n - 1], items[static_cast<std::uint32_t>(m >> 32)]);
        if (ahead_of_window >= 16) [[unlikely]] {
          ahead_of_window -= 16;
          skipped += 16;
          opaque(skipped);  // as a conditional move, the next loads would wait for the walk
        }
      }
    }
  done:
    index_ += stage + skipped + ahead_of_window;
    return stage;
  }

  // Runs of at most kShortRun items (the castle's three ranks of four), from the next 32 words
  // (there must be as many): every draw's bound is one of len .. 2, so the acceptance of those
  // words is computed once for each bound, and the walk through all the draws reads it. Stops
  // where the 32 words hold no accepted word; returns the stages done, with the generator past
  // their words and their swaps made.
  static constexpr std::uint32_t kShortRun = 8;
  template <class T>
  [[gnu::target("avx512f,avx512bw,bmi,bmi2")]] std::size_t draw_short_runs(T* items, std::size_t runs, std::uint32_t len) {
    const std::uint32_t* const words = block_.data() + index_;
    const __m512i low = _mm512_loadu_si512(words);
    const __m512i high = _mm512_loadu_si512(words + 16);
    std::uint32_t accepted[kShortRun + 1];
    for (std::uint32_t n = 2; n <= len; ++n) {
      const __m512i bound = _mm512_set1_epi32(static_cast<int>(n));
      const __m512i zone = _mm512_set1_epi32(static_cast<int>(detail::kZones.of[n]));
      accepted[n] = accepted_words(low, high, bound, zone);
    }
    const std::size_t stages = runs * (len - 1);
    std::size_t stage = 0;
    std::uint32_t at = 0;  // the next word to test, at most 32
    std::uint32_t n = len;
    for (; stage < stages; ++stage) {
      const std::uint64_t ahead = static_cast<std::uint64_t>(accepted[n]) >> at;
      if (ahead == 0) break;
      at += static_cast<std::uint32_t>(std::countr_zero(ahead));
      const std::uint64_t m = static_cast<std::uint64_t>(words[at]) * n;
      std::swap(items[n - 1], items[static_cast<std::uint32_t>(m >> 32)]);
      ++at;
      if (--n == 1) {
        n = len;
        items += len;
      }
    }
    index_ += at;
    return stage;
  }
#endif

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
  // Hides `value` from the optimiser, which then can neither fold nor predicate what follows.
  template <class V>
  static void opaque([[maybe_unused]] V& value) {
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
  // Makes room for at least `wanted` more words. A fresh generator that wants no more than one
  // block computes it with scalar arithmetic, the quickest way to one block; one that wants no
  // more than two computes those side by side, in about the time of one: most Hearts powers need
  // no more. Any other refill computes as many blocks as one call of the block function does,
  // because the generator is streaming.
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
