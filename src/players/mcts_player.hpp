#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "game/action.hpp"
#include "game/determinised_search.hpp"
#include "game/search_options.hpp"
#include "game/state.hpp"
#include "players/play.hpp"

namespace corvanta {

// Chooses by Monte Carlo tree search over random re-deals of what the player to move cannot
// see: the determinised search of game/determinised_search.hpp with this player's settings.
struct MCTSPlayer {
  std::uint32_t playouts = 0;
  std::uint32_t deterministic_samples = 1;
  std::size_t num_threads = 1;
  bool use_heuristics = false;
  std::optional<std::uint8_t> policy_variation;
  // How samples are re-dealt and rollouts played; the defaults are this player's own rules.
  RolloutOptions rollout{};
  // The ranking of the last successful move; absent until then.
  std::optional<std::vector<RankedAction>> ranked_actions;

  // Throws Fatal for an unknown policy number (before any search) or when no action was ranked,
  // the search's own errors (e.g. zero threads), and Interrupted when this thread's interrupt
  // check (players/interrupt.hpp) asks to stop; the stored ranking is then unchanged.
  template <int N>
  Action play(State<N> state);
};

static_assert(Play<MCTSPlayer>);

}  // namespace corvanta
