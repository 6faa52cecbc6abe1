#pragma once
// The search from a position with hidden cards: the position is re-dealt `samples` times from
// what the player to act can see, each re-deal is searched on a tree of its own (one tree alive at
// a time), and the root statistics are added up by action. The built-in search player and the
// lab's search are both this function, with different settings.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "game/action.hpp"
#include "game/policy.hpp"
#include "game/search_options.hpp"
#include "game/state.hpp"

namespace corvanta {

// One entry of a ranking: an action with its root visits and mean reward over all samples.
struct RankedAction {
  Action action;
  std::uint64_t visits;
  double avg_reward;  // not a number for an action never visited

  friend bool operator==(const RankedAction&, const RankedAction&) = default;
};

struct SearchSettings {
  std::uint32_t playouts = 0;  // per sample
  std::uint32_t samples = 1;   // re-deals, searched one after another
  std::size_t threads = 1;     // workers of each tree (at most the playouts, at most 1024)
  bool heuristics = false;     // prune Diamonds discards in rollouts
  MyPolicy policy = MyPolicy::from_variation(std::nullopt);
  RolloutOptions rollout{};    // how samples are re-dealt and rollouts played
  // One information-set tree for the whole move instead of a tree per sample: every playout
  // re-deals what the player to act cannot see (the rollout options say what that is and where
  // its stream comes from) and plays out that deal; `samples` is not used.
  bool information_set = false;
  Widening discard_widening{};  // information-set tree only
  // The final choice: among the moves within this share of the most visits, the larger mean
  // first. 0 ranks by visits alone (then by reward sum).
  double near_tie = 0.0;
  // A time budget in seconds for the whole search (0: none): `playouts` is then the most each
  // tree plays, and each sample gets an equal share of the time.
  double seconds = 0.0;
};

// Orders a ranking: most visits first, then the larger mean (ties keep their order). With a
// near-tie margin, the actions within it of the most visits (visits >= (1 - near_tie) * most) then
// go first by mean, so a near-tie in visits never puts a lower mean first.
void rank_actions(std::vector<RankedAction>& actions, double near_tie);

// Asked between samples and, while workers run, by the calling thread every few milliseconds;
// true ends the search at once (workers finish the playout they are in).
using StopCheck = std::function<bool()>;

// One sample of a search: the state re-dealt as `options` say, carrying the Hearts stream they
// say (`move_stream` is the move's made-up stream, for Stream::PerMove). With any made-up stream
// the sample is a function of what the player to act sees and of `rng` alone.
template <int N>
State<N> sample_of(const State<N>& state, const RolloutOptions& options, StdRng& rng, std::uint64_t move_stream);

// Runs the search and ranks the actions: most visits first, then the larger reward sum; ties keep
// the order in which the actions were first met at a root. With a near-tie margin, the moves
// within it of the most visited one come first, by mean. Empty for no samples or a position
// without a legal action; nullopt when `stop` ended it. Throws the engine's SearchError for zero
// threads (with playouts) and WorkerError for a failed worker.
template <int N>
std::optional<std::vector<RankedAction>> determinised_search(const State<N>& state, const SearchSettings& settings,
                                                             const StopCheck& stop);

}  // namespace corvanta
