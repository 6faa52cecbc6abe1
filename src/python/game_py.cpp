#include "python/game_py.hpp"
#include "python/game.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "python/args.hpp"
#include "python/boxed.hpp"
#include "python/entry.hpp"

namespace corvanta::py {
namespace {

Game& game_of(PyObject* self) { return unbox<Game>(self); }

constexpr const char* kGameParams[] = {"players", "seed"};
const Signature kGameNew{"CorvantaGame.__new__", kGameParams, 1};
const Signature kPlayout{"CorvantaGame.playout", {}, 0};
const Signature kPrint{"CorvantaGame.print", {}, 0};
const Signature kReward{"CorvantaGame.reward", {}, 0};

// Refuses a call while playout holds the game.
bool available(const Game& game, const char* message) {
  if (!game.playing) return true;
  PyErr_SetString(PyExc_RuntimeError, message);
  return false;
}

std::optional<AnyState> initial_state(std::size_t players, std::optional<std::uint64_t> seed) {
  if (players < 1 || players > 4) return std::nullopt;
  return with_players(static_cast<int>(players), [&](auto n) -> AnyState { return State<n()>::create(seed); });
}

// The number of seats a sequence announces before it is converted, so that a game of millions of
// seats is refused without building them: nullopt when the sequence has no length of its own
// (its items are counted as they come), SIZE_MAX for one beyond a machine integer. Any other
// failure of its __len__ is the caller's error.
bool announced_seats(PyObject* players, std::optional<std::size_t>& out) {
  const Py_ssize_t n = PySequence_Size(players);
  if (n >= 0) {
    out = static_cast<std::size_t>(n);
    return true;
  }
  if (PyErr_ExceptionMatches(PyExc_TypeError)) {
    PyErr_Clear();
    out = std::nullopt;
    return true;
  }
  if (PyErr_ExceptionMatches(PyExc_OverflowError)) {
    PyErr_Clear();
    out = SIZE_MAX;
    return true;
  }
  return false;
}

bool valid_seats(std::size_t n) { return n >= 1 && n <= 4; }

bool convert_players(PyObject* players, std::vector<Seat>& seats) {
  PyRef iter = PyRef::steal(PyObject_GetIter(players));
  if (!iter) return false;
  while (PyRef item = PyRef::steal(PyIter_Next(iter.get()))) {
    std::optional<NativePlayer> native = native_player_from_py(item.get());
    if (PyErr_Occurred()) return false;
    if (native) seats.emplace_back(std::move(*native));
    else seats.emplace_back(std::move(item));
  }
  return !PyErr_Occurred();
}

PyObject* game_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guard([&]() -> PyObject* {
    PyObject* given[2];
    if (!parse_args(kGameNew, args, kwargs, given)) return nullptr;
    if (!PySequence_Check(given[0])) {
      raise_conversion_error("players", given[0], "Sequence");
      return nullptr;
    }
    std::optional<std::size_t> announced;
    if (!announced_seats(given[0], announced)) return nullptr;
    const bool may_fit = !announced || valid_seats(*announced);
    std::vector<Seat> seats;
    if (may_fit && !convert_players(given[0], seats)) return nullptr;
    // The seed is still checked first, as when every seat was converted.
    std::optional<std::uint64_t> seed;
    if (!optional_u64_arg(given[1], "seed", seed)) return nullptr;
    std::optional<AnyState> state;
    if (may_fit) state = initial_state(seats.size(), seed);
    if (!state) {
      PyErr_SetString(PyExc_ValueError, "Only 1-4 players are allowed");
      return nullptr;
    }
    return box<Game>(type, Game{std::move(*state), std::move(seats), false});
  });
}

PyObject* playout(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    if (!parse_args(kPlayout, args, static_cast<std::size_t>(nargs), kwnames, nullptr)) return nullptr;
    Game& game = game_of(self);
    if (!available(game, "Already borrowed")) return nullptr;
    game.playing = true;
    struct Release {
      Game& game;
      ~Release() { game.playing = false; }
    } release{game};
    const SignalScope signals;
    return play_to_end(game);
  });
}

// The dump names the place it was written from, relative to the project.
std::string dump_location(std::string_view file, int line) {
  const std::size_t src = file.rfind("src/");
  return std::string(src == std::string_view::npos ? file : file.substr(src)) + ":" + std::to_string(line);
}

// The dump reaches standard error in one write (repeated only if the system writes part of it).
void write_stderr(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // nowhere to write the dump: it is lost, as with any diagnostic
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

PyObject* print(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    if (!parse_args(kPrint, args, static_cast<std::size_t>(nargs), kwnames, nullptr)) return nullptr;
    const Game& game = game_of(self);
    if (!available(game, "Already mutably borrowed")) return nullptr;
    const std::string dump =
        std::string("[") + dump_location(__FILE__, __LINE__) + "] &self.state = " + pretty_text(game.state) + "\n";
    write_stderr(dump);
    Py_RETURN_NONE;
  });
}

PyObject* reward(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    if (!parse_args(kReward, args, static_cast<std::size_t>(nargs), kwnames, nullptr)) return nullptr;
    const Game& game = game_of(self);
    if (!available(game, "Already mutably borrowed")) return nullptr;
    return std::visit([](const auto& state) { return PyLong_FromLong(state.reward()); }, game.state);
  });
}

// Python players may hold the game they play in: the collector must see the seats.
int game_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  for (const Seat& seat : game_of(self).seats)
    if (const PyRef* player = std::get_if<PyRef>(&seat)) Py_VISIT(player->get());
  return 0;
}

int game_clear(PyObject* self) {
  for (Seat& seat : game_of(self).seats)
    if (PyRef* player = std::get_if<PyRef>(&seat)) *player = PyRef();
  return 0;
}

// Games held as seats of games form chains as long as the caller likes: the trashcan defers the
// deeper deallocations instead of recursing through every seat on the C stack.
void game_dealloc(PyObject* self) {
  PyObject_GC_UnTrack(self);
  Py_TRASHCAN_BEGIN(self, game_dealloc)
  boxed_dealloc<Game>(self);
  Py_TRASHCAN_END
}

constexpr int kFast = METH_FASTCALL | METH_KEYWORDS;
PyMethodDef kMethods[] = {
    {"playout", fastcall<playout>(), kFast, nullptr},
    {"print", fastcall<print>(), kFast, nullptr},
    {"reward", fastcall<reward>(), kFast, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject* make_game_type() {
  PyType_Slot slots[] = {
      {Py_tp_dealloc, reinterpret_cast<void*>(game_dealloc)},
      {Py_tp_new, reinterpret_cast<void*>(game_new)},
      {Py_tp_traverse, reinterpret_cast<void*>(game_traverse)},
      {Py_tp_clear, reinterpret_cast<void*>(game_clear)},
      {Py_tp_methods, kMethods},
      {0, nullptr},
  };
  return create_type("CorvantaGame", sizeof(Boxed<Game>), slots, Py_TPFLAGS_HAVE_GC);
}

}  // namespace

PyTypeObject* game_type() { return lazy_type<make_game_type>(); }

}  // namespace corvanta::py
