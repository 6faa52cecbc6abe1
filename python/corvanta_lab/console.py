"""``corvanta play`` and ``corvanta replay``: the game at a terminal, for people.

The screen is redrawn before each of your turns: the enemy, the piles, your partners, what
happened since your last turn and your hand, sorted, each card by its label (``5h``, ``Jc``,
``Jk``). You type moves as ``corvanta_lab.moves`` reads them. Colours follow the rule of the
``corvanta`` module's texts (``corvanta_lab._core.colour_wanted``): ``CLICOLOR_FORCE``, ``NO_COLOR``,
``CLICOLOR`` and whether the stream is a terminal.
"""

from __future__ import annotations

import os
import sys
from collections import Counter
from collections.abc import Sequence
from dataclasses import dataclass
from typing import TextIO

from corvanta_lab._core import Action, Card, Enemy, Game, Phase, Suit, Value, colour_wanted
from corvanta_lab.players import Cancel, search
from corvanta_lab.match import GameRecord
from corvanta_lab.moves import check_in_hand, describe, move_text, parse_cards, parse_move, replayed
from corvanta_lab.rules import RULES
from corvanta_lab.seats import HumanSeat, Player, SeatSpec

__all__ = ["FULL_HEALTH", "SUIT_NAMES", "Hint", "Style", "ask", "ending", "hint", "play", "render", "replay"]

HELP = """\
  5h 5c   play these cards (one card, an Ace with one other card, or cards of one value worth
          at most 10 together); in the discard phase, discard them (several lines add up)
  y       yield (play nothing this turn)
  r       refill your hand (one player only, twice a game)
  1       after a jester: hand the turn to seat 1
  c       clear the cards chosen so far for a discard
  hint    the strong search's three best moves here (mid-discard: the best ways to complete the
          cards chosen), with visits and mean reward (12 is a win), and whether the top two tie;
          Ctrl-C during the search cancels the hint
  ?       the rules and this help; Ctrl-D or Ctrl-C leaves the game
  Suits: s spades (lower the enemy's attack), h hearts (return discarded cards to the tavern),
  d diamonds (draw cards), c clubs (double damage); an enemy blocks the power of its own suit."""

SUIT_NAMES = {Suit.SPADES: "spades", Suit.HEARTS: "hearts", Suit.DIAMONDS: "diamonds", Suit.CLUBS: "clubs"}
FULL_HEALTH = {Value.JACK: 20, Value.QUEEN: 30, Value.KING: 40}


class Style:
    """ANSI colours, on only where they are wanted."""

    def __init__(self, enabled: bool) -> None:
        self.enabled = enabled

    @classmethod
    def for_stream(cls, stream: object = None) -> Style:
        """Colour as the engine's own texts decide it for ``stream`` (standard output by default):
        ``CLICOLOR_FORCE`` other than ``0`` forces it, then ``NO_COLOR`` refuses it, then
        ``CLICOLOR=0`` or a stream that is not a terminal."""
        stream = sys.stdout if stream is None else stream
        isatty = getattr(stream, "isatty", None)
        return cls(colour_wanted(bool(isatty and isatty())))

    def _wrap(self, code: str, text: str) -> str:
        return f"\x1b[{code}m{text}\x1b[0m" if self.enabled else text

    def bold(self, text: str) -> str:
        return self._wrap("1", text)

    def dim(self, text: str) -> str:
        return self._wrap("2", text)

    def warn(self, text: str) -> str:
        return self._wrap("33", text)

    def card(self, card: Card) -> str:
        if card.is_jester:
            return self._wrap("35", card.label)
        return self._wrap("31" if card.suit in (Suit.HEARTS, Suit.DIAMONDS) else "1", card.label)

    def clear(self) -> str:
        return "\x1b[H\x1b[2J" if self.enabled else ""


def _enemy_line(enemy: Enemy | None, style: Style) -> str:
    if enemy is None:
        return "Enemy   none: the castle has fallen; the win comes with your next play"
    immunity = ("immunity cancelled by the jester" if enemy.jester_applied
                else f"immune to {SUIT_NAMES[enemy.card.suit]}")
    return (f"Enemy   {style.card(enemy.card)}  health {enemy.health}/{FULL_HEALTH[enemy.card.value]}  "
            f"attack {enemy.attack}  {immunity}")


def render(game: Game, seat: int, specs: Sequence[SeatSpec], events: Sequence[str], style: Style) -> str:
    """The screen of ``seat``'s turn: table, partners, recent moves and the seat's sorted hand."""
    lines = [style.bold(f"corvanta · {game.num_players} player{'s' if game.num_players > 1 else ''} · "
                        f"seed {game.seed} · level {game.level} of 12"),
             _enemy_line(game.current_enemy, style),
             f"Piles   tavern {game.tavern_size} · discard {game.discard_size} · castle {game.castle_size}"
             + (f" · refills left {game.refills_left}" if game.num_players == 1 else "")]
    for other in range(game.num_players):
        if other != seat:
            lines.append(f"P{other}      {specs[other].text}, {len(game.hands[other])} cards")
    if events:
        lines.append("Since your last turn:")
        lines.extend("  " + style.dim(event) for event in events)
    hand = game.sorted_hand(seat)
    worth = sum(card.attack for card in hand)
    lines.append(style.bold(f"P{seat} hand ") + " ".join(style.card(card) for card in hand)
                 + style.dim(f"   ({len(hand)}/{game.max_hand_size} cards, worth {worth})"))
    return "\n".join(lines)


def _prompt(game: Game, chosen: Sequence[Card]) -> str:
    seat = game.current_player
    if game.phase == Phase.JESTER:
        return f"P{seat}, jester: who acts next? 0-{game.num_players - 1} > "
    if game.phase == Phase.DISCARD:
        if chosen:
            total = sum(card.attack for card in chosen)
            labels = " ".join(card.label for card in chosen)
            return f"P{seat}, chosen {labels} = {total} of {game.discard_amount}: add cards (c clears) > "
        refill = ", or r to refill" if game.refills_left else ""
        return f"P{seat}, the enemy strikes: discard cards worth at least {game.discard_amount}{refill} > "
    refill = ", r to refill" if game.refills_left else ""
    if game.current_enemy is None:
        # The rules decide the win on the move after the last enemy falls: a yield there loses.
        return f"P{seat}, all 12 enemies are defeated: play any card to win{refill} (a yield now loses) > "
    return f"P{seat}, play cards (e.g. 5h 5c), y to yield{refill}, ? for help > "


@dataclass(frozen=True)
class Hint:
    """The strong search's best moves in a position: each as typed (mid-discard, the cards to add
    to those chosen), its visits and mean reward; whether the top two tie."""

    playouts: int
    chosen: tuple[Card, ...]
    rows: list[tuple[str, int, float]]
    tie: bool

    @property
    def title(self) -> str:
        title = f"hint (strong search of {self.playouts} playouts)"
        if self.chosen:
            title += ", discards with " + " ".join(card.label for card in self.chosen)
        return title


def hint(game: Game, playouts: int, chosen: Sequence[Card] = (), threads: int | None = None, top: int = 3,
         cancel: Cancel | None = None) -> Hint:
    """The strong search's ``top`` best moves; mid-discard, its best completions of ``chosen``
    (none if no legal discard holds them). ``threads`` defaults to every core; setting ``cancel``
    calls the search off (``concurrent.futures.CancelledError``)."""
    ranked = search(game, playouts, threads=threads or max(1, os.cpu_count() or 1), strength="strong",
                    cancel=cancel)
    wanted = Counter(card.label for card in chosen)
    if chosen:
        ranked = [row for row in ranked if not wanted - Counter(card.label for card in row[0].cards)]
    rows = []
    for action, visits, reward in ranked[:top]:
        text = move_text(action)
        if chosen:
            rest = Counter(card.label for card in action.cards) - wanted
            text = "add " + " ".join(rest.elements()) if rest else "just these"
        rows.append((text, visits, reward))
    # With exploration on the reward's scale, a move the search can tell is worse soon gets far
    # fewer visits: nearly equal visits mean it cannot tell the two apart.
    tie = len(ranked) > 1 and ranked[1][1] >= 0.9 * ranked[0][1] > 0
    return Hint(playouts, tuple(chosen), rows, tie)


def _hint(game: Game, playouts: int, chosen: Sequence[Card] = ()) -> str:
    """The console's text of ``hint``."""
    found = hint(game, playouts, chosen)
    if chosen and not found.rows:
        return found.title + ": none is legal (c clears the cards chosen)"
    lines = []
    for i, (text, visits, reward) in enumerate(found.rows, 1):
        mean = f"{reward:5.2f}" if visits else "    -"
        lines.append(f"  {i}. {text:<12} visits {visits:>6}   mean reward {mean}")
    if found.tie:
        lines.append("  1 and 2 are a tie as far as the search can tell (visits within 10 %)")
    return found.title + ":\n" + "\n".join(lines)


def ask(game: Game, style: Style, hint_playouts: int) -> Action:
    """Reads moves until one is legal; a wrong one gets a one-line reason."""
    chosen: list[Card] = []
    while True:
        text = input(_prompt(game, chosen)).strip()
        word = text.lower()
        if word in ("?", "h", "help"):
            print(RULES)
            print(HELP)
            continue
        if word == "hint":
            try:
                print(_hint(game, hint_playouts, chosen))
            except KeyboardInterrupt:  # a hint that takes too long is dropped, not the game
                print(style.warn("hint cancelled"))
            continue
        if game.phase == Phase.DISCARD and word not in ("y", "r", ""):
            if word == "c":
                chosen = []
                continue
            try:
                cards = chosen + parse_cards(word)
                check_in_hand(game, cards, chosen)
            except ValueError as error:
                print(style.warn(str(error)))
                continue
            if sum(card.attack for card in cards) < game.discard_amount:
                chosen = cards  # a running total: the next line adds to it
                continue
            chosen = []
            text = " ".join(card.label for card in cards)
        try:
            return parse_move(game, text)
        except ValueError as error:
            print(style.warn(str(error) if text else "type a move, or ? for help"))


def ending(game: Game, seat_count: int) -> str:
    """The outcome of a finished game in one line, for ``seat_count`` people."""
    who = "You" if seat_count == 1 else "The team"
    if game.won:
        return f"{who} won: all 12 enemies defeated in {game.turns} turns."
    return f"{who} lost at level {game.level}: {game.level} of 12 enemies defeated in {game.turns} turns."


def play(game: Game, specs: Sequence[SeatSpec], hint_playouts: int, style: Style) -> None:
    """Plays ``game`` to its end: people at the human seats, a fresh player of its spec at every
    other seat; then the last moves and the outcome. A person leaving raises ``EOFError`` (Ctrl-D)
    or ``KeyboardInterrupt`` (Ctrl-C), the game left as it stands."""
    humans = [i for i, spec in enumerate(specs) if isinstance(spec, HumanSeat)]
    bots: dict[int, Player] = {i: spec.build(game.seed, i) for i, spec in enumerate(specs) if i not in humans}
    events: dict[int, list[str]] = {i: [] for i in humans}
    while not game.is_over:
        seat = game.current_player
        if seat in humans:
            print(style.clear() + render(game, seat, specs, events[seat], style))
            events[seat] = []
            action = ask(game, style, hint_playouts)
        else:
            action = bots[seat].play(game)
        before = game.clone()
        game.apply(action)
        for log in events.values():
            log.append(describe(before, action, game))
    last = events[humans[0]] if humans else []
    if last:
        print("\n".join("  " + event for event in last))
    print(style.bold(ending(game, len(humans))))


def replay(record: GameRecord, out: TextIO | None = None) -> None:
    """Prints a logged game turn by turn: the position each move was made in, then the move."""
    style = Style.for_stream(out)
    write = (sys.stdout if out is None else out).write
    seats = record["seats"]
    game = Game(len(seats), record["seed"])
    write(style.bold(f"Game of seed {record['seed']}: " + ", ".join(f"P{i} {s}" for i, s in enumerate(seats))) + "\n")
    for turn, (before, action, game) in enumerate(replayed(len(seats), record["seed"], record.get("actions", [])), 1):
        seat = before.current_player
        enemy = before.current_enemy
        where = (f"{enemy.card.label} {enemy.health}/{FULL_HEALTH[enemy.card.value]} attack {enemy.attack}"
                 if enemy is not None else "-")
        phase = {Phase.PLAY_CARDS: "", Phase.DISCARD: f" discard {before.discard_amount}",
                 Phase.JESTER: " jester"}[before.phase]
        hand = " ".join(style.card(card) for card in before.sorted_hand(seat))
        write(f"{turn:4}. level {before.level:2}  {where:<22}{phase:<12} P{seat} [{hand}]\n"
              f"      {describe(before, action, game)}\n")
    write(style.bold(ending(game, len(seats)) if game.is_over else f"(the log stops at turn {game.turns})") + "\n")
