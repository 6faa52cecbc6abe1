#include "players/mcts_player.hpp"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>

#include "game/error.hpp"
#include "game/policy.hpp"
#include "game/search_spec.hpp"
#include "players/interrupt.hpp"

namespace corvanta {
namespace {

struct Totals {
  std::uint64_t visits = 0;
  std::uint64_t sum_rewards = 0;
};
using Accumulation = std::unordered_map<Action, Totals>;

// One determinisation: a fresh tree, searched and read, then destroyed before the next one, so
// at most one tree is alive at a time.
template <int N, bool Heuristics>
void search_sample(const State<N>& sample, const MCTSPlayer& player, const MyPolicy& policy,
                   Accumulation& totals) {
  MyManager<N, Heuristics> manager(sample, MyMCTS<N, Heuristics>{}, MyEvaluator<N, Heuristics>{player.rollout},
                                   policy, EmptyTable{});
  if (!manager.playout_n_parallel_until(player.playouts, player.num_threads, interrupt_requested))
    throw Interrupted();
  for (const auto& edge : manager.tree().root_node().moves()) {
    Totals& t = totals[edge.get_move()];
    t.visits += edge.visits();
    t.sum_rewards += static_cast<std::uint64_t>(edge.sum_rewards());
  }
}

}  // namespace

template <int N>
Action MCTSPlayer::play(State<N> state) {
  const MyPolicy policy = MyPolicy::from_variation(policy_variation);
  Accumulation totals;
  StdRng determinisations = StdRng::from_entropy();
  for (std::uint32_t s = 0; s < deterministic_samples; ++s) {
    // Searches shorter than the workers' stop poll are interruptible between samples.
    if (interrupt_requested()) throw Interrupted();
    const State<N> sample = state.redeal(rollout.sample_redeal(), determinisations);
    if (use_heuristics)
      search_sample<N, true>(sample, *this, policy, totals);
    else
      search_sample<N, false>(sample, *this, policy, totals);
  }

  std::vector<std::pair<Action, Totals>> ranking(totals.begin(), totals.end());
  // Most visits first; among equal visits the larger reward sum first.
  std::stable_sort(ranking.begin(), ranking.end(), [](const auto& a, const auto& b) {
    return -static_cast<std::int64_t>(a.second.sum_rewards) < -static_cast<std::int64_t>(b.second.sum_rewards);
  });
  std::stable_sort(ranking.begin(), ranking.end(), [](const auto& a, const auto& b) {
    return -static_cast<std::int64_t>(a.second.visits) < -static_cast<std::int64_t>(b.second.visits);
  });
  if (ranking.empty()) fail(std::string(kNoActionsMessage));

  std::vector<RankedAction> ranked;
  ranked.reserve(ranking.size());
  for (const auto& [action, t] : ranking)
    ranked.push_back({action, t.visits, static_cast<double>(t.sum_rewards) / static_cast<double>(t.visits)});
  const Action chosen = ranked.front().action;
  ranked_actions = std::move(ranked);
  return chosen;
}

template Action MCTSPlayer::play<1>(State<1>);
template Action MCTSPlayer::play<2>(State<2>);
template Action MCTSPlayer::play<3>(State<3>);
template Action MCTSPlayer::play<4>(State<4>);

}  // namespace corvanta
