#include "game/determinised_search.hpp"

#include <algorithm>
#include <chrono>

#include "game/info_set_spec.hpp"
#include "game/search_spec.hpp"
#include "mcts/info_set_tree.hpp"
#include "mcts/manager.hpp"

namespace corvanta {
namespace {

struct Totals {
  Action action;
  std::uint64_t visits = 0;
  std::uint64_t sum_rewards = 0;
};

// One sample: a fresh tree, searched, read and destroyed before the next one. False when stopped.
template <int N, bool Heuristics>
bool search_sample(const State<N>& sample, const SearchSettings& settings, const StopCheck& stop,
                   std::vector<Totals>& totals) {
  MyManager<N, Heuristics> manager(sample, MyMCTS<N, Heuristics>{}, MyEvaluator<N, Heuristics>{settings.rollout},
                                   settings.policy, EmptyTable{});
  const bool finished = manager.playout_n_parallel_until(settings.playouts, settings.threads, stop);
  for (const auto& edge : manager.tree().root_node().moves()) {
    // A root holds at most a few hundred actions: a scan beats a hash map here.
    auto it = std::find_if(totals.begin(), totals.end(), [&](const Totals& t) { return t.action == edge.get_move(); });
    if (it == totals.end()) it = totals.insert(totals.end(), Totals{edge.get_move()});
    it->visits += edge.visits();
    it->sum_rewards += static_cast<std::uint64_t>(edge.sum_rewards());
  }
  return finished;
}

// The whole move on one information-set tree. False when stopped.
template <int N, bool Heuristics>
bool search_information_set(const State<N>& state, const SearchSettings& settings, std::uint64_t move_stream,
                            const StopCheck& stop, std::vector<Totals>& totals) {
  using Game = InfoSetGame<N, Heuristics>;
  mcts::InfoSetTree<Game> tree(Game{&state, settings.rollout, move_stream, settings.policy,
                                    settings.discard_widening.scale, settings.discard_widening.exponent});
  const bool finished = mcts::run_playouts_on(tree, settings.playouts, settings.threads, mcts::StdThreadSpawner{}, stop);
  if (const auto* root = tree.root()) {
    Game::Tree::for_each_edge(*root, [&](const auto& edge) {
      totals.push_back({edge.move(), edge.visits(), static_cast<std::uint64_t>(edge.sum_rewards())});
    });
  }
  // Like a tree per sample, the ranking holds every legal action: those the tree never met (beyond
  // the widening, or no playout at all) come last, unvisited.
  for (const Action& action : get_action_space(state))
    if (std::none_of(totals.begin(), totals.end(), [&](const Totals& t) { return t.action == action; }))
      totals.push_back({action});
  return finished;
}

std::vector<RankedAction> ranking(const std::vector<Totals>& totals, double near_tie) {
  std::vector<RankedAction> ranked;
  ranked.reserve(totals.size());
  for (const Totals& t : totals)
    ranked.push_back({t.action, t.visits, static_cast<double>(t.sum_rewards) / static_cast<double>(t.visits)});
  rank_actions(ranked, near_tie);
  return ranked;
}

}  // namespace

void rank_actions(std::vector<RankedAction>& actions, double near_tie) {
  // Equal visits: the larger mean is the larger reward sum.
  std::stable_sort(actions.begin(), actions.end(), [](const RankedAction& a, const RankedAction& b) {
    if (a.visits != b.visits) return a.visits > b.visits;
    return a.avg_reward > b.avg_reward;
  });
  if (near_tie <= 0.0 || actions.empty() || actions.front().visits == 0) return;
  const double floor = static_cast<double>(actions.front().visits) * (1.0 - near_tie);
  const auto tied = std::find_if(actions.begin(), actions.end(),
                                 [&](const RankedAction& r) { return static_cast<double>(r.visits) < floor; });
  std::stable_sort(actions.begin(), tied, [](const RankedAction& a, const RankedAction& b) { return a.avg_reward > b.avg_reward; });
}

template <int N>
State<N> sample_of(const State<N>& state, const RolloutOptions& options, StdRng& rng, std::uint64_t move_stream) {
  State<N> sample = state.redeal(options.sample_redeal(), rng);
  switch (options.stream) {
    case Stream::Real: break;
    case Stream::PerMove: sample.rng_seed = move_stream; break;
    case Stream::PerSample:
    case Stream::PerRollout: sample.rng_seed = rng.next_u64(); break;
  }
  return sample;
}

template <int N>
std::optional<std::vector<RankedAction>> determinised_search(const State<N>& state, const SearchSettings& settings,
                                                             const StopCheck& stop) {
  std::vector<Totals> totals;
  StdRng determinisations = StdRng::from_entropy();
  // Drawn only where it is used, so that the other kinds keep their draws.
  const std::uint64_t move_stream = settings.rollout.stream == Stream::PerMove ? determinisations.next_u64() : 0;
  // With a time budget, a tree's stop check is the caller's or the end of the tree's share of the
  // budget; only the caller's makes the search fail.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  bool interrupted = false;
  const auto share = [&](std::uint32_t done, std::uint32_t of) -> StopCheck {
    if (settings.seconds <= 0.0) return stop;
    const auto deadline = start + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(settings.seconds * done / of));
    return [&, deadline] {
      interrupted = interrupted || stop();
      return interrupted || Clock::now() >= deadline;
    };
  };
  const auto ended = [&](bool finished) { return settings.seconds <= 0.0 ? !finished : interrupted; };

  if (settings.information_set) {
    const StopCheck until = share(1, 1);
    const bool finished = settings.heuristics
                              ? search_information_set<N, true>(state, settings, move_stream, until, totals)
                              : search_information_set<N, false>(state, settings, move_stream, until, totals);
    if (ended(finished)) return std::nullopt;
    return ranking(totals, settings.near_tie);
  }
  for (std::uint32_t s = 0; s < settings.samples; ++s) {
    const StopCheck until = share(s + 1, settings.samples);
    // Searches shorter than the workers' stop poll can still be stopped between samples. The
    // first sample is searched however short the budget.
    bool skip = false;
    if (settings.seconds <= 0.0)
      skip = stop();
    else if (s == 0)
      skip = interrupted = stop();
    else
      skip = until();
    if (skip) {
      if (ended(false)) return std::nullopt;
      continue;
    }
    const State<N> sample = sample_of(state, settings.rollout, determinisations, move_stream);
    const bool finished = settings.heuristics ? search_sample<N, true>(sample, settings, until, totals)
                                              : search_sample<N, false>(sample, settings, until, totals);
    if (ended(finished)) return std::nullopt;
  }
  return ranking(totals, settings.near_tie);
}

template State<1> sample_of<1>(const State<1>&, const RolloutOptions&, StdRng&, std::uint64_t);
template State<2> sample_of<2>(const State<2>&, const RolloutOptions&, StdRng&, std::uint64_t);
template State<3> sample_of<3>(const State<3>&, const RolloutOptions&, StdRng&, std::uint64_t);
template State<4> sample_of<4>(const State<4>&, const RolloutOptions&, StdRng&, std::uint64_t);
template std::optional<std::vector<RankedAction>> determinised_search<1>(const State<1>&, const SearchSettings&, const StopCheck&);
template std::optional<std::vector<RankedAction>> determinised_search<2>(const State<2>&, const SearchSettings&, const StopCheck&);
template std::optional<std::vector<RankedAction>> determinised_search<3>(const State<3>&, const SearchSettings&, const StopCheck&);
template std::optional<std::vector<RankedAction>> determinised_search<4>(const State<4>&, const SearchSettings&, const StopCheck&);

}  // namespace corvanta
