#include "game/action_space.hpp"

#include <algorithm>
#include <bit>

// The discard listing gathers cards with an SSSE3 byte shuffle on x86, chosen at run time unless
// the target has it anyway. Portable builds, and every other processor, list card by card.
#if !defined(CORVANTA_PORTABLE) && (defined(__x86_64__) || defined(__i386__)) && \
    (defined(__GNUC__) || defined(__clang__))
#define CORVANTA_GATHER_SSSE3 1
#include <immintrin.h>
#endif

namespace corvanta {
namespace {

// Calls visit(indices, k) for every k-combination of 0..m-1 in lexicographic order.
template <class Visit>
void for_each_combination(std::size_t m, std::size_t k, Visit&& visit) {
  if (k == 0 || k > m) return;
  std::size_t idx[kMaxHandSize];
  for (std::size_t i = 0; i < k; ++i) idx[i] = i;
  for (;;) {
    visit(idx, k);
    std::size_t i = k;
    while (i > 0 && idx[i - 1] == m - k + (i - 1)) --i;
    if (i == 0) return;
    ++idx[i - 1];
    for (std::size_t j = i; j < k; ++j) idx[j] = idx[j - 1] + 1;
  }
}

}  // namespace

void attack_actions(const Hand& hand, ActionList& out) {
  auto add = [&out](Action::Kind kind, std::initializer_list<Card> cards) {
    Action& a = out.push_back_slot();
    a.kind = kind;
    a.cards.assign(cards.begin(), cards.size());
  };
  bool has_ace = false;
  unsigned small_values = 0;  // bit v set when the hand holds a card of value v (Two to Five)
  for (const Card& c : hand) {
    Action& play = out.push_back_slot();
    play.kind = Action::Kind::Play;
    play.cards.data()[0] = c;
    play.cards.set_size(1);
    has_ace |= c.value == CardValue::Ace;
    if (c.value >= CardValue::Two && c.value <= CardValue::Five) small_values |= 1u << static_cast<unsigned>(c.value);
  }

  if (has_ace) {
    for (const Card& ace : hand) {
      if (ace.value != CardValue::Ace) continue;
      for (const Card& c : hand) {
        if (c == kJester) continue;
        if (c.value != CardValue::Ace || suit_greater(ace.suit, c.suit)) add(Action::Kind::AnimalCombo, {ace, c});
      }
    }
  }

  // Only Twos to Fives can form a combo worth at most 10.
  for (CardValue v : {CardValue::Two, CardValue::Three, CardValue::Four, CardValue::Five}) {
    if ((small_values >> static_cast<unsigned>(v) & 1u) == 0) continue;
    FixedVec<Card, kMaxHandSize> same;
    for (const Card& c : hand)
      if (c.value == v) same.push_back(c);
    for (std::size_t k = 2; k <= 4; ++k) {
      if (static_cast<std::size_t>(v) * k > 10) break;
      for_each_combination(same.size(), k, [&](const std::size_t* idx, std::size_t n) {
        Action& a = out.push_back_slot();
        a.kind = Action::Kind::Combo;
        for (std::size_t i = 0; i < n; ++i) a.cards.data()[i] = same[idx[i]];
        a.cards.set_size(n);
      });
    }
  }

  out.push_back(Action::yield());
}

namespace {

// For each hand size, the non-empty subsets of its positions as bit masks, smallest first and,
// within a size, in lexicographic order of their position tuples: the order of the discards.
struct SubsetOrder {
  std::uint8_t masks[kMaxHandSize + 1][255];
  std::uint8_t counts[kMaxHandSize + 1];
#if defined(CORVANTA_GATHER_SSSE3)
  // Per mask: a byte shuffle that gathers the chosen cards of a 16-byte hand to the front.
  alignas(16) std::uint8_t gather[256][16];
  std::uint8_t sizes[256];  // cards per mask (a table: the baseline target has no popcount instruction)
#endif

  SubsetOrder() : masks{}, counts{} {
    for (std::size_t m = 0; m <= kMaxHandSize; ++m) {
      for (std::size_t k = 1; k <= m; ++k) {
        for_each_combination(m, k, [&](const std::size_t* idx, std::size_t size) {
          std::uint8_t mask = 0;
          for (std::size_t i = 0; i < size; ++i) mask = static_cast<std::uint8_t>(mask | (1u << idx[i]));
          masks[m][counts[m]++] = mask;
        });
      }
    }
#if defined(CORVANTA_GATHER_SSSE3)
    for (unsigned mask = 0; mask < 256; ++mask) {
      std::size_t out = 0;
      for (unsigned pos = 0; pos < 8; ++pos) {
        if ((mask >> pos & 1u) == 0) continue;
        gather[mask][out++] = static_cast<std::uint8_t>(2 * pos);
        gather[mask][out++] = static_cast<std::uint8_t>(2 * pos + 1);
      }
      sizes[mask] = static_cast<std::uint8_t>(out / 2);
      for (; out < 16; ++out) gather[mask][out] = 0x80;  // zero the unused slots
    }
#endif
  }
};
const SubsetOrder kSubsets;

// Subset sums of the hand's attack values, indexed by position mask: each card doubles the table.
void subset_sums(const Hand& hand, std::uint16_t* sums) {
  sums[0] = 0;
  for (std::size_t pos = 0; pos < hand.size(); ++pos) {
    const std::uint16_t worth = attack_value(hand.data()[pos]);
    const std::size_t half = std::size_t{1} << pos;
    for (std::size_t mask = 0; mask < half; ++mask) sums[half + mask] = static_cast<std::uint16_t>(sums[mask] + worth);
  }
}

}  // namespace

void detail::discard_actions_portable(const Hand& hand, std::uint16_t n, ActionList& out) {
  std::uint16_t sums[1u << kMaxHandSize];
  subset_sums(hand, sums);
  const std::size_t m = hand.size();
  for (std::size_t i = 0; i < kSubsets.counts[m]; ++i) {
    const unsigned mask = kSubsets.masks[m][i];
    if (sums[mask] < n) continue;
    Action& a = out.push_back_slot();
    a.kind = Action::Kind::Discard;
    Card* cards = a.cards.data();
    std::size_t count = 0;
    for (unsigned bits = mask; bits != 0; bits &= bits - 1) cards[count++] = hand.data()[std::countr_zero(bits)];
    a.cards.set_size(count);
  }
}

#if defined(CORVANTA_GATHER_SSSE3)
namespace {

// The discard phase lists up to 255 actions on every rollout step: gather each subset's cards
// with one byte shuffle instead of card by card.
__attribute__((target("ssse3"))) void discard_actions_ssse3(const Hand& hand, std::uint16_t n, ActionList& out) {
  std::uint16_t sums[1u << kMaxHandSize];
  subset_sums(hand, sums);
  alignas(16) Card padded[kMaxHandSize] = {};
  std::copy(hand.begin(), hand.end(), padded);
  const __m128i cards = _mm_load_si128(reinterpret_cast<const __m128i*>(padded));
  const std::size_t m = hand.size();
  const std::size_t start = out.size();
  if (start + kSubsets.counts[m] > out.capacity) fail("fixed-capacity list is full");
  Action* next = out.data() + start;
  for (std::size_t i = 0; i < kSubsets.counts[m]; ++i) {
    const unsigned mask = kSubsets.masks[m][i];
    if (sums[mask] < n) continue;
    const __m128i control = _mm_load_si128(reinterpret_cast<const __m128i*>(kSubsets.gather[mask]));
    next->kind = Action::Kind::Discard;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(next->cards.data()), _mm_shuffle_epi8(cards, control));
    next->cards.set_size(kSubsets.sizes[mask]);
    ++next;
  }
  out.set_size(static_cast<std::size_t>(next - out.data()));
}

#if defined(__SSSE3__)
constexpr bool kHasSsse3 = true;
#else
const bool kHasSsse3 = __builtin_cpu_supports("ssse3");
#endif

}  // namespace
#endif

void discard_actions(const Hand& hand, std::uint16_t n, ActionList& out) {
#if defined(CORVANTA_GATHER_SSSE3)
  if (kHasSsse3) {
    discard_actions_ssse3(hand, n, out);
    return;
  }
#endif
  detail::discard_actions_portable(hand, n, out);
}

void jester_actions(int players, ActionList& out) {
  for (int i = 0; i < players; ++i) out.push_back(Action::change_player(PlayerId{static_cast<std::uint64_t>(i)}));
}

template <int N>
ActionList get_action_space(const State<N>& state) {
  ActionList out;
  const Hand& hand = state.current_hand();
  switch (state.action_type.kind) {
    case ActionType::Kind::PlayCards:
      attack_actions(hand, out);
      break;
    case ActionType::Kind::Discard:
      discard_actions(hand, state.action_type.discard_amount, out);
      break;
    case ActionType::Kind::Jester:
      jester_actions(N, out);
      break;
  }
  if (N == 1 && state.hand_refills_left > 0) out.push_back(Action::refill_hand());
  return out;
}

void prune_bad_moves_in_place(ActionList& actions) {
  auto spares_diamonds = [](const Action& a) {
    if (a.kind != Action::Kind::Discard) return true;
    return std::none_of(a.cards.begin(), a.cards.end(), [](Card c) { return c.suit == CardSuit::Diamonds; });
  };
  // Kept actions move to the front; when none is kept nothing has moved.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < actions.size(); ++i) {
    if (!spares_diamonds(actions[i])) continue;
    if (kept != i) actions[kept] = actions[i];
    ++kept;
  }
  if (kept > 0) actions.truncate(kept);
}

ActionList prune_bad_moves(ActionList actions) {
  prune_bad_moves_in_place(actions);
  return actions;
}

template ActionList get_action_space<1>(const State<1>&);
template ActionList get_action_space<2>(const State<2>&);
template ActionList get_action_space<3>(const State<3>&);
template ActionList get_action_space<4>(const State<4>&);

}  // namespace corvanta
