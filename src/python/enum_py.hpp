#pragma once
// The enumeration classes (CardSuit, CardValue, GameResult): members created once as class
// attributes, repr "<prefix>.<member>", int() of the member, and == against integers and members.
#include <cstdint>
#include <span>
#include <string_view>

#include "python/py_ref.hpp"

namespace corvanta::py {

struct EnumInfo {
  const char* class_name;   // the Python class name, also the target of conversion errors
  const char* repr_prefix;  // what repr() puts before the member name
  std::span<const char* const> members;  // by integer value
};

struct EnumValue {
  const EnumInfo* info;
  std::uint8_t value;
};

// Creates the class with its member attributes. `methods` (static methods) may be nullptr.
PyTypeObject* create_enum_type(const EnumInfo& info, PyMethodDef* methods);
// A new member object (not the class attribute).
PyObject* new_enum(PyTypeObject* type, const EnumInfo& info, std::uint8_t value);
// The member's value if `obj` is an instance of `type`; otherwise sets the argument error.
bool enum_arg(PyObject* obj, PyTypeObject* type, std::string_view param, std::uint8_t& out);

}  // namespace corvanta::py
