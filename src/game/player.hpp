#pragma once
#include <cstdint>

#include "game/action.hpp"

namespace corvanta {

struct Player {
  PlayerId id;
  Hand hand;  // in the order the cards were received

  // For each listed card, removes the first equal hand card; the others keep their order.
  template <class Cards>
  void remove_from_hand(const Cards& cards) {
    for (const Card& c : cards) {
      for (std::size_t i = 0; i < hand.size(); ++i) {
        if (hand[i] == c) {
          hand.erase(i);
          break;
        }
      }
    }
  }
  std::uint16_t total_hand_value() const { return attack_sum(hand); }

  friend bool operator==(const Player&, const Player&) = default;
};

}  // namespace corvanta
