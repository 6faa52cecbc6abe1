"""Many seeded games between seats, on every core or on a Dask cluster, as JSON lines.

``corvanta match`` is built on this module; ``run_match`` is its programmatic face. Each game is
a pure function of its seat specs and seed (``play_game``), so it can run in any process: the
records are written in seed order, whatever finished first, and seeded random seats give the
same file (apart from the seconds each game took) on any number of workers, locally or on a
cluster.
"""

from __future__ import annotations

import importlib
import json
import math
import multiprocessing
import multiprocessing.pool
import os
import signal
import statistics
import threading
import time
from collections.abc import Generator, Iterable, Sequence
from dataclasses import dataclass, field
from pathlib import Path
from typing import IO, Any, TypedDict

from tqdm import tqdm

from corvanta_lab._core import Game
from corvanta_lab.moves import move_text
from corvanta_lab.seats import SeatSpec

__all__ = [
    "GameRecord",
    "Summary",
    "mean_interval",
    "play_game",
    "read_records",
    "run_match",
    "summarise",
    "wilson_interval",
]

Z95 = 1.959964


class _RecordBase(TypedDict):
    seed: int
    seats: list[str]
    result: str
    level: int
    turns: int
    seconds: float


class GameRecord(_RecordBase, total=False):
    """One finished game, as one JSON line; ``actions`` only with ``--log-actions``."""

    actions: list[str]


def play_game(seats: Sequence[SeatSpec], seed: int, log_actions: bool = False) -> GameRecord:
    """Plays the game of this seed with a fresh player per seat, to the end."""
    started = time.perf_counter()
    players = [spec.build(seed, seat) for seat, spec in enumerate(seats)]
    game = Game(len(seats), seed)
    while not game.is_over:
        game.apply(players[game.current_player].play(game))
    record = GameRecord(seed=seed, seats=[spec.text for spec in seats], result="won" if game.won else "lost",
                        level=game.reward, turns=game.turns, seconds=round(time.perf_counter() - started, 4))
    if log_actions:
        record["actions"] = [move_text(action) for action in game.history]
    return record


def mean_interval(values: Sequence[float]) -> tuple[float, float]:
    """The mean and the half-width of its normal 95 % confidence interval (NaN below two values)."""
    mean = statistics.fmean(values)
    if len(values) < 2:
        return mean, math.nan
    return mean, Z95 * statistics.stdev(values) / math.sqrt(len(values))


def wilson_interval(successes: int, n: int) -> tuple[float, float]:
    """The 95 % Wilson score interval of a binomial proportion."""
    if n == 0:
        return 0.0, 1.0
    p = successes / n
    denominator = 1 + Z95**2 / n
    centre = (p + Z95**2 / (2 * n)) / denominator
    half = Z95 * math.sqrt(p * (1 - p) / n + Z95**2 / (4 * n * n)) / denominator
    return max(0.0, centre - half), min(1.0, centre + half)


@dataclass
class Summary:
    """The figures of one seat configuration."""

    seats: tuple[str, ...]
    levels: list[int] = field(default_factory=list)
    wins: int = 0
    game_seconds: list[float] = field(default_factory=list)  # the time each game took
    played: int = 0          # games played by this run (not read back from the file)
    seconds: float = 0.0     # wall time of this run

    @property
    def games(self) -> int:
        return len(self.levels)

    @property
    def mean_level(self) -> tuple[float, float]:
        """Mean level and the half-width of its 95 % interval."""
        return mean_interval(self.levels) if self.levels else (math.nan, math.nan)

    @property
    def win_rate(self) -> tuple[float, float, float]:
        """Win rate and its 95 % Wilson interval."""
        low, high = wilson_interval(self.wins, self.games)
        return (self.wins / self.games if self.games else math.nan), low, high

    @property
    def seconds_per_game(self) -> float:
        """The mean time one game took (in its worker)."""
        return statistics.fmean(self.game_seconds) if self.game_seconds else math.nan

    @property
    def games_per_second(self) -> float:
        return self.played / self.seconds if self.played and self.seconds > 0 else math.nan

    @property
    def label(self) -> str:
        """``mcts:300 x2`` for the same spec in every seat, the specs joined by `` + `` otherwise."""
        if len(set(self.seats)) == 1:
            return f"{self.seats[0]} x{len(self.seats)}"
        return " + ".join(self.seats)


def summarise(records: Iterable[GameRecord]) -> list[Summary]:
    """One summary per seat configuration, in the order they first appear."""
    out: dict[tuple[str, ...], Summary] = {}
    for record in records:
        key = tuple(record["seats"])
        summary = out.setdefault(key, Summary(key))
        summary.levels.append(record["level"])
        summary.wins += record["result"] == "won"
    return list(out.values())


def table(summaries: Sequence[Summary]) -> str:
    """The summary as an aligned text table."""
    rows = [("seats", "games", "mean level (95 % CI)", "win rate [95 % Wilson]", "games/s")]
    for s in summaries:
        mean, half = s.mean_level
        rate, low, high = s.win_rate
        rows.append((s.label, str(s.games), f"{mean:.2f} ± {half:.2f}", f"{rate:.3f} [{low:.3f}, {high:.3f}]",
                     "-" if math.isnan(s.games_per_second) else f"{s.games_per_second:.2f}"))
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    lines = ["  ".join(cell.ljust(w) if i == 0 else cell.rjust(w) for i, (cell, w) in enumerate(zip(row, widths)))
             for row in rows]
    lines.insert(1, "  ".join("-" * w for w in widths))
    return "\n".join(line.rstrip() for line in lines)


def read_records(path: Path) -> list[GameRecord]:
    """The records of a results file. A torn last line (a run killed mid-write) is ignored."""
    if not path.exists():
        return []
    records = []
    with path.open(encoding="utf-8") as f:
        lines = f.read().split("\n")
    for number, line in enumerate(lines, 1):
        if not line.strip():
            continue
        try:
            records.append(json.loads(line))
        except json.JSONDecodeError:
            if number < len(lines) - 1:
                raise ValueError(f"{path}:{number}: not a JSON record") from None
    return records


def _ignore_interrupts() -> None:
    # Ctrl-C goes to the whole process group: the parent alone stops the run.
    signal.signal(signal.SIGINT, signal.SIG_IGN)


def _play(task: tuple[tuple[SeatSpec, ...], int, bool]) -> GameRecord:
    return play_game(*task)


def _pool(workers: int) -> multiprocessing.pool.Pool:
    # Forked workers start at once with the package already imported; a process with threads
    # (ours start none before this point) gets workers from a fork server instead.
    methods = multiprocessing.get_all_start_methods()
    if "fork" in methods and threading.active_count() == 1:
        method = "fork"
    else:
        method = "forkserver" if "forkserver" in methods else "spawn"
    return multiprocessing.get_context(method).Pool(workers, initializer=_ignore_interrupts)


def _local(tasks: list[tuple[tuple[SeatSpec, ...], int, bool]],
           pool: multiprocessing.pool.Pool | None) -> Generator[GameRecord, None, None]:
    if pool is None:
        for task in tasks:
            yield _play(task)
        return
    try:
        yield from pool.imap_unordered(_play, tasks, chunksize=1)
        pool.close()
    finally:
        pool.terminate()
        pool.join()


def _cluster(tasks: list[tuple[tuple[SeatSpec, ...], int, bool]], address: str) -> Generator[GameRecord, None, None]:
    try:
        distributed: Any = importlib.import_module("dask.distributed")
    except ImportError:
        raise SystemExit("--cluster needs dask.distributed: pip install 'corvanta[cluster]'") from None
    with distributed.Client(address) as client:
        futures = client.map(_play, tasks, pure=False)
        try:
            for future in distributed.as_completed(futures):
                yield future.result()
        finally:
            client.cancel(futures)


def run_match(configurations: Sequence[Sequence[SeatSpec]], seeds: Sequence[int], out: Path | None = None,
              workers: int | None = None, cluster: str | None = None, log_actions: bool = False,
              progress: bool = True) -> list[Summary]:
    """Plays every seed with every configuration, appending records to ``out`` (resuming it).

    Returns one summary per configuration over the requested seeds, the ones read back from
    ``out`` included. Ctrl-C stops the run: the records of finished games stay in the file and
    ``KeyboardInterrupt`` propagates.
    """
    done: dict[tuple[tuple[str, ...], int], GameRecord] = {}
    if out is not None:
        for record in read_records(out):
            done[(tuple(record["seats"]), record["seed"])] = record
    configs = [tuple(c) for c in configurations]
    keys = [tuple(spec.text for spec in c) for c in configs]
    tasks = [(c, seed, log_actions) for c, key in zip(configs, keys) for seed in seeds if (key, seed) not in done]
    summaries = {key: Summary(key) for key in keys}
    order = {(key, seed): i for i, (key, seed) in enumerate((key, seed) for key in keys for seed in seeds)}
    pending: dict[int, GameRecord] = {}
    next_index = 0
    results = dict(done)
    sink: IO[str] | None = None
    bar: tqdm[Any] | None = None
    started = time.perf_counter()
    workers = workers or os.cpu_count() or 1
    pool = _pool(workers) if cluster is None and workers > 1 and len(tasks) > 1 else None
    if out is not None:
        out.parent.mkdir(parents=True, exist_ok=True)
        _repair_tail(out)
        sink = out.open("a", encoding="utf-8")
    if progress and tasks:
        bar = tqdm(total=len(tasks), unit="game", dynamic_ncols=True, smoothing=0.05, disable=None)

    def write(record: GameRecord) -> None:
        if sink is not None:
            sink.write(json.dumps(record, ensure_ascii=False) + "\n")
            sink.flush()

    def flush_in_order() -> None:
        nonlocal next_index
        while next_index < len(order):
            key_seed = _key_of_index(next_index)
            if key_seed in done:
                next_index += 1
            elif next_index in pending:
                write(pending.pop(next_index))
                next_index += 1
            else:
                break

    index_keys = sorted(order, key=order.__getitem__)

    def _key_of_index(i: int) -> tuple[tuple[str, ...], int]:
        return index_keys[i]

    source: Generator[GameRecord, None, None] | None = None
    try:
        source = _cluster(tasks, cluster) if cluster else _local(tasks, pool)
        for record in source:
            key = (tuple(record["seats"]), record["seed"])
            results[key] = record
            pending[order[key]] = record
            summaries[key[0]].played += 1
            flush_in_order()
            if bar is not None:
                bar.update()
    finally:
        if source is not None:
            source.close()  # stops the workers of an interrupted run
        # Finished games that wait for an earlier seed are kept too: a rerun skips them.
        for index in sorted(pending):
            write(pending[index])
        pending.clear()
        if bar is not None:
            bar.close()
        if sink is not None:
            sink.close()
    elapsed = time.perf_counter() - started
    for (seats, seed), record in sorted(results.items(), key=lambda item: item[0][1]):
        if (seats, seed) in order:
            summaries[seats].levels.append(record["level"])
            summaries[seats].wins += record["result"] == "won"
            summaries[seats].game_seconds.append(record["seconds"])
    for summary in summaries.values():
        summary.seconds = elapsed
    return list(summaries.values())


def _repair_tail(path: Path) -> None:
    """Cuts a torn last line (a run killed mid-write), so that appended records start a line."""
    if not path.exists():
        return
    data = path.read_bytes()
    if data and not data.endswith(b"\n"):
        path.write_bytes(data[: data.rfind(b"\n") + 1])


def plot(summaries: Sequence[Summary], path: Path) -> None:
    """A histogram of the levels reached, one series per configuration (needs matplotlib)."""
    try:
        import matplotlib
    except ImportError:
        raise SystemExit("--plot needs matplotlib: pip install 'corvanta[plot]'") from None
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(figsize=(8, 4.5))
    width = 0.8 / max(1, len(summaries))
    for i, summary in enumerate(summaries):
        counts = [summary.levels.count(level) / max(1, summary.games) for level in range(13)]
        axes.bar([level - 0.4 + width * (i + 0.5) for level in range(13)], counts, width,
                 label=f"{summary.label} ({summary.games} games)")
    axes.set_xticks(range(13), [str(level) for level in range(12)] + ["won"])
    axes.set_xlabel("level reached (enemies defeated)")
    axes.set_ylabel("share of games")
    axes.legend()
    figure.tight_layout()
    figure.savefig(path)
    plt.close(figure)
