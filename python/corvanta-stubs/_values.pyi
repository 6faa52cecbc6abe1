# Classes that the module registers in no namespace: their objects come from games and states,
# and PanicException from a failure of the module's own code.
from typing import ClassVar, final

from .actions import Action
from .card import Card

@final
class PyState:
    """A copy of the game's position given to a player on its turn (it has no constructor)."""

    def action_space(self) -> list[Action]:
        """The legal actions of the player to act, in the rules engine's order."""
    def has_turn(self) -> PlayerId:
        """The seat to act."""
    def current_hand(self) -> list[Card]:
        """The hand of the player to act, in the order the cards were received."""
    def reward(self) -> int:
        """The level reached: the enemies defeated so far."""
    def current_enemy(self) -> Enemy | None:
        """The enemy being fought (health, attack, immunity), or None once the castle is empty."""

@final
class Enemy:
    """A royal card in play: its card, remaining health, attack and whether a jester was played
    against it (shown by `str()`)."""

@final
class PlayerId:
    """A seat number, shown as `PlayerId(n)`."""

@final
class GameResult:
    """How a game ended: `Won` (equal to 0) or `Lost` (equal to 1)."""

    Won: ClassVar[GameResult]
    Lost: ClassVar[GameResult]
    def __int__(self) -> int:
        """0 for a win, 1 for a loss."""
    def __eq__(self, value: object, /) -> bool:
        """Equal to the same result and to its integer."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

class PanicException(BaseException):
    """A failure of the module's own code (not of the caller's input)."""
