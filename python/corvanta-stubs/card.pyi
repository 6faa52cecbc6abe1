from typing import ClassVar, final

__all__ = ["Card", "CardSuit", "CardValue"]

@final
class CardSuit:
    """The four suits, ordered Spades < Hearts < Diamonds < Clubs, and `None` for the jester."""

    Spades: ClassVar[CardSuit]
    Hearts: ClassVar[CardSuit]
    Diamonds: ClassVar[CardSuit]
    Clubs: ClassVar[CardSuit]
    # The member `None` is reached with getattr(CardSuit, "None").
    @staticmethod
    def all() -> list[CardSuit]:
        """The four suits in order (not `None`)."""
    def __int__(self) -> int:
        """0 to 3 in suit order, 4 for `None`."""
    def __eq__(self, value: object, /) -> bool:
        """Equal to the same suit and to its integer."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class CardValue:
    """The values: `Jester` (0), `Ace` (1), `Two` to `Ten`, `Jack`, `Queen`, `King` (11 to 13)."""

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
    def numbers() -> list[CardValue]:
        """Ace to Ten, in order."""
    @staticmethod
    def royals() -> list[CardValue]:
        """Jack, Queen and King."""
    def __int__(self) -> int:
        """The value's number: 0 for the jester, 1 for an Ace, 11 to 13 for the royals."""
    def __eq__(self, value: object, /) -> bool:
        """Equal to the same value and to its integer."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class Card:
    """A playing card: a suit and a value (the jester has suit `None`)."""

    def __new__(cls, suit: CardSuit, value: CardValue) -> Card:
        """The card of this suit and value."""
    def __eq__(self, value: object, /) -> bool:
        """The same suit and value."""
    def __ne__(self, value: object, /) -> bool:
        """Not the same suit and value."""
    __hash__: ClassVar[None]  # type: ignore[assignment]
