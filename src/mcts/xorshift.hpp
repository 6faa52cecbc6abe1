#pragma once
#include <array>
#include <cstdint>

namespace mcts {

// Marsaglia's xorshift128 on four 32-bit words: small, fast and with a fixed, known sequence, so
// every worker's tie-breaks are reproducible from the same seed.
class XorShiftRng {
 public:
  using Seed = std::array<std::uint32_t, 4>;

  // The all-zero state is a fixed point of the step, so it is refused (SearchError).
  static XorShiftRng from_seed(const Seed& seed);

  std::uint32_t next_u32() {
    const std::uint32_t t = x_ ^ (x_ << 11);
    x_ = y_;
    y_ = z_;
    z_ = w_;
    w_ = w_ ^ (w_ >> 19) ^ t ^ (t >> 8);
    return w_;
  }

  // The first output that `below(m)` rejects.
  static constexpr std::uint32_t rejection_zone(std::uint32_t m) {
    return UINT32_MAX - UINT32_MAX % m;
  }

  // Uniform integer in [0, m) for m >= 1: outputs at or above the largest multiple of m that fits
  // are rejected so that every residue is equally likely; each rejected output is still a step.
  std::uint32_t below(std::uint32_t m) {
    const std::uint32_t zone = rejection_zone(m);
    for (;;) {
      const std::uint32_t v = next_u32();
      if (v < zone) return v % m;
    }
  }

 private:
  explicit XorShiftRng(const Seed& seed) : x_(seed[0]), y_(seed[1]), z_(seed[2]), w_(seed[3]) {}

  std::uint32_t x_, y_, z_, w_;
};

}  // namespace mcts
