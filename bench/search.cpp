// Playouts per second of the game's search from a seeded initial state, with 1 and 2 worker
// threads, and the heap bytes the tree takes per node. Usage: bench_search [playouts] [repeats]
// [max_threads] [cpu]; each figure is the median of the repeats. With "cpu", each speed is
// followed by the playouts per second of processor time of the whole process: on a loaded machine
// it shows what the workers cost, where the wall-clock speed shows mostly the load.
//
// Each repeat runs the searches of every thread count back to back, so that a speed-up (tN.speedup)
// is the median of ratios of runs made moments apart: a shared machine's speed drifts by more than
// the effect between runs made seconds apart. Beside it, tN.separate_speedup is what N one-worker
// searches of their own trees, side by side, make of the same cores: the ceiling for a shared tree
// on this machine at that moment.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <thread>
#include <vector>

#include "game/search_spec.hpp"

namespace {

// Every byte requested from the global allocator, and those requested aligned: the chunks of the
// tree's node arenas (nodes with their edges) come aligned, unless the arenas reuse the chunks of
// an earlier tree; the rest is the little the manager needs to start its threads.
std::atomic<std::uint64_t> g_allocated{0};
std::atomic<std::uint64_t> g_allocated_aligned{0};

void* counted_alloc(std::size_t size) {
  g_allocated.fetch_add(size, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

// Arena chunks are cache-line aligned: they come through the aligned forms.
void* counted_aligned_alloc(std::size_t size, std::align_val_t align) {
  g_allocated.fetch_add(size, std::memory_order_relaxed);
  g_allocated_aligned.fetch_add(size, std::memory_order_relaxed);
  const auto alignment = static_cast<std::size_t>(align);
  const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
  if (void* p = std::aligned_alloc(alignment, rounded == 0 ? alignment : rounded)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return counted_alloc(size); }
void* operator new[](std::size_t size) { return counted_alloc(size); }
void* operator new(std::size_t size, std::align_val_t align) { return counted_aligned_alloc(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return counted_aligned_alloc(size, align); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

constexpr std::uint64_t kSeed = 20240607;

struct Run {
  double playouts_per_s;
  double cpu_playouts_per_s;
  double bytes_per_node;
};

template <int N, bool Heuristics>
Run run_once(std::uint32_t playouts, std::size_t threads) {
  using Spec = corvanta::MyMCTS<N, Heuristics>;
  const auto state = corvanta::State<N>::create(kSeed);
  const std::uint64_t bytes_before = g_allocated.load() - g_allocated_aligned.load();
  mcts::MCTSManager<Spec> manager(state, Spec{}, typename Spec::Evaluator{},
                                  corvanta::MyPolicy::from_variation(std::nullopt), corvanta::EmptyTable{});
  const std::clock_t cpu_start = std::clock();
  const auto start = std::chrono::steady_clock::now();
  manager.playout_n_parallel(playouts, threads);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  // The arenas' chunks, fresh or reused, and everything else the search allocated.
  const double bytes = static_cast<double>(manager.tree().memory_bytes() + g_allocated.load() -
                                           g_allocated_aligned.load() - bytes_before);
  return {playouts / seconds, playouts / cpu_seconds, bytes / static_cast<double>(manager.tree().num_nodes())};
}

// `threads` one-worker searches of `playouts` each, side by side: playouts per second of them all.
template <int N, bool Heuristics>
double separate_searches(std::uint32_t playouts, std::size_t threads) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> others;
  for (std::size_t i = 1; i < threads; ++i) others.emplace_back([playouts] { run_once<N, Heuristics>(playouts, 1); });
  run_once<N, Heuristics>(playouts, 1);
  for (std::thread& other : others) other.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return static_cast<double>(playouts) * static_cast<double>(threads) / seconds;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

template <int N, bool Heuristics>
void report_speed(std::uint32_t playouts, int repeats, std::size_t max_threads, bool cpu) {
  std::vector<std::size_t> counts;
  for (std::size_t threads = 1; threads <= max_threads; threads *= 2) counts.push_back(threads);
  // Per thread count, per repeat.
  std::vector<std::vector<Run>> runs(counts.size());
  std::vector<std::vector<double>> separate(counts.size());
  for (int r = 0; r < repeats; ++r) {
    // Alternating the order cancels a steady drift of the machine's speed.
    for (std::size_t k = 0; k < counts.size(); ++k) {
      const std::size_t i = r % 2 == 0 ? k : counts.size() - 1 - k;
      runs[i].push_back(run_once<N, Heuristics>(playouts, counts[i]));
      if (counts[i] > 1) separate[i].push_back(separate_searches<N, Heuristics>(playouts, counts[i]));
    }
  }
  const auto figure = [&](std::size_t threads, const char* name, double value, const char* format) {
    std::printf("search.N%d.h%d.t%zu.%s: ", N, Heuristics ? 1 : 0, threads, name);
    std::printf(format, value);
    std::printf("\n");
  };
  for (std::size_t i = 0; i < counts.size(); ++i) {
    std::vector<double> speeds, cpu_speeds, speedups, separate_speedups;
    for (int r = 0; r < repeats; ++r) {
      speeds.push_back(runs[i][r].playouts_per_s);
      cpu_speeds.push_back(runs[i][r].cpu_playouts_per_s);
      if (i > 0) {
        speedups.push_back(runs[i][r].playouts_per_s / runs[0][r].playouts_per_s);
        separate_speedups.push_back(separate[i][r] / runs[0][r].playouts_per_s);
      }
    }
    figure(counts[i], "playouts_per_s", median(speeds), "%.0f");
    if (cpu) figure(counts[i], "playouts_per_cpu_s", median(cpu_speeds), "%.0f");
    if (i > 0) {
      figure(counts[i], "speedup", median(speedups), "%.3f");
      figure(counts[i], "separate_speedup", median(separate_speedups), "%.3f");
    }
    std::fflush(stdout);
  }
}

template <int N>
void report(std::uint32_t playouts, int repeats, std::size_t max_threads, bool cpu) {
  report_speed<N, false>(playouts, repeats, max_threads, cpu);
  report_speed<N, true>(playouts, repeats, max_threads, cpu);
  std::vector<double> bytes;
  for (int r = 0; r < repeats; ++r) bytes.push_back(run_once<N, false>(playouts, 1).bytes_per_node);
  std::printf("search.N%d.bytes_per_node: %.1f\n", N, median(bytes));
}

}  // namespace

int main(int argc, char** argv) {
  const auto playouts = static_cast<std::uint32_t>(argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000);
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 9;
  const std::size_t max_threads = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 2;
  const bool cpu = argc > 4 && std::strcmp(argv[4], "cpu") == 0;
  report<1>(playouts, repeats, max_threads, cpu);
  report<4>(playouts, repeats, max_threads, cpu);
  return 0;
}
