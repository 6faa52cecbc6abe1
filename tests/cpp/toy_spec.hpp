#pragma once
// A toy search definition: a game tree of fixed shape whose leaf values follow from the path.
// It makes the tree's bookkeeping visible: moves and evaluations count their live copies, the
// evaluator counts its calls and can be told to fail or to wait for other threads.
#include <atomic>
#include <new>
#include <barrier>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "mcts/manager.hpp"
#include "mcts/search_tree.hpp"

namespace toy {

// Counts the live objects of a type, so a test can see that the tree frees what it built.
template <class Tag>
struct Counted {
  static inline std::atomic<std::int64_t> live{0};
  Counted() { live.fetch_add(1); }
  Counted(const Counted&) { live.fetch_add(1); }
  Counted& operator=(const Counted&) = default;
  ~Counted() { live.fetch_sub(1); }
};

struct Move : Counted<Move> {
  std::uint32_t index = 0;
  explicit Move(std::uint32_t i) : index(i) {}
};

struct Evaluation : Counted<Evaluation> {
  std::int64_t value = 0;
  explicit Evaluation(std::int64_t v) : value(v) {}
};

// The shape of the tree and the instruments of one test.
struct World {
  std::uint32_t root_branching = 3;
  std::uint32_t branching = 2;
  std::uint32_t max_depth = 6;
  std::atomic<std::uint64_t> new_evaluations{0};
  std::atomic<std::uint64_t> existing_evaluations{0};
  std::atomic<std::uint64_t> all_evaluations{0};
  // The evaluation with this number (counting both kinds from 1) throws; 0 disables it.
  std::uint64_t fail_at_evaluation = 0;
  // That evaluation throws std::bad_alloc instead of its own error.
  bool fail_out_of_memory = false;
  // When set, building a node below the root waits here, so that two workers meet.
  std::barrier<>* expansion_barrier = nullptr;
};

struct State {
  const World* world = nullptr;
  std::uint32_t depth = 0;
  std::uint64_t path_code = 1;  // grows with every move, so values differ between leaves
};

inline constexpr char kEvaluatorFailure[] = "toy evaluator failed";

template <class Spec>
struct Evaluator {
  World* world;

  Evaluation evaluate_new_state(const State& state, std::span<const Move>,
                                const mcts::SearchHandle<Spec>* handle) const {
    if (handle != nullptr && world->expansion_barrier != nullptr) world->expansion_barrier->arrive_and_wait();
    count(world->new_evaluations);
    return value_of(state);
  }
  Evaluation evaluate_existing_state(const State& state, const Evaluation&,
                                     const mcts::SearchHandle<Spec>&) const {
    count(world->existing_evaluations);
    return value_of(state);
  }
  std::int64_t interpret_evaluation_for_player(const Evaluation& e, const std::uint32_t&) const {
    return e.value;
  }

 private:
  void count(std::atomic<std::uint64_t>& counter) const {
    counter.fetch_add(1);
    if (world->all_evaluations.fetch_add(1) + 1 == world->fail_at_evaluation) {
      if (world->fail_out_of_memory) throw std::bad_alloc();
      throw std::runtime_error(kEvaluatorFailure);
    }
  }
  static Evaluation value_of(const State& s) {
    return Evaluation(static_cast<std::int64_t>(s.path_code % 13));
  }
};

// Mean plus a fixed exploration bonus; unvisited edges first, ties broken by the thread's
// generator.
struct Policy {
  template <class Spec>
  const mcts::MoveInfo<Spec>& choose_child(std::span<const mcts::MoveInfo<Spec>> moves,
                                           const mcts::SearchHandle<Spec>& handle) const {
    double total = 1.0;
    for (const auto& m : moves) total += static_cast<double>(m.visits());
    return *handle.thread_data.policy_data.select_by_key(moves, [&](const auto& m) {
      const auto n = static_cast<double>(m.visits());
      if (n == 0.0) return std::numeric_limits<double>::infinity();
      return static_cast<double>(m.sum_rewards()) / n + 4.0 * std::sqrt(std::log(total) / n);
    });
  }
};

struct EmptyTable {};

template <std::uint64_t NodeLimit = std::numeric_limits<std::uint64_t>::max(),
          std::size_t MaxPlayoutLength = 1000, class TreePolicy = toy::Policy>
struct Spec {
  using State = toy::State;
  using Move = toy::Move;
  using Player = std::uint32_t;
  using StateEvaluation = toy::Evaluation;
  using Evaluator = toy::Evaluator<Spec>;
  using Policy = TreePolicy;
  using Table = toy::EmptyTable;

  static constexpr std::size_t max_playout_length = MaxPlayoutLength;
  static constexpr std::uint64_t visits_before_expansion = 1;
  static constexpr std::uint64_t node_limit = NodeLimit;
  static constexpr std::int64_t virtual_loss = 0;

  static std::vector<Move> available_moves(const State& s) {
    std::vector<Move> moves;
    if (s.depth >= s.world->max_depth) return moves;
    const std::uint32_t k = s.depth == 0 ? s.world->root_branching : s.world->branching;
    for (std::uint32_t i = 0; i < k; ++i) moves.emplace_back(i);
    return moves;
  }
  static Player current_player(const State& s) { return s.depth % 2; }
  static void make_move(State& s, const Move& m) {
    ++s.depth;
    s.path_code = s.path_code * 7 + m.index + 1;
  }
};

using DefaultSpec = Spec<>;
using Tree = mcts::SearchTree<DefaultSpec>;
using Manager = mcts::MCTSManager<DefaultSpec>;

inline State root_state(const World& world) { return State{&world, 0, 1}; }

template <class S = DefaultSpec>
mcts::MCTSManager<S> make_manager(World& world, typename S::Policy policy = {}) {
  return mcts::MCTSManager<S>(root_state(world), S{}, Evaluator<S>{&world}, std::move(policy),
                              EmptyTable{});
}

// Every node of the subtree below and including `node`, counted by walking the owned edges.
template <class S>
std::uint64_t count_nodes(const mcts::SearchNode<S>& node) {
  std::uint64_t n = 1;
  for (const auto& edge : node.moves())
    if (const auto* child = edge.child()) n += count_nodes(*child);
  return n;
}

}  // namespace toy
