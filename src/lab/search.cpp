#include "lab/search.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace corvanta::lab {

SearchSettings settings_of(const SearchOptions& options, int players) {
  if (options.threads == 0) throw Invalid("a search needs at least one thread");
  if (options.playouts == 0) throw Invalid("a search needs at least one playout");
  if (options.samples == 0) throw Invalid("a search needs at least one sample");
  // The lab's searches never see the real game's stream (it is the future), except the
  // clairvoyant one, which sees everything.
  if (options.rollout.stream == Stream::Real && !options.rollout.clairvoyant)
    throw Invalid("a search of the lab makes up its own Hearts stream");
  const std::optional<MyPolicy> policy = MyPolicy::try_from_variation(options.policy);
  if (!policy) throw Invalid(unknown_policy_message(*options.policy));
  if (options.exploration) {
    if (options.policy.value_or(0) != 0) throw Invalid("exploration is the constant of the default tree policy (policy None or 0)");
    if (!(*options.exploration > 0.0) || !std::isfinite(*options.exploration))
      throw Invalid("exploration must be a positive number");
  }
  std::optional<double> exploration = options.exploration;
  SearchSettings settings;
  settings.playouts = options.playouts;
  settings.samples = options.samples;
  settings.threads = options.threads;
  settings.heuristics = options.heuristics;
  settings.policy = *policy;
  settings.rollout = options.rollout;
  if (options.strength) {
    if (*options.strength != "strong") throw Invalid("strength must be \"strong\" or None, not \"" + *options.strength + "\"");
    const SearchPreset preset = strong_preset(players, options.playouts);
    settings.rollout = preset.rollout;
    settings.rollout.stream = options.rollout.stream;
    settings.rollout.clairvoyant = options.rollout.clairvoyant;
    settings.samples = preset.samples;
    settings.playouts = preset.playouts_per_sample;
    if (!exploration && options.policy.value_or(0) == 0)
      exploration = MyPolicy::kDefaultExploration * preset.exploration_scale;
    settings.information_set = preset.information_set;
    settings.discard_widening = preset.widening;
    settings.near_tie = preset.near_tie;
  }
  if (exploration) settings.policy = MyPolicy(UCTBase{*exploration});
  if (options.information_set) settings.information_set = *options.information_set;
  if (options.widening) {
    const Widening& w = *options.widening;
    if (!(w.scale >= 0.0) || !std::isfinite(w.scale)) throw Invalid("widening must be a number of at least 0");
    if (!(w.exponent > 0.0 && w.exponent <= 1.0)) throw Invalid("the widening exponent must lie in (0, 1]");
    settings.discard_widening = w;
  }
  if (options.near_tie) {
    if (!(*options.near_tie >= 0.0 && *options.near_tie < 1.0)) throw Invalid("near_tie must lie in [0, 1)");
    settings.near_tie = *options.near_tie;
  }
  if (options.seconds) {
    if (!(*options.seconds > 0.0) || !std::isfinite(*options.seconds)) throw Invalid("seconds must be a positive number");
    settings.seconds = *options.seconds;
  }
  if (settings.information_set) {
    // One tree with the whole budget of the move.
    if (options.strength) settings.playouts = options.playouts;
    settings.samples = 1;
  }
  if (settings.rollout.clairvoyant) {
    // One tree of the true deal with the whole budget: every sample would be the same deal.
    const std::uint64_t total = std::uint64_t{settings.playouts} * settings.samples;
    settings.playouts = static_cast<std::uint32_t>(std::min<std::uint64_t>(total, UINT32_MAX));
    settings.samples = 1;
    settings.rollout.stream = Stream::Real;
  }
  return settings;
}

std::optional<std::vector<RankedAction>> search(const Game& game, const SearchOptions& options, const StopCheck& stop) {
  const SearchSettings settings = settings_of(options, game.num_players());
  if (game.over()) throw Invalid("the game is over: there is nothing to search");
  return std::visit([&](const auto& state) { return determinised_search(state, settings, stop); }, game.state());
}

}  // namespace corvanta::lab
