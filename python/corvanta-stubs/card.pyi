from typing import ClassVar, final

__all__ = ["Card", "CardSuit", "CardValue"]

@final
class CardSuit:
    Spades: ClassVar[CardSuit]
    Hearts: ClassVar[CardSuit]
    Diamonds: ClassVar[CardSuit]
    Clubs: ClassVar[CardSuit]
    # The member `None` is reached with getattr(CardSuit, "None").
    @staticmethod
    def all() -> list[CardSuit]: ...
    def __int__(self) -> int: ...
    def __eq__(self, value: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class CardValue:
    Jester: ClassVar[CardValue]
    Ace: ClassVar[CardValue]
    Two: ClassVar[CardValue]
    Three: ClassVar[CardValue]
    Four: ClassVar[CardValue]
    Five: ClassVar[CardValue]
    Six: ClassVar[CardValue]
    Seven: ClassVar[CardValue]
    Eight: ClassVar[CardValue]
    Nine: ClassVar[CardValue]
    Ten: ClassVar[CardValue]
    Jack: ClassVar[CardValue]
    Queen: ClassVar[CardValue]
    King: ClassVar[CardValue]
    @staticmethod
    def numbers() -> list[CardValue]: ...
    @staticmethod
    def royals() -> list[CardValue]: ...
    def __int__(self) -> int: ...
    def __eq__(self, value: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class Card:
    def __new__(cls, suit: CardSuit, value: CardValue) -> Card: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]
