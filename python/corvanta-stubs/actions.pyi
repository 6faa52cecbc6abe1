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
    def __new__(cls, card: Card) -> ActionPlay: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class ActionAnimalCombo:
    def __new__(cls, c1: Card, c2: Card) -> ActionAnimalCombo: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class ActionCombo:
    def __new__(cls, cards: Sequence[Card]) -> ActionCombo: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class ActionYield:
    def __new__(cls, *args: Any, **kwargs: Any) -> ActionYield: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class ActionDiscard:
    def __new__(cls, cards: Sequence[Card]) -> ActionDiscard: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class ActionChangePlayer:
    def __new__(cls, id: int) -> ActionChangePlayer: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class ActionRefillHand:
    def __new__(cls, *args: Any, **kwargs: Any) -> ActionRefillHand: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
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
