// corvanta_lab._core's values: the constants of the action and observation spaces, the enums,
// Card, Enemy and Action.
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/tuple.h>
#include <nanobind/stl/vector.h>

#include <cstdlib>
#include <tuple>

#include "game/text.hpp"

#include "lab/bind/convert.hpp"
#include "lab/text.hpp"
#include "lab/values.hpp"

namespace corvanta::lab {
namespace {

using namespace nb::literals;

std::vector<Card> action_cards(const Action& a) {
  if (!a.has_cards()) return {};
  return {a.cards.begin(), a.cards.end()};
}

std::optional<int> action_target(const Action& a) {
  if (a.kind != Action::Kind::ChangePlayer) return std::nullopt;
  return static_cast<int>(a.player.value);
}


// The sizes and ids of the action and observation spaces, and the observation layout.
void bind_constants(nb::module_& m) {
  m.attr("NUM_ACTIONS") = kNumActionIds;
  m.attr("OBSERVATION_SIZE") = kObservationSize;
  m.attr("YIELD_ID") = kYieldId;
  m.attr("REFILL_HAND_ID") = kRefillHandId;
  m.attr("CHANGE_PLAYER_ID") = kChangePlayerId;
  {
    // From the layout's one table: the slices by name, and the parts in order for the docs.
    nb::dict layout;
    nb::list parts;
    for (const obs::PartInfo& part : obs::kLayout) {
      const int start = obs::at(part.part);
      layout[nb::str(part.name.data(), part.name.size())] = nb::make_tuple(start, start + part.width);
      parts.append(nb::make_tuple(nb::str(part.name.data(), part.name.size()), part.width,
                                  nb::str(part.content.data(), part.content.size())));
    }
    m.attr("OBSERVATION_LAYOUT") = layout;
    m.attr("OBSERVATION_PARTS") = nb::tuple(parts);
  }
}

// Suits, values, phases and action kinds.
void bind_enums(nb::module_& m) {
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
}

// Card: an immutable, hashable, ordered value.
void bind_card(nb::module_& m) {
  nb::class_<Card>(m, "Card",
                   "A card: immutable, hashable, ordered by its index (Ace to King, suits in the order "
                   "Spades, Hearts, Diamonds, Clubs, then the jester).")
      .def("__init__", [](Card* self, CardSuit suit, CardValue value) { new (self) Card(make_card(suit, value)); },
           "suit"_a, "value"_a)
      .def_static("parse", &card_of_text, "text"_a,
                  "The card of a label ('5h', '10c', 'Ks', 'Jk' for the jester) or a card text ('♥5').")
      .def_static("from_index", &card_at, "index"_a, "The card with this index (0 .. 52).")
      .def_prop_ro("suit", [](Card c) { return c.suit; }, "The suit (NONE for the jester).")
      .def_prop_ro("value", [](Card c) { return c.value; }, "The value (JESTER for the jester).")
      .def_prop_ro("index", [](Card c) { return card_index(c); }, "0 .. 51 for Ace of Spades .. King of Clubs, 52 for the jester.")
      .def_prop_ro("label", [](Card c) { return card_label(c); }, "The short label: '5h', '10c', 'Ks', 'Jk'.")
      .def_prop_ro("attack", [](Card c) { return attack_value(c); }, "The card's worth as damage and when discarding.")
      .def_prop_ro("is_jester", [](Card c) { return c == kJester; }, "Whether this is the jester.")
      .def("__str__", [](Card c) { return card_label(c); })
      .def("__repr__", &card_repr)
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
}

// Enemy: a royal card in play.
void bind_enemy(nb::module_& m) {
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
      .def("__str__", &enemy_text)
      .def("__repr__", &enemy_repr)
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
}

// Action: one move.
void bind_action(nb::module_& m) {
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
      .def("__hash__", [](const Action& a) { return std::hash<Action>{}(a); })
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
}

}  // namespace

void bind_values(nb::module_& m) {
  m.def("colour_wanted", [](bool is_terminal) {
    return text::decide_colour(std::getenv("CLICOLOR_FORCE"), std::getenv("NO_COLOR"), std::getenv("CLICOLOR"), is_terminal);
  }, "is_terminal"_a,
        "Whether text for a stream should carry ANSI colours: the rule of the corvanta module's texts "
        "(CLICOLOR_FORCE other than 0 forces them, then NO_COLOR refuses them, then CLICOLOR=0 or a stream "
        "that is not a terminal), read from the environment now.");
  bind_constants(m);
  bind_enums(m);
  bind_card(m);
  bind_enemy(m);
  bind_action(m);
}


}  // namespace corvanta::lab
