// The Python class of the search player.
#include <limits>

#include "python/args.hpp"
#include "python/boxed.hpp"
#include "python/entry.hpp"
#include "python/native_player.hpp"

namespace corvanta::py {
namespace {

constexpr const char* kNewParams[] = {"playouts", "num_threads", "use_heuristics", "policy_variation",
                                      "deterministic_samples"};
constexpr const char* kStateParam[] = {"state"};
const Signature kMctsNew{"MCTSPlayer.__new__", kNewParams, 3};
const Signature kMctsPlay{"MCTSPlayer.play", kStateParam, 1};
const Signature kMctsRanked{"MCTSPlayer.ranked_actions", {}, 0};

constexpr char kPlayDoc[] = "Choose an action based on the given state";
constexpr char kRankedDoc[] =
    "List actions with associated stats, sorted by most visits in the MCTS.\n"
    "The first Action in the list is considered the best move to play, and is\n"
    "also what `play()` will return.\n"
    "\n"
    "Updates on calls to `play()`.\n"
    "\n"
    "# Returns\n"
    "List of tuples in the form `(action, visits, avg_reward)`";

PyObject* mcts_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guard([&]() -> PyObject* {
    PyObject* given[5];
    if (!parse_args(kMctsNew, args, kwargs, given)) return nullptr;
    MCTSPlayer player;
    std::uint64_t playouts = 0;
    std::uint64_t threads = 0;
    std::optional<std::uint64_t> policy;
    std::optional<std::uint64_t> samples;
    if (!bounded_uint_arg(given[0], "playouts", std::numeric_limits<std::uint32_t>::max(), playouts) ||
        !bounded_uint_arg(given[1], "num_threads", std::numeric_limits<std::size_t>::max(), threads) ||
        !bool_arg(given[2], "use_heuristics", player.use_heuristics) ||
        !optional_bounded_uint_arg(given[3], "policy_variation", std::numeric_limits<std::uint8_t>::max(), policy) ||
        !optional_bounded_uint_arg(given[4], "deterministic_samples", std::numeric_limits<std::uint32_t>::max(), samples))
      return nullptr;
    player.playouts = static_cast<std::uint32_t>(playouts);
    player.num_threads = static_cast<std::size_t>(threads);
    if (policy) player.policy_variation = static_cast<std::uint8_t>(*policy);
    player.deterministic_samples = samples ? static_cast<std::uint32_t>(*samples) : 1u;
    return box<MCTSPlayer>(type, std::move(player));
  });
}

PyObject* ranked_entry(const RankedAction& entry) {
  PyRef action = PyRef::steal(action_to_py(entry.action));
  if (!action) return nullptr;
  PyRef visits = PyRef::steal(PyLong_FromUnsignedLongLong(entry.visits));
  if (!visits) return nullptr;
  PyRef reward = PyRef::steal(PyFloat_FromDouble(entry.avg_reward));
  if (!reward) return nullptr;
  return PyTuple_Pack(3, action.get(), visits.get(), reward.get());
}

PyObject* mcts_ranked(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    if (!parse_args(kMctsRanked, args, static_cast<std::size_t>(nargs), kwnames, nullptr)) return nullptr;
    const auto& ranking = unbox<MCTSPlayer>(self).ranked_actions;
    if (!ranking) return PyList_New(0);
    return new_list(*ranking, ranked_entry);
  });
}

PyMethodDef kMctsMethods[] = {
    {"play", fastcall<play_method<MCTSPlayer, kMctsPlay>>(), METH_FASTCALL | METH_KEYWORDS, kPlayDoc},
    {"ranked_actions", fastcall<mcts_ranked>(), METH_FASTCALL | METH_KEYWORDS, kRankedDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject* make_mcts_type() {
  PyType_Slot slots[] = {
      {Py_tp_dealloc, reinterpret_cast<void*>(boxed_dealloc<MCTSPlayer>)},
      {Py_tp_new, reinterpret_cast<void*>(mcts_new)},
      {Py_tp_methods, kMctsMethods},
      {Py_tp_doc, const_cast<char*>("")},
      {0, nullptr},
  };
  return create_type("MCTSPlayer", sizeof(Boxed<MCTSPlayer>), slots);
}

}  // namespace

template <>
PyTypeObject* player_type<MCTSPlayer>() {
  return lazy_type<make_mcts_type>();
}

}  // namespace corvanta::py
