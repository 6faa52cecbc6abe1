// The game generator against outputs of an independent implementation of the same stream.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "game/chacha.hpp"
#include "game/error.hpp"
#include "game/rng.hpp"
#include "game/table.hpp"
#include "rng_vectors.hpp"

namespace {

using corvanta::StdRng;
using rng_vectors::kBoundedCases;
using rng_vectors::kFromRngCases;
using rng_vectors::kSeedCases;
using rng_vectors::kShuffleCases;

StdRng advanced(std::uint64_t seed, std::size_t words) {
  StdRng rng = StdRng::seed_from_u64(seed);
  for (std::size_t i = 0; i < words; ++i) rng.next_u32();
  return rng;
}

// The next word a generator would produce, without moving it.
std::uint32_t peek(const StdRng& rng) {
  StdRng copy = rng;
  return copy.next_u32();
}

class SeededStream : public ::testing::TestWithParam<std::size_t> {
 protected:
  const rng_vectors::SeedCase& known() const { return kSeedCases[GetParam()]; }
};

TEST_P(SeededStream, KeyComesFromPcg32Steps) {
  EXPECT_EQ(StdRng::seed_from_u64(known().seed).key(), known().key);
}

TEST_P(SeededStream, NextU32) {
  StdRng rng = StdRng::seed_from_u64(known().seed);
  for (std::size_t i = 0; i < known().next_u32.size(); ++i)
    ASSERT_EQ(rng.next_u32(), known().next_u32[i]) << "word " << i;
}

TEST_P(SeededStream, NextU64CrossesTheBufferEnd) {
  // 34 reads of 64 bits run past the 64 words of the first buffer.
  StdRng rng = StdRng::seed_from_u64(known().seed);
  for (std::size_t i = 0; i < known().next_u64.size(); ++i)
    ASSERT_EQ(rng.next_u64(), known().next_u64[i]) << "read " << i;
}

TEST_P(SeededStream, NextU64IsLowWordThenHighWord) {
  StdRng wide = StdRng::seed_from_u64(known().seed);
  StdRng narrow = StdRng::seed_from_u64(known().seed);
  for (int i = 0; i < 40; ++i) {
    const std::uint64_t low = narrow.next_u32();
    const std::uint64_t high = narrow.next_u32();
    ASSERT_EQ(wide.next_u64(), low | (high << 32));
  }
}

TEST_P(SeededStream, MixedReadsAtPosition63) {
  // 63 single words, then three 64-bit reads (the first one straddling the refill), then two
  // single words.
  StdRng rng = StdRng::seed_from_u64(known().seed);
  for (std::size_t i = 0; i < known().mixed.size(); ++i) {
    const auto& step = known().mixed[i];
    if (step.wide) {
      ASSERT_EQ(rng.next_u64(), step.value) << "step " << i;
    } else {
      ASSERT_EQ(rng.next_u32(), step.value) << "step " << i;
    }
  }
}

TEST_P(SeededStream, CopiesContinueIdentically) {
  StdRng rng = advanced(known().seed, 61);
  StdRng copy = rng;
  for (int i = 0; i < 100; ++i) ASSERT_EQ(rng.next_u64(), copy.next_u64());
}

INSTANTIATE_TEST_SUITE_P(Seeds, SeededStream, ::testing::Range<std::size_t>(0, kSeedCases.size()),
                         [](const auto& info) { return "seed_" + std::to_string(kSeedCases[info.param].seed); });

class BoundedDraw : public ::testing::TestWithParam<std::size_t> {};

TEST_P(BoundedDraw, ValuesAndWordsPerDraw) {
  const auto& known = kBoundedCases[GetParam()];
  StdRng rng = StdRng::seed_from_u64(42);
  std::size_t words = 0;
  for (std::size_t i = 0; i < known.draws.size(); ++i) {
    ASSERT_EQ(rng.below(known.n), known.draws[i]) << "draw " << i;
    words += known.words_per_draw[i];
    // A rejected word is consumed: the generator sits exactly after the words this draw used.
    ASSERT_EQ(peek(rng), peek(advanced(42, words))) << "draw " << i;
  }
  EXPECT_EQ(words, known.words_total);
  EXPECT_EQ(rng.next_u32(), known.next_u32_after);
}

INSTANTIATE_TEST_SUITE_P(Bounds, BoundedDraw, ::testing::Range<std::size_t>(0, kBoundedCases.size()),
                         [](const auto& info) { return "below_" + std::to_string(kBoundedCases[info.param].n); });

TEST(BoundedDrawRefusal, EmptyRangeIsRefused) {
  StdRng rng = StdRng::seed_from_u64(1);
  EXPECT_THROW(rng.below(0), corvanta::Fatal);
}

TEST(BoundedDrawRefusal, BelowOneRejectsHighWords) {
  // Only words up to 0x7FFFFFFF are accepted below 1; every draw is 0.
  StdRng rng = StdRng::seed_from_u64(0);
  StdRng words = StdRng::seed_from_u64(0);
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(rng.below(1), 0u);
    while (words.next_u32() > 0x7FFFFFFFu) {
    }
    ASSERT_EQ(peek(rng), peek(words));
  }
}

class Shuffle : public ::testing::TestWithParam<std::size_t> {};

TEST_P(Shuffle, ResultWordsAndNextWord) {
  const auto& known = kShuffleCases[GetParam()];
  std::array<std::uint8_t, 54> items{};
  std::iota(items.begin(), items.begin() + known.len, std::uint8_t{0});
  StdRng rng = StdRng::seed_from_u64(known.seed);
  rng.shuffle(items.data(), known.len);
  for (std::size_t i = 0; i < known.len; ++i) ASSERT_EQ(items[i], known.result[i]) << "position " << i;
  EXPECT_EQ(peek(rng), peek(advanced(known.seed, known.words_used)));
  EXPECT_EQ(rng.next_u32(), known.next_u32_after);
}

INSTANTIATE_TEST_SUITE_P(SeedsAndLengths, Shuffle, ::testing::Range<std::size_t>(0, kShuffleCases.size()),
                         [](const auto& info) {
                           const auto& c = kShuffleCases[info.param];
                           return "seed_" + std::to_string(c.seed) + "_len_" + std::to_string(c.len);
                         });

// Every length, tabled bounds and computed ones: the shuffle swaps as Fisher-Yates with below()
// would, and leaves the generator where those draws leave it.
TEST(Shuffle, IsFisherYatesWithBoundedDraws) {
  for (std::size_t len : {0u, 1u, 2u, 17u, 63u, 64u, 65u, 300u}) {
    std::vector<std::uint16_t> items(len), expected(len);
    std::iota(items.begin(), items.end(), std::uint16_t{0});
    expected = items;
    StdRng rng = StdRng::seed_from_u64(len);
    StdRng reference = StdRng::seed_from_u64(len);
    rng.shuffle(items.data(), len);
    for (std::size_t i = len; i > 1; --i) std::swap(expected[i - 1], expected[reference.below(static_cast<std::uint32_t>(i))]);
    EXPECT_EQ(items, expected) << "length " << len;
    EXPECT_EQ(rng.next_u32(), reference.next_u32()) << "length " << len;
  }
}

TEST(Shuffle, RunsAreShuffledOneAfterAnother) {
  for (std::size_t len : {1u, 2u, 4u, 9u, 64u}) {
    for (std::size_t runs : {1u, 3u, 40u}) {
      std::vector<std::uint16_t> items(runs * len), expected(runs * len);
      std::iota(items.begin(), items.end(), std::uint16_t{0});
      expected = items;
      StdRng rng = StdRng::seed_from_u64(runs * 100 + len);
      StdRng reference = StdRng::seed_from_u64(runs * 100 + len);
      rng.shuffle_runs(items.data(), runs, len);
      for (std::size_t k = 0; k < runs; ++k) reference.shuffle(expected.data() + k * len, len);
      EXPECT_EQ(items, expected) << runs << " runs of " << len;
      EXPECT_EQ(rng.next_u32(), reference.next_u32()) << runs << " runs of " << len;
    }
  }
}

// Shuffles with and without the windowed draws, against Fisher-Yates with below(): fresh
// generators (their first words computed by the shuffle), and generators moved on so that the
// shuffle meets the end of the computed words, or a window with no accepted word, at every point.
TEST(Shuffle, WindowedDrawsAreTheWordByWordDraws) {
  struct WindowsSetting {
    bool saved = corvanta::detail::g_shuffle_windows;
    ~WindowsSetting() { corvanta::detail::g_shuffle_windows = saved; }
  } restore;
  const bool windows = restore.saved;
  for (std::uint64_t seed = 0; seed < 40; ++seed) {
    for (std::size_t skip : {0u, 1u, 16u, 50u, 77u, 96u, 100u, 111u, 120u, 126u, 127u, 128u, 200u}) {
      for (std::size_t len : {2u, 3u, 4u, 5u, 9u, 17u, 31u, 33u, 40u, 42u, 54u, 63u}) {
        for (std::size_t runs : {1u, 3u, 7u}) {
          std::vector<std::uint16_t> items(runs * len), plain, expected;
          std::iota(items.begin(), items.end(), std::uint16_t{0});
          plain = expected = items;
          StdRng reference = advanced(seed, skip);
          for (std::size_t k = 0; k < runs; ++k)
            for (std::size_t i = len; i > 1; --i)
              std::swap(expected[k * len + i - 1], expected[k * len + reference.below(static_cast<std::uint32_t>(i))]);

          StdRng fast = advanced(seed, skip);
          StdRng slow = advanced(seed, skip);
          corvanta::detail::g_shuffle_windows = windows;
          if (runs == 1) fast.shuffle(items.data(), len); else fast.shuffle_runs(items.data(), runs, len);
          corvanta::detail::g_shuffle_windows = false;
          if (runs == 1) slow.shuffle(plain.data(), len); else slow.shuffle_runs(plain.data(), runs, len);

          const std::string where = "seed " + std::to_string(seed) + ", " + std::to_string(skip) + " words on, " +
                                    std::to_string(runs) + " runs of " + std::to_string(len);
          ASSERT_EQ(items, expected) << where;
          ASSERT_EQ(plain, expected) << where;
          const std::uint32_t next = reference.next_u32();
          ASSERT_EQ(fast.next_u32(), next) << where;
          ASSERT_EQ(slow.next_u32(), next) << where;
        }
      }
    }
  }
}

class FromRng : public ::testing::TestWithParam<std::size_t> {};

TEST_P(FromRng, ChildKeyStreamAndParentPosition) {
  const auto& known = kFromRngCases[GetParam()];
  StdRng parent = advanced(known.parent_seed, known.parent_words_before);
  StdRng child = StdRng::from_rng(parent);
  EXPECT_EQ(child.key(), known.child_key);
  for (std::size_t i = 0; i < known.child_next_u32.size(); ++i)
    ASSERT_EQ(child.next_u32(), known.child_next_u32[i]) << "word " << i;
  for (std::size_t i = 0; i < known.parent_next_u32_after.size(); ++i)
    ASSERT_EQ(parent.next_u32(), known.parent_next_u32_after[i]) << "word " << i;
}

INSTANTIATE_TEST_SUITE_P(Parents, FromRng, ::testing::Range<std::size_t>(0, kFromRngCases.size()),
                         [](const auto& info) {
                           const auto& c = kFromRngCases[info.param];
                           return "seed_" + std::to_string(c.parent_seed) + "_after_" +
                                  std::to_string(c.parent_words_before) + "_words";
                         });

// Each block implementation this processor runs, and the one in use, against the plain blocks,
// with counters whose blocks carry into the high word (within a pair, between the pairs, after
// the last block) or wrap around.
class ChachaKernels : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(ChachaKernels, AgreeWithPlainBlocks) {
  using Blocks = std::array<std::uint32_t, corvanta::kChachaMaxBlocks * corvanta::kChachaBlockWords>;
  const auto kernels = corvanta::detail::chacha12_kernels();
  ASSERT_FALSE(kernels.empty());
  for (const std::uint64_t seed : {0ull, 7ull, 0xDEADBEEFull}) {
    corvanta::ChachaKeyWords key;
    StdRng keys = StdRng::seed_from_u64(seed);
    for (auto& word : key) word = keys.next_u32();
    Blocks plain{};
    for (std::size_t b = 0; b < corvanta::kChachaMaxBlocks; ++b)
      corvanta::detail::chacha12_block_portable(key, GetParam() + b, plain.data() + b * corvanta::kChachaBlockWords);
    // The blocks of one call, and nothing written after them.
    auto check_blocks = [&](const Blocks& fast, std::size_t count, const std::string& name) {
      ASSERT_TRUE(count == 4 || count == 8) << name;
      const auto end = fast.begin() + static_cast<std::ptrdiff_t>(count * corvanta::kChachaBlockWords);
      EXPECT_TRUE(std::equal(fast.begin(), end, plain.begin())) << name << ", seed " << seed;
      EXPECT_TRUE(std::all_of(end, fast.end(), [](std::uint32_t w) { return w == 0; })) << name << ", seed " << seed;
    };
    Blocks in_use{};
    check_blocks(in_use, corvanta::chacha12_blocks(key, GetParam(), in_use.data()), "in use");
    EXPECT_EQ(corvanta::chacha12_blocks(key, GetParam(), in_use.data()), kernels.front().blocks_per_call);
    auto check = [&](auto blocks, auto block_pair, std::size_t count, const std::string& name) {
      Blocks fast{}, pair{};
      blocks(key, GetParam(), fast.data());
      block_pair(key, GetParam(), pair.data());
      check_blocks(fast, count, name);
      EXPECT_TRUE(std::equal(pair.begin(), pair.begin() + 2 * corvanta::kChachaBlockWords, plain.begin()))
          << name << ", seed " << seed;
      // The pair writes its two blocks and nothing after them.
      EXPECT_TRUE(std::all_of(pair.begin() + 2 * corvanta::kChachaBlockWords, pair.end(),
                              [](std::uint32_t w) { return w == 0; }))
          << name << ", seed " << seed;
    };
    check(corvanta::chacha12_blocks, corvanta::chacha12_block_pair, kernels.front().blocks_per_call, "in use");
    for (const auto& kernel : kernels) check(kernel.blocks, kernel.block_pair, kernel.blocks_per_call, kernel.name);
  }
}

INSTANTIATE_TEST_SUITE_P(Counters, ChachaKernels,
                         ::testing::Values(0ull, 4ull, 0xFFFFFFFCull, 0xFFFFFFFDull, 0xFFFFFFFEull, 0xFFFFFFFFull,
                                           0x1234567800000000ull, ~0ull - 2, ~0ull));

// Whatever the refills compute at a time, the stream is the blocks from counter 0 on, in order:
// for a generator read word by word, and for one told how many words a deal reads.
TEST(ChachaStream, WordsAreThePlainBlocksInOrder) {
  for (const auto& [seed, prepared] : {std::pair{0ull, false}, {7ull, false}, {0ull, true}, {7ull, true}}) {
    StdRng rng = StdRng::seed_from_u64(seed);
    if (prepared) rng.prepare(corvanta::kDealWords);
    corvanta::ChachaKeyWords key;
    for (std::size_t i = 0; i < key.size(); ++i)
      key[i] = static_cast<std::uint32_t>(rng.key()[4 * i]) | static_cast<std::uint32_t>(rng.key()[4 * i + 1]) << 8 |
               static_cast<std::uint32_t>(rng.key()[4 * i + 2]) << 16 |
               static_cast<std::uint32_t>(rng.key()[4 * i + 3]) << 24;
    std::array<std::uint32_t, 4 * corvanta::kChachaBlockWords> plain{};
    for (std::uint64_t counter = 0; counter < 20; counter += 4) {
      corvanta::detail::chacha12_blocks_portable(key, counter, plain.data());
      for (std::size_t i = 0; i < plain.size(); ++i)
        ASSERT_EQ(rng.next_u32(), plain[i]) << "seed " << seed << ", word " << counter * 16 + i;
    }
  }
}

TEST(EntropySeeded, GeneratorsDiffer) {
  // 256-bit keys from the entropy-seeded thread generator: equal keys mean a broken source.
  const StdRng a = StdRng::from_entropy();
  const StdRng b = StdRng::from_entropy();
  EXPECT_NE(a.key(), b.key());
}

TEST(EntropySeeded, AForkedChildDrawsFreshEntropy) {
  corvanta::thread_rng();  // this thread's generator exists before the fork
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::uint64_t drawn = corvanta::thread_rng().next_u64();
    _exit(write(pipe_ends[1], &drawn, sizeof drawn) == sizeof drawn ? 0 : 1);
  }
  std::uint64_t in_child = 0;
  EXPECT_EQ(read(pipe_ends[0], &in_child, sizeof in_child), static_cast<ssize_t>(sizeof in_child));
  int status = 0;
  waitpid(child, &status, 0);
  close(pipe_ends[0]);
  close(pipe_ends[1]);
  EXPECT_NE(corvanta::thread_rng().next_u64(), in_child);
}

}  // namespace
