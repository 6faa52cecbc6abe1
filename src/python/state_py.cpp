#include "python/state_py.hpp"

#include "game/action_space.hpp"
#include "game/text.hpp"
#include "python/action_py.hpp"
#include "python/args.hpp"
#include "python/boxed.hpp"
#include "python/card_py.hpp"
#include "python/entry.hpp"
#include "python/values_py.hpp"

namespace corvanta::py {
namespace {

const AnyState& state_of(PyObject* self) { return unbox<AnyState>(self); }

// Every method of PyState takes no argument; each still goes through the parser for its texts.
template <const Signature& Sig, class Body>
PyObject* state_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Body&& body) {
  return guard([&]() -> PyObject* {
    if (!parse_args(Sig, args, static_cast<std::size_t>(nargs), kwnames, nullptr)) return nullptr;
    return std::visit(body, state_of(self));
  });
}

const Signature kActionSpace{"PyState.action_space", {}, 0};
const Signature kHasTurn{"PyState.has_turn", {}, 0};
const Signature kCurrentHand{"PyState.current_hand", {}, 0};
const Signature kReward{"PyState.reward", {}, 0};
const Signature kCurrentEnemy{"PyState.current_enemy", {}, 0};

PyObject* action_space(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return state_method<kActionSpace>(self, args, nargs, kwnames, [](const auto& state) -> PyObject* {
    return new_list(get_action_space(state), action_to_py);
  });
}

PyObject* has_turn(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return state_method<kHasTurn>(self, args, nargs, kwnames,
                                [](const auto& state) { return player_id_to_py(state.has_turn); });
}

PyObject* current_hand(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return state_method<kCurrentHand>(self, args, nargs, kwnames, [](const auto& state) -> PyObject* {
    return new_list(state.current_hand(), card_to_py);
  });
}

PyObject* reward(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return state_method<kReward>(self, args, nargs, kwnames,
                               [](const auto& state) { return PyLong_FromLong(state.reward()); });
}

PyObject* current_enemy(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return state_method<kCurrentEnemy>(self, args, nargs, kwnames, [](const auto& state) -> PyObject* {
    const Enemy* enemy = state.current_enemy();
    if (enemy == nullptr) Py_RETURN_NONE;
    return enemy_to_py(*enemy);
  });
}

PyObject* state_str(PyObject* self) {
  return guard([&] {
    return std::visit([](const auto& state) { return to_str(text::display(state)); }, state_of(self));
  });
}

constexpr int kFast = METH_FASTCALL | METH_KEYWORDS;
PyMethodDef kMethods[] = {
    {"action_space", fastcall<action_space>(), kFast, nullptr},
    {"has_turn", fastcall<has_turn>(), kFast, nullptr},
    {"current_hand", fastcall<current_hand>(), kFast, nullptr},
    {"reward", fastcall<reward>(), kFast, nullptr},
    {"current_enemy", fastcall<current_enemy>(), kFast, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject* make_state_type() {
  PyType_Slot slots[] = {
      {Py_tp_dealloc, reinterpret_cast<void*>(boxed_dealloc<AnyState>)},
      {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
      {Py_tp_str, reinterpret_cast<void*>(state_str)},
      {Py_tp_methods, kMethods},
      {0, nullptr},
  };
  return create_type("PyState", sizeof(Boxed<AnyState>), slots);
}

}  // namespace

PyTypeObject* state_type() { return lazy_type<make_state_type>(); }

template <int N>
PyObject* state_to_py(const State<N>& state) {
  return box<AnyState>(state_type(), std::in_place_index<N - 1>, state);
}
template PyObject* state_to_py<1>(const State<1>&);
template PyObject* state_to_py<2>(const State<2>&);
template PyObject* state_to_py<3>(const State<3>&);
template PyObject* state_to_py<4>(const State<4>&);

const AnyState* state_arg(PyObject* obj, std::string_view param) {
  PyTypeObject* type = state_type();
  if (type == nullptr) return nullptr;
  if (Py_TYPE(obj) != type) {
    raise_conversion_error(param, obj, "PyState");
    return nullptr;
  }
  return &state_of(obj);
}

std::string pretty_text(const AnyState& state) {
  return std::visit(
      [](const auto& s) {
        constexpr int n = std::decay_t<decltype(s)>::kPlayers;
        const std::string variant = "Players" + std::to_string(n);
        return text::record("PyState", {{"state_enum", text::tuple(variant, {text::debug(s, true)}, true)}}, true);
      },
      state);
}

}  // namespace corvanta::py
