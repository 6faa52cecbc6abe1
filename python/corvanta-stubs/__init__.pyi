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

    def play(self, *, state: PyState) -> Action: ...

@final
class CorvantaGame:
    def __new__(
        cls,
        players: Sequence[players.RandomPlayer | players.InputPlayer | players.MCTSPlayer | Player],
        seed: int | None = None,
    ) -> CorvantaGame: ...
    def playout(self) -> GameResult: ...
    def print(self) -> None: ...
    def reward(self) -> int: ...
