#pragma once
// The lab's steppable game: one position of any player count, with its history, the fixed action
// index space of learning agents and the observation vectors. No Python here; the bindings in
// module.cpp only convert.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "game/action_space.hpp"
#include "game/any_state.hpp"
#include "game/rules.hpp"
#include "game/state.hpp"

namespace corvanta::lab {

// Hands are sorted by card index (game/card.hpp) for the action ids and the observations, so that
// the same cards give the same ids whatever order they came in. The hand in canonical order:
Hand sorted_hand(const Hand& hand);

// The fixed action index space. Ids 0 .. 254 are the non-empty subsets of the sorted hand's
// positions (bit i of id + 1 is position i): play those cards in the PlayCards phase, discard them
// in the Discard phase. Then Yield, RefillHand, and ChangePlayer(p) for p = 0 .. 3.
inline constexpr int kSubsetIds = 255;
inline constexpr int kYieldId = 255;
inline constexpr int kRefillHandId = 256;
inline constexpr int kChangePlayerId = 257;
inline constexpr int kNumActionIds = 261;

// The id of an action of the state's action space, computed from the cards it names.
template <int N>
int action_id(const State<N>& state, const Action& action);

// The action an id stands for in this state, built as the action space lists it (cards in hand
// order, an Ace first in an animal combo, the higher-suited Ace first of two). The id is not
// checked against the rules: callers check it against the state's mask.
template <int N>
Action action_from_id(const State<N>& state, int id);

// The observation vector's layout: every entry lies in [0, 1]. Offsets are in floats.
namespace obs {
inline constexpr int kHand = 0;                           // 53: own cards, count by card index
inline constexpr int kHandSlots = kHand + kCardKinds;     // 8 x 6: sorted positions
inline constexpr int kSlotWidth = 6;                      // present, attack / 20, four suits
inline constexpr int kEnemyCard = kHandSlots + 8 * kSlotWidth;  // 12: current enemy (index - 40)
inline constexpr int kEnemyHealth = kEnemyCard + 12;      // health / 40
inline constexpr int kEnemyAttack = kEnemyHealth + 1;     // attack / 20
inline constexpr int kEnemyJester = kEnemyAttack + 1;     // a jester was played against it
inline constexpr int kEnemyImmunity = kEnemyJester + 1;   // 4: the suit whose power is blocked
inline constexpr int kCastle = kEnemyImmunity + 4;        // 12: enemies still below the current
inline constexpr int kDiscardPile = kCastle + 12;         // 53: counts by card index
inline constexpr int kAttackCards = kDiscardPile + kCardKinds;  // 53: counts by card index
inline constexpr int kTavernSize = kAttackCards + kCardKinds;   // size / 54
inline constexpr int kOtherHands = kTavernSize + 1;       // 3: hand sizes of the next seats / 8
inline constexpr int kPlayers = kOtherHands + 3;          // 4: one-hot player count
inline constexpr int kToMove = kPlayers + 4;              // 4: seat to act, relative to observer
inline constexpr int kPhase = kToMove + 4;                // 3: PlayCards, Discard, Jester
inline constexpr int kDiscardAmount = kPhase + 3;         // amount to discard / 20
inline constexpr int kLevel = kDiscardAmount + 1;         // level / 12
inline constexpr int kYields = kLevel + 1;                // consecutive yields / players
inline constexpr int kRefills = kYields + 1;              // refills left / 2
inline constexpr int kJestersLeft = kRefills + 1;         // jesters not yet played or discarded / 2
inline constexpr int kCanAbsorb = kJestersLeft + 1;       // own hand worth the enemy's attack
inline constexpr int kOver = kCanAbsorb + 1;              // the game has ended
inline constexpr int kSize = kOver + 1;
}  // namespace obs
inline constexpr int kObservationSize = obs::kSize;

// Writes kObservationSize floats: what `player` may know of the state. Jester counts are halved
// (a game has at most two).
template <int N>
void observe(const State<N>& state, bool over, int player, float* out);

// Writes kNumActionIds flags: 1 for the ids of the state's legal actions. Discards and jester
// choices are read off the hand directly, without listing the actions.
template <int N>
void legal_mask(const State<N>& state, std::uint8_t* mask);

// A refused request from the caller: an illegal action, a bad argument, a malformed encoding.
class Invalid : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

class Game {
 public:
  static Game create(int players, std::uint64_t seed);

  int num_players() const { return corvanta::num_players(state_); }
  const AnyState& state() const { return state_; }
  std::uint64_t seed() const { return seed_; }
  const std::optional<GameResult>& result() const { return result_; }
  bool over() const { return result_.has_value(); }
  // The enemies defeated, 12 for a win.
  int reward() const;
  const std::vector<Action>& history() const { return history_; }

  // The legal actions in the rules engine's order; empty once the game is over.
  const ActionList& legal_actions() const;
  // The action ids of the legal actions, each once, ascending.
  std::vector<int> legal_action_ids() const;
  void action_mask(std::uint8_t* mask) const;

  // Throws Invalid for an action that is not legal (the game is then unchanged).
  void apply(const Action& action);
  void apply_index(std::size_t index);
  void apply_id(int id);
  // The legal action with this id, if any.
  std::optional<Action> action_for_id(int id) const;
  // The id of an action in this position (legal or not); Invalid when its cards are not in hand.
  int id_of(const Action& action) const;

  void observation(int player, float* out) const;

  // A copy in which everything `player` cannot see is dealt anew: the tavern deck and the other
  // players' hands pooled, shuffled and dealt back in their sizes, and the enemies below the
  // current one shuffled within their rank. The discard pile and attack cards stay (face up).
  Game resample(int player, std::uint64_t seed) const;

  std::string to_bytes() const;
  // Validates everything it reads; throws Invalid for any malformed input.
  static Game from_bytes(const std::string& bytes);

  bool operator==(const Game& other) const {
    return state_ == other.state_ && result_ == other.result_ && seed_ == other.seed_ &&
           history_ == other.history_;
  }

  // Lower-level access for the vector: the state itself, stepped without history.
  template <int N>
  State<N>& state_as() {
    return std::get<State<N>>(state_);
  }

 private:
  const std::array<std::uint8_t, kNumActionIds>& mask() const;
  void step(const Action& action);

  AnyState state_;
  std::optional<GameResult> result_;
  std::uint64_t seed_ = 0;
  std::vector<Action> history_;

  // The legal ids and the legal actions, each computed once per position when first asked for.
  mutable bool mask_cached_ = false;
  mutable bool legal_cached_ = false;
  mutable std::array<std::uint8_t, kNumActionIds> mask_{};
  mutable ActionList legal_;
};

// Applies a legal action; a game that is left with no legal action is lost at its level, as the
// search's rollouts also count it. Returns the result when the game ends.
template <int N>
std::optional<GameResult> step_state(State<N>& state, const Action& action) {
  if (auto result = advance(state, action)) return result;
  // Only a one-player refill can leave a discard that the new hand cannot pay.
  if constexpr (N == 1) {
    if (state.action_type.kind == ActionType::Kind::Discard &&
        state.current_player().total_hand_value() < state.action_type.discard_amount &&
        state.hand_refills_left == 0)
      return GameResult::lost(state.level);
  }
  return std::nullopt;
}

}  // namespace corvanta::lab
