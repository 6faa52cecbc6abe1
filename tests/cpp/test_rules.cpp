// The turn rules on hand-built positions.
#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "game/action_space.hpp"
#include "game/rules.hpp"
#include "game/text.hpp"
#include "game_builders.hpp"
#include "no_colour.hpp"

namespace {

using namespace corvanta;
using test_support::blank_state;
using test_support::card;
using test_support::castle;
using test_support::hand;
using test_support::pile;

Action play(std::string_view c) { return Action::play(card(c)); }

// The state an action leads to; fails the test when the action ends the game instead.
template <int N>
State<N> after(const State<N>& s, const Action& a) {
  const Outcome<N> out = take_action(s, a);
  if (const GameResult* r = std::get_if<GameResult>(&out)) {
    ADD_FAILURE() << text::debug(a) << " ended the game: " << text::debug(*r);
    return s;
  }
  return std::get<State<N>>(out);
}

// The result an action ends the game with; fails the test when the game goes on.
template <int N>
GameResult ending(const State<N>& s, const Action& a) {
  const Outcome<N> out = take_action(s, a);
  if (const State<N>* next = std::get_if<State<N>>(&out)) {
    ADD_FAILURE() << text::debug(a) << " did not end the game:\n" << text::debug(*next, true);
    return GameResult::won();
  }
  return std::get<GameResult>(out);
}

// Two players, player 0 to act against a fresh enemy; a tavern deck to draw from.
State<2> duel(std::string_view enemy_on_top, std::string_view hand0, std::string_view hand1 = "S9") {
  State<2> s = blank_state<2>();
  s.table.castle_deck = castle(std::string("SK ") + std::string(enemy_on_top));
  s.table.tavern_deck = pile("C2 C3 C4 C5 C6 C7");
  s.players[0].hand = hand(hand0);
  s.players[1].hand = hand(hand1);
  return s;
}

TEST(PlayResolution, CardsMoveFromHandToAttackCardsAndDealDamage) {
  const State<2> s = duel("HJ", "S7 C9 D2 H8");
  const State<2> n = after(s, play("C9"));
  EXPECT_EQ(n.players[0].hand, hand("S7 D2 H8"));
  EXPECT_EQ(n.table.attack_cards, pile("C9"));
  EXPECT_EQ(n.current_enemy()->health, 20 - 18);  // Clubs doubles
  EXPECT_EQ(n.current_enemy()->attack, 10);
  EXPECT_EQ(n.action_type, ActionType::discard(10));
  EXPECT_EQ(n.has_turn, PlayerId{0});
  EXPECT_EQ(s, duel("HJ", "S7 C9 D2 H8"));  // take_action leaves its argument alone
}

TEST(Spades, ImmuneSpadesEnemyKeepsItsAttack) {
  const State<2> s = duel("SJ", "S7 H9 D5");
  const State<2> n = after(s, play("S7"));
  EXPECT_EQ(n.current_enemy()->attack, 10);
  EXPECT_EQ(n.current_enemy()->health, 13);
  EXPECT_EQ(n.action_type, ActionType::discard(10));
}

TEST(Spades, OtherEnemiesLoseAttack) {
  const State<2> n = after(duel("HJ", "S7 H9 D5"), play("S7"));
  EXPECT_EQ(n.current_enemy()->attack, 3);
  EXPECT_EQ(n.action_type, ActionType::discard(3));
}

TEST(Jester, LiftsSpadesImmunityWithEarlierSpades) {
  State<3> s = blank_state<3>();
  s.table.castle_deck = castle("SK SJ");
  s.table.castle_deck.back().take_damage(12);
  s.table.attack_cards = pile("S3 H2 S4 C3");  // played while the enemy was immune
  s.players[1].hand = hand("S5 X D2");
  s.has_turn = PlayerId{1};
  s.times_yielded = 2;
  const State<3> n = after(s, play("X"));
  const Enemy& e = *n.current_enemy();
  EXPECT_TRUE(e.jester_applied);
  EXPECT_EQ(e.attack, 10 - 7);
  EXPECT_EQ(e.health, 8);
  EXPECT_EQ(n.action_type, ActionType::jester());
  EXPECT_EQ(n.has_turn, PlayerId{1});
  EXPECT_EQ(n.times_yielded, 0u);
  EXPECT_EQ(n.players[1].hand, hand("S5 D2"));
  EXPECT_EQ(n.table.attack_cards, pile("S3 H2 S4 C3 X"));
  EXPECT_EQ(get_action_space(n).size(), 3u);  // ChangePlayer for every seat

  // From now on Spades take effect against it.
  const State<3> m = after(after(n, Action::change_player(PlayerId{1})), play("S5"));
  EXPECT_EQ(m.current_enemy()->attack, 0);
}

TEST(Jester, OtherSuitsKeepTheirAttackButLoseImmunity) {
  State<2> s = duel("HJ", "X H5");
  s.table.attack_cards = pile("S3");  // already counted when it was played
  s.table.castle_deck.back().decrease_attack(3);
  const State<2> n = after(s, play("X"));
  EXPECT_EQ(n.current_enemy()->attack, 7);
  EXPECT_TRUE(n.current_enemy()->jester_applied);
  EXPECT_EQ(n.action_type, ActionType::jester());
  const State<2> chosen = after(n, Action::change_player(PlayerId{1}));
  EXPECT_EQ(chosen.has_turn, PlayerId{1});
  EXPECT_EQ(chosen.action_type, ActionType::play_cards());
}

TEST(Jester, AlreadyJesteredSpadesEnemyIsNotLoweredTwice) {
  State<2> s = duel("SJ", "X H5");
  s.table.castle_deck.back().apply_jester();
  s.table.castle_deck.back().decrease_attack(4);
  s.table.attack_cards = pile("S4");
  const State<2> n = after(s, play("X"));
  EXPECT_EQ(n.current_enemy()->attack, 6);
}

TEST(Jester, ChangePlayerMayChooseTheJestersPlayer) {
  State<2> s = duel("HJ", "X H5");
  const State<2> n = after(after(s, play("X")), Action::change_player(PlayerId{0}));
  EXPECT_EQ(n.has_turn, PlayerId{0});
  EXPECT_EQ(n.action_type, ActionType::play_cards());
}

TEST(Jester, TwoJestersOneStays) {
  State<4> s = blank_state<4>();
  s.table.castle_deck = castle("CK DJ");
  s.players[0].hand = hand("X S3 X");
  const State<4> n = after(s, play("X"));
  EXPECT_EQ(n.players[0].hand, hand("S3 X"));
  EXPECT_EQ(n.table.attack_cards, pile("X"));

  State<4> d = s;
  d.action_type = ActionType::discard(3);
  const State<4> m = after(d, Action::discard(hand("X S3")));
  EXPECT_EQ(m.players[0].hand, hand("X"));
  EXPECT_EQ(m.table.discard_pile, pile("X S3"));
}

TEST(Clubs, DoublesOnlyTheDamage) {
  const State<2> one = after(duel("HJ", "C5 S10"), play("C5"));
  EXPECT_EQ(one.current_enemy()->health, 10);
  EXPECT_EQ(one.current_enemy()->attack, 10);

  State<2> s = duel("HQ", "S5 C5 D9");
  const State<2> n = after(s, Action::combo(hand("S5 C5")));
  EXPECT_EQ(n.current_enemy()->attack, 15 - 10);
  EXPECT_EQ(n.current_enemy()->health, 30 - 20);
  EXPECT_EQ(n.table.attack_cards, pile("S5 C5"));
}

TEST(Clubs, ImmuneClubsEnemyTakesSingleDamage) {
  const State<2> n = after(duel("CJ", "C5 S10"), play("C5"));
  EXPECT_EQ(n.current_enemy()->health, 15);
}

TEST(Diamonds, DrawsGoRoundTheSeatsFromSeatZero) {
  State<2> s = duel("SJ", "C10", "D3 H9");
  s.has_turn = PlayerId{1};
  const State<2> n = after(s, play("D3"));
  // Tavern top is C7, then C6, C5: seats 0, 1, 0.
  EXPECT_EQ(n.players[0].hand, hand("C10 C7 C5"));
  EXPECT_EQ(n.players[1].hand, hand("H9 C6"));
  EXPECT_EQ(n.table.tavern_deck, pile("C2 C3 C4"));
}

TEST(Diamonds, FullHandsAreSkipped) {
  State<2> s = duel("SJ", "D3 H9", "S2 S3 S4 S5 S6 S7 S8");  // seat 1 holds 7 = max_hand_size
  const State<2> n = after(s, play("D3"));
  EXPECT_EQ(n.players[0].hand, hand("H9 C7 C6 C5"));
  EXPECT_EQ(n.players[1].hand.size(), 7u);
}

TEST(Diamonds, ShortTavernAndFullTable) {
  State<3> s = blank_state<3>();
  s.table.castle_deck = castle("HQ");
  s.table.castle_deck.back().decrease_attack(15);  // no strike: the hands stay as dealt
  s.table.tavern_deck = pile("C9 C8");
  s.players[0].hand = hand("D5");
  s.players[1].hand = hand("S2");
  s.players[2].hand = hand("S3 S4 S5 S6 S7 S8");  // full at 6
  const State<3> n = after(s, play("D5"));
  EXPECT_EQ(n.players[0].hand, hand("C8"));
  EXPECT_EQ(n.players[1].hand, hand("S2 C9"));
  EXPECT_TRUE(n.table.tavern_deck.empty());
}

TEST(Diamonds, HandValueAfterDrawsDecidesTheDiscard) {
  // After the play only H2 is left (worth 2 < 10), but the draws bring the hand above the attack.
  State<1> s = blank_state<1>();
  s.table.castle_deck = castle("SJ");
  s.table.tavern_deck = pile("C2 C9 C3 C4 C5 C6");
  s.players[0].hand = hand("D4 H2");
  const State<1> n = after(s, play("D4"));
  EXPECT_EQ(n.players[0].hand, hand("H2 C6 C5 C4 C3"));
  EXPECT_EQ(n.action_type, ActionType::discard(10));
}

TEST(Diamonds, ImmuneDiamondsEnemyGivesNoCards) {
  const State<2> n = after(duel("DJ", "D3 H10"), play("D3"));
  EXPECT_EQ(n.players[0].hand, hand("H10"));
  EXPECT_EQ(n.table.tavern_deck.size(), 6u);
}

TEST(Hearts, ReturnsDiscardsWithTheStatesRandomStep) {
  State<2> s = duel("SJ", "H4 S10");
  s.table.discard_pile = pile("D7 D8 D9 D10 S2 S3");
  State<2> reference = s;
  const State<2> n = after(s, play("H4"));
  StdRng rng = reference.get_rng();
  reference.table.heal_from_discard(4, rng);
  EXPECT_EQ(n.rng_seed, reference.rng_seed);
  EXPECT_NE(n.rng_seed, s.rng_seed);
  EXPECT_EQ(n.table.tavern_deck, reference.table.tavern_deck);
  EXPECT_EQ(n.table.discard_pile, reference.table.discard_pile);
  EXPECT_EQ(n.table.discard_pile.size(), 2u);
  EXPECT_EQ(n.table.tavern_deck.size(), 10u);
}

TEST(Hearts, ImmuneHeartsEnemyTakesNoRandomStep) {
  State<2> s = duel("HJ", "H4 S10");
  s.table.discard_pile = pile("D7 D8");
  const State<2> n = after(s, play("H4"));
  EXPECT_EQ(n.rng_seed, s.rng_seed);
  EXPECT_EQ(n.table.discard_pile, pile("D7 D8"));
}

TEST(Hearts, AnimalComboUsesTheWholeAttackForEveryPower) {
  State<2> s = duel("CJ", "SA H5 D9");
  s.table.discard_pile = pile("D7 D8 D9 D10 S2 S3 S4 S5");
  const State<2> n = after(s, Action::animal_combo(card("SA"), card("H5")));
  EXPECT_EQ(n.current_enemy()->attack, 10 - 6);
  EXPECT_EQ(n.current_enemy()->health, 20 - 6);
  EXPECT_EQ(n.table.discard_pile.size(), 2u);
  EXPECT_EQ(n.table.attack_cards, pile("SA H5"));
}

TEST(Defeat, ExactKillGoesOnTopOfTheTavern) {
  State<2> s = duel("HJ", "S10 D2");
  s.table.castle_deck.back().take_damage(10);
  s.table.attack_cards = pile("C3 S2");
  s.table.discard_pile = pile("D9");
  s.times_yielded = 1;
  s.level = 2;
  const State<2> n = after(s, play("S10"));
  EXPECT_EQ(n.table.tavern_deck.back(), card("HJ"));
  EXPECT_EQ(n.table.tavern_deck.size(), 7u);
  EXPECT_EQ(n.table.discard_pile, pile("D9 C3 S2 S10"));
  EXPECT_TRUE(n.table.attack_cards.empty());
  EXPECT_EQ(n.table.castle_deck.size(), 1u);
  EXPECT_EQ(n.current_enemy()->card, card("SK"));
  EXPECT_EQ(n.level, 3);
  EXPECT_EQ(n.has_turn, PlayerId{0});
  EXPECT_EQ(n.action_type, ActionType::play_cards());
  EXPECT_EQ(n.times_yielded, 0u);
  EXPECT_EQ(n.players[0].hand, hand("D2"));
}

TEST(Defeat, OverkillGoesOnTheDiscardBeforeTheAttackCards) {
  State<2> s = duel("HJ", "C10 D2");
  s.table.castle_deck.back().take_damage(15);
  s.table.attack_cards = pile("S3");
  const State<2> n = after(s, play("C10"));
  EXPECT_EQ(n.table.discard_pile, pile("HJ S3 C10"));
  EXPECT_EQ(n.table.tavern_deck.size(), 6u);
  EXPECT_EQ(n.level, 1);
  EXPECT_EQ(n.has_turn, PlayerId{0});
  EXPECT_EQ(n.current_enemy()->card, card("SK"));
}

TEST(Defeat, KillWithAJesterKeepsTheJesterPhase) {
  // The jester deals nothing, but an enemy already at zero health falls on the play.
  State<3> s = blank_state<3>();
  s.table.castle_deck = castle("SK HJ");
  s.table.castle_deck.back().take_damage(20);
  s.players[0].hand = hand("X S2");
  const State<3> n = after(s, play("X"));
  EXPECT_EQ(n.level, 1);
  EXPECT_EQ(n.action_type, ActionType::jester());
  EXPECT_EQ(n.table.tavern_deck.back(), card("HJ"));
  EXPECT_FALSE(n.current_enemy()->jester_applied);
}

TEST(Strike, AttackZeroPassesTheTurn) {
  State<3> s = blank_state<3>();
  s.table.castle_deck = castle("HJ");
  s.table.castle_deck.back().decrease_attack(10);
  s.players[2].hand = hand("C2");
  s.has_turn = PlayerId{2};
  const State<3> n = after(s, play("C2"));
  EXPECT_EQ(n.current_enemy()->health, 16);
  EXPECT_EQ(n.has_turn, PlayerId{0});
  EXPECT_EQ(n.action_type, ActionType::play_cards());
  EXPECT_TRUE(n.players[2].hand.empty());
}

TEST(Strike, SpadesLoweringToZeroPassesTheTurn) {
  State<2> s = duel("HJ", "S10");
  const State<2> n = after(s, play("S10"));
  EXPECT_EQ(n.current_enemy()->attack, 0);
  EXPECT_EQ(n.has_turn, PlayerId{1});
  EXPECT_EQ(n.action_type, ActionType::play_cards());
}

TEST(Strike, TooWeakHandLosesAtOnce) {
  State<2> s = duel("SK", "C2 H3 S5");
  s.level = 3;
  EXPECT_EQ(ending(s, play("C2")), GameResult::lost(3));  // 8 left against 20
}

TEST(Strike, HandExactlyWorthTheAttackMustDiscard) {
  State<2> s = duel("HJ", "C2 S4 D6");
  const State<2> n = after(s, play("C2"));
  EXPECT_EQ(n.action_type, ActionType::discard(10));
  EXPECT_EQ(get_action_space(n).size(), 1u);
}

TEST(Yield, TwoPlayersYieldingInARowLose) {
  State<2> s = duel("HJ", "S5 H5", "D5 C5 H9");
  s.level = 5;
  const State<2> y1 = after(s, Action::yield());
  EXPECT_EQ(y1.times_yielded, 1u);
  EXPECT_EQ(y1.action_type, ActionType::discard(10));  // the enemy still strikes
  EXPECT_EQ(y1.has_turn, PlayerId{0});
  EXPECT_TRUE(y1.table.attack_cards.empty());
  const State<2> d = after(y1, Action::discard(hand("S5 H5")));
  EXPECT_EQ(d.times_yielded, 1u);  // discards keep the count
  EXPECT_EQ(d.has_turn, PlayerId{1});
  EXPECT_EQ(d.action_type, ActionType::play_cards());
  EXPECT_EQ(d.table.discard_pile, pile("S5 H5"));
  EXPECT_EQ(ending(d, Action::yield()), GameResult::lost(5));
}

TEST(Yield, PlayingResetsTheCount) {
  State<2> s = duel("HJ", "S5 H5", "C2 S10 H9");
  s.times_yielded = 1;
  s.has_turn = PlayerId{1};
  EXPECT_EQ(after(s, play("C2")).times_yielded, 0u);
}

TEST(Yield, OnePlayerYieldAlwaysLoses) {
  State<1> s = blank_state<1>();
  s.table.castle_deck = castle("HJ");
  s.players[0].hand = hand("S10 H10");
  s.level = 7;
  EXPECT_EQ(ending(s, Action::yield()), GameResult::lost(7));
}

TEST(Yield, OnePlayerYieldAfterTheLastEnemyLoses) {
  State<1> s = blank_state<1>();
  s.level = 12;
  s.players[0].hand = hand("S10");
  EXPECT_EQ(ending(s, Action::yield()), GameResult::lost(12));
}

TEST(Win, PlayAfterTheLastEnemyWins) {
  State<2> s = blank_state<2>();
  s.level = 12;
  s.players[0].hand = hand("S10 D3");
  EXPECT_EQ(ending(s, play("S10")), GameResult::won());
  EXPECT_EQ(ending(s, Action::yield()), GameResult::won());  // a first yield is resolved as a play
}

TEST(Win, LastEnemyFallsThenTheNextPlayWins) {
  State<2> s = blank_state<2>();
  s.table.castle_deck = castle("CK");
  s.table.castle_deck.back().take_damage(30);
  s.level = 11;
  s.players[0].hand = hand("H10 S2");
  const State<2> n = after(s, play("H10"));  // Hearts with an empty discard pile
  EXPECT_EQ(n.level, 12);
  EXPECT_TRUE(n.table.castle_deck.empty());
  EXPECT_EQ(n.table.tavern_deck.back(), card("CK"));
  EXPECT_EQ(ending(n, play("S2")), GameResult::won());
}

TEST(Discard, RemovesListedCardsKeepsOrderAndPassesTurn) {
  State<3> s = blank_state<3>();
  s.table.castle_deck = castle("HJ");
  s.table.discard_pile = pile("C2");
  s.players[2].hand = hand("S5 H7 D2 C9");
  s.has_turn = PlayerId{2};
  s.action_type = ActionType::discard(9);
  s.times_yielded = 2;
  const State<3> n = after(s, Action::discard(hand("H7 D2")));
  EXPECT_EQ(n.players[2].hand, hand("S5 C9"));
  EXPECT_EQ(n.table.discard_pile, pile("C2 H7 D2"));
  EXPECT_EQ(n.has_turn, PlayerId{0});
  EXPECT_EQ(n.action_type, ActionType::play_cards());
  EXPECT_EQ(n.times_yielded, 2u);
}

TEST(Refill, KeepsTheDiscardPhaseAndReplacesTheHand) {
  State<1> s = blank_state<1>();
  s.table.castle_deck = castle("SQ");
  s.table.tavern_deck = pile("C2 C3 C4 C5 C6 C7 C8 C9 C10 H2");
  s.table.discard_pile = pile("D5");
  s.players[0].hand = hand("S2 H3 X");
  s.action_type = ActionType::discard(15);
  s.times_yielded = 0;
  const State<1> n = after(s, Action::refill_hand());
  EXPECT_EQ(n.hand_refills_left, 1);
  EXPECT_EQ(n.table.discard_pile, pile("D5 S2 H3 X"));
  EXPECT_EQ(n.players[0].hand, hand("H2 C10 C9 C8 C7 C6 C5 C4"));
  EXPECT_EQ(n.table.tavern_deck, pile("C2 C3"));
  EXPECT_EQ(n.action_type, ActionType::discard(15));
  EXPECT_EQ(n.has_turn, PlayerId{0});
  EXPECT_EQ(n.current_enemy()->health, 30);
}

TEST(Refill, ShortTavernCanLeaveNoMove) {
  State<1> s = blank_state<1>();
  s.table.castle_deck = castle("SK");
  s.table.tavern_deck = pile("C2 C3");
  s.players[0].hand = hand("S10 H10");
  s.action_type = ActionType::discard(20);
  s.hand_refills_left = 1;
  const State<1> n = after(s, Action::refill_hand());
  EXPECT_EQ(n.players[0].hand, hand("C3 C2"));
  EXPECT_EQ(n.hand_refills_left, 0);
  EXPECT_TRUE(get_action_space(n).empty());
}

TEST(Refill, KeepsTheYieldCount) {
  State<1> s = blank_state<1>();
  s.table.castle_deck = castle("SK");
  s.table.tavern_deck = pile("C2 C3");
  s.times_yielded = 3;  // not reachable with one player; shows the counter is left alone
  EXPECT_EQ(after(s, Action::refill_hand()).times_yielded, 3u);
}

TEST(ApplyAction, ConsumesItsCopy) {
  const State<2> s = duel("HJ", "S7 C9 D2");
  const Outcome<2> a = apply_action(s, play("D2"));
  const Outcome<2> b = take_action(s, play("D2"));
  ASSERT_TRUE(std::holds_alternative<State<2>>(a));
  EXPECT_EQ(std::get<State<2>>(a), std::get<State<2>>(b));
}

TEST(PlayCards, EmptyPlayIsAStrike) {
  State<2> s = duel("HJ", "S7 C9 D2");
  EXPECT_EQ(play_cards(s, Hand{}), std::nullopt);
  EXPECT_EQ(s.action_type, ActionType::discard(10));
  EXPECT_EQ(s.current_enemy()->health, 20);
}

}  // namespace
