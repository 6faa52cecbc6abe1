#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cstdint>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "mcts/manager.hpp"
#include "mcts/search_error.hpp"
#include "toy_spec.hpp"

namespace {

constexpr char kUnwrap[] = "called `Result::unwrap()` on an `Err` value";

// The playouts that ran, exactly, with any number of workers: each took one edge of the root and
// counted its visit there with an atomic add.
std::uint64_t root_visits(const toy::Manager& manager) {
  std::uint64_t sum = 0;
  for (const auto& edge : manager.tree().root_node().moves()) sum += edge.visits();
  return sum;
}

// Each playout ends in at least one evaluation, and each lost expansion race built and evaluated a
// node in vain; the root's evaluation was made before. With several workers a playout may
// evaluate twice: when another worker enters the node it has just installed before it counts its
// own visit, it descends further than that node. So the count is a lower bound.
std::uint64_t fewest_evaluations(const toy::Manager& manager, std::uint64_t playouts) {
  return 1 + playouts + manager.tree().expansion_contention_events();
}

// Starts real threads, counting them, and refuses the start numbered `fail_at` (from 1).
struct CountingSpawner {
  std::atomic<int>* started;
  int fail_at = 0;
  template <class Fn>
  std::thread operator()(Fn&& fn) const {
    if (started->load() + 1 == fail_at)
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    started->fetch_add(1);
    return std::thread(std::forward<Fn>(fn));
  }
};

TEST(Manager, NoPlayoutsStartsNothingEvenWithoutThreads) {
  toy::World world;
  auto manager = toy::make_manager(world);
  std::atomic<int> started{0};
  EXPECT_NO_THROW(manager.playout_n_parallel_with(0, 0, CountingSpawner{&started}));
  EXPECT_NO_THROW(manager.playout_n_parallel(0, 4));
  EXPECT_EQ(started, 0);
  EXPECT_EQ(manager.tree().num_nodes(), 1u);
  EXPECT_EQ(root_visits(manager), 0u);
}

TEST(Manager, ZeroThreadsIsRefused) {
  toy::World world;
  auto manager = toy::make_manager(world);
  try {
    manager.playout_n_parallel(1, 0);
    FAIL() << "zero threads were accepted";
  } catch (const mcts::SearchError& e) {
    EXPECT_STREQ(e.what(), "assertion failed: num_threads != 0");
  }
  EXPECT_EQ(manager.tree().num_nodes(), 1u);
  EXPECT_EQ(root_visits(manager), 0u);
}

struct Split {
  std::uint32_t playouts;
  std::size_t threads;
};

std::ostream& operator<<(std::ostream& os, const Split& s) {
  return os << s.playouts << " playouts on " << s.threads << " threads";
}

class Budget : public testing::TestWithParam<Split> {};

TEST_P(Budget, RunsExactlyNPlayoutsOnEveryStartedWorker) {
  const auto [n, threads] = GetParam();
  toy::World world;
  auto manager = toy::make_manager(world);
  std::atomic<int> started{0};
  manager.playout_n_parallel_with(n, threads, CountingSpawner{&started});
  // A worker beyond the n-th would have nothing to do: it is not started.
  EXPECT_EQ(started, static_cast<int>(std::min<std::size_t>(threads, n)));
  EXPECT_GE(world.all_evaluations, fewest_evaluations(manager, n));
  EXPECT_EQ(manager.tree().num_nodes(), toy::count_nodes(manager.tree().root_node()));
  EXPECT_EQ(root_visits(manager), n);
}

INSTANTIATE_TEST_SUITE_P(Splits, Budget,
                         testing::Values(Split{1, 1}, Split{1, 8}, Split{3, 8}, Split{500, 1},
                                         Split{2000, 4}, Split{7, 7}, Split{20001, 2}),
                         [](const auto& info) {
                           return std::string("n")
                               .append(std::to_string(info.param.playouts))
                               .append("_t")
                               .append(std::to_string(info.param.threads));
                         });

TEST(Manager, OnePlayoutOnEightWorkersVisitsOneEdge) {
  toy::World world;
  auto manager = toy::make_manager(world);
  manager.playout_n_parallel(1, 8);
  EXPECT_EQ(root_visits(manager), 1u);
  EXPECT_EQ(manager.tree().num_nodes(), 2u);
}

TEST(Manager, FailedWorkerLetsTheOthersFinishThenFails) {
  toy::World world;
  world.fail_at_evaluation = 50;  // the root's evaluation was the first
  auto manager = toy::make_manager(world);
  try {
    manager.playout_n_parallel(400, 4);
    FAIL() << "the worker's failure was lost";
  } catch (const mcts::WorkerError& e) {
    EXPECT_STREQ(e.what(), kUnwrap);
    EXPECT_EQ(e.cause(), toy::kEvaluatorFailure);
  }
  // The failed playout was taken from the budget too; the others used up the rest.
  EXPECT_GE(world.all_evaluations, fewest_evaluations(manager, 400));
}

TEST(Manager, WorkerOutOfMemoryStaysBadAlloc) {
  toy::World world;
  world.fail_at_evaluation = 20;
  world.fail_out_of_memory = true;
  auto manager = toy::make_manager(world);
  EXPECT_THROW(manager.playout_n_parallel(200, 3), std::bad_alloc);
  EXPECT_GE(world.all_evaluations, fewest_evaluations(manager, 200));
}

// However many workers are asked for, never more than the fixed bound; every playout still runs.
struct WorkerCountCase {
  std::uint32_t playouts;
  std::size_t threads;
  int started;
};
class WorkerCount : public ::testing::TestWithParam<WorkerCountCase> {};
TEST_P(WorkerCount, IsBounded) {
  toy::World world;
  auto manager = toy::make_manager(world);
  std::atomic<int> started{0};
  manager.playout_n_parallel_with(GetParam().playouts, GetParam().threads, CountingSpawner{&started});
  EXPECT_EQ(started, GetParam().started);
  EXPECT_EQ(root_visits(manager), GetParam().playouts);
}
INSTANTIATE_TEST_SUITE_P(Bounds, WorkerCount,
                         ::testing::Values(WorkerCountCase{5, SIZE_MAX, 5}, WorkerCountCase{1500, 1200, 1024}));

// The poll runs on the calling thread while the workers run; once it says stop, the playouts not
// begun are dropped and the begun ones finish before the join.
TEST(Manager, StopPollEndsTheSearchEarly) {
  toy::World world;
  auto manager = toy::make_manager(world);
  int polls = 0;
  EXPECT_FALSE(manager.playout_n_parallel_until(UINT32_MAX, 2, [&] { return ++polls == 2; }));
  EXPECT_EQ(polls, 2);
  const std::uint64_t ran = root_visits(manager);
  EXPECT_GT(ran, 0u);
  EXPECT_LT(ran, UINT32_MAX);
  EXPECT_GE(world.all_evaluations, fewest_evaluations(manager, ran));
}

TEST(Manager, StopPollFailureIsRethrownAfterTheJoin) {
  toy::World world;
  auto manager = toy::make_manager(world);
  EXPECT_THROW(manager.playout_n_parallel_until(UINT32_MAX, 2, []() -> bool { throw std::runtime_error("poll"); }),
               std::runtime_error);
  EXPECT_GE(world.all_evaluations, fewest_evaluations(manager, root_visits(manager)));
}

TEST(Manager, StopPollThatNeverStopsRunsTheWholeBudget) {
  toy::World world;
  auto manager = toy::make_manager(world);
  EXPECT_TRUE(manager.playout_n_parallel_until(3000, 3, [] { return false; }));
  // Every playout ran to its evaluation.
  EXPECT_GE(world.all_evaluations, fewest_evaluations(manager, 3000));
  EXPECT_EQ(root_visits(manager), 3000u);
}

TEST(Manager, ThreadThatCannotStartFailsAfterTheOthersFinish) {
  toy::World world;
  auto manager = toy::make_manager(world);
  std::atomic<int> started{0};
  const std::system_error refusal(std::make_error_code(std::errc::resource_unavailable_try_again));
  try {
    manager.playout_n_parallel_with(300, 4, CountingSpawner{&started, 3});
    FAIL() << "the failed start was lost";
  } catch (const mcts::WorkerError& e) {
    EXPECT_EQ(std::string(e.what()), std::string(kUnwrap) + ": " + refusal.what());
  }
  EXPECT_EQ(started, 2);
  EXPECT_GE(world.all_evaluations, fewest_evaluations(manager, 300));
}

TEST(Manager, ExpansionRaceInstallsOneNode) {
  toy::World world;
  world.root_branching = 1;
  world.max_depth = 1;  // the child has no moves, so the loser stops on the winner's node
  std::barrier<> both_building(2);
  world.expansion_barrier = &both_building;
  const auto evaluations_before = toy::Evaluation::live.load();
  {
    auto manager = toy::make_manager(world);
    // Each worker waits for the other inside its node construction, after both have seen the
    // empty edge: both build, both swap, one loses.
    manager.playout_n_parallel(2, 2);
    const auto& tree = manager.tree();
    const auto& edge = tree.root_node().moves()[0];
    ASSERT_NE(edge.child(), nullptr);
    EXPECT_TRUE(edge.owned());
    EXPECT_EQ(tree.num_nodes(), 2u);
    EXPECT_EQ(tree.expansion_contention_events(), 1u);
    EXPECT_EQ(edge.visits(), 2u);
    EXPECT_EQ(world.new_evaluations, 3u);
    // Whichever worker entered the node second did not create it here and evaluated anew.
    EXPECT_EQ(world.existing_evaluations, 1u);
    // The loser's node is gone already: the root's evaluation and the installed node's remain.
    EXPECT_EQ(toy::Evaluation::live.load() - evaluations_before, 2);
  }
  EXPECT_EQ(toy::Evaluation::live.load(), evaluations_before);
}

TEST(Manager, ManyWorkersKeepTheTreeWhole) {
  const auto moves_before = toy::Move::live.load();
  {
    toy::World world;
    world.root_branching = 4;
    world.branching = 3;
    world.max_depth = 12;
    auto manager = toy::make_manager(world);
    manager.playout_n_parallel(20000, 8);
    const auto& tree = manager.tree();
    EXPECT_EQ(tree.num_nodes(), toy::count_nodes(tree.root_node()));
    EXPECT_GE(world.all_evaluations, fewest_evaluations(manager, 20000));
    EXPECT_EQ(root_visits(manager), 20000u);
  }
  EXPECT_EQ(toy::Move::live.load(), moves_before);
}

TEST(Manager, WorkerFailureMessages) {
  EXPECT_EQ(mcts::worker_failure_message(), kUnwrap);
  EXPECT_EQ(mcts::worker_failure_message("boom"), std::string(kUnwrap) + ": boom");
  EXPECT_EQ(mcts::zero_threads_message(), "assertion failed: num_threads != 0");
}

}  // namespace
