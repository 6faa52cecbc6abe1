#pragma once
// A state of any player count, and the one place where a player count known at run time becomes
// the compile-time N of the rules engine.
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "game/state.hpp"

namespace corvanta {

using AnyState = std::variant<State<1>, State<2>, State<3>, State<4>>;

// The player count as a type: `f` is called with std::integral_constant<int, N>, so that its body
// can name State<decltype(n)::value>.
template <int N>
using Players = std::integral_constant<int, N>;

// Calls f(Players<N>{}) for N = players. Throws std::invalid_argument for a count outside 1 .. 4.
template <class F>
decltype(auto) with_players(int players, F&& f) {
  switch (players) {
    case 1: return std::forward<F>(f)(Players<1>{});
    case 2: return std::forward<F>(f)(Players<2>{});
    case 3: return std::forward<F>(f)(Players<3>{});
    case 4: return std::forward<F>(f)(Players<4>{});
    default: throw std::invalid_argument("a game has 1 to 4 players, not " + std::to_string(players));
  }
}

// The new game of this seed.
inline AnyState new_state(int players, std::uint64_t seed) {
  return with_players(players, [&](auto n) -> AnyState { return State<n()>::create(seed); });
}

inline int num_players(const AnyState& state) { return static_cast<int>(state.index()) + 1; }

}  // namespace corvanta
