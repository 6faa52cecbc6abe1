"""The whole Python API driven by a stateful fuzzer: games of every kind of seat are created and
played, the search is asked about states kept from games long over, and players raise inside
play. Every step ends in a result or an ordinary exception, and the invariants hold."""

import corvanta
import pytest
from conftest import players
from hypothesis import HealthCheck, settings
from hypothesis import strategies as st
from hypothesis.stateful import Bundle, RuleBasedStateMachine, initialize, multiple, precondition, rule


def panic_type():
    try:
        corvanta.CorvantaGame([players.MCTSPlayer(1, 1, True, 0, 0)]).playout()  # no samples: no action
    except BaseException as e:  # noqa: B036
        return type(e)


PANIC = panic_type()
SEEDS = st.none() | st.integers(0, 2**64 - 1)


class Boom(Exception):
    pass


class Scripted:
    """A Python player: keeps every state it is given, and then acts as its kind says."""

    def __init__(self, kind, kept):
        self.kind, self.kept = kind, kept

    def play(self, state):
        self.kept.append(state)
        if self.kind == "raise":
            raise Boom
        if self.kind == "junk":
            return 5
        if self.kind == "illegal":
            return corvanta.actions.ActionChangePlayer(7)
        if self.kind == "nested":
            corvanta.CorvantaGame([players.RandomPlayer(1)]).playout()
        return state.action_space()[-1]


class Api(RuleBasedStateMachine):
    seats = Bundle("seats")
    games = Bundle("games")
    states = Bundle("states")

    @initialize()
    def start(self):
        self.kept = []

    @rule(target=seats, seed=SEEDS)
    def random_player(self, seed):
        return players.RandomPlayer(seed)

    @rule(target=seats, playouts=st.integers(0, 30), threads=st.integers(0, 3), heuristics=st.booleans(),
          policy=st.sampled_from([None, 0, 1, 2, 3, 4]), samples=st.none() | st.integers(0, 2))
    def search_player(self, playouts, threads, heuristics, policy, samples):
        return players.MCTSPlayer(playouts, threads, heuristics, policy, samples)

    @rule(target=seats)
    def console_player(self):
        return players.InputPlayer()  # standard input is empty: its move fails

    @rule(target=seats, kind=st.sampled_from(["first", "raise", "junk", "illegal", "nested"]))
    def python_player(self, kind):
        return Scripted(kind, self.kept)

    @rule(target=seats, game=games)
    def game_as_seat(self, game):
        return game  # has no play method

    @rule(target=games, chosen=st.lists(seats, max_size=5), seed=SEEDS)
    def new_game(self, chosen, seed):
        if not 1 <= len(chosen) <= 4:
            with pytest.raises(ValueError, match="^Only 1-4 players are allowed$"):
                corvanta.CorvantaGame(chosen, seed)
            return multiple()
        return corvanta.CorvantaGame(chosen, seed)

    @rule(game=games)
    def play(self, game):
        before = game.reward()
        try:
            result = game.playout()
            assert result == 0 or result == 1
        except (Boom, KeyError, TypeError, AttributeError, PANIC):
            pass
        assert before <= game.reward() <= 12

    @precondition(lambda self: self.kept)
    @rule(target=states, index=st.integers(0))
    def keep_state(self, index):
        return self.kept[index % len(self.kept)]

    @rule(state=states, playouts=st.integers(0, 40), threads=st.integers(1, 3), samples=st.integers(0, 2))
    def ask_the_search(self, state, playouts, threads, samples):
        player = players.MCTSPlayer(playouts, threads, True, None, samples)
        legal = state.action_space()
        try:
            action = player.play(state)
        except PANIC:
            assert player.ranked_actions() == [] and (samples == 0 or not legal)
            return
        ranking = player.ranked_actions()
        assert ranking[0][0] == action and any(action == a for a in legal)
        assert sum(visits for _, visits, _ in ranking) == playouts * samples

    @rule(state=states, seed=SEEDS)
    def ask_a_random_player(self, state, seed):
        legal = state.action_space()
        if legal:
            action = players.RandomPlayer(seed).play(state=state)
            assert any(action == a for a in legal)

    @rule(state=states)
    def read_a_state(self, state):
        assert 0 <= state.reward() <= 12 and len(state.current_hand()) <= 8
        str(state), state.has_turn(), state.current_enemy()


def test_api_state_machine(empty_stdin, capfd):
    Api.TestCase.settings = settings(max_examples=60, stateful_step_count=25, deadline=None,
                                     suppress_health_check=list(HealthCheck))
    Api.TestCase().runTest()
