#pragma once
// The Python faces of Card, CardSuit and CardValue.
#include <string_view>

#include "game/card.hpp"
#include "python/py_ref.hpp"

namespace corvanta::py {

PyTypeObject* card_type();
PyTypeObject* card_suit_type();
PyTypeObject* card_value_type();

PyObject* card_to_py(Card card);
// Accepts instances of Card only; otherwise sets the argument error naming `param`.
bool card_arg(PyObject* obj, std::string_view param, Card& out);

}  // namespace corvanta::py
