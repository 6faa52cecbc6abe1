#pragma once
#include <array>
#include <cstdint>

namespace mcts {

namespace detail {

// Draws below the bounds under kFastBound without a division: each bound's rejection zone, and
// c = ceil(2^64 / m), with which a % m and whether m divides a follow from multiplications.
inline constexpr std::uint32_t kFastBound = 1024;
struct SmallBounds {
  std::uint64_t inverse[kFastBound];
  std::uint32_t zone[kFastBound];
  constexpr SmallBounds() : inverse{}, zone{} {
    for (std::uint32_t m = 1; m < kFastBound; ++m) {
      inverse[m] = UINT64_MAX / m + 1;
      zone[m] = UINT32_MAX - UINT32_MAX % m;
    }
  }
};
inline constexpr SmallBounds kSmallBounds{};

// a % m for any 32-bit a and 1 <= m < kFastBound. The low 64 bits of a * c hold the fraction
// a / m to enough bits that multiplying it back by m leaves the remainder in the high word.
inline std::uint32_t fast_remainder(std::uint32_t a, std::uint32_t m) {
  const std::uint64_t fraction = kSmallBounds.inverse[m] * a;
  const std::uint64_t low = (fraction & UINT32_MAX) * m;
  const std::uint64_t high = (fraction >> 32) * m;  // the sum below cannot overflow
  return static_cast<std::uint32_t>((high + (low >> 32)) >> 32);
}

// a % m == 0 for any 32-bit a and 1 <= m < kFastBound: the fraction is below c exactly then.
inline bool fast_divides(std::uint32_t a, std::uint32_t m) {
  const std::uint64_t inverse = kSmallBounds.inverse[m];
  return inverse * a <= inverse - 1;
}

}  // namespace detail

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
    if (m < detail::kFastBound) [[likely]] {
      // The tie-breaks draw below small bounds over and over: the same values without a division.
      const std::uint32_t zone = detail::kSmallBounds.zone[m];
      for (;;) {
        const std::uint32_t v = next_u32();
        if (v < zone) return detail::fast_remainder(v, m);
      }
    }
    const std::uint32_t zone = rejection_zone(m);
    for (;;) {
      const std::uint32_t v = next_u32();
      if (v < zone) return v % m;
    }
  }

  // below(m) == 0, with the same steps: a reservoir choice asks only this, over and over.
  bool one_in(std::uint32_t m) {
    if (m >= detail::kFastBound) [[unlikely]]
      return below(m) == 0;
    const std::uint32_t zone = detail::kSmallBounds.zone[m];
    for (;;) {
      const std::uint32_t v = next_u32();
      if (v < zone) return detail::fast_divides(v, m);
    }
  }

 private:
  explicit XorShiftRng(const Seed& seed) : x_(seed[0]), y_(seed[1]), z_(seed[2]), w_(seed[3]) {}

  std::uint32_t x_, y_, z_, w_;
};

}  // namespace mcts
