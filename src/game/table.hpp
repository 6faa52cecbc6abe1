#pragma once
#include <cstdint>
#include <optional>
#include <span>

#include "game/action.hpp"
#include "game/enemy.hpp"
#include "game/rng.hpp"

namespace corvanta {

using Pile = FixedVec<Card, kPileCapacity>;
using CastleDeck = FixedVec<Enemy, kCastleCapacity>;

// Kings, then Queens, then Jacks, each group shuffled: the last entry (the top) is a Jack.
CastleDeck new_castle_deck(StdRng& rng);
// Ace to Ten in four suits, then `jesters` jester cards (at most 2), shuffled.
Pile new_tavern_deck(std::uint8_t jesters, StdRng& rng);
// About the most words a new game reads from its generator: the castle's and the tavern deck's
// shuffles, their rejected words included, and the seed of the game's own random steps.
inline constexpr std::size_t kDealWords = 96;

// The four piles of one game. The top of each pile is the end of its list.
struct Table {
  CastleDeck castle_deck;
  Pile tavern_deck;
  Pile discard_pile;
  Pile attack_cards;

  // Refuses more than two jesters.
  static Table create(std::uint8_t jesters, StdRng& rng);

  // Up to n cards from the top of the tavern deck, the former top first. Refuses n above 8.
  Hand draw_cards(std::size_t n);
  std::optional<Card> draw_card() {
    if (tavern_deck.empty()) return std::nullopt;
    return tavern_deck.pop_back();
  }

  const Enemy* current_enemy() const { return castle_deck.empty() ? nullptr : &castle_deck.back(); }
  Enemy* current_enemy_mut() { return castle_deck.empty() ? nullptr : &castle_deck.back(); }

  template <class Cards>
  void add_attack_cards(const Cards& cards) {
    for (const Card& c : cards) attack_cards.push_back(c);
  }
  void discard_attack_cards() {
    discard_cards(attack_cards);
    attack_cards.clear();
  }
  void discard_card(Card c) { discard_pile.push_back(c); }
  template <class Cards>
  void discard_cards(const Cards& cards) {
    for (const Card& c : cards) discard_pile.push_back(c);
  }
  void add_to_top_of_tavern_deck(Card c) { tavern_deck.push_back(c); }

  // The Hearts power: shuffle the discard pile, then move up to n cards from its end to the
  // bottom of the tavern deck, one at a time.
  void heal_from_discard(std::size_t n, StdRng& rng);

  // Re-deals everything the player to act cannot see: the face-down enemies below the current one
  // in a fresh order within each rank (the face-up current enemy stays on top as it is), and the
  // discard pile, the given hands and the tavern deck pooled, shuffled and dealt back in their
  // former sizes.
  void permute(std::span<Hand* const> hands, StdRng& rng);
  // The same with the discard pile left face up: only the given hands and the tavern deck are
  // pooled and re-dealt.
  void permute_hidden(std::span<Hand* const> hands, StdRng& rng);
  // Only what no player has seen: the castle below the current enemy and the tavern deck's order.
  void shuffle_unseen(StdRng& rng);

  friend bool operator==(const Table&, const Table&) = default;
};

}  // namespace corvanta
