#pragma once
#include <cstdint>
#include <span>

#include "game/action_space.hpp"
#include "game/greedy_rollout.hpp"
#include "game/search_options.hpp"
#include "game/rng.hpp"
#include "game/rules.hpp"
#include "game/state.hpp"

namespace corvanta {

// Plays `state` to the end as it is dealt, in place, with moves drawn from `rng` by `policy`.
// With Heuristics the moves of every step are pruned first. `observe(state, action)` sees each
// move before it is applied. The start state's own has_ended is not looked at: only states
// reached by a move are.
template <int N, bool Heuristics, class Observer>
GameResult play_out(State<N>& state, StdRng& rng, RolloutPolicy policy, Observer&& observe) {
  for (;;) {
    std::optional<Action> action;
    switch (policy) {
      case RolloutPolicy::Uniform:
        // A uniform draw needs only the move drawn: the discard phase is counted, not listed.
        action = draw_action<N, Heuristics>(state, rng);
        break;
      case RolloutPolicy::Greedy: {
        // The discard phase's up to 255 subsets are scored without being listed.
        if (state.action_type.kind == ActionType::Kind::Discard) {
          action = greedy_discard<N, Heuristics>(state, rng);
          break;
        }
        ActionList moves = get_action_space(state);
        if constexpr (Heuristics) prune_bad_moves_in_place(moves);
        if (!moves.empty()) action = moves[greedy_move(state, moves, rng)];
        break;
      }
    }
    if (!action) return GameResult::lost(state.reward());
    observe(static_cast<const State<N>&>(state), *action);
    if (auto result = advance(state, *action)) return *result;
    if (state.has_ended) return *state.has_ended;
  }
}

// A rollout as `options` say: what they treat as unknown re-dealt first (and the stream made up
// per rollout if they say so), then played out by their policy.
template <int N, bool Heuristics, class Observer>
GameResult rollout_with(const State<N>& start, StdRng& rng, const RolloutOptions& options, Observer&& observe) {
  State<N> state = start.redeal(options.rollout_redeal(), rng);
  if (options.stream == Stream::PerRollout) state.rng_seed = rng.next_u64();
  return play_out<N, Heuristics>(state, rng, options.policy, observe);
}

template <int N, bool Heuristics, class Observer>
GameResult rollout_with(const State<N>& start, StdRng& rng, Observer&& observe) {
  return rollout_with<N, Heuristics>(start, rng, RolloutOptions{}, observe);
}

// A rollout with a generator of its own, keyed from this thread's entropy-seeded generator: every
// call is an independent sample.
template <int N, bool Heuristics>
GameResult rollout(const State<N>& start, const RolloutOptions& options = {}) {
  StdRng rng = StdRng::from_entropy();
  return rollout_with<N, Heuristics>(start, rng, options, [](const State<N>&, const Action&) {});
}

// Evaluates search nodes by one rollout each, played as its options say; the game is cooperative,
// so every player gets the same reward: the enemies defeated, 12 for a win.
template <int N, bool Heuristics>
struct MyEvaluator {
  RolloutOptions options{};

  template <class Handle>
  GameResult evaluate_new_state(const State<N>& state, std::span<const Action>, const Handle*) const {
    return rollout<N, Heuristics>(state, options);
  }
  // A fresh rollout: the stored evaluation is one sample and is not reused.
  template <class Handle>
  GameResult evaluate_existing_state(const State<N>& state, const GameResult&, const Handle&) const {
    return rollout<N, Heuristics>(state, options);
  }
  template <class AnyPlayer>
  std::int64_t interpret_evaluation_for_player(const GameResult& result, const AnyPlayer&) const {
    return result.reward();
  }
};

}  // namespace corvanta
