#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <variant>

#include "data/known_xorshift.hpp"
#include "game/error.hpp"
#include "game/policy.hpp"
#include "toy_spec.hpp"

namespace {

using corvanta::MyPolicy;

MyPolicy variation(std::optional<std::uint8_t> number) { return MyPolicy::from_variation(number); }

struct KeyCase {
  const char* name;
  std::optional<std::uint8_t> variation;
  std::uint64_t n;
  std::int64_t s;
  double total;
  double unexpanded;
  double expected;
};

std::ostream& operator<<(std::ostream& os, const KeyCase& c) { return os << c.name; }

class PolicyKey : public testing::TestWithParam<KeyCase> {};

TEST_P(PolicyKey, WorkedExamplesToSixDecimals) {
  const auto& c = GetParam();
  EXPECT_NEAR(variation(c.variation).key(c.n, c.s, c.total, c.unexpanded), c.expected, 5e-7);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, PolicyKey,
    testing::Values(KeyCase{"BaseOneWin", std::nullopt, 1, 12, 2.0, 1.0, 31.981311},
                    KeyCase{"Base", 0, 4, 24, 10.0, 3.0, 24.209126},
                    KeyCase{"Variation2", 2, 4, 24, 10.0, 3.0, 22.731122},
                    KeyCase{"Variation3", 3, 4, 24, 10.0, 3.0, 19.173104},
                    KeyCase{"Variation4", 4, 4, 24, 10.0, 3.0, 16.293718}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PolicyKey, UnvisitedEdgeIsInfinite) {
  for (std::uint8_t v : {0, 2, 3, 4})
    EXPECT_EQ(variation(v).key(0, 0, 1.0, 1.0), std::numeric_limits<double>::infinity());
}

// Each key, bit for bit, as the rule is written: the mean plus the bonus, evaluated left to right.
double written_key(int rule, double n, double s, double t, double k) {
  const double q = s / n;
  switch (rule) {
    case 0:
      return q + 16.970562748477143 * std::sqrt(2.0 * std::log(t) / n);
    case 2: {
      const double l = std::log(k / 0.001);
      return q + 12.0 * std::sqrt((l + 3.0 * std::log(l) + 1.5 * std::log(std::log(n) + 1.0)) / (2.0 * n));
    }
    case 3:
      return q + 12.0 * std::sqrt((1.0 + 1.0 / n) * std::log(std::sqrt(n + 1.0) / 0.001) / (2.0 * n));
    default:
      return q + 12.0 * std::sqrt((std::log(t) + 3.0 * std::log(std::log(t) + 1.0)) / (2.0 * n));
  }
}

class WrittenKey : public testing::TestWithParam<int> {};

TEST_P(WrittenKey, IsReproducedExactly) {
  const MyPolicy policy = variation(static_cast<std::uint8_t>(GetParam()));
  for (std::uint64_t n : {1u, 2u, 3u, 17u, 1000u, 123457u})
    for (std::int64_t s : {0, 5, 12, 99, 1000000})
      for (double t : {1.0, 2.0, 10.0, 33.0, 1e6})
        for (double k : {1.0, 3.0, 256.0})
          ASSERT_EQ(policy.key(n, s, t, k), written_key(GetParam(), static_cast<double>(n), static_cast<double>(s), t, k))
              << "n=" << n << " s=" << s << " T=" << t << " K=" << k;
}

INSTANTIATE_TEST_SUITE_P(Rules, WrittenKey, testing::Values(0, 2, 3, 4));

TEST(PolicyVariation, BuildsTheBuiltInRules) {
  const auto base = std::get<corvanta::UCTBase>(variation(std::nullopt).rule());
  EXPECT_EQ(base.exploration_constant, 16.970562748477143);
  EXPECT_EQ(std::get<corvanta::UCTBase>(variation(0).rule()).exploration_constant, 16.970562748477143);
  const auto v2 = std::get<corvanta::UCTVariation2>(variation(2).rule());
  EXPECT_EQ(v2.max_score, 12.0);
  EXPECT_EQ(v2.delta, 0.001);
  const auto v3 = std::get<corvanta::UCTVariation3>(variation(3).rule());
  EXPECT_EQ(v3.max_score, 12.0);
  EXPECT_EQ(v3.delta, 0.001);
  EXPECT_EQ(std::get<corvanta::UCTVariation4>(variation(4).rule()).max_score, 12.0);
}

class UnknownVariation : public testing::TestWithParam<int> {};

TEST_P(UnknownVariation, IsRefusedWithItsNumber) {
  const auto number = static_cast<std::uint8_t>(GetParam());
  EXPECT_FALSE(MyPolicy::try_from_variation(number).has_value());
  try {
    MyPolicy::from_variation(number);
    FAIL() << "variation " << GetParam() << " was accepted";
  } catch (const corvanta::Fatal& e) {
    EXPECT_EQ(std::string(e.what()),
              "Could not determine policy from number '" + std::to_string(GetParam()) + "'");
  }
}

INSTANTIATE_TEST_SUITE_P(Numbers, UnknownVariation, testing::Values(1, 5, 17, 255));

// The rule inside a tree: a toy game whose root has k edges and whose children are leaves.
using PolicySpec = toy::Spec<UINT64_MAX, 1000, MyPolicy>;

class ChooseChild : public testing::TestWithParam<known_xorshift::FirstSelection> {};

TEST_P(ChooseChild, FirstSelectionFollowsTheTieBreak) {
  toy::World world;
  world.root_branching = GetParam().k;
  world.max_depth = 1;
  auto manager = toy::make_manager<PolicySpec>(world, variation(std::nullopt));
  manager.playout_n_parallel(1, 1);
  const auto edges = manager.tree().root_node().moves();
  for (std::size_t i = 0; i < edges.size(); ++i)
    EXPECT_EQ(edges[i].visits(), i == GetParam().chosen ? 1u : 0u) << "edge " << i;
}

INSTANTIATE_TEST_SUITE_P(Known, ChooseChild, testing::ValuesIn(known_xorshift::kFirstSelections),
                         [](const auto& info) { return std::string("k").append(std::to_string(info.param.k)); });

class EveryRule : public testing::TestWithParam<int> {};

TEST_P(EveryRule, TriesEveryEdgeBeforeAnyTwice) {
  toy::World world;
  world.root_branching = 9;
  world.max_depth = 1;
  auto manager = toy::make_manager<PolicySpec>(world, variation(static_cast<std::uint8_t>(GetParam())));
  manager.playout_n_parallel(9, 1);
  for (const auto& edge : manager.tree().root_node().moves()) EXPECT_EQ(edge.visits(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Rules, EveryRule, testing::Values(0, 2, 3, 4));

TEST(ChooseChild, PrefersTheBetterMeanOnceEveryEdgeIsTried) {
  toy::World world;
  world.root_branching = 2;
  world.max_depth = 1;
  auto manager = toy::make_manager<PolicySpec>(world, variation(4));
  manager.playout_n_parallel(400, 1);
  // The two leaves are worth 8 and 9 (their path codes modulo 13).
  const auto edges = manager.tree().root_node().moves();
  EXPECT_GT(edges[1].visits(), edges[0].visits());
}

// The choice as first written: every edge's key by MyPolicy::key, the largest taken.
struct ReferencePolicy {
  MyPolicy policy;

  template <class Spec>
  const mcts::MoveInfo<Spec>& choose_child(std::span<const mcts::MoveInfo<Spec>> moves,
                                           const mcts::SearchHandle<Spec>& handle) const {
    double total = 1.0;
    double unexpanded = 1.0;
    for (const auto& edge : moves) {
      total += static_cast<double>(edge.visits());
      unexpanded += edge.child() == nullptr;
    }
    return *handle.thread_data.policy_data.select_by_key(
        moves, [&](const auto& edge) { return policy.key(edge.visits(), edge.sum_rewards(), total, unexpanded); });
  }
};

template <class Policy>
using RuleSpec = toy::Spec<UINT64_MAX, 1000, Policy>;

template <class A, class B>
void expect_same_tree(const mcts::SearchNode<A>& a, const mcts::SearchNode<B>& b) {
  const auto ea = a.moves();
  const auto eb = b.moves();
  ASSERT_EQ(ea.size(), eb.size());
  for (std::size_t i = 0; i < ea.size(); ++i) {
    ASSERT_EQ(ea[i].visits(), eb[i].visits());
    ASSERT_EQ(ea[i].child() == nullptr, eb[i].child() == nullptr);
    if (ea[i].child() != nullptr) expect_same_tree(*ea[i].child(), *eb[i].child());
    ASSERT_EQ(ea[i].sum_rewards(), eb[i].sum_rewards());
  }
}

// One thread: the tree grown by the policy is the tree grown by the written keys, edge for edge,
// through untried edges, ties and fully tried nodes of every width.
TEST_P(EveryRule, GrowsTheTreeOfTheWrittenKeys) {
  for (std::uint32_t branching : {1u, 3u, 40u}) {
    toy::World world_a, world_b;
    for (toy::World* w : {&world_a, &world_b}) {
      w->root_branching = 7;
      w->branching = branching;
      w->max_depth = 5;
    }
    const MyPolicy rule = variation(static_cast<std::uint8_t>(GetParam()));
    auto fast = toy::make_manager<RuleSpec<MyPolicy>>(world_a, rule);
    auto reference = toy::make_manager<RuleSpec<ReferencePolicy>>(world_b, ReferencePolicy{rule});
    fast.playout_n_parallel(3000, 1);
    reference.playout_n_parallel(3000, 1);
    expect_same_tree(fast.tree().root_node(), reference.tree().root_node());
  }
}

}  // namespace
