#pragma once
#include <optional>
#include <variant>

#include "game/state.hpp"

namespace corvanta {

// Applies a legal action in place. Returns the game's result when the action ends the game; the
// state is then left part-way through the action and must not be used further. The action is
// not validated: callers take it from the action space.
template <int N>
std::optional<GameResult> advance(State<N>& state, const Action& action);

// Resolves the play of `played` (possibly none) by the player to act.
template <int N>
std::optional<GameResult> play_cards(State<N>& state, const Hand& played);

// The next state, or the result of the game.
template <int N>
using Outcome = std::variant<State<N>, GameResult>;

template <int N>
Outcome<N> apply_action(State<N> state, const Action& action) {
  if (auto result = advance(state, action)) return *result;
  return state;
}

// apply_action on a copy; the given state is unchanged.
template <int N>
Outcome<N> take_action(const State<N>& state, const Action& action) {
  return apply_action(state, action);
}

}  // namespace corvanta
