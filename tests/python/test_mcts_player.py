"""The search player: construction, rankings, refusals and its seat in a game."""
import math

import corvanta
import pytest
from conftest import first_state, players

MCTSPlayer = players.MCTSPlayer
RANKED_DOC = "\n".join([
    "List actions with associated stats, sorted by most visits in the MCTS.",
    "The first Action in the list is considered the best move to play, and is",
    "also what `play()` will return.",
    "",
    "Updates on calls to `play()`.",
    "",
    "# Returns",
    "List of tuples in the form `(action, visits, avg_reward)`",
])


def panic(call):
    """Runs call, which must fail with PanicException (not an ordinary Exception); its message."""
    try:
        call()
    except Exception as e:  # pragma: no cover - the failure we test against
        pytest.fail(f"ordinary exception {e!r}")
    except BaseException as e:
        assert type(e).__name__ == "PanicException"
        return e.args[0]
    pytest.fail("no exception")


def state_with_one_action():
    """A state of a seeded one-player game in which exactly one action is legal."""
    class Find:
        def __init__(self):
            self.chooser = players.RandomPlayer(51)
            self.found = None

        def play(self, state):
            if self.found is None and len(state.action_space()) == 1:
                self.found = state
            return self.chooser.play(state)

    finder = Find()
    corvanta.CorvantaGame([finder], 51).playout()
    assert finder.found is not None
    return finder.found


def test_interface_and_documentation():
    assert players.__all__ == ["RandomPlayer", "InputPlayer", "MCTSPlayer"]
    assert MCTSPlayer.__doc__ == ""
    assert MCTSPlayer.play.__doc__ == "Choose an action based on the given state"
    assert MCTSPlayer.ranked_actions.__doc__ == RANKED_DOC
    visible = {name for name in dir(MCTSPlayer(1, 1, True)) if not name.startswith("__")}
    assert visible == {"play", "ranked_actions"}
    assert MCTSPlayer(1, 1, True).ranked_actions() == []


@pytest.mark.parametrize("args, kwargs", [
    ((0, 0, False), {}),
    ((1, 2, True, None, None), {}),
    ((1,), {"num_threads": 2, "use_heuristics": True, "policy_variation": 255, "deterministic_samples": 0}),
    ((2**32 - 1, 2**64 - 1, False, 1, 2**32 - 1), {}),
])
def test_constructor_accepts_what_the_game_would_refuse_later(args, kwargs):
    MCTSPlayer(*args, **kwargs)


@pytest.mark.parametrize("args, kwargs, error, message", [
    ((), {}, TypeError, "MCTSPlayer.__new__() missing 3 required positional arguments: "
                        "'playouts', 'num_threads' and 'use_heuristics'"),
    ((1, 1, True, None, 1, 9), {}, TypeError,
     "MCTSPlayer.__new__() takes from 3 to 5 positional arguments but 6 were given"),
    ((1, 1, 1), {}, TypeError, "argument 'use_heuristics': 'int' object cannot be converted to 'PyBool'"),
    ((1, 1, True), {"samples": 2}, TypeError, "MCTSPlayer.__new__() got an unexpected keyword argument 'samples'"),
    (("1", 1, True), {}, TypeError, "argument 'playouts': 'str' object cannot be interpreted as an integer"),
    ((2**32, 1, True), {}, OverflowError, None),
    ((1, -1, True), {}, OverflowError, None),
    ((1, 1, True, 256), {}, OverflowError, None),
    ((1, 1, True, None, 2**32), {}, OverflowError, None),
])
def test_constructor_refusals(args, kwargs, error, message):
    with pytest.raises(error) as info:
        MCTSPlayer(*args, **kwargs)
    if message is not None:
        assert str(info.value) == message


@pytest.mark.parametrize("policy", [None, 0, 2, 3, 4])
@pytest.mark.parametrize("samples", [1, 3])
def test_one_thread_ranking_counts_every_playout(policy, samples):
    state = first_state(2, seed=11)
    player = MCTSPlayer(120, 1, True, policy, samples)
    chosen = player.play(state)
    ranking = player.ranked_actions()
    legal = state.action_space()
    assert sorted(map(str, (a for a, _, _ in ranking))) == sorted(map(str, legal))
    assert len(ranking) == len(legal)
    assert sum(v for _, v, _ in ranking) == 120 * samples
    assert chosen == ranking[0][0]
    keys = [(v, r * v) for _, v, r in ranking if v > 0]
    assert keys == sorted(keys, key=lambda k: (-k[0], -k[1]))  # visits, then reward sum
    assert all(0.0 <= r <= 12.0 for _, v, r in ranking if v > 0)


def test_zero_playouts_list_every_action_unvisited():
    state = first_state(3, seed=2)
    player = MCTSPlayer(0, 0, False)  # no playout runs, so no worker thread is needed
    chosen = player.play(state)
    ranking = player.ranked_actions()
    assert len(ranking) == len(state.action_space())
    assert all(v == 0 and math.isnan(r) for _, v, r in ranking)
    assert chosen == ranking[0][0]


@pytest.mark.parametrize("args, message", [
    ((30, 1, False, 1), "Could not determine policy from number '1'"),
    ((30, 1, False, 9), "Could not determine policy from number '9'"),
    ((30, 1, False, None, 0), "No actions available to choose from"),
    ((30, 0, False), "assertion failed: num_threads != 0"),
])
def test_failed_moves_are_panics_and_store_nothing(args, message):
    state = first_state(1, seed=4)
    player = MCTSPlayer(*args)
    assert panic(lambda: player.play(state)) == message
    assert panic(lambda: player.play(state)) == message  # the player is unchanged and fails again
    assert player.ranked_actions() == []


def test_policy_zero_is_the_default_policy():
    state = first_state(2, seed=9)
    for policy in (None, 0):
        player = MCTSPlayer(60, 1, True, policy)
        player.play(state)
        assert sum(v for _, v, _ in player.ranked_actions()) == 60


def test_single_legal_action_is_searched_and_returned():
    state = state_with_one_action()
    (only,) = state.action_space()
    player = MCTSPlayer(40, 1, True, None, 2)
    assert player.play(state=state) == only
    ((action, visits, avg),) = player.ranked_actions()
    assert action == only and visits == 80 and 0 <= avg <= 12


def test_ranked_actions_are_new_lists_of_new_objects():
    player = MCTSPlayer(50, 1, True)
    player.play(first_state(2, seed=6))
    one, two = player.ranked_actions(), player.ranked_actions()
    assert one is not two
    assert [(str(a), v) for a, v, _ in one] == [(str(a), v) for a, v, _ in two]
    for (a, _, _), (b, _, _) in zip(one, two):
        assert a == b and a is not b


def test_play_refuses_what_is_not_a_state():
    player = MCTSPlayer(5, 1, True)
    with pytest.raises(TypeError, match="argument 'state': 'int' object cannot be converted to 'PyState'"):
        player.play(3)
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'state'"):
        player.play()


def test_game_plays_its_own_copy_of_the_player():
    searcher = MCTSPlayer(30, 1, True)
    searcher.play(first_state(2, seed=8))
    before = [(str(a), v) for a, v, _ in searcher.ranked_actions()]
    game = corvanta.CorvantaGame([searcher, players.RandomPlayer(2)], 8)
    assert game.playout() in (0, 1)
    assert [(str(a), v) for a, v, _ in searcher.ranked_actions()] == before


@pytest.mark.parametrize("seats", [1, 2, 3, 4])
def test_whole_games_of_search_players_end(seats):
    game = corvanta.CorvantaGame([MCTSPlayer(40, 2, seat % 2 == 0, None, 1) for seat in range(seats)], seats)
    result = game.playout()
    assert result in (0, 1)
    assert 0 <= game.reward() <= 12
