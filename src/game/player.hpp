#pragma once
#include <cstdint>
#include <cstring>

#include "game/action.hpp"

#if defined(__SSE2__) && !defined(CORVANTA_PORTABLE)
#include <emmintrin.h>
#endif

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
      const unsigned equal = equal_positions(held, c) & left;
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

  // Bit i set where held[i] is `card`, for all eight slots (those past the hand's end included).
  static unsigned equal_positions(const Card (&held)[kMaxHandSize], Card card) {
#if defined(__SSE2__) && !defined(CORVANTA_PORTABLE)
    // Eight two-byte cards are one 16-byte register: one compare instead of eight.
    std::uint16_t bits;
    std::memcpy(&bits, &card, sizeof bits);
    const __m128i equal = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(held)),
                                          _mm_set1_epi16(static_cast<short>(bits)));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(equal, _mm_setzero_si128())));
#else
    unsigned equal = 0;
    for (std::size_t i = 0; i < kMaxHandSize; ++i) equal |= (held[i] == card ? 1u : 0u) << i;
    return equal;
#endif
  }

  friend bool operator==(const Player&, const Player&) = default;
};

}  // namespace corvanta
