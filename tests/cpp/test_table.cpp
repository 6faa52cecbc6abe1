// Deck building, drawing, the Hearts return and the determinisation shuffle.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

#include "game/error.hpp"
#include "game/state.hpp"
#include "game/table.hpp"
#include "game_builders.hpp"
#include "no_colour.hpp"

namespace {

using namespace corvanta;
using test_support::card;
using test_support::castle;
using test_support::enemy;
using test_support::hand;
using test_support::pile;

std::map<std::pair<int, int>, int> card_counts(std::initializer_list<const Pile*> piles) {
  std::map<std::pair<int, int>, int> counts;
  for (const Pile* p : piles)
    for (const Card& c : *p) ++counts[{static_cast<int>(c.suit), static_cast<int>(c.value)}];
  return counts;
}

void expect_fresh_castle(const CastleDeck& deck) {
  ASSERT_EQ(deck.size(), 12u);
  const CardValue ranks[3] = {CardValue::King, CardValue::Queen, CardValue::Jack};
  for (std::size_t group = 0; group < 3; ++group) {
    std::array<bool, 4> seen{};
    for (std::size_t i = 4 * group; i < 4 * group + 4; ++i) {
      const Enemy& e = deck[i];
      EXPECT_EQ(e.card.value, ranks[group]) << "position " << i;
      EXPECT_EQ(e, Enemy::create(e.card)) << "position " << i;
      seen[static_cast<std::size_t>(e.card.suit)] = true;
    }
    EXPECT_EQ(seen, (std::array<bool, 4>{true, true, true, true})) << "group " << group;
  }
}

class FreshTable : public ::testing::TestWithParam<int> {};

TEST_P(FreshTable, DecksAndEmptyPiles) {
  const auto jesters = static_cast<std::uint8_t>(GetParam());
  for (std::uint64_t seed : {0ULL, 1ULL, 99ULL}) {
    StdRng rng = StdRng::seed_from_u64(seed);
    const Table t = Table::create(jesters, rng);
    expect_fresh_castle(t.castle_deck);
    EXPECT_EQ(t.current_enemy()->card.value, CardValue::Jack);
    EXPECT_EQ(t.castle_deck[0].card.value, CardValue::King);
    ASSERT_EQ(t.tavern_deck.size(), 40u + jesters);
    EXPECT_TRUE(t.discard_pile.empty());
    EXPECT_TRUE(t.attack_cards.empty());
    const auto counts = card_counts({&t.tavern_deck});
    EXPECT_EQ(counts.size(), jesters ? 41u : 40u);
    for (const auto& [c, n] : counts) {
      if (c.first == static_cast<int>(CardSuit::None)) {
        EXPECT_EQ(n, jesters);
      } else {
        EXPECT_EQ(n, 1);
        EXPECT_GE(c.second, 1);
        EXPECT_LE(c.second, 10);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Jesters, FreshTable, ::testing::Values(0, 1, 2),
                         [](const auto& info) { return std::to_string(info.param) + "_jesters"; });

TEST(FreshTable, MoreThanTwoJestersRefused) {
  StdRng rng = StdRng::seed_from_u64(0);
  EXPECT_THROW(Table::create(3, rng), Fatal);
}

TEST(FreshTable, CastleGroupsAreShuffledKingsQueensJacks) {
  // Each rank's four enemies, built Spades to Clubs, shuffled with the same generator in turn.
  StdRng rng = StdRng::seed_from_u64(7);
  StdRng reference = rng;
  const CastleDeck deck = new_castle_deck(rng);
  CastleDeck expected;
  for (CardValue v : {CardValue::King, CardValue::Queen, CardValue::Jack}) {
    std::array<Enemy, 4> group;
    for (std::size_t i = 0; i < 4; ++i) group[i] = Enemy::create(Card{kSuits[i], v});
    reference.shuffle(group.data(), group.size());
    for (const Enemy& e : group) expected.push_back(e);
  }
  EXPECT_EQ(deck, expected);
  EXPECT_EQ(rng.next_u64(), reference.next_u64());
}

TEST(FreshTable, TavernIsNumberCardsSuitBySuitThenJestersShuffled) {
  StdRng rng = StdRng::seed_from_u64(3);
  StdRng reference = rng;
  const Pile deck = new_tavern_deck(2, rng);
  Pile expected;
  for (int v = 1; v <= 10; ++v)
    for (CardSuit s : kSuits) expected.push_back(Card{s, static_cast<CardValue>(v)});
  expected.push_back(kJester);
  expected.push_back(kJester);
  EXPECT_EQ(expected[0], card("SA"));
  reference.shuffle(expected);
  EXPECT_EQ(deck, expected);
  EXPECT_EQ(rng.next_u64(), reference.next_u64());
}

TEST(FreshTable, CastleFirstThenTavernFromOneGenerator) {
  StdRng rng = StdRng::seed_from_u64(11);
  StdRng reference = rng;
  const Table t = Table::create(1, rng);
  const CastleDeck castle_deck = new_castle_deck(reference);
  const Pile tavern = new_tavern_deck(1, reference);
  EXPECT_EQ(t.castle_deck, castle_deck);
  EXPECT_EQ(t.tavern_deck, tavern);
  EXPECT_EQ(rng.next_u64(), reference.next_u64());
}

TEST(FreshTable, SameSeedSameTableOtherSeedOtherTable) {
  StdRng a = StdRng::seed_from_u64(5), b = StdRng::seed_from_u64(5), c = StdRng::seed_from_u64(6);
  const Table ta = Table::create(2, a), tb = Table::create(2, b), tc = Table::create(2, c);
  EXPECT_EQ(ta, tb);
  EXPECT_EQ(a.next_u64(), b.next_u64());
  EXPECT_NE(ta.tavern_deck, tc.tavern_deck);
}

TEST(Drawing, ShortDeckGivesWhatIsThere) {
  Table t;
  t.tavern_deck = pile("S2 H3 D4");  // D4 on top
  const Hand drawn = t.draw_cards(5);
  EXPECT_EQ(drawn, hand("D4 H3 S2"));
  EXPECT_TRUE(t.tavern_deck.empty());
  EXPECT_TRUE(t.draw_cards(3).empty());
  EXPECT_EQ(t.draw_card(), std::nullopt);
}

TEST(Drawing, TakesFromTheTop) {
  Table t;
  t.tavern_deck = pile("S2 H3 D4 C5 S6 S7 S8 S9 S10 HA");
  EXPECT_TRUE(t.draw_cards(0).empty());
  EXPECT_EQ(t.draw_card(), card("HA"));
  EXPECT_EQ(t.draw_cards(8), hand("S10 S9 S8 S7 S6 C5 D4 H3"));
  EXPECT_EQ(t.tavern_deck, pile("S2"));
}

// Every count from decks of every size, the fast copy's edges included (decks of seven, eight and
// nine cards): the same cards, in the same order, as drawing card by card.
TEST(Drawing, AnyCountFromAnyDeckIsCardByCard) {
  const Pile all = pile("SA S2 S3 S4 S5 S6 S7 S8 S9 S10 HA H2 H3 H4 H5 H6 H7 H8 H9 H10");
  for (std::size_t size = 0; size <= all.size(); ++size) {
    for (std::size_t n = 0; n <= kMaxHandSize; ++n) {
      Table t;
      t.tavern_deck.assign(all.data(), size);
      Table by_card = t;
      Hand expected;
      for (std::size_t i = 0; i < n; ++i)
        if (const auto c = by_card.draw_card()) expected.push_back(*c);
      EXPECT_EQ(t.draw_cards(n), expected) << size << " cards, " << n << " drawn";
      EXPECT_EQ(t, by_card) << size << " cards, " << n << " drawn";
    }
  }
}

TEST(Drawing, MoreThanAHandRefused) {
  Table t;
  t.tavern_deck = pile("S2 H3 D4 C5 S6 S7 S8 S9 S10 HA");
  EXPECT_THROW(t.draw_cards(9), Fatal);
  EXPECT_EQ(t.tavern_deck.size(), 10u);
}

TEST(PileMoves, AttackCardsDiscardsAndTavernTop) {
  Table t;
  t.discard_pile = pile("S2");
  t.add_attack_cards(hand("H5 X"));
  t.add_attack_cards(hand("C3"));
  EXPECT_EQ(t.attack_cards, pile("H5 X C3"));
  t.discard_card(card("DK"));
  t.discard_attack_cards();
  EXPECT_EQ(t.discard_pile, pile("S2 DK H5 X C3"));
  EXPECT_TRUE(t.attack_cards.empty());
  t.tavern_deck = pile("S9");
  t.add_to_top_of_tavern_deck(card("HQ"));
  EXPECT_EQ(t.draw_card(), card("HQ"));
}

// The Hearts return with the shuffle replayed on a copy of the generator.
struct Healed {
  Pile tavern;
  Pile discard;
};
Healed expected_heal(Pile tavern, Pile discard, std::size_t n, StdRng rng) {
  rng.shuffle(discard);
  const std::size_t moved = std::min(n, discard.size());
  Pile new_tavern;
  // Cards taken from the end one by one, each inserted at the bottom.
  for (std::size_t i = 0; i < moved; ++i) new_tavern.insert(0, discard[discard.size() - 1 - i]);
  for (const Card& c : tavern) new_tavern.push_back(c);
  discard.truncate(discard.size() - moved);
  return {new_tavern, discard};
}

TEST(HealFromDiscard, MoreThanThePileMovesAllUnderTheTavern) {
  Table t;
  t.tavern_deck = pile("S9 S10");
  t.discard_pile = pile("H2 H3 H4 D5");
  StdRng rng = StdRng::seed_from_u64(21);
  const Healed want = expected_heal(t.tavern_deck, t.discard_pile, 10, rng);
  t.heal_from_discard(10, rng);
  EXPECT_TRUE(t.discard_pile.empty());
  EXPECT_EQ(t.tavern_deck, want.tavern);
  EXPECT_EQ(t.tavern_deck.size(), 6u);
  EXPECT_EQ(t.tavern_deck[4], card("S9"));
  EXPECT_EQ(t.tavern_deck.back(), card("S10"));  // the former top stays the top
}

TEST(HealFromDiscard, TwoOfFive) {
  Table t;
  t.tavern_deck = pile("C7");
  t.discard_pile = pile("H2 H3 H4 D5 S6");
  for (std::uint64_t seed = 0; seed < 20; ++seed) {
    Table copy = t;
    StdRng rng = StdRng::seed_from_u64(seed);
    const Healed want = expected_heal(copy.tavern_deck, copy.discard_pile, 2, rng);
    copy.heal_from_discard(2, rng);
    EXPECT_EQ(copy.discard_pile.size(), 3u);
    EXPECT_EQ(copy.tavern_deck, want.tavern);
    EXPECT_EQ(copy.discard_pile, want.discard);
  }
}

TEST(HealFromDiscard, ZeroStillShufflesTheDiscardPile) {
  Table t;
  t.discard_pile = pile("H2 H3 H4 D5 S6 S7 S8");
  StdRng rng = StdRng::seed_from_u64(4);
  StdRng reference = rng;
  Pile shuffled = t.discard_pile;
  reference.shuffle(shuffled);
  t.heal_from_discard(0, rng);
  EXPECT_EQ(t.discard_pile, shuffled);
  EXPECT_TRUE(t.tavern_deck.empty());
  EXPECT_EQ(rng.next_u32(), reference.next_u32());
}

TEST(HealFromDiscard, EmptyDiscardMovesNothing) {
  Table t;
  t.tavern_deck = pile("C7 C8");
  StdRng rng = StdRng::seed_from_u64(4);
  StdRng reference = rng;
  t.heal_from_discard(5, rng);
  EXPECT_EQ(t.tavern_deck, pile("C7 C8"));
  EXPECT_EQ(rng.next_u32(), reference.next_u32());
}

// The determinisation shuffle replayed step by step on a copy of the generator.
Table expected_permute(Table t, std::vector<Hand>& hands, StdRng rng) {
  const CastleDeck fresh = new_castle_deck(rng);
  if (!t.castle_deck.empty()) {
    CastleDeck kept;
    for (const Enemy& e : fresh)
      if (std::count(t.castle_deck.begin(), t.castle_deck.end() - 1, e) > 0) kept.push_back(e);
    kept.push_back(t.castle_deck.back());
    t.castle_deck = kept;
  }
  Pile pool = t.discard_pile;
  for (const Hand& h : hands)
    for (const Card& c : h) pool.push_back(c);
  for (const Card& c : t.tavern_deck) pool.push_back(c);
  rng.shuffle(pool);
  std::size_t next = 0;
  for (Hand& h : hands)
    for (Card& c : h) c = pool[next++];
  for (Card& c : t.tavern_deck) c = pool[next++];
  for (Card& c : t.discard_pile) c = pool[next++];
  return t;
}

Table mid_game_table() {
  Table t;
  t.castle_deck = castle("SK HK DK CK SQ HQ DQ CQ CJ HJ");  // two Jacks defeated
  t.tavern_deck = pile("S2 S3 H4 H5 D6 D7 C8 SJ");
  t.discard_pile = pile("C9 C10 DJ HA");
  t.attack_cards = pile("S4 D2");
  return t;
}

TEST(Permute, NoHandsStillRebuildsCastleAndReshuffles) {
  const Table before = mid_game_table();
  for (std::uint64_t seed = 0; seed < 10; ++seed) {
    Table t = before;
    StdRng rng = StdRng::seed_from_u64(seed);
    std::vector<Hand> none;
    const Table want = expected_permute(t, none, rng);
    t.permute({}, rng);
    EXPECT_EQ(t, want);
    EXPECT_EQ(t.castle_deck.size(), 10u);
    EXPECT_EQ(t.attack_cards, before.attack_cards);
    EXPECT_EQ(t.tavern_deck.size(), before.tavern_deck.size());
    EXPECT_EQ(t.discard_pile.size(), before.discard_pile.size());
    EXPECT_EQ(card_counts({&t.tavern_deck, &t.discard_pile}),
              card_counts({&before.tavern_deck, &before.discard_pile}));
    // Kept enemies follow the fresh castle order: still Kings, Queens, Jacks from the bottom.
    for (std::size_t i = 1; i < t.castle_deck.size(); ++i)
      EXPECT_GE(t.castle_deck[i - 1].card.value, t.castle_deck[i].card.value);
  }
}

TEST(Permute, HandsArePooledAndRedealtInTheirSizes) {
  const Table before = mid_game_table();
  Hand a = hand("S5 X H6"), b = hand("DA C2 S8 H9 H10");
  std::vector<Hand> want_hands = {a, b};
  StdRng rng = StdRng::seed_from_u64(77);
  const Table want = expected_permute(before, want_hands, rng);
  Table t = before;
  std::array<Hand*, 2> hands = {&a, &b};
  t.permute(hands, rng);
  EXPECT_EQ(t, want);
  EXPECT_EQ(a, want_hands[0]);
  EXPECT_EQ(b, want_hands[1]);
  Pile all_after = t.tavern_deck, all_before = before.tavern_deck;
  for (const Card& c : a) all_after.push_back(c);
  for (const Card& c : b) all_after.push_back(c);
  for (const Card& c : hand("S5 X H6 DA C2 S8 H9 H10")) all_before.push_back(c);
  EXPECT_EQ(card_counts({&all_after, &t.discard_pile}), card_counts({&all_before, &before.discard_pile}));
}

// The face-up enemy keeps every field and its place, however it has been hurt; only the enemies
// below it are redrawn, and the generator is consumed as for a fresh table.
TEST(Permute, FaceUpEnemyStaysOnTopAsItIs) {
  Table hurt = mid_game_table();
  hurt.castle_deck.back().take_damage(4);
  hurt.castle_deck.back().decrease_attack(3);
  hurt.castle_deck.back().apply_jester();
  for (const Table& before : {mid_game_table(), hurt}) {
    for (std::uint64_t seed = 0; seed < 10; ++seed) {
      Table t = before;
      StdRng rng = StdRng::seed_from_u64(seed);
      std::vector<Hand> none;
      const Table want = expected_permute(before, none, rng);
      t.permute({}, rng);
      EXPECT_EQ(t, want);
      ASSERT_EQ(t.castle_deck.size(), before.castle_deck.size());
      EXPECT_EQ(t.castle_deck.back(), before.castle_deck.back());
    }
  }
}

TEST(Permute, EmptyCastleStaysEmpty) {
  Table t = mid_game_table();
  t.castle_deck.clear();
  StdRng rng = StdRng::seed_from_u64(5);
  t.permute({}, rng);
  EXPECT_TRUE(t.castle_deck.empty());
}

TEST(Permute, FreshCastleKeepsTheTopAndRedrawsBelow) {
  StdRng setup = StdRng::seed_from_u64(2);
  const Table before = Table::create(0, setup);
  bool below_changed = false;
  for (std::uint64_t seed = 0; seed < 16; ++seed) {
    Table t = before;
    StdRng rng = StdRng::seed_from_u64(seed);
    t.permute({}, rng);
    expect_fresh_castle(t.castle_deck);
    EXPECT_EQ(t.castle_deck.back(), before.castle_deck.back());
    below_changed |= t.castle_deck != before.castle_deck;
  }
  EXPECT_TRUE(below_changed);
}

}  // namespace
