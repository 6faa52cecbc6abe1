#include "game/rules.hpp"

#include <algorithm>

namespace corvanta {
namespace {

// One bit per suit among the cards (Spades in bit 0, the jester's None in bit 4).
unsigned suits_of(const Hand& cards) {
  unsigned suits = 0;
  for (const Card& c : cards) suits |= 1u << static_cast<unsigned>(c.suit);
  return suits;
}

template <int N>
void draw_for_diamonds(State<N>& s, std::uint16_t attack) {
  for (std::uint16_t k = 0; k < attack; ++k) {
    if (s.table.tavern_deck.empty()) return;  // nothing further can change
    bool drawn = false;
    for (int offset = 0; offset < N; ++offset) {
      Player& p = s.players[(k + offset) % N];
      if (p.hand.size() < s.max_hand_size) {
        p.hand.push_back(*s.table.draw_card());
        drawn = true;
        break;
      }
    }
    if (!drawn) return;  // every hand is full, and stays full
  }
}

}  // namespace

template <int N>
std::optional<GameResult> play_cards(State<N>& s, const Hand& played) {
  std::uint16_t attack = attack_sum(played);
  Player& player = s.current_player_mut();

  if (std::find(played.begin(), played.end(), kJester) != played.end()) {
    // Spades played while the enemy was immune take effect once the jester lifts the immunity.
    std::uint16_t spades = 0;
    for (const Card& c : s.table.attack_cards)
      if (c.suit == CardSuit::Spades) spades = static_cast<std::uint16_t>(spades + attack_value(c));
    if (Enemy* enemy = s.table.current_enemy_mut()) {
      if (!enemy->jester_applied && enemy->card.suit == CardSuit::Spades) enemy->decrease_attack(spades);
      enemy->apply_jester();
    }
    s.action_type = ActionType::jester();
  }

  player.remove_from_hand(played);
  s.table.add_attack_cards(played);

  const Enemy* enemy = s.table.current_enemy();
  const CardSuit immune = enemy ? enemy->card.suit : CardSuit::None;
  const bool jestered = enemy ? enemy->jester_applied : true;
  const unsigned played_suits = suits_of(played);
  auto power = [&](CardSuit suit) {
    return (played_suits >> static_cast<unsigned>(suit) & 1u) != 0 && (suit != immune || jestered);
  };

  if (power(CardSuit::Spades)) {
    if (Enemy* e = s.table.current_enemy_mut()) e->decrease_attack(attack);
  }
  if (power(CardSuit::Hearts)) {
    // The next seed and the shuffle of the discard pile: about one and a half words a card,
    // counted as two.
    StdRng rng = s.get_rng(2 + 2 * s.table.discard_pile.size());
    s.table.heal_from_discard(attack, rng);
  }
  if (power(CardSuit::Diamonds)) draw_for_diamonds(s, attack);
  if (power(CardSuit::Clubs)) attack = static_cast<std::uint16_t>(2 * attack);

  Enemy* target = s.table.current_enemy_mut();
  if (target == nullptr) return GameResult::won();

  target->take_damage(attack);
  if (target->health == 0) {
    s.table.add_to_top_of_tavern_deck(target->card);
    s.table.discard_attack_cards();
    s.table.castle_deck.pop_back();
    ++s.level;
  } else if (target->health < 0) {
    s.table.discard_card(target->card);
    s.table.discard_attack_cards();
    s.table.castle_deck.pop_back();
    ++s.level;
  } else {
    if (s.action_type.kind == ActionType::Kind::Jester) return std::nullopt;
    if (s.current_player().total_hand_value() < target->attack) return GameResult::lost(s.level);
    if (target->attack == 0) {
      s.next_player();
      s.action_type = ActionType::play_cards();
    } else {
      s.action_type = ActionType::discard(target->attack);
    }
  }
  return std::nullopt;
}

template <int N>
std::optional<GameResult> advance(State<N>& s, const Action& action) {
  using Kind = Action::Kind;
  switch (action.kind) {
    case Kind::Yield:
      ++s.times_yielded;
      break;
    case Kind::Discard:
    case Kind::RefillHand:
      break;
    default:
      s.times_yielded = 0;
  }

  switch (action.kind) {
    case Kind::Play:
    case Kind::AnimalCombo:
    case Kind::Combo:
      return play_cards(s, action.cards);
    case Kind::Yield:
      if (s.times_yielded < static_cast<std::uint64_t>(N)) return play_cards(s, Hand{});
      return GameResult::lost(s.level);
    case Kind::Discard: {
      s.current_player_mut().remove_from_hand(action.cards);
      s.table.discard_cards(action.cards);
      s.action_type = ActionType::play_cards();
      s.next_player();
      return std::nullopt;
    }
    case Kind::ChangePlayer:
      s.has_turn = action.player;
      s.action_type = ActionType::play_cards();
      return std::nullopt;
    case Kind::RefillHand: {
      --s.hand_refills_left;
      Player& p = s.current_player_mut();
      s.table.discard_cards(p.hand);
      p.hand = s.table.draw_cards(s.max_hand_size);
      return std::nullopt;
    }
  }
  return std::nullopt;
}

#define CORVANTA_INSTANTIATE_RULES(N)                                              \
  template std::optional<GameResult> advance<N>(State<N>&, const Action&);         \
  template std::optional<GameResult> play_cards<N>(State<N>&, const Hand&);
CORVANTA_INSTANTIATE_RULES(1)
CORVANTA_INSTANTIATE_RULES(2)
CORVANTA_INSTANTIATE_RULES(3)
CORVANTA_INSTANTIATE_RULES(4)
#undef CORVANTA_INSTANTIATE_RULES

}  // namespace corvanta
