#pragma once
#include <cstddef>

#include "game/action.hpp"
#include "game/rng.hpp"
#include "game/state.hpp"

namespace corvanta {

// A rollout move chosen by a cheap one-move judgement, without applying any rule: with
// probability 1/10 a uniform move, otherwise the best-scored one, ties at random. The scores:
// an exact kill first, then any kill, cheapest first; a play the player survives by its damage,
// Spades shield, Diamonds draw and Hearts heal, less the value spent; a yield the player
// survives below any such play; refilling only to avoid a loss; plays that lose last. Discards
// throw away the lowest value, then the fewest cards, never the jester. After a jester the turn
// goes to the strongest hand. `moves` is not empty.
template <int N>
std::size_t greedy_move(const State<N>& state, const ActionList& moves, StdRng& rng);

extern template std::size_t greedy_move<1>(const State<1>&, const ActionList&, StdRng&);
extern template std::size_t greedy_move<2>(const State<2>&, const ActionList&, StdRng&);
extern template std::size_t greedy_move<3>(const State<3>&, const ActionList&, StdRng&);
extern template std::size_t greedy_move<4>(const State<4>&, const ActionList&, StdRng&);

}  // namespace corvanta
