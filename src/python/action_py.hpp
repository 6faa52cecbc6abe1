#pragma once
// The seven Python action classes, one per variant of Action, each holding the Action itself.
#include "game/action.hpp"
#include "python/py_ref.hpp"

namespace corvanta::py {

PyTypeObject* action_type(Action::Kind kind);

// A new object of the class of the action's variant.
PyObject* action_to_py(const Action& action);
// The action held by an object of one of the seven classes; otherwise sets the TypeError that
// lists every variant's refusal and returns false.
bool action_from_py(PyObject* obj, Action& out);

}  // namespace corvanta::py
