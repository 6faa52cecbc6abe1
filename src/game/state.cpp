#include "game/state.hpp"

namespace corvanta {

StdRng new_rng(std::optional<std::uint64_t> seed) {
  return seed ? StdRng::seed_from_u64(*seed) : StdRng::from_entropy();
}

template <int N>
State<N> State<N>::create(std::optional<std::uint64_t> seed) {
  StdRng rng = new_rng(seed);
  rng.prepare(kDealWords);
  constexpr Setup setup = setup_for(N);
  State s;
  // The decks are built into the new table (empty piles), as Table::create does: assigning a
  // whole returned table would copy it once more.
  s.table.castle_deck = new_castle_deck(rng);
  s.table.tavern_deck = new_tavern_deck(setup.jesters, rng);
  for (int i = 0; i < N; ++i) {
    s.players[i].id = PlayerId{static_cast<std::uint64_t>(i)};
    s.players[i].hand = s.table.draw_cards(setup.max_hand_size);
  }
  s.rng_seed = rng.next_u64();
  s.has_turn = PlayerId{0};
  s.times_yielded = 0;
  s.max_hand_size = setup.max_hand_size;
  s.action_type = ActionType::play_cards();
  s.has_ended = std::nullopt;
  s.level = 0;
  s.hand_refills_left = setup.hand_refills;
  return s;
}

template <int N>
StdRng State<N>::get_rng(std::size_t words) {
  StdRng rng = StdRng::seed_from_u64(rng_seed);
  rng.prepare(words);
  rng_seed = rng.next_u64();
  return rng;
}

template <int N>
State<N> State<N>::random_permutation(StdRng& rng) const {
  return redeal(Redeal::HiddenAndDiscard, rng);
}

template <int N>
State<N> State<N>::redeal_for(PlayerId observer, Redeal what, StdRng& rng) const {
  State copy = *this;
  std::array<Hand*, N> hidden;
  std::size_t count = 0;
  for (Player& p : copy.players)
    if (!(p.id == observer)) hidden[count++] = &p.hand;
  const std::span<Hand* const> hands(hidden.data(), count);
  switch (what) {
    case Redeal::HiddenAndDiscard: copy.table.permute(hands, rng); break;
    case Redeal::HiddenOnly: copy.table.permute_hidden(hands, rng); break;
    case Redeal::Unseen: copy.table.shuffle_unseen(rng); break;
    case Redeal::Nothing: break;
  }
  return copy;
}

template struct State<1>;
template struct State<2>;
template struct State<3>;
template struct State<4>;

}  // namespace corvanta
