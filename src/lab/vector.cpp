#include "lab/vector.hpp"

#include <string>
#include <variant>

namespace corvanta::lab {

VectorGame::VectorGame(std::size_t num_games, int players, std::uint64_t seed)
    : num_games_(num_games), players_(players) {
  if (num_games == 0) throw Invalid("a vector holds at least one game");
  with_players(players, [&](auto n) { states_ = std::vector<State<n()>>(num_games); });
  observations_.resize(num_games * kObservationSize);
  final_observations_.resize(num_games * kObservationSize);
  masks_.resize(num_games * kNumActionIds);
  rewards_.resize(num_games);
  dones_.resize(num_games);
  final_levels_.resize(num_games);
  levels_.resize(num_games);
  current_players_.resize(num_games);
  seeds_.resize(num_games);
  reset_locked(seed);
}

template <int N>
void VectorGame::publish(std::size_t i) {
  const State<N>& s = std::get<std::vector<State<N>>>(states_)[i];
  legal_mask(s, masks_.data() + i * kNumActionIds);
  observe(s, false, static_cast<int>(s.has_turn.value), observations_.data() + i * kObservationSize);
  levels_[i] = s.level;
  current_players_[i] = static_cast<std::int32_t>(s.has_turn.value);
}

template <int N>
void VectorGame::start(std::size_t i) {
  seeds_[i] = next_seed_++;  // wraps after 2^64 - 1, like any seed
  std::get<std::vector<State<N>>>(states_)[i] = State<N>::create(seeds_[i]);
  publish<N>(i);
}

void VectorGame::reset(std::uint64_t seed) {
  const std::lock_guard<std::mutex> lock(mutex_);
  reset_locked(seed);
}

void VectorGame::reset_locked(std::uint64_t seed) {
  next_seed_ = seed;
  std::visit(
      [&](auto& states) {
        constexpr int N = std::decay_t<decltype(states[0])>::kPlayers;
        for (std::size_t i = 0; i < num_games_; ++i) {
          start<N>(i);
          rewards_[i] = 0.0f;
          dones_[i] = 0;
          final_levels_[i] = 0;
        }
      },
      states_);
}

template <int N>
void VectorGame::step_all(const std::int64_t* ids) {
  for (std::size_t i = 0; i < num_games_; ++i) {
    const std::int64_t id = ids[i];
    if (id < 0 || id >= kNumActionIds || !masks_[i * kNumActionIds + id])
      throw Invalid("action id " + std::to_string(id) + " is not legal in game " + std::to_string(i));
  }
  auto& states = std::get<std::vector<State<N>>>(states_);
  for (std::size_t i = 0; i < num_games_; ++i) {
    State<N>& s = states[i];
    const int before = s.level;
    const int seat = static_cast<int>(s.has_turn.value);
    const auto result = step_state(s, action_from_id(s, static_cast<int>(ids[i])));
    if (result) {
      const int level = result->reward();
      // The ended game as its last mover sees it, as a single game would show it.
      observe(s, true, seat, final_observations_.data() + i * kObservationSize);
      rewards_[i] = static_cast<float>(level - before);
      dones_[i] = 1;
      final_levels_[i] = level;
      start<N>(i);
    } else {
      rewards_[i] = static_cast<float>(s.level - before);
      dones_[i] = 0;
      final_levels_[i] = 0;
      publish<N>(i);
    }
  }
}

void VectorGame::step(const std::int64_t* ids) {
  const std::lock_guard<std::mutex> lock(mutex_);
  with_players(players_, [&](auto n) { step_all<n()>(ids); });
}

}  // namespace corvanta::lab
