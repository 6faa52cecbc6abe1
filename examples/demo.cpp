// Plays seeded random games with the rules engine alone and prints, for each, the number of
// turns, the result and the level reached.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "game/action_space.hpp"
#include "game/rules.hpp"
#include "game/text.hpp"

namespace {

template <int N>
void play(std::uint64_t seed) {
  corvanta::State<N> state = corvanta::State<N>::create(seed);
  corvanta::StdRng chooser = corvanta::StdRng::seed_from_u64(seed);
  for (int turns = 1;; ++turns) {
    const corvanta::ActionList actions = corvanta::get_action_space(state);
    if (actions.empty()) {
      std::printf("players=%d seed=%-3llu turns=%-3d result=Lost(%u) (no legal action) level=%u\n", N,
                  static_cast<unsigned long long>(seed), turns, state.level, state.level);
      return;
    }
    const corvanta::Action& action = actions[chooser.below(static_cast<std::uint32_t>(actions.size()))];
    if (auto result = corvanta::take_action(state, action); auto* end = std::get_if<corvanta::GameResult>(&result)) {
      const unsigned level = end->kind == corvanta::GameResult::Kind::Won ? 12u : end->level;
      std::printf("players=%d seed=%-3llu turns=%-3d result=%-8s level=%u\n", N, static_cast<unsigned long long>(seed),
                  turns, corvanta::text::debug(*end).c_str(), level);
      return;
    } else {
      state = std::get<corvanta::State<N>>(result);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int games = argc > 1 ? std::atoi(argv[1]) : 5;
  for (std::uint64_t seed = 0; seed < static_cast<std::uint64_t>(games); ++seed) {
    play<1>(seed);
    play<2>(seed);
    play<3>(seed);
    play<4>(seed);
  }
  return 0;
}
