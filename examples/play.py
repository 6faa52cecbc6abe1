"""Plays one seeded game of corvanta and tells it turn by turn, as the console shows a game.

A player written in Python is any object with a method `play(state)`: the game calls it with the
keyword argument `state` (a read-only PyState snapshot) whenever that seat is to move, and it must
return one of the state's legal actions (`state.action_space()`). The players below let a seeded
built-in RandomPlayer choose. To tell the game in the console's words they keep a
`corvanta_lab.Game` in step: the lab deals the same cards for the same seed and lists the legal
actions in the same order, so the position of the chosen action names the same move there. The
built-in players could also be given to the game directly, which plays them without any Python
code per turn.

    python3 examples/play.py [--players N] [--seed S]
"""
from __future__ import annotations

import argparse
from typing import TYPE_CHECKING

import corvanta
import corvanta_lab as lab
from corvanta_lab.moves import describe

if TYPE_CHECKING:  # the submodules are attributes of the module, not importable at run time
    from corvanta.actions import Action


class Story:
    """The game as the lab sees it, told one move at a time."""

    def __init__(self, players: int, seed: int) -> None:
        self.game = lab.Game(players, seed)
        print(f"A game of {players} player{'s' if players > 1 else ''}, seed {seed}: "
              f"{len(self.game.castle)} enemies in the castle, Jacks first.")

    def position(self) -> None:
        """The enemy, the piles and the hand of the player to act."""
        game = self.game
        seat, enemy = game.current_player, game.current_enemy
        hand = " ".join(card.label for card in game.sorted_hand(seat))
        if enemy is not None:
            print(f"\nlevel {game.level} · enemy {enemy.card.label}: health {enemy.health}, attack {enemy.attack}"
                  f" · tavern {game.tavern_size} · discard {game.discard_size}")
        if game.phase == lab.Phase.DISCARD:
            print(f"P{seat} must discard cards worth {game.discard_amount}; hand {hand}")
        else:
            print(f"P{seat} to act; hand {hand}")

    def action_at(self, index: int) -> lab.Action:
        """The legal action at this position of the list (the module's list has the same order)."""
        return self.game.legal_actions()[index]

    def move(self, index: int, legal: int) -> None:
        """Plays the legal action at `index` and says what it did."""
        before = self.game.clone()
        action = self.action_at(index)
        self.game.apply(action)
        print(f"  {describe(before, action, self.game)}   (one of {legal} legal moves)")

    def tell(self, index: int, legal: int) -> None:
        self.position()
        self.move(index, legal)


class Narrator:
    """A Python player: a seeded RandomPlayer chooses, the story tells the choice."""

    def __init__(self, seat: int, seed: int, story: Story) -> None:
        self.seat = seat
        self.chooser = corvanta.players.RandomPlayer(seed)
        self.story = story
        self.turns = 0

    def play(self, state: corvanta.PyState) -> Action:
        self.turns += 1
        action = self.chooser.play(state)
        legal = state.action_space()
        self.story.tell(legal.index(action), len(legal))
        return action


def main() -> None:
    parser = argparse.ArgumentParser(description="Play one seeded game of corvanta, turn by turn.")
    parser.add_argument("--players", type=int, default=2, choices=[1, 2, 3, 4], help="number of seats")
    parser.add_argument("--seed", type=int, default=7, help="seed of the deal")
    args = parser.parse_args()

    story = Story(args.players, args.seed)
    player_seeds = [args.seed + 1 + seat for seat in range(args.players)]
    seats = [Narrator(seat, seed, story) for seat, seed in enumerate(player_seeds)]
    game = corvanta.CorvantaGame(seats, seed=args.seed)
    result = game.playout()
    won = result == 0  # the result compares with 0 for a win, 1 for a loss
    moves = sum(seat.turns for seat in seats)
    print(f"\nThe players {'won' if won else 'lost'} after {moves} moves, defeating {game.reward()} of 12 enemies.")

    # The same players as built-in objects, copied into the game and played without Python code.
    direct = corvanta.CorvantaGame([corvanta.players.RandomPlayer(seed) for seed in player_seeds], seed=args.seed)
    again = direct.playout()
    same = "the same game" if again == result and direct.reward() == game.reward() else "a different game"
    print(f"Played again by the built-in players alone: {same}, {direct.reward()} of 12 enemies defeated.")


if __name__ == "__main__":
    main()
