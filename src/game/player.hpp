#pragma once
#include <cstdint>
#include <cstring>

#include "game/action.hpp"

namespace corvanta {

struct Player {
  PlayerId id;
  Hand hand;  // in the order the cards were received

  // For each listed card, removes the first equal hand card; the others keep their order.
  template <class Cards>
  void remove_from_hand(const Cards& cards) {
    // Positions as bits: where a card lies in the hand follows no pattern, so a search that stops
    // at it, and an erase that moves what follows, would each cost a mispredicted branch. Every
    // card of the hand is compared and moved instead.
    const std::size_t size = hand.size();
    Card held[kMaxHandSize];
    std::memcpy(held, hand.data(), sizeof held);
    unsigned left = (1u << size) - 1u;
    for (const Card& c : cards) {
      unsigned equal = 0;
      for (std::size_t i = 0; i < size; ++i) equal |= (held[i] == c ? 1u : 0u) << i;
      equal &= left;
      left &= ~(equal & (0u - equal));  // the first one still held, if any
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < size; ++i) {
      hand.data()[kept] = held[i];
      kept += left >> i & 1u;
    }
    hand.set_size(kept);
  }
  std::uint16_t total_hand_value() const { return attack_sum(hand); }

  friend bool operator==(const Player&, const Player&) = default;
};

}  // namespace corvanta
