// Seeded random games from the initial state on one thread, per player count. A step computes
// the action space, chooses uniformly with the game's generator and applies the action. Usage:
// bench_rollout [games] [repeats] [cpu]; each figure is the median of the repeats. With "cpu",
// the games per second of processor time follow: on a loaded machine they show what the games
// cost, where the wall-clock speed shows mostly the load.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "game/action_space.hpp"
#include "game/rules.hpp"

namespace {

using corvanta::State;
using corvanta::StdRng;

struct Figures {
  double games_per_s;
  double games_per_cpu_s;
  double steps_per_s;
  double turns_per_game;
};

template <int N>
Figures run(std::uint64_t games) {
  StdRng chooser = StdRng::seed_from_u64(12345);
  std::uint64_t steps = 0;
  std::uint64_t sink = 0;
  const std::clock_t cpu_start = std::clock();
  const auto start = std::chrono::steady_clock::now();
  for (std::uint64_t g = 0; g < games; ++g) {
    State<N> state = State<N>::create(g);
    for (;;) {
      const corvanta::ActionList actions = corvanta::get_action_space(state);
      ++steps;
      if (actions.empty()) break;
      const auto& action = actions[chooser.below(static_cast<std::uint32_t>(actions.size()))];
      if (auto result = corvanta::advance(state, action)) {
        sink += result->level;
        break;
      }
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  if (sink == 0xFFFFFFFFFFFFFFFFull) std::puts("");  // keeps the games observable
  return {games / seconds, games / cpu_seconds, steps / seconds, static_cast<double>(steps) / games};
}

template <int N>
void report(std::uint64_t games, int repeats, bool cpu) {
  std::vector<Figures> runs;
  for (int r = 0; r < repeats; ++r) runs.push_back(run<N>(games));
  auto median = [&](double Figures::*field) {
    std::vector<double> v;
    for (const Figures& f : runs) v.push_back(f.*field);
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  std::printf("rollout.N%d.games_per_s: %.0f\n", N, median(&Figures::games_per_s));
  if (cpu) std::printf("rollout.N%d.games_per_cpu_s: %.0f\n", N, median(&Figures::games_per_cpu_s));
  std::printf("rollout.N%d.steps_per_s: %.0f\n", N, median(&Figures::steps_per_s));
  std::printf("rollout.N%d.turns_per_game: %.4f\n", N, median(&Figures::turns_per_game));
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t games = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20000;
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
  const bool cpu = argc > 3 && std::strcmp(argv[3], "cpu") == 0;
  report<1>(games, repeats, cpu);
  report<2>(games, repeats, cpu);
  report<3>(games, repeats, cpu);
  report<4>(games, repeats, cpu);
  return 0;
}
