#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "mcts/search_error.hpp"
#include "mcts/search_tree.hpp"

namespace mcts {

// A failed worker. The message is the fixed text every such failure gets; what the worker itself
// reported is kept beside it.
class WorkerError : public SearchError {
 public:
  WorkerError(const std::string& message, std::string cause)
      : SearchError(message), cause_(std::move(cause)) {}
  const std::string& cause() const { return cause_; }

 private:
  std::string cause_;
};

// Starts operating-system threads with default attributes.
struct StdThreadSpawner {
  template <class Fn>
  std::thread operator()(Fn&& fn) const {
    return std::thread(std::forward<Fn>(fn));
  }
};

// Runs `worker` on `num_threads` threads started one after the other by `spawn`, and joins every
// thread that started before returning or throwing. An exception never leaves a worker thread:
// it is kept until all have been joined and then reported as a WorkerError. A thread that
// cannot be started ends the starting (the others still run to completion) and is reported with
// the system's error, before any worker's failure.
template <class Worker, class Spawner = StdThreadSpawner>
void run_workers(std::size_t num_threads, const Worker& worker, Spawner spawn = {}) {
  // Touched only when a worker fails, never on the playout path.
  std::mutex failure_mutex;
  std::optional<std::string> worker_failure;
  const auto guarded = [&worker, &failure_mutex, &worker_failure] {
    std::string cause;
    try {
      worker();
      return;
    } catch (const std::exception& e) {
      cause = e.what();
    } catch (...) {
      cause = "unknown exception";
    }
    const std::lock_guard<std::mutex> lock(failure_mutex);
    if (!worker_failure) worker_failure = std::move(cause);
  };

  std::vector<std::thread> threads;
  std::optional<std::string> spawn_failure;
  for (std::size_t i = 0; i < num_threads; ++i) {
    std::thread thread;
    try {
      thread = spawn(guarded);
    } catch (const std::exception& e) {
      spawn_failure = e.what();
      break;
    }
    try {
      threads.push_back(std::move(thread));
    } catch (const std::exception& e) {
      // A joinable thread must never be destroyed: that would end the process.
      thread.join();
      spawn_failure = e.what();
      break;
    }
  }
  for (std::thread& thread : threads) thread.join();

  if (spawn_failure) throw WorkerError(worker_failure_message(*spawn_failure), *spawn_failure);
  if (worker_failure) throw WorkerError(worker_failure_message(), *worker_failure);
}

// One search: owns the tree and runs a fixed budget of playouts on it with fresh worker threads.
template <class Spec>
class MCTSManager {
 public:
  using State = typename Spec::State;

  // Builds the tree; the root is created and evaluated before this returns.
  MCTSManager(const State& state, Spec manager, typename Spec::Evaluator eval,
              typename Spec::Policy tree_policy, typename Spec::Table table)
      : search_tree_(state, std::move(manager), std::move(tree_policy), std::move(eval),
                     std::move(table)) {}
  MCTSManager(const MCTSManager&) = delete;
  MCTSManager& operator=(const MCTSManager&) = delete;

  // Runs exactly n playouts shared by num_threads new workers and joins them all before
  // returning. The calling thread only starts and joins. Throws SearchError for 0 threads (with
  // n > 0) and WorkerError for a worker that failed or could not be started.
  void playout_n_parallel(std::uint32_t n, std::size_t num_threads) {
    playout_n_parallel_with(n, num_threads, StdThreadSpawner{});
  }

  // The same, with the threads started by `spawn`.
  template <class Spawner>
  void playout_n_parallel_with(std::uint32_t n, std::size_t num_threads, Spawner spawn) {
    if (n == 0) return;
    if (num_threads == 0) throw SearchError(std::string(zero_threads_message()));
    // One relaxed subtraction per playout taken: the budget orders nothing else.
    alignas(kCacheLine) std::atomic<std::int64_t> budget{static_cast<std::int64_t>(n)};
    run_workers(
        num_threads,
        [this, &budget] {
          ThreadData thread_data;
          while (budget.fetch_sub(1, std::memory_order_relaxed) > 0)
            search_tree_.playout(thread_data);
        },
        std::move(spawn));
  }

  const SearchTree<Spec>& tree() const { return search_tree_; }

 private:
  SearchTree<Spec> search_tree_;
};

}  // namespace mcts
