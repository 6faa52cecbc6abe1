#pragma once
// The long waits of a move (a search's worker threads, the console player's read) can be cut
// short by whoever asked for the move: the Python layer runs the interpreter's pending signal
// handlers there, so that Ctrl-C or an alarm ends a search or a prompt. The check belongs to the
// calling thread and to the duration of one call.
#include <exception>

namespace corvanta {

// True when the move must stop. The reason stays with whoever installed the check (the Python
// layer: the exception its signal handler raised).
using InterruptCheck = bool (*)();

// Installs `check` on this thread until the scope ends; scopes nest.
class InterruptScope {
 public:
  explicit InterruptScope(InterruptCheck check) noexcept;
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

 private:
  InterruptCheck previous_;
};

// Runs this thread's check; false when none is installed.
bool interrupt_requested();

// A move cut short by the check. The player's own state (a search player's ranking) is unchanged.
class Interrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "the move was interrupted"; }
};

}  // namespace corvanta
