#include "players/random_player.hpp"

#include <string>

#include "game/action_space.hpp"
#include "game/error.hpp"

namespace corvanta {

RandomPlayer::RandomPlayer(std::optional<std::uint64_t> seed) : rng(new_rng(seed)) {}

template <int N>
Action RandomPlayer::play(State<N> state) {
  const ActionList actions = get_action_space(state);
  if (actions.empty()) fail(std::string(kNoActionsMessage));
  // At most 256 legal actions: the 32-bit bounded draw always applies.
  return actions[rng.below(static_cast<std::uint32_t>(actions.size()))];
}

template Action RandomPlayer::play<1>(State<1>);
template Action RandomPlayer::play<2>(State<2>);
template Action RandomPlayer::play<3>(State<3>);
template Action RandomPlayer::play<4>(State<4>);

}  // namespace corvanta
