#pragma once
// What the binders of corvanta_lab._core share: arrays handed to numpy, tuples of cards, checked
// integers from Python, and one binder function per class or group of functions.
#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/string.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "game/rng.hpp"
#include "lab/game.hpp"

namespace corvanta::lab {

namespace nb = nanobind;

// A fresh array of zeros, owned by the numpy array that holds it.
template <class T, std::size_t Dims>
nb::ndarray<nb::numpy, T, nb::ndim<Dims>> owned_array(std::initializer_list<std::size_t> shape) {
  std::size_t size = 1;
  for (std::size_t d : shape) size *= d;
  T* data = new T[size]();
  nb::capsule owner(data, [](void* p) noexcept { delete[] static_cast<T*>(p); });
  return nb::ndarray<nb::numpy, T, nb::ndim<Dims>>(data, shape, owner);
}

inline std::uint64_t entropy_seed() { return thread_rng().next_u64(); }

// Typed containers, so that the generated stubs say what they hold.
using CardTuple = nb::typed<nb::tuple, Card, nb::ellipsis>;

template <class Cards>
CardTuple cards_tuple(const Cards& cards) {
  nb::list out;
  for (const Card& c : cards) out.append(nb::cast(c));
  return nb::tuple(out);
}

// Any Python integer (anything with __index__, not a float), checked against the range of T by
// the function that takes it, so that a value out of range is a ValueError naming the range and
// not a failed overload.
template <class T>
struct CheckedInt {
  std::optional<T> value;  // absent when out of T's range
  nb::object given;        // then the integer given, for the message

  // The integer as Python writes it.
  std::string text() const { return value ? std::to_string(*value) : nb::cast<std::string>(nb::str(given)); }
  // The value, or Invalid("<what> <text> is out of range: ...").
  T get(const char* what) const {
    if (value) return *value;
    throw Invalid(std::string(what) + " " + text() + " is out of range: " + std::to_string(std::numeric_limits<T>::min()) +
                  " .. " + std::to_string(std::numeric_limits<T>::max()));
  }
};
using Seed = CheckedInt<std::uint64_t>;

inline std::uint64_t seed_or_entropy(const std::optional<Seed>& seed) {
  return seed ? seed->get("seed") : entropy_seed();
}

// The seat given, or the player to act; Invalid for a seat the game does not have.
inline int seat(const Game& g, std::optional<int> player) {
  const int p = player ? *player : std::visit([](const auto& s) { return static_cast<int>(s.has_turn.value); }, g.state());
  if (p < 0 || p >= g.num_players()) throw Invalid("player " + std::to_string(p) + " is not a seat of this game");
  return p;
}

void bind_values(nb::module_& m);
void bind_game(nb::module_& m);
void bind_search(nb::module_& m);
void bind_vector(nb::module_& m);

}  // namespace corvanta::lab

namespace nanobind::detail {

template <class T>
struct type_caster<corvanta::lab::CheckedInt<T>> {
  NB_TYPE_CASTER(corvanta::lab::CheckedInt<T>, const_name("int"))

  bool from_python(handle src, std::uint8_t flags, cleanup_list* cleanup) noexcept {
    // An integer in range: nanobind's own fast path, without conversions.
    make_caster<T> plain;
    if (plain.from_python(src, flags & ~static_cast<std::uint8_t>(cast_flags::convert), cleanup)) {
      value.value = plain.value;
      value.given = object();
      return true;
    }
    if (PyFloat_Check(src.ptr())) return false;
    // A plain int is its own index; anything else with __index__ (numpy's integers) is asked.
    object index = PyLong_CheckExact(src.ptr()) ? borrow(src) : steal(PyNumber_Index(src.ptr()));
    if (!index.is_valid()) {
      PyErr_Clear();
      return false;
    }
    value.value.reset();
    if constexpr (std::is_unsigned_v<T>) {
      const unsigned long long v = PyLong_AsUnsignedLongLong(index.ptr());
      if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred())
        PyErr_Clear();
      else if (v <= std::numeric_limits<T>::max())
        value.value = static_cast<T>(v);
    } else {
      int overflow = 0;
      const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
      if (v == -1 && PyErr_Occurred())
        PyErr_Clear();
      else if (overflow == 0 && v >= std::numeric_limits<T>::min() && v <= std::numeric_limits<T>::max())
        value.value = static_cast<T>(v);
    }
    if (!value.value) value.given = std::move(index);
    return true;
  }

  static handle from_cpp(const corvanta::lab::CheckedInt<T>& v, rv_policy, cleanup_list*) noexcept {
    if (!v.value) return none().release();
    if constexpr (std::is_unsigned_v<T>)
      return PyLong_FromUnsignedLongLong(*v.value);
    else
      return PyLong_FromLongLong(*v.value);
  }
};

}  // namespace nanobind::detail
