#pragma once
// The one argument parser of every constructor and method, and the texts of refused arguments.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "python/py_ref.hpp"

namespace corvanta::py {

// A callable's parameters, all positional-or-keyword; the first `required` have no default.
struct Signature {
  const char* callable;  // "Class.method", as the texts name it
  std::span<const char* const> names;
  std::size_t required;
};

// Binds the call's arguments to the parameters: out[i] is a borrowed reference, or nullptr for an
// omitted optional parameter. On a refused call sets the TypeError and returns false.
bool parse_args(const Signature& sig, PyObject* const* args, std::size_t nargs, PyObject* kwnames,
                PyObject** out);
// The same for a call given as a tuple and a dictionary (constructors).
bool parse_args(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out);

// "'int' object cannot be converted to 'Card'"
std::string conversion_message(PyObject* obj, std::string_view target);
// TypeError "argument '<param>': <message>"
void raise_argument_error(std::string_view param, std::string_view message);
// TypeError "argument '<param>': " + conversion_message(obj, target)
void raise_conversion_error(std::string_view param, PyObject* obj, std::string_view target);
// The host's integer conversion: a TypeError gets the argument prefix, other errors pass unchanged.
bool u64_arg(PyObject* obj, std::string_view param, std::uint64_t& out);
// An integer no larger than `max`; a larger one is refused with OverflowError, like any integer
// outside the parameter's range.
bool bounded_uint_arg(PyObject* obj, std::string_view param, std::uint64_t max, std::uint64_t& out);
// A Python bool (instances of bool only, not other integers).
bool bool_arg(PyObject* obj, std::string_view param, bool& out);
// None (or an omitted argument) is no value.
bool optional_u64_arg(PyObject* obj, std::string_view param, std::optional<std::uint64_t>& out);
// The same for an integer no larger than `max`.
bool optional_bounded_uint_arg(PyObject* obj, std::string_view param, std::uint64_t max,
                               std::optional<std::uint64_t>& out);
// The answer of a class whose values compare for equality only: == and != from `equal`, any
// ordering refused with TypeError "Operation not supported".
PyObject* equality_only(bool equal, int op);
// Sets TypeError with the given text.
void raise_type_error(std::string_view message);

}  // namespace corvanta::py
