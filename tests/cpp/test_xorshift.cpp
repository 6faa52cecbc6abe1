#include <gtest/gtest.h>

#include <string>

#include "data/known_xorshift.hpp"
#include "mcts/search_error.hpp"
#include "mcts/xorshift.hpp"

namespace {

using mcts::XorShiftRng;

XorShiftRng fixed_seed() { return XorShiftRng::from_seed({1, 2, 3, 4}); }

TEST(XorShift, FirstHundredOutputs) {
  XorShiftRng rng = fixed_seed();
  for (std::size_t i = 0; i < known_xorshift::kOutputs.size(); ++i)
    ASSERT_EQ(rng.next_u32(), known_xorshift::kOutputs[i]) << "output " << i;
}

TEST(XorShift, RefusesTheAllZeroSeed) {
  try {
    XorShiftRng::from_seed({0, 0, 0, 0});
    FAIL() << "an all-zero seed was accepted";
  } catch (const mcts::SearchError& e) {
    EXPECT_STREQ(e.what(), "XorShiftRng::from_seed called with an all zero seed.");
  }
  EXPECT_NO_THROW(XorShiftRng::from_seed({0, 0, 0, 1}));
}

class XorShiftBelow : public testing::TestWithParam<known_xorshift::UniformCase> {};

TEST_P(XorShiftBelow, KnownDraws) {
  const auto& c = GetParam();
  EXPECT_EQ(XorShiftRng::rejection_zone(c.m), c.zone);
  XorShiftRng rng = fixed_seed();
  for (std::size_t i = 0; i < c.draws.size(); ++i) ASSERT_EQ(rng.below(c.m), c.draws[i]) << "draw " << i;
  EXPECT_EQ(rng.next_u32(), c.next_output);
}

INSTANTIATE_TEST_SUITE_P(Known, XorShiftBelow, testing::ValuesIn(known_xorshift::kUniformCases),
                         [](const auto& info) { return std::string("m").append(std::to_string(info.param.m)); });

TEST(XorShift, BelowOneIsAlwaysZeroButSteps) {
  XorShiftRng rng = fixed_seed();
  EXPECT_EQ(rng.below(1), 0u);
  EXPECT_EQ(rng.next_u32(), known_xorshift::kOutputs[1]);
}

TEST(XorShift, FastRemainderIsTheRemainder) {
  XorShiftRng rng = fixed_seed();
  for (std::uint32_t m = 1; m < mcts::detail::kFastBound; ++m) {
    const auto check = [m](std::uint32_t a) {
      ASSERT_EQ(mcts::detail::fast_remainder(a, m), a % m) << a << " % " << m;
      ASSERT_EQ(mcts::detail::fast_divides(a, m), a % m == 0) << a << " % " << m;
    };
    for (std::uint32_t a : {0u, 1u, m - 1, m, m + 1, 2 * m - 1, 2 * m, UINT32_MAX - 1, UINT32_MAX}) check(a);
    for (int i = 0; i < 200; ++i) check(rng.next_u32());
    for (std::uint32_t a = UINT32_MAX / m * m; a != 0 && a >= m; a -= m) {  // the largest multiples
      check(a);
      if (a < UINT32_MAX / m * m - 4 * m) break;
    }
  }
}

// The same draws as by division, for every bound of the fast path and the first above it.
TEST(XorShift, FastDrawsMatchDivision) {
  XorShiftRng fast = fixed_seed();
  XorShiftRng reference = fixed_seed();
  for (std::uint32_t m = 1; m <= 1024; ++m) {
    const std::uint32_t zone = XorShiftRng::rejection_zone(m);
    for (int draw = 0; draw < 50; ++draw) {
      std::uint32_t v;
      do v = reference.next_u32(); while (v >= zone);
      if (draw % 2 == 0) {
        ASSERT_EQ(fast.below(m), v % m) << "m " << m;
      } else {
        ASSERT_EQ(fast.one_in(m), v % m == 0) << "m " << m;
      }
    }
  }
}

}  // namespace
