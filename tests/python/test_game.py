"""The game driver: the loop, its refusals, the held state, determinism and seat copies."""
import corvanta
import pytest
from conftest import FirstAction, Wrapping, actions, c, first_state, players

A = actions
LEGAL_AT_SEED_3 = ("[Play(♣5), Play(♥6), Play(♣9), Play(♠2), Play(♥9), Play(♥2), Play(♦5), Play(♠6), "
                   "Combo([♠2, ♥2]), Combo([♣5, ♦5]), Yield, RefillHand]")


class Returns:
    """A Python player that returns the given objects, one per turn."""

    def __init__(self, *results):
        self.results = list(results)
        self.states = []

    def play(self, state):
        self.states.append(state)
        return self.results.pop(0)


@pytest.mark.parametrize(
    "illegal, text",
    [
        (A.ActionPlay(c("SA")), "Play(♠A)"),
        (A.ActionCombo([c("H2"), c("S2")]), "Combo([♥2, ♠2])"),  # legal only in the other order
        (A.ActionChangePlayer(0), "ChangePlayer(PlayerId(0))"),
        (A.ActionDiscard([c("C5")]), "Discard([♣5])"),
    ],
)
def test_an_illegal_action_is_refused_with_the_legal_list(illegal, text):
    game = corvanta.CorvantaGame([Returns(illegal)], 3)
    with pytest.raises(KeyError) as info:
        game.playout()
    assert info.value.args == (f"'{text}' is not a legal action. Legal actions are: {LEGAL_AT_SEED_3}",)
    assert game.reward() == 0


def test_a_refused_action_leaves_the_state_and_play_goes_on_from_it():
    class RefusedOnce:
        def __init__(self):
            self.states = []
            self.illegal = True

        def play(self, state):
            self.states.append(state)
            if len(self.states) == 2 and self.illegal:
                return A.ActionPlay(c("SA"))
            return state.action_space()[0]

    player = RefusedOnce()
    game = corvanta.CorvantaGame([player], 3)
    with pytest.raises(KeyError):
        game.playout()
    reward = game.reward()
    assert reward == player.states[1].reward()
    player.illegal = False
    game.playout()
    assert str(player.states[2]) == str(player.states[1])
    assert player.states[2].action_space() == player.states[1].action_space()


def test_a_python_player_returning_a_non_action():
    game = corvanta.CorvantaGame([Returns(5)], 3)
    with pytest.raises(TypeError) as info:
        game.playout()
    lines = str(info.value).split("\n")
    assert lines[0] == ("failed to extract enum PyAction ('PyActionPlay | PyActionAnimalCombo | PyActionCombo | "
                        "PyActionYield | PyActionDiscard | PyActionChangePlayer | PyActionRefillHand')")
    names = ["Play", "AnimalCombo", "Combo", "Yield", "Discard", "ChangePlayer", "RefillHand"]
    assert lines[1:] == [f"- variant PyAction{n} (PyAction{n}): 'int' object cannot be converted to 'Action{n}'"
                         for n in names]


def test_exceptions_of_python_players_pass_unchanged():
    error = LookupError("mine")

    class Raises:
        def play(self, state):
            raise error

    with pytest.raises(LookupError) as info:
        corvanta.CorvantaGame([Raises()], 1).playout()
    assert info.value is error


def test_the_play_method_is_called_with_the_keyword_state():
    class Other:
        def play(self, s):
            return s.action_space()[0]

    class Anything:
        def play(self, *args, **kwargs):
            assert args == () and list(kwargs) == ["state"]
            return kwargs["state"].action_space()[0]

    with pytest.raises(TypeError, match="unexpected keyword argument 'state'"):
        corvanta.CorvantaGame([Other()], 1).playout()
    corvanta.CorvantaGame([Anything()], 1).playout()


@pytest.mark.parametrize("players_arg", ["ab", [object()], [1, 2, 3]])
def test_objects_without_play_fail_at_the_first_turn(players_arg):
    game = corvanta.CorvantaGame(players_arg, 1)
    with pytest.raises(AttributeError, match="has no attribute 'play'"):
        game.playout()


def test_a_player_calling_back_into_its_game():
    seen = []

    class Reentrant:
        def play(self, state):
            for call, message in ((game.reward, "Already mutably borrowed"), (game.print, "Already mutably borrowed"),
                                  (game.playout, "Already borrowed")):
                try:
                    call()
                except RuntimeError as e:
                    seen.append(str(e) == message)
            return state.action_space()[0]

    game = corvanta.CorvantaGame([Reentrant()], 2)
    game.playout()
    assert seen and all(seen) and len(seen) % 3 == 0
    assert isinstance(game.reward(), int)


def test_an_uncaught_borrow_error_ends_playout():
    class Nested:
        def play(self, state):
            return game.playout()

    game = corvanta.CorvantaGame([Nested()], 2)
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        game.playout()
    game.reward()  # the game is free again


def test_after_the_end_the_game_holds_the_state_before_the_ending_action():
    player = FirstAction()
    game = corvanta.CorvantaGame([player], 5)
    result = game.playout()
    last = player.seen[-1]
    assert game.reward() == last.reward()
    again = game.playout()
    assert again == result
    assert str(player.seen[-1]) == str(last)
    assert player.seen[-1].action_space() == last.action_space()
    assert player.seen[-1] is not last


def test_seats_follow_has_turn():
    seats = [FirstAction() for _ in range(3)]
    corvanta.CorvantaGame(seats, 11).playout()
    for index, seat in enumerate(seats):
        assert seat.seen
        assert all(str(s).startswith(f"Player: PlayerId({index})\n") for s in seat.seen)


@pytest.mark.parametrize("count", [1, 2, 3, 4])
def test_seeded_games_repeat(count):
    def run():
        seats = [Wrapping(players.RandomPlayer(10 + i)) for i in range(count)]
        game = corvanta.CorvantaGame(seats, 99)
        result = game.playout()
        return int(result), game.reward(), [s.chosen for s in seats]

    assert run() == run()
    native = [corvanta.CorvantaGame([players.RandomPlayer(10 + i) for i in range(count)], 99) for _ in range(2)]
    results = [(int(g.playout()), g.reward()) for g in native]
    assert results[0] == results[1] == run()[:2]


def test_known_outcome_of_seed_7():
    game = corvanta.CorvantaGame([players.RandomPlayer(1)], 7)
    assert game.playout() == 1
    assert game.reward() == 0


def test_built_in_players_are_copied_into_the_game():
    state = first_state(seed=4)
    player = players.RandomPlayer(21)
    for _ in range(3):
        player.play(state)  # advance the generator before the game copies it
    twin = players.RandomPlayer(21)
    for _ in range(3):
        twin.play(state)
    game = corvanta.CorvantaGame([player], 8)
    wrapped = Wrapping(twin)
    reference = corvanta.CorvantaGame([wrapped], 8)
    assert (int(game.playout()), game.reward()) == (int(reference.playout()), reference.reward())
    # The game played with its own copy: the caller's generator did not move.
    fresh = players.RandomPlayer(21)
    for _ in range(3):
        fresh.play(state)
    assert [str(player.play(state)) for _ in range(20)] == [str(fresh.play(state)) for _ in range(20)]


def test_random_player_play_from_python():
    state = first_state(seed=3)
    a, b = players.RandomPlayer(5), players.RandomPlayer(5)
    picks = [a.play(state) for _ in range(30)]
    assert picks == [b.play(state=state) for _ in range(30)]
    legal = state.action_space()
    assert all(any(p == l for l in legal) for p in picks)
    assert len({str(p) for p in picks}) > 1


def test_print_writes_the_state_dump_to_standard_error(capfd):
    game = corvanta.CorvantaGame([players.RandomPlayer(1)], 3)
    assert game.print() is None
    out, err = capfd.readouterr()
    assert out == ""
    head, body = err.split("] &self.state = ", 1)
    assert head.startswith("[src/python/") and head.split(":")[-1].isdigit()
    assert body.startswith("PyState {\n    state_enum: Players1(\n        State {\n            table: Table {\n"
                           "                castle_deck: [\n                    Enemy {\n")
    for piece in ["            players: [\n                Player {\n                    id: PlayerId(\n"
                  "                        0,\n                    ),\n                    hand: [\n"
                  "                        ♣5,\n",
                  "            has_turn: PlayerId(\n                0,\n            ),\n",
                  "            action_type: PlayCards,\n            has_ended: None,\n            level: 0,\n",
                  "                discard_pile: [],\n                attack_cards: [],\n            },\n"]:
        assert piece in body
    assert body.endswith("            hand_refills_left: 2,\n        },\n    ),\n}\n")


def test_print_shows_tuple_variants_on_their_own_lines(capfd):
    class StopAtDiscard:
        def play(self, state):
            legal = state.action_space()
            if str(legal[0]).startswith("Discard"):
                raise StopIteration
            return legal[0]

    game = corvanta.CorvantaGame([StopAtDiscard()], 3)
    with pytest.raises(StopIteration):
        game.playout()
    capfd.readouterr()
    game.print()
    err = capfd.readouterr().err
    lines = err.split("\n")
    at = lines.index("            action_type: Discard(")
    assert lines[at + 1].strip().rstrip(",").isdigit() and lines[at + 1].startswith("                ")
    assert lines[at + 2] == "            ),"
    assert err.count("\n") == len(lines) - 1 and err.endswith("}\n")
