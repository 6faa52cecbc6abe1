#pragma once
#include <cstdint>

#include "game/action.hpp"

namespace corvanta {

struct Player {
  PlayerId id;
  Hand hand;  // in the order the cards were received

  // For each listed card, removes the first equal hand card; the others keep their order.
  void remove_from_hand(const Hand& cards);
  std::uint16_t total_hand_value() const { return attack_sum(hand); }

  friend bool operator==(const Player&, const Player&) = default;
};

}  // namespace corvanta
