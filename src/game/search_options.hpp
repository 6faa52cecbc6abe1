#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

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
  // Nothing: the true deal (a clairvoyant search, the measure of what knowing everything is worth).
  Nothing,
};

enum class RolloutPolicy : std::uint8_t {
  Uniform,  // every legal (or unpruned) move alike
  Greedy,   // a cheap one-move judgement with some randomness
};

// The rollout policies by the names the lab and the command line take. A new policy is a value
// above, a row here and its case in play_out (game/evaluator.hpp).
struct RolloutPolicyName {
  std::string_view name;
  RolloutPolicy policy;
};
inline constexpr std::array<RolloutPolicyName, 2> kRolloutPolicies{{
    {"uniform", RolloutPolicy::Uniform},
    {"greedy", RolloutPolicy::Greedy},
}};
constexpr std::optional<RolloutPolicy> rollout_policy_named(std::string_view name) {
  for (const RolloutPolicyName& row : kRolloutPolicies)
    if (row.name == name) return row.policy;
  return std::nullopt;
}

// Where a search's Hearts reshuffles come from. The real game's stream (`State::rng_seed`) is the
// future: a search that keeps it knows in which order the discard pile will return. A made-up
// stream is drawn from the search's own generator: once for the whole move, once per sample, or
// once per rollout (the tree's own moves then follow the sample's).
enum class Stream : std::uint8_t {
  Real,        // the real game's stream (the built-in search player)
  PerMove,
  PerSample,
  PerRollout,
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
  Stream stream = Stream::Real;
  // Searches the true deal with the real stream: nothing is re-dealt, nothing made up. Never a
  // player: it sees every hidden card and the future.
  bool clairvoyant = false;

  Redeal sample_redeal() const {
    if (clairvoyant) return Redeal::Nothing;
    return public_discard ? Redeal::HiddenOnly : Redeal::HiddenAndDiscard;
  }
  Redeal rollout_redeal() const {
    if (clairvoyant) return Redeal::Nothing;
    return redeal_each_rollout ? sample_redeal() : Redeal::Unseen;
  }

  friend constexpr bool operator==(const RolloutOptions&, const RolloutOptions&) = default;
};

}  // namespace corvanta

namespace corvanta {

// Progressive widening of the discard phase: a discard node visited n times considers only its
// max(1, ceil(scale * (n + 1)^exponent)) best discards by the rollouts' judgement (lowest value,
// fewest cards, never the jester). A scale of 0 considers them all.
struct Widening {
  double scale = 0.0;
  double exponent = 0.5;
  friend bool operator==(const Widening&, const Widening&) = default;
};

// Rollout options and the split of a playout budget over determinisations.
struct SearchPreset {
  RolloutOptions rollout;
  std::uint32_t samples;
  std::uint32_t playouts_per_sample;
  // The default tree rule's exploration constant, as a share of its built-in value.
  double exploration_scale;
  // One information-set tree for the move (the samples then do not count), its discard widening
  // (scale 0: none; see Widening) and the final choice's near-tie margin.
  bool information_set = false;
  Widening widening{};
  double near_tie = 0.0;
};

// The strongest combination measured for `total_playouts` per move (seeded games, one thread):
// one information-set tree for the whole move, public discard pile, greedy rollouts on each
// playout's deal, the discard phase widened from its cheapest discards (scale 1/4: 8 discards
// after 1,000 visits), ranking with a near-tie margin of 5 %, and exploration on the scale of the
// differences between moves (about one level), not of the whole reward range: the default
// 12 * sqrt(2) divided by 16. Asked for trees per sample instead, the budget is split into samples
// of about 100 playouts for one player (at most 10) and 250 for more (at most 4).
constexpr SearchPreset strong_preset(int players, std::uint32_t total_playouts) {
  const std::uint32_t per_sample = players == 1 ? 100 : 250;
  const std::uint32_t most = players == 1 ? 10 : 4;
  std::uint32_t samples = total_playouts / per_sample;
  samples = samples < 1 ? 1 : (samples > most ? most : samples);
  RolloutOptions rollout;
  rollout.public_discard = true;
  rollout.redeal_each_rollout = false;
  rollout.policy = RolloutPolicy::Greedy;
  SearchPreset preset{rollout, samples, total_playouts / samples, 1.0 / 16.0};
  preset.information_set = true;
  preset.widening = {0.25, 0.5};
  preset.near_tie = 0.05;
  return preset;
}

}  // namespace corvanta
