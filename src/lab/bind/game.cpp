// corvanta_lab._core's Game and RandomPlayer.
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include "lab/bind/convert.hpp"
#include "lab/values.hpp"
#include "players/random_player.hpp"

namespace corvanta::lab {
namespace {

using namespace nb::literals;

template <class F>
decltype(auto) with_state(const Game& g, F&& f) {
  return std::visit(std::forward<F>(f), g.state());
}

// An id as the game takes it: an integer beyond every id is refused as any illegal id is.
int id_arg(const CheckedInt<std::int64_t>& id) {
  if (id.value && *id.value >= -1 && *id.value <= kNumActionIds) return static_cast<int>(*id.value);
  throw Invalid("action id " + id.text() + " is not legal here");
}

nb::bytes to_py_bytes(const std::string& s) { return nb::bytes(s.data(), s.size()); }
std::string from_py_bytes(const nb::bytes& b) { return std::string(b.c_str(), b.size()); }

// What a position shows: the seats, the cards where everyone can see them, the enemy and
// the result.
void def_position(nb::class_<Game>& c) {
  c.def_prop_ro("num_players", &Game::num_players, "The number of seats (1 to 4).")
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
      .def_prop_ro("reward", &Game::reward, "The team's reward: the enemies defeated (12 for a win).")
      .def_prop_ro("history", [](const Game& g) { return g.history(); }, "The actions applied, in order.")
      .def_prop_ro("turns", [](const Game& g) { return g.history().size(); }, "The number of actions applied.");
}

// Legal moves by action, index and id; masks and observations.
void def_moves(nb::class_<Game>& c) {
  c.def("legal_actions", [](const Game& g) {
        const ActionList& legal = g.legal_actions();
        return std::vector<Action>(legal.begin(), legal.end());
      }, "The legal actions in the rules engine's order (empty once the game is over).")
      .def("apply", [](Game& g, const Action& a) { g.apply(a); }, "action"_a,
           "Apply a legal action, or the action at this index of legal_actions(). Raises ValueError for "
           "an illegal one and leaves the game unchanged.")
      .def("apply", [](Game& g, const CheckedInt<std::int64_t>& index) {
        if (index.value && *index.value < 0) throw Invalid("action index " + index.text() + " is negative");
        if (!index.value) throw Invalid("action index " + index.text() + " is out of range");
        g.apply_index(static_cast<std::size_t>(*index.value));
      }, "action"_a)
      .def("legal_action_ids", &Game::legal_action_ids, "The ids of the legal actions, ascending.")
      .def("action_mask", [](const Game& g) {
        auto mask = owned_array<bool, 1>({static_cast<std::size_t>(kNumActionIds)});
        g.action_mask(reinterpret_cast<std::uint8_t*>(mask.data()));
        return mask;
      }, "A bool array of NUM_ACTIONS flags: True for the legal action ids.")
      .def("apply_id", [](Game& g, const CheckedInt<std::int64_t>& id) { g.apply_id(id_arg(id)); }, "id"_a, "Apply the legal action with this id; ValueError if there is none.")
      .def("action_id", &Game::id_of, "action"_a, "The id of an action in this position.")
      .def("action_from_id", [](const Game& g, const CheckedInt<std::int64_t>& id) {
        if (auto a = g.action_for_id(id_arg(id))) return *a;
        throw Invalid("action id " + id.text() + " is not legal here");
      }, "id"_a, "The legal action with this id; ValueError if there is none.")
      .def("observation", [](const Game& g, std::optional<int> player) {
        const int p = seat(g, player);
        auto out = owned_array<float, 1>({static_cast<std::size_t>(kObservationSize)});
        g.observation(p, out.data());
        return out;
      }, "player"_a = nb::none(), "What this seat may know (the player to act by default), as OBSERVATION_SIZE floats.");
}

// Copies, re-deals, bytes, pickling, replays and the text forms.
void def_copies(nb::class_<Game>& c) {
  c.def("resample", [](const Game& g, std::optional<int> player, std::optional<Seed> seed) {
        return g.resample(seat(g, player), seed_or_entropy(seed));
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
      .def_static("replay", [](int players, const Seed& seed, const std::vector<Action>& history) {
        Game g = Game::create(players, seed.get("seed"));
        for (const Action& a : history) g.apply(a);
        return g;
      }, "players"_a, "seed"_a, "history"_a, "The game of this seed after these actions.")
      .def("__eq__", [](const Game& a, nb::handle b) { return nb::isinstance<Game>(b) && a == nb::cast<const Game&>(b); })
      .def("__str__", &game_text)
      .def("__repr__", [](const Game& g) {
        return "<Game players=" + std::to_string(g.num_players()) + " seed=" + std::to_string(g.seed()) +
               " turns=" + std::to_string(g.history().size()) + (g.over() ? " over" : "") + ">";
      });
}

}  // namespace

void bind_game(nb::module_& m) {
  nb::class_<Game> c(m, "Game",
                   "The true state of one game, stepped from Python. Seeded games are the games of "
                   "corvanta.CorvantaGame with the same seed.");
  c.def("__init__",
           [](Game* self, int players, std::optional<Seed> seed) {
             new (self) Game(Game::create(players, seed_or_entropy(seed)));
           },
           "players"_a, "seed"_a = nb::none());
  def_position(c);
  def_moves(c);
  def_copies(c);
  // Mutable and compared by value: not hashable.
  nb::type<Game>().attr("__hash__") = nb::none();

  nb::class_<RandomPlayer>(m, "RandomPlayer",
                           "Draws uniformly among the legal actions: with the same seed, the same choices as "
                           "corvanta.players.RandomPlayer.")
      .def("__init__", [](RandomPlayer* self, std::optional<Seed> seed) {
        new (self) RandomPlayer(seed_or_entropy(seed));
      }, "seed"_a = nb::none())
      .def("play", [](RandomPlayer& p, const Game& g) {
        if (g.over()) throw Invalid("the game is over: there is nothing to play");
        return std::visit([&](const auto& s) { return p.play(s); }, g.state());
      }, "game"_a, "The chosen action (one of game.legal_actions()).");
}

}  // namespace corvanta::lab
