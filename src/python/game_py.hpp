#pragma once
// CorvantaGame: one game, its state and its seats, driven by playout.
#include "python/py_ref.hpp"

namespace corvanta::py {

PyTypeObject* game_type();

}  // namespace corvanta::py
