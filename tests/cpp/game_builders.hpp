#pragma once
// Short spellings of cards and hand-built positions for the rules tests. A card is written as its
// suit letter (S, H, D, C) and value (A, 2 .. 10, J, Q, K); the jester card is written X.
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "game/state.hpp"
#include "game/text.hpp"

namespace corvanta {

// Failure messages show game values in their text forms.
template <std::size_t Cap>
void PrintTo(const FixedVec<Card, Cap>& cards, std::ostream* os) {
  *os << text::list_of(cards, false, [](Card c) { return text::card(c); });
}
inline void PrintTo(Card c, std::ostream* os) { *os << text::card(c); }
inline void PrintTo(const Enemy& e, std::ostream* os) { *os << text::debug(e); }
inline void PrintTo(const CastleDeck& deck, std::ostream* os) {
  *os << text::list_of(deck, false, [](const Enemy& e) { return text::debug(e); });
}
inline void PrintTo(PlayerId id, std::ostream* os) { *os << text::debug(id); }
inline void PrintTo(ActionType t, std::ostream* os) { *os << text::debug(t); }
inline void PrintTo(GameResult r, std::ostream* os) { *os << text::debug(r); }
inline void PrintTo(const Action& a, std::ostream* os) { *os << text::debug(a); }
inline void PrintTo(const Table& t, std::ostream* os) { *os << text::debug(t, true); }
template <int N>
void PrintTo(const State<N>& s, std::ostream* os) {
  *os << text::debug(s, true);
}

}  // namespace corvanta

namespace test_support {

using namespace corvanta;

inline Card card(std::string_view code) {
  if (code == "X") return kJester;
  if (code.size() < 2) throw std::invalid_argument("bad card code");
  CardSuit suit;
  switch (code[0]) {
    case 'S': suit = CardSuit::Spades; break;
    case 'H': suit = CardSuit::Hearts; break;
    case 'D': suit = CardSuit::Diamonds; break;
    case 'C': suit = CardSuit::Clubs; break;
    default: throw std::invalid_argument("bad suit letter");
  }
  const std::string_view v = code.substr(1);
  CardValue value;
  if (v == "A") value = CardValue::Ace;
  else if (v == "J") value = CardValue::Jack;
  else if (v == "Q") value = CardValue::Queen;
  else if (v == "K") value = CardValue::King;
  else {
    const int n = std::stoi(std::string(v));
    if (n < 2 || n > 10) throw std::invalid_argument("bad card value");
    value = static_cast<CardValue>(n);
  }
  return Card{suit, value};
}

// Space-separated card codes, in list order.
inline std::vector<Card> cards(std::string_view codes) {
  std::vector<Card> out;
  std::istringstream in{std::string(codes)};
  std::string code;
  while (in >> code) out.push_back(card(code));
  return out;
}

template <class List>
List list_of(std::string_view codes) {
  return List::from_range(cards(codes));
}
inline Hand hand(std::string_view codes) { return list_of<Hand>(codes); }
inline Pile pile(std::string_view codes) { return list_of<Pile>(codes); }

inline Enemy enemy(std::string_view code) { return Enemy::create(card(code)); }

// Enemies from the bottom of the castle deck to its top (the current enemy last).
inline CastleDeck castle(std::string_view codes) {
  CastleDeck deck;
  for (const Card& c : cards(codes)) deck.push_back(Enemy::create(c));
  return deck;
}

// A position with empty piles and hands, player 0 to act in the PlayCards phase, and the setup
// values of N players.
template <int N>
State<N> blank_state() {
  State<N> s{};
  for (int i = 0; i < N; ++i) s.players[i].id = PlayerId{static_cast<std::uint64_t>(i)};
  s.has_turn = PlayerId{0};
  s.times_yielded = 0;
  s.max_hand_size = setup_for(N).max_hand_size;
  s.action_type = ActionType::play_cards();
  s.has_ended = std::nullopt;
  s.level = 0;
  s.rng_seed = 0x5EED;
  s.hand_refills_left = setup_for(N).hand_refills;
  return s;
}

}  // namespace test_support
