#pragma once
// Many games of one player count stepped together, with every result written into arrays that
// the caller reads in place (no per-game objects). One seed, one deal: the games of a vector
// seeded k are the games of the seeds k, k + 1, ..., one per slot, and a finished game starts
// again at once with the next seed not yet dealt (slots in order within a step), so the game in
// a slot is always Game(players, seed) for the seed shown in seeds().
//
// Steps and resets from several threads run one after another: each holds the vector's lock for
// its whole run, so the arrays always hold the results of whole steps.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <variant>
#include <vector>

#include "lab/game.hpp"

namespace corvanta::lab {

class VectorGame {
 public:
  VectorGame(std::size_t num_games, int players, std::uint64_t seed);
  VectorGame(const VectorGame&) = delete;
  VectorGame& operator=(const VectorGame&) = delete;

  // Starts every game anew: slot i with the seed `seed` + i.
  void reset(std::uint64_t seed);
  // One action id per game, read while the vector is locked. Every id is checked against its
  // mask before any game moves: an illegal one throws Invalid naming the game, and nothing
  // changes.
  void step(const std::int64_t* ids);
  // Waits for a step or reset in progress and holds the vector until the lock is dropped.
  [[nodiscard]] std::unique_lock<std::mutex> hold() const { return std::unique_lock<std::mutex>(mutex_); }

  std::size_t num_games() const { return num_games_; }
  int num_players() const { return players_; }

  // [B, kObservationSize]: each game's observation for the seat to act.
  float* observations() { return observations_.data(); }
  // [B, kObservationSize]: where the last step ended a game, its last observation, for the seat
  // that made the last move (elsewhere whatever an earlier step left).
  float* final_observations() { return final_observations_.data(); }
  // [B, kNumActionIds]: the legal action ids of each game.
  std::uint8_t* masks() { return masks_.data(); }
  // [B]: enemies defeated by the last step; whether it ended the game; the level of a game that
  // just ended (0 elsewhere); the current level; the seat to act; the seed of the game now in
  // each slot.
  float* rewards() { return rewards_.data(); }
  std::uint8_t* dones() { return dones_.data(); }
  std::int32_t* final_levels() { return final_levels_.data(); }
  std::int32_t* levels() { return levels_.data(); }
  std::int32_t* current_players() { return current_players_.data(); }
  std::uint64_t* seeds() { return seeds_.data(); }

 private:
  template <int N>
  void start(std::size_t i);
  template <int N>
  void publish(std::size_t i);
  template <int N>
  void step_all(const std::int64_t* ids);
  void reset_locked(std::uint64_t seed);

  mutable std::mutex mutex_;
  std::size_t num_games_;
  int players_;
  std::uint64_t next_seed_ = 0;  // the seed of the next game dealt
  std::variant<std::vector<State<1>>, std::vector<State<2>>, std::vector<State<3>>, std::vector<State<4>>> states_;
  std::vector<float> observations_;
  std::vector<float> final_observations_;
  std::vector<std::uint8_t> masks_;
  std::vector<float> rewards_;
  std::vector<std::uint8_t> dones_;
  std::vector<std::int32_t> final_levels_;
  std::vector<std::int32_t> levels_;
  std::vector<std::int32_t> current_players_;
  std::vector<std::uint64_t> seeds_;
};

}  // namespace corvanta::lab
