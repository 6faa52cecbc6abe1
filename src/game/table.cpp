#include "game/table.hpp"

#include <algorithm>
#include <array>

namespace corvanta {

namespace {

// Kings, Queens, Jacks, each in the suit order: the castle deck before its groups are shuffled.
constexpr std::array<Enemy, 12> kFreshEnemies = [] {
  std::array<Enemy, 12> enemies{};
  std::size_t i = 0;
  for (CardValue value : {CardValue::King, CardValue::Queen, CardValue::Jack})
    for (CardSuit suit : kSuits) enemies[i++] = Enemy::create(Card{suit, value});
  return enemies;
}();

// Ace to Ten, each value in the four suits in order: the unshuffled number cards.
constexpr std::array<Card, 40> kNumberCards = [] {
  std::array<Card, 40> cards{};
  std::size_t i = 0;
  for (CardValue value : card_value_numbers())
    for (CardSuit suit : kSuits) cards[i++] = Card{suit, value};
  return cards;
}();

}  // namespace

CastleDeck new_castle_deck(StdRng& rng) {
  CastleDeck deck;
  deck.assign(kFreshEnemies.data(), kFreshEnemies.size());
  for (std::size_t group = 0; group < kFreshEnemies.size(); group += 4) rng.shuffle(deck.data() + group, 4);
  return deck;
}

Pile new_tavern_deck(std::uint8_t jesters, StdRng& rng) {
  if (jesters > 2) fail("a game has at most 2 jester cards");
  Pile deck;
  deck.assign(kNumberCards.data(), kNumberCards.size());
  for (std::uint8_t i = 0; i < jesters; ++i) deck.push_back(kJester);
  rng.shuffle(deck);
  return deck;
}

Table Table::create(std::uint8_t jesters, StdRng& rng) {
  Table table;
  table.castle_deck = new_castle_deck(rng);
  table.tavern_deck = new_tavern_deck(jesters, rng);
  return table;
}

Hand Table::draw_cards(std::size_t n) {
  if (n > kMaxHandSize) fail("cannot draw more than 8 cards at once");
  Hand drawn;
  for (std::size_t i = 0; i < n && !tavern_deck.empty(); ++i) drawn.push_back(tavern_deck.pop_back());
  return drawn;
}

void Table::heal_from_discard(std::size_t n, StdRng& rng) {
  rng.shuffle(discard_pile);
  const std::size_t moved = std::min(n, discard_pile.size());
  if (moved == 0) return;
  // Taking cards one by one from the end and inserting each at index 0 leaves them, below the
  // former tavern cards, in the order they lay in the discard pile.
  const std::size_t first = discard_pile.size() - moved;
  Pile rebuilt;
  for (std::size_t i = first; i < discard_pile.size(); ++i) rebuilt.push_back(discard_pile[i]);
  for (const Card& c : tavern_deck) rebuilt.push_back(c);
  tavern_deck = rebuilt;
  discard_pile.truncate(first);
}

void Table::permute(std::span<Hand* const> hands, StdRng& rng) {
  // The current enemy lies face up, so it stays on top exactly as it is (damage, weakened attack,
  // jester included). The face-down enemies below it are still fresh; their order within each
  // rank is drawn anew from a fresh castle deck, which also keeps the generator's consumption the
  // same whatever the state of the table.
  const CastleDeck fresh = new_castle_deck(rng);
  if (!castle_deck.empty()) {
    const Enemy face_up = castle_deck.back();
    const Enemy* hidden_begin = castle_deck.begin();
    const Enemy* hidden_end = castle_deck.end() - 1;
    CastleDeck kept;
    for (const Enemy& e : fresh)
      if (std::find(hidden_begin, hidden_end, e) != hidden_end) kept.push_back(e);
    kept.push_back(face_up);
    castle_deck = kept;
  }

  Pile pool;
  for (const Card& c : discard_pile) pool.push_back(c);
  for (const Hand* hand : hands)
    for (const Card& c : *hand) pool.push_back(c);
  for (const Card& c : tavern_deck) pool.push_back(c);
  rng.shuffle(pool);

  std::size_t next = 0;
  for (Hand* hand : hands) {
    const std::size_t count = hand->size();
    hand->clear();
    for (std::size_t i = 0; i < count; ++i) hand->push_back(pool[next++]);
  }
  const std::size_t tavern_count = tavern_deck.size();
  tavern_deck.clear();
  for (std::size_t i = 0; i < tavern_count; ++i) tavern_deck.push_back(pool[next++]);
  discard_pile.clear();
  for (; next < pool.size(); ++next) discard_pile.push_back(pool[next]);
}

}  // namespace corvanta
