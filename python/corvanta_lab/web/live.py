"""A game being played in a browser: people at the human seats, the others played off the event
loop, every change pushed to the pages that show it."""

from __future__ import annotations

import asyncio
import logging
import time
from collections.abc import Callable, Sequence
from concurrent.futures import Future

from corvanta_lab._core import Action, Game, Phase
from corvanta_lab.console import ending, hint
from corvanta_lab.match import GameRecord, record_of
from corvanta_lab.moves import describe, parse_cards, parse_move
from corvanta_lab.players import SearchPlayer
from corvanta_lab.seats import HumanSeat, Player, SeatSpec
from corvanta_lab.web.searches import SearchPool, Stop, Tasks
from corvanta_lab.web.guard import Refused
from corvanta_lab.web.views import View, ranked_row, moves_open, table_view

__all__ = ["LiveGame"]

log = logging.getLogger("corvanta.serve")


class LiveGame:
    """One game, its seats' players and the log of its moves in words."""

    def __init__(self, game_id: str, game: Game, specs: Sequence[SeatSpec], pool: SearchPool,
                 pause: float, hint_playouts: int) -> None:
        self.id = game_id
        self.game = game
        self.specs = list(specs)
        self.humans = [seat for seat, spec in enumerate(specs) if isinstance(spec, HumanSeat)]
        self.bots: dict[int, Player] = {seat: spec.build(game.seed, seat) for seat, spec in enumerate(specs)
                                        if seat not in self.humans}
        self.pool = pool
        self.pause_seconds = pause
        self.hint_playouts = hint_playouts
        self.events: list[View] = []
        self.version = 0
        self.failure: str | None = None
        self.searches = Tasks()
        self.watchers = 0
        self.closed = False
        self._started = time.perf_counter()
        self._last_move = time.monotonic()
        self._shown = self.humans[0] if self.humans else None
        self._changed = asyncio.Event()
        self._driver: asyncio.Task[None] | None = None
        self._thinking: tuple[int, Future[Action]] | None = None
        self._stop = Stop()  # calls off the partner's search in progress

    # What the page shows.

    def view(self) -> View:
        game = self.game
        acting = game.current_player
        your_turn = not game.is_over and acting in self.humans and self.failure is None
        if your_turn:
            self._shown = acting  # with several people at one screen, the hand of whoever acts
        table = table_view(game, [spec.text for spec in self.specs], [] if self._shown is None else [self._shown])
        return {**table, "id": self.id, "version": self.version, "humans": self.humans, "hand_seat": self._shown,
                "your_turn": your_turn, "moves": moves_open(game) if your_turn else None,
                "thinking": not game.is_over and not your_turn and self.failure is None,
                "events": self.events, "failure": self.failure,
                "ending": ending(game, len(self.humans) or len(self.specs)) if game.is_over else None}

    def record(self) -> GameRecord:
        return record_of(self.game, self.specs, time.perf_counter() - self._started)

    # People's moves.

    def _people_to_act(self, turn: int) -> None:
        """Refuses (409) a request made for another turn than the game's, or while no person acts."""
        game = self.game
        if game.is_over:
            raise Refused(409, "the game is over")
        if turn != game.turns:
            raise Refused(409, f"stale: the game is at turn {game.turns}, not {turn}")
        if game.current_player not in self.humans:
            seat = game.current_player
            raise Refused(409, f"P{seat} ({self.specs[seat].text}) is to act, not you")

    def check(self, turn: int, text: str) -> str | None:
        """Why the move typed as ``text`` is not legal now, in one line (``None`` if it is)."""
        self._people_to_act(turn)
        try:
            parse_move(self.game, text)
        except ValueError as error:
            return str(error)
        return None

    def move(self, turn: int, text: str) -> None:
        """Plays a person's move (409 out of turn, 422 with the reason if it is not legal)."""
        self._people_to_act(turn)
        try:
            action = parse_move(self.game, text)
        except ValueError as error:
            raise Refused(422, str(error)) from None
        self._apply(action)
        self.start()

    async def hint(self, turn: int, chosen: str) -> View:
        """The strong search's best moves for the person to act (mid-discard, completions of the
        cards ``chosen``), run off the loop."""
        self._people_to_act(turn)
        try:
            cards = parse_cards(chosen) if self.game.phase == Phase.DISCARD else []
        except ValueError as error:
            raise Refused(422, str(error)) from None
        if self.searches.busy:
            raise Refused(409, "a hint is being searched already")
        position = self.game.clone()
        found = await self.searches.run(
            self.pool, lambda stop: hint(position, self.hint_playouts, cards, threads=1, cancel=stop))
        if self.game.turns != turn:
            raise Refused(409, "the game moved on during the search")
        return {"title": found.title, "tie": found.tie,
                "rows": [ranked_row(move, visits, mean) for move, visits, mean in found.rows]}

    # The other seats.

    def start(self) -> None:
        """Plays the partners' moves until a person is to act (if not already doing so)."""
        if self._driver is None or self._driver.done():
            self._driver = asyncio.get_running_loop().create_task(self._drive())

    async def _drive(self) -> None:
        game = self.game
        while not game.is_over and game.current_player not in self.humans and self.failure is None:
            seat, turn = game.current_player, game.turns
            if self._thinking is None or self._thinking[0] != turn or self._thinking[1].cancelled():
                self._thinking = (turn, self.pool.submit(self._partner_move(seat), refuse_when_busy=False))
            try:
                action = await asyncio.wrap_future(self._thinking[1])
            except Exception as error:  # a player that fails stops the game, visibly, not the server
                log.exception("game %s: P%d failed", self.id, seat)
                self.failure = f"P{seat} ({self.specs[seat].text}) failed: {type(error).__name__}: {error}"
                self._changed_now()
                return
            # Partners' moves come one at a time, a short pause apart, so that people can follow.
            wait = self.pause_seconds - (time.monotonic() - self._last_move)
            if wait > 0:
                await asyncio.sleep(wait)
            if game.turns != turn:
                return
            self._apply(action)

    def _partner_move(self, seat: int) -> Callable[[], Action]:
        """The work of finding the move of ``seat``, a search that pause() can call off."""
        player, position, stop = self.bots[seat], self.game.clone(), self._stop.event
        if isinstance(player, SearchPlayer):
            return lambda: player.play(position, cancel=stop)
        return lambda: player.play(position)

    def _apply(self, action: Action) -> None:
        before = self.game.clone()
        self.game.apply(action)
        self.events.append({"seat": before.current_player, "text": describe(before, action, self.game)})
        self._last_move = time.monotonic()
        self._changed_now()

    # Pages.

    def _changed_now(self) -> None:
        self.version += 1
        self._changed.set()
        self._changed = asyncio.Event()

    async def changes(self, seen: int, timeout: float) -> bool:
        """Waits until the game's version passes ``seen`` (``True``) or ``timeout`` (``False``)."""
        if self.version > seen:
            return True
        try:
            await asyncio.wait_for(self._changed.wait(), timeout)
        except asyncio.TimeoutError:
            return False
        return True

    def joined(self) -> None:
        self.watchers += 1
        self.start()

    def left(self) -> None:
        """A page showing the game went away: once none is left, its searches stop."""
        self.watchers = max(0, self.watchers - 1)
        if self.watchers == 0:
            self.pause()

    def pause(self) -> None:
        """Cancels the partners' moves and the hints in progress (a page showing the game again
        resumes the partners)."""
        self.searches.cancel()
        self._stop.cancel()
        self._thinking = None
        if self._driver is not None and not self._driver.done():
            self._driver.cancel()

    def close(self) -> None:
        """The game is dropped: its searches stop and its streams end."""
        self.closed = True
        self.pause()
        self._changed_now()
