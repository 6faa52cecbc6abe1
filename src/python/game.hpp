#pragma once
// One game as CorvantaGame holds it.
#include <variant>
#include <vector>

#include "python/native_player.hpp"
#include "python/state_py.hpp"

namespace corvanta::py {

// A built-in player is the game's own copy; any other object is shared with the caller.
using Seat = std::variant<NativePlayer, PyRef>;

struct Game {
  AnyState state;
  std::vector<Seat> seats;  // seat i plays when the state's has_turn is i
  bool playing = false;     // playout holds the game exclusively
};

// Plays from the held state until the rules report the result, returned as a new GameResult. The
// state is replaced after every accepted action, but not by the ending one. A refused or failed
// move leaves the state reached so far and returns nullptr with the error set; a built-in
// player's failure is thrown. Pending signals are handled before every turn (and by built-in
// players while they wait, under a SignalScope): a handler's exception ends the game the same way.
PyObject* play_to_end(Game& game);

}  // namespace corvanta::py
