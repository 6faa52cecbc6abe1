#include "game/action_space.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <utility>

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
  // For each set of at most four hand positions (as a mask), the same combos of those positions
  // as masks over the hand, in the same order (at most 11 of them).
  alignas(16) std::uint8_t of_positions[256][16];

  GroupCombos() : masks{}, up_to{}, of_positions{} {
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
    for (unsigned group = 0; group < 256; ++group) {
      const auto size = static_cast<std::size_t>(std::popcount(group));
      if (size > kMaxComboCards) continue;
      for (std::size_t i = 0; i < up_to[size][kMaxComboCards]; ++i) {
        unsigned rest = group;
        for (unsigned j = 0; j < size; ++j, rest &= rest - 1)
          if ((masks[size][i] >> j & 1u) != 0) of_positions[group][i] |= static_cast<std::uint8_t>(rest & (0u - rest));
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

void detail::attack_actions_portable(const Hand& hand, ActionList& out) {
  if (out.size() + kMaxAttackActions > out.capacity) {
    // Nearly full already: list into a list of its own and append, refusing what does not fit.
    ActionList own;
    attack_actions_portable(hand, own);
    for (const Action& a : own) out.push_back(a);
    return;
  }
  // A copy of the hand that no written action can alias: reading the caller's cards through a
  // pointer that might share bytes with the list makes the compiler split every loop in pieces.
  // The whole inline array is copied (a fixed size is two moves, where a copy of m cards is a
  // string instruction with a slow start); only the first m cards are read.
  const std::size_t m = hand.size();
  Card cards[kMaxHandSize];
  std::memcpy(cards, hand.data(), sizeof cards);
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
// Each row is padded with empty masks to 256 so that it can be read sixteen at a time.
struct SubsetOrder {
  alignas(16) std::uint8_t masks[kMaxHandSize + 1][256];
  std::uint8_t counts[kMaxHandSize + 1];
  std::uint8_t sizes[256];  // cards per mask (a table: the baseline x86 target has no popcount instruction)
#if defined(CORVANTA_GATHER_SSSE3)
  // Per mask: a byte shuffle that gathers the chosen cards of a 16-byte hand to bytes 1 onwards,
  // zeroing byte 0: an action's kind and its first 7.5 cards, as they lie in an Action.
  alignas(16) std::uint8_t gather[256][16];
  // Per mask of eight lanes: a byte shuffle that packs the chosen lanes to the front, in order.
  alignas(8) std::uint8_t pack[256][8];
  // Per mask, for processors with AVX2: one byte shuffle of 32 bytes writes a whole discard. Its
  // low half is `gather`; its high half picks the hand's last byte and then the count from a
  // source half that holds the last byte followed by the numbers 0 to 8.
  alignas(32) std::uint8_t whole[256][32];
  // Per position p, for the AVX2 attack listing: the shuffle of the same source that puts the
  // card at p second in an Ace pair (bytes 3 and 4) and the pair's count, zeroing the rest.
  alignas(32) std::uint8_t ace_partner[kMaxHandSize][32];
  // The attack value of each card value, and per position p a shuffle that spreads the byte of
  // the card at p to the lanes 0-15 whose bit p % 4 is set: the rows of the nibble-sum tables.
  alignas(16) std::uint8_t worth[16];
  alignas(16) std::uint8_t spread[kMaxHandSize][16];
#endif

  SubsetOrder() : masks{}, counts{}, sizes{} {
    for (std::size_t m = 0; m <= kMaxHandSize; ++m) {
      for (std::size_t k = 1; k <= m; ++k) {
        for_each_combination(m, k, [&](const std::size_t* idx, std::size_t size) {
          std::uint8_t mask = 0;
          for (std::size_t i = 0; i < size; ++i) mask = static_cast<std::uint8_t>(mask | (1u << idx[i]));
          masks[m][counts[m]++] = mask;
        });
      }
    }
    for (unsigned mask = 0; mask < 256; ++mask) sizes[mask] = static_cast<std::uint8_t>(std::popcount(mask));
#if defined(CORVANTA_GATHER_SSSE3)
    for (unsigned mask = 0; mask < 256; ++mask) {
      gather[mask][0] = 0x80;
      std::size_t out = 1;
      std::size_t packed = 0;
      for (unsigned pos = 0; pos < 8; ++pos) {
        if ((mask >> pos & 1u) == 0) continue;
        if (out < 16) gather[mask][out++] = static_cast<std::uint8_t>(2 * pos);
        if (out < 16) gather[mask][out++] = static_cast<std::uint8_t>(2 * pos + 1);
        pack[mask][packed++] = static_cast<std::uint8_t>(pos);
      }
      for (; out < 16; ++out) gather[mask][out] = 0x80;  // zero the unused slots
      for (; packed < 8; ++packed) pack[mask][packed] = 0x80;
      std::copy_n(gather[mask], 16, whole[mask]);
      whole[mask][16] = 0;
      whole[mask][17] = static_cast<std::uint8_t>(1 + std::popcount(mask));
      std::fill(whole[mask] + 18, whole[mask] + 32, 0x80);
    }
    for (unsigned pos = 0; pos < kMaxHandSize; ++pos) {
      std::fill(ace_partner[pos], ace_partner[pos] + 32, 0x80);
      ace_partner[pos][3] = static_cast<std::uint8_t>(2 * pos);
      ace_partner[pos][4] = static_cast<std::uint8_t>(2 * pos + 1);
      ace_partner[pos][17] = 1 + 2;  // the source's number 2
    }
    for (unsigned v = 0; v < 16; ++v)
      worth[v] = v <= static_cast<unsigned>(CardValue::King)
                     ? static_cast<std::uint8_t>(attack_value(Card{CardSuit::None, static_cast<CardValue>(v)}))
                     : 0;
    for (unsigned pos = 0; pos < kMaxHandSize; ++pos)
      for (unsigned lane = 0; lane < 16; ++lane)
        spread[pos][lane] = (lane >> (pos % 4) & 1u) != 0 ? static_cast<std::uint8_t>(2 * pos + 1) : 0x80;
#endif
  }
};
const SubsetOrder kSubsets;

#if defined(CORVANTA_GATHER_SSSE3)
// The processor's features the listing uses, asked once; tests may turn some off to compare
// every path against the others.
struct ListingFeatures {
  bool ssse3;       // byte shuffles: cards gathered by position masks
  bool avx2;        // a whole discard in one 32-byte shuffle
  bool byte_masks;  // AVX-512BW and VL: thirty-two subsets compared into a bit mask
  bool compress;    // AVX-512 VBMI2 as well: passing subsets packed in one instruction
};
ListingFeatures detected_features() {
  __builtin_cpu_init();
  const bool byte_masks = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
  return {__builtin_cpu_supports("ssse3") != 0, __builtin_cpu_supports("avx2") != 0, byte_masks,
          byte_masks && __builtin_cpu_supports("avx512vbmi2")};
}
ListingFeatures g_features = detected_features();
#endif

// Which subsets of the hand, in the order of the discards, are worth at least n (`worthy`), and
// which of those also spare every position of `kept_out` (`spared`): bit i of word w stands for
// subset 16 w + i.
struct SubsetBits {
  std::uint16_t worthy[16];
  std::uint16_t spared[16];
  std::size_t worthy_count;
  std::size_t spared_count;
};

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

void subset_bits_portable(const Hand& hand, std::uint16_t n, unsigned kept_out, SubsetBits& bits) {
  std::uint16_t sums[1u << kMaxHandSize];
  subset_sums(hand, sums);
  const std::size_t m = hand.size();
  const std::uint8_t* masks = kSubsets.masks[m];
  bits = SubsetBits{};
  for (std::size_t i = 0; i < kSubsets.counts[m]; ++i) {
    const unsigned worthy = sums[masks[i]] >= n ? 1u : 0u;
    const unsigned spared = worthy & ((masks[i] & kept_out) == 0 ? 1u : 0u);
    bits.worthy[i / 16] = static_cast<std::uint16_t>(bits.worthy[i / 16] | worthy << (i % 16));
    bits.spared[i / 16] = static_cast<std::uint16_t>(bits.spared[i / 16] | spared << (i % 16));
    bits.worthy_count += worthy;
    bits.spared_count += spared;
  }
}

// The mask of the k-th subset (from 0) whose bit is set in `words`, k being below their count.
std::uint8_t nth_subset(std::size_t m, const std::uint16_t* words, std::size_t k) {
  std::size_t w = 0;
  for (;; ++w) {
    const std::size_t here = kSubsets.sizes[words[w] & 0xFFu] + kSubsets.sizes[words[w] >> 8];
    if (k < here) break;
    k -= here;
  }
  unsigned bits = words[w];
  for (; k > 0; --k) bits &= bits - 1;
  return kSubsets.masks[m][16 * w + static_cast<std::size_t>(std::countr_zero(bits))];
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

// Sixteen subsets at a time: a subset's worth is the worth of its positions 0-3 plus that of its
// positions 4-7, each looked up by a byte shuffle in a 16-entry table of nibble sums. A hand of
// eight Kings is worth 160, so every sum fits in a byte.
struct NibbleSums {
  __m128i low;
  __m128i high;
  __m128i threshold;
  bool reachable;  // false when n exceeds any byte, hence any subset's worth
};

// The hand's cards as 16 bytes, the slots past its size zeroed.
__attribute__((target("ssse3"))) inline __m128i hand_bytes(const Hand& hand) {
  const __m128i lanes = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m128i used = _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(2 * hand.size())), lanes);
  return _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(hand.data())), used);
}

// The table of one nibble: the sum over its four positions of their worth spread to the lanes.
__attribute__((target("ssse3"))) inline __m128i nibble_table(__m128i worth, std::size_t first) {
  const auto* spread = reinterpret_cast<const __m128i*>(kSubsets.spread[first]);
  return _mm_add_epi8(
      _mm_add_epi8(_mm_shuffle_epi8(worth, _mm_load_si128(spread)), _mm_shuffle_epi8(worth, _mm_load_si128(spread + 1))),
      _mm_add_epi8(_mm_shuffle_epi8(worth, _mm_load_si128(spread + 2)), _mm_shuffle_epi8(worth, _mm_load_si128(spread + 3))));
}

__attribute__((target("ssse3"))) NibbleSums nibble_sums(__m128i cards, std::uint16_t n) {
  // Each card's value byte becomes its attack value (the suit bytes become noise no shuffle reads).
  const __m128i worth = _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(kSubsets.worth)), cards);
  return {nibble_table(worth, 0), nibble_table(worth, 4), _mm_set1_epi8(static_cast<char>(n)), n <= 0xFF};
}

// The lanes of sixteen masks worth at least n, as a 16-bit movemask.
__attribute__((target("ssse3"))) inline __m128i worth_enough(const NibbleSums& t, __m128i masks) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i sums = _mm_add_epi8(_mm_shuffle_epi8(t.low, _mm_and_si128(masks, nibble)),
                                    _mm_shuffle_epi8(t.high, _mm_and_si128(_mm_srli_epi16(masks, 4), nibble)));
  return _mm_cmpeq_epi8(_mm_max_epu8(sums, t.threshold), sums);
}

// Bits of the lanes that hold one of the row's `count` subsets, for the 16 lanes from `base`.
inline unsigned lanes_in_row(std::size_t base, std::size_t count) {
  return count - base >= 16 ? 0xFFFFu : (1u << (count - base)) - 1u;
}

// worthy_subsets with each block of sixteen subsets tested at once and its passing masks packed
// by two byte shuffles; `worthy` needs room for 255 + 8 (a packed half is stored whole).
__attribute__((target("ssse3"))) std::size_t worthy_subsets_ssse3(std::size_t m, const NibbleSums& t,
                                                                   std::uint8_t* worthy) {
  if (!t.reachable) return 0;
  const std::size_t total = kSubsets.counts[m];
  std::size_t count = 0;
  for (std::size_t base = 0; base < total; base += 16) {
    const __m128i masks = _mm_load_si128(reinterpret_cast<const __m128i*>(kSubsets.masks[m] + base));
    const unsigned pass = static_cast<unsigned>(_mm_movemask_epi8(worth_enough(t, masks))) & lanes_in_row(base, total);
    const unsigned low = pass & 0xFFu;
    const unsigned high = pass >> 8;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(worthy + count),
                     _mm_shuffle_epi8(masks, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kSubsets.pack[low]))));
    count += kSubsets.sizes[low];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(worthy + count),
                     _mm_shuffle_epi8(_mm_srli_si128(masks, 8),
                                      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kSubsets.pack[high]))));
    count += kSubsets.sizes[high];
  }
  return count;
}

// The lanes of 32 masks of the row of m subsets from `base` that are worth at least n and lie
// in the row, as bits.
__attribute__((target("avx512f,avx512bw,avx512vl"))) inline __mmask32 worth_enough_32(const NibbleSums& t,
                                                                                       __m256i masks,
                                                                                       std::size_t base,
                                                                                       std::size_t total) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i low = _mm256_set_m128i(t.low, t.low);
  const __m256i high = _mm256_set_m128i(t.high, t.high);
  const __m256i sums = _mm256_add_epi8(_mm256_shuffle_epi8(low, _mm256_and_si256(masks, nibble)),
                                       _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(masks, 4), nibble)));
  const std::uint32_t in_row = total - base >= 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << (total - base)) - 1;
  return _mm256_cmpge_epu8_mask(sums, _mm256_set_m128i(t.threshold, t.threshold)) & in_row;
}

// worthy_subsets_ssse3 thirty-two subsets at a time, where the processor packs bytes under a mask
// in one instruction (AVX-512 VBMI2); `worthy` needs room for 255 + 32.
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,popcnt"))) std::size_t worthy_subsets_compress(
    std::size_t m, const NibbleSums& t, std::uint8_t* worthy) {
  if (!t.reachable) return 0;
  const std::size_t total = kSubsets.counts[m];
  std::size_t count = 0;
  for (std::size_t base = 0; base < total; base += 32) {
    // A row holds 256 masks, the ones past its subsets empty.
    const __m256i masks = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kSubsets.masks[m] + base));
    const __mmask32 pass = worth_enough_32(t, masks, base, total);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(worthy + count), _mm256_maskz_compress_epi8(pass, masks));
    count += static_cast<std::size_t>(_mm_popcnt_u32(pass));
  }
  return count;
}

// subset_bits_ssse3 thirty-two subsets at a time, with AVX-512's comparisons into bit masks.
__attribute__((target("avx512f,avx512bw,avx512vl,popcnt"))) void subset_bits_masks(const Hand& hand, std::uint16_t n,
                                                                                    unsigned kept_out,
                                                                                    SubsetBits& bits) {
  bits = SubsetBits{};
  const NibbleSums t = nibble_sums(hand_bytes(hand), n);
  if (!t.reachable) return;
  const std::size_t m = hand.size();
  const std::size_t total = kSubsets.counts[m];
  const __m256i kept = _mm256_set1_epi8(static_cast<char>(kept_out));
  for (std::size_t base = 0; base < total; base += 32) {
    const __m256i masks = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kSubsets.masks[m] + base));
    const __mmask32 worthy = worth_enough_32(t, masks, base, total);
    const __mmask32 spared = worthy & _mm256_testn_epi8_mask(masks, kept);
    bits.worthy[base / 16] = static_cast<std::uint16_t>(worthy);
    bits.worthy[base / 16 + 1] = static_cast<std::uint16_t>(worthy >> 16);
    bits.spared[base / 16] = static_cast<std::uint16_t>(spared);
    bits.spared[base / 16 + 1] = static_cast<std::uint16_t>(spared >> 16);
    bits.worthy_count += static_cast<std::size_t>(_mm_popcnt_u32(worthy));
    bits.spared_count += static_cast<std::size_t>(_mm_popcnt_u32(spared));
  }
}

__attribute__((target("ssse3"))) void subset_bits_ssse3(const Hand& hand, std::uint16_t n, unsigned kept_out,
                                                        SubsetBits& bits) {
  bits = SubsetBits{};
  const NibbleSums t = nibble_sums(hand_bytes(hand), n);
  if (!t.reachable) return;
  const std::size_t m = hand.size();
  const std::size_t total = kSubsets.counts[m];
  const __m128i kept = _mm_set1_epi8(static_cast<char>(kept_out));
  for (std::size_t base = 0; base < total; base += 16) {
    const __m128i masks = _mm_load_si128(reinterpret_cast<const __m128i*>(kSubsets.masks[m] + base));
    const __m128i pass = worth_enough(t, masks);
    const __m128i spares = _mm_cmpeq_epi8(_mm_and_si128(masks, kept), _mm_setzero_si128());
    const unsigned in_row = lanes_in_row(base, total);
    const unsigned worthy = static_cast<unsigned>(_mm_movemask_epi8(pass)) & in_row;
    const unsigned spared = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(pass, spares))) & in_row;
    bits.worthy[base / 16] = static_cast<std::uint16_t>(worthy);
    bits.spared[base / 16] = static_cast<std::uint16_t>(spared);
    bits.worthy_count += kSubsets.sizes[worthy & 0xFFu] + kSubsets.sizes[worthy >> 8];
    bits.spared_count += kSubsets.sizes[spared & 0xFFu] + kSubsets.sizes[spared >> 8];
  }
}

// The source of the `whole` shuffles: the hand's 16 bytes, then its last byte and the numbers 0
// to 8.
__attribute__((target("avx2"))) inline __m256i whole_source(__m128i cards) {
  const auto last_byte = static_cast<char>(_mm_extract_epi16(cards, 7) >> 8);
  return _mm256_set_m128i(_mm_setr_epi8(last_byte, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0), cards);
}

// An action's kind in byte 0, every other byte zero.
__attribute__((target("avx2"))) inline __m256i kind_of(Action::Kind kind) {
  return _mm256_setr_epi32(static_cast<int>(kind), 0, 0, 0, 0, 0, 0, 0);
}

// Writes the whole action of `kind` (kind_of) whose cards are those of the hand at the positions
// set in `mask`, from the hand's whole_source: one byte shuffle and one 32-byte store, the count
// and zeroed player bytes included.
__attribute__((target("avx2"))) inline void put_subset_avx2(unsigned char* at, __m256i source, __m256i kind,
                                                             const unsigned char* controls, unsigned mask) {
  const __m256i control = _mm256_load_si256(reinterpret_cast<const __m256i*>(controls + 32 * mask));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), _mm256_or_si256(_mm256_shuffle_epi8(source, control), kind));
}

// The discards of `masks` written with AVX2: one byte shuffle and one store of a whole action
// each (its player bytes zeroed).
__attribute__((target("avx2"))) void put_discards_avx2(__m128i cards, const std::uint8_t* masks, std::size_t count,
                                                       unsigned char* next) {
  static_assert(sizeof(Action) == 32, "a discard is one 32-byte store");
  const __m256i source = whole_source(cards);
  const __m256i kind = kind_of(Action::Kind::Discard);
  // Four at a time: the loop's own counting is a fair part of so short a body. The table's own
  // address held in a register spares an addition per discard.
  const unsigned char* const controls = &kSubsets.whole[0][0];
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    put_subset_avx2(next + i * sizeof(Action), source, kind, controls, masks[i]);
    put_subset_avx2(next + (i + 1) * sizeof(Action), source, kind, controls, masks[i + 1]);
    put_subset_avx2(next + (i + 2) * sizeof(Action), source, kind, controls, masks[i + 2]);
    put_subset_avx2(next + (i + 3) * sizeof(Action), source, kind, controls, masks[i + 3]);
  }
  for (; i < count; ++i) put_subset_avx2(next + i * sizeof(Action), source, kind, controls, masks[i]);
}

// An action's bytes as the discard listing writes them: the kind, then the cards' 16 bytes, then
// their count.
static_assert(offsetof(Action, kind) == 0 && offsetof(Action, cards) == 1 && sizeof(Action::cards) == 17,
              "an action's kind, cards and card count lie in its first 18 bytes");

// The discard phase lists up to 255 actions on every rollout step. With AVX2 each is one store
// (put_discards_avx2); otherwise two, one of its kind and the subset's cards gathered by one byte
// shuffle (bytes 0 to 15), one of the last card byte and the count (bytes 16 and 17). Byte 16 is a
// card's only for a subset of all eight cards, and then it is the hand's last byte.
__attribute__((target("ssse3"))) void discard_actions_ssse3(const Hand& hand, std::uint16_t n, ActionList& out) {
  const __m128i cards = hand_bytes(hand);
  std::uint8_t worthy[255 + 32];
  const NibbleSums sums = nibble_sums(cards, n);
  const std::size_t count =
      g_features.compress ? worthy_subsets_compress(hand.size(), sums, worthy) : worthy_subsets_ssse3(hand.size(), sums, worthy);
  const std::size_t start = out.size();
  if (start + count > out.capacity) fail("fixed-capacity list is full");
  auto* next = reinterpret_cast<unsigned char*>(out.data() + start);
  out.set_size(start + count);
  if (g_features.avx2) {
    put_discards_avx2(cards, worthy, count, next);
    return;
  }
  const __m128i kind = _mm_cvtsi32_si128(static_cast<int>(Action::Kind::Discard));
  const auto last_byte = static_cast<std::uint16_t>(_mm_extract_epi16(cards, 7) >> 8);
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned mask = worthy[i];
    const __m128i control = _mm_load_si128(reinterpret_cast<const __m128i*>(kSubsets.gather[mask]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(next), _mm_or_si128(_mm_shuffle_epi8(cards, control), kind));
    const auto tail = static_cast<std::uint16_t>(last_byte | kSubsets.sizes[mask] << 8);
    std::memcpy(next + 16, &tail, sizeof tail);
    next += sizeof(Action);
  }
}

// Writes the action of `kind` (in byte 0 of `kind`) whose cards are those of `cards` at the
// positions set in `mask`: bytes 0 to 15 and the count. Byte 16 is left as it is: only a subset
// of all eight cards has a card byte there.
__attribute__((target("ssse3"))) inline void put_subset(unsigned char* at, __m128i cards, __m128i kind, unsigned mask) {
  const __m128i control = _mm_load_si128(reinterpret_cast<const __m128i*>(kSubsets.gather[mask]));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm_or_si128(_mm_shuffle_epi8(cards, control), kind));
  at[offsetof(Action, cards) + sizeof(Card) * kMaxHandSize] = kSubsets.sizes[mask];
}

// What the attack listing reads off a hand, from its cards as 16-bit lanes (the suit in the low
// byte, the value in the high): position masks (bit i: the hand's card i) and each lane's suit
// rank for the Ace-pair rule.
struct AttackHand {
  __m128i cards;
  __m128i suit_rank;  // the suit plus one, None (4) as 0: None lowest
  unsigned held;
  unsigned aces;
  unsigned others;     // every card but the jesters
  unsigned groups[4];  // the Twos to the Fives
  bool unusual;        // more equal cards than one value has suits: no deal holds such a hand
};

__attribute__((target("ssse3"))) inline unsigned lane_positions(__m128i lanes_equal, unsigned held) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(lanes_equal, _mm_setzero_si128()))) & held;
}

__attribute__((target("ssse3"))) inline AttackHand attack_hand(const Hand& hand) {
  AttackHand h;
  h.cards = hand_bytes(hand);
  h.held = (1u << hand.size()) - 1u;
  const __m128i values = _mm_srli_epi16(h.cards, 8);
  const auto of_value = [&](CardValue v) {
    return lane_positions(_mm_cmpeq_epi16(values, _mm_set1_epi16(static_cast<short>(v))), h.held);
  };
  h.aces = of_value(CardValue::Ace);
  h.unusual = false;
  for (unsigned v = 0; v < 4; ++v) {
    h.groups[v] = of_value(static_cast<CardValue>(v + 2));
    h.unusual = h.unusual || kSubsets.sizes[h.groups[v]] > kMaxComboCards;
  }
  const auto jester = static_cast<short>(static_cast<unsigned>(kJester.suit) | static_cast<unsigned>(kJester.value) << 8);
  h.others = h.held & ~lane_positions(_mm_cmpeq_epi16(h.cards, _mm_set1_epi16(jester)), h.held);
  const __m128i suit_plus_one = _mm_add_epi16(_mm_and_si128(h.cards, _mm_set1_epi16(0xFF)), _mm_set1_epi16(1));
  h.suit_rank = _mm_andnot_si128(_mm_cmpeq_epi16(suit_plus_one, _mm_set1_epi16(5)), suit_plus_one);
  return h;
}

// The partners of the Ace at the lowest bit of `rest`, at `pos`: every other non-jester card, and
// another Ace only from a lower suit. None where `rest` is empty (pos is then 7).
__attribute__((target("ssse3"))) inline unsigned ace_partners(const AttackHand& h, const Hand& hand, unsigned rest,
                                                              std::size_t& pos) {
  pos = static_cast<std::size_t>(std::countr_zero(rest | 0x80u));
  const unsigned rank = (static_cast<unsigned>(hand.data()[pos].suit) + 1u) % 5u;
  const unsigned lower = lane_positions(_mm_cmpgt_epi16(_mm_set1_epi16(static_cast<short>(rank)), h.suit_rank), h.held);
  return h.others & (~h.aces | lower) & (0u - (rest != 0 ? 1u : 0u));
}

// Each value's combos as masks over the hand, in the listing's order (a value's limit keeps a
// prefix of its group's list); `combos` needs room for 64. Returns their count.
__attribute__((target("ssse3"))) inline std::size_t combo_masks(const AttackHand& h, std::uint8_t* combos) {
  std::size_t total = 0;
  for (unsigned v = 0; v < 4; ++v) {
    const unsigned group = h.groups[v];
    const std::size_t largest = std::min<std::size_t>(kMaxComboCards, 10 / (v + 2));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(combos + total),
                     _mm_load_si128(reinterpret_cast<const __m128i*>(kGroupCombos.of_positions[group])));
    total += kGroupCombos.up_to[kSubsets.sizes[group]][largest];
  }
  return total;
}

// Most hands hold no combo or a pair: the first combo slots are written whatever the count.
constexpr std::size_t kCombosAlwaysWritten = 2;

// The listing's end: the yield after the last action written, and the list's new size.
inline void close_attack_listing(ActionList& out, unsigned char* first, unsigned char* next) {
  Action* last = reinterpret_cast<Action*>(next);
  *last = Action::yield();
  out.set_size(out.size() + static_cast<std::size_t>(last + 1 - reinterpret_cast<Action*>(first)));
}

// The attack listing with no branch on what a card is: whether the hand holds an Ace or a
// pair, and where, follows no pattern, and the card-by-card listing lost about twenty
// nanoseconds a call to mispredicted branches. Each kind of action is written for every slot
// it could take, the write pointer moving on only for the ones that exist; later writes cover
// the rest. Combos are gathered like discards, from position masks. The first Ace's pass runs
// whether or not there is one (with no partners when there is none): most hands hold one Ace or
// none, and a branch on which would follow no pattern.
__attribute__((target("ssse3"))) void attack_actions_ssse3(const Hand& hand, ActionList& out) {
  const AttackHand h = attack_hand(hand);
  if (h.unusual) [[unlikely]] {
    detail::attack_actions_portable(hand, out);
    return;
  }
  std::uint16_t card[kMaxHandSize];
  std::memcpy(card, hand.data(), sizeof card);
  auto* const first = reinterpret_cast<unsigned char*>(out.data() + out.size());
  unsigned char* next = first;
  // An action's first eight bytes (its kind and first cards) and its count.
  const auto put = [](unsigned char* at, std::uint64_t head, std::uint8_t count) {
    std::memcpy(at, &head, sizeof head);
    at[offsetof(Action, cards) + sizeof(Card) * kMaxHandSize] = count;
  };

  for (std::size_t i = 0; i < kMaxHandSize; ++i)
    put(next + i * sizeof(Action), static_cast<std::uint64_t>(Action::Kind::Play) | std::uint64_t{card[i]} << 8, 1);
  next += hand.size() * sizeof(Action);

  unsigned rest = h.aces;
  do {
    std::size_t pos;
    const unsigned partners = ace_partners(h, hand, rest, pos);
    const std::uint64_t head = static_cast<std::uint64_t>(Action::Kind::AnimalCombo) | std::uint64_t{card[pos]} << 8;
    for (std::size_t i = 0; i < kMaxHandSize; ++i) {
      put(next, head | std::uint64_t{card[i]} << 24, 2);
      next += (partners >> i & 1u) * sizeof(Action);
    }
    rest &= rest - 1;
  } while (rest != 0);

  alignas(16) std::uint8_t combos[64] = {};
  const std::size_t total = combo_masks(h, combos);
  const __m128i kind = _mm_cvtsi32_si128(static_cast<int>(Action::Kind::Combo));
  for (std::size_t i = 0; i < kCombosAlwaysWritten; ++i) put_subset(next + i * sizeof(Action), h.cards, kind, combos[i]);
  for (std::size_t i = kCombosAlwaysWritten; i < total; ++i) put_subset(next + i * sizeof(Action), h.cards, kind, combos[i]);
  next += total * sizeof(Action);
  close_attack_listing(out, first, next);
}

// attack_actions_ssse3 with every action one 32-byte store, as discards are written
// (put_subset_avx2): half the stores of an action written in two parts.
__attribute__((target("avx2"))) void attack_actions_avx2(const Hand& hand, ActionList& out) {
  const AttackHand h = attack_hand(hand);
  if (h.unusual) [[unlikely]] {
    detail::attack_actions_portable(hand, out);
    return;
  }
  auto* const first = reinterpret_cast<unsigned char*>(out.data() + out.size());
  unsigned char* next = first;
  const __m256i source = whole_source(h.cards);
  const unsigned char* const controls = &kSubsets.whole[0][0];

  // A play is the discard of its one card, of another kind.
  const __m256i play = kind_of(Action::Kind::Play);
  for (std::size_t i = 0; i < kMaxHandSize; ++i) put_subset_avx2(next + i * sizeof(Action), source, play, controls, 1u << i);
  next += hand.size() * sizeof(Action);

  unsigned rest = h.aces;
  do {
    std::size_t pos;
    const unsigned partners = ace_partners(h, hand, rest, pos);
    // The Ace's bytes and the kind, in the low half; each partner adds its card and the count.
    const __m128i ace_card = _mm_shuffle_epi8(h.cards, _mm_load_si128(reinterpret_cast<const __m128i*>(kSubsets.gather[1u << pos])));
    const __m256i ace = _mm256_or_si256(_mm256_zextsi128_si256(ace_card), kind_of(Action::Kind::AnimalCombo));
    for (std::size_t i = 0; i < kMaxHandSize; ++i) {
      const __m256i partner = _mm256_load_si256(reinterpret_cast<const __m256i*>(kSubsets.ace_partner[i]));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(next), _mm256_or_si256(_mm256_shuffle_epi8(source, partner), ace));
      next += (partners >> i & 1u) * sizeof(Action);
    }
    rest &= rest - 1;
  } while (rest != 0);

  alignas(16) std::uint8_t combos[64] = {};
  const std::size_t total = combo_masks(h, combos);
  const __m256i kind = kind_of(Action::Kind::Combo);
  for (std::size_t i = 0; i < kCombosAlwaysWritten; ++i)
    put_subset_avx2(next + i * sizeof(Action), source, kind, controls, combos[i]);
  for (std::size_t i = kCombosAlwaysWritten; i < total; ++i)
    put_subset_avx2(next + i * sizeof(Action), source, kind, controls, combos[i]);
  next += total * sizeof(Action);
  close_attack_listing(out, first, next);
}

}  // namespace
#endif

namespace {

void subset_bits(const Hand& hand, std::uint16_t n, unsigned kept_out, SubsetBits& bits) {
#if defined(CORVANTA_GATHER_SSSE3)
  if (g_features.byte_masks) {
    subset_bits_masks(hand, n, kept_out, bits);
    return;
  }
  if (g_features.ssse3) {
    subset_bits_ssse3(hand, n, kept_out, bits);
    return;
  }
#endif
  subset_bits_portable(hand, n, kept_out, bits);
}

}  // namespace

void detail::limit_listing_features(int level) {
#if defined(CORVANTA_GATHER_SSSE3)
  ListingFeatures f = detected_features();
  f.ssse3 = f.ssse3 && level >= 1;
  f.avx2 = f.avx2 && level >= 2;
  f.byte_masks = f.byte_masks && level >= 3;
  f.compress = f.compress && level >= 3;
  g_features = f;
#else
  (void)level;
#endif
}

void attack_actions(const Hand& hand, ActionList& out) {
#if defined(CORVANTA_GATHER_SSSE3)
  if (g_features.ssse3 && out.size() + kMaxAttackActions <= out.capacity) {
    if (g_features.avx2)
      attack_actions_avx2(hand, out);
    else
      attack_actions_ssse3(hand, out);
    return;
  }
#endif
  detail::attack_actions_portable(hand, out);
}

void discard_actions(const Hand& hand, std::uint16_t n, ActionList& out) {
#if defined(CORVANTA_GATHER_SSSE3)
  if (g_features.ssse3) {
    discard_actions_ssse3(hand, n, out);
    return;
  }
#endif
  detail::discard_actions_portable(hand, n, out);
}

void jester_actions(int players, ActionList& out) {
  for (int i = 0; i < players; ++i) out.push_back(Action::change_player(PlayerId{static_cast<std::uint64_t>(i)}));
}

template <bool Prune>
std::size_t discard_masks(const Hand& hand, std::uint16_t n, bool other_kept, std::uint8_t* masks) {
  unsigned diamonds = 0;
  if constexpr (Prune) {
    for (std::size_t i = 0; i < hand.size(); ++i) diamonds |= (hand.data()[i].suit == CardSuit::Diamonds ? 1u : 0u) << i;
  }
  SubsetBits bits;
  subset_bits(hand, n, diamonds, bits);
  // Pruned as prune_bad_moves_in_place prunes the whole list: unless nothing would be left.
  const std::uint16_t* words = Prune && bits.spared_count + (other_kept ? 1 : 0) > 0 ? bits.spared : bits.worthy;
  const std::uint8_t* order = kSubsets.masks[hand.size()];
  std::size_t count = 0;
  for (std::size_t w = 0; 16 * w < kSubsets.counts[hand.size()]; ++w)
    for (unsigned b = words[w]; b != 0; b &= b - 1) masks[count++] = order[16 * w + static_cast<std::size_t>(std::countr_zero(b))];
  return count;
}

Action discard_of(const Hand& hand, unsigned mask) {
  Action a;
  write_cards(a, Action::Kind::Discard, hand.data(), mask);
  return a;
}

template std::size_t discard_masks<false>(const Hand&, std::uint16_t, bool, std::uint8_t*);
template std::size_t discard_masks<true>(const Hand&, std::uint16_t, bool, std::uint8_t*);

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
  unsigned diamonds = 0;
  if constexpr (Prune) {
    for (std::size_t i = 0; i < hand.size(); ++i) diamonds |= (hand.data()[i].suit == CardSuit::Diamonds ? 1u : 0u) << i;
  }
  SubsetBits bits;
  subset_bits(hand, state.action_type.discard_amount, diamonds, bits);
  const std::uint16_t* words = bits.worthy;
  std::size_t count = bits.worthy_count;
  const std::size_t refill = N == 1 && state.hand_refills_left > 0 ? 1 : 0;
  // Pruned: the discards that spare every Diamonds card, unless the pruned list would be empty.
  if (Prune && bits.spared_count + refill > 0) {
    words = bits.spared;
    count = bits.spared_count;
  }
  if (count + refill == 0) return std::nullopt;
  const std::size_t chosen = rng.below(static_cast<std::uint32_t>(count + refill));
  if (chosen == count) return Action::refill_hand();
  Action a;
  write_cards(a, Action::Kind::Discard, hand.data(), nth_subset(hand.size(), words, chosen));
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

void drop_repeats(ActionList& actions) {
  // The codes with their positions, sorted: copies lie side by side, the first listed first.
  std::pair<std::uint64_t, std::uint16_t> keyed[ActionList::capacity];
  const std::size_t n = actions.size();
  for (std::size_t i = 0; i < n; ++i) keyed[i] = {pack_action(actions[i]), static_cast<std::uint16_t>(i)};
  std::sort(keyed, keyed + n);
  bool repeat[ActionList::capacity] = {};
  for (std::size_t i = 1; i < n; ++i) repeat[keyed[i].second] = keyed[i].first == keyed[i - 1].first;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (repeat[i]) continue;
    if (kept != i) actions[kept] = actions[i];
    ++kept;
  }
  actions.truncate(kept);
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
