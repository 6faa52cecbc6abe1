"""Many games at once: a VectorGame stepped with numpy, each game choosing uniformly among its
legal action ids, until enough games have finished; prints their mean level.

    python examples/vector.py [--games 256] [--players 2] [--finished 1000] [--seed 0]
"""
from __future__ import annotations

import argparse

import numpy as np

import corvanta_lab as lab


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--games", type=int, default=256, help="games stepped together")
    parser.add_argument("--players", type=int, default=2, choices=[1, 2, 3, 4])
    parser.add_argument("--finished", type=int, default=1000, help="stop once this many games have ended")
    parser.add_argument("--seed", type=int, default=0)
    args = parser.parse_args()

    vector = lab.VectorGame(args.games, args.players, seed=args.seed)
    rng = np.random.default_rng(args.seed)
    levels: list[int] = []
    steps = 0
    while len(levels) < args.finished:
        # The legal id with the largest random key: a uniform choice per game, in one pass.
        keys = rng.random((args.games, lab.NUM_ACTIONS)) * vector.action_masks
        _, dones = vector.step(keys.argmax(axis=1))
        levels.extend(int(level) for level in vector.final_levels[dones])
        steps += 1
    print(f"{len(levels)} games of {args.players} players ended after {steps} steps of {args.games} games: "
          f"mean level {np.mean(levels):.2f} of 12, {int(np.sum(np.array(levels) == 12))} won")


if __name__ == "__main__":
    main()
