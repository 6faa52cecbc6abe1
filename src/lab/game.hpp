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
#include <string_view>
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

// The observation vector's layout, written once: its parts in order, each with its width in
// floats and what it holds. Every entry lies in [0, 1]. The offsets, the Python layout dict and
// its documentation all come from this table; a new feature is one row here and its code in
// observe().
namespace obs {
enum class Part : int {
  Hand, HandSlots, EnemyCard, EnemyHealth, EnemyAttack, EnemyJester, EnemyImmunity, Castle, DiscardPile,
  AttackCards, TavernSize, OtherHands, Players, ToMove, Phase, DiscardAmount, Level, Yields, Refills,
  JestersLeft, CanAbsorb, Over
};
inline constexpr int kParts = static_cast<int>(Part::Over) + 1;
struct PartInfo {
  Part part;
  std::string_view name;
  int width;
  std::string_view content;
};
inline constexpr int kSlotWidth = 6;  // a sorted hand position: present, attack / 20, four suits
inline constexpr std::array<PartInfo, kParts> kLayout{{
    {Part::Hand, "hand", kCardKinds, "own cards, one entry per card index (the jester's count halved)"},
    {Part::HandSlots, "hand_slots", 8 * kSlotWidth,
     "8 sorted hand positions x (present, attack / 20, Spades, Hearts, Diamonds, Clubs): the positions the "
     "action ids name"},
    {Part::EnemyCard, "enemy_card", 12, "the current enemy (Jack of Spades .. King of Clubs)"},
    {Part::EnemyHealth, "enemy_health", 1, "its health / 40"},
    {Part::EnemyAttack, "enemy_attack", 1, "its attack / 20"},
    {Part::EnemyJester, "enemy_jester", 1, "a jester was played against it"},
    {Part::EnemyImmunity, "enemy_immunity", 4, "the suit whose power it blocks"},
    {Part::Castle, "castle", 12, "the enemies still in the castle below it (a set: their order is hidden)"},
    {Part::DiscardPile, "discard_pile", kCardKinds, "counts by card index (face up)"},
    {Part::AttackCards, "attack_cards", kCardKinds, "cards played against the current enemy, by card index"},
    {Part::TavernSize, "tavern_size", 1, "cards in the tavern deck / 54"},
    {Part::OtherHands, "other_hands", 3, "hand sizes of the next seats, in turn order / 8 (0 for absent seats)"},
    {Part::Players, "players", 4, "one-hot player count"},
    {Part::ToMove, "to_move", 4, "one-hot seat to act, counted from the observer (0 = the observer)"},
    {Part::Phase, "phase", 3, "one-hot play cards, discard, jester"},
    {Part::DiscardAmount, "discard_amount", 1, "the attack the discard must absorb / 20"},
    {Part::Level, "level", 1, "enemies defeated / 12"},
    {Part::Yields, "yields", 1, "consecutive yields / players"},
    {Part::Refills, "refills", 1, "refills left / 2"},
    {Part::JestersLeft, "jesters_left", 1, "jesters not yet played or discarded / 2"},
    {Part::CanAbsorb, "can_absorb", 1, "the own hand is worth at least the enemy's attack"},
    {Part::Over, "over", 1, "the game has ended"},
}};
// The offset of a part, in floats.
constexpr int at(Part part) {
  int start = 0;
  for (int i = 0; i < static_cast<int>(part); ++i) start += kLayout[i].width;
  return start;
}
inline constexpr int kSize = at(Part::Over) + 1;
constexpr bool rows_in_order() {
  for (int i = 0; i < kParts; ++i)
    if (static_cast<int>(kLayout[i].part) != i) return false;
  return true;
}
static_assert(rows_in_order(), "the layout's rows follow the parts");
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
  // The Hearts stream is made up too: the copy's future reshuffles are not the real ones.
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
