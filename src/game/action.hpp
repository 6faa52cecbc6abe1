#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

#include "game/card.hpp"
#include "game/fixed_vec.hpp"

namespace corvanta {

inline constexpr std::size_t kMaxHandSize = 8;
inline constexpr std::size_t kMaxComboCards = 4;
inline constexpr std::size_t kMaxDiscardCards = 8;
inline constexpr std::size_t kPileCapacity = 54;
inline constexpr std::size_t kCastleCapacity = 12;

using Hand = FixedVec<Card, kMaxHandSize>;

struct PlayerId {
  std::uint64_t value = 0;

  // The seat after this one in a game of `players` seats.
  constexpr PlayerId next_id(std::uint64_t players) const { return PlayerId{(value + 1) % players}; }
  friend constexpr bool operator==(PlayerId, PlayerId) = default;
};

// What the player to act must decide.
struct ActionType {
  enum class Kind : std::uint8_t { PlayCards = 0, Discard = 1, Jester = 2 };
  Kind kind = Kind::PlayCards;
  std::uint8_t discard_amount = 0;  // Discard only: the attack the discard must absorb

  static constexpr ActionType play_cards() { return {Kind::PlayCards, 0}; }
  static constexpr ActionType discard(std::uint8_t n) { return {Kind::Discard, n}; }
  static constexpr ActionType jester() { return {Kind::Jester, 0}; }
  friend constexpr bool operator==(ActionType, ActionType) = default;
};

struct GameResult {
  enum class Kind : std::uint8_t { Won = 0, Lost = 1 };
  Kind kind = Kind::Won;
  std::uint8_t level = 0;  // Lost only: enemies defeated

  static constexpr GameResult won() { return {Kind::Won, 0}; }
  static constexpr GameResult lost(std::uint8_t level) { return {Kind::Lost, level}; }
  friend constexpr bool operator==(GameResult, GameResult) = default;

  // The team's reward: the enemies defeated, 12 for a win.
  constexpr int reward() const { return kind == Kind::Won ? 12 : level; }
};

// One move. The card payload is shared by the card-carrying variants: Play holds 1 card,
// AnimalCombo 2 (the Ace first), Combo up to 4, Discard up to 8; ChangePlayer holds `player`.
// Equality and hashing look only at the payload of the action's own variant.
struct Action {
  enum class Kind : std::uint8_t {
    Play = 0, AnimalCombo = 1, Combo = 2, Yield = 3, Discard = 4, ChangePlayer = 5, RefillHand = 6,
  };
  Kind kind = Kind::Yield;
  FixedVec<Card, kMaxDiscardCards> cards{};
  PlayerId player{};

  static Action play(Card c) { return with_cards(Kind::Play, {c}); }
  static Action animal_combo(Card ace, Card companion) {
    return with_cards(Kind::AnimalCombo, {ace, companion});
  }
  // Refuses more than 4 cards.
  template <class Cards>
  static Action combo(const Cards& cs) {
    if (cs.size() > kMaxComboCards) fail("a combo holds at most 4 cards");
    return from_cards(Kind::Combo, cs);
  }
  template <class Cards>
  static Action discard(const Cards& cs) {
    return from_cards(Kind::Discard, cs);
  }
  static Action yield() { return Action{}; }
  static Action change_player(PlayerId id) {
    Action a;
    a.kind = Kind::ChangePlayer;
    a.player = id;
    return a;
  }
  static Action refill_hand() {
    Action a;
    a.kind = Kind::RefillHand;
    return a;
  }

  bool has_cards() const { return kind != Kind::Yield && kind != Kind::ChangePlayer && kind != Kind::RefillHand; }

  // How many cards an action of this kind names: none, or from `min` to `max`.
  struct CardCount {
    std::size_t min, max;
  };
  static constexpr CardCount card_count(Kind kind) {
    switch (kind) {
      case Kind::Play: return {1, 1};
      case Kind::AnimalCombo: return {2, 2};
      case Kind::Combo: return {2, kMaxComboCards};
      case Kind::Discard: return {1, kMaxDiscardCards};
      default: return {0, 0};
    }
  }

  friend bool operator==(const Action& a, const Action& b) {
    if (a.kind != b.kind) return false;
    if (a.kind == Kind::ChangePlayer) return a.player == b.player;
    return !a.has_cards() || a.cards == b.cards;
  }

 private:
  static Action with_cards(Kind kind, std::initializer_list<Card> cs) {
    Action a;
    a.kind = kind;
    for (Card c : cs) a.cards.push_back(c);
    return a;
  }
  template <class Cards>
  static Action from_cards(Kind kind, const Cards& cs) {
    Action a;
    a.kind = kind;
    for (const Card& c : cs) a.cards.push_back(c);
    return a;
  }
};

// An action as one 63-bit code and back, for the search tree's edges: the kind in bits 0-2, then
// either the player (ChangePlayer) or the card count in bits 3-6 and each card in six bits from
// bit 7 on (suit * 14 + value). Every action of an action space round-trips exactly.
inline std::uint64_t pack_action(const Action& a) {
  std::uint64_t code = static_cast<std::uint64_t>(a.kind);
  if (a.kind == Action::Kind::ChangePlayer) return code | a.player.value << 3;
  if (!a.has_cards()) return code;
  code |= static_cast<std::uint64_t>(a.cards.size()) << 3;
  unsigned shift = 7;
  for (const Card& c : a.cards) {
    code |= static_cast<std::uint64_t>(static_cast<unsigned>(c.suit) * 14u + static_cast<unsigned>(c.value)) << shift;
    shift += 6;
  }
  return code;
}

inline Action unpack_action(std::uint64_t code) {
  Action a;
  a.kind = static_cast<Action::Kind>(code & 7u);
  if (a.kind == Action::Kind::ChangePlayer) {
    a.player = PlayerId{code >> 3};
    return a;
  }
  const std::size_t count = code >> 3 & 15u;
  code >>= 7;
  for (std::size_t i = 0; i < count; ++i, code >>= 6) {
    const auto index = static_cast<unsigned>(code & 63u);
    a.cards.data()[i] = Card{static_cast<CardSuit>(index / 14u), static_cast<CardValue>(index % 14u)};
  }
  a.cards.set_size(count);
  return a;
}

// Room for the largest action space: every non-empty subset of a full hand of 8 as a discard,
// plus the one-player refill.
inline constexpr std::size_t kMaxActions = 256;
using ActionList = FixedVec<Action, kMaxActions>;

}  // namespace corvanta

template <>
struct std::hash<corvanta::Action> {
  std::size_t operator()(const corvanta::Action& a) const noexcept {
    std::size_t h = static_cast<std::size_t>(a.kind) * 0x9E3779B97F4A7C15ULL;
    if (a.kind == corvanta::Action::Kind::ChangePlayer) return h ^ (a.player.value * 0xC2B2AE3D27D4EB4FULL);
    if (a.has_cards())
      for (const corvanta::Card& c : a.cards) h = (h ^ std::hash<corvanta::Card>{}(c)) * 0x100000001B3ULL;
    return h;
  }
};
