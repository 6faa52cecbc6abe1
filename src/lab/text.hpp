#pragma once
// The lab's text forms of cards and actions: never coloured, so that they read the same in a
// log, a notebook and a terminal.
#include <optional>
#include <string>
#include <string_view>

#include "game/action.hpp"

namespace corvanta::lab {

// "♠K", "♦10", "Jester".
std::string card_text(Card c);
// The short label typed by people: "Ks", "10d", "Ah", "Jk" for the jester.
std::string card_label(Card c);
// A label or a card text, in any letter case ("5h", "10C", "♥5", "jk", "Jester").
std::optional<Card> parse_card(std::string_view text);
// "play ♠5", "animal combo ♥A ♣7", "combo ♦2 ♠2", "yield", "discard ♠3 ♥K", "change player 1",
// "refill hand".
std::string action_text(const Action& a);

}  // namespace corvanta::lab
