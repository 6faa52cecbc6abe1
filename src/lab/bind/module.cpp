// corvanta_lab._core: the lab's values, steppable game, search and vector of games. Conversions
// only: the game logic lives in game.cpp, codec.cpp, search.cpp and vector.cpp.
#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/tuple.h>
#include <nanobind/stl/vector.h>

#include <cstring>
#include <mutex>
#include <tuple>
#include <type_traits>

#include "game/rng.hpp"
#include "lab/game.hpp"
#include "lab/search.hpp"
#include "lab/bind/signatures.hpp"
#include "lab/text.hpp"
#include "lab/vector.hpp"
#include "mcts/search_error.hpp"
#include "players/random_player.hpp"

namespace nb = nanobind;
using namespace nb::literals;

namespace corvanta::lab {
namespace {

using ObsArray = nb::ndarray<nb::numpy, float, nb::ndim<1>>;
using MaskArray = nb::ndarray<nb::numpy, bool, nb::ndim<1>>;

template <class T, std::size_t Dims>
nb::ndarray<nb::numpy, T, nb::ndim<Dims>> owned_array(std::initializer_list<std::size_t> shape) {
  std::size_t size = 1;
  for (std::size_t d : shape) size *= d;
  T* data = new T[size]();
  nb::capsule owner(data, [](void* p) noexcept { delete[] static_cast<T*>(p); });
  return nb::ndarray<nb::numpy, T, nb::ndim<Dims>>(data, shape, owner);
}

std::uint64_t entropy_seed() { return thread_rng().next_u64(); }

Card make_card(CardSuit suit, CardValue value) {
  const bool jester = value == CardValue::Jester;
  if (static_cast<int>(suit) > 4 || static_cast<int>(value) > 13)
    throw Invalid("no such suit or value");
  if (jester != (suit == CardSuit::None))
    throw Invalid("the jester, and only the jester, has the suit NONE");
  return Card{suit, value};
}

Card card_at(int index) {
  if (index < 0 || index >= kCardKinds) throw Invalid("card index " + std::to_string(index) + " is not in 0 .. 52");
  return card_from_index(index);
}

Card parse(std::string_view text) {
  if (auto c = parse_card(text)) return *c;
  throw Invalid("cannot read a card from '" + std::string(text) + "' (try '5h', '10c', 'Ks' or 'Jk')");
}

// An enemy of a royal card: starting health and attack unless given, never above them.
Enemy make_enemy(Card card, std::optional<int> health, std::optional<int> attack, bool jester_applied) {
  if (!is_royal(card.value)) throw Invalid(card_text(card) + " is not an enemy");
  Enemy e = Enemy::create(card);
  if (health) {
    if (*health < -128 || *health > e.health) throw Invalid("health out of range");
    e.health = static_cast<std::int8_t>(*health);
  }
  if (attack) {
    if (*attack < 0 || *attack > e.attack) throw Invalid("attack out of range");
    e.attack = static_cast<std::uint8_t>(*attack);
  }
  e.jester_applied = jester_applied;
  return e;
}

std::string card_repr(Card c) { return "Card.parse('" + card_label(c) + "')"; }

// Typed containers, so that the generated stubs say what they hold.
using CardTuple = nb::typed<nb::tuple, Card, nb::ellipsis>;
using Ranking = nb::typed<nb::list, nb::typed<nb::tuple, Action, std::uint64_t, double>>;

CardTuple cards_tuple(const Card* begin, const Card* end) {
  nb::list out;
  for (const Card* c = begin; c != end; ++c) out.append(nb::cast(*c));
  return nb::tuple(out);
}
template <class Cards>
CardTuple cards_tuple(const Cards& cards) {
  return cards_tuple(cards.begin(), cards.end());
}

FixedVec<Card, kMaxDiscardCards> cards_from(const std::vector<Card>& cards, std::size_t lo, std::size_t hi,
                                            const char* what) {
  if (cards.size() < lo || cards.size() > hi)
    throw Invalid(std::string(what) + " takes " + (lo == hi ? std::to_string(lo) : std::to_string(lo) + " to " + std::to_string(hi)) +
                  " cards, not " + std::to_string(cards.size()));
  FixedVec<Card, kMaxDiscardCards> out;
  for (const Card& c : cards) out.push_back(c);
  return out;
}

Action make_action(Action::Kind kind, const std::vector<Card>& cards, std::optional<int> target) {
  Action a;
  a.kind = kind;
  switch (kind) {
    case Action::Kind::Play: a.cards = cards_from(cards, 1, 1, "a play"); break;
    case Action::Kind::AnimalCombo:
      a.cards = cards_from(cards, 2, 2, "an animal combo");
      if (a.cards[0].value != CardValue::Ace) throw Invalid("an animal combo starts with its Ace");
      break;
    case Action::Kind::Combo: a.cards = cards_from(cards, 2, kMaxComboCards, "a combo"); break;
    case Action::Kind::Discard: a.cards = cards_from(cards, 1, kMaxDiscardCards, "a discard"); break;
    default:
      if (!cards.empty()) throw Invalid("this action takes no cards");
  }
  if (kind == Action::Kind::ChangePlayer) {
    if (!target || *target < 0 || *target > 3) throw Invalid("change player needs a target seat 0 .. 3");
    a.player = PlayerId{static_cast<std::uint64_t>(*target)};
  } else if (target) {
    throw Invalid("only change player has a target");
  }
  return a;
}

std::vector<Card> action_cards(const Action& a) {
  if (!a.has_cards()) return {};
  return {a.cards.begin(), a.cards.end()};
}

std::optional<int> action_target(const Action& a) {
  if (a.kind != Action::Kind::ChangePlayer) return std::nullopt;
  return static_cast<int>(a.player.value);
}

std::string action_repr(const Action& a) {
  static constexpr const char* kKinds[7] = {"PLAY", "ANIMAL_COMBO", "COMBO", "YIELD", "DISCARD", "CHANGE_PLAYER", "REFILL_HAND"};
  std::string out = "Action(ActionKind.";
  out += kKinds[static_cast<int>(a.kind)];
  if (a.has_cards()) {
    out += ", (";
    for (const Card& c : a.cards) out += card_repr(c) + ", ";
    out.resize(out.size() - 2);
    out += a.cards.size() == 1 ? ",)" : ")";
  }
  if (a.kind == Action::Kind::ChangePlayer) out += ", target=" + std::to_string(a.player.value);
  return out + ")";
}

std::size_t action_hash(const Action& a) { return std::hash<Action>{}(a); }

template <class F>
decltype(auto) with_state(const Game& g, F&& f) {
  return std::visit(std::forward<F>(f), g.state());
}

int seat(const Game& g, std::optional<int> player) {
  const int p = player ? *player : with_state(g, [](const auto& s) { return static_cast<int>(s.has_turn.value); });
  if (p < 0 || p >= g.num_players()) throw Invalid("player " + std::to_string(p) + " is not a seat of this game");
  return p;
}

nb::bytes to_py_bytes(const std::string& s) { return nb::bytes(s.data(), s.size()); }
std::string from_py_bytes(const nb::bytes& b) { return std::string(b.c_str(), b.size()); }

std::string game_text(const Game& g) {
  return with_state(g, [&](const auto& s) {
    std::string out = "players " + std::to_string(g.num_players()) + ", level " + std::to_string(s.level);
    if (g.result())
      out += g.result()->kind == GameResult::Kind::Won ? ", won" : ", lost";
    else
      out += ", player " + std::to_string(s.has_turn.value) + " to act";
    out += "\nenemy: ";
    if (const Enemy* e = s.current_enemy())
      out += card_text(e->card) + " health " + std::to_string(e->health) + " attack " + std::to_string(e->attack) +
             (e->jester_applied ? " (jester)" : "");
    else
      out += "none";
    for (const Player& p : s.players) {
      out += "\nhand " + std::to_string(p.id.value) + ":";
      for (const Card& c : sorted_hand(p.hand)) out += " " + card_text(c);
    }
    out += "\ntavern " + std::to_string(s.table.tavern_deck.size()) + ", discard " +
           std::to_string(s.table.discard_pile.size()) + ", castle " + std::to_string(s.table.castle_deck.size());
    return out;
  });
}

// Searches without the interpreter lock. The one stop check of the search, asked by this thread
// between samples and every few milliseconds while the workers run, takes the lock briefly to
// let Python handle signals: Ctrl-C stops the workers after their current playout and raises
// KeyboardInterrupt here.
Ranking run_search(const Game& game, const SearchOptions& options) {
  const Game position = game;  // the Python object may change while the lock is released
  bool interrupted = false;
  std::optional<std::vector<RankedAction>> ranked;
  {
    nb::gil_scoped_release release;
    ranked = search(position, options, [&] {
      nb::gil_scoped_acquire acquire;
      interrupted = PyErr_CheckSignals() != 0;
      return interrupted;
    });
  }
  if (interrupted || !ranked) throw nb::python_error();
  nb::list out;
  for (const RankedAction& r : *ranked) out.append(nb::make_tuple(r.action, r.visits, r.avg_reward));
  return out;
}

// A property of VectorGame: a read-only numpy view of one of its arrays, which the vector keeps
// alive, with a row of `Width` values per game (one value with Width 0). Bytes that hold flags
// read as bool.
template <auto Array, std::size_t Width = 0>
auto game_arrays(nb::handle self) {
  VectorGame& v = nb::cast<VectorGame&>(self);
  using Stored = std::remove_pointer_t<decltype((v.*Array)())>;
  using Value = std::conditional_t<std::is_same_v<Stored, std::uint8_t>, bool, Stored>;
  static_assert(sizeof(Value) == sizeof(Stored));
  using View = nb::ndarray<nb::numpy, const Value, nb::ndim<Width == 0 ? 1 : 2>>;
  const auto* data = reinterpret_cast<const Value*>((v.*Array)());
  if constexpr (Width == 0)
    return View(data, {v.num_games()}, self);
  else
    return View(data, {v.num_games(), Width}, self);
}

}  // namespace
}  // namespace corvanta::lab

NB_MODULE(_core, m) {
  using namespace corvanta;
  using namespace corvanta::lab;
  m.doc() = "The native part of corvanta_lab: values, the steppable game, search and batched games.";

  nb::register_exception_translator([](const std::exception_ptr& p, void*) {
    try {
      std::rethrow_exception(p);
    } catch (const Invalid& e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const mcts::SearchError& e) {
      PyErr_SetString(PyExc_RuntimeError, e.what());
    } catch (const Fatal& e) {
      PyErr_SetString(PyExc_RuntimeError, e.what());
    }
  });

  m.attr("NUM_ACTIONS") = kNumActionIds;
  m.attr("OBSERVATION_SIZE") = kObservationSize;
  m.attr("YIELD_ID") = kYieldId;
  m.attr("REFILL_HAND_ID") = kRefillHandId;
  m.attr("CHANGE_PLAYER_ID") = kChangePlayerId;
  {
    nb::dict layout;
    auto add = [&](const char* name, int start, int stop) { layout[name] = nb::make_tuple(start, stop); };
    add("hand", obs::kHand, obs::kHandSlots);
    add("hand_slots", obs::kHandSlots, obs::kEnemyCard);
    add("enemy_card", obs::kEnemyCard, obs::kEnemyHealth);
    add("enemy_health", obs::kEnemyHealth, obs::kEnemyAttack);
    add("enemy_attack", obs::kEnemyAttack, obs::kEnemyJester);
    add("enemy_jester", obs::kEnemyJester, obs::kEnemyImmunity);
    add("enemy_immunity", obs::kEnemyImmunity, obs::kCastle);
    add("castle", obs::kCastle, obs::kDiscardPile);
    add("discard_pile", obs::kDiscardPile, obs::kAttackCards);
    add("attack_cards", obs::kAttackCards, obs::kTavernSize);
    add("tavern_size", obs::kTavernSize, obs::kOtherHands);
    add("other_hands", obs::kOtherHands, obs::kPlayers);
    add("players", obs::kPlayers, obs::kToMove);
    add("to_move", obs::kToMove, obs::kPhase);
    add("phase", obs::kPhase, obs::kDiscardAmount);
    add("discard_amount", obs::kDiscardAmount, obs::kLevel);
    add("level", obs::kLevel, obs::kYields);
    add("yields", obs::kYields, obs::kRefills);
    add("refills", obs::kRefills, obs::kJestersLeft);
    add("jesters_left", obs::kJestersLeft, obs::kCanAbsorb);
    add("can_absorb", obs::kCanAbsorb, obs::kOver);
    add("over", obs::kOver, obs::kSize);
    m.attr("OBSERVATION_LAYOUT") = layout;
  }

  nb::enum_<CardSuit>(m, "Suit", nb::is_arithmetic(), "A card's suit; NONE only on the jester.")
      .value("SPADES", CardSuit::Spades)
      .value("HEARTS", CardSuit::Hearts)
      .value("DIAMONDS", CardSuit::Diamonds)
      .value("CLUBS", CardSuit::Clubs)
      .value("NONE", CardSuit::None);
  nb::enum_<CardValue>(m, "Value", nb::is_arithmetic(), "A card's value; JACK, QUEEN and KING are the enemies.")
      .value("JESTER", CardValue::Jester)
      .value("ACE", CardValue::Ace)
      .value("TWO", CardValue::Two)
      .value("THREE", CardValue::Three)
      .value("FOUR", CardValue::Four)
      .value("FIVE", CardValue::Five)
      .value("SIX", CardValue::Six)
      .value("SEVEN", CardValue::Seven)
      .value("EIGHT", CardValue::Eight)
      .value("NINE", CardValue::Nine)
      .value("TEN", CardValue::Ten)
      .value("JACK", CardValue::Jack)
      .value("QUEEN", CardValue::Queen)
      .value("KING", CardValue::King);
  nb::enum_<ActionType::Kind>(m, "Phase", "The decision due: play cards (or yield), discard, or pick who acts after a jester.")
      .value("PLAY_CARDS", ActionType::Kind::PlayCards)
      .value("DISCARD", ActionType::Kind::Discard)
      .value("JESTER", ActionType::Kind::Jester);
  nb::enum_<Action::Kind>(m, "ActionKind", "The kind of an action.")
      .value("PLAY", Action::Kind::Play)
      .value("ANIMAL_COMBO", Action::Kind::AnimalCombo)
      .value("COMBO", Action::Kind::Combo)
      .value("YIELD", Action::Kind::Yield)
      .value("DISCARD", Action::Kind::Discard)
      .value("CHANGE_PLAYER", Action::Kind::ChangePlayer)
      .value("REFILL_HAND", Action::Kind::RefillHand);

  nb::class_<Card>(m, "Card",
                   "A card: immutable, hashable, ordered by its index (Ace to King, suits in the order "
                   "Spades, Hearts, Diamonds, Clubs, then the jester).")
      .def("__init__", [](Card* self, CardSuit suit, CardValue value) { new (self) Card(make_card(suit, value)); },
           "suit"_a, "value"_a)
      .def_static("parse", [](std::string_view text) { return parse(text); }, "text"_a,
                  "The card of a label ('5h', '10c', 'Ks', 'Jk' for the jester) or a card text ('♥5').")
      .def_static("from_index", &card_at, "index"_a, "The card with this index (0 .. 52).")
      .def_prop_ro("suit", [](Card c) { return c.suit; }, "The suit (NONE for the jester).")
      .def_prop_ro("value", [](Card c) { return c.value; }, "The value (JESTER for the jester).")
      .def_prop_ro("index", [](Card c) { return card_index(c); }, "0 .. 51 for Ace of Spades .. King of Clubs, 52 for the jester.")
      .def_prop_ro("label", [](Card c) { return card_label(c); }, "The short label: '5h', '10c', 'Ks', 'Jk'.")
      .def_prop_ro("attack", [](Card c) { return attack_value(c); }, "The card's worth as damage and when discarding.")
      .def_prop_ro("is_jester", [](Card c) { return c == kJester; }, "Whether this is the jester.")
      .def("__str__", [](Card c) { return card_text(c); })
      .def("__repr__", [](Card c) { return card_repr(c); })
      .def("__eq__", [](Card a, nb::handle b) {
        return nb::isinstance<Card>(b) && a == nb::cast<Card>(b);
      })
      .def("__lt__", [](Card a, Card b) { return card_index(a) < card_index(b); })
      .def("__le__", [](Card a, Card b) { return card_index(a) <= card_index(b); })
      .def("__gt__", [](Card a, Card b) { return card_index(a) > card_index(b); })
      .def("__ge__", [](Card a, Card b) { return card_index(a) >= card_index(b); })
      .def("__hash__", [](Card c) { return card_index(c); })
      .def("__getstate__", [](Card c) { return std::make_tuple(card_index(c)); })
      .def("__setstate__", [](Card* self, const std::tuple<int>& s) { new (self) Card(card_at(std::get<0>(s))); });

  nb::class_<Enemy>(m, "Enemy", "A royal card in play: its health, its attack and whether a jester cancelled its immunity.")
      .def("__init__",
           [](Enemy* self, Card card, std::optional<int> health, std::optional<int> attack, bool jester_applied) {
             new (self) Enemy(make_enemy(card, health, attack, jester_applied));
           },
           "card"_a, "health"_a = nb::none(), "attack"_a = nb::none(), "jester_applied"_a = false)
      .def_prop_ro("card", [](const Enemy& e) { return e.card; }, "The royal card.")
      .def_prop_ro("health", [](const Enemy& e) { return static_cast<int>(e.health); }, "Health left.")
      .def_prop_ro("attack", [](const Enemy& e) { return static_cast<int>(e.attack); }, "The damage it strikes back with.")
      .def_prop_ro("jester_applied", [](const Enemy& e) { return e.jester_applied; }, "Whether a jester cancelled its immunity.")
      .def_prop_ro("immune_suit", [](const Enemy& e) { return e.jester_applied ? CardSuit::None : e.card.suit; },
                   "The suit whose power this enemy blocks (NONE once a jester was played against it).")
      .def("__str__", [](const Enemy& e) {
        return card_text(e.card) + " (health " + std::to_string(e.health) + ", attack " + std::to_string(e.attack) +
               (e.jester_applied ? ", jester" : "") + ")";
      })
      .def("__repr__", [](const Enemy& e) {
        return "Enemy(" + card_repr(e.card) + ", health=" + std::to_string(e.health) + ", attack=" +
               std::to_string(e.attack) + ", jester_applied=" + (e.jester_applied ? "True" : "False") + ")";
      })
      .def("__eq__", [](const Enemy& a, nb::handle b) { return nb::isinstance<Enemy>(b) && a == nb::cast<Enemy>(b); })
      .def("__hash__", [](const Enemy& e) {
        return (card_index(e.card) << 16) ^ ((e.health & 0xff) << 8) ^ (e.attack << 1) ^ e.jester_applied;
      })
      .def("__getstate__", [](const Enemy& e) {
        return std::make_tuple(card_index(e.card), static_cast<int>(e.health), static_cast<int>(e.attack), e.jester_applied);
      })
      .def("__setstate__", [](Enemy* self, const std::tuple<int, int, int, bool>& s) {
        new (self) Enemy(make_enemy(card_at(std::get<0>(s)), std::get<1>(s), std::get<2>(s), std::get<3>(s)));
      });

  nb::class_<Action>(m, "Action", "One move: its kind, the cards it plays or discards, and for CHANGE_PLAYER the target seat.")
      .def("__init__",
           [](Action* self, Action::Kind kind, const std::vector<Card>& cards, std::optional<int> target) {
             new (self) Action(make_action(kind, cards, target));
           },
           "kind"_a, "cards"_a = std::vector<Card>{}, "target"_a = nb::none())
      .def_static("play", [](Card c) { return Action::play(c); }, "card"_a, "Play one card.")
      .def_static("animal_combo", [](Card ace, Card c) { return make_action(Action::Kind::AnimalCombo, {ace, c}, {}); },
                  "ace"_a, "card"_a, "Play an Ace together with one other card.")
      .def_static("combo", [](const std::vector<Card>& cs) { return make_action(Action::Kind::Combo, cs, {}); }, "cards"_a,
                  "Play two to four cards of one value (worth at most 10).")
      .def_static("yield_turn", [] { return Action::yield(); }, "Play nothing this turn.")
      .def_static("discard", [](const std::vector<Card>& cs) { return make_action(Action::Kind::Discard, cs, {}); },
                  "cards"_a, "Discard cards to absorb the enemy's attack.")
      .def_static("change_player", [](int p) { return make_action(Action::Kind::ChangePlayer, {}, p); }, "target"_a,
                  "After a jester: hand the turn to this seat.")
      .def_static("refill_hand", [] { return Action::refill_hand(); }, "One player only: discard the hand and draw anew.")
      .def_prop_ro("kind", [](const Action& a) { return a.kind; }, "What the action does.")
      .def_prop_ro("cards", [](const Action& a) { return a.has_cards() ? cards_tuple(a.cards) : CardTuple(nb::tuple()); },
                   "The cards played or discarded, in the order the rules engine lists them.")
      .def_prop_ro("target", &action_target, "The seat that acts next (CHANGE_PLAYER only), else None.")
      .def("__str__", &action_text)
      .def("__repr__", &action_repr)
      .def("__eq__", [](const Action& a, nb::handle b) { return nb::isinstance<Action>(b) && a == nb::cast<Action>(b); })
      .def("__hash__", &action_hash)
      .def("__getstate__", [](const Action& a) {
        std::vector<int> cards;
        for (const Card& c : action_cards(a)) cards.push_back(card_index(c));
        return std::make_tuple(static_cast<int>(a.kind), cards, action_target(a));
      })
      .def("__setstate__", [](Action* self, const std::tuple<int, std::vector<int>, std::optional<int>>& s) {
        const int kind = std::get<0>(s);
        if (kind < 0 || kind > 6) throw Invalid("unknown action kind");
        std::vector<Card> cards;
        for (int i : std::get<1>(s)) cards.push_back(card_at(i));
        new (self) Action(make_action(static_cast<Action::Kind>(kind), cards, std::get<2>(s)));
      });

  nb::class_<Game>(m, "Game",
                   "The true state of one game, stepped from Python. Seeded games are the games of "
                   "corvanta.CorvantaGame with the same seed.")
      .def("__init__",
           [](Game* self, int players, std::optional<std::uint64_t> seed) {
             new (self) Game(Game::create(players, seed ? *seed : entropy_seed()));
           },
           "players"_a, "seed"_a = nb::none())
      .def_prop_ro("num_players", &Game::num_players, "The number of seats (1 to 4).")
      .def_prop_ro("seed", &Game::seed, "The seed of the deal (drawn from entropy when none was given).")
      .def_prop_ro("current_player", [](const Game& g) { return with_state(g, [](const auto& s) { return static_cast<int>(s.has_turn.value); }); },
                   "The seat to act.")
      .def_prop_ro("phase", [](const Game& g) { return with_state(g, [](const auto& s) { return s.action_type.kind; }); },
                   "The decision due: play cards, discard, or choose who acts after a jester.")
      .def_prop_ro("discard_amount", [](const Game& g) {
        return with_state(g, [](const auto& s) {
          return s.action_type.kind == ActionType::Kind::Discard ? static_cast<int>(s.action_type.discard_amount) : 0;
        });
      }, "The attack value the discard must reach (0 outside the discard phase).")
      .def_prop_ro("hands", [](const Game& g) {
        return with_state(g, [](const auto& s) {
          nb::list out;
          for (const Player& p : s.players) out.append(cards_tuple(p.hand));
          return nb::typed<nb::tuple, CardTuple, nb::ellipsis>(nb::tuple(out));
        });
      }, "Every seat's hand, in the order the cards were received.")
      .def("sorted_hand", [](const Game& g, std::optional<int> player) {
        const int p = seat(g, player);
        return with_state(g, [&](const auto& s) { return cards_tuple(sorted_hand(s.players[p].hand)); });
      }, "player"_a = nb::none(), "A hand in the canonical order of the action ids (the player to act by default).")
      .def_prop_ro("current_enemy", [](const Game& g) -> std::optional<Enemy> {
        return with_state(g, [](const auto& s) -> std::optional<Enemy> {
          if (const Enemy* e = s.current_enemy()) return *e;
          return std::nullopt;
        });
      }, "The enemy fought now (the castle deck's top), or None once all are defeated.")
      .def_prop_ro("castle", [](const Game& g) {
        return with_state(g, [](const auto& s) {
          nb::list out;
          for (const Enemy& e : s.table.castle_deck) out.append(nb::cast(e));
          return nb::typed<nb::tuple, Enemy, nb::ellipsis>(nb::tuple(out));
        });
      }, "The castle deck, the current enemy last.")
      .def_prop_ro("castle_size", [](const Game& g) { return with_state(g, [](const auto& s) { return s.table.castle_deck.size(); }); },
                   "Enemies not yet defeated, the current one included.")
      .def_prop_ro("tavern", [](const Game& g) { return with_state(g, [](const auto& s) { return cards_tuple(s.table.tavern_deck); }); },
                   "The tavern deck, its top last.")
      .def_prop_ro("tavern_size", [](const Game& g) { return with_state(g, [](const auto& s) { return s.table.tavern_deck.size(); }); },
                   "Cards left to draw.")
      .def_prop_ro("discard_pile", [](const Game& g) { return with_state(g, [](const auto& s) { return cards_tuple(s.table.discard_pile); }); },
                   "The discard pile (face up), its top last.")
      .def_prop_ro("discard_size", [](const Game& g) { return with_state(g, [](const auto& s) { return s.table.discard_pile.size(); }); },
                   "Cards in the discard pile.")
      .def_prop_ro("attack_cards", [](const Game& g) { return with_state(g, [](const auto& s) { return cards_tuple(s.table.attack_cards); }); },
                   "The cards played against the current enemy.")
      .def_prop_ro("level", [](const Game& g) { return with_state(g, [](const auto& s) { return static_cast<int>(s.level); }); },
                   "Enemies defeated so far.")
      .def_prop_ro("refills_left", [](const Game& g) { return with_state(g, [](const auto& s) { return static_cast<int>(s.hand_refills_left); }); },
                   "Hand refills left (one-player games start with 2).")
      .def_prop_ro("yields", [](const Game& g) { return with_state(g, [](const auto& s) { return static_cast<int>(s.times_yielded); }); },
                   "Consecutive yields so far.")
      .def_prop_ro("max_hand_size", [](const Game& g) { return with_state(g, [](const auto& s) { return static_cast<int>(s.max_hand_size); }); },
                   "The hand limit: 8, 7, 6, 5 for 1 to 4 players.")
      .def_prop_ro("rng_seed", [](const Game& g) { return with_state(g, [](const auto& s) { return s.rng_seed; }); },
                   "The seed of the game's next random step (the Hearts power).")
      .def_prop_ro("is_over", &Game::over, "Whether the game has been won or lost.")
      .def_prop_ro("won", [](const Game& g) { return g.result() && g.result()->kind == GameResult::Kind::Won; },
                   "Whether the game is over and won.")
      .def_prop_ro("reward", [](const Game& g) {
        if (g.result() && g.result()->kind == GameResult::Kind::Won) return 12;
        return with_state(g, [](const auto& s) { return static_cast<int>(s.level); });
      }, "The team's reward: the enemies defeated (12 for a win).")
      .def_prop_ro("history", [](const Game& g) { return g.history(); }, "The actions applied, in order.")
      .def_prop_ro("turns", [](const Game& g) { return g.history().size(); }, "The number of actions applied.")
      .def("legal_actions", [](const Game& g) {
        const ActionList& legal = g.legal_actions();
        return std::vector<Action>(legal.begin(), legal.end());
      }, "The legal actions in the rules engine's order (empty once the game is over).")
      .def("apply", [](Game& g, const Action& a) { g.apply(a); }, "action"_a,
           "Apply a legal action, or the action at this index of legal_actions(). Raises ValueError for "
           "an illegal one and leaves the game unchanged.")
      .def("apply", [](Game& g, std::int64_t index) {
        if (index < 0) throw Invalid("action index " + std::to_string(index) + " is negative");
        g.apply_index(static_cast<std::size_t>(index));
      }, "index"_a)
      .def("legal_action_ids", &Game::legal_action_ids, "The ids of the legal actions, ascending.")
      .def("action_mask", [](const Game& g) {
        auto mask = owned_array<bool, 1>({static_cast<std::size_t>(kNumActionIds)});
        g.action_mask(reinterpret_cast<std::uint8_t*>(mask.data()));
        return mask;
      }, "A bool array of NUM_ACTIONS flags: True for the legal action ids.")
      .def("apply_id", &Game::apply_id, "id"_a, "Apply the legal action with this id; ValueError if there is none.")
      .def("action_id", &Game::id_of, "action"_a, "The id of an action in this position.")
      .def("action_from_id", [](const Game& g, int id) {
        if (auto a = g.action_for_id(id)) return *a;
        throw Invalid("action id " + std::to_string(id) + " is not legal here");
      }, "id"_a, "The legal action with this id; ValueError if there is none.")
      .def("observation", [](const Game& g, std::optional<int> player) {
        const int p = seat(g, player);
        auto out = owned_array<float, 1>({static_cast<std::size_t>(kObservationSize)});
        g.observation(p, out.data());
        return out;
      }, "player"_a = nb::none(), "What this seat may know (the player to act by default), as OBSERVATION_SIZE floats.")
      .def("resample", [](const Game& g, std::optional<int> player, std::optional<std::uint64_t> seed) {
        return g.resample(seat(g, player), seed ? *seed : entropy_seed());
      }, "player"_a = nb::none(), "seed"_a = nb::none(),
         "A copy with everything this seat cannot see dealt anew: the tavern deck and the other hands, "
         "and the order of the enemies below the current one. Its observation for the seat is unchanged.")
      .def("clone", [](const Game& g) { return g; }, "An independent copy.")
      .def("__copy__", [](const Game& g) { return g; })
      .def("__deepcopy__", [](const Game& g, nb::handle) { return g; }, "memo"_a)
      .def("to_bytes", [](const Game& g) { return to_py_bytes(g.to_bytes()); }, "The game as bytes (state, result, seed, history).")
      .def_static("from_bytes", [](const nb::bytes& b) { return Game::from_bytes(from_py_bytes(b)); }, "data"_a,
                  "The game of to_bytes(); ValueError for anything malformed or inconsistent.")
      .def("__getstate__", [](const Game& g) { return to_py_bytes(g.to_bytes()); })
      .def("__setstate__", [](Game* self, const nb::bytes& b) { new (self) Game(Game::from_bytes(from_py_bytes(b))); })
      .def_static("replay", [](int players, std::uint64_t seed, const std::vector<Action>& history) {
        Game g = Game::create(players, seed);
        for (const Action& a : history) g.apply(a);
        return g;
      }, "players"_a, "seed"_a, "history"_a, "The game of this seed after these actions.")
      .def("__eq__", [](const Game& a, nb::handle b) { return nb::isinstance<Game>(b) && a == nb::cast<const Game&>(b); })
      .def("__str__", &game_text)
      .def("__repr__", [](const Game& g) {
        return "<Game players=" + std::to_string(g.num_players()) + " seed=" + std::to_string(g.seed()) +
               " turns=" + std::to_string(g.history().size()) + (g.over() ? " over" : "") + ">";
      });
  // Mutable and compared by value: not hashable.
  nb::type<Game>().attr("__hash__") = nb::none();

  nb::class_<RandomPlayer>(m, "RandomPlayer",
                           "Draws uniformly among the legal actions: with the same seed, the same choices as "
                           "corvanta.players.RandomPlayer.")
      .def("__init__", [](RandomPlayer* self, std::optional<std::uint64_t> seed) {
        new (self) RandomPlayer(seed ? seed : std::optional<std::uint64_t>(entropy_seed()));
      }, "seed"_a = nb::none())
      .def("play", [](RandomPlayer& p, const Game& g) {
        const ActionList& legal = g.legal_actions();
        if (legal.empty()) throw Invalid("the game is over: there is nothing to play");
        return legal[p.rng.below(static_cast<std::uint32_t>(legal.size()))];
      }, "game"_a, "The chosen action (one of game.legal_actions()).");

  m.def("search", [](const Game& g, std::uint32_t playouts, std::size_t threads, bool heuristics, std::uint32_t samples,
                     std::optional<std::uint8_t> policy, bool public_discard, bool rollout_redeal,
                     const std::string& rollout_policy, std::optional<std::string> strength) {
    SearchOptions options;
    options.threads = threads;
    options.heuristics = heuristics;
    options.policy = policy;
    if (rollout_policy == "uniform") options.rollout.policy = RolloutPolicy::Uniform;
    else if (rollout_policy == "greedy") options.rollout.policy = RolloutPolicy::Greedy;
    else throw nb::value_error(("rollout_policy must be \"uniform\" or \"greedy\", not \"" + rollout_policy + "\"").c_str());
    options.rollout.public_discard = public_discard;
    options.rollout.redeal_each_rollout = rollout_redeal;
    options.playouts = playouts;
    options.samples = samples;
    options.strength = strength;
    return run_search(g, options);
  }, "game"_a, "playouts"_a, "threads"_a = 1, "heuristics"_a = true, "samples"_a = 1, nb::kw_only(), "policy"_a = nb::none(),
        "public_discard"_a = false, "rollout_redeal"_a = true, "rollout_policy"_a = "uniform", "strength"_a = nb::none(),
        "Monte Carlo tree search from the position of the player to act, on the engine of the search "
        "player: `samples` determinisations of `playouts` playouts each on `threads` workers. Returns "
        "(action, visits, mean_reward) tuples, most visited first. Releases the interpreter lock; "
        "Ctrl-C stops it.\n\n"
        "The defaults are the search player's own rules. `public_discard=True` re-deals only hidden cards "
        "(other hands and the tavern deck), keeping the face-up discard pile. `rollout_redeal=False` plays "
        "each rollout on the deal of its sample, shuffling only what nobody has seen (the tavern deck, the "
        "castle below the current enemy). `rollout_policy=\"greedy\"` plays rollouts by a cheap one-move "
        "judgement (kills, damage, shield, draw, heal, survival; one move in ten uniform) instead of "
        "uniformly. `strength=\"strong\"` takes `playouts` as the total per move and chooses the strongest "
        "measured combination: public discard, sample deals, greedy rollouts, and the budget split into "
        "samples (about 100 playouts each for one player, at most 10; 250 for more players, at most 4); "
        "it overrides `samples` and the three rollout options.");

  nb::class_<VectorGame>(m, "VectorGame",
                         "Many games of one player count stepped together in C++, read through arrays that are "
                         "updated in place. Finished games start again with seeds from the vector's generator.")
      .def("__init__", [](VectorGame* self, std::size_t num_games, int players, std::optional<std::uint64_t> seed) {
        new (self) VectorGame(num_games, players, seed ? *seed : entropy_seed());
      }, "num_games"_a, "players"_a, "seed"_a = nb::none())
      .def_prop_ro("num_games", &VectorGame::num_games, "The number of games.")
      .def_prop_ro("num_players", &VectorGame::num_players, "The seats of every game.")
      .def_prop_ro("observations", &game_arrays<&VectorGame::observations, kObservationSize>,
                   "[num_games, OBSERVATION_SIZE] float32: each game's observation for its seat to act.")
      .def_prop_ro("action_masks", &game_arrays<&VectorGame::masks, kNumActionIds>,
                   "[num_games, NUM_ACTIONS] bool: the legal action ids of each game.")
      .def_prop_ro("rewards", &game_arrays<&VectorGame::rewards>, "[num_games] float32: enemies defeated by the last step.")
      .def_prop_ro("dones", &game_arrays<&VectorGame::dones>,
                   "[num_games] bool: the last step ended the game (the slot holds a new game now).")
      .def_prop_ro("final_levels", &game_arrays<&VectorGame::final_levels>,
                   "[num_games] int32: the level of a game the last step ended (0 elsewhere).")
      .def_prop_ro("levels", &game_arrays<&VectorGame::levels>, "[num_games] int32: the current level of each game.")
      .def_prop_ro("current_players", &game_arrays<&VectorGame::current_players>,
                   "[num_games] int32: the seat to act in each game.")
      .def_prop_ro("seeds", &game_arrays<&VectorGame::seeds>,
                   "[num_games] uint64: the seed of the game in each slot (Game(players, seed) is the same game).")
      .def("reset", [](VectorGame& v, std::optional<std::uint64_t> seed) {
        nb::gil_scoped_release release;
        v.reset(seed ? *seed : entropy_seed());
      }, "seed"_a = nb::none(), "Start every game anew.")
      .def("step", [](nb::handle self, nb::handle action_ids) {
        VectorGame& v = nb::cast<VectorGame&>(self);
        nb::object as_ids = nb::module_::import_("numpy").attr("ascontiguousarray");
        nb::object array = as_ids(action_ids, "dtype"_a = "int64");
        auto ids = nb::cast<nb::ndarray<const std::int64_t, nb::ndim<1>, nb::c_contig, nb::device::cpu>>(array);
        if (ids.shape(0) != v.num_games())
          throw Invalid("step takes " + std::to_string(v.num_games()) + " action ids, not " + std::to_string(ids.shape(0)));
        {
          nb::gil_scoped_release release;
          v.step(ids.data());
        }
        return std::make_tuple(game_arrays<&VectorGame::rewards>(self), game_arrays<&VectorGame::dones>(self));
      }, "action_ids"_a,
         "Apply one action id to every game (all are checked first: ValueError names an illegal one "
         "and nothing moves). Returns (rewards, dones), views updated in place by the next step.");

  {
    nb::object card = m.attr("Card").attr("from_index")(0);
    add_signatures(m.attr("search"), nb::type<Card>().attr("__dict__")["__repr__"], card.attr("__repr__"));
  }
}
