#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "game/action_space.hpp"
#include "game/determinised_search.hpp"
#include "game/evaluator.hpp"
#include "game/greedy_rollout.hpp"
#include "game/policy.hpp"
#include "game/search_spec.hpp"
#include "game/state.hpp"
#include "mcts/info_set_tree.hpp"

namespace corvanta {

// Binds the information-set tree (mcts/info_set_tree.hpp) to the game for N players. Each playout
// deals the hidden cards afresh from the view of the player to act at the root, with a made-up
// Hearts stream unless the options are clairvoyant, and plays that deal out: the tree's moves
// first, then a rollout by the options' policy, with no second re-deal. Moves are offered best
// first by the rollouts' judgement, so untried moves are tried in that order and the discard
// phase widens from its cheapest discards.
template <int N, bool Heuristics>
struct InfoSetGame {
  using State = corvanta::State<N>;
  using Move = Action;
  struct Worker {
    StdRng rng;
  };

  static constexpr std::size_t max_playout_length = MyMCTS<N, Heuristics>::max_playout_length;

  const State* root;
  RolloutOptions options;
  std::uint64_t move_stream;  // the move's made-up stream (Stream::PerMove)
  MyPolicy policy;
  double widening_scale;
  double widening_exponent;

  Worker new_worker() const { return {StdRng::from_entropy()}; }
  State determinise(Worker& worker) const { return sample_of(*root, options, worker.rng, move_stream); }

  // Each move once: the tree finds a move's edge by its code, and a move listed twice would count
  // its edge as available twice on one visit.
  ActionList moves(const State& state) const {
    if (state.has_ended) return {};
    ActionList moves = get_action_space(state);
    if constexpr (setup_for(N).jesters >= 2) {
      const Hand& hand = state.current_hand();
      const auto jesters = std::count(hand.data(), hand.data() + hand.size(), kJester);
      if (jesters >= 2) drop_repeats(moves);
    }
    return moves;
  }
  void order(const State& state, ActionList& moves, std::size_t width) const {
    order_by_judgement(state, moves, width);
  }
  std::int32_t prior(const State& state, const Action& action) const { return judgement_of(state, action); }
  std::size_t width(const State& state, std::uint64_t visits) const {
    if (widening_scale <= 0.0 || state.action_type.kind != ActionType::Kind::Discard)
      return std::numeric_limits<std::size_t>::max();
    const double considered = std::ceil(widening_scale * std::pow(static_cast<double>(visits + 1), widening_exponent));
    return considered < 1.0 ? 1 : static_cast<std::size_t>(std::min(considered, 1e6));
  }
  void apply(State& state, const Action& action) const { MyMCTS<N, Heuristics>::make_move(state, action); }
  // Plays the playout's own state out in place: the tree is done with it.
  std::int64_t evaluate(State& state, Worker& worker) const {
    if (state.has_ended) return state.has_ended->reward();
    return play_out<N, Heuristics>(state, worker.rng, options.policy, [](const State&, const Action&) {}).reward();
  }
  // The tree rule with the edge's availability in place of its node's visits.
  double key(std::uint64_t visits, std::int64_t sum_rewards, std::uint64_t available) const {
    return policy.key(visits, sum_rewards, static_cast<double>(available), 1.0);
  }
  static std::uint64_t pack_move(const Action& action) { return pack_action(action); }
  static Action unpack_move(std::uint64_t code) { return unpack_action(code); }

  using Tree = mcts::InfoSetTree<InfoSetGame>;
};

}  // namespace corvanta
