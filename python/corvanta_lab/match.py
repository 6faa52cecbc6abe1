"""Many seeded games between seats, on every core or on a Dask cluster, as JSON lines.

``corvanta match`` is built on this module; ``run_match`` is its programmatic face. Each game is
a pure function of its seat specs and seed (``play_game``), so it can run in any process: the
records are written in seed order, whatever finished first, and seeded random seats give the
same file (apart from the seconds each game took) on any number of workers, locally or on a
cluster.
"""

from __future__ import annotations

import fcntl
import importlib
import json
import math
import multiprocessing
import os
import signal
import statistics
import sys
import threading
import time
import warnings
from collections import Counter, deque
from collections.abc import Callable, Generator, Iterable, Sequence
from concurrent.futures import FIRST_COMPLETED, Future, ProcessPoolExecutor, wait
from concurrent.futures.process import BrokenProcessPool
from dataclasses import dataclass, field
from pathlib import Path
from typing import IO, Any, TypedDict, cast

from tqdm import tqdm

from corvanta_lab._core import Game
from corvanta_lab.moves import move_text
from corvanta_lab.seats import MAX_SEED, SeatSpec

__all__ = [
    "GameRecord",
    "ResultsFileLocked",
    "ResultsWarning",
    "Summary",
    "WorkersLost",
    "check_plot",
    "mean_interval",
    "parse_records",
    "play_game",
    "read_records",
    "record_of",
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


def record_of(game: Game, seats: Sequence[SeatSpec], seconds: float, actions: bool = True) -> GameRecord:
    """The record of ``game`` played by ``seats`` in ``seconds``, with its moves if ``actions``:
    the one form of a game in results files and action logs. A game left before its end is
    marked as left: replay shows it up to there."""
    result = "won" if game.won else "lost" if game.is_over else "left"
    record = GameRecord(seed=game.seed, seats=[spec.text for spec in seats], result=result,
                        level=game.reward, turns=game.turns, seconds=round(seconds, 4))
    if actions:
        record["actions"] = [move_text(action) for action in game.history]
    return record


def play_game(seats: Sequence[SeatSpec], seed: int, log_actions: bool = False) -> GameRecord:
    """Plays the game of this seed with a fresh player per seat, to the end."""
    started = time.perf_counter()
    players = [spec.build(seed, seat) for seat, spec in enumerate(seats)]
    game = Game(len(seats), seed)
    while not game.is_over:
        game.apply(players[game.current_player].play(game))
    return record_of(game, seats, time.perf_counter() - started, log_actions)


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
        if "seconds" in record:
            summary.game_seconds.append(record["seconds"])
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


# The fields every record has: their Python types once decoded, and those types' JSON names
# (true and false decode as integers too, and are refused apart).
_FIELDS: dict[str, tuple[tuple[type, ...], str]] = {
    "seed": ((int,), "whole number"), "seats": ((list,), "list"), "result": ((str,), "string"),
    "level": ((int,), "whole number"), "turns": ((int,), "whole number"), "seconds": ((int, float), "number"),
}


def _problem(value: object) -> str | None:
    """What is wrong with one decoded line as a game record (``None`` if nothing)."""
    if not isinstance(value, dict):
        return f"a JSON {type(value).__name__}, not a game record (an object)"
    missing = [name for name in _FIELDS if name not in value]
    if missing:
        return "a game record without " + ", ".join(missing)
    for name, (kinds, kind_name) in _FIELDS.items():
        if isinstance(value[name], bool) or not isinstance(value[name], kinds):
            return f"{name} is {json.dumps(value[name])}, not a {kind_name}"
    seats, actions = value["seats"], value.get("actions", [])
    if not 1 <= len(seats) <= 4 or not all(isinstance(seat, str) for seat in seats):
        return f"seats is {json.dumps(seats)}, not a list of 1 to 4 seat texts"
    if value["result"] not in ("won", "lost", "left"):
        return f"result is {json.dumps(value['result'])}, not \"won\", \"lost\" or \"left\" (a game left at the terminal)"
    if not 0 <= value["seed"] <= MAX_SEED:
        return f"seed {value['seed']} is not a seed (0 .. 2**64 - 1)"
    if not isinstance(actions, list) or not all(isinstance(action, str) for action in actions):
        return "actions is not a list of move texts"
    return None


def read_records(path: Path) -> list[GameRecord]:
    """The records of a results file, each game (seats and seed) once.

    A last line without its newline is a write that a killed run did not finish: it is ignored
    (the next run cuts it and plays its game again). Any other line that is not a game record
    raises ``ValueError`` naming the file and line. A game recorded twice keeps its first record;
    if the two differ (apart from ``seconds``) a warning names the first such line.
    """
    if not path.exists():
        return []
    with path.open("rb") as f:
        return parse_records(f, str(path))


def parse_records(lines: Iterable[bytes], name: str) -> list[GameRecord]:
    """The records of the lines of a results file called ``name`` (in messages), as
    ``read_records`` reads them."""
    first: dict[tuple[tuple[str, ...], int], GameRecord] = {}
    conflicts: list[int] = []
    for number, raw in enumerate(lines, 1):
        if not raw.endswith(b"\n"):
            break
        if not raw.strip():
            continue
        try:
            value = json.loads(raw.decode("utf-8"))
        except (UnicodeDecodeError, json.JSONDecodeError):
            raise ValueError(f"{name}:{number}: not a JSON record") from None
        problem = _problem(value)
        if problem is not None:
            raise ValueError(f"{name}:{number}: {problem}")
        record = cast(GameRecord, value)
        key = (tuple(record["seats"]), record["seed"])
        kept = first.setdefault(key, record)
        if kept is not record and _without_seconds(kept) != _without_seconds(record):
            conflicts.append(number)
    if conflicts:
        warnings.warn(f"{name}:{conflicts[0]}: a game recorded again with other values "
                      f"({len(conflicts)} such line{'s' if len(conflicts) > 1 else ''}); the first record of "
                      f"each game is kept", ResultsWarning, stacklevel=3)
    return list(first.values())


def _without_seconds(record: GameRecord) -> dict[str, object]:
    return {name: value for name, value in record.items() if name != "seconds"}


class ResultsWarning(UserWarning):
    """A results file holds the same game twice with different values."""


class WorkersLost(RuntimeError):
    """Pool workers died (killed, or out of memory) twice while the same game was being played."""


def _start_worker(inherited: int) -> None:
    # Ctrl-C goes to the whole process group: the parent alone stops the run. A stop from outside
    # (SIGTERM) ends a worker at once and silently; its parent plays its games again or stops.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    signal.signal(signal.SIGTERM, signal.SIG_DFL)
    if inherited >= 0:
        # A forked worker holds a copy of the locked results file: an orphan would keep the lock.
        os.close(inherited)
    threading.Thread(target=_exit_with_parent, args=(os.getppid(),), daemon=True).start()


def _exit_with_parent(parent: int) -> None:
    # A parent killed outright (SIGKILL) cannot stop its workers, which would wait for work forever.
    while os.getppid() == parent:
        time.sleep(0.5)
    os._exit(1)


_Task = tuple[tuple[SeatSpec, ...], int, bool]


def _play(task: _Task) -> GameRecord:
    return play_game(*task)


class _Pool:
    """Plays tasks on worker processes, a few per worker queued at a time. A worker that dies
    (SIGKILL, the OOM killer) breaks its pool; the games that pool had not finished are played
    again on a fresh one, once."""

    def __init__(self, tasks: list[_Task], workers: int, inherited: int = -1,
                 note: Callable[[str], None] = print) -> None:
        self.todo = deque(tasks)
        self.workers = workers
        self.inherited = inherited
        self.note = note
        self.running: dict[Future[GameRecord], _Task] = {}
        self.executor = self._executor()
        self._fill()  # forked workers start on the first submission: now, before any other thread

    def _executor(self) -> ProcessPoolExecutor:
        # Forked workers start at once with the package already imported; a process with threads
        # (an earlier pool's, a progress bar's) gets workers from a fork server instead.
        methods = multiprocessing.get_all_start_methods()
        fork = "fork" in methods and threading.active_count() == 1
        method = "fork" if fork else "forkserver" if "forkserver" in methods else "spawn"
        return ProcessPoolExecutor(self.workers, multiprocessing.get_context(method), initializer=_start_worker,
                                   initargs=(self.inherited if fork else -1,))

    def _fill(self) -> None:
        while self.todo and len(self.running) < 2 * self.workers:
            future = self.executor.submit(_play, self.todo[0])
            self.running[future] = self.todo.popleft()

    def records(self) -> Generator[GameRecord, None, None]:
        """The records of the tasks, as their games finish."""
        lost_before: set[_Task] = set()
        while self.running:
            finished, _ = wait(self.running, return_when=FIRST_COMPLETED)
            try:
                for future in finished:
                    record = future.result()
                    del self.running[future]
                    yield record
                self._fill()
            except BrokenProcessPool:
                # The pool tells neither which worker died nor what it played: every game it had
                # not finished is played again, and a game lost twice stops the run, so that one
                # that kills its worker each time (say, out of memory) cannot loop forever.
                lost: list[_Task] = []
                for future, task in list(self.running.items()):
                    if future.done() and future.exception() is None:
                        del self.running[future]
                        yield future.result()
                    else:
                        lost.append(task)
                self.running.clear()
                self.executor.shutdown(wait=True)
                again = sorted({task[1] for task in lost if task in lost_before})
                if again:
                    raise WorkersLost(f"workers died twice while playing seed{'s' if len(again) > 1 else ''} "
                                      f"{', '.join(map(str, again[:5]))}{' ...' if len(again) > 5 else ''} "
                                      f"(killed, or out of memory?)") from None
                lost_before.update(lost)
                self.note(f"a worker died (killed, or out of memory?): {len(lost)} unfinished "
                          f"game{'s' if len(lost) > 1 else ''} played again on new workers")
                self.todo.extendleft(reversed(lost))
                self.executor = self._executor()
                self._fill()

    def stop(self) -> None:
        """Ends the workers (at once if games are still running) and waits for them to exit."""
        if self.running or self.todo:
            for process in list((self.executor._processes or {}).values()):
                process.terminate()
        self.executor.shutdown(wait=True, cancel_futures=True)


def _cluster(tasks: list[_Task], address: str) -> Generator[GameRecord, None, None]:
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


class ResultsFileLocked(OSError):
    """Another run is writing the results file."""


def _lock(path: Path) -> int:
    """An appending descriptor of ``path``, locked for this run (refused at once if in use)."""
    fd = os.open(path, os.O_WRONLY | os.O_APPEND | os.O_CREAT | os.O_CLOEXEC, 0o666)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        holder = _lock_holder(fd)
        os.close(fd)
        raise ResultsFileLocked(f"{path} is being written by another run ({holder}); wait for it or "
                                f"choose another --out") from None
    except BaseException:
        os.close(fd)
        raise
    return fd


def _lock_holder(fd: int) -> str:
    """``pid N`` of the process holding the lock on ``fd``'s file, as Linux lists it."""
    status = os.fstat(fd)
    device = f"{os.major(status.st_dev):02x}:{os.minor(status.st_dev):02x}"
    try:
        lines = Path("/proc/locks").read_text().splitlines()
    except OSError:
        return "pid unknown"
    # "1: FLOCK  ADVISORY  WRITE 5884 fe:00:2146828 0 EOF"; waiting requests are marked "->".
    held = [fields for fields in (line.split() for line in lines)
            if len(fields) >= 6 and fields[1] == "FLOCK" and fields[5].endswith(f":{status.st_ino}")]
    held.sort(key=lambda fields: not fields[5].startswith(device))  # overlay file systems: the inode alone
    return f"pid {held[0][4]}" if held else "pid unknown"


def _repair_tail(path: Path) -> None:
    """Cuts a torn last line (a run killed mid-write) in place, so that appended records start a line.

    Only the bytes after the last newline go: records already on disk are never written again,
    so a kill at any moment leaves at least every complete record.
    """
    with path.open("rb") as f:
        end = f.seek(0, os.SEEK_END)
        if end == 0:
            return
        f.seek(end - 1)
        if f.read(1) == b"\n":
            return
        cut = 0
        while end > 0:  # back to the last newline, a block at a time
            start = max(0, end - 65536)
            f.seek(start)
            newline = f.read(end - start).rfind(b"\n")
            if newline >= 0:
                cut = start + newline + 1
                break
            end = start
    os.truncate(path, cut)


_GameKey = tuple[tuple[str, ...], int]  # a game: the texts of its seats, and its seed


def _key(record: GameRecord) -> _GameKey:
    return tuple(record["seats"]), record["seed"]


@dataclass
class _Plan:
    """What a run plays: every game asked for, in the order of the file, less those already played."""

    configurations: dict[tuple[str, ...], tuple[SeatSpec, ...]]  # by their seat texts, in the order given
    order: dict[_GameKey, int]  # each game asked for, and its place in the file
    log_actions: bool
    done: dict[_GameKey, GameRecord] = field(default_factory=dict)  # games the results file holds

    def tasks(self) -> list[_Task]:
        """The games still to play, in the order of the file."""
        return [(self.configurations[key], seed, self.log_actions) for key, seed in self.order
                if (key, seed) not in self.done]


def _plan(configurations: Sequence[Sequence[SeatSpec]], seeds: Sequence[int], log_actions: bool) -> _Plan:
    if seeds and not 0 <= min(seeds) <= max(seeds) <= MAX_SEED:
        raise ValueError(f"seeds {min(seeds)} .. {max(seeds)} are not all seeds (0 .. 2**64 - 1)")
    # A configuration or seed given twice is played once: its games are the same games.
    specs: dict[tuple[str, ...], tuple[SeatSpec, ...]] = {}
    for configuration in configurations:
        specs.setdefault(tuple(spec.text for spec in configuration), tuple(configuration))
    games = ((key, seed) for key in specs for seed in dict.fromkeys(seeds))
    return _Plan(specs, {game: i for i, game in enumerate(games)}, log_actions)


def _open_results(out: Path) -> tuple[IO[str], dict[_GameKey, GameRecord]]:
    """``out`` locked for appending, its torn tail cut, and the games it holds."""
    out.parent.mkdir(parents=True, exist_ok=True)
    fd = _lock(out)
    try:
        _repair_tail(out)
        done = {_key(record): record for record in read_records(out)}
    except BaseException:
        os.close(fd)
        raise
    return os.fdopen(fd, "a", encoding="utf-8"), done


class _InOrder:
    """Writes records in the order of the file, each as soon as every game before it is on disk:
    a game that finishes early waits for the earlier seeds, so that a file holds its games in
    seed order whatever the workers finished first."""

    def __init__(self, sink: IO[str] | None, plan: _Plan) -> None:
        self.sink = sink
        self.order = plan.order
        self.games = list(plan.order)  # in the order of their places
        self.done = plan.done
        self.waiting: dict[int, GameRecord] = {}
        self.next = 0
        self.received: list[GameRecord] = []  # every game finished by this run

    def add(self, record: GameRecord) -> None:
        self.received.append(record)
        self.waiting[self.order[_key(record)]] = record
        while self.next < len(self.games):
            if self.games[self.next] in self.done:
                pass
            elif self.next in self.waiting:
                self._write(self.waiting.pop(self.next))
            else:
                break
            self.next += 1

    def close(self) -> None:
        """Writes the games still waiting for an earlier one (a rerun skips them) and closes the file."""
        try:
            for index in sorted(self.waiting):
                self._write(self.waiting[index])
            self.waiting.clear()
        finally:
            if self.sink is not None:
                self.sink.close()

    def _write(self, record: GameRecord) -> None:
        if self.sink is not None:
            self.sink.write(json.dumps(record, ensure_ascii=False) + "\n")
            self.sink.flush()


def _note(text: str) -> None:
    tqdm.write(text, file=sys.stderr)  # above a progress bar, if one is shown


def _run(tasks: list[_Task], writer: _InOrder, workers: int, cluster: str | None, progress: bool) -> None:
    """Plays the tasks, handing each record to ``writer`` as its game finishes (``writer.received``
    holds them). However it ends, every finished game is written before the workers are stopped."""
    pool: _Pool | None = None
    source: Generator[GameRecord, None, None] | None = None
    bar: tqdm[Any] | None = None
    try:
        if cluster:
            source = _cluster(tasks, cluster)
        elif workers > 1 and len(tasks) > 1:
            inherited = writer.sink.fileno() if writer.sink is not None else -1
            pool = _Pool(tasks, workers, inherited, _note)  # before the bar's thread: workers fork
            source = pool.records()
        else:
            source = (_play(task) for task in tasks)
        if progress and tasks:
            bar = tqdm(total=len(tasks), unit="game", dynamic_ncols=True, smoothing=0.05, disable=None)
        for record in source:
            writer.add(record)
            if bar is not None:
                bar.update()
    finally:
        # The workers are stopped even if the disk refuses the records.
        try:
            writer.close()
        finally:
            if source is not None:
                source.close()
            if pool is not None:
                pool.stop()  # the workers of an interrupted run
            if bar is not None:
                bar.close()


def _summaries(plan: _Plan, played: list[GameRecord], seconds: float) -> list[Summary]:
    """One summary per configuration over the games asked for, those read from the file included."""
    games = {**plan.done, **{_key(record): record for record in played}}
    asked = sorted((record for key, record in games.items() if key in plan.order), key=lambda record: record["seed"])
    found = {summary.seats: summary for summary in summarise(asked)}
    summaries = [found.get(key) or Summary(key) for key in plan.configurations]
    counts = Counter(tuple(record["seats"]) for record in played)
    for summary in summaries:
        summary.played = counts[summary.seats]
        summary.seconds = seconds
    return summaries


def run_match(configurations: Sequence[Sequence[SeatSpec]], seeds: Sequence[int], out: Path | None = None,
              workers: int | None = None, cluster: str | None = None, log_actions: bool = False,
              progress: bool = True) -> list[Summary]:
    """Plays every seed with every configuration, appending records to ``out`` (resuming it).

    Returns one summary per configuration over the requested seeds, the ones read back from
    ``out`` included. ``out`` is locked for the run (``ResultsFileLocked`` if another run holds
    it). Ctrl-C (any ``KeyboardInterrupt``) stops the run: the records of every finished game are
    in the file and the exception propagates, with the summaries of those games as its
    ``summaries`` attribute; ``WorkersLost`` propagates if workers keep dying.
    """
    plan = _plan(configurations, seeds, log_actions)
    sink = None
    if out is not None:
        sink, plan.done = _open_results(out)
    tasks = plan.tasks()
    if progress and out is not None and len(tasks) < len(plan.order):
        print(f"resuming {out}: {len(plan.order) - len(tasks)} of {len(plan.order)} games done", file=sys.stderr)
    started = time.perf_counter()
    in_order = _InOrder(sink, plan)
    try:
        _run(tasks, in_order, workers or os.cpu_count() or 1, cluster, progress)
    except KeyboardInterrupt as stop:
        # What finished before the stop, for the caller to show (`stop.summaries`).
        stop.summaries = _summaries(plan, in_order.received, time.perf_counter() - started)  # type: ignore[attr-defined]
        raise
    return _summaries(plan, in_order.received, time.perf_counter() - started)


def check_plot(path: Path) -> str:
    """The image format ``plot`` writes to ``path`` (from its suffix, PNG without one); ``ValueError``
    if matplotlib is missing or cannot write that format."""
    try:
        from matplotlib.backends.backend_agg import FigureCanvasAgg
    except ImportError:
        raise ValueError("--plot needs matplotlib: pip install 'corvanta[plot]'") from None
    kind = path.suffix[1:].lower() or "png"
    if kind not in FigureCanvasAgg.get_supported_filetypes():
        raise ValueError(f"{path}: matplotlib writes no {kind!r} images")
    return kind


def plot(summaries: Sequence[Summary], path: Path) -> None:
    """A histogram of the levels reached, one series per configuration (needs matplotlib)."""
    kind = check_plot(path)
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure = histogram(summaries)
    figure.savefig(path, format=kind)  # a path without a suffix is written as it is
    plt.close(figure)


def histogram(summaries: Sequence[Summary]) -> Any:
    """The histogram's matplotlib figure: each configuration's share of games per level, its mean
    level marked by a dashed line of the same colour."""
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(figsize=(8, 4.5))
    width = 0.8 / max(1, len(summaries))
    for i, summary in enumerate(summaries):
        counts = [summary.levels.count(level) / max(1, summary.games) for level in range(13)]
        mean = summary.mean_level[0]
        bars = axes.bar([level - 0.4 + width * (i + 0.5) for level in range(13)], counts, width,
                        label=f"{summary.label} ({summary.games} games, mean {mean:.2f})")
        axes.axvline(mean, color=bars.patches[0].get_facecolor(), linestyle="--", linewidth=1.5)
    games = sum(summary.games for summary in summaries)
    axes.set_title(f"Levels reached in {games} games (dashed: the mean)")
    axes.set_xticks(range(13), [str(level) for level in range(12)] + ["won"])
    axes.set_xlabel("level reached (enemies defeated)")
    axes.set_ylabel("share of games")
    axes.legend()
    figure.tight_layout()
    return figure
