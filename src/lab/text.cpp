#include "lab/text.hpp"

#include <cctype>

#include "game/text.hpp"

namespace corvanta::lab {
namespace {

constexpr std::string_view kSymbols[4] = {"♠", "♥", "♦", "♣"};
constexpr std::string_view kSuitLetters = "shdc";

std::optional<CardValue> parse_value(std::string_view v) {
  for (int i = 1; i < 14; ++i) {
    const std::string_view name = text::value_name(static_cast<CardValue>(i));
    if (name.size() != v.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < v.size(); ++k)
      same = same && std::toupper(static_cast<unsigned char>(v[k])) == name[k];
    if (same) return static_cast<CardValue>(i);
  }
  if (v == "1") return CardValue::Ace;
  return std::nullopt;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::string card_label(Card c) {
  if (c.value == CardValue::Jester) return "Jk";
  return std::string(text::value_name(c.value)) + kSuitLetters[static_cast<int>(c.suit)];
}

std::optional<Card> parse_card(std::string_view text) {
  const std::string low = lower(text);
  if (low == "jk" || low == "jester" || low == "joker") return kJester;
  for (int s = 0; s < 4; ++s) {
    if (text.starts_with(kSymbols[s])) {
      const auto v = parse_value(text.substr(kSymbols[s].size()));
      if (v) return Card{static_cast<CardSuit>(s), *v};
      return std::nullopt;
    }
  }
  if (low.size() < 2) return std::nullopt;
  const std::size_t suit = kSuitLetters.find(low.back());
  if (suit == std::string_view::npos) return std::nullopt;
  const auto v = parse_value(std::string_view(text).substr(0, text.size() - 1));
  if (!v) return std::nullopt;
  return Card{static_cast<CardSuit>(suit), *v};
}

std::string action_text(const Action& a) {
  static constexpr std::string_view kNames[7] = {"play", "animal combo", "combo", "yield",
                                                 "discard", "change player", "refill hand"};
  std::string out(kNames[static_cast<int>(a.kind)]);
  if (a.kind == Action::Kind::ChangePlayer) out += " " + std::to_string(a.player.value);
  if (a.has_cards())
    for (const Card& c : a.cards) out += " " + card_label(c);
  return out;
}

}  // namespace corvanta::lab
