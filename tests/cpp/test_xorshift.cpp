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

}  // namespace
