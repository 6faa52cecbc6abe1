#pragma once
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "mcts/node_stats.hpp"
#include "mcts/policy_rng.hpp"
#include "mcts/search_error.hpp"
#include "mcts/small_vec.hpp"

// A Monte Carlo search tree shared by any number of worker threads without locks.
//
// The tree knows nothing of the game. It is written against a search definition `Spec`, a
// type that provides:
//   types      State, Move, Player, StateEvaluation, Evaluator, Policy, Table
//   constants  max_playout_length (edges per playout), visits_before_expansion, node_limit,
//              virtual_loss
//   statics    available_moves(const State&) -> a list of Move with data() and size()
//              current_player(const State&) -> Player
//              make_move(State&, const Move&)
// The evaluator provides
//   evaluate_new_state(const State&, std::span<const Move>, const SearchHandle<Spec>*)
//   evaluate_existing_state(const State&, const StateEvaluation&, const SearchHandle<Spec>&)
//   interpret_evaluation_for_player(const StateEvaluation&, const Player&) -> std::int64_t
// and the policy
//   choose_child(std::span<const MoveInfo<Spec>>, const SearchHandle<Spec>&)
//     -> const MoveInfo<Spec>&, one of the given edges (the list is never empty).
namespace mcts {

// Data written by one worker and read by others sits on its own cache line, so that a counter
// update does not evict its neighbours from the other workers' caches.
inline constexpr std::size_t kCacheLine = 64;

template <class Spec>
class SearchNode;
template <class Spec>
class SearchTree;

// What one worker thread owns for the whole of its run of playouts.
struct ThreadData {
  PolicyRng policy_data;
};

// What the tree passes to the policy and the evaluator: the node being worked on and the thread's
// own data.
template <class Spec>
struct SearchHandle {
  const SearchNode<Spec>& node;
  ThreadData& thread_data;
};

// An edge: one move from a node, and the node it leads to once expanded. Each edge of a node
// takes whole cache lines: workers update the counters of different edges at the same time.
template <class Spec>
class alignas(kCacheLine) MoveInfo {
 public:
  using Move = typename Spec::Move;

  explicit MoveInfo(const Move& mov) : mov_(mov) {}
  ~MoveInfo();
  MoveInfo(const MoveInfo&) = delete;
  MoveInfo& operator=(const MoveInfo&) = delete;

  const Move& get_move() const { return mov_; }
  std::uint64_t visits() const { return stats_.visits.load(std::memory_order_relaxed); }
  std::int64_t sum_rewards() const { return stats_.sum_evaluations.load(std::memory_order_relaxed); }
  const NodeStats& stats() const { return stats_; }
  // Acquire: pairs with the release of the installing compare-and-swap, so the node's moves and
  // evaluation are visible to whoever sees the pointer.
  const SearchNode<Spec>* child() const { return child_.load(std::memory_order_acquire); }
  bool owned() const { return owned_.load(std::memory_order_relaxed); }

 private:
  friend class SearchTree<Spec>;

  const Move mov_;
  // Only ever changes once, from null to a fully built node, by a compare-and-swap with release
  // ordering; every load uses acquire ordering.
  std::atomic<SearchNode<Spec>*> child_{nullptr};
  // Stored true (relaxed) by the thread whose swap installed a node it built; read only by the
  // destructor, which runs after the workers have been joined.
  std::atomic<bool> owned_{false};
  NodeStats stats_;
};

// A node: the edges of its state, fixed when it is built, its statistics and the evaluation made
// when it was built. Everything but the statistics and the edges' links is read-only once the
// node is published.
template <class Spec>
class SearchNode {
 public:
  using Move = typename Spec::Move;
  using StateEvaluation = typename Spec::StateEvaluation;

  SearchNode(std::span<const Move> moves, const StateEvaluation& evaln)
      : num_moves_(moves.size()), evaln_(evaln) {
    if (num_moves_ == 0) return;
    Allocator alloc;
    moves_ = alloc.allocate(num_moves_);
    std::size_t built = 0;
    try {
      for (; built < num_moves_; ++built) std::construct_at(moves_ + built, moves[built]);
    } catch (...) {
      std::destroy(moves_, moves_ + built);
      alloc.deallocate(moves_, num_moves_);
      throw;
    }
  }
  ~SearchNode() {
    if (moves_ == nullptr) return;
    std::destroy(moves_, moves_ + num_moves_);
    Allocator().deallocate(moves_, num_moves_);
  }
  SearchNode(const SearchNode&) = delete;
  SearchNode& operator=(const SearchNode&) = delete;

  std::span<const MoveInfo<Spec>> moves() const { return {moves_, num_moves_}; }
  const NodeStats& stats() const { return stats_; }
  const StateEvaluation& evaln() const { return evaln_; }

 private:
  friend class SearchTree<Spec>;
  using Allocator = std::allocator<MoveInfo<Spec>>;

  // One array per node, in the order of the state's available moves.
  MoveInfo<Spec>* moves_ = nullptr;
  const std::size_t num_moves_;
  NodeStats stats_;
  const StateEvaluation evaln_;
};

template <class Spec>
MoveInfo<Spec>::~MoveInfo() {
  // Relaxed is enough: the tree is destroyed only after every worker has been joined.
  if (owned_.load(std::memory_order_relaxed)) delete child_.load(std::memory_order_relaxed);
}

template <class Spec>
class SearchTree {
 public:
  using State = typename Spec::State;
  using Move = typename Spec::Move;
  using Player = typename Spec::Player;
  using StateEvaluation = typename Spec::StateEvaluation;
  using Evaluator = typename Spec::Evaluator;
  using Policy = typename Spec::Policy;
  using Table = typename Spec::Table;
  using Node = SearchNode<Spec>;
  using Edge = MoveInfo<Spec>;
  using Handle = SearchHandle<Spec>;

  // Builds and evaluates the root before returning.
  SearchTree(const State& state, Spec manager, Policy tree_policy, Evaluator eval, Table table)
      : manager_(std::move(manager)),
        tree_policy_(std::move(tree_policy)),
        eval_(std::move(eval)),
        table_(std::move(table)),
        root_state_(state),
        root_node_(make_node(eval_, state, nullptr)) {}
  SearchTree(const SearchTree&) = delete;
  SearchTree& operator=(const SearchTree&) = delete;

  // One playout: descend by the policy, expand one edge, evaluate, back up the reward. False when
  // the node limit stopped it before it began. Throws SearchError on a broken invariant.
  bool playout(ThreadData& thread_data);

  const Node& root_node() const { return root_node_; }
  const State& root_state() const { return root_state_; }
  const Spec& spec() const { return manager_; }
  const Policy& tree_policy() const { return tree_policy_; }
  const Evaluator& eval() const { return eval_; }
  const Table& table() const { return table_; }
  std::uint64_t num_nodes() const { return num_nodes_.load(std::memory_order_relaxed); }
  std::uint64_t transposition_table_hits() const {
    return transposition_table_hits_.load(std::memory_order_relaxed);
  }
  std::uint64_t delayed_transposition_table_hits() const {
    return delayed_transposition_table_hits_.load(std::memory_order_relaxed);
  }
  std::uint64_t expansion_contention_events() const {
    return expansion_contention_events_.load(std::memory_order_relaxed);
  }

 private:
  static constexpr std::size_t kInlinePath = 64;

  // The node for `state`, not yet part of the tree: its edges are every available move, in order.
  static Node make_node(const Evaluator& eval, const State& state, const Handle* handle) {
    const auto moves = Spec::available_moves(state);
    const std::span<const Move> move_span(moves.data(), moves.size());
    return Node(move_span, eval.evaluate_new_state(state, move_span, handle));
  }

  // The node behind `choice`, building and installing it first when the edge is still empty.
  Node* descend(const State& state, Edge& choice, const Node& current, ThreadData& thread_data,
                bool& did_we_create);

  Spec manager_;
  Policy tree_policy_;
  Evaluator eval_;
  Table table_;
  State root_state_;
  // Nodes detached from the tree but kept alive with it. Only a transposition table would add to
  // it, so the mutex is never taken during a search. Declared before the root so that the root's
  // edges are destroyed first.
  std::mutex orphaned_mutex_;
  std::vector<std::unique_ptr<Node>> orphaned_;
  Node root_node_;
  // Nodes in the tree plus playouts in progress. Relaxed adds and subtracts: it only gates the
  // node limit and is read for results after the join. Every playout changes it twice.
  alignas(kCacheLine) std::atomic<std::uint64_t> num_nodes_{1};
  // Relaxed counters, read only for reporting.
  alignas(kCacheLine) std::atomic<std::uint64_t> transposition_table_hits_{0};
  std::atomic<std::uint64_t> delayed_transposition_table_hits_{0};
  std::atomic<std::uint64_t> expansion_contention_events_{0};
};

template <class Spec>
bool SearchTree<Spec>::playout(ThreadData& thread_data) {
  const IncreaseSentinel sentinel(num_nodes_);
  if (sentinel.num_nodes >= Spec::node_limit) return false;

  State state = root_state_;
  SmallVec<Edge*, kInlinePath> path;
  SmallVec<Node*, kInlinePath> node_path;
  SmallVec<Player, kInlinePath> players;
  bool did_we_create = false;
  // The root's own statistics are never updated, so it is only ever read here.
  const Node* node = &root_node_;

  for (;;) {
    if (node->num_moves_ == 0) break;
    if (path.size() >= Spec::max_playout_length) break;

    const auto edges = node->moves();
    const Edge& chosen = tree_policy_.choose_child(edges, Handle{*node, thread_data});
    // The policy returns one of the node's own edges; only the tree may change their statistics.
    Edge& choice = node->moves_[static_cast<std::size_t>(&chosen - edges.data())];
    choice.stats_.down(Spec::virtual_loss);
    players.push_back(Spec::current_player(state));
    path.push_back(&choice);
    if (path.size() > Spec::max_playout_length)
      throw SearchError(playout_length_exceeded_message(Spec::max_playout_length));

    Spec::make_move(state, choice.mov_);
    Node* next = descend(state, choice, *node, thread_data, did_we_create);
    if (std::find(node_path.begin(), node_path.end(), next) != node_path.end())
      throw SearchError(std::string(cycle_detected_message()));
    node_path.push_back(next);
    next->stats_.down(Spec::virtual_loss);
    node = next;
    if (next->stats_.visits.load(std::memory_order_relaxed) <= Spec::visits_before_expansion) break;
  }

  const StateEvaluation evaln =
      did_we_create ? node->evaln_
                    : eval_.evaluate_existing_state(state, node->evaln_, Handle{*node, thread_data});

  // Deepest first, so that each edge ends up with its child's statistics as of this playout.
  for (std::size_t i = path.size(); i-- > 0;) {
    const std::int64_t reward = eval_.interpret_evaluation_for_player(evaln, players[i]);
    node_path[i]->stats_.up(reward, Spec::virtual_loss);
    path[i]->stats_.replace(node_path[i]->stats_);
  }
  return true;
}

template <class Spec>
SearchNode<Spec>* SearchTree<Spec>::descend(const State& state, Edge& choice, const Node& current,
                                            ThreadData& thread_data, bool& did_we_create) {
  did_we_create = false;
  if (Node* existing = choice.child_.load(std::memory_order_acquire)) return existing;

  const Handle handle{current, thread_data};
  // Built in place: nodes are neither copied nor moved.
  std::unique_ptr<Node> created(new Node(make_node(eval_, state, &handle)));
  Node* expected = nullptr;
  // Release publishes the fully built node; on failure the acquire load makes the winner's node
  // readable.
  if (choice.child_.compare_exchange_strong(expected, created.get(), std::memory_order_release,
                                            std::memory_order_acquire)) {
    choice.owned_.store(true, std::memory_order_relaxed);
    num_nodes_.fetch_add(1, std::memory_order_relaxed);
    did_we_create = true;
    return created.release();
  }
  // Another worker installed its node first: ours is destroyed at once (by `created`).
  expansion_contention_events_.fetch_add(1, std::memory_order_relaxed);
  return expected;
}

}  // namespace mcts
