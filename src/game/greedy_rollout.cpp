#include "game/greedy_rollout.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <functional>

#include "game/action_space.hpp"

namespace corvanta {
namespace {

constexpr std::int32_t kLoses = -1'000'000;
constexpr std::int32_t kRefill = -500'000;  // better than losing, worse than anything else
constexpr std::int32_t kKill = 100'000;
constexpr std::int32_t kExactKill = 200'000;  // the enemy's card goes to the tavern deck
constexpr std::int32_t kSurvivingYield = 0;
constexpr std::int32_t kJester = 1;  // no strike back this turn, and the immunity is lifted

// Bit s is set when a card of suit s is among the action's cards (bit 4: the jester).
unsigned suits_of(const Action& a) {
  unsigned suits = 0;
  for (const Card& c : a.cards) suits |= 1u << static_cast<unsigned>(c.suit);
  return suits;
}
constexpr unsigned bit(CardSuit suit) { return 1u << static_cast<unsigned>(suit); }

// Scores in units of half a point, so that the weights below stay integers.
template <int N>
std::int32_t play_score(const State<N>& s, const Action& a, std::int32_t hand_value) {
  const Enemy* enemy = s.current_enemy();
  if (enemy == nullptr) return 0;  // every move wins
  const std::int32_t attack = enemy->attack;
  switch (a.kind) {
    case Action::Kind::Yield: {
      const bool last_yield = s.times_yielded + 1 >= static_cast<std::uint64_t>(N);
      return !last_yield && hand_value >= attack ? kSurvivingYield : kLoses;
    }
    case Action::Kind::RefillHand: return kRefill;
    case Action::Kind::ChangePlayer:
    case Action::Kind::Discard: return 0;  // not offered in this phase
    default: break;
  }
  unsigned powers = suits_of(a);
  if (powers & bit(CardSuit::None)) return kJester;
  if (!enemy->jester_applied) powers &= ~bit(enemy->card.suit);
  const std::int32_t value = attack_sum(a.cards);
  auto power = [powers](CardSuit suit) { return (powers & bit(suit)) != 0; };
  const std::int32_t damage = power(CardSuit::Clubs) ? 2 * value : value;
  if (damage >= enemy->health) return (damage == enemy->health ? kExactKill : kKill) - value;
  const std::int32_t shield = power(CardSuit::Spades) ? std::min(value, attack) : 0;
  if (hand_value - value < attack - shield) return kLoses - value;
  const std::int32_t draw =
      power(CardSuit::Diamonds) ? std::min<std::int32_t>(value, static_cast<std::int32_t>(s.table.tavern_deck.size())) : 0;
  const std::int32_t heal =
      power(CardSuit::Hearts) ? std::min<std::int32_t>(value, static_cast<std::int32_t>(s.table.discard_pile.size())) : 0;
  // Weights measured on rollouts from the opening: cards drawn count double, a shield one and a
  // half times, and spending cards one and a half times their value.
  return 2 * damage + 3 * shield + 4 * draw + 2 * heal - 3 * value;
}

std::int32_t discard_score(const Action& a) {
  if (a.kind == Action::Kind::RefillHand) return kRefill;
  const std::int32_t jester = (suits_of(a) & bit(CardSuit::None)) ? 1'000 : 0;
  return -(16 * attack_sum(a.cards) + static_cast<std::int32_t>(a.cards.size()) + jester);
}

template <int N>
std::int32_t handover_score(const State<N>& s, const Action& a) {
  if (a.kind != Action::Kind::ChangePlayer) return kRefill;
  return s.players[a.player.value].total_hand_value();
}

template <int N>
std::int32_t judgement(const State<N>& state, const Action& action, std::int32_t hand_value) {
  switch (state.action_type.kind) {
    case ActionType::Kind::PlayCards: return play_score(state, action, hand_value);
    case ActionType::Kind::Discard: return discard_score(action);
    case ActionType::Kind::Jester: return handover_score(state, action);
  }
  return 0;
}

}  // namespace

template <int N>
std::int32_t judgement_of(const State<N>& state, const Action& action) {
  return judgement(state, action, state.current_player().total_hand_value());
}

template <int N>
void order_by_judgement(const State<N>& state, ActionList& moves, std::size_t best) {
  const std::size_t count = moves.size();
  best = std::min(best, count);
  if (best == 0) return;
  const std::int32_t hand_value = state.current_player().total_hand_value();
  // One key per move, the score above the position (complemented, so that the earlier move wins a
  // tie): ordering the keys orders the moves.
  std::array<std::int64_t, ActionList::capacity> keys;
  for (std::size_t i = 0; i < count; ++i)
    keys[i] = static_cast<std::int64_t>(judgement(state, moves[i], hand_value)) * 65536 + (65535 - static_cast<std::int64_t>(i));
  std::partial_sort(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(best), keys.begin() + static_cast<std::ptrdiff_t>(count),
                    std::greater<>());
  std::array<Action, ActionList::capacity> chosen;
  for (std::size_t i = 0; i < best; ++i) chosen[i] = moves[65535 - static_cast<std::size_t>(keys[i] & 65535)];
  for (std::size_t i = 0; i < best; ++i) moves[i] = chosen[i];
}

template <int N>
std::size_t greedy_move(const State<N>& state, const ActionList& moves, StdRng& rng) {
  const auto count = static_cast<std::uint32_t>(moves.size());
  if (rng.below(10) == 0) return rng.below(count);
  const std::int32_t hand_value = state.current_player().total_hand_value();
  std::size_t best = 0;
  std::int32_t best_score = 0;
  std::uint32_t ties = 0;
  for (std::size_t i = 0; i < moves.size(); ++i) {
    const std::int32_t score = judgement(state, moves[i], hand_value);
    if (i == 0 || score > best_score) {
      best = i;
      best_score = score;
      ties = 1;
    } else if (score == best_score && rng.below(++ties) == 0) {
      best = i;  // each of the tied moves is kept with equal chance
    }
  }
  return best;
}

template <int N, bool Prune>
std::optional<Action> greedy_discard(const State<N>& state, StdRng& rng) {
  const Hand& hand = state.current_hand();
  const bool refill = N == 1 && state.hand_refills_left > 0;
  std::uint8_t masks[255];
  const std::size_t count = discard_masks<Prune>(hand, state.action_type.discard_amount, refill, masks);
  const std::size_t total = count + (refill ? 1 : 0);
  if (total == 0) return std::nullopt;
  if (rng.below(10) == 0) {
    const std::size_t i = rng.below(static_cast<std::uint32_t>(total));
    return i == count ? Action::refill_hand() : discard_of(hand, masks[i]);
  }
  // The refill scores below every discard, so it is chosen only alone and never ties.
  if (count == 0) return Action::refill_hand();
  // discard_score by positions: 16 × worth + cards of every subset, each card adding its own
  // 16 × attack value + 1, and which positions hold a jester.
  std::int32_t cost[1u << kMaxHandSize];
  unsigned jesters = 0;
  cost[0] = 0;
  for (std::size_t pos = 0; pos < hand.size(); ++pos) {
    const Card c = hand.data()[pos];
    jesters |= (c.suit == CardSuit::None ? 1u : 0u) << pos;
    const std::int32_t card_cost = 16 * static_cast<std::int32_t>(attack_value(c)) + 1;
    const std::size_t half = std::size_t{1} << pos;
    for (std::size_t m = 0; m < half; ++m) cost[half + m] = cost[m] + card_cost;
  }
  const auto score = [&](unsigned mask) { return -(cost[mask] + ((mask & jesters) != 0 ? 1'000 : 0)); };
  // The same running best and reservoir draws as greedy_move over the listed discards.
  std::size_t best = 0;
  std::int32_t best_score = score(masks[0]);
  std::uint32_t ties = 1;
  for (std::size_t i = 1; i < count; ++i) {
    const std::int32_t here = score(masks[i]);
    if (here > best_score) {
      best = i;
      best_score = here;
      ties = 1;
    } else if (here == best_score && rng.below(++ties) == 0) {
      best = i;
    }
  }
  return discard_of(hand, masks[best]);
}

CORVANTA_GREEDY_ROLLOUT(, 1)
CORVANTA_GREEDY_ROLLOUT(, 2)
CORVANTA_GREEDY_ROLLOUT(, 3)
CORVANTA_GREEDY_ROLLOUT(, 4)

}  // namespace corvanta
