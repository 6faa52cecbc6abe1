#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "data/known_xorshift.hpp"
#include "mcts/policy_rng.hpp"

namespace {

using mcts::PolicyRng;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The index select_by_key picks among `keys`, or -1 for none.
long select_index(PolicyRng& rng, const std::vector<double>& keys) {
  const double* chosen = rng.select_by_key(keys, [](const double& k) { return k; });
  return chosen == nullptr ? -1 : chosen - keys.data();
}

// How many generator steps `rng` has taken since the fixed seed, judged by its next output.
long steps_taken(PolicyRng& rng) {
  const std::uint32_t next = rng.rng.next_u32();
  for (std::size_t i = 0; i < known_xorshift::kOutputs.size(); ++i)
    if (known_xorshift::kOutputs[i] == next) return static_cast<long>(i);
  return -1;
}

class FirstSelection : public testing::TestWithParam<known_xorshift::FirstSelection> {};

TEST_P(FirstSelection, AmongUnvisitedEdges) {
  const auto& c = GetParam();
  PolicyRng rng;
  EXPECT_EQ(select_index(rng, std::vector<double>(c.k, kInf)), c.chosen);
  EXPECT_EQ(steps_taken(rng), c.steps_used);
}

INSTANTIATE_TEST_SUITE_P(Known, FirstSelection, testing::ValuesIn(known_xorshift::kFirstSelections),
                         [](const auto& info) { return std::string("k").append(std::to_string(info.param.k)); });

struct SelectCase {
  const char* name;
  std::vector<double> keys;
  long chosen;
  long steps;
};

std::ostream& operator<<(std::ostream& os, const SelectCase& c) { return os << c.name; }

class SelectByKey : public testing::TestWithParam<SelectCase> {};

TEST_P(SelectByKey, ChoosesLargestAndCountsOnlyTies) {
  const auto& c = GetParam();
  PolicyRng rng;
  EXPECT_EQ(select_index(rng, c.keys), c.chosen);
  EXPECT_EQ(steps_taken(rng), c.steps);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectByKey,
    testing::Values(SelectCase{"Empty", {}, -1, 0},
                    SelectCase{"Single", {3.5}, 0, 0},
                    SelectCase{"LargestWithoutDraw", {1.0, 3.0, 2.0}, 1, 0},
                    SelectCase{"InfinityBeatsNumbers", {12.0, kInf, 30.0}, 1, 0},
                    // 2061 is odd: the draw below 2 gives 1, so the first of the pair stays.
                    SelectCase{"TieOfTwoDrawsOnce", {5.0, 5.0}, 0, 1},
                    SelectCase{"SmallerAfterTieIgnored", {5.0, 5.0, 4.0}, 0, 1},
                    SelectCase{"NaNNeverWins", {kNaN, 1.0}, 1, 0},
                    SelectCase{"NaNNotCounted", {1.0, kNaN, 1.0}, 0, 1},
                    SelectCase{"OnlyNaN", {kNaN, kNaN}, -1, 0},
                    SelectCase{"MinusInfinityIsAKey", {-kInf}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SelectByKey, TiedEdgesAreChosenEvenly) {
  PolicyRng rng;
  const std::vector<double> keys(4, 7.0);
  std::vector<int> hits(4, 0);
  for (int i = 0; i < 40000; ++i) ++hits[static_cast<std::size_t>(select_index(rng, keys))];
  for (int h : hits) EXPECT_NEAR(h, 10000, 600);
}

TEST(SelectByKey, EveryWorkerStartsFromTheSameSequence) {
  PolicyRng a, b;
  const std::vector<double> keys(6, 1.0);
  for (int i = 0; i < 50; ++i) ASSERT_EQ(select_index(a, keys), select_index(b, keys));
}

}  // namespace
