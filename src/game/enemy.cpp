#include "game/enemy.hpp"

#include <algorithm>

#include "game/error.hpp"
#include "game/text.hpp"

namespace corvanta {

void Enemy::refuse(Card card) { fail(text::card(card) + " is not an enemy"); }

void Enemy::take_damage(std::uint16_t damage) {
  if (damage > 127) fail("That's a lot of damage!");
  health = static_cast<std::int8_t>(health - static_cast<std::int8_t>(damage));
}

void Enemy::decrease_attack(std::uint16_t amount) {
  if (amount > 255) fail("That's a lot of damage!");
  attack = static_cast<std::uint8_t>(std::max(0, attack - static_cast<int>(amount)));
}

}  // namespace corvanta
