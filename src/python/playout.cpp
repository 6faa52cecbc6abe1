// The loop of CorvantaGame.playout: ask the seat to move, check the action, apply it.
#include <span>
#include <string>

#include "game/action_space.hpp"
#include "game/rules.hpp"
#include "game/text.hpp"
#include "python/action_py.hpp"
#include "python/boxed.hpp"
#include "python/game.hpp"
#include "python/values_py.hpp"

namespace corvanta::py {
namespace {

// The interned names of the call a Python player receives: play(state=...).
struct PlayCall {
  PyObject* method = PyUnicode_InternFromString("play");
  PyObject* kwnames = Py_BuildValue("(s)", "state");
};

const PlayCall* play_call() {
  static const PlayCall call;
  if (call.method == nullptr || call.kwnames == nullptr) {
    if (!PyErr_Occurred()) PyErr_NoMemory();
    return nullptr;
  }
  return &call;
}

template <int N>
bool ask_python(PyObject* player, const State<N>& state, Action& action) {
  const PlayCall* call = play_call();
  if (call == nullptr) return false;
  if (player == nullptr) {
    PyErr_SetString(PyExc_RuntimeError, "the player was released by the garbage collector");
    return false;
  }
  PyRef py_state = PyRef::steal(state_to_py(state));
  if (!py_state) return false;
  PyObject* args[2] = {player, py_state.get()};
  PyRef result = PyRef::steal(
      PyObject_VectorcallMethod(call->method, args, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, call->kwnames));
  return result && action_from_py(result.get(), action);
}

void raise_illegal(const Action& action, const ActionList& legal) {
  std::string message = "'";
  message.append(text::debug(action))
      .append("' is not a legal action. Legal actions are: ")
      .append(text::debug(std::span<const Action>(legal.begin(), legal.size())));
  PyRef text = PyRef::steal(to_str(message));
  if (text) PyErr_SetObject(PyExc_KeyError, text.get());
}

template <int N>
PyObject* play_from(Game& game, State<N>& held) {
  for (;;) {
    Seat& seat = game.seats[held.has_turn.value];
    Action action;
    if (auto* native = std::get_if<NativePlayer>(&seat)) {
      action = std::visit([&](auto& player) { return player.play(held); }, *native);
    } else if (!ask_python(std::get<PyRef>(seat).get(), held, action)) {
      return nullptr;
    }
    const ActionList legal = get_action_space(held);
    bool is_legal = false;
    for (const Action& candidate : legal) {
      if (candidate == action) {
        is_legal = true;
        break;
      }
    }
    if (!is_legal) {
      raise_illegal(action, legal);
      return nullptr;
    }
    Outcome<N> outcome = take_action(held, action);
    if (const GameResult* result = std::get_if<GameResult>(&outcome)) return game_result_to_py(*result);
    held = std::get<State<N>>(outcome);
  }
}

}  // namespace

PyObject* play_to_end(Game& game) {
  return std::visit([&](auto& held) { return play_from(game, held); }, game.state);
}

}  // namespace corvanta::py
