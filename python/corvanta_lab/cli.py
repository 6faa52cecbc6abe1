"""The corvanta command: play a game at the terminal, match players over many seeded games,
replay a logged game."""

from __future__ import annotations

import argparse
import json
import os
import signal
import sys
import threading
import time
import warnings
from collections.abc import Callable, Iterator, Sequence
from contextlib import contextmanager
from pathlib import Path
from types import FrameType
from typing import NoReturn

from corvanta_lab import console
from corvanta_lab import seats as seat_specs
from corvanta_lab._core import Game
from corvanta_lab.match import (Summary, WorkersLost, check_plot, plot, read_records, record_of, run_match,
                                table)
from corvanta_lab.rules import RULES

__all__ = ["main", "match_main", "parser"]


def _seat(text: str) -> seat_specs.SeatSpec:
    try:
        return seat_specs.parse_seat(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def _positive(text: str) -> int:
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"{text} is not at least 1")
    return value


def _seed(text: str) -> int:
    value = int(text)
    if not 0 <= value < 2**64:
        raise argparse.ArgumentTypeError(f"{text} is not a seed (0 .. 2**64 - 1)")
    return value


class _Parser(argparse.ArgumentParser):
    # A mistake on the command line is one line: what is wrong, and where the help is.
    def error(self, message: str) -> NoReturn:
        self.exit(2, f"{self.prog}: error: {message} (see {self.prog} --help)\n")


def _unwritable(path: Path) -> str | None:
    """Why ``path`` cannot be written as a file (``None`` if it can, its missing folders made)."""
    if path.is_dir():
        return "is a directory"
    if path.exists():
        return None if os.access(path, os.W_OK) else "is not writable"
    folder = path.parent
    while not folder.exists() and folder != folder.parent:
        folder = folder.parent
    if not folder.is_dir():
        return f"cannot be made: {folder} is not a directory"
    return None if os.access(folder, os.W_OK | os.X_OK) else f"cannot be made: {folder} is not writable"


def parser() -> argparse.ArgumentParser:
    """The command line of ``corvanta``."""
    top = _Parser(prog="corvanta", description=__doc__)
    commands = top.add_subparsers(dest="command", required=True, metavar="COMMAND")

    play = commands.add_parser("play", help="play a game at the terminal",
                               formatter_class=argparse.RawDescriptionHelpFormatter,
                               description="Play a game at the terminal.\n\nseats (--seat SPEC):\n"
                                           + seat_specs.seat_help())
    play.add_argument("--players", type=int, choices=[1, 2, 3, 4], help="seats (default 2, or as many as --seat)")
    play.add_argument("--seed", type=_seed, help="seed of the deal (default: a new one)")
    play.add_argument("--seat", action="append", type=_seat, default=[], metavar="SPEC",
                      help="who sits at the next seat (repeatable; seats not given: you first, then mcts:1000)")
    play.add_argument("--hint-playouts", type=_positive, default=2000, metavar="N",
                      help="playouts of the search behind `hint` (default 2000)")
    play.add_argument("--log-actions", type=Path, metavar="FILE", help="append the game, with its moves, to FILE")

    match = commands.add_parser("match", help="play many seeded games and summarise them",
                                formatter_class=argparse.RawDescriptionHelpFormatter,
                                description="Play seeded games on every core (or a Dask cluster), write one JSON "
                                            "line per game\nand print a summary per seat configuration.\n\n"
                                            "seats (--seat SPEC, --all SPEC):\n" + seat_specs.seat_help(people=False))
    who = match.add_mutually_exclusive_group(required=True)
    who.add_argument("--seat", action="append", type=_seat, metavar="SPEC",
                     help="the player at the next seat (repeat for each seat)")
    who.add_argument("--all", type=_seat, metavar="SPEC", help="the same player at every seat (with --players)")
    match.add_argument("--players", type=int, choices=[1, 2, 3, 4], help="seats, with --all (default 2)")
    match.add_argument("--games", type=_positive, default=100, help="games (default 100)")
    match.add_argument("--seed-start", type=_seed, default=0, metavar="S", help="first seed; seeds are consecutive")
    match.add_argument("--workers", type=_positive, help=f"processes (default: every core, {os.cpu_count()} here)")
    match.add_argument("--cluster", metavar="ADDRESS", help="run on this Dask scheduler (tcp://HOST:PORT)")
    match.add_argument("--out", type=Path, metavar="FILE", help="results file (JSON lines); an existing one is resumed")
    match.add_argument("--plot", type=Path, metavar="PNG", help="write a histogram of the levels reached")
    match.add_argument("--log-actions", action="store_true", help="record every game's moves (for replay)")
    match.add_argument("--quiet", action="store_true", help="no progress bar")

    replay = commands.add_parser("replay", help="show a logged game turn by turn",
                                 description="Show a game logged with --log-actions, turn by turn.")
    replay.add_argument("file", type=Path)
    replay.add_argument("--game", type=int, metavar="SEED", help="the game of this seed (default: the first)")

    commands.add_parser("rules", help="print the rules of the game", description="Print the rules of the game.")

    serve = commands.add_parser("serve", help="play and watch games in a browser",
                                formatter_class=argparse.RawDescriptionHelpFormatter,
                                description="Serve a web page to play games and watch logged ones (needs the web "
                                            "extra).\n\nseats (--seat SPEC), also what the page accepts:\n"
                                            + seat_specs.seat_help(only=seat_specs.BROWSER_KINDS))
    serve.add_argument("--host", default="127.0.0.1", help="address to listen on (default 127.0.0.1: this machine only)")
    serve.add_argument("--port", type=int, default=8000, help="port (default 8000; 0 picks a free one)")
    serve.add_argument("--seat", action="append", type=_seat, default=[], metavar="SPEC",
                       help="the seats the page offers first (repeatable; default: human, mcts:1000)")
    serve.add_argument("--watch", action="append", type=Path, default=[], metavar="FILE",
                       help="a results file with logged moves, offered on the Watch page (repeatable)")
    serve.add_argument("--hint-playouts", type=_positive, default=2000, metavar="N",
                       help="playouts of the search behind `hint` (default 2000)")
    serve.add_argument("--max-games", type=_positive, default=64, metavar="N",
                       help="live games kept at once; the one idle longest goes first (default 64)")
    serve.add_argument("--pause", type=float, default=0.8, metavar="SECONDS",
                       help="pause between two partners' moves (default 0.8)")
    serve.add_argument("--open", action="store_true", help="open the page in a browser")
    return top


def _configuration(args: argparse.Namespace) -> list[seat_specs.SeatSpec]:
    seats: list[seat_specs.SeatSpec] = args.seat or [args.all] * (args.players or 2)
    if args.seat and args.players and args.players != len(args.seat):
        raise SystemExit(f"corvanta match: --players {args.players} but {len(args.seat)} seats given")
    if not 1 <= len(seats) <= 4:
        raise SystemExit(f"corvanta match: a game has 1 to 4 seats, not {len(seats)}")
    if any(isinstance(seat, seat_specs.HumanSeat) for seat in seats):
        raise SystemExit("corvanta match: no human seats here (use corvanta play)")
    return seats


def _usage_error(message: str) -> NoReturn:
    print(f"corvanta match: error: {message} (see corvanta match --help)", file=sys.stderr)
    raise SystemExit(2)


class _Terminated(KeyboardInterrupt):
    """SIGTERM: the run stops as after Ctrl-C."""


@contextmanager
def _stop_on_signals() -> Iterator[None]:
    """SIGTERM stops a run as Ctrl-C does; further signals are ignored while it stops, so that
    nothing interrupts the writing of the finished games."""
    if threading.current_thread() is not threading.main_thread():  # only the main thread handles signals
        yield
        return
    parent = os.getpid()
    stopping = False

    def stop(number: int, frame: FrameType | None) -> None:
        nonlocal stopping
        if os.getpid() != parent:  # a pool worker, forked before it set its own handlers
            signal.signal(number, signal.SIG_DFL)
            os.kill(os.getpid(), number)
            return
        if not stopping:
            stopping = True
            raise _Terminated if number == signal.SIGTERM else KeyboardInterrupt

    previous = {number: signal.signal(number, stop) for number in (signal.SIGINT, signal.SIGTERM)}
    try:
        yield
    finally:
        for number, handler in previous.items():
            signal.signal(number, handler)


def _play(args: argparse.Namespace) -> int:
    """``corvanta play``: the seats given, you at the first seat left, then search partners."""
    specs: list[seat_specs.SeatSpec] = list(args.seat)
    players = args.players or (len(specs) if specs else 2)
    if len(specs) > players:
        print(f"corvanta play: --players {players} but {len(specs)} seats given", file=sys.stderr)
        return 2
    if len(specs) < players and not any(isinstance(spec, seat_specs.HumanSeat) for spec in specs):
        specs.append(seat_specs.HUMAN)
    specs += [seat_specs.parse_seat("mcts:1000")] * (players - len(specs))
    seed = args.seed if args.seed is not None else int.from_bytes(os.urandom(4), "little")
    style = console.Style.for_stream()
    game = Game(players, seed)
    started = time.perf_counter()
    status = 0
    try:
        console.play(game, specs, args.hint_playouts, style)
    except (KeyboardInterrupt, EOFError) as left:
        turns = f"{game.turns} turn{'' if game.turns == 1 else 's'}"
        print(f"\nGame left at level {game.level} after {turns} (seed {seed}).")
        status = 130 if isinstance(left, KeyboardInterrupt) else 0
    if args.log_actions:
        # A game left before its end is logged too (record_of marks it as left).
        record = record_of(game, specs, time.perf_counter() - started)
        with Path(args.log_actions).open("a", encoding="utf-8") as f:
            f.write(json.dumps(record) + "\n")
    return status


def _match(args: argparse.Namespace, echo: bool = True) -> list[Summary]:
    """``corvanta match``: the summaries, printed if ``echo``."""
    # Everything a game does not decide is checked before the first game.
    if args.seed_start + args.games - 1 > seat_specs.MAX_SEED:
        _usage_error(f"--seed-start {args.seed_start} --games {args.games} runs past the last seed (2**64 - 1)")
    for option, path in (("--out", args.out), ("--plot", args.plot)):
        problem = None if path is None else _unwritable(path)
        if problem:
            _usage_error(f"{option} {path} {problem}")
    if args.plot:
        try:
            check_plot(args.plot)
        except ValueError as error:
            _usage_error(str(error))
    seeds = range(args.seed_start, args.seed_start + args.games)
    kept = f"; finished games are in {args.out}, run again to resume" if args.out else ""
    try:
        with _stop_on_signals():
            summaries = run_match([_configuration(args)], seeds, out=args.out, workers=args.workers,
                                  cluster=args.cluster, log_actions=args.log_actions, progress=not args.quiet)
    except KeyboardInterrupt as stop:
        # The games that finished before the stop are summarised as a finished run's are.
        finished = [summary for summary in getattr(stop, "summaries", []) if summary.games]
        if echo and finished:
            print("\n" + table(finished))
        how, status = ("terminated", 143) if isinstance(stop, _Terminated) else ("interrupted", 130)
        print(f"\ncorvanta match: {how}{kept}", file=sys.stderr)
        raise SystemExit(status) from None
    except WorkersLost as error:
        print(f"corvanta match: {error}; stopped{kept}", file=sys.stderr)
        raise SystemExit(1) from None
    if echo:
        print(table(summaries))
    if args.plot:
        plot(summaries, args.plot)
    return summaries


def match_main(argv: Sequence[str], echo: bool = True) -> list[Summary]:
    """``corvanta match`` with these arguments; returns the summaries (printed if ``echo``)."""
    return _match(parser().parse_args(["match", *argv]), echo)


def _replay(args: argparse.Namespace) -> int:
    """``corvanta replay``: the first logged game of the file, or the one of ``--game``."""
    if not Path(args.file).exists():
        print(f"corvanta replay: {args.file} does not exist", file=sys.stderr)
        return 1
    records = [r for r in read_records(args.file) if args.game is None or r["seed"] == args.game]
    logged = [r for r in records if "actions" in r]
    if not logged:
        what = f"no game of seed {args.game}" if args.game is not None else "no game"
        print(f"corvanta replay: {what} with logged moves in {args.file} (log them with --log-actions)",
              file=sys.stderr)
        return 1
    console.replay(logged[0])
    return 0


def _serve(args: argparse.Namespace) -> int:
    """``corvanta serve``: the web app on uvicorn, until Ctrl-C."""
    try:
        from corvanta_lab.web.serve import serve
    except ImportError as error:
        print(f"corvanta serve: needs the web extra (pip install 'corvanta[web]'): {error}", file=sys.stderr)
        return 1
    return serve(args)


def _match_status(args: argparse.Namespace) -> int:
    _match(args)
    return 0  # a run that stops early leaves with SystemExit and its own status


def _rules(args: argparse.Namespace) -> int:
    print(RULES, end="")
    return 0


_COMMANDS: dict[str, Callable[[argparse.Namespace], int]] = {"play": _play, "match": _match_status,
                                                            "replay": _replay, "rules": _rules,
                                                            "serve": _serve}


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command; returns its exit status."""
    args = parser().parse_args(sys.argv[1:] if argv is None else argv)
    try:
        with warnings.catch_warnings():
            # Warnings (a results file holding a game twice) are one line, like every other message.
            warnings.showwarning = lambda message, *_, **__: print(f"corvanta {args.command}: warning: {message}",
                                                                   file=sys.stderr)
            return _COMMANDS[args.command](args)
    except KeyboardInterrupt:
        print("\ninterrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader left (`corvanta replay r.jsonl | head`): stop quietly, and keep the
        # interpreter's last flush of stdout from failing again.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 0
    except (OSError, ValueError, json.JSONDecodeError) as error:
        print(f"corvanta {args.command}: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
