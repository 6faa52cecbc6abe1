#pragma once
#include <cstdint>
#include <span>

#include "game/action_space.hpp"
#include "game/rng.hpp"
#include "game/rules.hpp"
#include "game/state.hpp"

namespace corvanta {

// Plays `state` to the end with random moves drawn from `rng`, after re-dealing what the player
// to act cannot see. With Heuristics the moves of every step are pruned first. `observe(state,
// action)` sees each move before it is applied.
template <int N, bool Heuristics, class Observer>
GameResult rollout_with(const State<N>& start, StdRng& rng, Observer&& observe) {
  State<N> state = start.random_permutation(rng);
  // The start state's own has_ended is not looked at: only states reached by a move are.
  for (;;) {
    const std::optional<Action> action = draw_action<N, Heuristics>(state, rng);
    if (!action) return GameResult::lost(state.reward());
    observe(static_cast<const State<N>&>(state), *action);
    if (auto result = advance(state, *action)) return *result;
    if (state.has_ended) return *state.has_ended;
  }
}

// A rollout with a generator of its own, keyed from this thread's entropy-seeded generator: every
// call is an independent sample.
template <int N, bool Heuristics>
GameResult rollout(const State<N>& start) {
  StdRng rng = StdRng::from_entropy();
  return rollout_with<N, Heuristics>(start, rng, [](const State<N>&, const Action&) {});
}

// Evaluates search nodes by one random rollout each. It holds no data; the game is cooperative,
// so every player gets the same reward: the enemies defeated, 12 for a win.
template <int N, bool Heuristics>
struct MyEvaluator {
  template <class Handle>
  GameResult evaluate_new_state(const State<N>& state, std::span<const Action>, const Handle*) const {
    return rollout<N, Heuristics>(state);
  }
  // A fresh rollout: the stored evaluation is one sample and is not reused.
  template <class Handle>
  GameResult evaluate_existing_state(const State<N>& state, const GameResult&, const Handle&) const {
    return rollout<N, Heuristics>(state);
  }
  template <class AnyPlayer>
  std::int64_t interpret_evaluation_for_player(const GameResult& result, const AnyPlayer&) const {
    return reward_of(result);
  }

  static std::int64_t reward_of(const GameResult& result) {
    return result.kind == GameResult::Kind::Won ? 12 : result.level;
  }
};

}  // namespace corvanta
