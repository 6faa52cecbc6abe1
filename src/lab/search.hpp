#pragma once
// The lab's search: the engine of the built-in search player (one tree per determinisation,
// root statistics added up by action), run with options chosen at run time and a stop flag that
// its caller may raise at any moment. The options select the game's search binding; the generic
// engine of src/mcts stays as it is.
#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "game/action.hpp"
#include "game/search_options.hpp"
#include "lab/game.hpp"

namespace corvanta::lab {

struct SearchOptions {
  std::uint32_t playouts = 1000;       // per determinisation
  std::size_t threads = 1;             // workers of each search
  bool heuristics = true;              // prune Diamonds discards in rollouts
  std::uint32_t samples = 1;           // determinisations, searched one after another
  std::optional<std::uint8_t> policy;  // tree policy number, as the search player takes it
  RolloutOptions rollout{};            // how samples are re-dealt and rollouts played
};

struct RankedAction {
  Action action;
  std::uint64_t visits;
  double mean_reward;  // not a number for an action never visited
};

// Ranked by visits, then by reward sum, both largest first; ties keep the root's edge order.
// When `stop` is raised the workers finish their current playout and the search returns what it
// has (the caller decides whether to use it). Throws Invalid for bad options or a finished game,
// and the engine's SearchError for a failed worker.
std::vector<RankedAction> search(const Game& game, const SearchOptions& options, const std::atomic<bool>& stop);

}  // namespace corvanta::lab
