// Strength of the search under its rollout options: seeded games played to the end by the search
// player in every seat, each move its first-ranked action. Usage:
//   bench_search_options PLAYERS GAMES PLAYOUTS SAMPLES [public] [keep] [greedy] [first_seed]
// PLAYOUTS is the total per move, split evenly over SAMPLES determinisations; "public" keeps the
// discard pile, "keep" plays rollouts on their sample's deal, "greedy" uses the greedy rollouts.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <variant>

#include "game/any_state.hpp"
#include "game/rules.hpp"
#include "players/mcts_player.hpp"

namespace {

using namespace corvanta;

template <int N>
GameResult play_game(MCTSPlayer player, std::uint64_t seed) {
  State<N> state = State<N>::create(seed);
  for (;;) {
    const Action action = player.play<N>(state);
    Outcome<N> next = apply_action(state, action);
    if (const GameResult* r = std::get_if<GameResult>(&next)) return *r;
    state = std::get<State<N>>(next);
  }
}

template <int N>
void run(const MCTSPlayer& player, int games, std::uint64_t first_seed, const char* label) {
  double sum = 0, sum_sq = 0;
  int wins = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int g = 0; g < games; ++g) {
    const GameResult r = play_game<N>(player, first_seed + static_cast<std::uint64_t>(g));
    const double level = r.reward();
    wins += r.kind == GameResult::Kind::Won;
    sum += level;
    sum_sq += level * level;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double mean = sum / games;
  const double sd = games > 1 ? std::sqrt((sum_sq - games * mean * mean) / (games - 1)) : 0.0;
  std::printf("%s.mean_level: %.2f ± %.2f\n", label, mean, 1.96 * sd / std::sqrt(games));
  std::printf("%s.wins: %d/%d\n", label, wins, games);
  std::printf("%s.seconds_per_game: %.3f\n", label, seconds / games);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s PLAYERS GAMES PLAYOUTS SAMPLES [public] [keep] [greedy] [first_seed]\n", argv[0]);
    return 2;
  }
  const int players = std::atoi(argv[1]);
  const int games = std::atoi(argv[2]);
  const auto playouts = static_cast<std::uint32_t>(std::atoi(argv[3]));
  const auto samples = static_cast<std::uint32_t>(std::atoi(argv[4]));
  MCTSPlayer player;
  player.playouts = playouts / samples;
  player.deterministic_samples = samples;
  player.num_threads = 1;
  player.use_heuristics = true;
  std::uint64_t first_seed = 0;
  for (int i = 5; i < argc; ++i) {
    if (!std::strcmp(argv[i], "public")) player.rollout.public_discard = true;
    else if (!std::strcmp(argv[i], "keep")) player.rollout.redeal_each_rollout = false;
    else if (!std::strcmp(argv[i], "greedy")) player.rollout.policy = RolloutPolicy::Greedy;
    else first_seed = std::strtoull(argv[i], nullptr, 10);
  }
  char label[128];
  std::snprintf(label, sizeof label, "options.N%d.p%u.s%u", players, playouts, samples);
  if (players < 1 || players > 4) return 2;
  with_players(players, [&](auto n) { run<n()>(player, games, first_seed, label); });
}
