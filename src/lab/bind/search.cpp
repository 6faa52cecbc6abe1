// corvanta_lab._core's search function.
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include <string>

#include "lab/bind/convert.hpp"
#include "lab/search.hpp"

namespace corvanta::lab {
namespace {

using namespace nb::literals;
using Ranking = nb::typed<nb::list, nb::typed<nb::tuple, Action, std::uint64_t, double>>;

Stream stream_arg(const std::string& name) {
  if (name == "move") return Stream::PerMove;
  if (name == "sample") return Stream::PerSample;
  if (name == "rollout") return Stream::PerRollout;
  throw Invalid("stream must be \"move\", \"sample\" or \"rollout\", not \"" + name + "\"");
}

RolloutPolicy rollout_policy_arg(const std::string& name) {
  if (const auto policy = rollout_policy_named(name)) return *policy;
  std::string names;
  for (const RolloutPolicyName& row : kRolloutPolicies) names += (names.empty() ? "\"" : " or \"") + std::string(row.name) + "\"";
  throw Invalid("rollout_policy must be " + names + ", not \"" + name + "\"");
}

// Searches without the interpreter lock. The one stop check of the search, asked by this thread
// between samples and every few milliseconds while the workers run, takes the lock briefly to
// let Python handle signals (Ctrl-C stops the workers after their current playout and raises
// KeyboardInterrupt here) and to ask `cancel.is_set()`, for a search that another thread may
// call off (it then raises concurrent.futures.CancelledError).
Ranking run_search(const Game& game, const SearchOptions& options, const std::optional<nb::object>& cancel) {
  const Game position = game;  // the Python object may change while the lock is released
  bool interrupted = false;
  bool cancelled = false;
  std::optional<std::vector<RankedAction>> ranked;
  {
    nb::gil_scoped_release release;
    ranked = search(position, options, [&] {
      nb::gil_scoped_acquire acquire;
      interrupted = PyErr_CheckSignals() != 0;
      if (!interrupted && cancel) {
        try {
          const nb::object set = cancel->attr("is_set")();
          const int truth = PyObject_IsTrue(set.ptr());
          if (truth < 0) throw nb::python_error();
          cancelled = truth == 1;
        } catch (nb::python_error& error) {
          error.restore();  // whatever went wrong asking is what the caller sees
          interrupted = true;
        }
      }
      return interrupted || cancelled;
    });
  }
  if (interrupted) throw nb::python_error();
  if (cancelled || !ranked) {
    const nb::object error = nb::module_::import_("concurrent.futures").attr("CancelledError");
    PyErr_SetString(error.ptr(), "the search was called off");
    throw nb::python_error();
  }
  nb::list out;
  for (const RankedAction& r : *ranked) out.append(nb::make_tuple(r.action, r.visits, r.avg_reward));
  return out;
}

}  // namespace

void bind_search(nb::module_& m) {
  {
    nb::list names;
    for (const RolloutPolicyName& row : kRolloutPolicies) names.append(nb::str(row.name.data(), row.name.size()));
    m.attr("ROLLOUT_POLICIES") = nb::tuple(names);
  }
  m.def("search", [](const Game& g, std::uint32_t playouts, std::size_t threads, bool heuristics, std::uint32_t samples,
                     std::optional<std::uint8_t> policy, bool public_discard, bool rollout_redeal,
                     const std::string& rollout_policy, std::optional<std::string> strength, const std::string& stream,
                     bool clairvoyant, std::optional<double> exploration, std::optional<std::string> tree,
                     std::optional<double> widening, std::optional<double> near_tie, std::optional<double> seconds,
                     std::optional<nb::object> cancel) {
    SearchOptions options;
    options.playouts = playouts;
    options.threads = threads;
    options.heuristics = heuristics;
    options.samples = samples;
    options.policy = policy;
    options.rollout.public_discard = public_discard;
    options.rollout.redeal_each_rollout = rollout_redeal;
    options.rollout.policy = rollout_policy_arg(rollout_policy);
    options.rollout.stream = stream_arg(stream);
    options.rollout.clairvoyant = clairvoyant;
    options.exploration = exploration;
    options.strength = strength;
    if (tree) {
      if (*tree != "samples" && *tree != "information-set")
        throw Invalid("tree must be \"samples\" or \"information-set\", not \"" + *tree + "\"");
      options.information_set = *tree == "information-set";
    }
    if (widening) options.widening = Widening{*widening, 0.5};
    options.near_tie = near_tie;
    options.seconds = seconds;
    return run_search(g, options, cancel);
  }, "game"_a, "playouts"_a, "threads"_a = 1, "heuristics"_a = true, "samples"_a = 1, nb::kw_only(), "policy"_a = nb::none(),
        "public_discard"_a = false, "rollout_redeal"_a = true, "rollout_policy"_a = "uniform", "strength"_a = nb::none(),
        "stream"_a = "sample", "clairvoyant"_a = false, "exploration"_a = nb::none(),
        "tree"_a = nb::none(), "widening"_a = nb::none(), "near_tie"_a = nb::none(), "seconds"_a = nb::none(),
        "cancel"_a = nb::none(),
        "Monte Carlo tree search from the position of the player to act, on the engine of the search "
        "player: `samples` determinisations of `playouts` playouts each on `threads` workers. Returns "
        "(action, visits, mean_reward) tuples, most visited first. Releases the interpreter lock; "
        "Ctrl-C stops it. `playouts`, `threads` and `samples` are at least 1 (ValueError otherwise); "
        "no more workers start than there are playouts, and at most 1,024.\n\n"
        "The defaults are the search player's own rules. `public_discard=True` re-deals only hidden cards "
        "(other hands and the tavern deck), keeping the face-up discard pile. `rollout_redeal=False` plays "
        "each rollout on the deal of its sample, shuffling only what nobody has seen (the tavern deck, the "
        "castle below the current enemy). `rollout_policy=\"greedy\"` plays rollouts by a cheap one-move "
        "judgement (kills, damage, shield, draw, heal, survival; one move in ten uniform) instead of "
        "uniformly. `strength=\"strong\"` takes `playouts` as the total per move and chooses the strongest "
        "measured combination: one information-set tree for the move (below), public discard, greedy rollouts "
        "on each playout's deal, discard widening of 0.25, a near-tie margin of 0.05 and the default tree "
        "rule's exploration constant divided by 16; it overrides `samples` and the three rollout options. "
        "With `tree=\"samples\"` it splits the budget into samples instead (about 100 playouts each for one "
        "player, at most 10; 250 for more players, at most 4).\n\n"
        "The search never sees the real game's random stream (the order in which Hearts will return the "
        "discard pile: the future). It makes one up, drawn once per `stream`: \"move\", \"sample\" "
        "(the default) or \"rollout\" (each rollout its own; the tree's moves follow the sample's). On an "
        "information-set tree every playout is a sample: \"sample\" and \"rollout\" both make one up per "
        "playout.\n\n"
        "`clairvoyant=True` searches the true deal, hidden cards and real stream included, on one tree with "
        "the whole budget: a measure of what knowing everything is worth, never a player.\n\n"
        "`exploration` sets the constant of the default tree policy (12 * sqrt(2), about 16.97, unless "
        "given) on rewards of 0 to 12.\n\n"
        "`tree=\"information-set\"` searches the whole move on one tree (`samples` then does not count): "
        "every playout deals the cards the player to act cannot see afresh and plays that deal out, a node "
        "stands for the moves made so far whatever the cards drawn, and an edge's exploration counts the "
        "playouts in which its move was legal. Untried moves are tried best first by the greedy rollouts' "
        "judgement. `widening` (information-set tree only) makes a discard node visited n times consider "
        "only its ceil(widening * sqrt(n + 1)) cheapest discards (lowest value, fewest cards, never the "
        "jester). `near_tie` (0 to 1) orders the moves within that share of the most visits by mean, so a "
        "near-tie in visits never puts a lower mean first. The strong preset sets all three unless given; "
        "`tree=\"samples\"` is the search player's own tree per sample.\n\n"
        "`seconds` is a time budget: the search stops when it is spent (each sample gets an equal share) or "
        "after `playouts` (per tree), whichever comes first, and ranks what it searched. Untimed searches "
        "are the reproducible comparison; a budget compares options at equal time.\n\n"
        "`cancel` is an object with `is_set()`, such as a `threading.Event`: once it is set (by another "
        "thread) the search stops within milliseconds and raises `concurrent.futures.CancelledError`.");

}

}  // namespace corvanta::lab
