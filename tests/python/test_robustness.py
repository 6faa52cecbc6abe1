"""Every constructor and method called with arbitrary arguments either works or raises an
ordinary exception; the process survives."""
import operator

import corvanta
import pytest
from conftest import ALL_ACTION_CLASSES, FirstAction, c, first_state, players
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

C = corvanta.card


class RaisingIndex:
    def __index__(self):
        raise ArithmeticError("index")


class RaisingLen:
    def __len__(self):
        raise ArithmeticError("len")

    def __getitem__(self, i):
        raise ArithmeticError("getitem")


class HugeLen:
    def __len__(self):
        return 2**62

    def __getitem__(self, i):
        if i > 10:
            raise IndexError
        return c("S2")


class LyingSequence(list):
    def __iter__(self):
        raise ArithmeticError("iter")


STATE = first_state(2, seed=5)
A = corvanta.actions
SAMPLES = [c("SA"), c("X"), C.CardSuit.Hearts, C.CardValue.King, STATE, STATE.current_enemy(), STATE.has_turn(),
           players.RandomPlayer(1), players.InputPlayer(), players.MCTSPlayer(8, 1, True), FirstAction(), corvanta.CorvantaGame([FirstAction()], 1),
           A.ActionPlay(c("S2")), A.ActionAnimalCombo(c("SA"), c("H2")), A.ActionCombo([c("S2"), c("H2")]),
           A.ActionYield(), A.ActionDiscard([c("S2")]), A.ActionChangePlayer(3), A.ActionRefillHand(), corvanta,
           C.Card, str, object()]

leaves = st.one_of(
    st.none(), st.booleans(), st.integers(), st.integers(min_value=-(2**70), max_value=2**70), st.floats(),
    st.text(max_size=4), st.binary(max_size=4), st.sampled_from(SAMPLES),
    st.sampled_from([RaisingIndex(), RaisingLen(), HugeLen(), LyingSequence([c("S2")]), (x for x in [c("S3")])]),
)
values = st.recursive(leaves, lambda inner: st.one_of(st.lists(inner, max_size=9), st.tuples(inner, inner),
                                                      st.dictionaries(st.text(max_size=2), inner, max_size=2)),
                      max_leaves=12)
names = st.sampled_from(["card", "c1", "c2", "cards", "id", "seed", "state", "players", "suit", "value", "x",
                        "playouts", "num_threads", "use_heuristics", "policy_variation", "deterministic_samples"])
kwargs = st.dictionaries(names, values, max_size=3)
argsets = st.lists(values, max_size=4)


def play_safely(*args, **kw):
    """A game built from the arguments, played only when no seat would read the console."""
    game = corvanta.CorvantaGame(*args, **kw)
    seats = args[0] if args else kw.get("players")
    if not any(type(s) is players.InputPlayer for s in seats):
        game.playout()
    game.reward()


CALLABLES = {
    "Card": C.Card, "CardSuit": C.CardSuit, "CardValue": C.CardValue, "all": C.CardSuit.all,
    "numbers": C.CardValue.numbers, "royals": C.CardValue.royals,
    **{cls.__name__: cls for cls in ALL_ACTION_CLASSES},
    "RandomPlayer": players.RandomPlayer, "RandomPlayer.play": players.RandomPlayer(3).play,
    "InputPlayer": players.InputPlayer, "MCTSPlayer": players.MCTSPlayer,
    "MCTSPlayer.play": players.MCTSPlayer(8, 1, False).play, "ranked_actions": players.MCTSPlayer(8, 1, True).ranked_actions,
    "CorvantaGame": corvanta.CorvantaGame, "playout": play_safely,
    "print": corvanta.CorvantaGame([FirstAction()], 2).print, "reward": corvanta.CorvantaGame([FirstAction()]).reward,
    **{f"PyState.{m}": getattr(STATE, m) for m in ("action_space", "has_turn", "current_hand", "reward",
                                                   "current_enemy")},
}


@pytest.mark.parametrize("name", sorted(CALLABLES))
@settings(max_examples=60, deadline=None, suppress_health_check=list(HealthCheck))
@given(args=argsets, kw=kwargs)
def test_any_call_is_survived(name, args, kw):
    try:
        CALLABLES[name](*args, **kw)
    except Exception:
        pass


OPERATORS = [operator.eq, operator.ne, operator.lt, operator.le, operator.gt, operator.ge]


@settings(max_examples=400, deadline=None, suppress_health_check=list(HealthCheck))
@given(a=st.sampled_from(SAMPLES), b=values, op=st.sampled_from(OPERATORS), swap=st.booleans())
def test_any_comparison_is_survived(a, b, op, swap):
    try:
        op(b, a) if swap else op(a, b)
    except Exception:
        pass
    for convert in (str, repr, int, hash, bool):
        try:
            convert(a)
        except Exception:
            pass
