"""Plays one seeded game of corvanta and prints every turn.

A player written in Python is any object with a method `play(state)`: the game calls it with the
keyword argument `state` (a read-only PyState snapshot) whenever that seat is to move, and it must
return one of the state's legal actions (`state.action_space()`). The players below let a seeded
built-in RandomPlayer choose, and print what they see and do; the built-in players could also be
given to the game directly, which plays them without any Python code per turn.

    python3 examples/play.py [--players N] [--seed S]
"""
from __future__ import annotations

import argparse
from typing import TYPE_CHECKING

import corvanta

if TYPE_CHECKING:  # the submodules are attributes of the module, not importable at run time
    from corvanta.actions import Action


class Narrator:
    """A Python player: shows the state, lets a seeded RandomPlayer choose, shows the choice."""

    def __init__(self, seat: int, seed: int) -> None:
        self.seat = seat
        self.chooser = corvanta.players.RandomPlayer(seed)
        self.turns = 0

    def play(self, state: corvanta.PyState) -> Action:
        self.turns += 1
        action = self.chooser.play(state)
        legal = state.action_space()
        print(state)
        print(f"Seat {self.seat} chooses {action} (one of {len(legal)} legal actions)")
        print()
        return action


def main() -> None:
    parser = argparse.ArgumentParser(description="Play one seeded game of corvanta, turn by turn.")
    parser.add_argument("--players", type=int, default=2, choices=[1, 2, 3, 4], help="number of seats")
    parser.add_argument("--seed", type=int, default=7, help="seed of the deal")
    args = parser.parse_args()

    player_seeds = [args.seed + 1 + seat for seat in range(args.players)]
    seats = [Narrator(seat, seed) for seat, seed in enumerate(player_seeds)]
    game = corvanta.CorvantaGame(seats, seed=args.seed)
    result = game.playout()
    outcome = "won" if result == 0 else "lost"
    turns = sum(seat.turns for seat in seats)
    print(f"Result: {result!r}: the players {outcome} after {turns} turns, "
          f"defeating {game.reward()} of 12 enemies.")

    # The same players as built-in objects, copied into the game and played without Python code.
    direct = corvanta.CorvantaGame([corvanta.players.RandomPlayer(seed) for seed in player_seeds], seed=args.seed)
    again = direct.playout()
    print(f"Played again by the built-in players alone: {again!r}, reward {direct.reward()}.")


if __name__ == "__main__":
    main()
