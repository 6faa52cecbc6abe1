#pragma once
#include <atomic>
#include <cstdint>

namespace mcts {

// Visit count and reward sum of an edge: the statistics of the node it leads to. Both are plain
// counters shared by all workers: every access is relaxed, because nothing else is published
// through them and the results are read only after the workers have been joined (the join orders
// everything). Every change is an atomic add, so the counts are exact under any interleaving.
struct NodeStats {
  // Relaxed add (down); read by the policy with relaxed loads.
  std::atomic<std::uint64_t> visits{0};
  // Relaxed add (down with a virtual loss, up).
  std::atomic<std::int64_t> sum_evaluations{0};

  NodeStats() = default;
  NodeStats(const NodeStats&) = delete;
  NodeStats& operator=(const NodeStats&) = delete;

  // A selection: one more visit at once, before the playout's reward is known, so that other
  // workers see the playout on its way. Returns the visits counted so far, this one included.
  std::uint64_t down(std::int64_t virtual_loss) {
    const std::uint64_t visits_now = visits.fetch_add(1, std::memory_order_relaxed) + 1;
    if (virtual_loss != 0) sum_evaluations.fetch_sub(virtual_loss, std::memory_order_relaxed);
    return visits_now;
  }
  // The reward of a finished playout; the visit was already counted by `down`.
  void up(std::int64_t value, std::int64_t virtual_loss) {
    sum_evaluations.fetch_add(value - virtual_loss, std::memory_order_relaxed);
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
