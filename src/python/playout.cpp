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

// A Python player may play a game of its own inside `play` (a look-ahead player does), so this
// call nests as deep as the interpreter lets it: its recursion guard answers with RecursionError
// long before the C stack ends, and the frames that stay on the stack while the player runs hold
// no list of actions.
template <int N>
[[gnu::noinline]] bool ask_python(PyObject* player, const State<N>& state, Action& action) {
  const PlayCall* call = play_call();
  if (call == nullptr) return false;
  if (player == nullptr) {
    PyErr_SetString(PyExc_RuntimeError, "the player was released by the garbage collector");
    return false;
  }
  PyRef py_state = PyRef::steal(state_to_py(state));
  if (!py_state) return false;
  if (Py_EnterRecursiveCall(" while calling a Python player")) return false;
  PyObject* args[2] = {player, py_state.get()};
  PyRef result = PyRef::steal(
      PyObject_VectorcallMethod(call->method, args, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, call->kwnames));
  Py_LeaveRecursiveCall();
  return result && action_from_py(result.get(), action);
}

template <int N>
[[gnu::noinline]] Action ask_native(NativePlayer& player, const State<N>& state) {
  return std::visit([&](auto& p) { return p.play(state); }, player);
}

void raise_illegal(const Action& action, const ActionList& legal) {
  std::string message = "'";
  message.append(text::debug(action))
      .append("' is not a legal action. Legal actions are: ")
      .append(text::debug(std::span<const Action>(legal.begin(), legal.size())));
  PyRef text = PyRef::steal(to_str(message));
  if (text) PyErr_SetObject(PyExc_KeyError, text.get());
}

// Checks the action against the legal ones and applies it: true when the game goes on from the
// new held state; otherwise `result` is the game's result, or nullptr with the error set.
template <int N>
[[gnu::noinline]] bool advance(State<N>& held, const Action& action, PyObject*& result) {
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
    result = nullptr;
    return false;
  }
  Outcome<N> outcome = take_action(held, action);
  if (const GameResult* ended = std::get_if<GameResult>(&outcome)) {
    result = game_result_to_py(*ended);
    return false;
  }
  held = std::get<State<N>>(outcome);
  return true;
}

template <int N>
PyObject* play_from(Game& game, State<N>& held) {
  for (;;) {
    // A game of built-in seats never returns to the interpreter between turns: its signal
    // handlers (Ctrl-C) run here.
    if (PyErr_CheckSignals() != 0) return nullptr;
    Seat& seat = game.seats[held.has_turn.value];
    Action action;
    if (auto* native = std::get_if<NativePlayer>(&seat)) {
      action = ask_native(*native, held);
    } else if (!ask_python(std::get<PyRef>(seat).get(), held, action)) {
      return nullptr;
    }
    PyObject* result = nullptr;
    if (!advance(held, action, result)) return result;
  }
}

}  // namespace

PyObject* play_to_end(Game& game) {
  return std::visit([&](auto& held) { return play_from(game, held); }, game.state);
}

}  // namespace corvanta::py
