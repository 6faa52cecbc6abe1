#pragma once
// Every function the interpreter calls runs its body through guard(): C++ exceptions (the
// module's own failures, the search's failures, anything from the standard library) end the call
// with PanicException instead of crossing into the interpreter.
#include <exception>
#include <string_view>

#include "python/py_ref.hpp"

namespace corvanta::py {

// The exception type of failures inside the module's own code: one per process, a direct
// subclass of BaseException so that `except Exception` does not swallow it.
PyObject* panic_exception();
// Sets PanicException(message) as the current error.
void raise_panic(std::string_view message);

template <class Body>
PyObject* guard(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    raise_panic(e.what());
  } catch (...) {
    raise_panic("unknown failure");
  }
  return nullptr;
}

}  // namespace corvanta::py
