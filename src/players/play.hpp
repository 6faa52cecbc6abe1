#pragma once
// The player interface: every built-in player chooses one action for a state of any player count.
#include <concepts>
#include <string_view>

#include "game/action.hpp"
#include "game/state.hpp"

namespace corvanta {

// A player receives its own copy of the state, with exclusive access to itself (its generator or
// its stored ranking may advance), and finds the legal actions itself. The action it returns is a
// copy of one element of get_action_space(state).
template <class P>
concept Play = requires(P& player, State<1> s1, State<2> s2, State<3> s3, State<4> s4) {
  { player.play(s1) } -> std::same_as<Action>;
  { player.play(s2) } -> std::same_as<Action>;
  { player.play(s3) } -> std::same_as<Action>;
  { player.play(s4) } -> std::same_as<Action>;
};

// What a built-in player reports when it is asked to move where no action is legal.
inline constexpr std::string_view kNoActionsMessage = "No actions available to choose from";

}  // namespace corvanta
