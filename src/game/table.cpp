#include "game/table.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__) && !defined(CORVANTA_PORTABLE)
#include <emmintrin.h>
#endif

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

namespace {

// A fresh castle deck as positions in kFreshEnemies: Kings, Queens, Jacks, each group shuffled.
// Shuffling one-byte positions draws exactly what shuffling the enemies would.
std::array<std::uint8_t, 12> fresh_castle_order(StdRng& rng) {
  std::array<std::uint8_t, 12> order{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  rng.shuffle_runs(order.data(), 3, 4);
  return order;
}

}  // namespace

CastleDeck new_castle_deck(StdRng& rng) {
  const auto order = fresh_castle_order(rng);
  CastleDeck deck;
  for (std::size_t i = 0; i < order.size(); ++i) deck.data()[i] = kFreshEnemies[order[i]];
  deck.set_size(order.size());
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
  rng.prepare(kDealWords);
  Table table;
  table.castle_deck = new_castle_deck(rng);
  table.tavern_deck = new_tavern_deck(jesters, rng);
  return table;
}

Hand Table::draw_cards(std::size_t n) {
  if (n > kMaxHandSize) fail("cannot draw more than 8 cards at once");
  Hand drawn;
#if defined(__SSE2__) && !defined(CORVANTA_PORTABLE)
  if (const std::size_t size = tavern_deck.size(); size >= kMaxHandSize) {
    // The top eight cards, the top first, in one reversed 16-byte copy: the hand they go to is
    // read back whole by the next listing, which waits on one store less than on eight.
    static_assert(sizeof(Card) == 2 && sizeof(Card) * kMaxHandSize == 16);
    __m128i top = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tavern_deck.data() + size - kMaxHandSize));
    top = _mm_shufflehi_epi16(_mm_shufflelo_epi16(_mm_shuffle_epi32(top, 0x4E), 0x1B), 0x1B);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(drawn.data()), top);
    drawn.set_size(n);
    tavern_deck.set_size(size - n);
    return drawn;
  }
#endif
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
  const std::size_t kept = tavern_deck.size();
  if (kept + moved > kPileCapacity) fail("fixed-capacity list is full");
  std::copy_backward(tavern_deck.data(), tavern_deck.data() + kept, tavern_deck.data() + moved + kept);
  std::copy_n(discard_pile.data() + first, moved, tavern_deck.data());
  tavern_deck.set_size(moved + kept);
  discard_pile.truncate(first);
}

namespace {

// The place of a royal card among the fresh enemies (King, Queen, Jack; suits in order), or 12
// for any other card.
std::size_t fresh_index(Card card) {
  if (card.value < CardValue::Jack || card.suit == CardSuit::None) return kFreshEnemies.size();
  return (static_cast<std::size_t>(CardValue::King) - static_cast<std::size_t>(card.value)) * 4 +
         static_cast<std::size_t>(card.suit);
}

// The current enemy lies face up, so it stays on top exactly as it is (damage, weakened attack,
// jester included). The face-down enemies below it are still fresh; their order within each
// rank is drawn anew from a fresh castle deck, which also keeps the generator's consumption the
// same whatever the state of the table.
void redraw_castle_below_top(CastleDeck& castle_deck, StdRng& rng) {
  const auto order = fresh_castle_order(rng);
  if (castle_deck.empty()) return;
  // A fresh enemy is kept when a face-down enemy equals it in every field: one bit per royal card.
  unsigned still_fresh = 0;
  for (std::size_t i = 0; i + 1 < castle_deck.size(); ++i) {
    const Enemy& e = castle_deck.data()[i];
    const std::size_t at = fresh_index(e.card);
    if (at < kFreshEnemies.size() && e == kFreshEnemies[at]) still_fresh |= 1u << at;
  }
  const Enemy face_up = castle_deck.back();
  std::size_t count = 0;
  for (const std::uint8_t at : order)
    if (still_fresh >> at & 1u) castle_deck.data()[count++] = kFreshEnemies[at];
  castle_deck.data()[count++] = face_up;
  castle_deck.set_size(count);
}

// The pool of a re-deal has room behind its cards for a whole pile: lists are moved in and out
// whole (a fixed-size copy is a few vector moves, where a copy of a counted number of cards is a
// string instruction with a slow start), and only the counted cards are ever read.
using PoolBuffer = std::array<Card, 2 * kPileCapacity>;

// Appends the list's cards to the pool, refusing to overflow it as the piles themselves would.
template <class List>
void pool_append(PoolBuffer& pool, std::size_t& size, const List& list) {
  if (size + list.size() > kPileCapacity) fail("fixed-capacity list is full");
  std::memcpy(pool.data() + size, list.data(), sizeof(Card) * List::capacity);
  size += list.size();
}

// Refills the list with `count` cards from `from` (inside the pool's first kPileCapacity cards).
template <class List>
void take_from_pool(List& list, const Card* from, std::size_t count) {
  std::memcpy(list.data(), from, sizeof(Card) * List::capacity);
  list.set_size(count);
}

// Pools the given piles and hands in order, shuffles the pool and deals it back in the former
// sizes, in the same order.
void redeal(std::span<Hand* const> hands, std::span<Pile* const> piles_before,
            std::span<Pile* const> piles_after, StdRng& rng) {
  PoolBuffer pool;
  std::size_t size = 0;
  for (const Pile* pile : piles_before) pool_append(pool, size, *pile);
  for (const Hand* hand : hands) pool_append(pool, size, *hand);
  for (const Pile* pile : piles_after) pool_append(pool, size, *pile);
  rng.shuffle(pool.data(), size);

  const Card* next = pool.data();
  const Card* const end = pool.data() + size;
  for (Hand* hand : hands) {
    take_from_pool(*hand, next, hand->size());
    next += hand->size();
  }
  // Piles are refilled after the hands: the ones pooled last first, the first pooled takes the
  // rest, as the cards were counted in.
  for (Pile* pile : piles_after) {
    take_from_pool(*pile, next, pile->size());
    next += pile->size();
  }
  for (Pile* pile : piles_before) {
    take_from_pool(*pile, next, static_cast<std::size_t>(end - next));
    next = end;
  }
}

}  // namespace

void Table::permute(std::span<Hand* const> hands, StdRng& rng) {
  redraw_castle_below_top(castle_deck, rng);
  Pile* discard[] = {&discard_pile};
  Pile* tavern[] = {&tavern_deck};
  redeal(hands, discard, tavern, rng);
}

void Table::permute_hidden(std::span<Hand* const> hands, StdRng& rng) {
  redraw_castle_below_top(castle_deck, rng);
  Pile* tavern[] = {&tavern_deck};
  redeal(hands, {}, tavern, rng);
}

void Table::shuffle_unseen(StdRng& rng) {
  redraw_castle_below_top(castle_deck, rng);
  rng.shuffle(tavern_deck);
}

}  // namespace corvanta
