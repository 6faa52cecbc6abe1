"""Plays one seeded game with search players and shows, every turn, what the search thought.

Each seat is a small Python player around a built-in MCTSPlayer: it asks the search for a move,
shows the position, the three best-ranked actions (visits and average reward, the level a
playout reached on average, 12 for a win) and the choice, in the console's words (see play.py).
The deal is seeded; the search draws its own random re-deals of the hidden cards, so two runs
can differ.

    python3 examples/search.py [--players N] [--seed S] [--playouts P] [--threads T]
"""
from __future__ import annotations

import argparse
import time
from typing import TYPE_CHECKING

import corvanta
from corvanta_lab.moves import move_text
from play import Story

if TYPE_CHECKING:  # the submodules are attributes of the module, not importable at run time
    from corvanta.actions import Action


class ShowSearch:
    """A Python player that lets an MCTSPlayer choose and shows its ranking."""

    def __init__(self, seat: int, searcher: corvanta.players.MCTSPlayer, story: Story) -> None:
        self.seat = seat
        self.searcher = searcher
        self.story = story
        self.turns = 0

    def play(self, state: corvanta.PyState) -> Action:
        self.turns += 1
        action = self.searcher.play(state)
        legal = state.action_space()
        self.story.position()
        for rank, (candidate, visits, avg_reward) in enumerate(self.searcher.ranked_actions()[:3], 1):
            text = move_text(self.story.action_at(legal.index(candidate)))
            print(f"  {rank}. {text:<16} visits {visits:>6}  average reward {avg_reward:5.2f}")
        self.story.move(legal.index(action), len(legal))
        return action


def main() -> None:
    parser = argparse.ArgumentParser(description="Play one seeded game with search players, turn by turn.")
    parser.add_argument("--players", type=int, default=2, choices=[1, 2, 3, 4], help="number of seats")
    parser.add_argument("--seed", type=int, default=7, help="seed of the deal")
    parser.add_argument("--playouts", type=int, default=20000, help="playouts per search")
    parser.add_argument("--threads", type=int, default=2, help="worker threads per search")
    args = parser.parse_args()

    started = time.monotonic()
    story = Story(args.players, args.seed)
    seats = [ShowSearch(seat, corvanta.players.MCTSPlayer(args.playouts, args.threads, True), story)
             for seat in range(args.players)]
    game = corvanta.CorvantaGame(seats, seed=args.seed)
    result = game.playout()
    outcome = "won" if result == 0 else "lost"
    moves = sum(seat.turns for seat in seats)
    print(f"\nThe players {outcome} after {moves} moves, defeating {game.reward()} of 12 enemies "
          f"({time.monotonic() - started:.1f} s).")


if __name__ == "__main__":
    main()
