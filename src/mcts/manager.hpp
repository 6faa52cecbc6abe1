#pragma once
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
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

// The most worker threads one search starts, however many it is asked for: beyond the
// processors of any machine they only cost the system its thread ids.
inline constexpr std::size_t kMaxWorkers = 1024;

// How often the calling thread asks whether to stop, while workers run.
inline constexpr std::chrono::milliseconds kStopPollInterval{5};

// The stop check of a search that nobody can interrupt.
struct NeverStop {
  bool operator()() const { return false; }
};

// Runs `worker` on `num_threads` threads started one after the other by `spawn`, and joins every
// thread that started before returning or throwing. An exception never leaves a worker thread:
// it is kept until all have been joined and then reported as a WorkerError, except a failed
// allocation, which stays std::bad_alloc. A thread that cannot be started ends the starting (the
// others still run to completion) and is reported with the system's error, before any worker's
// failure.
//
// While the workers run, the calling thread calls `poll` every kStopPollInterval; once it returns
// true (the poll itself must make the workers finish soon, e.g. by taking away their work) it is
// not called again and the workers are joined. An exception from `poll` is rethrown after the
// join, before any other failure. With NeverStop the calling thread only starts and joins.
template <class Worker, class Spawner = StdThreadSpawner, class Poll = NeverStop>
void run_workers(std::size_t num_threads, const Worker& worker, Spawner spawn = {}, Poll poll = {}) {
  constexpr bool kPolls = !std::is_same_v<Poll, NeverStop>;
  // Touched only when a worker ends, never on the playout path.
  std::mutex mutex;
  std::condition_variable ended;
  std::size_t finished = 0;
  std::optional<std::string> worker_failure;
  bool out_of_memory = false;
  const auto guarded = [&] {
    std::optional<std::string> cause;
    bool no_memory = false;
    try {
      worker();
    } catch (const std::bad_alloc& e) {
      no_memory = true;
      cause = e.what();
    } catch (const std::exception& e) {
      cause = e.what();
    } catch (...) {
      cause = "unknown exception";
    }
    const std::lock_guard<std::mutex> lock(mutex);
    if (cause && !worker_failure) {
      worker_failure = std::move(cause);
      out_of_memory = no_memory;
    }
    ++finished;
    if constexpr (kPolls) ended.notify_one();
  };

  std::vector<std::thread> threads;
  std::size_t started = 0;
  std::optional<std::string> spawn_failure;
  bool spawn_out_of_memory = false;
  for (std::size_t i = 0; i < num_threads; ++i) {
    std::thread thread;
    try {
      thread = spawn(guarded);
    } catch (const std::bad_alloc& e) {
      spawn_out_of_memory = true;
      spawn_failure = e.what();
      break;
    } catch (const std::exception& e) {
      spawn_failure = e.what();
      break;
    }
    ++started;
    try {
      threads.push_back(std::move(thread));
    } catch (const std::exception& e) {
      // A joinable thread must never be destroyed: that would end the process.
      thread.join();
      spawn_out_of_memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
      spawn_failure = e.what();
      break;
    }
  }

  std::exception_ptr poll_failure;
  if constexpr (kPolls) {
    std::unique_lock<std::mutex> lock(mutex);
    while (!ended.wait_for(lock, kStopPollInterval, [&] { return finished == started; })) {
      lock.unlock();
      bool stop = true;
      try {
        stop = poll();
      } catch (...) {
        poll_failure = std::current_exception();
      }
      if (stop) break;
      lock.lock();
    }
  }
  for (std::thread& thread : threads) thread.join();

  if (poll_failure) std::rethrow_exception(poll_failure);
  if (spawn_out_of_memory || (!spawn_failure && out_of_memory)) throw std::bad_alloc();
  if (spawn_failure) throw WorkerError(worker_failure_message(*spawn_failure), *spawn_failure);
  if (worker_failure) throw WorkerError(worker_failure_message(), *worker_failure);
}

// A number of playouts shared by the workers of one tree. Workers take them a batch at a time:
// one subtraction on the shared counter per batch, not per playout. Batches stay small against
// each worker's share, so the workers still finish together. Relaxed: the budget and the stop flag
// order nothing else.
class PlayoutBudget {
 public:
  PlayoutBudget(std::uint32_t playouts, std::size_t workers)
      : batch_(static_cast<std::int64_t>(std::clamp<std::uint64_t>(playouts / (std::max<std::size_t>(workers, 1) * 64), 1, kMaxBatch))),
        left_(static_cast<std::int64_t>(playouts)) {}
  PlayoutBudget(const PlayoutBudget&) = delete;
  PlayoutBudget& operator=(const PlayoutBudget&) = delete;

  // One worker: playouts on `tree` until the budget is spent or `stop` is raised, which ends the
  // worker after its current playout. Any tree with new_worker() and playout(worker&) will do.
  template <class Tree>
  void work(Tree& tree, const std::atomic<bool>& stop) {
    auto thread_data = tree.new_worker();
    for (std::int64_t left; (left = left_.fetch_sub(batch_, std::memory_order_relaxed)) > 0;) {
      for (std::int64_t i = std::min(batch_, left); i > 0; --i) {
        if (stop.load(std::memory_order_relaxed)) return;
        tree.playout(thread_data);
      }
    }
  }

 private:
  // The most playouts a worker takes at once.
  static constexpr std::uint64_t kMaxBatch = 8;

  const std::int64_t batch_;
  alignas(kCacheLine) std::atomic<std::int64_t> left_;
};

// Runs exactly n playouts on `tree` (any tree PlayoutBudget can work on), shared by
// min(num_threads, n, kMaxWorkers) workers started by `spawn`, and joins them all. With a stop
// check other than NeverStop the calling thread asks it every kStopPollInterval; once it returns
// true (or throws) the playouts not yet begun are dropped and this returns false (or rethrows).
// Throws SearchError for 0 threads (with n > 0) and WorkerError for a failed worker.
template <class Tree, class Spawner, class Stop>
bool run_playouts_on(Tree& tree, std::uint32_t n, std::size_t num_threads, Spawner spawn, Stop stop) {
  if (n == 0) return true;
  if (num_threads == 0) throw SearchError(std::string(zero_threads_message()));
  // A worker beyond the n-th would find the budget spent before its first playout.
  const std::size_t workers = std::min({num_threads, static_cast<std::size_t>(n), kMaxWorkers});
  PlayoutBudget budget(n, workers);
  alignas(kCacheLine) std::atomic<bool> stopping{false};
  const auto worker = [&tree, &budget, &stopping] { budget.work(tree, stopping); };
  if constexpr (std::is_same_v<Stop, NeverStop>) {
    run_workers(workers, worker, std::move(spawn));
    return true;
  } else {
    bool stopped = false;
    // The stop flag ends the workers early: each finishes its current playout.
    const auto poll = [&] {
      try {
        stopped = stop();
      } catch (...) {
        stopping.store(true, std::memory_order_relaxed);
        throw;
      }
      if (stopped) stopping.store(true, std::memory_order_relaxed);
      return stopped;
    };
    run_workers(workers, worker, std::move(spawn), poll);
    return !stopped;
  }
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

  // Runs exactly n playouts shared by min(num_threads, n, kMaxWorkers) new workers and joins them
  // all before returning. The calling thread only starts and joins. Throws SearchError for 0
  // threads (with n > 0) and WorkerError for a worker that failed or could not be started.
  void playout_n_parallel(std::uint32_t n, std::size_t num_threads) {
    playout_n_parallel_with(n, num_threads, StdThreadSpawner{});
  }

  // The same, with the threads started by `spawn`.
  template <class Spawner>
  void playout_n_parallel_with(std::uint32_t n, std::size_t num_threads, Spawner spawn) {
    run_playouts(n, num_threads, std::move(spawn), NeverStop{});
  }

  // The same, except that the calling thread calls `stop` every kStopPollInterval while the
  // workers run. Once it returns true (or throws), the playouts not yet begun are dropped, the
  // workers finish the ones they are in and are joined, and this returns false (or rethrows).
  // Returns true when all n playouts ran.
  template <class Stop>
  bool playout_n_parallel_until(std::uint32_t n, std::size_t num_threads, Stop stop) {
    return run_playouts(n, num_threads, StdThreadSpawner{}, std::move(stop));
  }

  const SearchTree<Spec>& tree() const { return search_tree_; }

 private:
  template <class Spawner, class Stop>
  bool run_playouts(std::uint32_t n, std::size_t num_threads, Spawner spawn, Stop stop) {
    return run_playouts_on(search_tree_, n, num_threads, std::move(spawn), std::move(stop));
  }

  SearchTree<Spec> search_tree_;
};

}  // namespace mcts
