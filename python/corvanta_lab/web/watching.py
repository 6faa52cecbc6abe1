"""Logged games opened for watching: every position of a game, and the search run again at one.

A file comes from the operator's command line, from a page as uploaded content (never as a
path), or from a game just played. Its games are rebuilt move by move as ``corvanta replay``
rebuilds them (``corvanta_lab.moves.replayed``), when a page first asks for one.
"""

from __future__ import annotations

from collections.abc import Sequence

from corvanta_lab._core import Game
from corvanta_lab.console import ending
from corvanta_lab.match import GameRecord
from corvanta_lab.moves import describe, move_text, replayed
from corvanta_lab.players import SearchPlayer
from corvanta_lab.web.guard import Refused
from corvanta_lab.web.searches import SearchPool, Tasks
from corvanta_lab.web.seating import searched_seat
from corvanta_lab.web.views import View, ranked_row, table_view

__all__ = ["WatchedFile"]


class WatchedFile:
    """The games with logged moves of one results file."""

    def __init__(self, name: str, records: Sequence[GameRecord]) -> None:
        self.name = name
        self.records = [record for record in records if "actions" in record]
        if not self.records:
            raise Refused(422, f"no game with logged moves in {name} (log them with --log-actions)")
        self.searches = Tasks()
        self._games: dict[int, tuple[list[Game], list[View]]] = {}

    def summary(self) -> View:
        return {"name": self.name, "games": [
            {"index": index, "seed": record["seed"], "seats": record["seats"], "result": record["result"],
             "level": record["level"], "moves": len(record.get("actions", []))}
            for index, record in enumerate(self.records)]}

    def _record(self, index: int) -> GameRecord:
        if not 0 <= index < len(self.records):
            raise Refused(404, f"{self.name} has no game {index} (it has {len(self.records)})")
        return self.records[index]

    def _steps(self, index: int) -> tuple[list[Game], list[View]]:
        """The position before each move and after the last, and the view of each."""
        if index in self._games:
            return self._games[index]
        record = self._record(index)
        seats = record["seats"]
        positions: list[Game] = []
        views: list[View] = []
        game = Game(len(seats), record["seed"])
        try:
            for before, action, game in replayed(len(seats), record["seed"], record.get("actions", [])):
                positions.append(before)
                views.append({**table_view(before, seats, range(len(seats))), "move": move_text(action),
                              "said": describe(before, action, game)})
        except ValueError as error:
            raise Refused(422, f"game of seed {record['seed']}, move {len(positions) + 1}: {error}") from None
        positions.append(game)
        last = ending(game, len(seats)) if game.is_over else f"the log stops at turn {game.turns}"
        views.append({**table_view(game, seats, range(len(seats))), "move": None, "said": last})
        self._games[index] = (positions, views)
        return positions, views

    def game_view(self, index: int) -> View:
        record = self._record(index)
        return {"seed": record["seed"], "seats": record["seats"], "result": record["result"],
                "steps": self._steps(index)[1]}

    async def search(self, pool: SearchPool, index: int, step: int, playouts: int | None,
                     max_playouts: int, max_threads: int) -> View:
        """The ranking of the search that played the move of ``step``, run again there."""
        positions, views = self._steps(index)
        if not 0 <= step < len(positions) - 1:
            raise Refused(404, f"the game has no move {step} (it has {len(positions) - 1})")
        position = positions[step]
        seat = position.current_player
        seats = self.records[index]["seats"]
        spec = searched_seat(seats[seat], playouts, max_playouts, max_threads)
        player = spec.build(position.seed, seat)
        assert isinstance(player, SearchPlayer)  # what the searching kinds build
        ranked = await self.searches.run(pool, lambda stop: player.search(position.clone(), stop))
        played = views[step]["move"]
        return {"seat": seat, "spec": spec.text, "played": played,
                "rows": [ranked_row(move_text(action), visits, mean) for action, visits, mean in ranked[:8]]}

    def close(self) -> None:
        self.searches.cancel()
