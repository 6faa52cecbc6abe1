#pragma once
// PyState: a read-only snapshot of a game state of any player count.
#include <string>
#include <string_view>
#include <variant>

#include "game/state.hpp"
#include "python/py_ref.hpp"

namespace corvanta::py {

// The state of a game of 1, 2, 3 or 4 players (variants Players1 to Players4).
using StateEnum = std::variant<State<1>, State<2>, State<3>, State<4>>;

PyTypeObject* state_type();

template <int N>
PyObject* state_to_py(const State<N>& state);
// The state held by a PyState; otherwise sets the argument error naming `param`.
const StateEnum* state_arg(PyObject* obj, std::string_view param);

// The multi-line structured form of a PyState holding this state, as the game's dump shows it.
std::string pretty_text(const StateEnum& state);

}  // namespace corvanta::py
