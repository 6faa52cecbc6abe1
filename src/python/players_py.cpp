#include "python/args.hpp"
#include "python/boxed.hpp"
#include "python/entry.hpp"
#include "python/native_player.hpp"

namespace corvanta::py {
namespace {

constexpr const char* kSeedParam[] = {"seed"};
constexpr const char* kStateParam[] = {"state"};
const Signature kRandomNew{"RandomPlayer.__new__", kSeedParam, 0};
const Signature kRandomPlay{"RandomPlayer.play", kStateParam, 1};
const Signature kInputNew{"InputPlayer.__new__", {}, 0};

PyObject* random_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guard([&]() -> PyObject* {
    PyObject* given[1];
    if (!parse_args(kRandomNew, args, kwargs, given)) return nullptr;
    std::optional<std::uint64_t> seed;
    if (!optional_u64_arg(given[0], "seed", seed)) return nullptr;
    return box<RandomPlayer>(type, seed);
  });
}

PyMethodDef kRandomMethods[] = {
    {"play", fastcall<play_method<RandomPlayer, kRandomPlay>>(),
     METH_FASTCALL | METH_KEYWORDS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject* make_random_type() {
  PyType_Slot slots[] = {
      {Py_tp_dealloc, reinterpret_cast<void*>(boxed_dealloc<RandomPlayer>)},
      {Py_tp_new, reinterpret_cast<void*>(random_new)},
      {Py_tp_methods, kRandomMethods},
      {Py_tp_doc, const_cast<char*>("")},
      {0, nullptr},
  };
  return create_type("RandomPlayer", sizeof(Boxed<RandomPlayer>), slots);
}

PyObject* input_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guard([&]() -> PyObject* {
    if (!parse_args(kInputNew, args, kwargs, nullptr)) return nullptr;
    return box<InputPlayer>(type);
  });
}

PyTypeObject* make_input_type() {
  PyType_Slot slots[] = {
      {Py_tp_dealloc, reinterpret_cast<void*>(boxed_dealloc<InputPlayer>)},
      {Py_tp_new, reinterpret_cast<void*>(input_new)},
      {Py_tp_doc, const_cast<char*>("")},
      {0, nullptr},
  };
  return create_type("InputPlayer", sizeof(Boxed<InputPlayer>), slots);
}

template <std::size_t I = 0>
std::optional<NativePlayer> try_alternatives(PyObject* obj) {
  if constexpr (I == std::variant_size_v<NativePlayer>) {
    return std::nullopt;
  } else {
    using P = std::variant_alternative_t<I, NativePlayer>;
    PyTypeObject* type = player_type<P>();
    if (type == nullptr) return std::nullopt;
    if (Py_TYPE(obj) != type) return try_alternatives<I + 1>(obj);
    std::optional<NativePlayer> copy;
    copy.emplace(std::in_place_index<I>, unbox<P>(obj));
    return copy;
  }
}

}  // namespace

template <>
PyTypeObject* player_type<RandomPlayer>() {
  return lazy_type<make_random_type>();
}
template <>
PyTypeObject* player_type<InputPlayer>() {
  return lazy_type<make_input_type>();
}

std::optional<NativePlayer> native_player_from_py(PyObject* obj) { return try_alternatives(obj); }

}  // namespace corvanta::py
