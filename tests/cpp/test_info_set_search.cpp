// The game's information-set search: it ranks only actions legal in the position, widens the
// discard phase from its cheapest discards, finds a lone winning move with few playouts, deals
// every playout from what the seat to act has seen without the real stream, and its final choice
// never puts a lower mean first on a near-tie.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "game/info_set_spec.hpp"
#include "game_builders.hpp"
#include "lab/search.hpp"

namespace {

using namespace corvanta;
using namespace test_support;

const StopCheck kNever = [] { return false; };

SearchSettings info_set(std::uint32_t playouts, std::size_t threads, double widening) {
  SearchSettings s;
  s.playouts = playouts;
  s.threads = threads;
  s.heuristics = true;
  s.rollout.public_discard = true;
  s.rollout.redeal_each_rollout = false;
  s.rollout.policy = RolloutPolicy::Greedy;
  s.rollout.stream = Stream::PerRollout;
  s.information_set = true;
  s.discard_widening = {widening, 0.5};
  s.policy = MyPolicy(UCTBase{2.0});
  return s;
}

template <int N>
void expect_only_legal_actions_ranked(double widening) {
  int discards = 0;
  for (std::uint64_t seed = 0; seed < 12; ++seed) {
    lab::Game g = lab::Game::create(N, 500 + seed);
    for (int step = 0; !g.over() && step < 60; ++step) {
      const State<N>& state = std::get<State<N>>(g.state());
      const ActionList legal = get_action_space(state);
      const std::uint32_t playouts = 120;
      const auto ranked = determinised_search(state, info_set(playouts, 2, widening), kNever);
      ASSERT_TRUE(ranked.has_value());
      // Every legal action once (two jesters in a hand are one action), the unvisited ones last.
      std::size_t distinct = 0;
      for (std::size_t i = 0; i < legal.size(); ++i) distinct += std::find(legal.begin(), legal.begin() + i, legal[i]) == legal.begin() + i;
      ASSERT_EQ(ranked->size(), distinct);
      std::uint64_t visits = 0;
      std::size_t visited = 0;
      for (const RankedAction& r : *ranked) {
        visits += r.visits;
        if (r.visits > 0) {
          ASSERT_EQ(visited++, static_cast<std::size_t>(&r - ranked->data()));
        }
        ASSERT_NE(std::find(legal.begin(), legal.end(), r.action), legal.end()) << "not legal here";
        ASSERT_EQ(std::count_if(ranked->begin(), ranked->end(), [&](const RankedAction& o) { return o.action == r.action; }), 1);
      }
      ASSERT_EQ(visits, playouts);
      if (state.action_type.kind == ActionType::Kind::Discard && widening > 0) {
        ++discards;
        // The root considered at most ceil(widening * playouts^0.5) discards, the cheapest first.
        ASSERT_LE(visited, static_cast<std::size_t>(std::ceil(widening * std::sqrt(double{playouts}))));
        ActionList ordered = legal;
        order_by_judgement(state, ordered, 1);
        ASSERT_NE(std::find_if(ranked->begin(), ranked->end(), [&](const RankedAction& r) { return r.action == ordered[0]; }),
                  ranked->end());
      }
      g.apply_index((seed + static_cast<std::uint64_t>(step)) % g.legal_actions().size());
    }
  }
  if (widening > 0 && N <= 2) {
    EXPECT_GT(discards, 0);
  }
}

TEST(InformationSetSearch, RanksOnlyActionsLegalInThePosition) {
  expect_only_legal_actions_ranked<1>(1.0);
  expect_only_legal_actions_ranked<2>(0.5);
  expect_only_legal_actions_ranked<3>(0.0);
  expect_only_legal_actions_ranked<4>(1.0);
}

// A hand holding both jesters lists each jester move twice; the tree is offered each move once (a
// move listed twice would be counted available twice on one visit), in the listed order.
TEST(InformationSetSearch, OffersEachMoveOnceWhenAHandHoldsBothJesters) {
  State<4> s = blank_state<4>();
  s.table.castle_deck = castle("SK");
  s.players[0].hand = hand("X S5 X H3 D2");
  const InfoSetGame<4, true> game{&s, {}, 0, MyPolicy(UCTBase{2.0}), 0.0, 0.5};
  for (const ActionType phase : {ActionType::play_cards(), ActionType::discard(1), ActionType::discard(5)}) {
    s.action_type = phase;
    const ActionList listed = get_action_space(s);
    const ActionList offered = game.moves(s);
    ActionList firsts;
    for (std::size_t i = 0; i < listed.size(); ++i)
      if (std::find(listed.begin(), listed.begin() + i, listed[i]) == listed.begin() + i) firsts.push_back(listed[i]);
    ASSERT_LT(firsts.size(), listed.size()) << "the hand lists some move twice";
    ASSERT_EQ(offered.size(), firsts.size());
    for (std::size_t i = 0; i < firsts.size(); ++i) EXPECT_EQ(offered[i], firsts[i]) << i;
    // One jester alone: nothing is repeated, nothing is dropped.
    State<4> one = s;
    one.players[0].hand = hand("X S5 C7 H3 D2");
    EXPECT_EQ(game.moves(one).size(), get_action_space(one).size());
  }
  // The search ranks each of them once, every playout accounted for.
  s.action_type = ActionType::play_cards();
  const auto ranked = determinised_search(s, info_set(300, 1, 0.0), kNever);
  ASSERT_TRUE(ranked.has_value());
  EXPECT_EQ(ranked->size(), game.moves(s).size());
  std::uint64_t visits = 0;
  for (const RankedAction& r : *ranked) visits += r.visits;
  EXPECT_EQ(visits, 300u);
}

// The last King, worn down to 10: only Clubs 5 (doubled to an exact kill) wins; every other move
// leaves a strike back of 20 that the hand cannot pay.
template <int N>
State<N> one_winning_move() {
  State<N> s = blank_state<N>();
  s.table.castle_deck = castle("SK");
  s.table.castle_deck.back().health = 10;
  s.level = 11;
  s.hand_refills_left = 0;
  s.players[0].hand = hand("H3 D4 C5 S2");
  if constexpr (N > 1) s.players[1].hand = hand("H2 D2 C2");
  return s;
}

// One worker each. With two sharing 40 playouts, a worker that stalls between taking an edge and
// backing up its reward (its first arena page, or the scheduler) leaves that edge's mean lowered
// by the visit in flight, and the other worker may spend the whole budget elsewhere meanwhile.
TEST(InformationSetSearch, FindsTheOneWinningMoveWithFewPlayouts) {
  const Action win = Action::play(card("C5"));
  for (int trial = 0; trial < 20; ++trial) {
    const auto one = determinised_search(one_winning_move<1>(), info_set(40, 1, 1.0), kNever);
    const auto two = determinised_search(one_winning_move<2>(), info_set(40, 1, 1.0), kNever);
    ASSERT_TRUE(one && two);
    EXPECT_EQ(one->front().action, win);
    EXPECT_EQ(one->front().avg_reward, 12.0);
    EXPECT_EQ(two->front().action, win);
  }
}

// Each playout's deal keeps what the seat to act has seen and replaces the real stream; it
// changes some hidden card over a few deals.
TEST(InformationSetSearch, EveryDealKeepsWhatTheSeatHasSeen) {
  for (std::uint64_t seed = 0; seed < 50; ++seed) {
    lab::Game g = lab::Game::create(3, seed);
    for (std::uint64_t i = 0; i < seed % 15 && !g.over(); ++i) g.apply_index(i % g.legal_actions().size());
    if (g.over()) continue;
    const State<3> real = std::get<State<3>>(g.state());
    State<3> twin = real;
    twin.rng_seed = real.rng_seed * 31 + 1;
    const SearchSettings s = info_set(10, 1, 1.0);
    const InfoSetGame<3, true> game{&real, s.rollout, 0, s.policy, 1.0, 0.5};
    const InfoSetGame<3, true> twin_game{&twin, s.rollout, 0, s.policy, 1.0, 0.5};
    InfoSetGame<3, true>::Worker a{StdRng::seed_from_u64(seed)}, b{StdRng::seed_from_u64(seed)};
    bool changed = false;
    for (int d = 0; d < 5; ++d) {
      const State<3> deal = game.determinise(a);
      ASSERT_EQ(deal, twin_game.determinise(b));  // the real stream reaches no deal
      ASSERT_NE(deal.rng_seed, real.rng_seed);
      ASSERT_EQ(deal.current_hand(), real.current_hand());
      ASSERT_EQ(deal.table.discard_pile, real.table.discard_pile);
      ASSERT_EQ(deal.table.tavern_deck.size(), real.table.tavern_deck.size());
      ASSERT_EQ(*deal.current_enemy(), *real.current_enemy());
      ASSERT_EQ(deal.card_tally(), real.card_tally());
      for (int p = 0; p < 3; ++p) ASSERT_EQ(deal.players[p].hand.size(), real.players[p].hand.size());
      changed |= deal.table.tavern_deck != real.table.tavern_deck;
    }
    EXPECT_TRUE(changed);
  }
}

// The order the tree tries moves in: the first k are the k best by the rollouts' judgement, best
// first, the earlier listed first on equal scores.
TEST(InformationSetSearch, OrdersTheBestMovesFirstByJudgement) {
  int positions = 0;
  for (std::uint64_t seed = 0; seed < 40; ++seed) {
    lab::Game g = lab::Game::create(2, 900 + seed);
    for (int step = 0; !g.over() && step < 80; ++step, ++positions) {
      const State<2>& state = std::get<State<2>>(g.state());
      const ActionList legal = get_action_space(state);
      for (const std::size_t k : {std::size_t{1}, std::size_t{3}, legal.size()}) {
        ActionList ordered = legal;
        order_by_judgement(state, ordered, k);
        std::vector<std::pair<std::int32_t, std::size_t>> expected;  // (score, listed position)
        for (std::size_t i = 0; i < legal.size(); ++i) expected.emplace_back(judgement_of(state, legal[i]), i);
        std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        for (std::size_t i = 0; i < std::min(k, legal.size()); ++i) ASSERT_EQ(ordered[i], legal[expected[i].second]);
      }
      g.apply_index((seed * 7 + static_cast<std::uint64_t>(step)) % g.legal_actions().size());
    }
  }
  EXPECT_GT(positions, 300);
}

TEST(InformationSetSearch, ANearTieNeverPutsALowerMeanFirst) {
  const Action a = Action::play(card("S2")), b = Action::play(card("H3")), c = Action::play(card("D4"));
  std::vector<RankedAction> ranked{{a, 500, 7.0}, {b, 490, 8.0}, {c, 300, 11.0}};
  rank_actions(ranked, 0.05);
  EXPECT_EQ(ranked[0].action, b);  // within 5 % of the most visits, with the larger mean
  EXPECT_EQ(ranked[1].action, a);
  EXPECT_EQ(ranked[2].action, c);  // far behind in visits: its mean rests on fewer playouts
  rank_actions(ranked, 0.0);
  EXPECT_EQ(ranked[0].action, a);  // by visits alone
  std::vector<RankedAction> equal{{a, 100, 6.0}, {b, 100, 9.0}, {c, 100, 3.0}};
  rank_actions(equal, 0.0);
  EXPECT_EQ(equal[0].action, b);  // equal visits: the larger mean
  EXPECT_EQ(equal[2].action, c);
}

}  // namespace

namespace budget {

using namespace corvanta;

// A time budget ends the search with a ranking of what it searched; the caller's stop check still
// ends it without one.
TEST(InformationSetSearch, ATimeBudgetRanksWhatWasSearchedInTime) {
  const State<2> state = std::get<State<2>>(lab::Game::create(2, 17).state());
  for (const bool one_tree : {true, false}) {
    SearchSettings s = info_set(1u << 30, 2, 1.0);
    s.information_set = one_tree;
    s.samples = 3;
    s.seconds = 0.05;
    const auto start = std::chrono::steady_clock::now();
    const auto ranked = determinised_search(state, s, kNever);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(ranked.has_value());
    EXPECT_GT(ranked->front().visits, 0u);
    EXPECT_LT(took, 1.0);
    int polls = 0;
    EXPECT_FALSE(determinised_search(state, s, [&] { return ++polls > 1; }).has_value());
  }
}

}  // namespace budget
