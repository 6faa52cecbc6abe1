// The information-set tree on a toy game with a hidden value: every playout's moves are legal in
// its own deal, availability counts what was legal, widening bounds what a node considers, and
// the visits add up, with one worker and with several on one tree.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "mcts/info_set_tree.hpp"
#include "mcts/manager.hpp"

namespace {

// A hidden value h in [0, kDeals) is dealt at random. At every depth below kDepth, move m of
// kMoves is legal when (m + h + depth) % 3 != 0, so different deals offer different moves. The
// reward is 12 when the first move is 0, else the last move's number.
constexpr std::uint32_t kDeals = 7;
constexpr std::uint32_t kMoves = 9;
constexpr std::uint32_t kDepth = 4;

struct ToyState {
  std::uint32_t hidden = 0;
  std::uint32_t depth = 0;
  std::uint32_t first = kMoves;
  std::uint32_t last = 0;
};

struct MoveList {
  std::uint32_t items[kMoves];
  std::uint32_t count = 0;
  const std::uint32_t* data() const { return items; }
  std::size_t size() const { return count; }
};

bool legal(const ToyState& s, std::uint32_t m) { return s.depth < kDepth && (m + s.hidden + s.depth) % 3 != 0; }

struct Counters {
  std::atomic<std::uint64_t> illegal_moves{0};
  std::atomic<std::uint64_t> legal_at_root{0};  // summed over playouts
  std::atomic<std::uint64_t> playouts{0};
};

struct ToySpec {
  using State = ToyState;
  using Move = std::uint32_t;
  struct Worker {
    std::mt19937_64 rng;
  };
  static constexpr std::size_t max_playout_length = 16;

  Counters* counters;
  // Widening: a node visited n times considers 1 + n / widen_every moves; 0 considers all.
  std::uint64_t widen_every = 0;

  Worker new_worker() const { return {std::mt19937_64(std::random_device{}())}; }
  State determinise(Worker& w) const {
    State s;
    s.hidden = static_cast<std::uint32_t>(w.rng() % kDeals);
    std::uint64_t at_root = 0;
    for (std::uint32_t m = 0; m < kMoves; ++m) at_root += legal(s, m);
    counters->legal_at_root.fetch_add(at_root);
    counters->playouts.fetch_add(1);
    return s;
  }
  MoveList moves(const State& s) const {
    MoveList out;
    for (std::uint32_t m = 0; m < kMoves; ++m)
      if (legal(s, m)) out.items[out.count++] = m;
    return out;
  }
  std::size_t width(const State&, std::uint64_t visits) const {
    return widen_every == 0 ? SIZE_MAX : 1 + visits / widen_every;
  }
  void order(const State&, MoveList&, std::size_t) const {}
  int prior(const State&, Move m) const { return -static_cast<int>(m); }
  void apply(State& s, Move m) const {
    if (!legal(s, m)) counters->illegal_moves.fetch_add(1);
    if (s.depth == 0) s.first = m;
    s.last = m;
    ++s.depth;
  }
  std::int64_t evaluate(const State& s, Worker&) const { return s.first == 0 ? 12 : s.last; }
  double key(std::uint64_t visits, std::int64_t sum, std::uint64_t available) const {
    const double n = static_cast<double>(visits);
    return static_cast<double>(sum) / n + 2.0 * std::sqrt(std::log(static_cast<double>(available)) / n);
  }
  static std::uint64_t pack_move(Move m) { return m; }
  static Move unpack_move(std::uint64_t code) { return static_cast<Move>(code); }
};

using Tree = mcts::InfoSetTree<ToySpec>;

struct RootEdge {
  std::uint64_t visits;
  std::int64_t sum;
  std::uint64_t available;
};

std::map<std::uint32_t, RootEdge> root_edges(const Tree& tree) {
  std::map<std::uint32_t, RootEdge> out;
  Tree::for_each_edge(*tree.root(), [&](const Tree::Edge& e) {
    EXPECT_FALSE(out.contains(e.move())) << "move " << e.move() << " has two edges";
    out[e.move()] = {e.visits(), e.sum_rewards(), e.available.load()};
  });
  return out;
}

// Every edge below the root: its availability is at least its visits.
void expect_available_at_least_visited(const Tree::Node& node) {
  Tree::for_each_edge(node, [](const Tree::Edge& e) {
    EXPECT_GE(e.available.load(), e.visits());
    if (const Tree::Node* child = e.child.load()) expect_available_at_least_visited(*child);
  });
}

class InfoSetTreeWorkers : public ::testing::TestWithParam<std::size_t> {};

TEST_P(InfoSetTreeWorkers, PlaysOnlyLegalMovesAndCountsWhatWasAvailable) {
  Counters counters;
  Tree tree(ToySpec{&counters});
  const std::uint32_t playouts = 20'000;
  ASSERT_TRUE(mcts::run_playouts_on(tree, playouts, GetParam(), mcts::StdThreadSpawner{}, mcts::NeverStop{}));
  EXPECT_EQ(counters.illegal_moves.load(), 0u);
  EXPECT_EQ(counters.playouts.load(), playouts);

  const auto root = root_edges(tree);
  std::uint64_t visits = 0;
  std::uint64_t available = 0;
  for (const auto& [move, edge] : root) {
    visits += edge.visits;
    available += edge.available;
  }
  // Every playout takes one root edge, and counts one availability per move legal in its deal.
  EXPECT_EQ(visits, playouts);
  EXPECT_EQ(available, counters.legal_at_root.load());
  // Every move is legal in some deal; with 20,000 deals all have been met.
  EXPECT_EQ(root.size(), kMoves);
  expect_available_at_least_visited(*tree.root());
  // Move 0 always wins: it is legal in 2 deals of 3 and taken in most of those.
  const auto best = std::max_element(root.begin(), root.end(), [](const auto& a, const auto& b) {
    return a.second.visits < b.second.visits;
  });
  EXPECT_EQ(best->first, 0u);
  EXPECT_GT(root.at(0).visits, root.at(0).available / 2);
  EXPECT_GT(tree.num_nodes(), 1u);
}

INSTANTIATE_TEST_SUITE_P(OneAndMany, InfoSetTreeWorkers, ::testing::Values(1u, 2u, 4u));

TEST(InfoSetTree, WideningBoundsTheMovesANodeConsiders) {
  Counters counters;
  Tree tree(ToySpec{&counters, 100});
  const std::uint32_t playouts = 450;
  ASSERT_TRUE(mcts::run_playouts_on(tree, playouts, 1, mcts::StdThreadSpawner{}, mcts::NeverStop{}));
  // After n visits the root considers the first 1 + n / 100 legal moves of its deal, never more
  // than 5: only moves among the first 5 of some deal were ever met.
  std::vector<bool> reachable(kMoves, false);
  for (std::uint32_t h = 0; h < kDeals; ++h) {
    const MoveList legal_here = ToySpec{&counters}.moves(ToyState{h});
    for (std::size_t i = 0; i < std::min<std::size_t>(5, legal_here.size()); ++i) reachable[legal_here.items[i]] = true;
  }
  const auto root = root_edges(tree);
  for (const auto& [move, edge] : root) EXPECT_TRUE(reachable[move]) << "move " << move;
  EXPECT_LT(root.size(), kMoves);
  EXPECT_GE(root.size(), 2u);
  std::uint64_t visits = 0;
  for (const auto& [move, edge] : root) visits += edge.visits;
  EXPECT_EQ(visits, playouts);
  EXPECT_EQ(counters.illegal_moves.load(), 0u);
}

TEST(InfoSetTree, StopsWhenAskedAndKeepsWhatItSearched) {
  Counters counters;
  Tree tree(ToySpec{&counters});
  int asked = 0;
  const bool finished = mcts::run_playouts_on(tree, 1u << 30, 2, mcts::StdThreadSpawner{}, [&] { return ++asked >= 2; });
  EXPECT_FALSE(finished);
  EXPECT_LT(counters.playouts.load(), 1u << 30);
  std::uint64_t visits = 0;
  for (const auto& [move, edge] : root_edges(tree)) visits += edge.visits;
  EXPECT_EQ(visits, counters.playouts.load());
}

}  // namespace
