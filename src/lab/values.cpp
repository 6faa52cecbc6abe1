#include "lab/values.hpp"

#include "lab/text.hpp"

namespace corvanta::lab {

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

Card card_of_text(std::string_view text) {
  if (auto c = parse_card(text)) return *c;
  throw Invalid("cannot read a card from '" + std::string(text) + "' (try '5h', '10c', 'Ks' or 'Jk')");
}

Enemy make_enemy(Card card, std::optional<int> health, std::optional<int> attack, bool jester_applied) {
  if (!is_royal(card.value)) throw Invalid(card_label(card) + " is not an enemy");
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

Action make_action(Action::Kind kind, const std::vector<Card>& cards, std::optional<int> target) {
  static constexpr const char* kWhat[7] = {"a play", "an animal combo", "a combo", "a yield", "a discard",
                                           "a change of player", "a refill"};
  Action a;
  a.kind = kind;
  const Action::CardCount count = Action::card_count(kind);
  if (count.max == 0) {
    if (!cards.empty()) throw Invalid("this action takes no cards");
  } else {
    if (cards.size() < count.min || cards.size() > count.max)
      throw Invalid(std::string(kWhat[static_cast<int>(kind)]) + " takes " +
                    (count.min == count.max ? std::to_string(count.min)
                                            : std::to_string(count.min) + " to " + std::to_string(count.max)) +
                    " cards, not " + std::to_string(cards.size()));
    for (const Card& c : cards) a.cards.push_back(c);
    if (kind == Action::Kind::AnimalCombo && a.cards[0].value != CardValue::Ace)
      throw Invalid("an animal combo starts with its Ace");
  }
  if (kind == Action::Kind::ChangePlayer) {
    if (!target || *target < 0 || *target > 3) throw Invalid("change player needs a target seat 0 .. 3");
    a.player = PlayerId{static_cast<std::uint64_t>(*target)};
  } else if (target) {
    throw Invalid("only change player has a target");
  }
  return a;
}

std::string card_repr(Card c) { return "Card.parse('" + card_label(c) + "')"; }

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

std::string enemy_repr(const Enemy& e) {
  return "Enemy(" + card_repr(e.card) + ", health=" + std::to_string(e.health) + ", attack=" +
         std::to_string(e.attack) + ", jester_applied=" + (e.jester_applied ? "True" : "False") + ")";
}

std::string enemy_text(const Enemy& e) {
  return card_label(e.card) + " (health " + std::to_string(e.health) + ", attack " + std::to_string(e.attack) +
         (e.jester_applied ? ", jester" : "") + ")";
}

std::string game_text(const Game& g) {
  return std::visit(
      [&](const auto& s) {
        std::string out = "players " + std::to_string(g.num_players()) + ", level " + std::to_string(s.level);
        if (g.result())
          out += g.result()->kind == GameResult::Kind::Won ? ", won" : ", lost";
        else
          out += ", player " + std::to_string(s.has_turn.value) + " to act";
        out += "\nenemy: ";
        if (const Enemy* e = s.current_enemy())
          out += card_label(e->card) + " health " + std::to_string(e->health) + " attack " + std::to_string(e->attack) +
                 (e->jester_applied ? " (jester)" : "");
        else
          out += "none";
        for (const Player& p : s.players) {
          out += "\nhand " + std::to_string(p.id.value) + ":";
          for (const Card& c : sorted_hand(p.hand)) out += " " + card_label(c);
        }
        out += "\ntavern " + std::to_string(s.table.tavern_deck.size()) + ", discard " +
               std::to_string(s.table.discard_pile.size()) + ", castle " + std::to_string(s.table.castle_deck.size());
        return out;
      },
      g.state());
}

}  // namespace corvanta::lab
