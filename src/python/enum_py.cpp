#include "python/enum_py.hpp"

#include <string>

#include "python/args.hpp"
#include "python/boxed.hpp"
#include "python/entry.hpp"

namespace corvanta::py {
namespace {

const EnumValue& value_of(PyObject* self) { return unbox<EnumValue>(self); }

PyObject* enum_repr(PyObject* self) {
  return guard([&] {
    const EnumValue& v = value_of(self);
    return to_str(std::string(v.info->repr_prefix) + "." + v.info->members[v.value]);
  });
}

PyObject* enum_int(PyObject* self) { return PyLong_FromLong(value_of(self).value); }

// Only == is the class's own: an integer (through the index protocol) compares with the member's
// value, a member of the same class by identity of member; anything else is refused. Every other
// operator falls back to the interpreter (identity for !=). Only a TypeError of the index
// protocol becomes the refusal; its other exceptions propagate.
PyObject* enum_richcompare(PyObject* self, PyObject* other, int op) {
  return guard([&]() -> PyObject* {
    if (op != Py_EQ) Py_RETURN_NOTIMPLEMENTED;
    const EnumValue& v = value_of(self);
    if (PyIndex_Check(other)) {
      PyRef index = PyRef::steal(PyNumber_Index(other));
      if (index) {
        const Py_ssize_t n = PyLong_AsSsize_t(index.get());
        if (!(n == -1 && PyErr_Occurred())) return PyBool_FromLong(n == v.value);
        PyErr_Clear();  // beyond a machine integer: no member's value
      } else if (PyErr_ExceptionMatches(PyExc_TypeError)) {
        PyErr_Clear();  // no integer after all: the refusal below names the class
      } else {
        return nullptr;  // anything else __index__ raised (KeyboardInterrupt, MemoryError...) stands
      }
    }
    if (Py_TYPE(other) == Py_TYPE(self)) return PyBool_FromLong(value_of(other).value == v.value);
    raise_type_error(conversion_message(other, v.info->class_name));
    return nullptr;
  });
}

}  // namespace

PyObject* new_enum(PyTypeObject* type, const EnumInfo& info, std::uint8_t value) {
  return box<EnumValue>(type, EnumValue{&info, value});
}

PyTypeObject* create_enum_type(const EnumInfo& info, PyMethodDef* methods) {
  PyType_Slot slots[] = {
      {Py_tp_dealloc, reinterpret_cast<void*>(boxed_dealloc<EnumValue>)},
      {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
      {Py_tp_repr, reinterpret_cast<void*>(enum_repr)},
      {Py_tp_richcompare, reinterpret_cast<void*>(enum_richcompare)},
      {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
      {Py_nb_int, reinterpret_cast<void*>(enum_int)},
      {methods != nullptr ? Py_tp_methods : 0, methods},  // last: without methods it ends the list
      {0, nullptr},
  };
  PyRef type = PyRef::steal(reinterpret_cast<PyObject*>(create_type(info.class_name, sizeof(Boxed<EnumValue>), slots)));
  if (!type) return nullptr;
  auto* cls = reinterpret_cast<PyTypeObject*>(type.get());
  for (std::size_t i = 0; i < info.members.size(); ++i) {
    PyRef member = PyRef::steal(new_enum(cls, info, static_cast<std::uint8_t>(i)));
    if (!member || !set_class_attr(cls, info.members[i], member.get())) return nullptr;
  }
  return reinterpret_cast<PyTypeObject*>(type.release());
}

bool enum_arg(PyObject* obj, PyTypeObject* type, std::string_view param, std::uint8_t& out) {
  if (type == nullptr) return false;
  if (Py_TYPE(obj) != type) {
    raise_conversion_error(param, obj, class_name(type));
    return false;
  }
  out = value_of(obj).value;
  return true;
}

}  // namespace corvanta::py
