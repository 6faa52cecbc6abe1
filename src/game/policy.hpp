#pragma once
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "mcts/search_tree.hpp"

namespace corvanta {

// The upper-confidence rules of the search. Rewards run from 0 to 12 (a win), and the built-in
// parameters are scaled to that range. Each key is the mean reward plus an exploration bonus,
// evaluated in exactly the order written, so keys are reproducible to the last bit. `prepare`
// computes, once per selection, the leading terms that are the same for every edge (the same
// operations in the same order, so the keys do not change); `bonus` finishes them per edge.
struct UCTBase {
  double exploration_constant;

  struct Prepared {
    double exploration_constant;
    double twice_log_total;
    double bonus(double n) const { return exploration_constant * std::sqrt(twice_log_total / n); }
  };
  Prepared prepare(double total, double) const { return {exploration_constant, 2.0 * std::log(total)}; }
};

struct UCTVariation2 {
  double max_score;
  double delta;

  struct Prepared {
    double max_score;
    double level_terms;  // L + 3 ln L, with L = ln(K / delta)
    double bonus(double n) const {
      return max_score * std::sqrt((level_terms + 1.5 * std::log(std::log(n) + 1.0)) / (2.0 * n));
    }
  };
  Prepared prepare(double, double unexpanded) const {
    const double l = std::log(unexpanded / delta);
    return {max_score, l + 3.0 * std::log(l)};
  }
};

struct UCTVariation3 {
  double max_score;
  double delta;

  struct Prepared {
    double max_score;
    double delta;
    double bonus(double n) const {
      return max_score * std::sqrt((1.0 + 1.0 / n) * std::log(std::sqrt(n + 1.0) / delta) / (2.0 * n));
    }
  };
  Prepared prepare(double, double) const { return {max_score, delta}; }
};

struct UCTVariation4 {
  double max_score;

  struct Prepared {
    double max_score;
    double log_terms;  // ln T + 3 ln(ln T + 1)
    double bonus(double n) const { return max_score * std::sqrt(log_terms / (2.0 * n)); }
  };
  Prepared prepare(double total, double) const {
    const double log_total = std::log(total);
    return {max_score, log_total + 3.0 * std::log(log_total + 1.0)};
  }
};

// The key of an edge under a prepared rule: +infinity for an edge never taken, so every edge is
// tried once first.
template <class Prepared>
double uct_key(const Prepared& rule, std::uint64_t visits, std::int64_t sum_rewards) {
  if (visits == 0) return std::numeric_limits<double>::infinity();
  const double n = static_cast<double>(visits);
  return static_cast<double>(sum_rewards) / n + rule.bonus(n);
}

// The tree policy: one of the four rules, fixed for a whole search and shared read-only by its
// workers.
class MyPolicy {
 public:
  using Rule = std::variant<UCTBase, UCTVariation2, UCTVariation3, UCTVariation4>;

  static constexpr double kDefaultExploration = 16.970562748477143;  // 12 * sqrt(2)
  static constexpr double kMaxScore = 12.0;
  static constexpr double kDelta = 0.001;

  explicit MyPolicy(Rule rule) : rule_(rule) {}

  // Absent or 0: UCTBase; 2, 3, 4: the variations with the built-in parameters; others: none.
  static std::optional<MyPolicy> try_from_variation(std::optional<std::uint8_t> variation);
  // As above, but refuses an unknown number (Fatal, with unknown_policy_message).
  static MyPolicy from_variation(std::optional<std::uint8_t> variation);

  const Rule& rule() const { return rule_; }

  // The key of an edge with `visits` and `sum_rewards` at a node whose edges were taken
  // total - 1 times and of which unexpanded - 1 are still unexpanded.
  double key(std::uint64_t visits, std::int64_t sum_rewards, double total, double unexpanded) const {
    return std::visit([&](const auto& r) { return uct_key(r.prepare(total, unexpanded), visits, sum_rewards); },
                      rule_);
  }

  // The edge with the largest key, ties broken by the worker's generator. The counters are read
  // while other workers change them, so one call may mix older and newer counts; each edge's
  // counters are read once.
  template <class Spec>
  const mcts::MoveInfo<Spec>& choose_child(std::span<const mcts::MoveInfo<Spec>> moves,
                                           const mcts::SearchHandle<Spec>& handle) const {
    if (moves.size() > kMaxBatch) return choose_child_one_by_one(moves, handle);
    mcts::PolicyRng& tie_break = handle.thread_data.policy_data;
    std::uint64_t visits[kMaxBatch];
    std::uint64_t all_visits = 0;
    std::uint64_t unexpanded = 0;
    // An edge never taken has an infinite key, and every rule gives a taken edge a finite one.
    // So the first untaken edge wins over every edge before it, and only the untaken edges after
    // it can tie with it: only the keys before it are needed, and only for the tie-breaks they
    // draw on the way.
    std::size_t first_untried = moves.size();
    for (std::size_t i = moves.size(); i-- > 0;) {
      visits[i] = moves[i].visits();
      all_visits += visits[i];
      unexpanded += !moves[i].expanded();
      first_untried = visits[i] == 0 ? i : first_untried;
    }
    const double total = static_cast<double>(all_visits) + 1.0;
    const double k = static_cast<double>(unexpanded) + 1.0;
    const std::size_t keyed = first_untried;
    const std::size_t best = std::visit(
        [&](const auto& r) -> std::size_t {
          if (keyed == 0) return 0;
          const auto prepared = r.prepare(total, k);
          // The keys side by side (the divisions and square roots vectorise), then compared in
          // order. Counts stay below 2^63, where the signed conversion gives the same double.
          double n[kMaxBatch];
          double sums[kMaxBatch];
          double keys[kMaxBatch];
          for (std::size_t i = 0; i < keyed; ++i) {
            n[i] = static_cast<double>(static_cast<std::int64_t>(visits[i]));
            sums[i] = static_cast<double>(moves[i].sum_rewards());
          }
          for (std::size_t i = 0; i < keyed; ++i) keys[i] = sums[i] / n[i] + prepared.bonus(n[i]);
          return tie_break.select_by_key_index(keys, keyed);
        },
        rule_);
    if (first_untried == moves.size()) return moves[best];
    const auto untried = moves.subspan(first_untried);
    return untried[tie_break.choose_among_tied(untried.size(), [&](std::size_t i) { return visits[first_untried + i] == 0; })];
  }

 private:
  // Nodes with more edges than this (no game state has them) take the choice one key at a time.
  static constexpr std::size_t kMaxBatch = 256;

  template <class Spec>
  const mcts::MoveInfo<Spec>& choose_child_one_by_one(std::span<const mcts::MoveInfo<Spec>> moves,
                                                      const mcts::SearchHandle<Spec>& handle) const {
    std::uint64_t visits = 0;
    std::uint64_t unexpanded = 0;
    for (const auto& edge : moves) {
      visits += edge.visits();
      unexpanded += edge.child() == nullptr;
    }
    const double total = static_cast<double>(visits) + 1.0;
    const double k = static_cast<double>(unexpanded) + 1.0;
    return *std::visit(
        [&](const auto& r) {
          const auto prepared = r.prepare(total, k);
          return handle.thread_data.policy_data.select_by_key(moves, [&](const auto& edge) {
            return uct_key(prepared, edge.visits(), edge.sum_rewards());
          });
        },
        rule_);
  }

  Rule rule_;
};

// "Could not determine policy from number '<n>'".
std::string unknown_policy_message(unsigned number);

}  // namespace corvanta
