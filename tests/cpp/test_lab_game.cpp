// The lab's steppable game over many seeded random games: action ids against the rules engine's
// listing, bytes round trips, and re-deals from a seat's view against that seat's observation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "lab/game.hpp"
#include "lab/values.hpp"

namespace {

using namespace corvanta;
using namespace corvanta::lab;

constexpr int kGamesPerCount = 2000;

// Every position of a seeded game played by uniform choices from the legal listing.
template <class Visit>
void for_each_position(int players, std::uint64_t seed, Visit&& visit) {
  Game game = Game::create(players, seed);
  std::mt19937_64 choose(seed);
  for (;;) {
    visit(static_cast<const Game&>(game));
    if (game.over()) return;
    const std::size_t n = game.legal_actions().size();
    game.apply_index(std::uniform_int_distribution<std::size_t>(0, n - 1)(choose));
  }
}

std::vector<float> observation_of(const Game& g, int seat) {
  std::vector<float> out(kObservationSize);
  g.observation(seat, out.data());
  return out;
}

std::vector<int> sorted_cards(const FixedVec<Card, kMaxDiscardCards>& cards) {
  std::vector<int> out;
  for (const Card& c : cards) out.push_back(card_index(c));
  std::sort(out.begin(), out.end());
  return out;
}

class LabGame : public ::testing::TestWithParam<int> {};

TEST_P(LabGame, IdsNameTheLegalActionsOneToOne) {
  const int players = GetParam();
  for (std::uint64_t seed = 0; seed < kGamesPerCount; ++seed) {
    for_each_position(players, seed, [&](const Game& g) {
      std::array<std::uint8_t, kNumActionIds> mask{};
      g.action_mask(mask.data());
      const std::vector<int> ids = g.legal_action_ids();
      std::vector<int> from_mask;
      for (int id = 0; id < kNumActionIds; ++id)
        if (mask[id]) from_mask.push_back(id);
      ASSERT_EQ(ids, from_mask) << "seed " << seed << " turn " << g.history().size();

      // The listing's ids are the mask's; actions with one id play or discard the same cards (the
      // listing may name a set of cards in two orders, or the jester held twice twice); each id
      // names back the first action listed for it.
      std::array<std::optional<Action>, kNumActionIds> named{};
      std::vector<int> listed;
      for (const Action& a : g.legal_actions()) {
        const int id = g.id_of(a);
        if (named[id]) {
          ASSERT_EQ(named[id]->kind, a.kind) << "id " << id;
          ASSERT_EQ(sorted_cards(named[id]->cards), sorted_cards(a.cards)) << "two actions share id " << id;
          continue;
        }
        named[id] = a;
        listed.push_back(id);
        const std::optional<Action> back = g.action_for_id(id);
        ASSERT_TRUE(back.has_value()) << action_repr(a) << " has id " << id << ", which is not legal";
        ASSERT_EQ(*back, a) << "seed " << seed << " id " << id;
      }
      std::sort(listed.begin(), listed.end());
      ASSERT_EQ(listed, ids) << "seed " << seed << " turn " << g.history().size();
      for (int id = 0; id < kNumActionIds; ++id) {
        if (!mask[id]) {
          ASSERT_FALSE(g.action_for_id(id).has_value()) << "id " << id;
        }
      }
    });
  }
}

TEST_P(LabGame, BytesRoundTripAtEveryPosition) {
  const int players = GetParam();
  for (std::uint64_t seed = 0; seed < kGamesPerCount / 3; ++seed) {
    for_each_position(players, seed, [&](const Game& g) {
      const std::string bytes = g.to_bytes();
      const Game back = Game::from_bytes(bytes);
      ASSERT_TRUE(back == g) << "seed " << seed << " turn " << g.history().size();
      ASSERT_EQ(back.to_bytes(), bytes);
    });
  }
}

TEST_P(LabGame, DamagedBytesAreRefusedOrReadConsistently) {
  const int players = GetParam();
  std::mt19937_64 damage(players);
  int refused = 0;
  for (std::uint64_t seed = 0; seed < 20; ++seed) {
    for_each_position(players, seed, [&](const Game& g) {
      if (g.history().size() % 7 != 0) return;
      std::string bytes = g.to_bytes();
      const std::size_t at = std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(damage);
      bytes[at] = static_cast<char>(bytes[at] ^ (1 + damage() % 255));
      try {
        // What is accepted must be a game that writes itself back the same way.
        const Game read = Game::from_bytes(bytes);
        ASSERT_EQ(read.to_bytes(), bytes);
      } catch (const Invalid&) {
        ++refused;
      }
      ASSERT_THROW(Game::from_bytes(bytes.substr(0, at)), Invalid);
    });
  }
  EXPECT_GT(refused, 0);
}

// A re-deal from a seat's view keeps everything that seat sees, moves only hidden cards, and
// keeps every card of the game exactly once.
TEST_P(LabGame, ResamplingKeepsTheSeatsObservation) {
  const int players = GetParam();
  int changed = 0;
  for (std::uint64_t seed = 0; seed < kGamesPerCount / 3; ++seed) {
    for_each_position(players, seed, [&](const Game& g) {
      for (int seat = 0; seat < players; ++seat) {
        const Game other = g.resample(seat, seed * 31 + g.history().size());
        ASSERT_EQ(observation_of(other, seat), observation_of(g, seat)) << "seed " << seed << " seat " << seat;
        std::visit(
            [&](const auto& s) {
              const auto& o = std::get<std::decay_t<decltype(s)>>(other.state());
              ASSERT_EQ(o.players[seat].hand, s.players[seat].hand);
              ASSERT_EQ(o.table.discard_pile, s.table.discard_pile);
              ASSERT_EQ(o.table.attack_cards, s.table.attack_cards);
              ASSERT_EQ(o.card_tally(), s.card_tally());
              changed += !(o == s);
            },
            g.state());
      }
    });
  }
  EXPECT_GT(changed, kGamesPerCount);
}

INSTANTIATE_TEST_SUITE_P(Players, LabGame, ::testing::Values(1, 2, 3, 4));

TEST(LabObservation, TheLayoutTilesTheVector) {
  int next = 0;
  for (const obs::PartInfo& part : obs::kLayout) {
    EXPECT_EQ(obs::at(part.part), next) << part.name;
    EXPECT_GT(part.width, 0) << part.name;
    next += part.width;
  }
  EXPECT_EQ(next, kObservationSize);
  EXPECT_EQ(kObservationSize, 260);
}

TEST(LabValues, ConstructionChecksEveryField) {
  EXPECT_THROW(make_card(CardSuit::None, CardValue::Five), Invalid);
  EXPECT_THROW(make_card(CardSuit::Hearts, CardValue::Jester), Invalid);
  EXPECT_THROW(card_at(53), Invalid);
  EXPECT_EQ(card_of_text("10C"), (Card{CardSuit::Clubs, CardValue::Ten}));
  EXPECT_THROW(card_of_text("11h"), Invalid);
  EXPECT_THROW(make_enemy(card_of_text("5h"), std::nullopt, std::nullopt, false), Invalid);
  EXPECT_THROW(make_enemy(card_of_text("Ks"), 41, std::nullopt, false), Invalid);
  const Card five = card_of_text("5h"), ace = card_of_text("Ah");
  EXPECT_THROW(make_action(Action::Kind::Play, {}, std::nullopt), Invalid);
  EXPECT_THROW(make_action(Action::Kind::Combo, {five, five, five, five, five}, std::nullopt), Invalid);
  EXPECT_THROW(make_action(Action::Kind::AnimalCombo, {five, ace}, std::nullopt), Invalid);
  EXPECT_THROW(make_action(Action::Kind::Yield, {five}, std::nullopt), Invalid);
  EXPECT_THROW(make_action(Action::Kind::ChangePlayer, {}, 4), Invalid);
  EXPECT_THROW(make_action(Action::Kind::Play, {five}, 1), Invalid);
  EXPECT_EQ(make_action(Action::Kind::AnimalCombo, {ace, five}, std::nullopt), Action::animal_combo(ace, five));
  EXPECT_EQ(action_repr(Action::play(five)), "Action(ActionKind.PLAY, (Card.parse('5h'),))");
}

}  // namespace
