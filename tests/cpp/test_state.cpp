// Initial states by player count, the state's random step, determinisation and text forms.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "game/action.hpp"
#include "game/error.hpp"
#include "game/state.hpp"
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

template <int N>
std::map<std::pair<int, int>, int> cards_in_play(const State<N>& s) {
  std::map<std::pair<int, int>, int> counts;
  auto add = [&](const auto& list) {
    for (const Card& c : list) ++counts[{static_cast<int>(c.suit), static_cast<int>(c.value)}];
  };
  add(s.table.tavern_deck);
  add(s.table.discard_pile);
  add(s.table.attack_cards);
  for (const Player& p : s.players) add(p.hand);
  for (const Enemy& e : s.table.castle_deck) add(std::array<Card, 1>{e.card});
  return counts;
}

template <int N>
void check_initial_state(std::uint64_t seed) {
  const Setup setup = setup_for(N);
  const State<N> s = State<N>::create(seed);

  // The same steps done by hand: table, hands player 0 first, then the state's seed.
  StdRng rng = StdRng::seed_from_u64(seed);
  Table table = Table::create(setup.jesters, rng);
  for (int i = 0; i < N; ++i) {
    EXPECT_EQ(s.players[i].id, PlayerId{static_cast<std::uint64_t>(i)});
    EXPECT_EQ(s.players[i].hand, table.draw_cards(setup.max_hand_size)) << "player " << i;
    EXPECT_EQ(s.players[i].hand.size(), setup.max_hand_size);
  }
  EXPECT_EQ(s.table, table);
  EXPECT_EQ(s.rng_seed, rng.next_u64());

  EXPECT_EQ(s.table.castle_deck.size(), 12u);
  EXPECT_EQ(s.table.tavern_deck.size(), 40u + setup.jesters - N * setup.max_hand_size);
  EXPECT_TRUE(s.table.discard_pile.empty());
  EXPECT_TRUE(s.table.attack_cards.empty());
  EXPECT_EQ(s.has_turn, PlayerId{0});
  EXPECT_EQ(s.times_yielded, 0u);
  EXPECT_EQ(s.max_hand_size, setup.max_hand_size);
  EXPECT_EQ(s.action_type, ActionType::play_cards());
  EXPECT_EQ(s.has_ended, std::nullopt);
  EXPECT_EQ(s.level, 0);
  EXPECT_EQ(s.reward(), 0);
  EXPECT_EQ(s.hand_refills_left, setup.hand_refills);
  EXPECT_EQ(s.current_enemy(), s.table.current_enemy());
  EXPECT_EQ(s.current_enemy()->card.value, CardValue::Jack);

  const auto counts = cards_in_play(s);
  EXPECT_EQ(counts.size(), 52u + (setup.jesters > 0 ? 1u : 0u));
  for (const auto& [c, n] : counts)
    EXPECT_EQ(n, c.first == static_cast<int>(CardSuit::None) ? setup.jesters : 1);
}

TEST(InitialState, OnePlayer) {
  EXPECT_EQ(setup_for(1).max_hand_size, 8);
  EXPECT_EQ(setup_for(1).jesters, 0);
  EXPECT_EQ(setup_for(1).hand_refills, 2);
  for (std::uint64_t seed : {0ULL, 1ULL, 42ULL}) check_initial_state<1>(seed);
}
TEST(InitialState, TwoPlayers) {
  EXPECT_EQ(setup_for(2).max_hand_size, 7);
  EXPECT_EQ(setup_for(2).jesters, 0);
  EXPECT_EQ(setup_for(2).hand_refills, 0);
  for (std::uint64_t seed : {0ULL, 1ULL, 42ULL}) check_initial_state<2>(seed);
}
TEST(InitialState, ThreePlayers) {
  EXPECT_EQ(setup_for(3).max_hand_size, 6);
  EXPECT_EQ(setup_for(3).jesters, 1);
  EXPECT_EQ(setup_for(3).hand_refills, 0);
  for (std::uint64_t seed : {0ULL, 1ULL, 42ULL}) check_initial_state<3>(seed);
  EXPECT_EQ(State<3>::create(5).table.tavern_deck.size(), 23u);  // 41 - 3 x 6
}
TEST(InitialState, FourPlayers) {
  EXPECT_EQ(setup_for(4).max_hand_size, 5);
  EXPECT_EQ(setup_for(4).jesters, 2);
  EXPECT_EQ(setup_for(4).hand_refills, 0);
  for (std::uint64_t seed : {0ULL, 1ULL, 42ULL}) check_initial_state<4>(seed);
}

TEST(InitialState, SameSeedSameStateOtherSeedOtherState) {
  EXPECT_EQ(State<1>::create(9), State<1>::create(9));
  EXPECT_EQ(State<2>::create(9), State<2>::create(9));
  EXPECT_EQ(State<3>::create(9), State<3>::create(9));
  EXPECT_EQ(State<4>::create(9), State<4>::create(9));
  EXPECT_NE(State<2>::create(9), State<2>::create(10));
  EXPECT_NE(State<4>::create(9).rng_seed, State<4>::create(10).rng_seed);
}

TEST(InitialState, UnseededStatesDiffer) {
  EXPECT_NE(State<2>::create(std::nullopt), State<2>::create(std::nullopt));
}

TEST(InitialState, NewRngIsSeedFromU64) {
  StdRng a = new_rng(123);
  StdRng b = StdRng::seed_from_u64(123);
  EXPECT_EQ(a.key(), b.key());
  EXPECT_NE(new_rng(std::nullopt).key(), new_rng(std::nullopt).key());
}

TEST(RandomStep, CopiesGiveTheSameGeneratorAndSeed) {
  State<3> a = State<3>::create(31);
  State<3> b = a;
  const std::uint64_t old_seed = a.rng_seed;
  StdRng ra = a.get_rng();
  StdRng rb = b.get_rng();
  EXPECT_EQ(a, b);
  EXPECT_EQ(ra.key(), rb.key());
  for (int i = 0; i < 20; ++i) ASSERT_EQ(ra.next_u32(), rb.next_u32());

  // The step's generator is seeded from the old seed; its first 64 bits are the new seed.
  StdRng reference = StdRng::seed_from_u64(old_seed);
  EXPECT_EQ(a.rng_seed, reference.next_u64());
  // The generator handed out continues after the two words of the new seed.
  StdRng again = State<3>(b).get_rng();
  StdRng replay = StdRng::seed_from_u64(b.rng_seed);
  replay.next_u64();
  EXPECT_EQ(again.next_u32(), replay.next_u32());
  EXPECT_NE(a.rng_seed, old_seed);
}

// How many words the step says it will read chooses only how many blocks are computed first
// (one, two or a whole call's worth): the stream and the new seed are the same whatever it says.
TEST(RandomStep, TheWordsHintLeavesTheStreamAsItIs) {
  for (std::uint64_t seed = 0; seed < 20; ++seed) {
    const State<2> start = State<2>::create(seed);
    State<2> plain = start;
    StdRng expected = plain.get_rng();
    std::vector<std::uint32_t> words(300);
    for (std::uint32_t& w : words) w = expected.next_u32();
    for (std::size_t hint : {0u, 1u, 2u, 15u, 16u, 17u, 32u, 33u, 96u, 1000u}) {
      State<2> hinted = start;
      StdRng rng = hinted.get_rng(hint);
      EXPECT_EQ(hinted.rng_seed, plain.rng_seed) << "seed " << seed << ", hint " << hint;
      for (std::size_t i = 0; i < words.size(); ++i)
        ASSERT_EQ(rng.next_u32(), words[i]) << "seed " << seed << ", hint " << hint << ", word " << i;
    }
  }
}

TEST(Accessors, CurrentPlayerNextPlayer) {
  State<3> s = State<3>::create(2);
  EXPECT_EQ(&s.current_hand(), &s.players[0].hand);
  s.next_player();
  EXPECT_EQ(s.has_turn, PlayerId{1});
  EXPECT_EQ(s.current_player().id, PlayerId{1});
  s.next_player();
  s.next_player();
  EXPECT_EQ(s.has_turn, PlayerId{0});
  s.current_player_mut().hand = hand("S2");
  EXPECT_EQ(s.players[0].hand, hand("S2"));
  State<1> one = State<1>::create(2);
  one.next_player();
  EXPECT_EQ(one.has_turn, PlayerId{0});
}

TEST(Accessors, PlayerRemovesFirstEqualCardsAndTotals) {
  Player p{PlayerId{0}, hand("X S5 H7 X S5 CK")};
  EXPECT_EQ(p.total_hand_value(), 5 + 7 + 5 + 20);
  p.remove_from_hand(hand("S5 X"));
  EXPECT_EQ(p.hand, hand("H7 X S5 CK"));
  p.remove_from_hand(hand("CK D9"));  // a card not held removes nothing
  EXPECT_EQ(p.hand, hand("H7 X S5"));
}

// Against the definition, card by card: search the hand, erase the first equal card. Hands of
// every size with repeated cards (two jesters, and copies no deal holds), lists with repeats and
// with cards the hand lacks.
TEST(Accessors, RemovingCardsMatchesSearchAndEraseOverRandomHands) {
  StdRng rng = StdRng::seed_from_u64(31);
  const std::vector<Card> pool = {card("SA"), card("H2"), card("D2"), card("C9"), card("X"), card("X"), card("HK")};
  auto draw = [&](std::size_t count) {
    Hand cards;
    for (std::size_t i = 0; i < count; ++i) cards.push_back(pool[rng.below(static_cast<std::uint32_t>(pool.size()))]);
    return cards;
  };
  for (int round = 0; round < 20000; ++round) {
    Player p{PlayerId{0}, draw(rng.below(kMaxHandSize + 1))};
    const Hand removed = draw(rng.below(kMaxHandSize + 1));
    Hand expected = p.hand;
    for (const Card& c : removed) {
      for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] == c) {
          expected.erase(i);
          break;
        }
      }
    }
    const Hand before = p.hand;
    p.remove_from_hand(removed);
    ASSERT_EQ(p.hand, expected) << text::debug(before) << " less " << text::debug(removed);
  }
}

template <int N>
void check_random_permutation(std::uint64_t seed, std::uint64_t turn) {
  State<N> s = State<N>::create(seed);
  // Move a few cards around so that the discard pile and attack cards are not empty.
  s.table.discard_cards(s.table.draw_cards(4));
  s.table.add_attack_cards(s.table.draw_cards(2));
  s.has_turn = PlayerId{turn};
  const State<N> before = s;
  bool hidden_changed = false;
  for (std::uint64_t r = 0; r < 8; ++r) {
    StdRng rng = StdRng::seed_from_u64(r);
    const State<N> p = s.random_permutation(rng);
    EXPECT_EQ(s, before);  // the state itself is untouched
    EXPECT_EQ(p.current_hand(), s.current_hand());
    for (int i = 0; i < N; ++i) EXPECT_EQ(p.players[i].hand.size(), s.players[i].hand.size());
    EXPECT_EQ(p.table.tavern_deck.size(), s.table.tavern_deck.size());
    EXPECT_EQ(p.table.discard_pile.size(), s.table.discard_pile.size());
    EXPECT_EQ(p.table.attack_cards, s.table.attack_cards);
    EXPECT_EQ(p.table.castle_deck.size(), 12u);
    EXPECT_EQ(cards_in_play(p), cards_in_play(s));
    EXPECT_EQ(p.has_turn, s.has_turn);
    EXPECT_EQ(p.rng_seed, s.rng_seed);
    EXPECT_EQ(p.level, s.level);
    EXPECT_EQ(p.action_type, s.action_type);
    EXPECT_EQ(p.hand_refills_left, s.hand_refills_left);
    for (int i = 0; i < N; ++i)
      if (static_cast<std::uint64_t>(i) != turn) hidden_changed |= p.players[i].hand != s.players[i].hand;
    hidden_changed |= p.table.tavern_deck != s.table.tavern_deck;

    // The same as permuting the table directly with the other hands in player order.
    State<N> direct = s;
    std::vector<Hand*> others;
    for (Player& pl : direct.players)
      if (pl.id.value != turn) others.push_back(&pl.hand);
    StdRng again = StdRng::seed_from_u64(r);
    direct.table.permute(others, again);
    EXPECT_EQ(p, direct);
  }
  EXPECT_TRUE(hidden_changed);
}

TEST(RandomPermutation, KeepsCurrentHandAndAllSizes) {
  check_random_permutation<1>(3, 0);
  check_random_permutation<2>(3, 1);
  check_random_permutation<3>(3, 2);
  check_random_permutation<4>(3, 1);
  check_random_permutation<4>(8, 0);
}

TEST(Actions, CompareAndHashByVariantAndFields) {
  const std::hash<Action> hash;
  EXPECT_EQ(Action::play(card("S5")), Action::play(card("S5")));
  EXPECT_EQ(hash(Action::play(card("S5"))), hash(Action::play(card("S5"))));
  EXPECT_NE(Action::play(card("S5")), Action::play(card("H5")));
  EXPECT_NE(Action::play(card("S5")), Action::discard(hand("S5")));
  EXPECT_NE(Action::combo(hand("S2 H2")), Action::combo(hand("H2 S2")));
  EXPECT_NE(Action::change_player(PlayerId{0}), Action::change_player(PlayerId{1}));
  EXPECT_EQ(hash(Action::discard(hand("S3 HK"))), hash(Action::discard(hand("S3 HK"))));
  EXPECT_EQ(Action::yield(), Action::yield());
  EXPECT_NE(Action::yield(), Action::refill_hand());
  EXPECT_THROW(Action::combo(hand("S2 H2 D2 C2 S3")), Fatal);
}

TEST(Text, ActionsOneLine) {
  const std::vector<Action> actions = {
      Action::play(card("S5")),
      Action::animal_combo(card("HA"), card("C7")),
      Action::combo(hand("D2 S2")),
      Action::yield(),
      Action::discard(hand("S3 HK")),
      Action::change_player(PlayerId{1}),
      Action::refill_hand(),
      Action::play(kJester),
  };
  EXPECT_EQ(text::debug(std::span<const Action>(actions)),
            "[Play(♠5), AnimalCombo(♥A, ♣7), Combo([♦2, ♠2]), Yield, Discard([♠3, ♥K]), "
            "ChangePlayer(PlayerId(1)), RefillHand, Play(Jester)]");
  EXPECT_EQ(text::debug(std::span<const Action>()), "[]");
  EXPECT_EQ(text::debug(actions[1]), "AnimalCombo(♥A, ♣7)");
}

TEST(Text, ActionPretty) {
  EXPECT_EQ(text::debug(Action::combo(hand("D2 S2")), true), "Combo(\n    [\n        ♦2,\n        ♠2,\n    ],\n)");
  EXPECT_EQ(text::debug(Action::yield(), true), "Yield");
}

TEST(Text, SmallRecords) {
  EXPECT_EQ(text::debug(PlayerId{1}), "PlayerId(1)");
  EXPECT_EQ(text::debug(ActionType::play_cards()), "PlayCards");
  EXPECT_EQ(text::debug(ActionType::discard(5)), "Discard(5)");
  EXPECT_EQ(text::debug(ActionType::jester()), "Jester");
  EXPECT_EQ(text::debug(GameResult::won()), "Won");
  EXPECT_EQ(text::debug(GameResult::lost(3)), "Lost(3)");
  EXPECT_EQ(text::debug(std::optional<GameResult>{}), "None");
  EXPECT_EQ(text::debug(std::optional<GameResult>{GameResult::lost(0)}), "Some(Lost(0))");
  EXPECT_EQ(text::debug(CorvantaError::WrongNumberOfPlayers), "WrongNumberOfPlayers");
  EXPECT_EQ(text::debug(Player{PlayerId{2}, hand("S5 X HK")}), "Player { id: PlayerId(2), hand: [♠5, Jester, ♥K] }");
  EXPECT_EQ(text::debug(Player{PlayerId{0}, Hand{}}), "Player { id: PlayerId(0), hand: [] }");
}

TEST(Text, EnemyOption) {
  const Enemy e = Enemy::create(card("SJ"));
  EXPECT_EQ(text::debug(&e), "Some(Enemy { card: ♠J, health: 20, attack: 10, jester_applied: false })");
  EXPECT_EQ(text::debug(&e, true),
            "Some(\n    Enemy {\n        card: ♠J,\n        health: 20,\n        attack: 10,\n"
            "        jester_applied: false,\n    },\n)");
  EXPECT_EQ(text::debug(static_cast<const Enemy*>(nullptr)), "None");
  EXPECT_EQ(text::debug(static_cast<const Enemy*>(nullptr), true), "None");
}

State<2> small_state() {
  State<2> s = test_support::blank_state<2>();
  s.table.castle_deck = castle("HQ SJ");
  s.table.tavern_deck = pile("C3 X");
  s.table.discard_pile = pile("DA");
  s.players[0].hand = hand("S5 H10");
  s.players[1].hand = hand("CK");
  s.has_turn = PlayerId{1};
  s.times_yielded = 1;
  s.action_type = ActionType::discard(7);
  s.level = 4;
  s.rng_seed = 77;
  return s;
}

TEST(Text, StateDisplay) {
  EXPECT_EQ(text::display(small_state()),
            "Player: PlayerId(1)\nHand:   [♣K]\nEnemy:  Some(Enemy { card: ♠J, health: 20, attack: 10, "
            "jester_applied: false })");
  State<2> ended = small_state();
  ended.table.castle_deck.clear();
  ended.players[1].hand.clear();
  EXPECT_EQ(text::display(ended), "Player: PlayerId(1)\nHand:   []\nEnemy:  None");
}

TEST(Text, StateDebugOneLine) {
  EXPECT_EQ(text::debug(small_state()),
            "State { table: Table { castle_deck: [Enemy { card: ♥Q, health: 30, attack: 15, jester_applied: false }, "
            "Enemy { card: ♠J, health: 20, attack: 10, jester_applied: false }], tavern_deck: [♣3, Jester], "
            "discard_pile: [♦A], attack_cards: [] }, players: [Player { id: PlayerId(0), hand: [♠5, ♥10] }, "
            "Player { id: PlayerId(1), hand: [♣K] }], has_turn: PlayerId(1), times_yielded: 1, max_hand_size: 7, "
            "action_type: Discard(7), has_ended: None, level: 4, rng_seed: 77, hand_refills_left: 0 }");
}

TEST(Text, StateDebugPretty) {
  State<1> s = blank_state<1>();
  s.table.castle_deck = castle("DK");
  s.players[0].hand = hand("S2");
  s.has_ended = GameResult::lost(2);
  s.rng_seed = 5;
  EXPECT_EQ(text::debug(s, true),
            "State {\n"
            "    table: Table {\n"
            "        castle_deck: [\n"
            "            Enemy {\n"
            "                card: ♦K,\n"
            "                health: 40,\n"
            "                attack: 20,\n"
            "                jester_applied: false,\n"
            "            },\n"
            "        ],\n"
            "        tavern_deck: [],\n"
            "        discard_pile: [],\n"
            "        attack_cards: [],\n"
            "    },\n"
            "    players: [\n"
            "        Player {\n"
            "            id: PlayerId(\n"
            "                0,\n"
            "            ),\n"
            "            hand: [\n"
            "                ♠2,\n"
            "            ],\n"
            "        },\n"
            "    ],\n"
            "    has_turn: PlayerId(\n"
            "        0,\n"
            "    ),\n"
            "    times_yielded: 0,\n"
            "    max_hand_size: 8,\n"
            "    action_type: PlayCards,\n"
            "    has_ended: Some(\n"
            "        Lost(\n"
            "            2,\n"
            "        ),\n"
            "    ),\n"
            "    level: 0,\n"
            "    rng_seed: 5,\n"
            "    hand_refills_left: 2,\n"
            "}");
}

}  // namespace

// What each re-deal keeps: the public discard pile under HiddenOnly, every hand and the discard
// pile under Unseen; the cards themselves are never created or lost.
template <int N>
void check_redeal_kinds(std::uint64_t seed) {
  State<N> s = State<N>::create(seed);
  s.table.discard_cards(s.table.draw_cards(5));
  s.table.castle_deck.back().take_damage(3);
  s.has_turn = PlayerId{seed % N};
  bool hidden_changed = false, tavern_changed = false;
  for (std::uint64_t r = 0; r < 8; ++r) {
    StdRng rng = StdRng::seed_from_u64(r);
    const State<N> hidden = s.redeal(Redeal::HiddenOnly, rng);
    const State<N> unseen = s.redeal(Redeal::Unseen, rng);
    for (const State<N>* p : {&hidden, &unseen}) {
      EXPECT_EQ(p->table.discard_pile, s.table.discard_pile);
      EXPECT_EQ(p->current_hand(), s.current_hand());
      EXPECT_EQ(p->table.castle_deck.back(), s.table.castle_deck.back());
      EXPECT_EQ(p->table.tavern_deck.size(), s.table.tavern_deck.size());
      EXPECT_EQ(cards_in_play(*p), cards_in_play(s));
    }
    for (int i = 0; i < N; ++i) {
      EXPECT_EQ(unseen.players[i].hand, s.players[i].hand);
      EXPECT_EQ(hidden.players[i].hand.size(), s.players[i].hand.size());
      hidden_changed |= hidden.players[i].hand != s.players[i].hand;
    }
    tavern_changed |= unseen.table.tavern_deck != s.table.tavern_deck;
  }
  EXPECT_EQ(hidden_changed, N > 1);
  EXPECT_TRUE(tavern_changed);
}

TEST(Redeal, KeepsWhatEachKindTreatsAsKnown) {
  check_redeal_kinds<1>(4);
  check_redeal_kinds<2>(5);
  check_redeal_kinds<4>(6);
}
