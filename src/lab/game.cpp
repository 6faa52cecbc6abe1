#include "lab/game.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "lab/text.hpp"

namespace corvanta::lab {

namespace {

// A hand as a set of card indices (the jester's copies counted apart): sorting is reading the
// bits in order, and a card's sorted position is the number of smaller cards.
struct HandIndex {
  std::uint64_t bits = 0;
  int jesters = 0;
  int others = 0;                          // cards other than the jesters
  std::array<std::int8_t, kCardKinds> rank;  // sorted position, read only for cards in the hand

  explicit HandIndex(const Hand& hand) {
    for (const Card& c : hand) {
      if (c.value == CardValue::Jester)
        ++jesters;
      else
        bits |= std::uint64_t{1} << card_index(c);
    }
    for (std::uint64_t b = bits; b != 0; b &= b - 1) rank[std::countr_zero(b)] = static_cast<std::int8_t>(others++);
  }
  bool holds(Card c) const { return c.value == CardValue::Jester ? jesters > 0 : (bits >> card_index(c) & 1) != 0; }
  // The first sorted position of a card of the hand (the jesters sort last, one after the other).
  int position(Card c) const { return c.value == CardValue::Jester ? others : rank[card_index(c)]; }
  Hand sorted() const {
    Hand out;
    for (std::uint64_t b = bits; b != 0; b &= b - 1) out.push_back(card_from_index(std::countr_zero(b)));
    for (int j = 0; j < jesters; ++j) out.push_back(kJester);
    return out;
  }
  // The subset id of a list of cards; -1 when a card is not in the hand.
  int subset_id(const FixedVec<Card, kMaxDiscardCards>& cards) const {
    unsigned mask = 0;
    int jesters_named = 0;
    for (const Card& c : cards) {
      if (!holds(c)) return -1;
      if (c.value == CardValue::Jester) {
        if (++jesters_named > jesters) return -1;
        mask |= 1u << (others + jesters_named - 1);
      } else {
        mask |= 1u << position(c);
      }
    }
    return static_cast<int>(mask) - 1;
  }
};

int id_with(const HandIndex& hand, const Action& action) {
  switch (action.kind) {
    case Action::Kind::Yield: return kYieldId;
    case Action::Kind::RefillHand: return kRefillHandId;
    case Action::Kind::ChangePlayer: return kChangePlayerId + static_cast<int>(action.player.value);
    default: return hand.subset_id(action.cards);
  }
}

}  // namespace

Hand sorted_hand(const Hand& hand) { return HandIndex(hand).sorted(); }

template <int N>
int action_id(const State<N>& state, const Action& action) {
  return id_with(HandIndex(state.current_hand()), action);
}

template <int N>
Action action_from_id(const State<N>& state, int id) {
  if (id == kYieldId) return Action::yield();
  if (id == kRefillHandId) return Action::refill_hand();
  if (id >= kChangePlayerId) return Action::change_player(PlayerId{static_cast<std::uint64_t>(id - kChangePlayerId)});
  const Hand& hand = state.current_hand();
  const HandIndex index(hand);
  const unsigned mask = static_cast<unsigned>(id) + 1u;
  FixedVec<Card, kMaxDiscardCards> cards;
  int jesters_seen = 0;
  for (const Card& c : hand) {
    const int p = index.position(c) + (c.value == CardValue::Jester ? jesters_seen++ : 0);
    if (mask & (1u << p)) cards.push_back(c);
  }
  if (state.action_type.kind == ActionType::Kind::Discard) return Action::discard(cards);
  if (cards.size() == 1) return Action::play(cards[0]);
  if (cards.size() == 2 && (cards[0].value == CardValue::Ace || cards[1].value == CardValue::Ace)) {
    const bool first_leads = cards[0].value == CardValue::Ace &&
                             (cards[1].value != CardValue::Ace || suit_greater(cards[0].suit, cards[1].suit));
    return first_leads ? Action::animal_combo(cards[0], cards[1]) : Action::animal_combo(cards[1], cards[0]);
  }
  return Action::combo(cards);
}

template <int N>
void legal_mask(const State<N>& state, std::uint8_t* mask) {
  std::memset(mask, 0, kNumActionIds);
  const Hand& hand = state.current_hand();
  switch (state.action_type.kind) {
    case ActionType::Kind::PlayCards: {
      // Read off the sorted hand: every card alone (one jester stands for both), an Ace with any
      // other card but a jester, equal Twos to Fives worth at most 10 together, and the yield.
      const Hand sorted = HandIndex(hand).sorted();
      const int n = static_cast<int>(sorted.size());
      for (int i = 0; i < n; ++i) {
        if (i > 0 && sorted[i] == kJester && sorted[i - 1] == kJester) continue;
        mask[(1u << i) - 1] = 1;
      }
      for (int i = 0; i < n; ++i) {
        if (sorted[i].value != CardValue::Ace) continue;
        for (int j = 0; j < n; ++j)
          if (j != i && sorted[j] != kJester) mask[(1u << i | 1u << j) - 1] = 1;
      }
      for (int begin = 0; begin < n;) {
        int end = begin + 1;
        while (end < n && sorted[end].value == sorted[begin].value) ++end;
        const int value = static_cast<int>(sorted[begin].value);
        if (value >= 2 && value <= 5 && end - begin >= 2) {
          for (unsigned sub = 3; sub < (1u << (end - begin)); ++sub) {
            const int count = std::popcount(sub);
            if (count >= 2 && count * value <= 10) mask[(sub << begin) - 1] = 1;
          }
        }
        begin = end;
      }
      mask[kYieldId] = 1;
      break;
    }
    case ActionType::Kind::Discard: {
      // Every subset of the sorted hand worth the amount, built up from its lowest bit; of two
      // jesters the second is named only together with the first (as the listing names them).
      const Hand sorted = HandIndex(hand).sorted();
      const std::size_t n = sorted.size();
      const int second_jester = n >= 2 && sorted[n - 1] == kJester && sorted[n - 2] == kJester ? static_cast<int>(n - 1) : -1;
      std::array<std::uint16_t, 256> sums;
      sums[0] = 0;
      for (unsigned m = 1; m < (1u << n); ++m) {
        const int low = std::countr_zero(m);
        sums[m] = static_cast<std::uint16_t>(sums[m & (m - 1)] + attack_value(sorted[low]));
        if (sums[m] < state.action_type.discard_amount) continue;
        if (second_jester >= 0 && (m >> second_jester & 1) && !(m >> (second_jester - 1) & 1)) continue;
        mask[m - 1] = 1;
      }
      break;
    }
    case ActionType::Kind::Jester:
      for (int p = 0; p < N; ++p) mask[kChangePlayerId + p] = 1;
      break;
  }
  if (N == 1 && state.hand_refills_left > 0) mask[kRefillHandId] = 1;
}

template <int N>
void observe(const State<N>& s, bool over, int player, float* out) {
  using obs::at;
  using P = obs::Part;
  std::memset(out, 0, sizeof(float) * obs::kSize);
  const Hand& hand = s.players[player].hand;
  for (const Card& c : hand) out[at(P::Hand) + card_index(c)] += 1.0f;
  out[at(P::Hand) + kJesterIndex] *= 0.5f;
  const Hand sorted = HandIndex(hand).sorted();
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    float* slot = out + at(P::HandSlots) + i * obs::kSlotWidth;
    slot[0] = 1.0f;
    slot[1] = static_cast<float>(attack_value(sorted[i])) / 20.0f;
    if (sorted[i].suit != CardSuit::None) slot[2 + static_cast<int>(sorted[i].suit)] = 1.0f;
  }
  if (const Enemy* e = s.current_enemy()) {
    out[at(P::EnemyCard) + card_index(e->card) - 40] = 1.0f;
    out[at(P::EnemyHealth)] = static_cast<float>(std::max<int>(e->health, 0)) / 40.0f;
    out[at(P::EnemyAttack)] = static_cast<float>(e->attack) / 20.0f;
    out[at(P::EnemyJester)] = e->jester_applied ? 1.0f : 0.0f;
    if (!e->jester_applied) out[at(P::EnemyImmunity) + static_cast<int>(e->card.suit)] = 1.0f;
    out[at(P::CanAbsorb)] = attack_sum(hand) >= e->attack ? 1.0f : 0.0f;
  }
  const auto& castle = s.table.castle_deck;
  for (std::size_t i = 0; i + 1 < castle.size(); ++i) out[at(P::Castle) + card_index(castle[i].card) - 40] = 1.0f;
  int jesters_seen = 0;
  for (const Card& c : s.table.discard_pile) {
    out[at(P::DiscardPile) + card_index(c)] += 1.0f;
    jesters_seen += c == kJester;
  }
  for (const Card& c : s.table.attack_cards) {
    out[at(P::AttackCards) + card_index(c)] += 1.0f;
    jesters_seen += c == kJester;
  }
  out[at(P::DiscardPile) + kJesterIndex] *= 0.5f;
  out[at(P::AttackCards) + kJesterIndex] *= 0.5f;
  out[at(P::TavernSize)] = static_cast<float>(s.table.tavern_deck.size()) / 54.0f;
  for (int k = 1; k < N; ++k) out[at(P::OtherHands) + k - 1] = static_cast<float>(s.players[(player + k) % N].hand.size()) / 8.0f;
  out[at(P::Players) + N - 1] = 1.0f;
  out[at(P::ToMove) + (static_cast<int>(s.has_turn.value) - player + N) % N] = 1.0f;
  out[at(P::Phase) + static_cast<int>(s.action_type.kind)] = 1.0f;
  if (s.action_type.kind == ActionType::Kind::Discard)
    out[at(P::DiscardAmount)] = static_cast<float>(s.action_type.discard_amount) / 20.0f;
  out[at(P::Level)] = static_cast<float>(s.level) / 12.0f;
  out[at(P::Yields)] = static_cast<float>(std::min<std::uint64_t>(s.times_yielded, N)) / static_cast<float>(N);
  out[at(P::Refills)] = static_cast<float>(s.hand_refills_left) / 2.0f;
  out[at(P::JestersLeft)] = static_cast<float>(std::max(0, setup_for(N).jesters - jesters_seen)) / 2.0f;
  out[at(P::Over)] = over ? 1.0f : 0.0f;
}

#define CORVANTA_LAB_INSTANTIATE(N)                                            \
  template int action_id<N>(const State<N>&, const Action&);                   \
  template Action action_from_id<N>(const State<N>&, int);                    \
  template void legal_mask<N>(const State<N>&, std::uint8_t*);                \
  template void observe<N>(const State<N>&, bool, int, float*);
CORVANTA_LAB_INSTANTIATE(1)
CORVANTA_LAB_INSTANTIATE(2)
CORVANTA_LAB_INSTANTIATE(3)
CORVANTA_LAB_INSTANTIATE(4)
#undef CORVANTA_LAB_INSTANTIATE

Game Game::create(int players, std::uint64_t seed) {
  Game g;
  g.seed_ = seed;
  g.state_ = new_state(players, seed);
  return g;
}

int Game::reward() const {
  if (result_) return result_->reward();
  return std::visit([](const auto& s) { return static_cast<int>(s.level); }, state_);
}

const std::array<std::uint8_t, kNumActionIds>& Game::mask() const {
  if (!mask_cached_) {
    if (result_)
      mask_.fill(0);
    else
      std::visit([&](const auto& s) { legal_mask(s, mask_.data()); }, state_);
    mask_cached_ = true;
  }
  return mask_;
}

const ActionList& Game::legal_actions() const {
  if (!legal_cached_) {
    legal_.clear();
    if (!result_) std::visit([&](const auto& s) { legal_ = get_action_space(s); }, state_);
    legal_cached_ = true;
  }
  return legal_;
}

std::vector<int> Game::legal_action_ids() const {
  const auto& m = mask();
  std::vector<int> ids;
  ids.reserve(32);
  // Eight flags at a time: most of the space is empty in the play phase.
  int id = 0;
  for (; std::endian::native == std::endian::little && id + 8 <= kNumActionIds; id += 8) {
    std::uint64_t word;
    std::memcpy(&word, m.data() + id, sizeof word);
    for (; word != 0; word &= word - 1) ids.push_back(id + std::countr_zero(word) / 8);
  }
  for (; id < kNumActionIds; ++id)
    if (m[id]) ids.push_back(id);
  return ids;
}

void Game::action_mask(std::uint8_t* out) const { std::memcpy(out, mask().data(), kNumActionIds); }

void Game::step(const Action& action) {
  history_.push_back(action);
  mask_cached_ = legal_cached_ = false;
  std::visit([&](auto& s) { result_ = step_state(s, action); }, state_);
}

void Game::apply(const Action& action) {
  if (result_) throw Invalid("the game is over: " + action_text(action) + " cannot be applied");
  const ActionList& legal = legal_actions();
  if (std::find(legal.begin(), legal.end(), action) == legal.end())
    throw Invalid(action_text(action) + " is not a legal action");
  step(action);
}

void Game::apply_index(std::size_t index) {
  const ActionList& legal = legal_actions();
  if (index >= legal.size())
    throw Invalid("action index " + std::to_string(index) + " is out of range: there are " +
                  std::to_string(legal.size()) + " legal actions");
  step(legal[index]);
}

std::optional<Action> Game::action_for_id(int id) const {
  if (id < 0 || id >= kNumActionIds || !mask()[id]) return std::nullopt;
  return std::visit([&](const auto& s) { return action_from_id(s, id); }, state_);
}

void Game::apply_id(int id) {
  const std::optional<Action> action = action_for_id(id);
  if (!action) {
    throw Invalid(result_ ? "the game is over: action id " + std::to_string(id) + " cannot be applied"
                          : "action id " + std::to_string(id) + " is not legal here");
  }
  step(*action);
}

int Game::id_of(const Action& action) const {
  const int id = std::visit([&](const auto& s) { return action_id(s, action); }, state_);
  if (id < 0) throw Invalid(action_text(action) + " names cards that are not in the hand of the player to act");
  return id;
}

void Game::observation(int player, float* out) const {
  if (player < 0 || player >= num_players())
    throw Invalid("player " + std::to_string(player) + " is not a seat of this game");
  std::visit([&](const auto& s) { observe(s, over(), player, out); }, state_);
}

Game Game::resample(int player, std::uint64_t seed) const {
  if (player < 0 || player >= num_players())
    throw Invalid("player " + std::to_string(player) + " is not a seat of this game");
  Game g = *this;
  g.mask_cached_ = g.legal_cached_ = false;
  StdRng rng = StdRng::seed_from_u64(seed);
  const PlayerId observer{static_cast<std::uint64_t>(player)};
  std::visit(
      [&](auto& s) {
        s = s.redeal_for(observer, Redeal::HiddenOnly, rng);
        // The real stream is the future's Hearts reshuffles: nobody has seen it.
        s.rng_seed = rng.next_u64();
      },
      g.state_);
  return g;
}

}  // namespace corvanta::lab
