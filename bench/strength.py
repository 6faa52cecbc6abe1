"""How well the built-in players play: mean level reached and win rate over seeded games.

Run against the installed module:  python bench/strength.py [--games 100] [--seeds-from 0]
Prints lines `strength.N<n>.<player>.mean_level: <mean> ± <half-width>` (95 % interval of the
mean) and `...win_rate: <rate> [<low>, <high>]` (95 % Wilson interval), plus seconds per game;
a progress bar goes to standard error.
"""
import argparse
import math
import statistics
import sys
import time

import corvanta

CorvantaGame = corvanta.CorvantaGame
MCTSPlayer = corvanta.players.MCTSPlayer
RandomPlayer = corvanta.players.RandomPlayer

PLAYERS = {
    "random": lambda seed: RandomPlayer(seed),
    "mcts_1000_h0": lambda seed: MCTSPlayer(1000, 2, False),
    "mcts_1000_h1": lambda seed: MCTSPlayer(1000, 2, True),
    "mcts_10000_h1": lambda seed: MCTSPlayer(10000, 2, True),
}
DEFAULT_PLAYERS = ["random", "mcts_1000_h1"]
Z95 = 1.959964


def mean_interval(values):
    """Mean and the half-width of its normal 95 % confidence interval."""
    mean = statistics.fmean(values)
    if len(values) < 2:
        return mean, math.nan
    return mean, Z95 * statistics.stdev(values) / math.sqrt(len(values))


def wilson_interval(successes, n):
    """95 % Wilson score interval of a binomial proportion."""
    p = successes / n
    denominator = 1 + Z95**2 / n
    centre = (p + Z95**2 / (2 * n)) / denominator
    half = Z95 * math.sqrt(p * (1 - p) / n + Z95**2 / (4 * n * n)) / denominator
    return max(0.0, centre - half), min(1.0, centre + half)


def progress(label, done, total, started):
    width = 30
    filled = width * done // total
    elapsed = time.monotonic() - started
    sys.stderr.write(f"\r{label:<24} [{'#' * filled}{'.' * (width - filled)}] {done}/{total} {elapsed:6.1f}s")
    if done == total:
        sys.stderr.write("\n")
    sys.stderr.flush()


def measure(num_players, name, make_player, seeds):
    levels, wins = [], 0
    started = time.monotonic()
    label = f"N{num_players}.{name}"
    progress(label, 0, len(seeds), started)
    for done, seed in enumerate(seeds, 1):
        seats = [make_player(1000 * seed + seat) for seat in range(num_players)]
        game = CorvantaGame(seats, seed)
        result = game.playout()
        wins += result == 0
        levels.append(game.reward())
        progress(label, done, len(seeds), started)
    return levels, wins, (time.monotonic() - started) / len(seeds)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--games", type=int, default=50, help="games per player count and player")
    parser.add_argument("--seeds-from", type=int, default=0, help="first game seed (seeds are consecutive)")
    parser.add_argument("--players", nargs="*", default=DEFAULT_PLAYERS, choices=list(PLAYERS))
    parser.add_argument("--counts", nargs="*", type=int, default=[1, 2], choices=[1, 2, 3, 4])
    args = parser.parse_args()
    if args.games < 1:
        parser.error("--games must be at least 1")
    seeds = range(args.seeds_from, args.seeds_from + args.games)
    for n in args.counts:
        for name in args.players:
            levels, wins, seconds = measure(n, name, PLAYERS[name], seeds)
            mean, half = mean_interval(levels)
            low, high = wilson_interval(wins, len(levels))
            prefix = f"strength.N{n}.{name}"
            print(f"{prefix}.mean_level: {mean:.2f} ± {half:.2f}")
            print(f"{prefix}.win_rate: {wins / len(levels):.3f} [{low:.3f}, {high:.3f}]")
            print(f"{prefix}.seconds_per_game: {seconds:.3f}", flush=True)


if __name__ == "__main__":
    main()
