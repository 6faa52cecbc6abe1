#pragma once
// Text forms of the game's values, written once and used by the console dialogue, the display of
// a state, the str() of Python objects, the illegal-action message and the debug dump.
//
// Structured ("debug") forms follow one scheme: a record is its name and `{ field: value, ... }`,
// a variant its name with its fields in parentheses, a list its items in brackets. The pretty
// variant puts every field or item on its own line, indented four spaces per level.
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "game/state.hpp"

namespace corvanta::text {

// Whether card texts carry ANSI colours: decided once per process, from CLICOLOR_FORCE,
// NO_COLOR, CLICOLOR and whether standard output is a terminal.
bool use_colour();
// The decision's rule itself, for given environment values (nullptr = unset).
bool decide_colour(const char* clicolor_force, const char* no_color, const char* clicolor, bool stdout_is_tty);

std::string suit(CardSuit s);
// The plain name of a value: "Jester", "A", "2" .. "10", "J", "Q", "K" ("?" for no value).
std::string_view value_name(CardValue v);
std::string value(CardValue v);
std::string card(Card c);  // suit text then value text, e.g. "♠K"; the jester prints as "Jester"

// Building blocks of the structured forms.
struct Field {
  std::string_view name;
  std::string value;
};
std::string record(std::string_view name, std::initializer_list<Field> fields, bool pretty);
std::string tuple(std::string_view name, std::initializer_list<std::string> items, bool pretty);
std::string list(std::span<const std::string> items, bool pretty);

template <class Items, class Format>
std::string list_of(const Items& items, bool pretty, Format&& format) {
  std::vector<std::string> parts;
  for (const auto& item : items) parts.push_back(format(item));
  return list(parts, pretty);
}

std::string debug(Card c);
std::string debug(const Hand& cards, bool pretty = false);
std::string debug(const Pile& cards, bool pretty = false);
std::string debug(const Enemy& e, bool pretty = false);
std::string debug(const Enemy* e, bool pretty = false);  // None or Some(...)
std::string debug(PlayerId id, bool pretty = false);
std::string debug(ActionType t, bool pretty = false);
std::string debug(GameResult r, bool pretty = false);
std::string debug(const std::optional<GameResult>& r, bool pretty = false);
std::string debug(const Action& a, bool pretty = false);
std::string debug(std::span<const Action> actions, bool pretty = false);
std::string debug(const Player& p, bool pretty = false);
std::string debug(const Table& t, bool pretty = false);
std::string debug(CorvantaError e);
template <int N>
std::string debug(const State<N>& s, bool pretty = false);

// The human-readable three-line form of a state (no final line break).
template <int N>
std::string display(const State<N>& s);

}  // namespace corvanta::text
