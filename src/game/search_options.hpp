#pragma once
#include <cstdint>

namespace corvanta {

// What a determinisation re-deals. The player to move sees its own hand, the face-up enemy and
// the attack cards; the choices differ in what else they treat as known.
enum class Redeal : std::uint8_t {
  // Other hands, tavern deck and discard pile pooled together (the built-in search player).
  HiddenAndDiscard,
  // Other hands and the tavern deck only: the discard pile is face up and stays as it is.
  HiddenOnly,
  // Only what no player has seen: the tavern deck's order and the castle below the current enemy.
  Unseen,
};

enum class RolloutPolicy : std::uint8_t {
  Uniform,  // every legal (or unpruned) move alike
  Greedy,   // a cheap one-move judgement with some randomness
};

// How the game's search binding samples hidden cards and plays rollouts. The defaults are the
// built-in search player's behaviour.
struct RolloutOptions {
  // Determinisations keep the discard pile (it is public) and re-deal only hidden cards.
  bool public_discard = false;
  // Each rollout re-deals hidden cards again from the view of whoever acts at its start; without
  // it a rollout plays on the deal of its sample, shuffling only what nobody has seen.
  bool redeal_each_rollout = true;
  RolloutPolicy policy = RolloutPolicy::Uniform;

  Redeal sample_redeal() const { return public_discard ? Redeal::HiddenOnly : Redeal::HiddenAndDiscard; }
  Redeal rollout_redeal() const { return redeal_each_rollout ? sample_redeal() : Redeal::Unseen; }

  friend constexpr bool operator==(const RolloutOptions&, const RolloutOptions&) = default;
};

}  // namespace corvanta
