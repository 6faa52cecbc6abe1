#include "game/enemy.hpp"

#include <algorithm>

#include "game/error.hpp"
#include "game/text.hpp"

namespace corvanta {

Enemy Enemy::create(Card card) {
  switch (card.value) {
    case CardValue::Jack: return Enemy{card, 20, 10, false};
    case CardValue::Queen: return Enemy{card, 30, 15, false};
    case CardValue::King: return Enemy{card, 40, 20, false};
    default: fail(text::card(card) + " is not an enemy");
  }
}

void Enemy::take_damage(std::uint16_t damage) {
  if (damage > 127) fail("That's a lot of damage!");
  health = static_cast<std::int8_t>(health - static_cast<std::int8_t>(damage));
}

void Enemy::decrease_attack(std::uint16_t amount) {
  if (amount > 255) fail("That's a lot of damage!");
  attack = static_cast<std::uint8_t>(std::max(0, attack - static_cast<int>(amount)));
}

}  // namespace corvanta
