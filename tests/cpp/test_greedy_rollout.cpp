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

namespace listing {

using namespace corvanta;

// The listing version of a greedy discard: every discard built, pruned and scored.
template <int N, bool Prune>
std::optional<Action> listed_greedy_discard(const State<N>& s, StdRng& rng) {
  ActionList moves = get_action_space(s);
  if constexpr (Prune) prune_bad_moves_in_place(moves);
  if (moves.empty()) return std::nullopt;
  return moves[greedy_move(s, moves, rng)];
}

// Built without the list, a greedy discard is the listed one, with the same draws: over the
// discard positions of thousands of seeded greedy rollouts, pruned and not.
template <int N>
void expect_discards_as_listed() {
  std::vector<State<N>> positions;
  RolloutOptions options;
  options.policy = RolloutPolicy::Greedy;
  for (std::uint64_t seed = 0; seed < 1500 && positions.size() < 3000; ++seed) {
    StdRng rng = StdRng::seed_from_u64(seed);
    rollout_with<N, true>(State<N>::create(seed), rng, options, [&](const State<N>& s, const Action&) {
      if (s.action_type.kind == ActionType::Kind::Discard) positions.push_back(s);
    });
  }
  ASSERT_GT(positions.size(), 500u);
  std::size_t refills = 0, jesters = 0;
  for (const State<N>& s : positions) {
    refills += N == 1 && s.hand_refills_left > 0;
    jesters += std::any_of(s.current_hand().begin(), s.current_hand().end(), [](Card c) { return c.suit == CardSuit::None; });
    for (std::uint64_t draw = 0; draw < 12; ++draw) {
      StdRng a = StdRng::seed_from_u64(draw), b = StdRng::seed_from_u64(draw);
      ASSERT_EQ((greedy_discard<N, true>(s, a)), (listed_greedy_discard<N, true>(s, b)));
      ASSERT_EQ(a.next_u64(), b.next_u64()) << "the same draws";
      StdRng c = StdRng::seed_from_u64(draw), d = StdRng::seed_from_u64(draw);
      ASSERT_EQ((greedy_discard<N, false>(s, c)), (listed_greedy_discard<N, false>(s, d)));
      ASSERT_EQ(c.next_u64(), d.next_u64());
    }
  }
  if constexpr (N == 1) {
    EXPECT_GT(refills, 0u);
  }
  if constexpr (N >= 3) {
    EXPECT_GT(jesters, 0u);
  }
}

TEST(GreedyRollouts, DiscardWithoutListingAsTheListDoes) {
  expect_discards_as_listed<1>();
  expect_discards_as_listed<2>();
  expect_discards_as_listed<3>();
  expect_discards_as_listed<4>();
}

}  // namespace listing
