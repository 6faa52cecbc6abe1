#pragma once
#include <cstdint>

#include "game/card.hpp"

namespace corvanta {

// A royal card in play: the enemy currently or later fought.
struct Enemy {
  Card card;
  std::int8_t health;
  std::uint8_t attack;
  bool jester_applied;

  // Refuses a card that is not a Jack, Queen or King ("<card> is not an enemy").
  static constexpr Enemy create(Card card) {
    switch (card.value) {
      case CardValue::Jack: return Enemy{card, 20, 10, false};
      case CardValue::Queen: return Enemy{card, 30, 15, false};
      case CardValue::King: return Enemy{card, 40, 20, false};
      default: refuse(card);
    }
  }

  // Overkill is kept as a negative health. Damage above 127 is outside the data model.
  void take_damage(std::uint16_t damage);
  // Clamped at 0: Spades never wrap the attack around. Amounts above 255 are refused.
  void decrease_attack(std::uint16_t amount);
  void apply_jester() { jester_applied = true; }

  friend constexpr bool operator==(const Enemy&, const Enemy&) = default;

 private:
  [[noreturn]] static void refuse(Card card);
};
static_assert(sizeof(Enemy) == 5);

}  // namespace corvanta
