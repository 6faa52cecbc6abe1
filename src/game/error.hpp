#pragma once
#include <stdexcept>
#include <string>

namespace corvanta {

// The game library's only error value: a state type exists only for 1 to 4 players.
enum class CorvantaError { WrongNumberOfPlayers };

// A failure of the module's own code (a refused argument, an internal limit, a player that
// cannot move). It never ends the process: the Python layer turns it into PanicException.
class Fatal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& message);

}  // namespace corvanta
