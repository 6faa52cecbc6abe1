#include "lab/game.hpp"

#include <algorithm>
#include <cstring>

#include "lab/text.hpp"

namespace corvanta::lab {

Hand sorted_hand(const Hand& hand) {
  Hand out = hand;
  std::sort(out.begin(), out.end(), [](Card a, Card b) { return card_index(a) < card_index(b); });
  return out;
}

namespace {

// Sorted positions of every card of a hand: the first one for each card index, and the jester's
// second copy right after its first.
struct Positions {
  std::array<std::int8_t, kCardKinds> first;
  explicit Positions(const Hand& hand) {
    first.fill(-1);
    const Hand sorted = sorted_hand(hand);
    for (std::size_t i = sorted.size(); i-- > 0;) first[card_index(sorted[i])] = static_cast<std::int8_t>(i);
  }
  // The subset id of a list of cards; -1 when a card is not in the hand.
  int subset_id(const FixedVec<Card, kMaxDiscardCards>& cards) const {
    unsigned mask = 0;
    for (const Card& c : cards) {
      const int p = first[card_index(c)];
      if (p < 0) return -1;
      unsigned bit = 1u << p;
      // A second jester takes the next position (both jesters sort last).
      if (mask & bit) bit <<= 1;
      mask |= bit;
    }
    return static_cast<int>(mask) - 1;
  }
};

template <int N>
int id_with(const Positions& positions, const Action& action) {
  switch (action.kind) {
    case Action::Kind::Yield: return kYieldId;
    case Action::Kind::RefillHand: return kRefillHandId;
    case Action::Kind::ChangePlayer: return kChangePlayerId + static_cast<int>(action.player.value);
    default: return positions.subset_id(action.cards);
  }
}

}  // namespace

template <int N>
int action_id(const State<N>& state, const Action& action) {
  return id_with<N>(Positions(state.current_hand()), action);
}

template <int N>
Action action_from_id(const State<N>& state, int id) {
  if (id == kYieldId) return Action::yield();
  if (id == kRefillHandId) return Action::refill_hand();
  if (id >= kChangePlayerId) return Action::change_player(PlayerId{static_cast<std::uint64_t>(id - kChangePlayerId)});
  const Hand& hand = state.current_hand();
  const Positions positions(hand);
  const unsigned mask = static_cast<unsigned>(id) + 1u;
  FixedVec<Card, kMaxDiscardCards> cards;
  bool second_jester = false;
  for (const Card& c : hand) {
    int p = positions.first[card_index(c)];
    if (c == kJester) {
      if (second_jester) ++p;
      second_jester = true;
    }
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
void fill_mask(const State<N>& state, const ActionList& legal, std::uint8_t* mask) {
  std::memset(mask, 0, kNumActionIds);
  const Positions positions(state.current_hand());
  for (const Action& a : legal) mask[id_with<N>(positions, a)] = 1;
}

template <int N>
void observe(const State<N>& s, bool over, int player, float* out) {
  using namespace obs;
  std::memset(out, 0, sizeof(float) * kSize);
  const Hand& hand = s.players[player].hand;
  for (const Card& c : hand) out[kHand + card_index(c)] += 1.0f;
  out[kHand + kJesterIndex] *= 0.5f;
  const Hand sorted = sorted_hand(hand);
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    float* slot = out + kHandSlots + i * kSlotWidth;
    slot[0] = 1.0f;
    slot[1] = static_cast<float>(attack_value(sorted[i])) / 20.0f;
    if (sorted[i].suit != CardSuit::None) slot[2 + static_cast<int>(sorted[i].suit)] = 1.0f;
  }
  if (const Enemy* e = s.current_enemy()) {
    out[kEnemyCard + card_index(e->card) - 40] = 1.0f;
    out[kEnemyHealth] = static_cast<float>(std::max<int>(e->health, 0)) / 40.0f;
    out[kEnemyAttack] = static_cast<float>(e->attack) / 20.0f;
    out[kEnemyJester] = e->jester_applied ? 1.0f : 0.0f;
    if (!e->jester_applied) out[kEnemyImmunity + static_cast<int>(e->card.suit)] = 1.0f;
    out[kCanAbsorb] = attack_sum(hand) >= e->attack ? 1.0f : 0.0f;
  }
  const auto& castle = s.table.castle_deck;
  for (std::size_t i = 0; i + 1 < castle.size(); ++i) out[kCastle + card_index(castle[i].card) - 40] = 1.0f;
  int jesters_seen = 0;
  for (const Card& c : s.table.discard_pile) {
    out[kDiscardPile + card_index(c)] += 1.0f;
    jesters_seen += c == kJester;
  }
  for (const Card& c : s.table.attack_cards) {
    out[kAttackCards + card_index(c)] += 1.0f;
    jesters_seen += c == kJester;
  }
  out[kDiscardPile + kJesterIndex] *= 0.5f;
  out[kAttackCards + kJesterIndex] *= 0.5f;
  out[kTavernSize] = static_cast<float>(s.table.tavern_deck.size()) / 54.0f;
  for (int k = 1; k < N; ++k) out[kOtherHands + k - 1] = static_cast<float>(s.players[(player + k) % N].hand.size()) / 8.0f;
  out[kPlayers + N - 1] = 1.0f;
  out[kToMove + (static_cast<int>(s.has_turn.value) - player + N) % N] = 1.0f;
  out[kPhase + static_cast<int>(s.action_type.kind)] = 1.0f;
  if (s.action_type.kind == ActionType::Kind::Discard)
    out[kDiscardAmount] = static_cast<float>(s.action_type.discard_amount) / 20.0f;
  out[kLevel] = static_cast<float>(s.level) / 12.0f;
  out[kYields] = static_cast<float>(std::min<std::uint64_t>(s.times_yielded, N)) / static_cast<float>(N);
  out[kRefills] = static_cast<float>(s.hand_refills_left) / 2.0f;
  out[kJestersLeft] = static_cast<float>(std::max(0, setup_for(N).jesters - jesters_seen)) / 2.0f;
  out[kOver] = over ? 1.0f : 0.0f;
}

#define CORVANTA_LAB_INSTANTIATE(N)                                            \
  template int action_id<N>(const State<N>&, const Action&);                   \
  template Action action_from_id<N>(const State<N>&, int);                    \
  template void fill_mask<N>(const State<N>&, const ActionList&, std::uint8_t*); \
  template void observe<N>(const State<N>&, bool, int, float*);
CORVANTA_LAB_INSTANTIATE(1)
CORVANTA_LAB_INSTANTIATE(2)
CORVANTA_LAB_INSTANTIATE(3)
CORVANTA_LAB_INSTANTIATE(4)
#undef CORVANTA_LAB_INSTANTIATE

Game Game::create(int players, std::uint64_t seed) {
  Game g;
  g.seed_ = seed;
  switch (players) {
    case 1: g.state_ = State<1>::create(seed); break;
    case 2: g.state_ = State<2>::create(seed); break;
    case 3: g.state_ = State<3>::create(seed); break;
    case 4: g.state_ = State<4>::create(seed); break;
    default: throw Invalid("a game has 1 to 4 players, not " + std::to_string(players));
  }
  return g;
}

void Game::refresh() const {
  if (cached_) return;
  legal_.clear();
  id_index_.fill(-1);
  if (!result_) {
    std::visit(
        [&](const auto& s) {
          legal_ = get_action_space(s);
          const Positions positions(s.current_hand());
          using S = std::decay_t<decltype(s)>;
          for (std::size_t i = 0; i < legal_.size(); ++i) {
            const int id = id_with<S::kPlayers>(positions, legal_[i]);
            if (id_index_[id] < 0) id_index_[id] = static_cast<std::int16_t>(i);
          }
        },
        state_);
  }
  cached_ = true;
}

const ActionList& Game::legal_actions() const {
  refresh();
  return legal_;
}

std::vector<int> Game::legal_action_ids() const {
  refresh();
  std::vector<int> ids;
  ids.reserve(legal_.size());
  for (int id = 0; id < kNumActionIds; ++id)
    if (id_index_[id] >= 0) ids.push_back(id);
  return ids;
}

void Game::action_mask(std::uint8_t* mask) const {
  refresh();
  for (int id = 0; id < kNumActionIds; ++id) mask[id] = id_index_[id] >= 0;
}

void Game::step(const Action& action) {
  history_.push_back(action);
  cached_ = false;
  std::visit([&](auto& s) { result_ = step_state(s, action); }, state_);
}

void Game::apply(const Action& action) {
  if (result_) throw Invalid("the game is over: " + action_text(action) + " cannot be applied");
  refresh();
  if (std::find(legal_.begin(), legal_.end(), action) == legal_.end())
    throw Invalid(action_text(action) + " is not a legal action");
  step(action);
}

void Game::apply_index(std::size_t index) {
  refresh();
  if (index >= legal_.size())
    throw Invalid("action index " + std::to_string(index) + " is out of range: there are " +
                  std::to_string(legal_.size()) + " legal actions");
  step(legal_[index]);
}

void Game::apply_id(int id) {
  refresh();
  if (id < 0 || id >= kNumActionIds || id_index_[id] < 0) {
    throw Invalid(result_ ? "the game is over: action id " + std::to_string(id) + " cannot be applied"
                          : "action id " + std::to_string(id) + " is not legal here");
  }
  step(legal_[id_index_[id]]);
}

std::optional<Action> Game::action_for_id(int id) const {
  refresh();
  if (id < 0 || id >= kNumActionIds || id_index_[id] < 0) return std::nullopt;
  return legal_[id_index_[id]];
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
  g.cached_ = false;
  StdRng rng = StdRng::seed_from_u64(seed);
  std::visit(
      [&](auto& s) {
        Pile pool = s.table.tavern_deck;
        for (const Player& p : s.players)
          if (static_cast<int>(p.id.value) != player)
            for (const Card& c : p.hand) pool.push_back(c);
        rng.shuffle(pool);
        std::size_t next = 0;
        for (Player& p : s.players) {
          if (static_cast<int>(p.id.value) == player) continue;
          for (Card& c : p.hand) c = pool[next++];
        }
        for (Card& c : s.table.tavern_deck) c = pool[next++];
        // Below the face-up enemy only the order within each rank is unknown.
        auto& castle = s.table.castle_deck;
        const std::size_t hidden = castle.empty() ? 0 : castle.size() - 1;
        std::size_t begin = 0;
        while (begin < hidden) {
          std::size_t end = begin;
          while (end < hidden && castle[end].card.value == castle[begin].card.value) ++end;
          rng.shuffle(castle.data() + begin, end - begin);
          begin = end;
        }
      },
      g.state_);
  return g;
}

}  // namespace corvanta::lab
