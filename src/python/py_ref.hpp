#pragma once
// The owned reference to a Python object: every new reference the module receives lives in one,
// so each is released exactly once whatever path a function leaves by.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace corvanta::py {

class PyRef {
 public:
  PyRef() = default;
  // Takes over a new reference (nullptr allowed: a failed call).
  static PyRef steal(PyObject* o) { return PyRef(o); }
  // Adds a reference of its own to a borrowed one.
  static PyRef borrow(PyObject* o) {
    Py_XINCREF(o);
    return PyRef(o);
  }

  PyRef(const PyRef& other) : obj_(other.obj_) { Py_XINCREF(obj_); }
  PyRef(PyRef&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
  PyRef& operator=(PyRef other) noexcept {
    std::swap(obj_, other.obj_);
    return *this;
  }
  ~PyRef() { Py_XDECREF(obj_); }

  PyObject* get() const { return obj_; }
  explicit operator bool() const { return obj_ != nullptr; }
  // Hands the reference to the caller (a function returning a new reference to the interpreter).
  PyObject* release() { return std::exchange(obj_, nullptr); }

 private:
  explicit PyRef(PyObject* o) : obj_(o) {}
  PyObject* obj_ = nullptr;
};

}  // namespace corvanta::py
