#pragma once
// The lab's text forms of cards and actions, in the notation of the console: never coloured, so
// that they read the same in a log, a notebook and a terminal.
#include <optional>
#include <string>
#include <string_view>

#include "game/action.hpp"

namespace corvanta::lab {

// The lab's one notation for a card, the one people type at the console: "Ks", "10d", "Ah",
// "Jk" for the jester.
std::string card_label(Card c);
// A label in any letter case ("5h", "10C", "jk"), or the symbol forms of the corvanta module's
// texts ("♥5", "Jester").
std::optional<Card> parse_card(std::string_view text);
// "play 5s", "animal combo Ah 7c", "combo 2d 2s", "yield", "discard 3s Kh", "change player 1",
// "refill hand".
std::string action_text(const Action& a);

}  // namespace corvanta::lab
