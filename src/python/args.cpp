#include <limits>
#include "python/args.hpp"

#include <vector>

namespace corvanta::py {
namespace {

std::string utf8(PyObject* str) {
  Py_ssize_t len = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &len);
  if (data == nullptr) {
    PyErr_Clear();
    return "?";
  }
  return std::string(data, static_cast<std::size_t>(len));
}

void raise_call_error(const Signature& sig, const std::string& rest) {
  raise_type_error(std::string(sig.callable) + "() " + rest);
}

void raise_too_many(const Signature& sig, std::size_t given) {
  std::string takes = sig.required == sig.names.size()
                          ? std::to_string(sig.names.size())
                          : "from " + std::to_string(sig.required) + " to " + std::to_string(sig.names.size());
  raise_call_error(sig, "takes " + takes + " positional arguments but " + std::to_string(given) + " " +
                            (given == 1 ? "was" : "were") + " given");
}

void raise_missing(const Signature& sig, const std::vector<const char*>& missing) {
  std::string names;
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if (i > 0) names += i + 1 == missing.size() ? " and " : ", ";
    names.append("'").append(missing[i]).append("'");
  }
  raise_call_error(sig, std::string("missing ") + std::to_string(missing.size()) + " required positional argument" +
                            (missing.size() == 1 ? "" : "s") + ": " + names);
}

// The current exception as an object, cleared from the thread's error state.
PyRef take_error() {
#if PY_VERSION_HEX >= 0x030C0000
  return PyRef::steal(PyErr_GetRaisedException());
#else
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef owned_type = PyRef::steal(type), owned_traceback = PyRef::steal(traceback);
  return PyRef::steal(value);
#endif
}

std::string type_name(PyObject* obj) {
  PyRef name = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__name__"));
  if (name && PyUnicode_Check(name.get())) return utf8(name.get());
  PyErr_Clear();
  return Py_TYPE(obj)->tp_name;
}

}  // namespace

void raise_type_error(std::string_view message) {
  PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (text) PyErr_SetObject(PyExc_TypeError, text.get());
}

PyObject* equality_only(bool equal, int op) {
  if (op == Py_EQ) return PyBool_FromLong(equal);
  if (op == Py_NE) return PyBool_FromLong(!equal);
  raise_type_error("Operation not supported");
  return nullptr;
}

bool parse_args(const Signature& sig, PyObject* const* args, std::size_t nargs, PyObject* kwnames,
                PyObject** out) {
  const std::size_t count = sig.names.size();
  if (nargs > count) {
    raise_too_many(sig, nargs);
    return false;
  }
  for (std::size_t i = 0; i < count; ++i) out[i] = i < nargs ? args[i] : nullptr;
  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  PyObject* unexpected = nullptr;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    std::size_t index = count;
    for (std::size_t i = 0; i < count; ++i) {
      if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, sig.names[i]) == 0) {
        index = i;
        break;
      }
    }
    if (index == count) {
      // Reported after every keyword was looked at: a repeated argument is named first.
      if (unexpected == nullptr) unexpected = key;
      continue;
    }
    if (out[index] != nullptr) {
      raise_call_error(sig, "got multiple values for argument '" + std::string(sig.names[index]) + "'");
      return false;
    }
    out[index] = args[nargs + static_cast<std::size_t>(k)];
  }
  if (unexpected != nullptr) {
    const std::string name = PyUnicode_Check(unexpected) ? utf8(unexpected) : std::string("?");
    raise_call_error(sig, "got an unexpected keyword argument '" + name + "'");
    return false;
  }
  std::vector<const char*> missing;
  for (std::size_t i = 0; i < sig.required; ++i)
    if (out[i] == nullptr) missing.push_back(sig.names[i]);
  if (!missing.empty()) {
    raise_missing(sig, missing);
    return false;
  }
  return true;
}

bool parse_args(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out) {
  const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  std::vector<PyObject*> flat(&PyTuple_GET_ITEM(args, 0), &PyTuple_GET_ITEM(args, 0) + nargs);
  PyRef kwnames;
  if (kwargs != nullptr && PyDict_GET_SIZE(kwargs) > 0) {
    kwnames = PyRef::steal(PyTuple_New(PyDict_GET_SIZE(kwargs)));
    if (!kwnames) return false;
    Py_ssize_t pos = 0, k = 0;
    PyObject *key, *value;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      Py_INCREF(key);
      PyTuple_SET_ITEM(kwnames.get(), k++, key);
      flat.push_back(value);
    }
  }
  return parse_args(sig, flat.data(), static_cast<std::size_t>(nargs), kwnames.get(), out);
}

std::string conversion_message(PyObject* obj, std::string_view target) {
  return std::string("'") + type_name(obj) + "' object cannot be converted to '" + std::string(target) + "'";
}

void raise_argument_error(std::string_view param, std::string_view message) {
  raise_type_error("argument '" + std::string(param) + "': " + std::string(message));
}

void raise_conversion_error(std::string_view param, PyObject* obj, std::string_view target) {
  raise_argument_error(param, conversion_message(obj, target));
}

bool u64_arg(PyObject* obj, std::string_view param, std::uint64_t& out) {
  PyRef index = PyRef::steal(PyNumber_Index(obj));
  if (index) {
    out = PyLong_AsUnsignedLongLong(index.get());
    if (!(out == static_cast<std::uint64_t>(-1) && PyErr_Occurred())) return true;
  }
  if (PyErr_ExceptionMatches(PyExc_TypeError)) {
    PyRef error = take_error();
    PyRef text = PyRef::steal(error ? PyObject_Str(error.get()) : nullptr);
    if (!text) PyErr_Clear();
    raise_argument_error(param, text ? utf8(text.get()) : std::string("?"));
  }
  return false;
}

bool bounded_uint_arg(PyObject* obj, std::string_view param, std::uint64_t max, std::uint64_t& out) {
  if (!u64_arg(obj, param, out)) return false;
  if (out <= max) return true;
  PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
  return false;
}

bool bool_arg(PyObject* obj, std::string_view param, bool& out) {
  if (!PyBool_Check(obj)) {
    raise_conversion_error(param, obj, "PyBool");
    return false;
  }
  out = obj == Py_True;
  return true;
}

bool optional_bounded_uint_arg(PyObject* obj, std::string_view param, std::uint64_t max,
                               std::optional<std::uint64_t>& out) {
  if (obj == nullptr || obj == Py_None) {
    out.reset();
    return true;
  }
  std::uint64_t value = 0;
  if (!bounded_uint_arg(obj, param, max, value)) return false;
  out = value;
  return true;
}

bool optional_u64_arg(PyObject* obj, std::string_view param, std::optional<std::uint64_t>& out) {
  return optional_bounded_uint_arg(obj, param, std::numeric_limits<std::uint64_t>::max(), out);
}

}  // namespace corvanta::py
