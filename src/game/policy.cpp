#include "game/policy.hpp"

#include "game/error.hpp"

namespace corvanta {

std::optional<MyPolicy> MyPolicy::try_from_variation(std::optional<std::uint8_t> variation) {
  switch (variation.value_or(0)) {
    case 0:
      return MyPolicy(UCTBase{kDefaultExploration});
    case 2:
      return MyPolicy(UCTVariation2{kMaxScore, kDelta});
    case 3:
      return MyPolicy(UCTVariation3{kMaxScore, kDelta});
    case 4:
      return MyPolicy(UCTVariation4{kMaxScore});
    default:
      return std::nullopt;
  }
}

MyPolicy MyPolicy::from_variation(std::optional<std::uint8_t> variation) {
  if (auto policy = try_from_variation(variation)) return *policy;
  fail(unknown_policy_message(*variation));
}

std::string unknown_policy_message(unsigned number) {
  return "Could not determine policy from number '" + std::to_string(number) + "'";
}

}  // namespace corvanta
