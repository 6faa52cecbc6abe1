#pragma once
#include <cstdint>
#include <optional>

#include "game/rng.hpp"
#include "players/play.hpp"

namespace corvanta {

// Picks uniformly among the legal actions. A plain value: a copy goes on making exactly the
// choices the original would make.
struct RandomPlayer {
  StdRng rng;

  // Seeded by the game's seeding rule, or from this thread's entropy-seeded generator.
  explicit RandomPlayer(std::optional<std::uint64_t> seed = std::nullopt);

  // Throws Fatal (kNoActionsMessage) without advancing the generator when nothing is legal.
  template <int N>
  Action play(State<N> state);
};

static_assert(Play<RandomPlayer>);

}  // namespace corvanta
