#pragma once
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <span>

#include "mcts/xorshift.hpp"

namespace mcts {

// The tree policy's per-thread source of tie-breaks. Every worker starts from the same fixed
// seed, so two workers meeting the same ties make the same choices.
class PolicyRng {
 public:
  PolicyRng() : rng(XorShiftRng::from_seed({1, 2, 3, 4})) {}

  // The item with the largest key; among equal keys a reservoir choice, so each tied item is
  // equally likely and the generator advances only once a tie of two is met. A key that is not
  // a number never wins and is not counted. Null for an empty range.
  template <class Range, class KeyFn>
  auto select_by_key(Range&& items, KeyFn&& key) -> decltype(&*std::begin(items)) {
    decltype(&*std::begin(items)) choice = nullptr;
    double best = -std::numeric_limits<double>::infinity();
    std::uint32_t count = 0;
    for (auto& item : items) {
      const double k = key(item);
      if (k > best) {
        best = k;
        choice = &item;
        count = 1;
      } else if (k == best) {
        ++count;
        if (takes_tie(count)) choice = &item;
      }
    }
    return choice;
  }

  // select_by_key over keys already computed: the index of the chosen key, or size for none.
  std::size_t select_by_key_index(const double* keys, std::size_t size) {
    const double* chosen = select_by_key(std::span<const double>(keys, size), [](double k) { return k; });
    return chosen == nullptr ? size : static_cast<std::size_t>(chosen - keys);
  }

  // The same choice, with the same draws, as select_by_key makes when exactly the items i in
  // [0, size) with tied(i) share the largest key: for callers that know them without their keys.
  // Returns size when none is tied.
  template <class Tied>
  std::size_t choose_among_tied(std::size_t size, Tied&& tied) {
    std::size_t choice = size;
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < size; ++i) {
      if (!tied(i)) continue;
      ++count;
      if (takes_tie(count)) choice = i;
    }
    return choice;
  }

  XorShiftRng rng;

 private:
  // Whether the count-th item met of a tie replaces the choice: each with chance 1 / count, so
  // that every tied item is equally likely; the generator steps only from the second on.
  bool takes_tie(std::uint32_t count) { return count < 2 || rng.one_in(count); }
};

}  // namespace mcts
