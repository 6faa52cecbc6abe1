// The greedy rollout policy: its preferences in hand-built positions (counted over many draws,
// since one move in ten is uniform) and the strength it adds to rollouts.
#include <gtest/gtest.h>

#include "game/action_space.hpp"
#include "game/evaluator.hpp"
#include "game/greedy_rollout.hpp"
#include "game_builders.hpp"

namespace {

using namespace corvanta;
using namespace test_support;

// How often each move is chosen in `draws` calls.
template <int N>
std::vector<int> choices(const State<N>& s, const ActionList& moves, int draws = 1000) {
  std::vector<int> counts(moves.size());
  StdRng rng = StdRng::seed_from_u64(9);
  for (int i = 0; i < draws; ++i) ++counts.at(greedy_move(s, moves, rng));
  return counts;
}

template <int N>
Action favourite(const State<N>& s) {
  const ActionList moves = get_action_space(s);
  const std::vector<int> counts = choices(s, moves);
  const auto best = std::max_element(counts.begin(), counts.end()) - counts.begin();
  EXPECT_GT(counts[best], 850) << "the best move is chosen nine times in ten and more";
  return moves[static_cast<std::size_t>(best)];
}

struct Preference {
  const char* hand;
  const char* enemy;
  int damage;          // already taken by the enemy
  int discard;         // 0: the play phase, else the discard phase for this attack
  const char* chosen;  // the cards of the favourite move
};

class GreedyPrefers : public ::testing::TestWithParam<Preference> {};

TEST_P(GreedyPrefers, TheExpectedMove) {
  const Preference& p = GetParam();
  State<2> s = blank_state<2>();
  s.table.castle_deck = castle(p.enemy);
  s.table.castle_deck.back().take_damage(static_cast<std::uint16_t>(p.damage));
  s.table.tavern_deck = pile("S2 S3 H4 H5 D6 D7");
  s.table.discard_pile = pile("C2 C3 C4");
  s.players[0].hand = hand(p.hand);
  s.players[1].hand = hand("S9 H9");
  if (p.discard > 0) s.action_type = ActionType::discard(static_cast<std::uint8_t>(p.discard));
  EXPECT_EQ(favourite(s).cards, hand(p.chosen));
}

INSTANTIATE_TEST_SUITE_P(
    Positions, GreedyPrefers,
    ::testing::Values(
        Preference{"S3 H10 D5 C8", "SJ", 15, 0, "D5"},     // the exact kill
        Preference{"S3 H9 D10", "SJ", 12, 0, "H9"},        // the cheapest kill
        Preference{"S10 H2 D3", "HJ", 0, 0, "S10"},        // damage and shield, and still survives
        Preference{"S10 H2 D3", "SJ", 0, 0, "D3"},         // Spades blocked: S10 would leave too little
        Preference{"H10 C7 S2", "HJ", 0, 0, "C7"},         // doubled damage; Hearts blocked by the Jack of Hearts
        Preference{"S4 H7 D10 X", "SJ", 0, 11, "S4 H7"},   // the lowest value that absorbs
        Preference{"D10 X", "SJ", 0, 10, "D10"},           // never the jester with it
        Preference{"S5 H6 D2 C3", "SJ", 0, 5, "S5"}));     // equal value: fewer cards

TEST(GreedyRollouts, ReachFurtherThanUniformOnes) {
  for (auto policy : {RolloutPolicy::Uniform, RolloutPolicy::Greedy}) {
    RolloutOptions options;
    options.policy = policy;
    double levels = 0;
    for (std::uint64_t seed = 0; seed < 2000; ++seed) {
      StdRng rng = StdRng::seed_from_u64(seed);
      const GameResult r = rollout_with<1, true>(State<1>::create(seed), rng, options, [](const State<1>&, const Action&) {});
      levels += r.reward();
    }
    // Uniform rollouts rarely pass the first Jack; greedy ones get several enemies further.
    if (policy == RolloutPolicy::Uniform) EXPECT_LT(levels / 2000, 1.5);
    else EXPECT_GT(levels / 2000, 4.0);
  }
}

}  // namespace
