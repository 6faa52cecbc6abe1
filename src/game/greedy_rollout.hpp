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

// The rollout policy for every player count: declared here, compiled once in greedy_rollout.cpp.
#define CORVANTA_GREEDY_ROLLOUT(PREFIX, N)                                                      \
  PREFIX template std::size_t greedy_move<N>(const State<N>&, const ActionList&, StdRng&);      \
  PREFIX template std::optional<Action> greedy_discard<N, false>(const State<N>&, StdRng&);     \
  PREFIX template std::optional<Action> greedy_discard<N, true>(const State<N>&, StdRng&);      \
  PREFIX template void order_by_judgement<N>(const State<N>&, ActionList&, std::size_t);       \
  PREFIX template std::int32_t judgement_of<N>(const State<N>&, const Action&);
CORVANTA_GREEDY_ROLLOUT(extern, 1)
CORVANTA_GREEDY_ROLLOUT(extern, 2)
CORVANTA_GREEDY_ROLLOUT(extern, 3)
CORVANTA_GREEDY_ROLLOUT(extern, 4)

}  // namespace corvanta
