#include "lab/search.hpp"

#include <algorithm>
#include <string>

#include "game/search_spec.hpp"
#include "mcts/manager.hpp"

namespace corvanta::lab {
namespace {

struct Totals {
  Action action;
  std::uint64_t visits = 0;
  std::uint64_t sum_rewards = 0;
};

// One determinisation: a tree of its own, searched with a shared budget that every worker checks
// together with the stop flag, read, and destroyed before the next one.
template <int N, bool Heuristics>
void search_sample(const State<N>& sample, const SearchOptions& options, const MyPolicy& policy,
                   const std::atomic<bool>& stop, std::vector<Totals>& totals) {
  using Spec = MyMCTS<N, Heuristics>;
  mcts::SearchTree<Spec> tree(sample, Spec{}, policy, MyEvaluator<N, Heuristics>{options.rollout}, EmptyTable{});
  if (options.playouts > 0) {
    mcts::PlayoutBudget budget(options.playouts, options.threads);
    mcts::run_workers(options.threads, [&] { budget.work(tree, stop); });
  }
  for (const auto& edge : tree.root_node().moves()) {
    auto it = std::find_if(totals.begin(), totals.end(), [&](const Totals& t) { return t.action == edge.get_move(); });
    if (it == totals.end()) it = totals.insert(totals.end(), Totals{edge.get_move()});
    it->visits += edge.visits();
    it->sum_rewards += static_cast<std::uint64_t>(edge.sum_rewards());
  }
}

}  // namespace

std::vector<RankedAction> search(const Game& game, const SearchOptions& options, const std::atomic<bool>& stop) {
  if (game.over()) throw Invalid("the game is over: there is nothing to search");
  if (options.threads == 0) throw Invalid("a search needs at least one thread");
  const std::optional<MyPolicy> policy = MyPolicy::try_from_variation(options.policy);
  if (!policy) throw Invalid(unknown_policy_message(*options.policy));

  std::vector<Totals> totals;
  StdRng determinisations = StdRng::from_entropy();
  std::visit(
      [&](const auto& state) {
        constexpr int N = std::decay_t<decltype(state)>::kPlayers;
        for (std::uint32_t s = 0; s < options.samples && !stop.load(std::memory_order_relaxed); ++s) {
          const State<N> sample = state.redeal(options.rollout.sample_redeal(), determinisations);
          if (options.heuristics)
            search_sample<N, true>(sample, options, *policy, stop, totals);
          else
            search_sample<N, false>(sample, options, *policy, stop, totals);
        }
      },
      game.state());

  std::stable_sort(totals.begin(), totals.end(), [](const Totals& a, const Totals& b) {
    if (a.visits != b.visits) return a.visits > b.visits;
    return a.sum_rewards > b.sum_rewards;
  });
  std::vector<RankedAction> ranked;
  ranked.reserve(totals.size());
  for (const Totals& t : totals)
    ranked.push_back({t.action, t.visits, static_cast<double>(t.sum_rewards) / static_cast<double>(t.visits)});
  return ranked;
}

}  // namespace corvanta::lab
