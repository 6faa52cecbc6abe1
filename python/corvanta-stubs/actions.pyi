from collections.abc import Sequence
from typing import Any, ClassVar, final

from .card import Card

__all__ = [
    "ActionPlay",
    "ActionAnimalCombo",
    "ActionCombo",
    "ActionYield",
    "ActionDiscard",
    "ActionChangePlayer",
    "ActionRefillHand",
]

@final
class ActionPlay:
    """Play one card. Compared with `==`; shown by `str()`."""

    def __new__(cls, card: Card) -> ActionPlay:
        """Play `card`."""
    def __eq__(self, value: object, /) -> bool:
        """The same kind of action with the same payload."""
    def __ne__(self, value: object, /) -> bool:
        """Not the same kind of action with the same payload."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class ActionAnimalCombo:
    """Play an Ace with one other card. Compared with `==`; shown by `str()`."""

    def __new__(cls, c1: Card, c2: Card) -> ActionAnimalCombo:
        """Play the Ace `c1` with `c2`, in this order."""
    def __eq__(self, value: object, /) -> bool:
        """The same kind of action with the same payload."""
    def __ne__(self, value: object, /) -> bool:
        """Not the same kind of action with the same payload."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class ActionCombo:
    """Play two to four cards of one value worth at most 10 together. Compared with `==`; shown by `str()`."""

    def __new__(cls, cards: Sequence[Card]) -> ActionCombo:
        """Play these cards, in this order (at most 4)."""
    def __eq__(self, value: object, /) -> bool:
        """The same kind of action with the same payload."""
    def __ne__(self, value: object, /) -> bool:
        """Not the same kind of action with the same payload."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class ActionYield:
    """Play nothing this turn. Compared with `==`; shown by `str()`."""

    def __new__(cls, *args: Any, **kwargs: Any) -> ActionYield:
        """The yield."""
    def __eq__(self, value: object, /) -> bool:
        """The same kind of action with the same payload."""
    def __ne__(self, value: object, /) -> bool:
        """Not the same kind of action with the same payload."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class ActionDiscard:
    """Discard cards worth at least the enemy's attack. Compared with `==`; shown by `str()`."""

    def __new__(cls, cards: Sequence[Card]) -> ActionDiscard:
        """Discard these cards, in this order (at most 8)."""
    def __eq__(self, value: object, /) -> bool:
        """The same kind of action with the same payload."""
    def __ne__(self, value: object, /) -> bool:
        """Not the same kind of action with the same payload."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class ActionChangePlayer:
    """After a jester: hand the turn to a seat. Compared with `==`; shown by `str()`."""

    def __new__(cls, id: int) -> ActionChangePlayer:
        """Hand the turn to seat `id`."""
    def __eq__(self, value: object, /) -> bool:
        """The same kind of action with the same payload."""
    def __ne__(self, value: object, /) -> bool:
        """Not the same kind of action with the same payload."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class ActionRefillHand:
    """One player only: discard the hand and draw a full one (twice a game). Compared with `==`; shown by `str()`."""

    def __new__(cls, *args: Any, **kwargs: Any) -> ActionRefillHand:
        """The refill."""
    def __eq__(self, value: object, /) -> bool:
        """The same kind of action with the same payload."""
    def __ne__(self, value: object, /) -> bool:
        """Not the same kind of action with the same payload."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

Action = (
    ActionPlay
    | ActionAnimalCombo
    | ActionCombo
    | ActionYield
    | ActionDiscard
    | ActionChangePlayer
    | ActionRefillHand
)
