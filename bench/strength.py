"""How well the built-in players play: mean level reached and win rate over seeded games.

Run against the installed package:  python bench/strength.py [--games 100] [--seeds-from 0]
A thin call of `corvanta match` (one run per player count and player, on every core). Prints
lines `strength.N<n>.<player>.mean_level: <mean> ± <half-width>` (95 % interval of the mean),
`...win_rate: <rate> [<low>, <high>]` (95 % Wilson interval) and `...seconds_per_game:` (the
mean time one game took in its worker); a progress bar goes to standard error.

With --options the lab's strong search is played instead with one of its options changed at a
time (the same seeded deals for each), `strength.N<n>.option.<variant>.win_rate: ...`, and
`...ms_per_move:` (CPU time): the effect of each option, with intervals.
"""
import argparse
import multiprocessing
import os
import time
from typing import Any

from corvanta_lab import Game, SearchPlayer
from corvanta_lab.cli import match_main
from corvanta_lab.match import Summary

# Each search runs on two threads, as the search player of the module is usually given.
PLAYERS = {
    "random": "random",
    "mcts_1000_h0": "mcts:1000:2:n",
    "mcts_1000_h1": "mcts:1000:2:h",
    "mcts_10000_h1": "mcts:10000:2:h",
}
DEFAULT_PLAYERS = ["random", "mcts_1000_h1"]

# The strong preset, then one option changed at a time (SearchPlayer keywords).
_TREE_RULE = 16.970562748477143  # the default tree rule's exploration constant, 12 * sqrt(2)
OPTION_VARIANTS: dict[str, dict[str, Any]] = {
    "strong": {},
    "tree_per_sample": {"tree": "samples"},
    "no_widening": {"widening": 0.0},
    "no_near_tie": {"near_tie": 0.0},
    "clairvoyant": {"clairvoyant": True},
}


def _play(job: tuple[int, int, int, dict[str, Any]]) -> tuple[int, bool, float, int]:
    players, seed, playouts, options = job
    player = SearchPlayer(playouts, **options)
    game = Game(players, seed)
    start, moves = time.process_time(), 0
    while not game.is_over:
        game.apply(player.play(game))
        moves += 1
    return game.level, game.won, time.process_time() - start, moves


def options_main(counts: list[int], games: int, seeds_from: int, playouts: int, variants: list[str]) -> None:
    with multiprocessing.get_context("spawn").Pool(os.cpu_count() or 1) as pool:
        for n in counts:
            for name in variants:
                jobs = [(n, seed, playouts, OPTION_VARIANTS[name]) for seed in range(seeds_from, seeds_from + games)]
                results = pool.map(_play, jobs)
                summary = Summary((name,), levels=[r[0] for r in results], wins=sum(r[1] for r in results))
                mean, half = summary.mean_level
                rate, low, high = summary.win_rate
                prefix = f"strength.N{n}.option.{name}"
                print(f"{prefix}.mean_level: {mean:.2f} ± {half:.2f}")
                print(f"{prefix}.win_rate: {rate:.3f} [{low:.3f}, {high:.3f}]")
                cpu = sum(r[2] for r in results) / max(1, sum(r[3] for r in results))
                print(f"{prefix}.ms_per_move: {1000 * cpu:.2f}", flush=True)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--games", type=int, default=50, help="games per player count and player")
    parser.add_argument("--seeds-from", type=int, default=0, help="first game seed (seeds are consecutive)")
    parser.add_argument("--players", nargs="*", default=DEFAULT_PLAYERS, choices=list(PLAYERS))
    parser.add_argument("--counts", nargs="*", type=int, default=[1, 2], choices=[1, 2, 3, 4])
    parser.add_argument("--options", nargs="*", choices=list(OPTION_VARIANTS), metavar="VARIANT",
                        help=f"play the strong search with these options changed ({', '.join(OPTION_VARIANTS)})")
    parser.add_argument("--playouts", type=int, default=1000, help="playouts per move with --options")
    args = parser.parse_args()
    if args.games < 1:
        parser.error("--games must be at least 1")
    if args.options is not None:
        options_main(args.counts, args.games, args.seeds_from, args.playouts, args.options or list(OPTION_VARIANTS))
        return
    cores = os.cpu_count() or 1
    for n in args.counts:
        for name in args.players:
            spec = PLAYERS[name]
            threads = int(spec.split(":")[2]) if spec.startswith("mcts:") else 1
            (summary,) = match_main(["--all", spec, "--players", str(n), "--games", str(args.games),
                                     "--seed-start", str(args.seeds_from),
                                     "--workers", str(max(1, cores // threads))], echo=False)
            mean, half = summary.mean_level
            rate, low, high = summary.win_rate
            prefix = f"strength.N{n}.{name}"
            print(f"{prefix}.mean_level: {mean:.2f} ± {half:.2f}")
            print(f"{prefix}.win_rate: {rate:.3f} [{low:.3f}, {high:.3f}]")
            print(f"{prefix}.seconds_per_game: {summary.seconds_per_game:.3f}", flush=True)


if __name__ == "__main__":
    main()
