#pragma once
// The built-in players as game seats and as Python classes.
#include <optional>
#include <utility>
#include <variant>

#include "players/input_player.hpp"
#include "players/mcts_player.hpp"
#include "players/random_player.hpp"
#include "python/action_py.hpp"
#include "python/args.hpp"
#include "python/boxed.hpp"
#include "python/entry.hpp"
#include "python/state_py.hpp"

namespace corvanta::py {

// The built-in players a seat holds by value, in the order a Python object is tried against
// them; also the order of the `players` submodule. A new built-in player is one more entry here
// and a specialisation of player_type beside its binding.
using NativePlayer = std::variant<RandomPlayer, InputPlayer, MCTSPlayer>;

// The Python class of each built-in player.
template <class P>
PyTypeObject* player_type();
template <>
PyTypeObject* player_type<RandomPlayer>();
template <>
PyTypeObject* player_type<InputPlayer>();
template <>
PyTypeObject* player_type<MCTSPlayer>();

// A copy of the built-in player `obj` holds; nothing for any other object. nullopt with an error
// set only if a class could not be created.
std::optional<NativePlayer> native_player_from_py(PyObject* obj);

// Calls add(type) for each built-in player's class, in the order of NativePlayer; stops at the
// first failure.
template <class Add>
bool for_each_player_type(Add&& add) {
  return [&]<std::size_t... I>(std::index_sequence<I...>) {
    return (add(player_type<std::variant_alternative_t<I, NativePlayer>>()) && ...);
  }(std::make_index_sequence<std::variant_size_v<NativePlayer>>());
}

// The Python face of a move (play_py): the player moves on a copy of the state it holds, and the
// chosen action comes back as a new action object.
template <Play P>
PyObject* play_py(P& player, const AnyState& state) {
  return std::visit([&](const auto& s) { return action_to_py(player.play(s)); }, state);
}

// The method `play(state)` of a built-in player's class; `Sig` names it in argument errors.
template <Play P, const Signature& Sig>
PyObject* play_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    PyObject* given[1];
    if (!parse_args(Sig, args, static_cast<std::size_t>(nargs), kwnames, given)) return nullptr;
    const AnyState* state = state_arg(given[0], "state");
    if (state == nullptr) return nullptr;
    const SignalScope signals;
    return play_py(unbox<P>(self), *state);
  });
}

}  // namespace corvanta::py
