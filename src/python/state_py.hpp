#pragma once
// PyState: a read-only snapshot of a game state of any player count.
#include <string>
#include <string_view>
#include <variant>

#include "game/any_state.hpp"
#include "python/py_ref.hpp"

namespace corvanta::py {


PyTypeObject* state_type();

template <int N>
PyObject* state_to_py(const State<N>& state);
// The state held by a PyState; otherwise sets the argument error naming `param`.
const AnyState* state_arg(PyObject* obj, std::string_view param);

// The multi-line structured form of a PyState holding this state, as the game's dump shows it.
std::string pretty_text(const AnyState& state);

}  // namespace corvanta::py
