// The lab's search: its options checked before any work, its rankings, its one stop check, and
// the worker bound it shares with the search player.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>

#include "lab/search.hpp"

namespace {

using namespace corvanta;
using namespace corvanta::lab;

const StopCheck kNever = [] { return false; };

SearchOptions options(std::uint32_t playouts, std::size_t threads = 1, std::uint32_t samples = 1) {
  SearchOptions o;
  o.playouts = playouts;
  o.threads = threads;
  o.samples = samples;
  return o;
}

TEST(LabSearch, RefusesWhatItCannotDoBeforeAnyWork) {
  const Game g = Game::create(2, 3);
  std::atomic<int> asked{0};
  const StopCheck counting = [&] { return ++asked, false; };
  SearchOptions unknown_policy = options(10);
  unknown_policy.policy = 1;
  SearchOptions unknown_strength = options(10);
  unknown_strength.strength = "mighty";
  for (const SearchOptions& bad : {options(0), options(10, 0), options(10, 1, 0), unknown_policy, unknown_strength})
    EXPECT_THROW(search(g, bad, counting), Invalid);
  Game over = Game::create(1, 3);
  while (!over.over()) over.apply_index(0);
  EXPECT_THROW(search(over, options(10), counting), Invalid);
  EXPECT_EQ(asked.load(), 0);
}

// The ranking holds every legal action once, most visits first, then the larger reward sum,
// and the visits add up to every playout of every sample.
TEST(LabSearch, RanksEveryLegalActionByVisitsThenRewards) {
  for (int players = 1; players <= 4; ++players) {
    const Game g = Game::create(players, 40 + players);
    const auto ranked = search(g, options(300, 2, 3), kNever);
    ASSERT_TRUE(ranked.has_value());
    ASSERT_EQ(ranked->size(), g.legal_actions().size());
    std::uint64_t visits = 0;
    for (std::size_t i = 0; i < ranked->size(); ++i) {
      const RankedAction& r = (*ranked)[i];
      visits += r.visits;
      EXPECT_EQ(std::count_if(ranked->begin(), ranked->end(), [&](const RankedAction& o) { return o.action == r.action; }), 1);
      if (r.visits > 0) {
        EXPECT_TRUE(r.avg_reward >= 0.0 && r.avg_reward <= 12.0);
      }
      if (i == 0) continue;
      const RankedAction& p = (*ranked)[i - 1];
      ASSERT_GE(p.visits, r.visits);
      if (p.visits == r.visits && r.visits > 0) {
        EXPECT_GE(p.avg_reward * p.visits, r.avg_reward * r.visits);
      }
    }
    EXPECT_EQ(visits, 900u);
  }
}

// A million workers asked for ten playouts: no more workers start than there are playouts, so
// the search ends at once with exactly its playouts.
TEST(LabSearch, BoundsItsWorkersLikeTheSearchPlayer) {
  const Game g = Game::create(2, 8);
  const auto started = std::chrono::steady_clock::now();
  const auto ranked = search(g, options(10, 1'000'000, 2), kNever);
  ASSERT_TRUE(ranked.has_value());
  std::uint64_t visits = 0;
  for (const RankedAction& r : *ranked) visits += r.visits;
  EXPECT_EQ(visits, 20u);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(LabSearch, TheStopCheckEndsItWithoutARanking) {
  const Game g = Game::create(1, 8);
  // Asked before the first sample.
  EXPECT_FALSE(search(g, options(1000), [] { return true; }).has_value());
  // Asked while the workers run: a search far too long to finish returns soon after.
  const auto started = std::chrono::steady_clock::now();
  const StopCheck after_a_while = [&] { return std::chrono::steady_clock::now() - started > std::chrono::milliseconds(50); };
  EXPECT_FALSE(search(g, options(4'000'000'000u, 2), after_a_while).has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(LabSearch, TheStrongPresetSplitsThePlayoutsIntoSamples) {
  SearchOptions strong = options(1000);
  strong.strength = "strong";
  const SearchSettings one = settings_of(strong, 1), two = settings_of(strong, 2);
  EXPECT_EQ(one.samples * one.playouts, 1000u);
  EXPECT_EQ(two.samples * two.playouts, 1000u);
  EXPECT_GT(one.samples, 1u);
  EXPECT_TRUE(one.rollout.public_discard && !one.rollout.redeal_each_rollout);
  EXPECT_EQ(one.rollout.policy, RolloutPolicy::Greedy);
  const Game g = Game::create(2, 5);
  const auto ranked = search(g, strong, kNever);
  ASSERT_TRUE(ranked.has_value());
  std::uint64_t visits = 0;
  for (const RankedAction& r : *ranked) visits += r.visits;
  EXPECT_EQ(visits, 1000u);
}

}  // namespace
