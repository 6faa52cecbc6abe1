#pragma once
#include <cstdio>

#include "game/action.hpp"
#include "game/enemy.hpp"
#include "players/play.hpp"

namespace corvanta {

// Lets a person choose at the console: shows the state and the numbered legal actions on standard
// output and reads the chosen number from standard input.
struct InputPlayer {
  template <int N>
  Action play(State<N> state);
};

static_assert(Play<InputPlayer>);

// The dialogue on given streams. A failed read (end of input, a read error, a line that is not
// valid UTF-8) throws Fatal "Error reading input.: <description>". Retries without limit. A read
// interrupted by a signal is resumed, or ends the call with Interrupted when this thread's
// interrupt check (players/interrupt.hpp) asks to stop.
Action console_dialogue(const ActionList& actions, PlayerId has_turn, const Enemy* enemy, std::FILE* in,
                        std::FILE* out);

}  // namespace corvanta
