// Cards, attack values, enemies and their plain text forms.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "game/card.hpp"
#include "game/enemy.hpp"
#include "game/error.hpp"
#include "game/table.hpp"
#include "game/text.hpp"
#include "game_builders.hpp"
#include "no_colour.hpp"

namespace {

using namespace corvanta;
using test_support::card;
using test_support::cards;
using test_support::hand;

// The message of the refusal that `f` raises.
template <class F>
std::string refusal(F&& f) {
  try {
    f();
  } catch (const Fatal& e) {
    return e.what();
  }
  return "<no refusal>";
}

class AttackValueByValue : public ::testing::TestWithParam<std::tuple<CardValue, int>> {};

TEST_P(AttackValueByValue, SameForEverySuit) {
  const auto [value, expected] = GetParam();
  for (CardSuit suit : kSuits) EXPECT_EQ(attack_value(Card{suit, value}), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, AttackValueByValue,
    ::testing::Values(std::tuple{CardValue::Ace, 1}, std::tuple{CardValue::Two, 2}, std::tuple{CardValue::Three, 3},
                      std::tuple{CardValue::Four, 4}, std::tuple{CardValue::Five, 5}, std::tuple{CardValue::Six, 6},
                      std::tuple{CardValue::Seven, 7}, std::tuple{CardValue::Eight, 8},
                      std::tuple{CardValue::Nine, 9}, std::tuple{CardValue::Ten, 10}, std::tuple{CardValue::Jack, 10},
                      std::tuple{CardValue::Queen, 15}, std::tuple{CardValue::King, 20}),
    [](const auto& info) { return "value_" + std::to_string(static_cast<int>(std::get<0>(info.param))); });

TEST(AttackValue, JesterIsWorthNothing) { EXPECT_EQ(attack_value(kJester), 0); }

TEST(AttackSum, EmptyListsSumToZero) {
  EXPECT_EQ(attack_sum(Hand{}), 0);
  EXPECT_EQ(attack_sum(std::vector<Card>{}), 0);
}

TEST(AttackSum, SumsEveryCard) {
  EXPECT_EQ(attack_sum(hand("SK HA X D10 CQ")), 20 + 1 + 0 + 10 + 15);
  EXPECT_EQ(attack_sum(cards("S2 S3 S4")), 9);
}

TEST(AttackSum, WholeCardSupply) {
  // 4 x (1 + ... + 10) + 2 jesters + 4 x (10 + 15 + 20)
  Pile all;
  for (CardValue v : card_value_numbers())
    for (CardSuit s : kSuits) all.push_back(Card{s, v});
  all.push_back(kJester);
  all.push_back(kJester);
  for (CardValue v : {CardValue::Jack, CardValue::Queen, CardValue::King})
    for (CardSuit s : kSuits) all.push_back(Card{s, v});
  EXPECT_EQ(all.size(), 54u);
  EXPECT_EQ(attack_sum(all), 220 + 180);
}

TEST(CardValues, NumbersAreAceToTenInOrder) {
  const auto numbers = card_value_numbers();
  for (std::size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(static_cast<int>(numbers[i]), static_cast<int>(i) + 1);
}

TEST(CardEncoding, EnumerationValues) {
  EXPECT_EQ(static_cast<int>(CardSuit::Spades), 0);
  EXPECT_EQ(static_cast<int>(CardSuit::Hearts), 1);
  EXPECT_EQ(static_cast<int>(CardSuit::Diamonds), 2);
  EXPECT_EQ(static_cast<int>(CardSuit::Clubs), 3);
  EXPECT_EQ(static_cast<int>(CardSuit::None), 4);
  EXPECT_EQ(static_cast<int>(CardValue::Jester), 0);
  EXPECT_EQ(static_cast<int>(CardValue::King), 13);
  EXPECT_EQ(kJester, (Card{CardSuit::None, CardValue::Jester}));
}

TEST(CardEquality, BothFieldsCountAndHashesAgree) {
  std::unordered_set<Card> distinct;
  for (CardSuit s : kSuits)
    for (int v = 1; v <= 13; ++v) distinct.insert(Card{s, static_cast<CardValue>(v)});
  distinct.insert(kJester);
  distinct.insert(kJester);
  EXPECT_EQ(distinct.size(), 53u);
  EXPECT_NE(card("S5"), card("H5"));
  EXPECT_NE(card("S5"), card("S6"));
  EXPECT_EQ(std::hash<Card>{}(card("D7")), std::hash<Card>{}(Card{CardSuit::Diamonds, CardValue::Seven}));
}

class EnemyStart : public ::testing::TestWithParam<std::tuple<CardValue, int, int>> {};

TEST_P(EnemyStart, HealthAndAttackByRank) {
  const auto [value, health, attack] = GetParam();
  for (CardSuit suit : kSuits) {
    const Enemy e = Enemy::create(Card{suit, value});
    EXPECT_EQ(e.card, (Card{suit, value}));
    EXPECT_EQ(e.health, health);
    EXPECT_EQ(e.attack, attack);
    EXPECT_FALSE(e.jester_applied);
  }
}

INSTANTIATE_TEST_SUITE_P(Royals, EnemyStart,
                         ::testing::Values(std::tuple{CardValue::Jack, 20, 10}, std::tuple{CardValue::Queen, 30, 15},
                                           std::tuple{CardValue::King, 40, 20}),
                         [](const auto& info) { return "value_" + std::to_string(static_cast<int>(std::get<0>(info.param))); });

TEST(EnemyRefusal, NonRoyalCards) {
  EXPECT_EQ(refusal([] { Enemy::create(card("S5")); }), "♠5 is not an enemy");
  EXPECT_EQ(refusal([] { Enemy::create(card("DA")); }), "♦A is not an enemy");
  EXPECT_EQ(refusal([] { Enemy::create(card("H10")); }), "♥10 is not an enemy");
  EXPECT_EQ(refusal([] { Enemy::create(kJester); }), "Jester is not an enemy");
}

TEST(EnemyRefusal, DamageOutsideTheDataModel) {
  Enemy e = Enemy::create(card("CK"));
  EXPECT_EQ(refusal([&] { e.take_damage(128); }), "That's a lot of damage!");
  EXPECT_EQ(refusal([&] { e.decrease_attack(256); }), "That's a lot of damage!");
  EXPECT_EQ(e, Enemy::create(card("CK")));  // a refused change leaves the enemy untouched
  e.take_damage(127);
  EXPECT_EQ(e.health, 40 - 127);
  e.decrease_attack(255);
  EXPECT_EQ(e.attack, 0);
}

TEST(EnemyEquality, AllFieldsCount) {
  const Enemy fresh = Enemy::create(card("HQ"));
  EXPECT_EQ(fresh.health, 30);
  EXPECT_EQ(fresh.attack, 15);
  EXPECT_EQ(fresh, Enemy::create(card("HQ")));
  EXPECT_NE(fresh, Enemy::create(card("SQ")));

  Enemy damaged = fresh;
  damaged.take_damage(1);
  EXPECT_NE(damaged, fresh);
  Enemy weakened = fresh;
  weakened.decrease_attack(1);
  EXPECT_NE(weakened, fresh);
  Enemy jestered = fresh;
  jestered.apply_jester();
  EXPECT_TRUE(jestered.jester_applied);
  EXPECT_NE(jestered, fresh);
}

TEST(EnemyDamage, OverkillLeavesNegativeHealth) {
  Enemy e = Enemy::create(card("SJ"));
  e.take_damage(22);
  EXPECT_EQ(e.health, -2);
  Enemy k = Enemy::create(card("DK"));
  k.take_damage(42);  // the largest blow of the game: Ace and King doubled by Clubs
  EXPECT_EQ(k.health, -2);
}

TEST(EnemyDamage, DecreaseAttackClampsAtZero) {
  Enemy e = Enemy::create(card("SJ"));
  e.decrease_attack(3);
  EXPECT_EQ(e.attack, 7);
  e.decrease_attack(15);
  EXPECT_EQ(e.attack, 0);
  e.decrease_attack(1);
  EXPECT_EQ(e.attack, 0);
  e.decrease_attack(0);
  EXPECT_EQ(e.attack, 0);
}

TEST(SuitOrder, AnimalComboOrder) {
  EXPECT_TRUE(suit_greater(CardSuit::Hearts, CardSuit::Spades));
  EXPECT_FALSE(suit_greater(CardSuit::Spades, CardSuit::Hearts));
  for (CardSuit s : {CardSuit::Spades, CardSuit::Hearts, CardSuit::Diamonds}) {
    EXPECT_TRUE(suit_greater(CardSuit::Clubs, s));
    EXPECT_TRUE(suit_greater(s, CardSuit::None));
  }
  EXPECT_TRUE(suit_greater(CardSuit::Clubs, CardSuit::None));
  EXPECT_TRUE(suit_greater(CardSuit::Diamonds, CardSuit::Hearts));
  for (CardSuit s : {CardSuit::Spades, CardSuit::Hearts, CardSuit::Diamonds, CardSuit::Clubs, CardSuit::None})
    EXPECT_FALSE(suit_greater(s, s)) << "equal suits are not ordered";
}

TEST(PlainText, ColourIsOffUnderTheTestEnvironment) { EXPECT_FALSE(text::use_colour()); }

TEST(PlainText, Cards) {
  EXPECT_EQ(text::card(kJester), "Jester");
  EXPECT_EQ(text::card(card("D10")), "♦10");
  EXPECT_EQ(text::card(card("SK")), "♠K");
  EXPECT_EQ(text::card(card("HA")), "♥A");
  EXPECT_EQ(text::card(card("CQ")), "♣Q");
  EXPECT_EQ(text::card(card("S7")), "♠7");
  EXPECT_EQ(text::card(card("DJ")), "♦J");
  EXPECT_EQ(text::suit(CardSuit::None), "");
}

TEST(PlainText, EveryValue) {
  const std::vector<std::string> names = {"Jester", "A", "2", "3", "4", "5", "6",
                                          "7",      "8", "9", "10", "J", "Q", "K"};
  for (std::size_t v = 0; v < names.size(); ++v) EXPECT_EQ(text::value(static_cast<CardValue>(v)), names[v]);
}

TEST(PlainText, Enemy) {
  const Enemy e = Enemy::create(card("SJ"));
  EXPECT_EQ(text::debug(e), "Enemy { card: ♠J, health: 20, attack: 10, jester_applied: false }");
  EXPECT_EQ(text::debug(e, true),
            "Enemy {\n    card: ♠J,\n    health: 20,\n    attack: 10,\n    jester_applied: false,\n}");
  Enemy hurt = Enemy::create(card("HK"));
  hurt.take_damage(42);
  hurt.decrease_attack(5);
  hurt.apply_jester();
  EXPECT_EQ(text::debug(hurt), "Enemy { card: ♥K, health: -2, attack: 15, jester_applied: true }");
}

// Environment values (nullptr: unset), whether standard output is a terminal, and the decision.
struct ColourCase {
  const char* name;
  const char* clicolor_force;
  const char* no_color;
  const char* clicolor;
  bool tty;
  bool coloured;
};
class ColourDecision : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ColourDecision, Rule) {
  const ColourCase& c = GetParam();
  EXPECT_EQ(text::decide_colour(c.clicolor_force, c.no_color, c.clicolor, c.tty), c.coloured);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, ColourDecision,
    ::testing::Values(ColourCase{"terminal", nullptr, nullptr, nullptr, true, true},
                      ColourCase{"no_terminal", nullptr, nullptr, nullptr, false, false},
                      ColourCase{"forced_without_terminal", "1", nullptr, nullptr, false, true},
                      ColourCase{"forced_by_empty_value", "", nullptr, nullptr, false, true},
                      ColourCase{"forcing_beats_no_color_and_clicolor", "1", "1", "0", false, true},
                      ColourCase{"force_0_leaves_terminal_to_decide", "0", nullptr, nullptr, true, true},
                      ColourCase{"force_0_without_terminal", "0", nullptr, nullptr, false, false},
                      ColourCase{"force_0_and_no_color", "0", "1", nullptr, true, false},
                      ColourCase{"no_color_on_terminal", nullptr, "1", nullptr, true, false},
                      ColourCase{"empty_no_color_counts_as_set", nullptr, "", nullptr, true, false},
                      ColourCase{"clicolor_0_on_terminal", nullptr, nullptr, "0", true, false},
                      ColourCase{"clicolor_1_on_terminal", nullptr, nullptr, "1", true, true},
                      ColourCase{"clicolor_1_without_terminal", nullptr, nullptr, "1", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
