#pragma once
#include <algorithm>
#include <atomic>
#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>

#include "mcts/node_arena.hpp"
#include "mcts/node_stats.hpp"
#include "mcts/search_tree.hpp"
#include "mcts/small_vec.hpp"

// A search tree over information sets, shared by any number of worker threads without locks.
//
// Every playout first draws a determinisation: a whole state consistent with what the searching
// side knows. It then descends the tree by the moves legal in that state. A node stands for the
// sequence of moves from the root, whatever chance did in between, so chance is averaged over
// without nodes of its own. A node's edges are the moves found legal in it so far, added as
// playouts meet them (a hash table, since different deals meet different moves). The upper-confidence rule counts availability: the parent count of an edge
// is how often its move was legal when its node was visited, not the node's visits, so a move
// legal in few determinisations is not explored as if it were always there.
//
// Written against a search definition `Spec`, an object shared read-only by the workers, with
//   types      State, Move, Worker (what one worker owns, e.g. its generators)
//   constants  max_playout_length (edges per playout)
//   Worker new_worker() const
//   State determinise(Worker&) const          a fresh state for one playout
//   moves(const State&) const                 a list with data() and size(): the legal moves,
//                                             empty where the game is over
//   void order(const State&, list&, std::size_t width) const
//                                             where a node considers fewer than all its moves:
//                                             puts the `width` best first by the definition's
//                                             prior (the rest of the list may be lost)
//   prior(const State&, const Move&) const   a number, larger for moves to try first
//   std::size_t width(const State&, std::uint64_t visits) const
//                                             how many of those moves (the best ones) a node
//                                             visited `visits` times considers: progressive
//                                             widening where the moves are many
//   void apply(State&, const Move&) const
//   std::int64_t evaluate(State&, Worker&) const   the reward of a playout that stops there (the
//                                             state is the playout's own, done with)
//   double key(std::uint64_t visits, std::int64_t sum_rewards, std::uint64_t available) const
//                                             the upper-confidence key of a tried edge
// and packs its moves (PackedMoves). An edge never tried is taken first, the best by the prior
// first.
namespace mcts {

template <class Spec>
class InfoSetTree {
 public:
  using State = typename Spec::State;
  using Move = typename Spec::Move;

  struct Node;

  // One move from a node. The slot is claimed once, by a compare-and-swap of its code; everything
  // else in it is a relaxed counter or the child link, installed once with release ordering.
  struct Edge {
    std::atomic<std::uint64_t> code{kFree};  // the move's code plus one
    std::atomic<Node*> child{nullptr};
    NodeStats stats;
    std::atomic<std::uint64_t> available{0};

    Move move() const { return Spec::unpack_move(code.load(std::memory_order_relaxed) - 1); }
    std::uint64_t visits() const { return stats.visits.load(std::memory_order_relaxed); }
    std::int64_t sum_rewards() const { return stats.sum_evaluations.load(std::memory_order_relaxed); }
  };

  // The edges of a node sit in blocks, each a small open-addressing table keyed by the move's
  // code: the first right behind the node, each later one twice as large and linked from the one
  // before, added when a move finds no free slot within its probes. A move is claimed in a block
  // only when every slot of its probes there is taken, and slots are never freed, so every lookup
  // of it walks the same slots to the same place.
  struct Block {
    std::atomic<Block*> next{nullptr};
    std::uint32_t capacity = 0;  // a power of two
    std::uint32_t shift = 0;     // 64 - log2(capacity)

    Edge* edges() { return reinterpret_cast<Edge*>(reinterpret_cast<std::byte*>(this) + sizeof(Block)); }
    const Edge* edges() const {
      return reinterpret_cast<const Edge*>(reinterpret_cast<const std::byte*>(this) + sizeof(Block));
    }
  };
  static_assert(sizeof(Block) % alignof(Edge) == 0);

  struct Node {
    std::atomic<std::uint64_t> visits{0};
    Block first;  // last member: its edges follow the node
  };

  explicit InfoSetTree(Spec spec) : spec_(std::move(spec)) {}
  InfoSetTree(const InfoSetTree&) = delete;
  InfoSetTree& operator=(const InfoSetTree&) = delete;

  struct Worker {
    ThreadData thread;
    typename Spec::Worker game;
  };
  Worker new_worker() const { return {ThreadData{}, spec_.new_worker()}; }

  // One playout: a fresh determinisation, a descent by the legal moves, one new edge tried, the
  // reward backed up along the path.
  bool playout(Worker& worker);

  const Spec& spec() const { return spec_; }
  // The root, or null before the first playout.
  const Node* root() const { return root_.load(std::memory_order_acquire); }
  // Calls f(edge) for every edge of `node`.
  template <class F>
  static void for_each_edge(const Node& node, F&& f) {
    for (const Block* block = &node.first; block != nullptr; block = block->next.load(std::memory_order_acquire)) {
      for (std::uint32_t i = 0; i < block->capacity; ++i) {
        const Edge& edge = block->edges()[i];
        if (edge.code.load(std::memory_order_acquire) != kFree) f(edge);
      }
    }
  }
  // Read after the workers' join.
  std::uint64_t num_nodes() const { return arenas_.nodes(); }
  std::uint64_t memory_bytes() const { return arenas_.bytes(); }

 private:
  static constexpr std::uint64_t kFree = 0;
  // Slots a move looks at in one block before it goes on to the next.
  static constexpr std::uint32_t kProbes = 8;

  static std::size_t bytes_for(std::size_t header, std::uint32_t capacity) { return header + capacity * sizeof(Edge); }
  // Room for `moves` edges at a load of at most two thirds.
  static std::uint32_t capacity_for(std::size_t moves) {
    return std::bit_ceil(static_cast<std::uint32_t>(std::max<std::size_t>(moves + moves / 2, 4)));
  }
  static void init(Block& block, std::uint32_t capacity) {
    block.capacity = capacity;
    block.shift = static_cast<std::uint32_t>(64 - std::countr_zero(capacity));
    for (std::uint32_t i = 0; i < capacity; ++i) ::new (block.edges() + i) Edge;
  }

  // The node behind `link`, built with room for `moves` edges and installed first if there is
  // none yet. A node that loses the race is given back to the arena.
  Node* node_at(std::atomic<Node*>& link, std::size_t moves, ThreadData& thread) {
    if (Node* node = link.load(std::memory_order_acquire)) return node;
    NodeArena& arena = arenas_.for_worker(thread);
    const std::uint32_t capacity = capacity_for(moves);
    void* memory = arena.allocate(bytes_for(sizeof(Node), capacity), alignof(Node));
    Node* built = ::new (memory) Node;
    init(built->first, capacity);
    Node* expected = nullptr;
    if (link.compare_exchange_strong(expected, built, std::memory_order_release, std::memory_order_acquire)) {
      arena.nodes.store(arena.nodes.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
      return built;
    }
    arena.release_last(built, bytes_for(sizeof(Node), capacity));
    return expected;
  }

  // The edge of `code` in `node`, claimed in a free slot if no playout met it before.
  Edge& edge_for(Node& node, std::uint64_t code, ThreadData& thread) {
    const std::uint64_t hash = code * 0x9E3779B97F4A7C15ull;
    for (Block* block = &node.first;;) {
      const std::uint32_t mask = block->capacity - 1;
      const auto home = static_cast<std::uint32_t>(hash >> block->shift);
      const std::uint32_t probes = std::min(kProbes, block->capacity);
      for (std::uint32_t p = 0; p < probes; ++p) {
        Edge& edge = block->edges()[(home + p) & mask];
        std::uint64_t seen = edge.code.load(std::memory_order_acquire);
        if (seen == kFree &&
            edge.code.compare_exchange_strong(seen, code, std::memory_order_acq_rel, std::memory_order_acquire))
          return edge;
        if (seen == code) return edge;
      }
      Block* next = block->next.load(std::memory_order_acquire);
      if (next == nullptr) {
        NodeArena& arena = arenas_.for_worker(thread);
        const std::uint32_t capacity = block->capacity * 2;
        void* memory = arena.allocate(bytes_for(sizeof(Block), capacity), alignof(Block));
        Block* built = ::new (memory) Block;
        init(*built, capacity);
        if (block->next.compare_exchange_strong(next, built, std::memory_order_release, std::memory_order_acquire))
          next = built;
        else
          arena.release_last(built, bytes_for(sizeof(Block), capacity));
      }
      block = next;
    }
  }

  Spec spec_;
  WorkerArenas arenas_;
  // Links the root like an edge links a child: the first playout builds it.
  std::atomic<Node*> root_{nullptr};
};

template <class Spec>
bool InfoSetTree<Spec>::playout(Worker& worker) {
  State state = spec_.determinise(worker.game);
  SmallVec<Edge*, 64> path;
  std::atomic<Node*>* link = &root_;
  // The largest considered list a node of this game has is small; larger ones are cut to it.
  static constexpr std::size_t kMaxConsidered = 512;
  Edge* considered[kMaxConsidered];

  while (path.size() < Spec::max_playout_length) {
    auto moves = spec_.moves(state);
    if (moves.size() == 0) break;
    Node& node = *node_at(*link, moves.size(), worker.thread);
    const std::uint64_t node_visits = node.visits.fetch_add(1, std::memory_order_relaxed);
    const std::size_t width =
        std::min({spec_.width(state, node_visits), static_cast<std::size_t>(moves.size()), kMaxConsidered});
    if (width < static_cast<std::size_t>(moves.size())) spec_.order(state, moves, width);

    // Every considered move is available on this visit. A move never tried is taken first, the
    // best by the definition's prior when there are several; otherwise the largest key, the
    // earlier one on a tie.
    std::size_t chosen = width;
    std::size_t untried = 0;
    double best_key = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < width; ++i) {
      Edge& edge = edge_for(node, Spec::pack_move(moves.data()[i]) + 1, worker.thread);
      edge.available.fetch_add(1, std::memory_order_relaxed);
      considered[i] = &edge;
      const std::uint64_t visits = edge.visits();
      if (visits == 0) {
        if (untried++ == 0) chosen = i;
      } else if (untried == 0) {
        const double key = spec_.key(visits, edge.sum_rewards(), edge.available.load(std::memory_order_relaxed));
        if (chosen == width || key > best_key) {
          chosen = i;
          best_key = key;
        }
      }
    }
    if (untried > 1) {
      auto best_prior = spec_.prior(state, moves.data()[chosen]);
      for (std::size_t i = chosen + 1; i < width; ++i) {
        if (considered[i]->visits() != 0) continue;
        const auto prior = spec_.prior(state, moves.data()[i]);
        if (prior > best_prior) {
          chosen = i;
          best_prior = prior;
        }
      }
    }
    Edge& edge = *considered[chosen];
    const bool first_try = edge.stats.down(0) == 1;
    path.push_back(&edge);
    spec_.apply(state, moves.data()[chosen]);
    if (first_try) break;
    link = &edge.child;
  }

  const std::int64_t reward = spec_.evaluate(state, worker.game);
  for (Edge* edge : path) edge->stats.up(reward, 0);
  return true;
}

}  // namespace mcts
