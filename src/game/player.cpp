#include "game/player.hpp"

#include <cstring>

#if !defined(CORVANTA_PORTABLE) && defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CORVANTA_HAND_SHUFFLES 1
#include <immintrin.h>
#endif

namespace corvanta {
namespace {

// Bit i set where held[i] is `card`, for all eight slots (those past the hand's end included).
unsigned equal_positions(const Card (&held)[kMaxHandSize], Card card) {
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

// The cards of `held` at the positions set in `kept`, in order, into `hand`.
void keep_portable(Hand& hand, const Card (&held)[kMaxHandSize], unsigned kept) {
  const std::size_t size = hand.size();
  std::size_t count = 0;
  for (std::size_t i = 0; i < size; ++i) {
    hand.data()[count] = held[i];
    count += kept >> i & 1u;
  }
  hand.set_size(count);
}

#if defined(CORVANTA_HAND_SHUFFLES)
// Per mask of kept positions: the byte shuffle that packs their cards to the front, and how many.
struct KeptCards {
  alignas(16) std::uint8_t shuffle[256][16];
  std::uint8_t count[256];
  constexpr KeptCards() : shuffle{}, count{} {
    for (unsigned mask = 0; mask < 256; ++mask) {
      unsigned out = 0;
      for (unsigned pos = 0; pos < kMaxHandSize; ++pos) {
        if ((mask >> pos & 1u) == 0) continue;
        shuffle[mask][out++] = static_cast<std::uint8_t>(2 * pos);
        shuffle[mask][out++] = static_cast<std::uint8_t>(2 * pos + 1);
      }
      count[mask] = static_cast<std::uint8_t>(out / 2);
      for (; out < 16; ++out) shuffle[mask][out] = 0x80;
    }
  }
};
constexpr KeptCards kKeptCards{};

// keep_portable in one byte shuffle and one store. Which cards go follows no pattern, and the
// card-by-card copy ends at the hand's size, a branch mispredicted about once a call; the hand,
// read back whole by the next listing, is also one store rather than eight.
__attribute__((target("ssse3"))) void keep_ssse3(Hand& hand, const Card (&held)[kMaxHandSize], unsigned kept) {
  const __m128i cards = _mm_loadu_si128(reinterpret_cast<const __m128i*>(held));
  const __m128i shuffle = _mm_load_si128(reinterpret_cast<const __m128i*>(kKeptCards.shuffle[kept]));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(hand.data()), _mm_shuffle_epi8(cards, shuffle));
  hand.set_size(kKeptCards.count[kept]);
}

const bool g_has_ssse3 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3") != 0;
}();
#endif

}  // namespace

void Player::remove_from_hand(const Hand& cards) {
  // Positions as bits: where a card lies in the hand follows no pattern, so a search that stops
  // at it, and an erase that moves what follows, would each cost a mispredicted branch. Every
  // card of the hand is compared and moved instead.
  Card held[kMaxHandSize];
  std::memcpy(held, hand.data(), sizeof held);
  unsigned left = (1u << hand.size()) - 1u;
  for (const Card& c : cards) {
    const unsigned equal = equal_positions(held, c) & left;
    left &= ~(equal & (0u - equal));  // the first one still held, if any
  }
#if defined(CORVANTA_HAND_SHUFFLES)
  if (g_has_ssse3) {
    keep_ssse3(hand, held, left);
    return;
  }
#endif
  keep_portable(hand, held, left);
}

}  // namespace corvanta
