// The search player's move: determinisations, accumulation by action, ranking, refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <variant>

#include "game/action_space.hpp"
#include "game/rules.hpp"
#include "players/interrupt.hpp"
#include "players/mcts_player.hpp"

namespace {

using namespace corvanta;

MCTSPlayer searcher(std::uint32_t playouts, std::uint32_t samples, bool heuristics = true,
                    std::optional<std::uint8_t> policy = std::nullopt, std::size_t threads = 1) {
  MCTSPlayer p;
  p.playouts = playouts;
  p.deterministic_samples = samples;
  p.num_threads = threads;
  p.use_heuristics = heuristics;
  p.policy_variation = policy;
  return p;
}

// Every legal action of the state appears exactly once in the ranking.
template <int N>
void expect_ranking_covers(const State<N>& state, const std::vector<RankedAction>& ranking) {
  const ActionList legal = get_action_space(state);
  ASSERT_EQ(ranking.size(), legal.size());
  for (const Action& a : legal) {
    const auto hits = std::count_if(ranking.begin(), ranking.end(), [&](const RankedAction& r) { return r.action == a; });
    EXPECT_EQ(hits, 1);
  }
}

class SearchPlayerPolicies : public ::testing::TestWithParam<std::optional<std::uint8_t>> {};

TEST_P(SearchPlayerPolicies, OneThreadVisitsAddUpToPlayoutsTimesSamples) {
  const auto state = State<2>::create(11);
  MCTSPlayer player = searcher(300, 3, true, GetParam());
  const Action chosen = player.play(state);
  ASSERT_TRUE(player.ranked_actions.has_value());
  const auto& ranking = *player.ranked_actions;
  expect_ranking_covers(state, ranking);
  std::uint64_t visits = 0;
  for (const RankedAction& r : ranking) visits += r.visits;
  EXPECT_EQ(visits, 300u * 3u);
  EXPECT_EQ(chosen, ranking.front().action);
  for (std::size_t i = 1; i < ranking.size(); ++i) {
    EXPECT_GE(ranking[i - 1].visits, ranking[i].visits);
    if (ranking[i - 1].visits == ranking[i].visits && ranking[i].visits > 0) {
      // Equal visits: the larger reward sum first.
      EXPECT_GE(ranking[i - 1].avg_reward * ranking[i - 1].visits, ranking[i].avg_reward * ranking[i].visits);
    }
    if (ranking[i].visits > 0) {
      EXPECT_GE(ranking[i].avg_reward, 0.0);
      EXPECT_LE(ranking[i].avg_reward, 12.0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Policies, SearchPlayerPolicies,
                         ::testing::Values(std::nullopt, std::optional<std::uint8_t>(0),
                                           std::optional<std::uint8_t>(2), std::optional<std::uint8_t>(3),
                                           std::optional<std::uint8_t>(4)));

TEST(SearchPlayer, ZeroPlayoutsListsEveryActionUnvisited) {
  const auto state = State<1>::create(3);
  MCTSPlayer player = searcher(0, 2, false, std::nullopt, /*threads=*/0);  // 0 threads is fine here
  const Action chosen = player.play(state);
  const auto& ranking = *player.ranked_actions;
  expect_ranking_covers(state, ranking);
  for (const RankedAction& r : ranking) {
    EXPECT_EQ(r.visits, 0u);
    EXPECT_TRUE(std::isnan(r.avg_reward));
  }
  EXPECT_EQ(chosen, ranking.front().action);
}

TEST(SearchPlayer, FailuresKeepThePreviousRanking) {
  const auto state = State<3>::create(5);
  MCTSPlayer player = searcher(50, 1);
  player.play(state);
  const std::vector<RankedAction> before = *player.ranked_actions;

  auto expect_unchanged = [&] {
    ASSERT_EQ(player.ranked_actions->size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ((*player.ranked_actions)[i].action, before[i].action);
  };

  player.deterministic_samples = 0;
  try {
    player.play(state);
    ADD_FAILURE() << "no samples must fail";
  } catch (const Fatal& e) {
    EXPECT_STREQ(e.what(), "No actions available to choose from");
  }
  expect_unchanged();

  player.deterministic_samples = 1;
  player.policy_variation = 1;
  try {
    player.play(state);
    ADD_FAILURE() << "policy 1 must fail";
  } catch (const Fatal& e) {
    EXPECT_STREQ(e.what(), "Could not determine policy from number '1'");
  }
  expect_unchanged();

  player.policy_variation = std::nullopt;
  player.num_threads = 0;
  try {
    player.play(state);
    ADD_FAILURE() << "zero threads must fail";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "assertion failed: num_threads != 0");
  }
  expect_unchanged();
}

int g_interrupt_checks = 0;

TEST(SearchPlayer, InterruptionEndsTheMoveAndKeepsTheRanking) {
  const auto state = State<2>::create(5);
  MCTSPlayer player = searcher(50, 1);
  player.play(state);
  const std::vector<RankedAction> before = *player.ranked_actions;
  player.playouts = UINT32_MAX;
  player.num_threads = 2;
  g_interrupt_checks = 0;
  {
    // Once before the sample, then by the calling thread while the workers run.
    const InterruptScope scope([] { return ++g_interrupt_checks == 3; });
    EXPECT_THROW(player.play(state), Interrupted);
  }
  EXPECT_EQ(g_interrupt_checks, 3);
  EXPECT_FALSE(interrupt_requested());  // the scope took its check with it
  ASSERT_EQ(player.ranked_actions->size(), before.size());
  for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ((*player.ranked_actions)[i].action, before[i].action);
}

TEST(SearchPlayer, SingleLegalActionIsSearchedAndReturned) {
  // A Discard phase whose only qualifying discard is the whole hand.
  auto state = State<2>::create(1);
  state.players[0].hand = Hand{Card{CardSuit::Spades, CardValue::Two}, Card{CardSuit::Hearts, CardValue::Three}};
  state.action_type = ActionType::discard(5);
  ASSERT_EQ(get_action_space(state).size(), 1u);
  MCTSPlayer player = searcher(40, 2);
  const Action chosen = player.play(state);
  EXPECT_EQ(chosen, get_action_space(state)[0]);
  ASSERT_EQ(player.ranked_actions->size(), 1u);
  EXPECT_EQ(player.ranked_actions->front().visits, 80u);
}

TEST(SearchPlayer, NoLegalActionFailsAfterSearching) {
  auto state = State<1>::create(2);
  state.players[0].hand = Hand{Card{CardSuit::Spades, CardValue::Two}};
  state.action_type = ActionType::discard(10);
  state.hand_refills_left = 0;
  ASSERT_TRUE(get_action_space(state).empty());
  MCTSPlayer player = searcher(10, 1);
  EXPECT_THROW(player.play(state), Fatal);
  EXPECT_FALSE(player.ranked_actions.has_value());
}

template <int N>
void play_whole_game(std::uint64_t seed) {
  State<N> state = State<N>::create(seed);
  MCTSPlayer player = searcher(60, 1, true, std::nullopt, 2);
  for (int turn = 0; turn < 2000; ++turn) {
    const Action a = player.play(state);
    const ActionList legal = get_action_space(state);
    ASSERT_NE(std::find(legal.begin(), legal.end(), a), legal.end());
    auto outcome = take_action(state, a);
    if (std::holds_alternative<GameResult>(outcome)) return;
    state = std::get<State<N>>(outcome);
  }
  ADD_FAILURE() << "a game of search players did not end";
}

TEST(SearchPlayer, WholeGamesEndForEveryPlayerCount) {
  play_whole_game<1>(1);
  play_whole_game<2>(2);
  play_whole_game<3>(3);
  play_whole_game<4>(4);
}

}  // namespace
