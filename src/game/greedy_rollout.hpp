#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

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

// greedy_move in the discard phase without listing the discards: the same draws from `rng` and
// the same choice as greedy_move over get_action_space (pruned as prune_bad_moves_in_place
// prunes when Prune is set), building only the discard chosen. Nothing when the list is empty.
template <int N, bool Prune>
std::optional<Action> greedy_discard(const State<N>& state, StdRng& rng);

// The same judgement, without the randomness, as an order: the first `best` moves become the
// best-scored ones, best first, equal scores in their listed order; the moves after them are
// left unspecified. The information-set search tries moves in this order.
template <int N>
void order_by_judgement(const State<N>& state, ActionList& moves, std::size_t best);
// The score of that judgement for one move: larger is better.
template <int N>
std::int32_t judgement_of(const State<N>& state, const Action& action);

extern template std::size_t greedy_move<1>(const State<1>&, const ActionList&, StdRng&);
extern template std::size_t greedy_move<2>(const State<2>&, const ActionList&, StdRng&);
extern template std::size_t greedy_move<3>(const State<3>&, const ActionList&, StdRng&);
extern template std::size_t greedy_move<4>(const State<4>&, const ActionList&, StdRng&);
extern template void order_by_judgement<1>(const State<1>&, ActionList&, std::size_t);
extern template std::int32_t judgement_of<1>(const State<1>&, const Action&);
extern template std::optional<Action> greedy_discard<1, false>(const State<1>&, StdRng&);
extern template std::optional<Action> greedy_discard<1, true>(const State<1>&, StdRng&);
extern template void order_by_judgement<2>(const State<2>&, ActionList&, std::size_t);
extern template std::int32_t judgement_of<2>(const State<2>&, const Action&);
extern template std::optional<Action> greedy_discard<2, false>(const State<2>&, StdRng&);
extern template std::optional<Action> greedy_discard<2, true>(const State<2>&, StdRng&);
extern template void order_by_judgement<3>(const State<3>&, ActionList&, std::size_t);
extern template std::int32_t judgement_of<3>(const State<3>&, const Action&);
extern template std::optional<Action> greedy_discard<3, false>(const State<3>&, StdRng&);
extern template std::optional<Action> greedy_discard<3, true>(const State<3>&, StdRng&);
extern template void order_by_judgement<4>(const State<4>&, ActionList&, std::size_t);
extern template std::int32_t judgement_of<4>(const State<4>&, const Action&);
extern template std::optional<Action> greedy_discard<4, false>(const State<4>&, StdRng&);
extern template std::optional<Action> greedy_discard<4, true>(const State<4>&, StdRng&);

}  // namespace corvanta
