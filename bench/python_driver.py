"""Throughput of the game driver as seen from Python.

Prints one line per figure:
  driver.N1.python_player.turns_per_s   1-player games of a Python player taking the first legal action
  driver.N4.python_player.turns_per_s   the same with four such players
  driver.N1.random_player.games_per_s   whole 1-player games of the built-in random player

Run against the installed module (or PYTHONPATH pointing at a build): python3 bench/python_driver.py
"""
import argparse
import time

import corvanta


class FirstAction:
    """Takes the first legal action and counts its turns."""

    def __init__(self):
        self.turns = 0

    def play(self, state):
        self.turns += 1
        return state.action_space()[0]


def python_player_turns_per_s(players, seconds):
    seats = [FirstAction() for _ in range(players)]
    seed = 0
    start = time.perf_counter()
    while True:
        corvanta.CorvantaGame(seats, seed).playout()
        seed += 1
        elapsed = time.perf_counter() - start
        if elapsed >= seconds:
            return sum(p.turns for p in seats) / elapsed


def random_games_per_s(seconds):
    player = corvanta.players.RandomPlayer(1)
    games = 0
    start = time.perf_counter()
    while True:
        corvanta.CorvantaGame([player], games).playout()
        games += 1
        elapsed = time.perf_counter() - start
        if elapsed >= seconds:
            return games / elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=2.0, help="time spent on each figure")
    seconds = parser.parse_args().seconds
    print(f"driver.N1.python_player.turns_per_s: {python_player_turns_per_s(1, seconds):.0f}")
    print(f"driver.N4.python_player.turns_per_s: {python_player_turns_per_s(4, seconds):.0f}")
    print(f"driver.N1.random_player.games_per_s: {random_games_per_s(seconds):.0f}")


if __name__ == "__main__":
    main()
