#include "mcts/search_error.hpp"

namespace mcts {

std::string playout_length_exceeded_message(std::size_t max_playout_length) {
  return "playout length exceeded maximum of " + std::to_string(max_playout_length) +
         " (maybe the transposition table is creating an infinite loop?)";
}

std::string_view cycle_detected_message() {
  return "cycle detected! you should do one of the following:\n"
         "- make states acyclic\n"
         "- remove transposition table\n"
         "- change cycle_behaviour()";
}

std::string_view moves_changed_message() {
  return "a node's state lists other moves than when the node was built (moves must depend on the state alone)";
}

std::string_view zero_threads_message() { return "assertion failed: num_threads != 0"; }

std::string_view all_zero_seed_message() {
  return "XorShiftRng::from_seed called with an all zero seed.";
}

std::string worker_failure_message(std::string_view cause) {
  std::string message = "called `Result::unwrap()` on an `Err` value";
  if (!cause.empty()) {
    message += ": ";
    message += cause;
  }
  return message;
}

}  // namespace mcts
