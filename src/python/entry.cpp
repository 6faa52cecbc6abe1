#include "python/entry.hpp"

namespace corvanta::py {

PyObject* panic_exception() {
  static PyObject* type = nullptr;
  if (type == nullptr)
    type = PyErr_NewExceptionWithDoc("corvanta.PanicException",
                                     "A failure inside the corvanta module's own code.",
                                     PyExc_BaseException, nullptr);
  return type;
}

void raise_panic(std::string_view message) {
  PyObject* type = panic_exception();
  if (type == nullptr) return;  // the creation's own error stays set
  PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (!text) return;
  PyErr_SetObject(type, text.get());
}

bool python_signal_raised() { return PyErr_CheckSignals() != 0; }

}  // namespace corvanta::py
