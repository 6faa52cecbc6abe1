#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "mcts/search_error.hpp"
#include "mcts/search_tree.hpp"
#include "toy_spec.hpp"

namespace {

using toy::DefaultSpec;
using Node = mcts::SearchNode<DefaultSpec>;

toy::Tree make_tree(toy::World& world) {
  return toy::Tree(toy::root_state(world), DefaultSpec{}, toy::Policy{}, toy::Evaluator<DefaultSpec>{&world},
                   toy::EmptyTable{});
}

// Checks, below `node`, what one worker's playouts leave behind: an edge is visited once it is
// expanded, and a node with moves was entered (`visits`, from the edge it hangs from; none for the
// root) once more than its edges were taken: its first visit ends the playout that created it.
void expect_consistent(const Node& node, std::optional<std::uint64_t> visits) {
  std::uint64_t edge_visits = 0;
  for (const auto& edge : node.moves()) {
    edge_visits += edge.visits();
    const Node* child = edge.child();
    if (child == nullptr) {
      EXPECT_EQ(edge.visits(), 0u);
      EXPECT_FALSE(edge.owned());
      continue;
    }
    EXPECT_TRUE(edge.owned());
    EXPECT_GE(edge.visits(), 1u);
    expect_consistent(*child, edge.visits());
  }
  if (visits && !node.moves().empty()) {
    EXPECT_EQ(*visits, edge_visits + 1);
  }
}

TEST(SearchTree, NewTreeHoldsOnlyTheEvaluatedRoot) {
  toy::World world;
  const toy::Tree tree = make_tree(world);
  EXPECT_EQ(tree.num_nodes(), 1u);
  EXPECT_EQ(world.new_evaluations, 1u);
  ASSERT_EQ(tree.root_node().moves().size(), 3u);
  for (std::uint32_t i = 0; i < 3; ++i) {
    const auto& edge = tree.root_node().moves()[i];
    EXPECT_EQ(edge.get_move().index, i);
    EXPECT_EQ(edge.child(), nullptr);
    EXPECT_FALSE(edge.owned());
    EXPECT_EQ(edge.visits(), 0u);
    EXPECT_EQ(edge.sum_rewards(), 0);
  }
  EXPECT_EQ(tree.expansion_contention_events(), 0u);
  EXPECT_EQ(tree.transposition_table_hits(), 0u);
  EXPECT_EQ(tree.delayed_transposition_table_hits(), 0u);
}

TEST(SearchTree, FirstPlayoutExpandsTheTieBreakChoice) {
  toy::World world;
  world.root_branching = 5;
  toy::Tree tree = make_tree(world);
  mcts::ThreadData thread_data;
  ASSERT_TRUE(tree.playout(thread_data));

  // From the fixed seed the first choice among 5 unvisited edges is the fourth.
  const auto& chosen = tree.root_node().moves()[3];
  const Node* child = chosen.child();
  ASSERT_NE(child, nullptr);
  EXPECT_TRUE(chosen.owned());
  EXPECT_EQ(chosen.visits(), 1u);
  EXPECT_EQ(chosen.sum_rewards(), child->evaln().value);
  EXPECT_EQ(tree.num_nodes(), 2u);
  // The created node's own evaluation served the playout: no second rollout.
  EXPECT_EQ(world.new_evaluations, 2u);
  EXPECT_EQ(world.existing_evaluations, 0u);
  for (std::size_t i = 0; i < 5; ++i)
    EXPECT_EQ(tree.root_node().moves()[i].child() == nullptr, i != 3) << "edge " << i;
}

TEST(SearchTree, SecondVisitDescendsThroughTheChild) {
  toy::World world;
  world.root_branching = 1;
  toy::Tree tree = make_tree(world);
  mcts::ThreadData thread_data;
  tree.playout(thread_data);
  tree.playout(thread_data);
  const Node& child = *tree.root_node().moves()[0].child();
  EXPECT_EQ(tree.root_node().moves()[0].visits(), 2u);
  std::uint64_t grandchildren = 0;
  for (const auto& edge : child.moves()) grandchildren += edge.child() != nullptr;
  EXPECT_EQ(grandchildren, 1u);
  EXPECT_EQ(tree.num_nodes(), 3u);
}

// A node pays for its edges only once a playout passes through it: after one playout the new
// leaf knows how many moves it has but holds none; the next playout through it builds them all.
TEST(SearchTree, LeafGetsItsEdgesOnTheFirstPlayoutThroughIt) {
  toy::World world;
  world.root_branching = 1;
  world.branching = 6;
  toy::Tree tree = make_tree(world);
  mcts::ThreadData thread_data;
  ASSERT_TRUE(tree.playout(thread_data));
  const Node& leaf = *tree.root_node().moves()[0].child();
  EXPECT_EQ(leaf.num_moves(), 6u);
  EXPECT_TRUE(leaf.moves().empty());
  const auto moves_alive = toy::Move::live.load();
  ASSERT_TRUE(tree.playout(thread_data));
  ASSERT_EQ(leaf.moves().size(), 6u);
  EXPECT_EQ(toy::Move::live.load(), moves_alive + 6);
  std::uint64_t expanded = 0;
  for (std::uint32_t i = 0; i < 6; ++i) {
    EXPECT_EQ(leaf.moves()[i].get_move().index, i);
    expanded += leaf.moves()[i].child() != nullptr;
  }
  EXPECT_EQ(expanded, 1u);
  expect_consistent(tree.root_node(), std::nullopt);
}

// Edges are built from the state a later playout reaches, so a game whose moves there differ from
// those the node was built with is reported, not searched on with the wrong edges.
TEST(SearchTree, MovesThatChangeUnderANodeAreReported) {
  toy::World world;
  world.root_branching = 1;
  world.branching = 3;
  toy::Tree tree = make_tree(world);
  mcts::ThreadData thread_data;
  ASSERT_TRUE(tree.playout(thread_data));
  world.branching = 2;
  EXPECT_THROW(tree.playout(thread_data), mcts::SearchError);
}

TEST(SearchTree, RootWithoutMovesIsEvaluatedAfreshEachTime) {
  toy::World world;
  world.max_depth = 0;
  toy::Tree tree = make_tree(world);
  mcts::ThreadData thread_data;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(tree.playout(thread_data));
    EXPECT_EQ(tree.num_nodes(), 1u);
  }
  EXPECT_EQ(world.existing_evaluations, 5u);
}

TEST(SearchTree, LeafWithoutMovesStopsEveryDescent) {
  toy::World world;
  world.root_branching = 1;
  world.max_depth = 1;
  toy::Tree tree = make_tree(world);
  mcts::ThreadData thread_data;
  for (int i = 0; i < 4; ++i) tree.playout(thread_data);
  const auto& edge = tree.root_node().moves()[0];
  EXPECT_EQ(edge.visits(), 4u);
  EXPECT_EQ(world.new_evaluations, 2u);
  EXPECT_EQ(world.existing_evaluations, 3u);
  EXPECT_EQ(edge.sum_rewards(), 4 * edge.child()->evaln().value);
}

class SingleWorker : public testing::TestWithParam<std::uint32_t> {};

TEST_P(SingleWorker, StatisticsAreExact) {
  const std::uint32_t n = GetParam();
  toy::World world;
  toy::Tree tree = make_tree(world);
  mcts::ThreadData thread_data;
  for (std::uint32_t i = 0; i < n; ++i) ASSERT_TRUE(tree.playout(thread_data));

  std::uint64_t root_visits = 0;
  for (const auto& edge : tree.root_node().moves()) root_visits += edge.visits();
  EXPECT_EQ(root_visits, n);
  expect_consistent(tree.root_node(), std::nullopt);
  EXPECT_EQ(tree.num_nodes(), toy::count_nodes(tree.root_node()));
  // One evaluation per node built and one per playout that ended on an existing node.
  EXPECT_EQ(world.new_evaluations + world.existing_evaluations, 1u + n);
}

INSTANTIATE_TEST_SUITE_P(Playouts, SingleWorker, testing::Values(1u, 2u, 7u, 100u, 2000u));

TEST(SearchTree, LongPathsLeaveTheInlineLists) {
  toy::World world;
  world.root_branching = 1;
  world.branching = 1;
  world.max_depth = 300;
  toy::Tree tree = make_tree(world);
  mcts::ThreadData thread_data;
  // In a chain each playout goes one node deeper: the last ones take paths of about 200 edges.
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(tree.playout(thread_data));
  EXPECT_EQ(tree.num_nodes(), 201u);
  EXPECT_EQ(tree.root_node().moves()[0].visits(), 200u);
  expect_consistent(tree.root_node(), std::nullopt);
}

TEST(SearchTree, DescentStopsAtTheMaximumPlayoutLength) {
  using ShortSpec = toy::Spec<UINT64_MAX, 3>;
  toy::World world;
  world.root_branching = 1;
  world.branching = 1;
  world.max_depth = 50;
  mcts::SearchTree<ShortSpec> tree(toy::root_state(world), ShortSpec{}, toy::Policy{},
                                   toy::Evaluator<ShortSpec>{&world}, toy::EmptyTable{});
  mcts::ThreadData thread_data;
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(tree.playout(thread_data));
  // A chain: nodes at depth 1, 2 and 3 only.
  EXPECT_EQ(tree.num_nodes(), 4u);
  EXPECT_EQ(toy::count_nodes(tree.root_node()), 4u);
}

TEST(SearchTree, NodeLimitStopsPlayoutsBeforeTheyBegin) {
  using SmallSpec = toy::Spec<3>;
  toy::World world;
  mcts::SearchTree<SmallSpec> tree(toy::root_state(world), SmallSpec{}, toy::Policy{},
                                   toy::Evaluator<SmallSpec>{&world}, toy::EmptyTable{});
  mcts::ThreadData thread_data;
  EXPECT_TRUE(tree.playout(thread_data));
  EXPECT_TRUE(tree.playout(thread_data));
  EXPECT_FALSE(tree.playout(thread_data));
  EXPECT_EQ(tree.num_nodes(), 3u);
  EXPECT_EQ(world.new_evaluations + world.existing_evaluations, 3u);
}

TEST(SearchTree, FreesEveryNodeAndEdge) {
  const auto moves_before = toy::Move::live.load();
  const auto evaluations_before = toy::Evaluation::live.load();
  {
    toy::World world;
    toy::Tree tree = make_tree(world);
    mcts::ThreadData thread_data;
    for (int i = 0; i < 500; ++i) tree.playout(thread_data);
    // Each node holds one evaluation; nothing else is left alive between playouts.
    EXPECT_EQ(toy::Evaluation::live.load() - evaluations_before,
              static_cast<std::int64_t>(tree.num_nodes()));
    EXPECT_GT(toy::Move::live.load(), moves_before);
  }
  EXPECT_EQ(toy::Move::live.load(), moves_before);
  EXPECT_EQ(toy::Evaluation::live.load(), evaluations_before);
}

// The same toy game with its moves packed into the edges' link words.
struct PackedSpec : toy::Spec<> {
  using Evaluator = toy::Evaluator<PackedSpec>;
  static std::uint64_t pack_move(const toy::Move& m) { return m.index; }
  static toy::Move unpack_move(std::uint64_t code) { return toy::Move(static_cast<std::uint32_t>(code)); }
};
static_assert(mcts::PackedMoves<PackedSpec> && !mcts::PackedMoves<DefaultSpec>);
static_assert(sizeof(mcts::MoveInfo<PackedSpec>) == 24);

// Every edge gives back its move, before and after its child was built; one worker's statistics
// are those of the unpacked tree, playout for playout.
TEST(SearchTree, PackedMovesRoundTripAndSearchTheSame) {
  toy::World packed_world;
  toy::World plain_world;
  mcts::SearchTree<PackedSpec> packed(toy::root_state(packed_world), PackedSpec{}, toy::Policy{},
                                      toy::Evaluator<PackedSpec>{&packed_world}, toy::EmptyTable{});
  toy::Tree plain = make_tree(plain_world);
  mcts::ThreadData packed_thread;
  mcts::ThreadData plain_thread;
  for (int i = 0; i < 300; ++i) {
    packed.playout(packed_thread);
    plain.playout(plain_thread);
  }
  const auto compare = [](const auto& self, const auto& a, const auto& b) -> void {
    ASSERT_EQ(a.moves().size(), b.moves().size());
    for (std::size_t i = 0; i < a.moves().size(); ++i) {
      const auto& x = a.moves()[i];
      const auto& y = b.moves()[i];
      EXPECT_EQ(x.get_move().index, y.get_move().index);
      EXPECT_EQ(x.visits(), y.visits());
      EXPECT_EQ(x.sum_rewards(), y.sum_rewards());
      EXPECT_EQ(x.owned(), y.owned());
      ASSERT_EQ(x.child() == nullptr, y.child() == nullptr);
      if (x.child() != nullptr) self(self, *x.child(), *y.child());
    }
  };
  compare(compare, packed.root_node(), plain.root_node());
  EXPECT_EQ(packed.num_nodes(), plain.num_nodes());
}

// A worker's data outlives trees: each new tree gives it an arena of its own.
TEST(SearchTree, ThreadDataServesOneTreeAfterAnother) {
  mcts::ThreadData thread_data;
  for (int round = 0; round < 3; ++round) {
    toy::World world;
    toy::Tree tree = make_tree(world);
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(tree.playout(thread_data));
    EXPECT_EQ(tree.num_nodes(), toy::count_nodes(tree.root_node()));
  }
}

TEST(SearchTree, FailureMessages) {
  EXPECT_EQ(mcts::playout_length_exceeded_message(1000),
            "playout length exceeded maximum of 1000 (maybe the transposition table is creating an "
            "infinite loop?)");
  EXPECT_EQ(mcts::cycle_detected_message(),
            "cycle detected! you should do one of the following:\n- make states acyclic\n"
            "- remove transposition table\n- change cycle_behaviour()");
}

}  // namespace
