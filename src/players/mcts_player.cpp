#include "players/mcts_player.hpp"

#include <string>
#include <utility>

#include "game/error.hpp"
#include "players/interrupt.hpp"

namespace corvanta {

template <int N>
Action MCTSPlayer::play(State<N> state) {
  SearchSettings settings;
  settings.playouts = playouts;
  settings.samples = deterministic_samples;
  settings.threads = num_threads;
  settings.heuristics = use_heuristics;
  settings.policy = MyPolicy::from_variation(policy_variation);
  settings.rollout = rollout;
  std::optional<std::vector<RankedAction>> ranked = determinised_search(state, settings, interrupt_requested);
  if (!ranked) throw Interrupted();
  if (ranked->empty()) fail(std::string(kNoActionsMessage));
  const Action chosen = ranked->front().action;
  ranked_actions = std::move(*ranked);
  return chosen;
}

template Action MCTSPlayer::play<1>(State<1>);
template Action MCTSPlayer::play<2>(State<2>);
template Action MCTSPlayer::play<3>(State<3>);
template Action MCTSPlayer::play<4>(State<4>);

}  // namespace corvanta
