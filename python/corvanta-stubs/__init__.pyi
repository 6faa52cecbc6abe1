# Types of the `corvanta` extension module, exactly as it is. The submodules `card`, `actions`
# and `players` are attributes of the module (they are not importable on their own); the classes
# that no module registers (PyState, Enemy, PlayerId, GameResult, PanicException) are reached
# only through values and exceptions, and are named here for annotations and `except` clauses.
from collections.abc import Sequence
from typing import Protocol, final, type_check_only

from . import actions as actions
from . import card as card
from . import players as players
from ._values import Enemy as Enemy
from ._values import GameResult as GameResult
from ._values import PanicException as PanicException
from ._values import PlayerId as PlayerId
from ._values import PyState as PyState
from .actions import Action

__all__ = ["card", "actions", "players", "CorvantaGame"]

@type_check_only
class Player(Protocol):
    """What a seat of a game needs: `play(state=...)` returning one of the state's actions."""

    def play(self, *, state: PyState) -> Action:
        """One of `state.action_space()`, for the seat to act."""

@final
class CorvantaGame:
    """One game: its state and one player per seat, played to its end by `playout()`."""

    def __new__(
        cls,
        players: Sequence[players.RandomPlayer | players.InputPlayer | players.MCTSPlayer | Player],
        seed: int | None = None,
    ) -> CorvantaGame:
        """A new game with one seat per player (1 to 4; ValueError otherwise), dealt from `seed`
        (an unsigned 64-bit integer; a fresh deal without one). Built-in players are copied into
        the game; other objects are played through their `play(state=...)` method."""
    def playout(self) -> GameResult:
        """Plays the game to its end, asking each seat in turn for a legal action, and returns the
        result (`GameResult.Won` or `.Lost`, equal to 0 or 1). An action that is not legal raises
        KeyError and leaves the state as it was; an exception of a Python player ends it too."""
    def print(self) -> None:
        """Writes a debugging dump of the whole state, hidden cards included, to standard error."""
    def reward(self) -> int:
        """The level reached: the enemies defeated so far, 12 for a win."""
