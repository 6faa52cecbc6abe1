// corvanta_lab._core's VectorGame.
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/tuple.h>

#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "lab/bind/convert.hpp"
#include "lab/vector.hpp"

namespace corvanta::lab {
namespace {

using namespace nb::literals;

// A property of VectorGame: a read-only numpy view of one of its arrays, which the vector keeps
// alive, with a row of `Width` values per game (one value with Width 0). Bytes that hold flags
// read as bool. A step in progress on another thread is waited for (without the interpreter
// lock), so the view is taken between whole steps.
template <auto Array, std::size_t Width = 0>
auto game_arrays(nb::handle self) {
  VectorGame& v = nb::cast<VectorGame&>(self);
  {
    nb::gil_scoped_release release;
    const auto held = v.hold();
  }
  using Stored = std::remove_pointer_t<decltype((v.*Array)())>;
  using Value = std::conditional_t<std::is_same_v<Stored, std::uint8_t>, bool, Stored>;
  static_assert(sizeof(Value) == sizeof(Stored));
  using View = nb::ndarray<nb::numpy, const Value, nb::ndim<Width == 0 ? 1 : 2>>;
  const auto* data = reinterpret_cast<const Value*>((v.*Array)());
  if constexpr (Width == 0)
    return View(data, {v.num_games()}, self);
  else
    return View(data, {v.num_games(), Width}, self);
}

// The action ids of one step, copied while the interpreter lock is held (the caller's array may
// change once it is released): a one-dimensional array of integers, one per game.
std::vector<std::int64_t> action_ids_arg(nb::handle action_ids, std::size_t num_games) {
  // The usual case, a one-dimensional int64 array of the right size, without asking numpy.
  using Ids = nb::ndarray<const std::int64_t, nb::ndim<1>, nb::c_contig, nb::device::cpu>;
  Ids direct;
  if (nb::try_cast<Ids>(action_ids, direct, false) && direct.shape(0) == num_games)
    return std::vector<std::int64_t>(direct.data(), direct.data() + num_games);
  const nb::module_ numpy = nb::module_::import_("numpy");
  const nb::object array = numpy.attr("asarray")(action_ids);
  const nb::object dtype = array.attr("dtype");
  const std::string kind = nb::cast<std::string>(dtype.attr("kind"));
  if (kind != "i" && kind != "u")
    throw nb::type_error(("action ids must be integers, not an array of dtype " + nb::cast<std::string>(nb::str(dtype))).c_str());
  if (nb::cast<int>(array.attr("ndim")) != 1)
    throw nb::type_error(("action ids must be a one-dimensional array, not one of shape " +
                          nb::cast<std::string>(nb::str(nb::object(array.attr("shape"))))).c_str());
  const std::size_t count = nb::cast<std::size_t>(array.attr("size"));
  if (count != num_games)
    throw Invalid("step takes " + std::to_string(num_games) + " action ids, not " + std::to_string(count));
  // Unsigned ids beyond the int64 range would wrap around: every one of them is illegal anyway.
  if (kind == "u" && nb::cast<int>(dtype.attr("itemsize")) == 8) {
    const auto wide = nb::cast<nb::ndarray<const std::uint64_t, nb::ndim<1>, nb::device::cpu>>(array);
    for (std::size_t i = 0; i < count; ++i)
      if (wide(i) > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        throw Invalid("action id " + std::to_string(wide(i)) + " is not legal in game " + std::to_string(i));
  }
  const nb::object ids64 = numpy.attr("ascontiguousarray")(array, "dtype"_a = "int64");
  const auto ids = nb::cast<Ids>(ids64);
  return std::vector<std::int64_t>(ids.data(), ids.data() + count);
}

}  // namespace

void bind_vector(nb::module_& m) {
  nb::class_<VectorGame>(m, "VectorGame",
                         "Many games of one player count stepped together in C++, read through arrays that are "
                         "updated in place. One seed, one deal: VectorGame(n, players, seed=k) holds the games "
                         "Game(players, k), Game(players, k + 1), ..., Game(players, k + n - 1), and a finished game "
                         "starts again with the next seed not yet dealt (k + n, k + n + 1, ... in slot order), so "
                         "`seeds` always names the game in each slot. Without a seed, k is drawn from the system's "
                         "entropy.\n\n"
                         "Threads: steps and resets from several threads run one after another (each holds the "
                         "vector's lock, without the interpreter lock). Reading an array property while another "
                         "thread steps waits for that step to end and shows its result, never a mix of two "
                         "steps. The arrays are views that later steps update in place: a thread that reads "
                         "them while others step should copy what it needs, or step itself.")
      .def("__init__", [](VectorGame* self, std::size_t num_games, int players, std::optional<Seed> seed) {
        new (self) VectorGame(num_games, players, seed_or_entropy(seed));
      }, "num_games"_a, "players"_a, "seed"_a = nb::none())
      .def_prop_ro("num_games", &VectorGame::num_games, "The number of games.")
      .def_prop_ro("num_players", &VectorGame::num_players, "The seats of every game.")
      .def_prop_ro("observations", &game_arrays<&VectorGame::observations, kObservationSize>,
                   "[num_games, OBSERVATION_SIZE] float32: each game's observation for its seat to act.")
      .def_prop_ro("final_observations", &game_arrays<&VectorGame::final_observations, kObservationSize>,
                   "[num_games, OBSERVATION_SIZE] float32: where the last step ended a game (dones), its last "
                   "observation for the seat that made the last move, as Game.observation shows it; other rows "
                   "hold whatever an earlier step left.")
      .def_prop_ro("action_masks", &game_arrays<&VectorGame::masks, kNumActionIds>,
                   "[num_games, NUM_ACTIONS] bool: the legal action ids of each game.")
      .def_prop_ro("rewards", &game_arrays<&VectorGame::rewards>, "[num_games] float32: enemies defeated by the last step.")
      .def_prop_ro("dones", &game_arrays<&VectorGame::dones>,
                   "[num_games] bool: the last step ended the game (the slot holds a new game now).")
      .def_prop_ro("final_levels", &game_arrays<&VectorGame::final_levels>,
                   "[num_games] int32: the level of a game the last step ended (0 elsewhere).")
      .def_prop_ro("levels", &game_arrays<&VectorGame::levels>, "[num_games] int32: the current level of each game.")
      .def_prop_ro("current_players", &game_arrays<&VectorGame::current_players>,
                   "[num_games] int32: the seat to act in each game.")
      .def_prop_ro("seeds", &game_arrays<&VectorGame::seeds>,
                   "[num_games] uint64: the seed of the game in each slot (Game(players, seed) is the same game).")
      .def("reset", [](VectorGame& v, std::optional<Seed> seed) {
        const std::uint64_t s = seed_or_entropy(seed);
        nb::gil_scoped_release release;
        v.reset(s);
      }, "seed"_a = nb::none(), "Start every game anew: slot i with the seed `seed` + i.")
      .def("step", [](nb::handle self, nb::handle action_ids) {
        VectorGame& v = nb::cast<VectorGame&>(self);
        const std::vector<std::int64_t> ids = action_ids_arg(action_ids, v.num_games());
        {
          nb::gil_scoped_release release;
          v.step(ids.data());
        }
        return std::make_tuple(game_arrays<&VectorGame::rewards>(self), game_arrays<&VectorGame::dones>(self));
      }, nb::sig("def step(self, action_ids: numpy.typing.NDArray[numpy.integer]) -> "
                 "tuple[numpy.ndarray[dtype=float32, shape=(*), writable=False], "
                 "numpy.ndarray[dtype=bool, shape=(*), writable=False]]"),
         "action_ids"_a,
         "Apply one action id to every game: a one-dimensional array (or sequence) of integers, one per "
         "game (TypeError for another dtype or shape). All are checked first: ValueError names an "
         "illegal one and nothing moves. Returns (rewards, dones), views updated in place by the next step.");
}

}  // namespace corvanta::lab
