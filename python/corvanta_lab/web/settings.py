"""What the operator of ``corvanta serve`` decides: the page's defaults and the server's limits."""

from __future__ import annotations

import os
from dataclasses import dataclass, field

from corvanta_lab.match import GameRecord

__all__ = ["Settings"]


@dataclass(frozen=True)
class Settings:
    """The defaults of the page and the limits of the server."""

    seats: tuple[str, ...] = ("human", "mcts:1000")   # the seats the page offers first
    hint_playouts: int = 2000
    pause: float = 0.8              # seconds between two partners' moves, so that people can follow
    max_games: int = 64             # live games kept; the one idle longest goes first
    max_watched: int = 16           # files opened for watching, likewise
    max_playouts: int = 20000       # per search asked for by a page (a seat, a re-run)
    max_threads: int = field(default_factory=lambda: os.cpu_count() or 1)
    search_workers: int = 2
    search_queue: int = 8           # people's searches waiting or running before a 429
    upload_limit: int = 4 * 1024 * 1024
    new_games_burst: int = 20       # new games a client may start at once, then ...
    new_games_per_second: float = 2.0
    searches_burst: int = 10
    searches_per_second: float = 1.0
    allowed_hosts: tuple[str, ...] = ("127.0.0.1", "localhost", "[::1]")
    files: tuple[tuple[str, tuple[GameRecord, ...]], ...] = ()  # the operator's results files, read
