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

namespace {

// For a group of m equal small values (m up to a full hand), its combinations of 2, 3 and 4
// cards, by size and then in lexicographic order, as masks over the group's own positions; the
// ones of at most k cards come first, so a value's limit keeps a prefix of the list.
struct GroupCombos {
  std::uint8_t masks[kMaxHandSize + 1][154];
  std::uint8_t up_to[kMaxHandSize + 1][kMaxComboCards + 1];  // combos of at most k cards

  GroupCombos() : masks{}, up_to{} {
    for (std::size_t m = 0; m <= kMaxHandSize; ++m) {
      std::uint8_t count = 0;
      for (std::size_t k = 2; k <= kMaxComboCards; ++k) {
        for_each_combination(m, k, [&](const std::size_t* idx, std::size_t size) {
          std::uint8_t mask = 0;
          for (std::size_t i = 0; i < size; ++i) mask = static_cast<std::uint8_t>(mask | (1u << idx[i]));
          masks[m][count++] = mask;
        });
        up_to[m][k] = count;
      }
    }
  }
};
const GroupCombos kGroupCombos;

// A bound on the attack actions of any hand of 8, even one no deal can produce: 8 singles, each
// card paired as an Ace with the 7 others, 154 combos of one value, and Yield.
constexpr std::size_t kMaxAttackActions = kMaxHandSize + kMaxHandSize * (kMaxHandSize - 1) + 154 + 1;

void write_cards(Action& a, Action::Kind kind, const Card* cards, unsigned mask) {
  a.kind = kind;
  std::size_t count = 0;
  for (unsigned bits = mask; bits != 0; bits &= bits - 1) a.cards.data()[count++] = cards[std::countr_zero(bits)];
  a.cards.set_size(count);
}

}  // namespace

void attack_actions(const Hand& hand, ActionList& out) {
  if (out.size() + kMaxAttackActions > out.capacity) {
    // Nearly full already: list into a list of its own and append, refusing what does not fit.
    ActionList own;
    attack_actions(hand, own);
    for (const Action& a : own) out.push_back(a);
    return;
  }
  const Card* cards = hand.data();
  const std::size_t m = hand.size();
  Action* next = out.data() + out.size();

  // One pass lists the single cards and finds the Aces and the groups of each value from Two to
  // Five (the only values that can form a combo worth at most 10), as position masks.
  unsigned aces = 0;
  unsigned groups[static_cast<unsigned>(CardValue::Five) + 1] = {};
  for (std::size_t i = 0; i < m; ++i) {
    const Card c = cards[i];
    next->kind = Action::Kind::Play;
    next->cards.data()[0] = c;
    next->cards.set_size(1);
    ++next;
    if (c.value == CardValue::Ace)
      aces |= 1u << i;
    else if (c.value >= CardValue::Two && c.value <= CardValue::Five)
      groups[static_cast<unsigned>(c.value)] |= 1u << i;
  }

  // An Ace pairs with every other non-jester card, and with another Ace only from the higher suit.
  for (unsigned a = aces; a != 0; a &= a - 1) {
    const Card ace = cards[std::countr_zero(a)];
    for (std::size_t i = 0; i < m; ++i) {
      const Card c = cards[i];
      if (c == kJester) continue;
      if (c.value != CardValue::Ace || suit_greater(ace.suit, c.suit)) {
        next->kind = Action::Kind::AnimalCombo;
        next->cards.data()[0] = ace;
        next->cards.data()[1] = c;
        next->cards.set_size(2);
        ++next;
      }
    }
  }

  for (unsigned v = static_cast<unsigned>(CardValue::Two); v <= static_cast<unsigned>(CardValue::Five); ++v) {
    const unsigned group = groups[v];
    if ((group & (group - 1)) == 0) continue;  // fewer than two
    Card same[kMaxHandSize];
    std::size_t count = 0;
    for (unsigned bits = group; bits != 0; bits &= bits - 1) same[count++] = cards[std::countr_zero(bits)];
    const std::size_t largest = std::min<std::size_t>(kMaxComboCards, 10 / v);
    const std::uint8_t* masks = kGroupCombos.masks[count];
    for (std::size_t i = 0; i < kGroupCombos.up_to[count][largest]; ++i)
      write_cards(*next++, Action::Kind::Combo, same, masks[i]);
  }

  *next++ = Action::yield();
  out.set_size(static_cast<std::size_t>(next - out.data()));
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

// The position masks of the hand's subsets worth at least n, in the order of the discards, into
// `worthy` (room for 255); returns how many. Branch-free: whether a subset is worth enough
// follows no pattern a branch predictor could learn.
std::size_t worthy_subsets(const Hand& hand, std::uint16_t n, std::uint8_t* worthy) {
  std::uint16_t sums[1u << kMaxHandSize];
  subset_sums(hand, sums);
  const std::size_t m = hand.size();
  const std::uint8_t* masks = kSubsets.masks[m];
  std::size_t count = 0;
  for (std::size_t i = 0; i < kSubsets.counts[m]; ++i) {
    const std::uint8_t mask = masks[i];
    worthy[count] = mask;
    count += sums[mask] >= n;
  }
  return count;
}

}  // namespace

void detail::discard_actions_portable(const Hand& hand, std::uint16_t n, ActionList& out) {
  std::uint8_t worthy[255];
  const std::size_t count = worthy_subsets(hand, n, worthy);
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned mask = worthy[i];
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
  std::uint8_t worthy[255];
  const std::size_t count = worthy_subsets(hand, n, worthy);
  alignas(16) Card padded[kMaxHandSize] = {};
  std::copy(hand.begin(), hand.end(), padded);
  const __m128i cards = _mm_load_si128(reinterpret_cast<const __m128i*>(padded));
  const std::size_t start = out.size();
  if (start + count > out.capacity) fail("fixed-capacity list is full");
  Action* next = out.data() + start;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned mask = worthy[i];
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

template <int N, bool Prune>
std::optional<Action> draw_action(const State<N>& state, StdRng& rng) {
  if (state.action_type.kind != ActionType::Kind::Discard) {
    // These lists are short and hold no discard, so pruning keeps all of them.
    const ActionList moves = get_action_space(state);
    if (moves.empty()) return std::nullopt;
    return moves[rng.below(static_cast<std::uint32_t>(moves.size()))];
  }
  const Hand& hand = state.current_hand();
  std::uint8_t worthy[255];
  std::size_t count = worthy_subsets(hand, state.action_type.discard_amount, worthy);
  const std::size_t refill = N == 1 && state.hand_refills_left > 0 ? 1 : 0;
  if constexpr (Prune) {
    // The discards that spare every Diamonds card, in order, unless the pruned list would be empty.
    unsigned diamonds = 0;
    for (std::size_t i = 0; i < hand.size(); ++i) diamonds |= (hand.data()[i].suit == CardSuit::Diamonds ? 1u : 0u) << i;
    std::uint8_t spared[255];
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
      spared[kept] = worthy[i];
      kept += (worthy[i] & diamonds) == 0;
    }
    if (kept + refill > 0) {
      std::copy_n(spared, kept, worthy);
      count = kept;
    }
  }
  if (count + refill == 0) return std::nullopt;
  const std::size_t chosen = rng.below(static_cast<std::uint32_t>(count + refill));
  if (chosen == count) return Action::refill_hand();
  Action a;
  write_cards(a, Action::Kind::Discard, hand.data(), worthy[chosen]);
  return a;
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

#define CORVANTA_INSTANTIATE_ACTION_SPACE(N)                                          \
  template ActionList get_action_space<N>(const State<N>&);                          \
  template std::optional<Action> draw_action<N, false>(const State<N>&, StdRng&);   \
  template std::optional<Action> draw_action<N, true>(const State<N>&, StdRng&);
CORVANTA_INSTANTIATE_ACTION_SPACE(1)
CORVANTA_INSTANTIATE_ACTION_SPACE(2)
CORVANTA_INSTANTIATE_ACTION_SPACE(3)
CORVANTA_INSTANTIATE_ACTION_SPACE(4)
#undef CORVANTA_INSTANTIATE_ACTION_SPACE

}  // namespace corvanta
