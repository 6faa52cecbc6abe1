"""Positions as the page draws them: plain JSON-ready dictionaries, built from a ``Game``.

The page gets only what the seat it shows may know (its own hand; the others' hand sizes),
except in a replay, where every hand is open.
"""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any

from corvanta_lab._core import ActionKind, Card, Game, Phase, Suit
from corvanta_lab.console import FULL_HEALTH, SUIT_NAMES

__all__ = ["PHASES", "card_view", "moves_open", "ranked_row", "table_view"]

View = dict[str, Any]

PHASES = {Phase.PLAY_CARDS: "play", Phase.DISCARD: "discard", Phase.JESTER: "jester"}


def card_view(card: Card) -> View:
    """A card: its label, its worth in the hand, its suit and the colour it is printed in."""
    suit = "jester" if card.is_jester else SUIT_NAMES[card.suit]
    return {"label": card.label, "worth": card.attack, "suit": suit,
            "red": card.suit in (Suit.HEARTS, Suit.DIAMONDS)}


def _enemy(game: Game) -> View | None:
    enemy = game.current_enemy
    if enemy is None:
        return None
    return {"card": card_view(enemy.card), "health": enemy.health, "full": FULL_HEALTH[enemy.card.value],
            "attack": enemy.attack, "immune": SUIT_NAMES[enemy.card.suit], "jester": enemy.jester_applied}


def moves_open(game: Game) -> View:
    """The moves other than cards open to the player to act: yield, refill, the jester's seats."""
    kinds = [action.kind for action in game.legal_actions()]
    return {"yield": ActionKind.YIELD in kinds, "refill": ActionKind.REFILL_HAND in kinds,
            "jester": [action.target for action in game.legal_actions() if action.kind == ActionKind.CHANGE_PLAYER]}


def table_view(game: Game, seats: Sequence[str], shown: Sequence[int]) -> View:
    """The table of ``game`` (played by the seats named ``seats``) with the hands of the seats in
    ``shown`` open; every other hand is a count of cards."""
    return {
        "seed": game.seed,
        "players": game.num_players,
        "turn": game.turns,
        "level": game.level,
        "phase": PHASES[game.phase],
        "acting": game.current_player,
        "over": game.is_over,
        "won": game.won,
        "enemy": _enemy(game),
        "piles": {"tavern": game.tavern_size, "discard": game.discard_size, "castle": game.castle_size},
        "refills_left": game.refills_left if game.num_players == 1 else None,
        "discard_amount": game.discard_amount if game.phase == Phase.DISCARD else None,
        "attack_cards": [card_view(card) for card in game.attack_cards],
        "seats": [{"seat": seat, "spec": spec, "cards": len(game.hands[seat]),
                   "hand": [card_view(card) for card in game.sorted_hand(seat)] if seat in shown else None}
                  for seat, spec in enumerate(seats)],
    }


def ranked_row(move: str, visits: int, mean: float) -> View:
    """A move of a search's ranking; a move never visited has no mean (NaN, which JSON lacks)."""
    return {"move": move, "visits": visits, "mean": mean if visits else None}
