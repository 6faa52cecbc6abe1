#pragma once
#include <algorithm>
#include <atomic>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <limits>
#include <mutex>
#include <optional>
#include <new>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "mcts/node_arena.hpp"
#include "mcts/node_stats.hpp"
#include "mcts/policy_rng.hpp"
#include "mcts/cache_line.hpp"
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
// and may provide, to keep its moves packed in the tree (see PackedMoves),
//              pack_move(const Move&) -> std::uint64_t, below 2^63
//              unpack_move(std::uint64_t) -> Move
// The evaluator provides
//   evaluate_new_state(const State&, std::span<const Move>, const SearchHandle<Spec>*)
//   evaluate_existing_state(const State&, const StateEvaluation&, const SearchHandle<Spec>&)
//   interpret_evaluation_for_player(const StateEvaluation&, const Player&) -> std::int64_t
// and the policy
//   choose_child(std::span<const MoveInfo<Spec>>, const SearchHandle<Spec>&)
//     -> const MoveInfo<Spec>&, one of the given edges (the list is never empty).
namespace mcts {

// A search definition whose moves round-trip through a 63-bit code. Its edges then keep the code
// in the word that later links the child, and the child keeps it once built: an edge is no larger
// than its link and its statistics, whatever the size of a move.
template <class Spec>
concept PackedMoves = requires(const typename Spec::Move& move, std::uint64_t code) {
  { Spec::pack_move(move) } -> std::same_as<std::uint64_t>;
  { Spec::unpack_move(code) } -> std::same_as<typename Spec::Move>;
};

template <class Spec>
class SearchNode;
template <class Spec>
class SearchTree;

namespace detail {
inline std::atomic<std::uint64_t> next_tree_id{1};
struct NoMove {};
}  // namespace detail

// What one worker thread owns for the whole of its run of playouts.
struct ThreadData {
  PolicyRng policy_data;
  // Where this worker builds the nodes of the tree with the id `arena_tree`; the tree owns it.
  NodeArena* arena = nullptr;
  std::uint64_t arena_tree = 0;
};

// What the tree passes to the policy and the evaluator: the node being worked on and the thread's
// own data.
// The arenas of one tree's workers: a worker builds its nodes in an arena of its own, added to
// the list on its first expansion; they all die with the tree.
class WorkerArenas {
 public:
  WorkerArenas() = default;
  WorkerArenas(const WorkerArenas&) = delete;
  WorkerArenas& operator=(const WorkerArenas&) = delete;
  ~WorkerArenas() {
    for (NodeArena* arena = list_.load(std::memory_order_relaxed); arena != nullptr;) {
      NodeArena* next = arena->next;
      delete arena;
      arena = next;
    }
  }

  // The arena of this worker, made on its first call.
  NodeArena& for_worker(ThreadData& thread_data) {
    if (thread_data.arena_tree != id_) [[unlikely]] {
      auto* arena = new NodeArena;
      arena->next = list_.load(std::memory_order_relaxed);
      // Release: whoever walks the list (counting nodes) sees each arena's link. The arena is
      // otherwise used by this worker alone until the join.
      while (!list_.compare_exchange_weak(arena->next, arena, std::memory_order_release, std::memory_order_relaxed)) {
      }
      thread_data.arena = arena;
      thread_data.arena_tree = id_;
    }
    return *thread_data.arena;
  }

  // The nodes installed from all arenas, and the bytes of their chunks (read after the join).
  std::uint64_t nodes() const {
    std::uint64_t nodes = 0;
    for (const NodeArena* arena = list_.load(std::memory_order_acquire); arena != nullptr; arena = arena->next)
      nodes += arena->nodes.load(std::memory_order_relaxed);
    return nodes;
  }
  std::uint64_t bytes() const {
    std::uint64_t bytes = 0;
    for (const NodeArena* arena = list_.load(std::memory_order_acquire); arena != nullptr; arena = arena->next)
      bytes += arena->bytes();
    return bytes;
  }

 private:
  // Tells the trees apart for the life of the process, so that a worker's arena is never taken
  // for one of a tree that has since died at the same address.
  const std::uint64_t id_ = detail::next_tree_id.fetch_add(1, std::memory_order_relaxed);
  std::atomic<NodeArena*> list_{nullptr};
};

template <class Spec>
struct SearchHandle {
  const SearchNode<Spec>& node;
  ThreadData& thread_data;
};

// An edge: one move from a node, the node it leads to once expanded, and that node's statistics.
// A node hangs from one edge alone, so its statistics live there, beside its siblings', where the
// policy reads them: a playout writes one line a level instead of two (the node's and a copy on
// its edge), and a node is read-only once built. Edges lie side by side: padding each to a cache
// line of its own bought nothing measurable with two workers, and cost the tree more than half
// of its memory.
template <class Spec>
class MoveInfo {
 public:
  using Move = typename Spec::Move;
  static constexpr bool kPacked = PackedMoves<Spec>;

  explicit MoveInfo(const Move& mov) : mov_(stored(mov)), link_(initial_link(mov)) {}
  MoveInfo(const MoveInfo&) = delete;
  MoveInfo& operator=(const MoveInfo&) = delete;

  // The move itself (a reference) or, for packed moves, a copy decoded from its code.
  decltype(auto) get_move() const {
    if constexpr (kPacked)
      return move_from(link_.load(std::memory_order_acquire));
    else
      return static_cast<const Move&>(mov_);
  }
  std::uint64_t visits() const { return stats_.visits.load(std::memory_order_relaxed); }
  std::int64_t sum_rewards() const { return stats_.sum_evaluations.load(std::memory_order_relaxed); }
  const NodeStats& stats() const { return stats_; }
  // Acquire: pairs with the release of the installing compare-and-swap, so the node's moves and
  // evaluation are visible to whoever sees the pointer.
  const SearchNode<Spec>* child() const { return node_of(link_.load(std::memory_order_acquire)); }
  bool owned() const { return is_owned(link_.load(std::memory_order_relaxed)); }
  // Whether child() would find a node; relaxed, for a policy that only counts them.
  bool expanded() const { return (link_.load(std::memory_order_relaxed) & kUnexpanded) == 0; }

 private:
  friend class SearchTree<Spec>;
  using StoredMove = std::conditional_t<kPacked, detail::NoMove, Move>;

  // The link word. Bit 0 set: not expanded yet, and (packed moves) the move's code above it.
  // Bit 0 clear: the child's address, with kOwned set when this edge installed a node it built.
  static constexpr std::uint64_t kUnexpanded = 1;
  static constexpr std::uint64_t kOwned = 2;

  static StoredMove stored(const Move& mov) {
    if constexpr (kPacked)
      return {};
    else
      return mov;
  }
  static std::uint64_t initial_link(const Move& mov) {
    if constexpr (kPacked)
      return Spec::pack_move(mov) << 1 | kUnexpanded;
    else
      return kUnexpanded;
  }
  // An unexpanded link holds a code in the owned bit's place.
  static bool is_owned(std::uint64_t link) { return (link & (kUnexpanded | kOwned)) == kOwned; }
  static SearchNode<Spec>* node_of(std::uint64_t link) {
    if (link & kUnexpanded) return nullptr;
    return reinterpret_cast<SearchNode<Spec>*>(static_cast<std::uintptr_t>(link & ~kOwned));
  }
  // The code this edge's move was packed to, read from `link` or from the child (0 for moves that
  // are not packed).
  static std::uint64_t code_of(std::uint64_t link);
  // The move, given a value of link_ (a reference for unpacked moves).
  decltype(auto) move_from([[maybe_unused]] std::uint64_t link) const {
    if constexpr (kPacked)
      return Spec::unpack_move(code_of(link));
    else
      return static_cast<const Move&>(mov_);
  }

  [[no_unique_address]] const StoredMove mov_;
  // Changes once, from unexpanded to a fully built node, by a compare-and-swap with release
  // ordering; every load that may follow the pointer uses acquire ordering. The owned bit is only
  // read after the workers have been joined.
  std::atomic<std::uint64_t> link_;
  NodeStats stats_;
};

// A node: the evaluation made when it was built and, once a playout first passes through it, its
// edges; its statistics are on the edge it hangs from. Most nodes of a tree are leaves that one
// playout built and none has passed through since: they never pay for edges, which are most of a
// node's bytes when the game offers dozens of moves. Everything but its edges' statistics, their
// links and the edges' one-time installation is read-only once the node is published. Nodes and
// edges live in their tree's arenas and die with the tree.
template <class Spec>
class SearchNode {
 public:
  using Move = typename Spec::Move;
  using StateEvaluation = typename Spec::StateEvaluation;
  using Edge = MoveInfo<Spec>;

  SearchNode(const SearchNode&) = delete;
  SearchNode& operator=(const SearchNode&) = delete;

  // The edges, once built (the root's always are); empty before.
  std::span<const Edge> moves() const {
    const Edge* edges = edges_.load(std::memory_order_acquire);
    return {edges, edges == nullptr ? 0 : num_moves_};
  }
  // The moves available in the node's state, whether or not their edges are built yet.
  std::size_t num_moves() const { return num_moves_; }
  const StateEvaluation& evaln() const { return evaln_; }

 private:
  friend class SearchTree<Spec>;
  friend class MoveInfo<Spec>;
  using IncomingCode = std::conditional_t<MoveInfo<Spec>::kPacked, std::uint64_t, detail::NoMove>;

  SearchNode(std::size_t num_moves, const StateEvaluation& evaln, std::uint64_t incoming, std::size_t depth)
      : incoming_code_(incoming_from(incoming)),
        num_moves_(static_cast<std::uint32_t>(num_moves)),
        depth_(static_cast<std::uint16_t>(depth)),
        evaln_(evaln) {}
  ~SearchNode() {
    if (Edge* edges = edges_.load(std::memory_order_relaxed)) std::destroy(edges, edges + num_moves_);
  }

  static IncomingCode incoming_from([[maybe_unused]] std::uint64_t code) {
    if constexpr (MoveInfo<Spec>::kPacked)
      return code;
    else
      return {};
  }

  // Packed moves: the code of the edge that leads here (its link now holds this node's address).
  [[no_unique_address]] const IncomingCode incoming_code_;
  // Null until the edges are built; then changes no more. Installed by a compare-and-swap with
  // release ordering, read with acquire ordering, like an edge's link.
  std::atomic<Edge*> edges_{nullptr};
  const std::uint32_t num_moves_;
  // The edges between the root and this node. Each node hangs from one edge alone, so it is met
  // only at this depth: meeting it at another would mean the tree has a cycle.
  const std::uint16_t depth_;
  const StateEvaluation evaln_;
};

template <class Spec>
std::uint64_t MoveInfo<Spec>::code_of(std::uint64_t link) {
  if constexpr (kPacked) {
    if (link & kUnexpanded) return link >> 1;
    return node_of(link)->incoming_code_;
  } else {
    return 0;
  }
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
        root_node_(build_root(state)) {}
  SearchTree(const SearchTree&) = delete;
  SearchTree& operator=(const SearchTree&) = delete;
  ~SearchTree();

  // What one worker owns for its run of playouts.
  ThreadData new_worker() const { return {}; }
  // One playout: descend by the policy, expand one edge, evaluate, back up the reward. False when
  // the node limit stopped it before it began. Throws SearchError on a broken invariant.
  bool playout(ThreadData& thread_data);

  const Node& root_node() const { return *root_node_; }
  const State& root_state() const { return root_state_; }
  const Spec& spec() const { return manager_; }
  const Policy& tree_policy() const { return tree_policy_; }
  const Evaluator& eval() const { return eval_; }
  const Table& table() const { return table_; }
  std::uint64_t num_nodes() const {
    if constexpr (kLimited) return num_nodes_.load(std::memory_order_relaxed);
    return 1 + arenas_.nodes();  // and the root
  }
  // The bytes of the arenas holding the nodes and their edges; read after the workers' join.
  std::uint64_t memory_bytes() const {
    return root_arena_.bytes() + arenas_.bytes();
  }
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
  static_assert(Spec::max_playout_length <= std::numeric_limits<std::uint16_t>::max(),
                "a node keeps its depth in 16 bits");
  // A tree with a node limit counts its nodes, and the playouts in progress, in one shared
  // counter that gates the limit. Without a limit, each worker counts the nodes it installs in its
  // own arena: no playout writes a line that every worker writes.
  static constexpr bool kLimited = Spec::node_limit != std::numeric_limits<std::uint64_t>::max();
  // Without destructors to run, the arenas' chunks are all a tree has to give back.
  static constexpr bool kTrivialNodes =
      std::is_trivially_destructible_v<Edge> && std::is_trivially_destructible_v<StateEvaluation>;

  // The node for `state` in `arena`, not yet part of the tree and without edges. `incoming` is
  // the code of the edge it is built for (packed moves), `depth` that edge's depth plus one.
  Node* build_node(NodeArena& arena, const State& state, const Handle* handle, std::uint64_t incoming,
                   std::size_t depth) const {
    const auto moves = Spec::available_moves(state);
    const std::span<const Move> move_span(moves.data(), moves.size());
    const StateEvaluation evaln = eval_.evaluate_new_state(state, move_span, handle);
    static_assert(alignof(Node) <= NodeArena::kAlignment);
    void* memory = arena.allocate(sizeof(Node), alignof(Node));
    try {
      return ::new (memory) Node(move_span.size(), evaln, incoming, depth);
    } catch (...) {
      arena.release_last(memory, sizeof(Node));
      throw;
    }
  }
  // The edges of `node`, whose state is `state`: every available move, in order, built in `arena`
  // and installed when the node has none yet. Returns the installed ones.
  Edge* edges_of(Node& node, const State& state, NodeArena& arena);
  Node* build_root(const State& state) {
    Node* root = build_node(root_arena_, state, nullptr, 0, 0);
    try {
      edges_of(*root, state, root_arena_);
    } catch (...) {
      root->~Node();
      throw;
    }
    return root;
  }
  // Destroys a node that never joined the tree (it has no edges) and gives its bytes back.
  static void discard(NodeArena& arena, Node* node) {
    node->~Node();
    arena.release_last(node, sizeof(Node));
  }
  static void destroy_subtree(Node* node) {
    for (const Edge& edge : node->moves()) {
      const std::uint64_t link = edge.link_.load(std::memory_order_relaxed);
      if (Edge::is_owned(link)) destroy_subtree(Edge::node_of(link));
    }
    node->~Node();
  }

  // The node behind `choice`, building and installing it first when the edge is still empty.
  Node* descend(const State& state, Edge& choice, const Node& current, std::size_t depth,
                ThreadData& thread_data, bool& did_we_create);

  Spec manager_;
  Policy tree_policy_;
  Evaluator eval_;
  Table table_;
  State root_state_;
  // The root's own arena (the constructing thread's), and the workers' arenas.
  NodeArena root_arena_;
  WorkerArenas arenas_;
  // Nodes detached from the tree but kept alive with it. Only a transposition table would add to
  // it, so the mutex is never taken during a search.
  std::mutex orphaned_mutex_;
  std::vector<Node*> orphaned_;
  Node* const root_node_;
  // A limited tree's nodes plus its playouts in progress (see kLimited). Relaxed adds and
  // subtracts: it only gates the node limit and is read for results after the join.
  alignas(kCacheLine) std::atomic<std::uint64_t> num_nodes_{1};
  // Relaxed counters, read only for reporting.
  alignas(kCacheLine) std::atomic<std::uint64_t> transposition_table_hits_{0};
  std::atomic<std::uint64_t> delayed_transposition_table_hits_{0};
  std::atomic<std::uint64_t> expansion_contention_events_{0};
};

template <class Spec>
SearchTree<Spec>::~SearchTree() {
  // Runs after every worker has been joined: relaxed loads see everything.
  if constexpr (!kTrivialNodes) {
    destroy_subtree(root_node_);
    for (Node* node : orphaned_) destroy_subtree(node);
  }
}

template <class Spec>
bool SearchTree<Spec>::playout(ThreadData& thread_data) {
  // A limited tree counts each playout in progress as a node, so that workers racing towards the
  // limit cannot overshoot it.
  std::optional<IncreaseSentinel> sentinel;
  if constexpr (kLimited) {
    sentinel.emplace(num_nodes_);
    if (sentinel->num_nodes >= Spec::node_limit) return false;
  }

  State state = root_state_;
  SmallVec<Edge*, kInlinePath> path;
  SmallVec<Player, kInlinePath> players;
  bool did_we_create = false;
  Node* node = root_node_;

  for (;;) {
    if (node->num_moves_ == 0) break;
    if (path.size() >= Spec::max_playout_length) break;

    Edge* const edges = edges_of(*node, state, arenas_.for_worker(thread_data));
    const Edge& chosen = tree_policy_.choose_child(std::span<const Edge>(edges, node->num_moves_),
                                                   Handle{*node, thread_data});
    // The policy returns one of the node's own edges; only the tree may change their statistics.
    Edge& choice = edges[static_cast<std::size_t>(&chosen - edges)];
    // While the move is made: the chosen edge for its count, and the child's edges for the next
    // choice. Both are lines the other workers write.
    prefetch_for_write(&choice);
    if (const Node* child = choice.child())
      if (const Edge* next_edges = child->edges_.load(std::memory_order_relaxed))
        prefetch_for_read(next_edges, child->num_moves_ * sizeof(Edge));
    players.push_back(Spec::current_player(state));
    path.push_back(&choice);
    if (path.size() > Spec::max_playout_length)
      throw SearchError(playout_length_exceeded_message(Spec::max_playout_length));

    Spec::make_move(state, choice.move_from(choice.link_.load(std::memory_order_acquire)));
    // Counted before the node is built, so that other workers see the playout on its way while
    // its rollout runs.
    const std::uint64_t visits = choice.stats_.down(Spec::virtual_loss);
    Node* next = descend(state, choice, *node, path.size(), thread_data, did_we_create);
    // Without a transposition table a node hangs from one edge: a cycle would show as a node met at
    // another depth than its own. One comparison instead of a search of the path so far.
    if (next->depth_ != path.size()) throw SearchError(std::string(cycle_detected_message()));
    node = next;
    if (visits <= Spec::visits_before_expansion) break;
  }

  const StateEvaluation evaln =
      did_we_create ? node->evaln_
                    : eval_.evaluate_existing_state(state, node->evaln_, Handle{*node, thread_data});

  for (std::size_t i = 0; i < path.size(); ++i)
    path[i]->stats_.up(eval_.interpret_evaluation_for_player(evaln, players[i]), Spec::virtual_loss);
  return true;
}

template <class Spec>
MoveInfo<Spec>* SearchTree<Spec>::edges_of(Node& node, const State& state, NodeArena& arena) {
  if (Edge* built = node.edges_.load(std::memory_order_acquire)) return built;
  const auto moves = Spec::available_moves(state);
  // A playout reaches a node only through the moves that built it, so its state lists the same
  // moves as when the node was built; anything else is a game whose moves are not a function of
  // its state.
  if (moves.size() != node.num_moves_) throw SearchError(std::string(moves_changed_message()));
  static_assert(alignof(Edge) <= NodeArena::kAlignment);
  const std::size_t bytes = moves.size() * sizeof(Edge);
  // From a line of its own: every worker writes the counters, and a node sharing their first line
  // would be fetched again after each write.
  auto* edges = static_cast<Edge*>(arena.allocate(bytes, kCacheLine));
  std::size_t built = 0;
  try {
    for (; built < moves.size(); ++built) std::construct_at(edges + built, moves.data()[built]);
  } catch (...) {
    std::destroy(edges, edges + built);
    arena.release_last(edges, bytes);
    throw;
  }
  Edge* expected = nullptr;
  // Release publishes the built edges; on failure the acquire load makes the winner's readable.
  if (node.edges_.compare_exchange_strong(expected, edges, std::memory_order_release, std::memory_order_acquire))
    return edges;
  std::destroy(edges, edges + built);
  arena.release_last(edges, bytes);
  return expected;
}

template <class Spec>
SearchNode<Spec>* SearchTree<Spec>::descend(const State& state, Edge& choice, const Node& current,
                                            std::size_t depth, ThreadData& thread_data, bool& did_we_create) {
  did_we_create = false;
  std::uint64_t link = choice.link_.load(std::memory_order_acquire);
  if (Node* existing = Edge::node_of(link)) return existing;

  const Handle handle{current, thread_data};
  NodeArena& arena = arenas_.for_worker(thread_data);
  // Built in place: nodes are neither copied nor moved.
  Node* created = build_node(arena, state, &handle, Edge::code_of(link), depth);
  const std::uint64_t installed = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(created)) | Edge::kOwned;
  // Release publishes the fully built node; on failure the acquire load makes the winner's node
  // readable.
  if (choice.link_.compare_exchange_strong(link, installed, std::memory_order_release, std::memory_order_acquire)) {
    if constexpr (kLimited)
      num_nodes_.fetch_add(1, std::memory_order_relaxed);
    else
      arena.nodes.store(arena.nodes.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    did_we_create = true;
    return created;
  }
  // Another worker installed its node first: ours is destroyed at once.
  expansion_contention_events_.fetch_add(1, std::memory_order_relaxed);
  discard(arena, created);
  return Edge::node_of(link);
}

}  // namespace mcts
