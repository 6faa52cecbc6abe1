#pragma once
// The lab's values as its callers build and print them: construction that checks every field
// (throwing Invalid), and the repr and text forms. No Python here.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "game/action.hpp"
#include "game/enemy.hpp"
#include "lab/game.hpp"

namespace corvanta::lab {

Card make_card(CardSuit suit, CardValue value);
// The card with this index (0 .. 52).
Card card_at(int index);
// The card of a label or a card text ("5h", "10c", "Ks", "Jk", "♥5").
Card card_of_text(std::string_view text);
// An enemy of a royal card: starting health and attack unless given, never above them.
Enemy make_enemy(Card card, std::optional<int> health, std::optional<int> attack, bool jester_applied);
// An action of this kind with these cards (as many as the kind names) and, for ChangePlayer
// only, a target seat.
Action make_action(Action::Kind kind, const std::vector<Card>& cards, std::optional<int> target);

// Python-style reprs: "Card.parse('5h')", "Action(ActionKind.PLAY, (Card.parse('5h'),))",
// "Enemy(Card.parse('Js'), health=20, attack=10, jester_applied=False)".
std::string card_repr(Card c);
std::string action_repr(const Action& a);
std::string enemy_repr(const Enemy& e);
// "♠J (health 20, attack 10)".
std::string enemy_text(const Enemy& e);
// A few lines: players, level and who acts, the enemy, every hand, the piles' sizes.
std::string game_text(const Game& g);

}  // namespace corvanta::lab
