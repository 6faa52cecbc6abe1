#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <type_traits>

#include "game/action.hpp"
#include "game/player.hpp"
#include "game/search_options.hpp"
#include "game/table.hpp"

namespace corvanta {

// Hand limit, jesters in the tavern deck and one-player refills, by player count.
struct Setup {
  std::uint8_t max_hand_size;
  std::uint8_t jesters;
  std::uint8_t hand_refills;
};
constexpr Setup setup_for(int n) {
  constexpr Setup table[4] = {{8, 0, 2}, {7, 0, 0}, {6, 1, 0}, {5, 2, 0}};
  return table[n - 1];
}

// A generator from the seed, or from this thread's entropy-seeded generator without one.
StdRng new_rng(std::optional<std::uint64_t> seed);

// The complete position of one game of N players: a plain value with no references.
template <int N>
struct State {
  static_assert(N >= 1 && N <= 4);
  static constexpr int kPlayers = N;

  Table table;
  std::array<Player, N> players;
  PlayerId has_turn;
  std::uint64_t times_yielded;
  std::uint8_t max_hand_size;
  ActionType action_type;
  std::optional<GameResult> has_ended;  // written only by the search's move step
  std::uint8_t level;
  std::uint64_t rng_seed;
  std::uint8_t hand_refills_left;

  // The initial state: tables shuffled, hands dealt player 0 first, then the seed of the state's
  // own random steps drawn from the same generator.
  static State create(std::optional<std::uint64_t> seed);

  const Player& current_player() const { return players[has_turn.value]; }
  Player& current_player_mut() { return players[has_turn.value]; }
  const Hand& current_hand() const { return current_player().hand; }
  const Enemy* current_enemy() const { return table.current_enemy(); }
  std::uint8_t reward() const { return level; }
  void next_player() { has_turn = has_turn.next_id(N); }

  // The state's random step: a generator seeded from rng_seed, which advances rng_seed. `words`,
  // about how many words the step will read in all, only chooses how many blocks are computed
  // first (StdRng::prepare).
  StdRng get_rng(std::size_t words = 2 * kChachaBlockWords);

  // A copy whose hidden cards (every hand but the current player's, tavern deck, discard pile,
  // castle order) are re-dealt at random.
  State random_permutation(StdRng& rng) const;
  // A copy re-dealt as `what` says, from the view of the player to act; Redeal::HiddenAndDiscard
  // is random_permutation.
  State redeal(Redeal what, StdRng& rng) const { return redeal_for(has_turn, what, rng); }
  // The same from the view of `observer`: its own hand is kept, the other hands are hidden.
  State redeal_for(PlayerId observer, Redeal what, StdRng& rng) const;

  // How many copies of each card (by card index) lie anywhere in the game: the hands, the piles
  // and the castle. A consistent state holds every card once and its jesters.
  std::array<int, kCardKinds> card_tally() const {
    std::array<int, kCardKinds> count{};
    const auto add = [&](const auto& cards) {
      for (const Card& c : cards) ++count[card_index(c)];
    };
    add(table.tavern_deck);
    add(table.discard_pile);
    add(table.attack_cards);
    for (const Player& p : players) add(p.hand);
    for (const Enemy& e : table.castle_deck) ++count[card_index(e.card)];
    return count;
  }

  friend bool operator==(const State&, const State&) = default;
};

static_assert(std::is_trivially_copyable_v<State<4>>);

extern template struct State<1>;
extern template struct State<2>;
extern template struct State<3>;
extern template struct State<4>;

}  // namespace corvanta
