"""Moves as people type them, and what a move did, in words.

A move is written the way ``corvanta play`` reads it: card labels separated by blanks (``5h 5c``,
``Ah 7c``, ``Jk``) to play them, or in the discard phase to discard them; ``y`` to yield; ``r``
to refill the hand; a seat number (``1``) to hand the turn to that seat after a jester. The same
texts make the action logs of ``corvanta match --log-actions``, which ``corvanta replay`` reads.
"""

from __future__ import annotations

from collections import Counter
from collections.abc import Iterable, Iterator, Sequence

from corvanta_lab._core import Action, ActionKind, Card, Game, Phase, Value

__all__ = ["check_in_hand", "describe", "move_text", "parse_cards", "parse_move", "replayed"]

_CARD_KINDS = (ActionKind.PLAY, ActionKind.ANIMAL_COMBO, ActionKind.COMBO, ActionKind.DISCARD)


def move_text(action: Action) -> str:
    """The typed form of an action: ``5h 5c``, ``y``, ``r`` or a seat number."""
    if action.kind == ActionKind.YIELD:
        return "y"
    if action.kind == ActionKind.REFILL_HAND:
        return "r"
    if action.kind == ActionKind.CHANGE_PLAYER:
        return str(action.target)
    return " ".join(card.label for card in action.cards)


def parse_cards(text: str) -> list[Card]:
    """The cards of blank- or comma-separated labels; ``ValueError`` names the first bad one."""
    cards = []
    for word in text.replace(",", " ").split():
        try:
            cards.append(Card.parse(word))
        except ValueError:
            raise ValueError(f"{word!r} is not a card (write cards like 5h, 10c, Ks, Jk)") from None
    return cards


def _why_not(game: Game, cards: list[Card]) -> str:
    """Why these cards, all in the hand, make no legal move."""
    if game.phase == Phase.DISCARD:
        total = sum(card.attack for card in cards)
        return f"{_labels(cards)} is worth {total}: discard at least {game.discard_amount}"
    if len(cards) > 1 and any(card.is_jester for card in cards):
        return "the jester is played alone"
    values = {card.value for card in cards}
    if len(cards) == 2 and any(card.value == Value.ACE for card in cards):
        return f"{_labels(cards)} is not a legal play"
    if len(values) > 1:
        return "cards played together share one value (or are an Ace with one other card)"
    if sum(card.attack for card in cards) > 10:
        return "cards of one value played together may add up to 10 at most"
    return f"{_labels(cards)} is not a legal play now"


def _labels(cards: list[Card] | tuple[Card, ...]) -> str:
    return " ".join(card.label for card in cards)


def check_in_hand(game: Game, cards: list[Card], chosen: Sequence[Card] = ()) -> None:
    """``ValueError`` naming the cards the player to act does not hold (each copy counts).

    ``chosen`` are cards already picked (a discard typed over several lines, the first of
    ``cards``): a card the hand holds but that is already among them is named as such.
    """
    hand = Counter(game.hands[game.current_player])
    missing = Counter(cards) - hand
    if missing:
        again = sorted((missing & Counter(chosen)).elements())
        held = [card for card in again if hand[card] > 0]
        if held:
            raise ValueError(f"{_labels(held)} {'is' if len(held) == 1 else 'are'} already chosen")
        raise ValueError(f"you have no {_labels(sorted(missing.elements()))}")


def parse_move(game: Game, text: str) -> Action:
    """The legal action a typed move names in this position; ``ValueError`` says why there is none."""
    words = text.strip().lower()
    legal = game.legal_actions()
    if not legal:
        raise ValueError("the game is over")
    if game.phase == Phase.JESTER:
        if words.isdigit():
            for action in legal:
                if action.target == int(words):
                    return action
            raise ValueError(f"seat {words} is not in this game (0 .. {game.num_players - 1})")
        raise ValueError("after a jester, type the number of the seat to act next")
    if words.isdigit():
        raise ValueError("a seat number answers a jester only: play cards like 5h 5c")
    if words in ("y", "yield"):
        for action in legal:
            if action.kind == ActionKind.YIELD:
                return action
        raise ValueError("you cannot yield now (every other player has yielded, or you must discard)")
    if words in ("r", "refill"):
        for action in legal:
            if action.kind == ActionKind.REFILL_HAND:
                return action
        raise ValueError("no refill now (one player only, twice a game, instead of a play)")
    cards = parse_cards(words)
    if not cards:
        raise ValueError("type the cards to " + ("discard" if game.phase == Phase.DISCARD else "play"))
    check_in_hand(game, cards)
    # The same cards may be listed in two orders (two jesters in one hand): the typed order wins.
    matches = [a for a in legal if a.kind in _CARD_KINDS and Counter(a.cards) == Counter(cards)]
    for action in matches:
        if list(action.cards) == cards:
            return action
    if matches:
        return matches[0]
    raise ValueError(_why_not(game, cards))


def describe(before: Game, action: Action, after: Game) -> str:
    """What ``action``, taken by the player to act in ``before``, did (``after`` is the result)."""
    seat = before.current_player
    enemy = before.current_enemy
    kind = action.kind
    if kind == ActionKind.YIELD:
        text = f"P{seat} yielded"
    elif kind == ActionKind.REFILL_HAND:
        text = f"P{seat} refilled the hand"
    elif kind == ActionKind.CHANGE_PLAYER:
        text = f"P{seat} chose P{action.target} to act next"
    elif kind == ActionKind.DISCARD:
        total = sum(card.attack for card in action.cards)
        text = f"P{seat} discarded {_labels(action.cards)} ({total} against an attack of {before.discard_amount})"
    else:
        text = f"P{seat} played {_labels(action.cards)}"
    if enemy is not None and after.level > before.level:
        text += f", defeating {enemy.card.label}"
    elif enemy is not None and after.current_enemy is not None and kind in _CARD_KINDS[:3]:
        text += f" ({enemy.card.label} health {after.current_enemy.health})"
    if after.is_over:
        text += "; the game is " + ("won" if after.won else f"lost at level {after.level}")
    return text


def replayed(players: int, seed: int, texts: Iterable[str]) -> Iterator[tuple[Game, Action, Game]]:
    """The logged moves of the game of ``seed``, one step at a time: a copy of the position each
    move was made in, the action its text names there, and the game after it (the same object
    each step, moved on by the next). A text that names no legal move raises ``ValueError``."""
    game = Game(players, seed)
    for text in texts:
        before = game.clone()
        action = parse_move(game, text)
        game.apply(action)
        yield before, action, game
