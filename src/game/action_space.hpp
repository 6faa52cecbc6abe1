#pragma once
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
// The discard listing without the processor-specific fast path (the two must agree).
void discard_actions_portable(const Hand& hand, std::uint16_t n, ActionList& out);
}  // namespace detail

// Drops the discards that throw away a Diamonds card, unless nothing would be left.
ActionList prune_bad_moves(ActionList actions);
// The same on the list itself: a rollout step prunes without copying its list.
void prune_bad_moves_in_place(ActionList& actions);

extern template ActionList get_action_space<1>(const State<1>&);
extern template ActionList get_action_space<2>(const State<2>&);
extern template ActionList get_action_space<3>(const State<3>&);
extern template ActionList get_action_space<4>(const State<4>&);

}  // namespace corvanta
