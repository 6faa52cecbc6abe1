// The ordered list of legal actions and the discard pruning.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "game/action_space.hpp"
#include "game/rules.hpp"
#include "game/table.hpp"
#include "game/text.hpp"
#include "game_builders.hpp"
#include "no_colour.hpp"

namespace {

using namespace corvanta;
using test_support::blank_state;
using test_support::card;
using test_support::hand;

Action play(std::string_view c) { return Action::play(card(c)); }
Action animal(std::string_view a, std::string_view b) { return Action::animal_combo(card(a), card(b)); }
Action combo(std::string_view cs) { return Action::combo(hand(cs)); }
Action discard(std::string_view cs) { return Action::discard(hand(cs)); }

// Compared through the one-line text so that a failure shows both lists readably.
std::string shown(std::initializer_list<Action> actions) {
  return text::debug(std::span<const Action>(actions.begin(), actions.size()));
}
std::string shown(const ActionList& actions) {
  return text::debug(std::span<const Action>(actions.data(), actions.size()));
}

// Every processor-specific path of the listing this processor runs, the fastest last: a test
// that loops over them compares each against the definition.
constexpr int kListingLevels[] = {0, 1, 2, 3};
struct ListingLevel {
  explicit ListingLevel(int level) { detail::limit_listing_features(level); }
  ~ListingLevel() { detail::limit_listing_features(3); }
};

template <int N>
ActionList space(std::string_view held, ActionType phase, std::uint8_t refills = 0) {
  State<N> s = blank_state<N>();
  s.players[0].hand = hand(held);
  s.action_type = phase;
  s.hand_refills_left = refills;
  return get_action_space(s);
}

TEST(PlayPhase, SinglesInHandOrderThenYield) {
  const ActionList got = space<2>("S7 HK D9 C3 S10", ActionType::play_cards());
  EXPECT_EQ(got.size(), 6u);
  EXPECT_EQ(shown(got), shown({play("S7"), play("HK"), play("D9"), play("C3"), play("S10"), Action::yield()}));
}

TEST(PlayPhase, TwoAcesPairOnceHigherSuitFirst) {
  EXPECT_EQ(shown(space<2>("HA SA C4", ActionType::play_cards())),
            shown({play("HA"), play("SA"), play("C4"), animal("HA", "SA"), animal("HA", "C4"), animal("SA", "C4"),
                   Action::yield()}));
}

TEST(PlayPhase, AcesPairWithRoyalsButNeverTheJester) {
  EXPECT_EQ(shown(space<3>("X DA HQ", ActionType::play_cards())),
            shown({play("X"), play("DA"), play("HQ"), animal("DA", "HQ"), Action::yield()}));
}

TEST(PlayPhase, BothJestersAreOfferedOncePerHandPosition) {
  EXPECT_EQ(shown(space<4>("X SA X D5", ActionType::play_cards())),
            shown({play("X"), play("SA"), play("X"), play("D5"), animal("SA", "D5"), Action::yield()}));
}

TEST(PlayPhase, FourAcesFormSixCombos) {
  EXPECT_EQ(shown(space<1>("SA CA HA DA", ActionType::play_cards())),
            shown({play("SA"), play("CA"), play("HA"), play("DA"), animal("CA", "SA"), animal("CA", "HA"),
                   animal("CA", "DA"), animal("HA", "SA"), animal("DA", "SA"), animal("DA", "HA"), Action::yield()}));
}

TEST(PlayPhase, ThreeFoursGivePairsOnly) {
  EXPECT_EQ(shown(space<2>("S4 H4 C9 D4", ActionType::play_cards())),
            shown({play("S4"), play("H4"), play("C9"), play("D4"), combo("S4 H4"), combo("S4 D4"), combo("H4 D4"),
                   Action::yield()}));
}

TEST(PlayPhase, FourTwosGiveSixPairsFourTriplesOneQuadruple) {
  EXPECT_EQ(shown(space<1>("S2 H2 D2 C2", ActionType::play_cards())),
            shown({play("S2"), play("H2"), play("D2"), play("C2"), combo("S2 H2"), combo("S2 D2"), combo("S2 C2"),
                   combo("H2 D2"), combo("H2 C2"), combo("D2 C2"), combo("S2 H2 D2"), combo("S2 H2 C2"),
                   combo("S2 D2 C2"), combo("H2 D2 C2"), combo("S2 H2 D2 C2"), Action::yield()}));
}

TEST(PlayPhase, CombosByValueTwoToFive) {
  // Threes pair and triple, Fives pair, Sixes never combine; values are taken Two, Three, Four,
  // Five whatever the hand order.
  EXPECT_EQ(shown(space<1>("C5 S3 H5 D3 S6 H6 C3 D2", ActionType::play_cards())),
            shown({play("C5"), play("S3"), play("H5"), play("D3"), play("S6"), play("H6"), play("C3"), play("D2"),
                   combo("S3 D3"), combo("S3 C3"), combo("D3 C3"), combo("S3 D3 C3"), combo("C5 H5"),
                   Action::yield()}));
}

TEST(PlayPhase, EmptyHandCanOnlyYield) {
  EXPECT_EQ(shown(space<3>("", ActionType::play_cards())), shown({Action::yield()}));
}

TEST(DiscardPhase, SubsetsBySizeThenLexicographic) {
  EXPECT_EQ(shown(space<2>("S5 H3 D2", ActionType::discard(5))),
            shown({discard("S5"), discard("S5 H3"), discard("S5 D2"), discard("H3 D2"), discard("S5 H3 D2")}));
}

TEST(DiscardPhase, EveryQualifyingSubsetIncludingSupersets) {
  EXPECT_EQ(shown(space<2>("S2 H3 D4 C5", ActionType::discard(1))),
            shown({discard("S2"), discard("H3"), discard("D4"), discard("C5"), discard("S2 H3"), discard("S2 D4"),
                   discard("S2 C5"), discard("H3 D4"), discard("H3 C5"), discard("D4 C5"), discard("S2 H3 D4"),
                   discard("S2 H3 C5"), discard("S2 D4 C5"), discard("H3 D4 C5"), discard("S2 H3 D4 C5")}));
}

TEST(DiscardPhase, JesterCountsAsNothingButCanBeDiscarded) {
  EXPECT_EQ(shown(space<3>("X SK", ActionType::discard(20))), shown({discard("SK"), discard("X SK")}));
}

TEST(DiscardPhase, FullHandOfEightListsAll255Subsets) {
  const ActionList got = space<2>("SA S2 S3 S4 S5 S6 S7 S8", ActionType::discard(1));
  ASSERT_EQ(got.size(), 255u);
  EXPECT_EQ(got[0], discard("SA"));
  EXPECT_EQ(got[8], discard("SA S2"));
  EXPECT_EQ(got[254], discard("SA S2 S3 S4 S5 S6 S7 S8"));
  // With the one-player refill the list reaches 256 entries.
  const ActionList one = space<1>("SA S2 S3 S4 S5 S6 S7 S8", ActionType::discard(1), 1);
  ASSERT_EQ(one.size(), 256u);
  EXPECT_EQ(one[255], Action::refill_hand());
}

TEST(DiscardPhase, HandWorthTooLittleWithoutRefillsIsEmpty) {
  EXPECT_TRUE(space<1>("S2 H3", ActionType::discard(20), 0).empty());
  EXPECT_EQ(shown(space<1>("S2 H3", ActionType::discard(20), 1)), shown({Action::refill_hand()}));
}

// The discards by their definition: for each size, the position tuples in lexicographic order,
// kept when their attack values add up to n.
ActionList discards_by_definition(const Hand& h, std::uint16_t n) {
  ActionList out;
  for (std::size_t k = 1; k <= h.size(); ++k) {
    std::vector<bool> chosen(h.size(), false);
    std::fill(chosen.begin(), chosen.begin() + static_cast<std::ptrdiff_t>(k), true);
    do {
      Hand cards;
      for (std::size_t i = 0; i < h.size(); ++i)
        if (chosen[i]) cards.push_back(h[i]);
      if (attack_sum(cards) >= n) out.push_back(Action::discard(cards));
    } while (std::prev_permutation(chosen.begin(), chosen.end()));
  }
  return out;
}

// Random hands of every size, drawn from a shuffled deck with royals and jesters, with
// thresholds from nothing to more than any hand is worth; on every path of the listing.
TEST(DiscardPhase, FastPortableAndDefinitionAgreeAndDrawsPickFromTheList) {
  for (const int level : kListingLevels) {
    SCOPED_TRACE("listing level " + std::to_string(level));
    const ListingLevel limited(level);
    StdRng rng = StdRng::seed_from_u64(2024);
    for (int round = 0; round < 3000; ++round) {
      Pile deck = new_tavern_deck(2, rng);
      for (std::string_view royal : {"SK", "HK", "DK", "CK", "HQ", "DQ", "DJ"}) deck.push_back(card(royal));
      rng.shuffle(deck);
      Hand h;
      const std::size_t size = rng.below(9);
      for (std::size_t i = 0; i < size; ++i) h.push_back(deck[i]);
      const auto n = static_cast<std::uint16_t>(round % 10 == 0 ? 250 + rng.below(20) : rng.below(120));
      ActionList fast;
      ActionList portable;
      discard_actions(h, n, fast);
      detail::discard_actions_portable(h, n, portable);
      ASSERT_EQ(shown(fast), shown(discards_by_definition(h, n))) << "hand " << text::debug(h) << " n " << n;
      ASSERT_EQ(shown(portable), shown(fast)) << "hand " << text::debug(h) << " n " << n;
      if (n > 255) continue;  // a phase's threshold is one byte

      // Drawn moves, pruned or not, with and without the one-player refill.
      State<1> s = blank_state<1>();
      s.players[0].hand = h;
      s.action_type = ActionType::discard(static_cast<std::uint8_t>(n));
      s.hand_refills_left = static_cast<std::uint8_t>(round % 2);
      for (const bool prune : {false, true}) {
        const ActionList all = get_action_space(s);
        const ActionList listed = prune ? prune_bad_moves(all) : all;
        for (std::uint64_t seed = 0; seed < 4; ++seed) {
          StdRng drawing = StdRng::seed_from_u64(seed);
          StdRng listing = StdRng::seed_from_u64(seed);
          const std::optional<Action> drawn = prune ? draw_action<1, true>(s, drawing) : draw_action<1, false>(s, drawing);
          ASSERT_EQ(drawn.has_value(), !listed.empty());
          if (drawn) {
            ASSERT_EQ(text::debug(*drawn), text::debug(listed[listing.below(static_cast<std::uint32_t>(listed.size()))]))
                << "hand " << text::debug(h) << " n " << n << " prune " << prune;
          }
        }
      }
    }
  }
}

// The attack actions by their definition: singles, each Ace with every other non-jester card
// (another Ace only from a lower suit), each value from Two to Five in combos worth at most 10,
// by size and then lexicographically, and Yield.
ActionList attacks_by_definition(const Hand& h) {
  ActionList out;
  for (const Card& c : h) out.push_back(Action::play(c));
  for (std::size_t a = 0; a < h.size(); ++a) {
    if (h[a].value != CardValue::Ace) continue;
    for (std::size_t i = 0; i < h.size(); ++i) {
      if (i == a || h[i] == kJester) continue;
      if (h[i].value == CardValue::Ace && !suit_greater(h[a].suit, h[i].suit)) continue;
      out.push_back(Action::animal_combo(h[a], h[i]));
    }
  }
  for (int v = 2; v <= 5; ++v) {
    std::vector<std::size_t> group;
    for (std::size_t i = 0; i < h.size(); ++i)
      if (static_cast<int>(h[i].value) == v) group.push_back(i);
    for (std::size_t k = 2; k <= std::min<std::size_t>(4, static_cast<std::size_t>(10 / v)) && k <= group.size(); ++k) {
      std::vector<bool> chosen(group.size(), false);
      std::fill(chosen.begin(), chosen.begin() + static_cast<std::ptrdiff_t>(k), true);
      do {
        Hand cards;
        for (std::size_t i = 0; i < group.size(); ++i)
          if (chosen[i]) cards.push_back(h[group[i]]);
        out.push_back(Action::combo(cards));
      } while (std::prev_permutation(chosen.begin(), chosen.end()));
    }
  }
  out.push_back(Action::yield());
  return out;
}

// Hands of every size from the whole deck and its jesters, and from the small values alone, so
// that Aces and groups of two to four equal values are common; now and then more equal cards
// than a deal can hold. Each list is appended to actions already listed, which must stay as
// they were.
TEST(PlayPhase, FastPortableAndDefinitionAgreeOnRandomHands) {
  for (const int level : kListingLevels) {
    SCOPED_TRACE("listing level " + std::to_string(level));
    const ListingLevel limited(level);
    StdRng rng = StdRng::seed_from_u64(77);
    const ActionList before = space<2>("S9 HK", ActionType::play_cards());
    for (int round = 0; round < 20000; ++round) {
      Hand h;
      const std::size_t size = rng.below(9);
      for (std::size_t i = 0; i < size; ++i) {
        const int index = round % 3 == 0 ? static_cast<int>(rng.below(kCardKinds))
                                         : static_cast<int>(rng.below(20));  // Aces to Fives
        h.push_back(card_from_index(index));
      }
      if (round % 50 == 0)
        for (std::size_t i = 0; i < h.size(); ++i) h[i] = card_from_index(4 + static_cast<int>(rng.below(2)));
      ActionList fast = before;
      ActionList portable = before;
      attack_actions(h, fast);
      detail::attack_actions_portable(h, portable);
      ActionList expected = before;
      for (const Action& a : attacks_by_definition(h)) expected.push_back(a);
      ASSERT_EQ(shown(fast), shown(expected)) << "hand " << text::debug(h);
      ASSERT_EQ(shown(portable), shown(expected)) << "hand " << text::debug(h);
      // The text shows a combo's cards by its kind; equality also reads the stored card count.
      ASSERT_TRUE(std::equal(fast.begin(), fast.end(), expected.begin(), expected.end())) << "hand " << text::debug(h);
    }
  }
}

// A list nearly full already takes every attack that fits, and refuses the rest.
TEST(PlayPhase, AppendingToANearlyFullListKeepsTheOrderOrRefuses) {
  const Hand h = hand("SA H2 D2 C2 S3 H3 D3 C9");
  ActionList alone;
  attack_actions(h, alone);
  ActionList nearly_full;
  for (std::size_t i = nearly_full.size(); i + alone.size() < nearly_full.capacity; ++i)
    nearly_full.push_back(Action::yield());
  const std::size_t filled = nearly_full.size();
  attack_actions(h, nearly_full);
  ASSERT_EQ(nearly_full.size(), filled + alone.size());
  for (std::size_t i = 0; i < alone.size(); ++i) EXPECT_EQ(nearly_full[filled + i], alone[i]);
  nearly_full.set_size(nearly_full.capacity - 3);
  EXPECT_THROW(attack_actions(h, nearly_full), Fatal);
}

TEST(JesterPhase, EveryPlayerInOrder) {
  EXPECT_EQ(shown(space<3>("S2", ActionType::jester())),
            shown({Action::change_player(PlayerId{0}), Action::change_player(PlayerId{1}),
                   Action::change_player(PlayerId{2})}));
  EXPECT_EQ(shown(space<1>("S2", ActionType::jester(), 0)), shown({Action::change_player(PlayerId{0})}));
}

TEST(JesterPhase, ChoosingPlayerDoesNotMatter) {
  State<4> s = blank_state<4>();
  s.has_turn = PlayerId{2};
  s.action_type = ActionType::jester();
  const ActionList got = get_action_space(s);
  ASSERT_EQ(got.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(got[i], Action::change_player(PlayerId{i}));
}

TEST(Refill, OnePlayerRefillIsLastInEveryPhase) {
  EXPECT_EQ(shown(space<1>("S7", ActionType::play_cards(), 2)),
            shown({play("S7"), Action::yield(), Action::refill_hand()}));
  EXPECT_EQ(shown(space<1>("S7", ActionType::discard(7), 1)), shown({discard("S7"), Action::refill_hand()}));
  EXPECT_EQ(shown(space<1>("S7", ActionType::jester(), 1)),
            shown({Action::change_player(PlayerId{0}), Action::refill_hand()}));
  EXPECT_EQ(shown(space<1>("S7", ActionType::play_cards(), 0)), shown({play("S7"), Action::yield()}));
}

TEST(Refill, NeverOfferedToSeveralPlayers) {
  EXPECT_EQ(shown(space<2>("S7", ActionType::play_cards(), 2)), shown({play("S7"), Action::yield()}));
  EXPECT_EQ(shown(space<4>("S7", ActionType::discard(7), 2)), shown({discard("S7")}));
}

TEST(ActionSpace, UsesTheHandOfThePlayerToAct) {
  State<3> s = blank_state<3>();
  s.players[0].hand = hand("S2");
  s.players[1].hand = hand("H9");
  s.players[2].hand = hand("C4");
  s.has_turn = PlayerId{1};
  EXPECT_EQ(shown(get_action_space(s)), shown({play("H9"), Action::yield()}));
}

TEST(ActionSpace, IgnoresHasEnded) {
  State<2> s = blank_state<2>();
  s.players[0].hand = hand("S2 H2");
  const ActionList before = get_action_space(s);
  s.has_ended = GameResult::won();
  EXPECT_EQ(shown(get_action_space(s)), shown(before));
}

TEST(ActionSpace, PartsAreTheListsOfTheirPhases) {
  ActionList attack;
  attack_actions(hand("SA D2 H2"), attack);
  EXPECT_EQ(shown(attack), shown({play("SA"), play("D2"), play("H2"), animal("SA", "D2"), animal("SA", "H2"),
                                  combo("D2 H2"), Action::yield()}));
  ActionList discards;
  discard_actions(hand("SA D2"), 3, discards);
  EXPECT_EQ(shown(discards), shown({discard("SA D2")}));
  ActionList jester;
  jester_actions(2, jester);
  EXPECT_EQ(shown(jester), shown({Action::change_player(PlayerId{0}), Action::change_player(PlayerId{1})}));
}

// Every state met in seeded random games of N players, with and without refills left.
template <int N>
std::vector<State<N>> visited_states(std::uint64_t games) {
  std::vector<State<N>> states;
  StdRng chooser = StdRng::seed_from_u64(77);
  for (std::uint64_t g = 0; g < games; ++g) {
    State<N> s = State<N>::create(g);
    for (;;) {
      states.push_back(s);
      const ActionList actions = get_action_space(s);
      if (actions.empty() || advance(s, actions[chooser.below(static_cast<std::uint32_t>(actions.size()))])) break;
    }
  }
  return states;
}

template <int N>
void expect_packing_and_drawing_agree(std::uint64_t games) {
  for (const State<N>& s : visited_states<N>(games)) {
    const ActionList all = get_action_space(s);
    for (const Action& a : all) {
      const Action back = unpack_action(pack_action(a));
      ASSERT_EQ(back, a);
      ASSERT_EQ(text::debug(back), text::debug(a));
      ASSERT_LT(pack_action(a), std::uint64_t{1} << 63);
    }
    // A drawn move is the listed one at the drawn position, and the generators stay in step.
    for (const bool prune : {false, true}) {
      const ActionList listed = prune ? prune_bad_moves(all) : all;
      StdRng drawing = StdRng::seed_from_u64(s.rng_seed);
      StdRng listing = StdRng::seed_from_u64(s.rng_seed);
      const std::optional<Action> drawn = prune ? draw_action<N, true>(s, drawing) : draw_action<N, false>(s, drawing);
      ASSERT_EQ(drawn.has_value(), !listed.empty());
      if (drawn) {
        ASSERT_EQ(text::debug(*drawn), text::debug(listed[listing.below(static_cast<std::uint32_t>(listed.size()))]));
      }
      ASSERT_EQ(drawing.next_u32(), listing.next_u32());
    }
  }
}

TEST(ActionSpace, PackedActionsAndDrawnMovesMatchTheList) {
  expect_packing_and_drawing_agree<1>(400);
  expect_packing_and_drawing_agree<2>(200);
  expect_packing_and_drawing_agree<3>(200);
  expect_packing_and_drawing_agree<4>(200);
}

TEST(ActionSpace, DrawingFromAnEmptySpaceDrawsNothing) {
  State<1> s = blank_state<1>();
  s.players[0].hand = hand("S2 H3");
  s.action_type = ActionType::discard(20);
  s.hand_refills_left = 0;
  StdRng rng = StdRng::seed_from_u64(1);
  StdRng untouched = StdRng::seed_from_u64(1);
  EXPECT_FALSE((draw_action<1, true>(s, rng)));
  EXPECT_EQ(rng.next_u32(), untouched.next_u32());
}

ActionList list(std::initializer_list<Action> actions) { return ActionList::from_range(actions); }

TEST(Pruning, DropsDiscardsOfDiamondsWhenAnotherDiscardRemains) {
  EXPECT_EQ(shown(prune_bad_moves(list({discard("D4"), discard("S5")}))), shown({discard("S5")}));
  EXPECT_EQ(shown(prune_bad_moves(list({discard("S5 D4"), discard("H9"), discard("D2 C8"), discard("S5 H9")}))),
            shown({discard("H9"), discard("S5 H9")}));
}

TEST(Pruning, KeepsEverythingWhenOnlyDiamondDiscardsExist) {
  EXPECT_EQ(shown(prune_bad_moves(list({discard("D4")}))), shown({discard("D4")}));
  EXPECT_EQ(shown(prune_bad_moves(list({discard("D4"), discard("D4 S2")}))), shown({discard("D4"), discard("D4 S2")}));
  EXPECT_TRUE(prune_bad_moves(ActionList{}).empty());
}

TEST(Pruning, NeverRemovesOtherActions) {
  const ActionList all = list({play("D5"), animal("DA", "D9"), combo("D2 H2"), Action::yield(),
                               Action::change_player(PlayerId{0}), Action::refill_hand()});
  EXPECT_EQ(shown(prune_bad_moves(all)), shown(all));
  EXPECT_EQ(shown(prune_bad_moves(list({discard("D4"), Action::refill_hand()}))), shown({Action::refill_hand()}));
}

}  // namespace
