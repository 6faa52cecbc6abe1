#include "mcts/xorshift.hpp"

#include <string>

#include "mcts/search_error.hpp"

namespace mcts {

XorShiftRng XorShiftRng::from_seed(const Seed& seed) {
  if (seed[0] == 0 && seed[1] == 0 && seed[2] == 0 && seed[3] == 0)
    throw SearchError(std::string(all_zero_seed_message()));
  return XorShiftRng(seed);
}

}  // namespace mcts
