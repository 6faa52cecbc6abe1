#pragma once
#include <array>
#include <cstdint>
#include <functional>

namespace corvanta {

enum class CardSuit : std::uint8_t { Spades = 0, Hearts = 1, Diamonds = 2, Clubs = 3, None = 4 };

enum class CardValue : std::uint8_t {
  Jester = 0, Ace = 1, Two = 2, Three = 3, Four = 4, Five = 5, Six = 6,
  Seven = 7, Eight = 8, Nine = 9, Ten = 10, Jack = 11, Queen = 12, King = 13,
};

struct Card {
  CardSuit suit;
  CardValue value;

  friend constexpr bool operator==(Card, Card) = default;
};
static_assert(sizeof(Card) == 2);

inline constexpr Card kJester{CardSuit::None, CardValue::Jester};
inline constexpr std::array<CardSuit, 4> kSuits{CardSuit::Spades, CardSuit::Hearts,
                                                 CardSuit::Diamonds, CardSuit::Clubs};

// Ace to Ten: the values of the tavern deck's number cards, in deck-building order.
constexpr std::array<CardValue, 10> card_value_numbers() {
  return {CardValue::Ace, CardValue::Two,   CardValue::Three, CardValue::Four,
          CardValue::Five, CardValue::Six,  CardValue::Seven, CardValue::Eight,
          CardValue::Nine, CardValue::Ten};
}

constexpr bool is_royal(CardValue v) { return v >= CardValue::Jack; }

// Every card of the game has an index: Ace to King, each value in the suit order Spades, Hearts,
// Diamonds, Clubs (0 .. 51), then the jester (52).
inline constexpr int kCardKinds = 53;
inline constexpr int kJesterIndex = 52;
constexpr int card_index(Card c) {
  if (c.value == CardValue::Jester) return kJesterIndex;
  return (static_cast<int>(c.value) - 1) * 4 + static_cast<int>(c.suit);
}
constexpr Card card_from_index(int i) {
  if (i == kJesterIndex) return kJester;
  return Card{static_cast<CardSuit>(i % 4), static_cast<CardValue>(i / 4 + 1)};
}

// A card's worth as damage, as hand value and when absorbing an attack.
// At namespace scope: a table local to the function is built on the stack at every call, inside
// the loops that sum a hand too.
inline constexpr std::uint16_t kAttackValues[14] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 15, 20};

constexpr std::uint16_t attack_value(Card card) { return kAttackValues[static_cast<std::uint8_t>(card.value)]; }

template <class Cards>
constexpr std::uint16_t attack_sum(const Cards& cards) {
  std::uint16_t sum = 0;
  for (const Card& card : cards) sum = static_cast<std::uint16_t>(sum + attack_value(card));
  return sum;
}

// The partial order used only by the animal-combo rule: None below every real suit, the real
// suits in enumeration order. Equal suits are not ordered either way.
constexpr bool suit_greater(CardSuit a, CardSuit b) {
  auto rank = [](CardSuit s) { return s == CardSuit::None ? 0 : static_cast<int>(s) + 1; };
  return rank(a) > rank(b);
}

}  // namespace corvanta

template <>
struct std::hash<corvanta::Card> {
  std::size_t operator()(corvanta::Card c) const noexcept {
    return (static_cast<std::size_t>(c.suit) << 8) | static_cast<std::size_t>(c.value);
  }
};
