#pragma once
#include <optional>

#include "game/state.hpp"

namespace corvanta {

// Every legal action of the player to act, in the fixed order every player relies on.
template <int N>
ActionList get_action_space(const State<N>& state);

// Phase PlayCards: single cards, animal combos, combos of equal small values, then Yield.
void attack_actions(const Hand& hand, ActionList& out);
// Phase Discard(n): every subset of the hand worth at least n, by size, then lexicographically.
void discard_actions(const Hand& hand, std::uint16_t n, ActionList& out);
// Phase Jester: hand the turn to any player, the jester's player included.
void jester_actions(int players, ActionList& out);

namespace detail {
// The attack listing without the processor-specific fast path (the two must agree).
void attack_actions_portable(const Hand& hand, ActionList& out);
// The processor-specific paths the listing may take, for tests that compare them: 0 none, 1 up to
// SSSE3, 2 up to AVX2, 3 all the processor has (the default). Not safe while another thread lists.
void limit_listing_features(int level);
// The discard listing without the processor-specific fast path (the two must agree).
void discard_actions_portable(const Hand& hand, std::uint16_t n, ActionList& out);
}  // namespace detail

// One step of a random playout: the action at position rng.below(count) of the action space
// (pruned when Prune is set), count being its length, drawing nothing when it is empty. The
// discard phase's up to 255 subsets are counted, and only the one drawn is built.
template <int N, bool Prune>
std::optional<Action> draw_action(const State<N>& state, StdRng& rng);

// The discards of the action space as position masks (bit i: the hand's card i), in its order,
// into `masks` (room for 255); returns how many. With Prune, the ones prune_bad_moves_in_place
// keeps, `other_kept` saying whether the list holds an action that is not a discard (a refill).
template <bool Prune>
std::size_t discard_masks(const Hand& hand, std::uint16_t n, bool other_kept, std::uint8_t* masks);
// The discard of the hand's cards at the positions set in `mask`.
Action discard_of(const Hand& hand, unsigned mask);

// Keeps the first of every action listed more than once, in order. Only a hand holding both
// jesters lists an action twice (each jester move, once per jester).
void drop_repeats(ActionList& actions);

// Drops the discards that throw away a Diamonds card, unless nothing would be left.
ActionList prune_bad_moves(ActionList actions);
// The same on the list itself: a rollout step prunes without copying its list.
void prune_bad_moves_in_place(ActionList& actions);

#define CORVANTA_DECLARE_ACTION_SPACE(N)                                                    \
  extern template ActionList get_action_space<N>(const State<N>&);                         \
  extern template std::optional<Action> draw_action<N, false>(const State<N>&, StdRng&);  \
  extern template std::optional<Action> draw_action<N, true>(const State<N>&, StdRng&);
CORVANTA_DECLARE_ACTION_SPACE(1)
CORVANTA_DECLARE_ACTION_SPACE(2)
CORVANTA_DECLARE_ACTION_SPACE(3)
CORVANTA_DECLARE_ACTION_SPACE(4)
#undef CORVANTA_DECLARE_ACTION_SPACE

}  // namespace corvanta
