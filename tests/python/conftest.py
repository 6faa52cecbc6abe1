"""Shared helpers of the Python tests. The tests import the installed (or PYTHONPATH) module."""
import os
import subprocess
import sys

# Texts are compared in their plain form. The module decides about colour once per process, on
# first use, so the environment is fixed before any test runs.
os.environ.pop("CLICOLOR_FORCE", None)
os.environ["NO_COLOR"] = "1"

import corvanta  # noqa: E402
import pytest  # noqa: E402

card = corvanta.card
actions = corvanta.actions
players = corvanta.players
Card, CardSuit, CardValue = card.Card, card.CardSuit, card.CardValue
ALL_ACTION_CLASSES = [getattr(actions, name) for name in actions.__all__]


def c(text):
    """A card from a short code: suit letter S/H/D/C then A, 2..10, J, Q, K; X is the jester."""
    if text == "X":
        return Card(getattr(CardSuit, "None"), CardValue.Jester)
    suits = {"S": CardSuit.Spades, "H": CardSuit.Hearts, "D": CardSuit.Diamonds, "C": CardSuit.Clubs}
    values = {"A": "Ace", "2": "Two", "3": "Three", "4": "Four", "5": "Five", "6": "Six", "7": "Seven",
              "8": "Eight", "9": "Nine", "10": "Ten", "J": "Jack", "Q": "Queen", "K": "King"}
    return Card(suits[text[0]], getattr(CardValue, values[text[1:]]))


class FirstAction:
    """A Python player taking the first legal action; remembers the states it saw."""

    def __init__(self):
        self.seen = []

    def play(self, state):
        self.seen.append(state)
        return state.action_space()[0]


class Wrapping:
    """A Python player that lets a built-in RandomPlayer choose, and records the choices."""

    def __init__(self, inner):
        self.inner = inner
        self.chosen = []

    def play(self, state):
        action = self.inner.play(state)
        self.chosen.append(str(action))
        return action


def first_state(n=1, seed=3):
    """The initial PyState of a seeded game of n seats."""
    spy = FirstAction()

    class Stop(Exception):
        pass

    class Once:
        def play(self, state):
            spy.seen.append(state)
            raise Stop

    game = corvanta.CorvantaGame([Once()] + [FirstAction() for _ in range(n - 1)], seed)
    with pytest.raises(Stop):
        game.playout()
    return spy.seen[0]


def run_python(code, stdin=b"", env_changes=None, timeout=60):
    """Runs code in a fresh interpreter that imports the same module; returns the finished process."""
    env = dict(os.environ)
    env.pop("NO_COLOR", None)
    env.pop("CLICOLOR", None)
    env.pop("CLICOLOR_FORCE", None)
    env.update(env_changes or {})
    return subprocess.run([sys.executable, "-c", code], input=stdin, capture_output=True, env=env, timeout=timeout)


@pytest.fixture
def empty_stdin():
    """Standard input at its end, for the console player of this process."""
    saved = os.dup(0)
    null = os.open(os.devnull, os.O_RDONLY)
    os.dup2(null, 0)
    os.close(null)
    yield
    os.dup2(saved, 0)
    os.close(saved)
