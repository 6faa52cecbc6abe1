#include "lab/bind/signatures.hpp"

namespace nb = nanobind;

namespace corvanta::lab {
namespace {

// Any failure reads as a missing attribute, so that inspect falls back to what it did before.
PyObject* signature_of(PyObject* self, void*) {
  PyObject* helper = PyImport_ImportModule("corvanta_lab._signature");
  PyObject* result = nullptr;
  if (helper != nullptr) {
    result = PyObject_CallMethod(helper, "signature", "O", self);
    Py_DECREF(helper);
  }
  if (result == nullptr && !PyErr_ExceptionMatches(PyExc_AttributeError)) {
    PyErr_Clear();
    PyErr_SetString(PyExc_AttributeError, "__signature__");
  }
  return result;
}

PyGetSetDef kSignature = {"__signature__", signature_of, nullptr,
                          "The function's inspect.Signature, read from its nanobind signature.", nullptr};

void add_getter(PyTypeObject* type) {
  // nanobind's function types are immutable to Python code; their dictionary is extended here,
  // once, before any of their functions has been looked up through it.
  PyObject* dict = type->tp_dict;
  if (dict == nullptr || PyDict_GetItemString(dict, "__signature__") != nullptr) return;
  PyObject* descriptor = PyDescr_NewGetSet(type, &kSignature);
  if (descriptor == nullptr) throw nb::python_error();
  const int failed = PyDict_SetItemString(dict, "__signature__", descriptor);
  Py_DECREF(descriptor);
  if (failed != 0) throw nb::python_error();
  PyType_Modified(type);
}

}  // namespace

void add_signatures(nb::handle function, nb::handle method, nb::handle bound) {
  for (nb::handle object : {function, method, bound}) add_getter(Py_TYPE(object.ptr()));
}

}  // namespace corvanta::lab
