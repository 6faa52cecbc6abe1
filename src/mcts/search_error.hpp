#pragma once
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace mcts {

// A failure of the search itself: a broken invariant of a playout, a refused argument, or a
// worker thread that stopped or could not be started. It never ends the process; the caller
// decides how to report it.
class SearchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The texts of the search's failures, each produced in exactly one place.
std::string playout_length_exceeded_message(std::size_t max_playout_length);
std::string_view cycle_detected_message();
std::string_view moves_changed_message();
std::string_view zero_threads_message();
std::string_view all_zero_seed_message();
// A failed worker (no cause) or a thread that could not be started (the system's error).
std::string worker_failure_message(std::string_view cause = {});

}  // namespace mcts
