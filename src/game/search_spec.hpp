#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>

#include "game/action_space.hpp"
#include "game/evaluator.hpp"
#include "game/policy.hpp"
#include "game/rules.hpp"
#include "game/state.hpp"
#include "mcts/manager.hpp"
#include "mcts/search_tree.hpp"

namespace corvanta {

// The search keeps no transposition table: nothing is ever found, nothing is ever stored.
struct EmptyTable {};

// Binds the generic search to the game for N players, with or without the rollout heuristics.
template <int N, bool Heuristics>
struct MyMCTS {
  using State = corvanta::State<N>;
  using Move = Action;
  using Player = corvanta::Player;
  using StateEvaluation = GameResult;
  using Evaluator = MyEvaluator<N, Heuristics>;
  using Policy = MyPolicy;
  using Table = EmptyTable;

  static constexpr std::size_t max_playout_length = 1000;
  static constexpr std::uint64_t visits_before_expansion = 1;
  static constexpr std::uint64_t node_limit = std::numeric_limits<std::uint64_t>::max();
  static constexpr std::int64_t virtual_loss = 0;

  // The tree always has an edge for every legal action: pruning is for rollouts only.
  static ActionList available_moves(const State& state) { return get_action_space(state); }
  static const Player& current_player(const State& state) { return state.current_player(); }
  // The tree keeps each edge's action as a 63-bit code.
  static std::uint64_t pack_move(const Action& action) { return pack_action(action); }
  static Action unpack_move(std::uint64_t code) { return unpack_action(code); }
  // An action that ends the game leaves the state as it was, marked with the result; the search
  // goes on from it like from any other state.
  static void make_move(State& state, const Action& action) {
    const State before = state;
    if (auto result = advance(state, action)) {
      state = before;
      state.has_ended = *result;
    }
  }
};

// An edge of the game's tree is its link word and its two counters, nothing more.
static_assert(mcts::PackedMoves<MyMCTS<4, true>>);
static_assert(sizeof(mcts::MoveInfo<MyMCTS<4, true>>) == 24);

template <int N, bool Heuristics>
using MyTree = mcts::SearchTree<MyMCTS<N, Heuristics>>;
template <int N, bool Heuristics>
using MyManager = mcts::MCTSManager<MyMCTS<N, Heuristics>>;

}  // namespace corvanta

// The search for every player count, with and without heuristics: declared here, compiled once
// in search_spec.cpp.
#define CORVANTA_SEARCH_INSTANCES(PREFIX)                                   \
  PREFIX template class mcts::SearchTree<corvanta::MyMCTS<1, false>>;      \
  PREFIX template class mcts::SearchTree<corvanta::MyMCTS<1, true>>;       \
  PREFIX template class mcts::SearchTree<corvanta::MyMCTS<2, false>>;      \
  PREFIX template class mcts::SearchTree<corvanta::MyMCTS<2, true>>;       \
  PREFIX template class mcts::SearchTree<corvanta::MyMCTS<3, false>>;      \
  PREFIX template class mcts::SearchTree<corvanta::MyMCTS<3, true>>;       \
  PREFIX template class mcts::SearchTree<corvanta::MyMCTS<4, false>>;      \
  PREFIX template class mcts::SearchTree<corvanta::MyMCTS<4, true>>;       \
  PREFIX template class mcts::MCTSManager<corvanta::MyMCTS<1, false>>;     \
  PREFIX template class mcts::MCTSManager<corvanta::MyMCTS<1, true>>;      \
  PREFIX template class mcts::MCTSManager<corvanta::MyMCTS<2, false>>;     \
  PREFIX template class mcts::MCTSManager<corvanta::MyMCTS<2, true>>;      \
  PREFIX template class mcts::MCTSManager<corvanta::MyMCTS<3, false>>;     \
  PREFIX template class mcts::MCTSManager<corvanta::MyMCTS<3, true>>;      \
  PREFIX template class mcts::MCTSManager<corvanta::MyMCTS<4, false>>;     \
  PREFIX template class mcts::MCTSManager<corvanta::MyMCTS<4, true>>;

CORVANTA_SEARCH_INSTANCES(extern)
