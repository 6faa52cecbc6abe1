#pragma once
// Every function the interpreter calls runs its body through guard(): C++ exceptions (the
// module's own failures, the search's failures, anything from the standard library) end the call
// with PanicException instead of crossing into the interpreter, a failed allocation with
// MemoryError.
#include <exception>
#include <new>
#include <string_view>

#include "players/interrupt.hpp"
#include "python/py_ref.hpp"

namespace corvanta::py {

// The exception type of failures inside the module's own code: one per process, a direct
// subclass of BaseException so that `except Exception` does not swallow it.
PyObject* panic_exception();
// Sets PanicException(message) as the current error.
void raise_panic(std::string_view message);

// The interrupt check of a move asked for by Python: runs the interpreter's pending signal
// handlers (this thread holds the interpreter lock), and asks to stop when one raised.
bool python_signal_raised();

// For the duration of a built-in player's move: Ctrl-C, an alarm or any other signal whose
// handler raises ends the move with the handler's exception (see guard).
class SignalScope : public InterruptScope {
 public:
  SignalScope() noexcept : InterruptScope(python_signal_raised) {}
};

template <class Body>
PyObject* guard(Body&& body) noexcept {
  try {
    return body();
  } catch (const Interrupted&) {
    // The signal handler's exception is already set.
    if (!PyErr_Occurred()) raise_panic("interrupted");
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_panic(e.what());
  } catch (...) {
    raise_panic("unknown failure");
  }
  return nullptr;
}

}  // namespace corvanta::py
