#pragma once
// A Python object holding one C++ value, and the pieces every such class shares.
#include <iterator>
#include <new>
#include <string>
#include <utility>

#include "python/py_ref.hpp"

namespace corvanta::py {

template <class T>
struct Boxed {
  PyObject_HEAD
  T value;
};

template <class T>
T& unbox(PyObject* o) {
  return reinterpret_cast<Boxed<T>*>(o)->value;
}

// A new object of `type` holding a T built from `args`; nullptr (error set) if that fails.
template <class T, class... Args>
PyObject* box(PyTypeObject* type, Args&&... args) {
  if (type == nullptr) return nullptr;
  PyObject* o = type->tp_alloc(type, 0);
  if (o == nullptr) return nullptr;
  new (&unbox<T>(o)) T(std::forward<Args>(args)...);
  return o;
}

// Heap types own a reference to their type object: drop it after the object is freed.
template <class T>
void boxed_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  unbox<T>(self).~T();
  type->tp_free(self);
  Py_DECREF(type);
}

// The constructor slot of classes that Python cannot instantiate.
PyObject* no_constructor(PyTypeObject*, PyObject*, PyObject*);

// Creates a class from its slot list: never subclassable, never mutable from Python. The class
// belongs to no module: its name has no module prefix, and its __module__ is "builtins" so that
// the interpreter does not warn about a missing one.
PyTypeObject* create_type(const char* name, std::size_t basic_size, PyType_Slot* slots, unsigned extra_flags = 0);
// The class's own name, without the module.
const char* class_name(PyTypeObject* type);

// A class created once, on first use. A failed creation leaves its error set and is retried on
// the next use.
template <PyTypeObject* (*Make)()>
PyTypeObject* lazy_type() {
  static PyTypeObject* type = nullptr;
  if (type == nullptr) type = Make();
  return type;
}

// A METH_FASTCALL | METH_KEYWORDS function as the method table stores it.
template <auto Method>
constexpr PyCFunction fastcall() {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Method));
}

// A new list of new objects, one per item, made by `convert` (nullptr: its error ends the list).
template <class Range, class Convert>
PyObject* new_list(const Range& items, Convert&& convert) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(std::size(items))));
  if (!list) return nullptr;
  Py_ssize_t i = 0;
  for (const auto& item : items) {
    PyObject* obj = convert(item);
    if (obj == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), i++, obj);
  }
  return list.release();
}

// The text of a C++ string as a new Python str.
PyObject* to_str(const std::string& text);

// Sets a class attribute after creation (immutable types refuse it from Python).
bool set_class_attr(PyTypeObject* type, const char* name, PyObject* value);

}  // namespace corvanta::py
