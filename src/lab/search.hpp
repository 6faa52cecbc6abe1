#pragma once
// The lab's search: the determinised search of the built-in search player, with options chosen at
// run time, checked first, and a stop check from the caller.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "game/determinised_search.hpp"
#include "lab/game.hpp"

namespace corvanta::lab {

struct SearchOptions {
  std::uint32_t playouts = 1000;       // per sample (per move with a strength preset)
  std::size_t threads = 1;             // workers of each tree (at most the playouts, at most 1024)
  bool heuristics = true;              // prune Diamonds discards in rollouts
  std::uint32_t samples = 1;           // re-deals, searched one after another
  std::optional<std::uint8_t> policy;  // tree policy number, as the search player takes it
  // The exploration constant of the default tree policy (12 * sqrt(2) unless given).
  std::optional<double> exploration;
  // How samples are re-dealt and rollouts played. The stream is always a made-up one: once per
  // sample unless said otherwise.
  RolloutOptions rollout{.stream = Stream::PerSample};
  // One information-set tree for the move instead of a tree per sample (see SearchSettings), its
  // discard widening and the final choice's near-tie margin; unset, the preset's (or off).
  std::optional<bool> information_set;
  std::optional<Widening> widening;
  std::optional<double> near_tie;
  // A time budget in seconds; `playouts` is then the most the search plays.
  std::optional<double> seconds;
  // A named preset that sets the samples, the playouts per sample, the rollout options and the
  // default rule's exploration from `playouts` as the total per move ("strong"), or none.
  std::optional<std::string> strength;
};

// The settings these options stand for. Throws Invalid for an unknown policy or strength, no
// playouts, no samples or no threads.
SearchSettings settings_of(const SearchOptions& options, int players);

// Searches from the position of the player to act: the ranking, or nullopt when `stop` ended the
// search. Throws Invalid for bad options or a finished game, and the engine's SearchError for a
// failed worker.
std::optional<std::vector<RankedAction>> search(const Game& game, const SearchOptions& options, const StopCheck& stop);

}  // namespace corvanta::lab
