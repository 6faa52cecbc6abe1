// The vector of games against single games stepped alike, and stepped from several threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "lab/vector.hpp"

namespace {

using namespace corvanta;
using namespace corvanta::lab;

// A legal id of game i, drawn uniformly from its mask.
std::int64_t draw_id(VectorGame& v, std::size_t i, std::mt19937_64& rng) {
  const std::uint8_t* mask = v.masks() + i * kNumActionIds;
  std::vector<std::int64_t> ids;
  for (int id = 0; id < kNumActionIds; ++id)
    if (mask[id]) ids.push_back(id);
  if (ids.empty()) return -1;
  return ids[std::uniform_int_distribution<std::size_t>(0, ids.size() - 1)(rng)];
}

class LabVector : public ::testing::TestWithParam<int> {};

TEST_P(LabVector, StepsLikeSingleGames) {
  const int players = GetParam();
  constexpr std::size_t kGames = 16;
  const std::uint64_t base = 100 + static_cast<std::uint64_t>(players);
  VectorGame v(kGames, players, base);
  // One seed, one deal: slot i holds the game of seed base + i, and finished games take the next
  // seeds in slot order.
  std::vector<Game> games;
  for (std::size_t i = 0; i < kGames; ++i) {
    ASSERT_EQ(v.seeds()[i], base + i);
    games.push_back(Game::create(players, base + i));
  }
  std::uint64_t next_seed = base + kGames;
  std::mt19937_64 rng(players);
  std::vector<float> observation(kObservationSize);
  std::array<std::uint8_t, kNumActionIds> mask;
  int finished = 0;
  for (int step = 0; step < 600; ++step) {
    std::vector<std::int64_t> ids(kGames);
    for (std::size_t i = 0; i < kGames; ++i) {
      Game& g = games[i];
      g.action_mask(mask.data());
      ASSERT_TRUE(std::equal(mask.begin(), mask.end(), v.masks() + i * kNumActionIds)) << "game " << i;
      g.observation(std::visit([](const auto& s) { return static_cast<int>(s.has_turn.value); }, g.state()),
                    observation.data());
      ASSERT_TRUE(std::equal(observation.begin(), observation.end(), v.observations() + i * kObservationSize));
      ids[i] = draw_id(v, i, rng);
      ASSERT_GE(ids[i], 0) << "game " << i << " has no legal action";
    }
    v.step(ids.data());
    for (std::size_t i = 0; i < kGames; ++i) {
      Game& g = games[i];
      const int before = g.reward();
      const int mover = std::visit([](const auto& s) { return static_cast<int>(s.has_turn.value); }, g.state());
      g.apply_id(static_cast<int>(ids[i]));
      ASSERT_EQ(v.rewards()[i], static_cast<float>(g.reward() - before));
      ASSERT_EQ(v.dones()[i] != 0, g.over());
      if (g.over()) {
        ++finished;
        ASSERT_EQ(v.final_levels()[i], g.reward());
        g.observation(mover, observation.data());
        ASSERT_TRUE(std::equal(observation.begin(), observation.end(), v.final_observations() + i * kObservationSize));
        ASSERT_EQ(v.seeds()[i], next_seed);
        g = Game::create(players, next_seed++);
      }
      ASSERT_EQ(v.levels()[i], g.reward());
    }
  }
  EXPECT_GT(finished, 16);
}

INSTANTIATE_TEST_SUITE_P(Players, LabVector, ::testing::Values(1, 2, 3, 4));

TEST(LabVector, AResetDealsTheSeedsFromItsOwn) {
  VectorGame v(3, 2, 5);
  v.reset(40);
  EXPECT_EQ(std::vector<std::uint64_t>(v.seeds(), v.seeds() + 3), (std::vector<std::uint64_t>{40, 41, 42}));
  v.reset(UINT64_MAX);  // the seeds wrap, like any 64-bit seed
  EXPECT_EQ(std::vector<std::uint64_t>(v.seeds(), v.seeds() + 3), (std::vector<std::uint64_t>{UINT64_MAX, 0, 1}));
}

TEST(LabVector, AnIllegalIdMovesNothing) {
  VectorGame v(3, 2, 5);
  const std::vector<std::uint8_t> masks(v.masks(), v.masks() + 3 * kNumActionIds);
  std::mt19937_64 rng(1);
  for (const std::int64_t bad : {std::int64_t{-1}, std::int64_t{kNumActionIds}, std::int64_t{1} << 40}) {
    std::vector<std::int64_t> ids = {draw_id(v, 0, rng), bad, draw_id(v, 2, rng)};
    EXPECT_THROW(v.step(ids.data()), Invalid);
    EXPECT_TRUE(std::equal(masks.begin(), masks.end(), v.masks()));
  }
}

// Threads that each choose ids from what they read and step: the steps run one after another, a
// choice made stale by another thread's step is refused whole, and no game is ever left torn (the
// masks and observations belong to whole steps, and every game has a legal action).
TEST(LabVector, ThreadsSteppingOneVectorTakeTurns) {
  VectorGame v(64, 2, 9);
  std::atomic<int> stepped{0}, refused{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937_64 rng(t);
      for (int round = 0; round < 150; ++round) {
        std::vector<std::int64_t> ids(v.num_games());
        {
          const auto held = v.hold();
          for (std::size_t i = 0; i < v.num_games(); ++i) ids[i] = draw_id(v, i, rng);
        }
        try {
          v.step(ids.data());
          ++stepped;
        } catch (const Invalid&) {
          ++refused;
        }
        if (round % 50 == 0) v.reset(static_cast<std::uint64_t>(round + t));
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_GT(stepped.load(), 0);
  EXPECT_EQ(stepped.load() + refused.load(), 3 * 150);
  std::mt19937_64 rng(7);
  for (std::size_t i = 0; i < v.num_games(); ++i) ASSERT_GE(draw_id(v, i, rng), 0) << "game " << i << " has no legal action";
  // The vector still steps as one: a full round of legal ids is taken.
  std::vector<std::int64_t> ids(v.num_games());
  for (std::size_t i = 0; i < v.num_games(); ++i) ids[i] = draw_id(v, i, rng);
  EXPECT_NO_THROW(v.step(ids.data()));
}

}  // namespace
