"""How well the built-in players play: mean level reached and win rate over seeded games.

Run against the installed package:  python bench/strength.py [--games 100] [--seeds-from 0]
A thin call of `corvanta match` (one run per player count and player, on every core). Prints
lines `strength.N<n>.<player>.mean_level: <mean> ± <half-width>` (95 % interval of the mean),
`...win_rate: <rate> [<low>, <high>]` (95 % Wilson interval) and `...seconds_per_game:` (the
mean time one game took in its worker); a progress bar goes to standard error.
"""
import argparse
import os

from corvanta_lab.cli import match_main

# Each search runs on two threads, as the search player of the module is usually given.
PLAYERS = {
    "random": "random",
    "mcts_1000_h0": "mcts:1000:2:n",
    "mcts_1000_h1": "mcts:1000:2:h",
    "mcts_10000_h1": "mcts:10000:2:h",
}
DEFAULT_PLAYERS = ["random", "mcts_1000_h1"]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--games", type=int, default=50, help="games per player count and player")
    parser.add_argument("--seeds-from", type=int, default=0, help="first game seed (seeds are consecutive)")
    parser.add_argument("--players", nargs="*", default=DEFAULT_PLAYERS, choices=list(PLAYERS))
    parser.add_argument("--counts", nargs="*", type=int, default=[1, 2], choices=[1, 2, 3, 4])
    args = parser.parse_args()
    if args.games < 1:
        parser.error("--games must be at least 1")
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
