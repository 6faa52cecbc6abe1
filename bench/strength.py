"""How well the built-in players play: mean level reached and win rate over seeded games.

Run against the installed module:  python bench/strength.py [--games 50]
Prints lines `strength.N<n>.<player>.mean_level: <number>` and `...win_rate: <number>`;
a progress bar goes to standard error.
"""
import argparse
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


def progress(label, done, total, started):
    width = 30
    filled = width * done // total
    elapsed = time.monotonic() - started
    sys.stderr.write(f"\r{label:<24} [{'#' * filled}{'.' * (width - filled)}] {done}/{total} {elapsed:6.1f}s")
    if done == total:
        sys.stderr.write("\n")
    sys.stderr.flush()


def measure(num_players, name, make_player, games):
    levels, wins = [], 0
    started = time.monotonic()
    label = f"N{num_players}.{name}"
    progress(label, 0, games, started)
    for seed in range(games):
        seats = [make_player(1000 * seed + seat) for seat in range(num_players)]
        game = CorvantaGame(seats, seed)
        result = game.playout()
        wins += result == 0
        levels.append(game.reward())
        progress(label, seed + 1, games, started)
    return sum(levels) / len(levels), wins / games


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--games", type=int, default=50, help="games per player count (seeds 0..games-1)")
    parser.add_argument("--players", nargs="*", default=list(PLAYERS), choices=list(PLAYERS))
    parser.add_argument("--counts", nargs="*", type=int, default=[1, 2], choices=[1, 2, 3, 4])
    args = parser.parse_args()
    for n in args.counts:
        for name in args.players:
            mean_level, win_rate = measure(n, name, PLAYERS[name], args.games)
            print(f"strength.N{n}.{name}.mean_level: {mean_level:.2f}")
            print(f"strength.N{n}.{name}.win_rate: {win_rate:.2f}", flush=True)


if __name__ == "__main__":
    main()
