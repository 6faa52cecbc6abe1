#pragma once
#include <atomic>
#include <cstdint>

namespace mcts {

// Visit count and reward sum of a node or an edge. Both are plain counters shared by all workers:
// every access is relaxed, because nothing else is published through them and the results are
// read only after the workers have been joined (the join orders everything).
struct NodeStats {
  // Relaxed add (down) or relaxed read and write (down_in_passing, edges), and relaxed copy
  // (replace); read by the policy with relaxed loads.
  std::atomic<std::uint64_t> visits{0};
  // Relaxed add (up) and relaxed copy (replace).
  std::atomic<std::int64_t> sum_evaluations{0};

  NodeStats() = default;
  NodeStats(const NodeStats&) = delete;
  NodeStats& operator=(const NodeStats&) = delete;

  // A selection: one more visit at once, before the playout's reward is known.
  void down(std::int64_t virtual_loss) {
    visits.fetch_add(1, std::memory_order_relaxed);
    if (virtual_loss != 0) sum_evaluations.fetch_sub(virtual_loss, std::memory_order_relaxed);
  }
  // `down` for an edge. The playout replaces an edge's statistics with its child's on the way
  // back (`replace`), so the count made here only shows other workers a playout on its way: a
  // plain read and write will do, where a locked add waits for every earlier store to reach the
  // cache, and longer when another worker holds the line (the costliest step of a shared tree's
  // descent). A count lost to a race is overwritten by that replacement: the last write to an
  // edge is always a playout's `replace`, which follows its own `down_in_passing`.
  void down_in_passing(std::int64_t virtual_loss) {
    visits.store(visits.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    if (virtual_loss != 0)
      sum_evaluations.store(sum_evaluations.load(std::memory_order_relaxed) - virtual_loss,
                            std::memory_order_relaxed);
  }
  // The reward of a finished playout; the visit was already counted by `down`.
  void up(std::int64_t value, std::int64_t virtual_loss) {
    sum_evaluations.fetch_add(value - virtual_loss, std::memory_order_relaxed);
  }
  // Two independent relaxed copies: another worker may update `other` in between, so the pair
  // is not a snapshot. Good enough for statistics that are only read after the join.
  void replace(const NodeStats& other) {
    visits.store(other.visits.load(std::memory_order_relaxed), std::memory_order_relaxed);
    sum_evaluations.store(other.sum_evaluations.load(std::memory_order_relaxed),
                          std::memory_order_relaxed);
  }
};

// Counts a playout in progress as a node for the node limit: one relaxed increment when made,
// one relaxed decrement when destroyed, on every exit of the playout.
class IncreaseSentinel {
 public:
  explicit IncreaseSentinel(std::atomic<std::uint64_t>& counter)
      : counter_(counter), num_nodes(counter.fetch_add(1, std::memory_order_relaxed)) {}
  ~IncreaseSentinel() { counter_.fetch_sub(1, std::memory_order_relaxed); }
  IncreaseSentinel(const IncreaseSentinel&) = delete;
  IncreaseSentinel& operator=(const IncreaseSentinel&) = delete;

 private:
  std::atomic<std::uint64_t>& counter_;

 public:
  const std::uint64_t num_nodes;  // the counter's value before this guard's increment
};

}  // namespace mcts
