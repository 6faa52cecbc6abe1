#include "game/determinised_search.hpp"

#include <algorithm>

#include "game/search_spec.hpp"

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
  if (!manager.playout_n_parallel_until(settings.playouts, settings.threads, stop)) return false;
  for (const auto& edge : manager.tree().root_node().moves()) {
    // A root holds at most a few hundred actions: a scan beats a hash map here.
    auto it = std::find_if(totals.begin(), totals.end(), [&](const Totals& t) { return t.action == edge.get_move(); });
    if (it == totals.end()) it = totals.insert(totals.end(), Totals{edge.get_move()});
    it->visits += edge.visits();
    it->sum_rewards += static_cast<std::uint64_t>(edge.sum_rewards());
  }
  return true;
}

}  // namespace

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
  for (std::uint32_t s = 0; s < settings.samples; ++s) {
    // Searches shorter than the workers' stop poll can still be stopped between samples.
    if (stop()) return std::nullopt;
    const State<N> sample = sample_of(state, settings.rollout, determinisations, move_stream);
    const bool searched = settings.heuristics ? search_sample<N, true>(sample, settings, stop, totals)
                                              : search_sample<N, false>(sample, settings, stop, totals);
    if (!searched) return std::nullopt;
  }

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

template State<1> sample_of<1>(const State<1>&, const RolloutOptions&, StdRng&, std::uint64_t);
template State<2> sample_of<2>(const State<2>&, const RolloutOptions&, StdRng&, std::uint64_t);
template State<3> sample_of<3>(const State<3>&, const RolloutOptions&, StdRng&, std::uint64_t);
template State<4> sample_of<4>(const State<4>&, const RolloutOptions&, StdRng&, std::uint64_t);
template std::optional<std::vector<RankedAction>> determinised_search<1>(const State<1>&, const SearchSettings&, const StopCheck&);
template std::optional<std::vector<RankedAction>> determinised_search<2>(const State<2>&, const SearchSettings&, const StopCheck&);
template std::optional<std::vector<RankedAction>> determinised_search<3>(const State<3>&, const SearchSettings&, const StopCheck&);
template std::optional<std::vector<RankedAction>> determinised_search<4>(const State<4>&, const SearchSettings&, const StopCheck&);

}  // namespace corvanta
