// The byte form of a lab game. Everything read is checked before it is used: a state that the
// rules could not have produced, or that could make them misbehave, is refused as a whole.
//
// Layout (integers little-endian, cards as their index 0 .. 52):
//   "CVLG" 1                       magic and version
//   u8 players, u64 seed, u8 result (0 running, 1 won, 2 lost), u8 result level
//   castle: u8 n, n x (card, i8 health, u8 attack, u8 jester_applied), the top last
//   tavern deck, discard pile, attack cards, each player's hand: u8 n, n cards
//   u8 has_turn, u8 times_yielded, u8 phase, u8 discard amount, u8 level, u64 rng_seed,
//   u8 refills left
//   history: u32 n, n x (u8 kind, u8 card count, cards, u8 player)
#include <array>
#include <cstring>

#include "lab/game.hpp"
#include "lab/text.hpp"

namespace corvanta::lab {
namespace {

constexpr char kMagic[4] = {'C', 'V', 'L', 'G'};
constexpr std::uint8_t kVersion = 1;

class Writer {
 public:
  void u8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void u64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void card(Card c) { u8(static_cast<std::uint8_t>(card_index(c))); }
  template <class Cards>
  void cards(const Cards& cs) {
    u8(static_cast<std::uint8_t>(cs.size()));
    for (const Card& c : cs) card(c);
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

[[noreturn]] void bad(const std::string& why) { throw Invalid("malformed game bytes: " + why); }

class Reader {
 public:
  explicit Reader(const std::string& in) : in_(in) {}
  std::uint8_t u8() {
    if (pos_ >= in_.size()) bad("the data ends early");
    return static_cast<std::uint8_t>(in_[pos_++]);
  }
  std::uint32_t u32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(u8()) << (8 * i);
    return v;
  }
  std::uint64_t u64() {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(u8()) << (8 * i);
    return v;
  }
  Card card() {
    const std::uint8_t i = u8();
    if (i >= kCardKinds) bad("card index " + std::to_string(i) + " is not a card");
    return card_from_index(i);
  }
  template <class List>
  void cards(List& out, std::size_t limit, const char* what) {
    const std::size_t n = u8();
    if (n > limit) bad(std::string(what) + " holds " + std::to_string(n) + " cards, more than " + std::to_string(limit));
    out.clear();
    for (std::size_t i = 0; i < n; ++i) out.push_back(card());
  }
  bool done() const { return pos_ == in_.size(); }
  std::size_t left() const { return in_.size() - pos_; }

 private:
  const std::string& in_;
  std::size_t pos_ = 0;
};

void write_action(Writer& w, const Action& a) {
  w.u8(static_cast<std::uint8_t>(a.kind));
  if (a.has_cards())
    w.cards(a.cards);
  else
    w.u8(0);
  w.u8(static_cast<std::uint8_t>(a.kind == Action::Kind::ChangePlayer ? a.player.value : 0));
}

Action read_action(Reader& r, int players) {
  const std::uint8_t kind = r.u8();
  if (kind > static_cast<std::uint8_t>(Action::Kind::RefillHand)) bad("unknown action kind " + std::to_string(kind));
  Action a;
  a.kind = static_cast<Action::Kind>(kind);
  r.cards(a.cards, kMaxDiscardCards, "an action");
  const std::uint8_t player = r.u8();
  const Action::CardCount count = Action::card_count(a.kind);
  if (a.cards.size() < count.min || a.cards.size() > count.max) bad("an action of the history has a wrong number of cards");
  if (a.kind == Action::Kind::ChangePlayer) {
    if (player >= players) bad("an action of the history names player " + std::to_string(player));
    a.player = PlayerId{player};
  } else if (player != 0) {
    bad("an action of the history names a player it has no use for");
  }
  return a;
}

template <int N>
void write_state(Writer& w, const State<N>& s) {
  w.u8(static_cast<std::uint8_t>(s.table.castle_deck.size()));
  for (const Enemy& e : s.table.castle_deck) {
    w.card(e.card);
    w.u8(static_cast<std::uint8_t>(e.health));
    w.u8(e.attack);
    w.u8(e.jester_applied);
  }
  w.cards(s.table.tavern_deck);
  w.cards(s.table.discard_pile);
  w.cards(s.table.attack_cards);
  for (const Player& p : s.players) w.cards(p.hand);
  w.u8(static_cast<std::uint8_t>(s.has_turn.value));
  w.u8(static_cast<std::uint8_t>(std::min<std::uint64_t>(s.times_yielded, 255)));
  w.u8(static_cast<std::uint8_t>(s.action_type.kind));
  w.u8(s.action_type.discard_amount);
  w.u8(s.level);
  w.u64(s.rng_seed);
  w.u8(s.hand_refills_left);
}

// The castle deck, the current enemy last: only it may have been fought, and the ranks lie in
// order (Kings at the bottom).
CastleDeck read_castle(Reader& r) {
  CastleDeck deck;
  const std::size_t castle = r.u8();
  if (castle > kCastleCapacity) bad("the castle deck holds more than 12 enemies");
  for (std::size_t i = 0; i < castle; ++i) {
    Enemy e;
    e.card = r.card();
    e.health = static_cast<std::int8_t>(r.u8());
    e.attack = r.u8();
    const std::uint8_t jester = r.u8();
    if (!is_royal(e.card.value) || e.card.suit == CardSuit::None) bad("an enemy is not a royal card");
    if (jester > 1) bad("an enemy's jester flag is not 0 or 1");
    e.jester_applied = jester == 1;
    const Enemy fresh = Enemy::create(e.card);
    const bool top = i + 1 == castle;
    if (!top && !(e == fresh)) bad("an enemy below the top has been fought");
    if (e.health > fresh.health || e.health <= 0 || e.attack > fresh.attack)
      bad("the current enemy's health or attack is out of range");
    if (i > 0 && deck.back().card.value < e.card.value)
      bad("the castle deck is not ordered Kings, Queens, Jacks from the bottom");
    deck.push_back(e);
  }
  return deck;
}

template <int N>
State<N> read_state(Reader& r, const std::optional<GameResult>& result) {
  constexpr Setup setup = setup_for(N);
  const bool over = result.has_value();
  State<N> s{};
  s.table.castle_deck = read_castle(r);
  const std::size_t castle = s.table.castle_deck.size();
  r.cards(s.table.tavern_deck, kPileCapacity, "the tavern deck");
  r.cards(s.table.discard_pile, kPileCapacity, "the discard pile");
  r.cards(s.table.attack_cards, kPileCapacity, "the attack cards");
  for (int i = 0; i < N; ++i) {
    s.players[i].id = PlayerId{static_cast<std::uint64_t>(i)};
    r.cards(s.players[i].hand, setup.max_hand_size, "a hand");
  }
  const std::uint8_t turn = r.u8();
  if (turn >= N) bad("the player to act is not a seat");
  s.has_turn = PlayerId{turn};
  s.times_yielded = r.u8();
  if (s.times_yielded > static_cast<std::uint64_t>(over ? N : N - 1)) bad("too many consecutive yields");
  const std::uint8_t phase = r.u8();
  const std::uint8_t amount = r.u8();
  if (phase > 2) bad("unknown phase " + std::to_string(phase));
  s.action_type = {static_cast<ActionType::Kind>(phase), amount};
  s.max_hand_size = setup.max_hand_size;
  s.level = r.u8();
  s.rng_seed = r.u64();
  s.hand_refills_left = r.u8();
  if (s.hand_refills_left > setup.hand_refills) bad("too many refills left");

  // Every card of the game exactly once: the forty number cards, the twelve royals (as enemies
  // or, once defeated, as cards), and the jesters of this player count.
  const std::array<int, kCardKinds> count = s.card_tally();
  for (int i = 0; i < kJesterIndex; ++i)
    if (count[i] != 1) bad(card_label(card_from_index(i)) + " occurs " + std::to_string(count[i]) + " times");
  if (count[kJesterIndex] != setup.jesters) bad("wrong number of jesters for this player count");

  if (s.level != kCastleCapacity - castle) bad("the level does not match the enemies left");
  const Enemy* enemy = s.current_enemy();
  if (!over) {
    if (enemy == nullptr && !s.table.attack_cards.empty()) bad("attack cards lie without an enemy");
    switch (s.action_type.kind) {
      case ActionType::Kind::PlayCards:
        if (amount != 0) bad("a discard amount outside the discard phase");
        break;
      case ActionType::Kind::Jester:
        if (amount != 0 || enemy == nullptr || !enemy->jester_applied) bad("a jester phase without a jester");
        break;
      case ActionType::Kind::Discard:
        if (enemy == nullptr || amount == 0 || amount != enemy->attack) bad("the discard amount is not the enemy's attack");
        if (s.current_player().total_hand_value() < amount && s.hand_refills_left == 0)
          bad("the hand cannot pay the discard");
        break;
    }
  }
  return s;
}

}  // namespace

std::string Game::to_bytes() const {
  Writer w;
  for (char c : kMagic) w.u8(static_cast<std::uint8_t>(c));
  w.u8(kVersion);
  w.u8(static_cast<std::uint8_t>(num_players()));
  w.u64(seed_);
  w.u8(result_ ? (result_->kind == GameResult::Kind::Won ? 1 : 2) : 0);
  w.u8(result_ ? result_->level : 0);
  std::visit([&](const auto& s) { write_state(w, s); }, state_);
  w.u32(static_cast<std::uint32_t>(history_.size()));
  for (const Action& a : history_) write_action(w, a);
  return w.take();
}

Game Game::from_bytes(const std::string& bytes) {
  Reader r(bytes);
  for (char c : kMagic)
    if (r.u8() != static_cast<std::uint8_t>(c)) bad("not a corvanta_lab game");
  if (const std::uint8_t v = r.u8(); v != kVersion) bad("unknown version " + std::to_string(v));
  Game g;
  const std::uint8_t players = r.u8();
  if (players < 1 || players > 4) bad("a game has 1 to 4 players");
  g.seed_ = r.u64();
  const std::uint8_t result = r.u8();
  const std::uint8_t result_level = r.u8();
  if (result > 2) bad("unknown result");
  if (result == 1) g.result_ = GameResult::won();
  if (result == 2) g.result_ = GameResult::lost(result_level);
  if (result != 2 && result_level != 0) bad("a level without a lost game");
  g.state_ = with_players(players, [&](auto n) -> AnyState { return read_state<n()>(r, g.result_); });
  const int level = std::visit([](const auto& s) { return static_cast<int>(s.level); }, g.state_);
  if (result == 1 && level != 12) bad("a won game below level 12");
  if (result == 2 && result_level != level) bad("the result's level is not the game's");
  const std::uint32_t n = r.u32();
  // Every action takes at least three bytes: a count beyond that cannot be real.
  if (n > r.left() / 3) bad("the history is longer than the data");
  g.history_.reserve(n);
  for (std::uint32_t i = 0; i < n; ++i) g.history_.push_back(read_action(r, players));
  if (!r.done()) bad("trailing bytes");
  return g;
}

}  // namespace corvanta::lab
