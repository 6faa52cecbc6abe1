#include "game/text.hpp"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace corvanta::text {
namespace {

constexpr std::string_view kBlackOnWhite = "\x1b[47;30m";
constexpr std::string_view kRedOnWhite = "\x1b[47;31m";
constexpr std::string_view kWhite = "\x1b[47m";
constexpr std::string_view kReset = "\x1b[0m";

std::string paint(std::string_view colour, std::string_view plain) {
  if (!use_colour()) return std::string(plain);
  std::string out;
  out.reserve(colour.size() + plain.size() + kReset.size());
  out.append(colour).append(plain).append(kReset);
  return out;
}

// Nested values of a pretty form are indented one level on every line after their first.
std::string indented(const std::string& nested) {
  std::string out;
  out.reserve(nested.size() + 16);
  for (char c : nested) {
    out.push_back(c);
    if (c == '\n') out.append("    ");
  }
  return out;
}

std::string number(std::uint64_t v) { return std::to_string(v); }
std::string number(std::int64_t v) { return std::to_string(v); }

}  // namespace

bool decide_colour(const char* clicolor_force, const char* no_color, const char* clicolor, bool stdout_is_tty) {
  if (clicolor_force != nullptr && std::strcmp(clicolor_force, "0") != 0) return true;
  if (no_color != nullptr) return false;
  return stdout_is_tty && !(clicolor != nullptr && std::strcmp(clicolor, "0") == 0);
}

bool use_colour() {
  static const bool decided = decide_colour(std::getenv("CLICOLOR_FORCE"), std::getenv("NO_COLOR"),
                                            std::getenv("CLICOLOR"), isatty(STDOUT_FILENO) == 1);
  return decided;
}

std::string suit(CardSuit s) {
  switch (s) {
    case CardSuit::Spades: return paint(kBlackOnWhite, "♠");
    case CardSuit::Hearts: return paint(kRedOnWhite, "♥");
    case CardSuit::Diamonds: return paint(kRedOnWhite, "♦");
    case CardSuit::Clubs: return paint(kBlackOnWhite, "♣");
    case CardSuit::None: break;
  }
  return paint(kWhite, "");
}

std::string_view value_name(CardValue v) {
  static constexpr std::string_view names[14] = {"Jester", "A", "2", "3", "4",  "5", "6",
                                                 "7",      "8", "9", "10", "J", "Q", "K"};
  const auto index = static_cast<std::size_t>(v);
  return index < 14 ? names[index] : std::string_view("?");
}

std::string value(CardValue v) { return paint(kBlackOnWhite, value_name(v)); }

std::string card(Card c) { return suit(c.suit) + value(c.value); }

std::string record(std::string_view name, std::initializer_list<Field> fields, bool pretty) {
  std::string out(name);
  if (fields.size() == 0) return out;
  if (pretty) {
    out += " {\n";
    for (const Field& f : fields) {
      out += "    ";
      out += indented(std::string(f.name) + ": " + f.value);
      out += ",\n";
    }
    out += "}";
    return out;
  }
  out += " { ";
  bool first = true;
  for (const Field& f : fields) {
    if (!first) out += ", ";
    first = false;
    out.append(f.name).append(": ").append(f.value);
  }
  out += " }";
  return out;
}

std::string tuple(std::string_view name, std::initializer_list<std::string> items, bool pretty) {
  std::string out(name);
  if (items.size() == 0) return out;
  out += pretty ? "(\n" : "(";
  bool first = true;
  for (const std::string& item : items) {
    if (pretty) {
      out += "    " + indented(item) + ",\n";
    } else {
      if (!first) out += ", ";
      out += item;
    }
    first = false;
  }
  out += ")";
  return out;
}

std::string list(std::span<const std::string> items, bool pretty) {
  if (items.empty()) return "[]";
  std::string out = pretty ? "[\n" : "[";
  bool first = true;
  for (const std::string& item : items) {
    if (pretty) {
      out += "    " + indented(item) + ",\n";
    } else {
      if (!first) out += ", ";
      out += item;
    }
    first = false;
  }
  out += "]";
  return out;
}

std::string debug(Card c) { return card(c); }

std::string debug(const Hand& cards, bool pretty) {
  return list_of(cards, pretty, [](Card c) { return card(c); });
}

std::string debug(const Pile& cards, bool pretty) {
  return list_of(cards, pretty, [](Card c) { return card(c); });
}

std::string debug(const Enemy& e, bool pretty) {
  return record("Enemy",
                {{"card", card(e.card)},
                 {"health", number(static_cast<std::int64_t>(e.health))},
                 {"attack", number(static_cast<std::uint64_t>(e.attack))},
                 {"jester_applied", e.jester_applied ? "true" : "false"}},
                pretty);
}

std::string debug(const Enemy* e, bool pretty) {
  if (e == nullptr) return "None";
  return tuple("Some", {debug(*e, pretty)}, pretty);
}

std::string debug(PlayerId id, bool pretty) { return tuple("PlayerId", {number(id.value)}, pretty); }

std::string debug(ActionType t, bool pretty) {
  switch (t.kind) {
    case ActionType::Kind::PlayCards: return "PlayCards";
    case ActionType::Kind::Discard:
      return tuple("Discard", {number(static_cast<std::uint64_t>(t.discard_amount))}, pretty);
    case ActionType::Kind::Jester: return "Jester";
  }
  return "?";
}

std::string debug(GameResult r, bool pretty) {
  if (r.kind == GameResult::Kind::Won) return "Won";
  return tuple("Lost", {number(static_cast<std::uint64_t>(r.level))}, pretty);
}

std::string debug(const std::optional<GameResult>& r, bool pretty) {
  if (!r) return "None";
  return tuple("Some", {debug(*r, pretty)}, pretty);
}

std::string debug(const Action& a, bool pretty) {
  using Kind = Action::Kind;
  switch (a.kind) {
    case Kind::Play: return tuple("Play", {card(a.cards[0])}, pretty);
    case Kind::AnimalCombo: return tuple("AnimalCombo", {card(a.cards[0]), card(a.cards[1])}, pretty);
    case Kind::Combo: return tuple("Combo", {debug(a.cards, pretty)}, pretty);
    case Kind::Yield: return "Yield";
    case Kind::Discard: return tuple("Discard", {debug(a.cards, pretty)}, pretty);
    case Kind::ChangePlayer: return tuple("ChangePlayer", {debug(a.player, pretty)}, pretty);
    case Kind::RefillHand: return "RefillHand";
  }
  return "?";
}

std::string debug(std::span<const Action> actions, bool pretty) {
  return list_of(actions, pretty, [pretty](const Action& a) { return debug(a, pretty); });
}

std::string debug(const Player& p, bool pretty) {
  return record("Player", {{"id", debug(p.id, pretty)}, {"hand", debug(p.hand, pretty)}}, pretty);
}

std::string debug(const Table& t, bool pretty) {
  return record("Table",
                {{"castle_deck", list_of(t.castle_deck, pretty, [pretty](const Enemy& e) { return debug(e, pretty); })},
                 {"tavern_deck", debug(t.tavern_deck, pretty)},
                 {"discard_pile", debug(t.discard_pile, pretty)},
                 {"attack_cards", debug(t.attack_cards, pretty)}},
                pretty);
}

std::string debug(CorvantaError) { return "WrongNumberOfPlayers"; }

template <int N>
std::string debug(const State<N>& s, bool pretty) {
  return record("State",
                {{"table", debug(s.table, pretty)},
                 {"players", list_of(s.players, pretty, [pretty](const Player& p) { return debug(p, pretty); })},
                 {"has_turn", debug(s.has_turn, pretty)},
                 {"times_yielded", number(s.times_yielded)},
                 {"max_hand_size", number(static_cast<std::uint64_t>(s.max_hand_size))},
                 {"action_type", debug(s.action_type, pretty)},
                 {"has_ended", debug(s.has_ended, pretty)},
                 {"level", number(static_cast<std::uint64_t>(s.level))},
                 {"rng_seed", number(s.rng_seed)},
                 {"hand_refills_left", number(static_cast<std::uint64_t>(s.hand_refills_left))}},
                pretty);
}

template <int N>
std::string display(const State<N>& s) {
  std::string out = "Player: " + debug(s.has_turn) + "\n";
  out += "Hand:   " + debug(s.current_hand()) + "\n";
  out += "Enemy:  " + debug(s.current_enemy());
  return out;
}

template std::string debug<1>(const State<1>&, bool);
template std::string debug<2>(const State<2>&, bool);
template std::string debug<3>(const State<3>&, bool);
template std::string debug<4>(const State<4>&, bool);
template std::string display<1>(const State<1>&);
template std::string display<2>(const State<2>&);
template std::string display<3>(const State<3>&);
template std::string display<4>(const State<4>&);

}  // namespace corvanta::text
