"""Learn to play with numpy alone: REINFORCE on corvanta_lab's games.

A linear softmax policy over the legal action ids (logits = W @ [observation, 1], illegal ids
masked out), trained by REINFORCE with a linear value baseline and Adam. The episode's return is
the level reached, so the policy learns to defeat enemies. At the end the trained policy (its
most likely legal action at each step) and the uniform random policy play the same seeded games,
and both mean levels are printed.

    python examples/learn.py [--players 1] [--episodes 6000] [--seed 0]

Only numpy and the lab: each episode is a ``corvanta_lab.Game`` stepped by action id, the same
steps the Gymnasium environment (the ``env`` extra) takes.
"""
from __future__ import annotations

import argparse
import time
from collections.abc import Callable
from typing import Any

import numpy as np

import corvanta_lab as lab

FEATURES = lab.OBSERVATION_SIZE + 1

Vector = np.ndarray[Any, np.dtype[np.float64]]
Mask = np.ndarray[Any, np.dtype[np.bool_]]
Chooser = Callable[[Vector, Mask], int]
Step = tuple[Vector, Mask, int, float]


class Adam:
    def __init__(self, shape: tuple[int, ...], lr: float) -> None:
        self.lr, self.m, self.v, self.t = lr, np.zeros(shape), np.zeros(shape), 0

    def step(self, param: Vector, grad: Vector) -> None:
        self.t += 1
        self.m = 0.9 * self.m + 0.1 * grad
        self.v = 0.999 * self.v + 0.001 * grad * grad
        m = self.m / (1 - 0.9**self.t)
        v = self.v / (1 - 0.999**self.t)
        param += self.lr * m / (np.sqrt(v) + 1e-8)  # gradient ascent


def policy(weights: Vector, x: Vector, mask: Mask) -> Vector:
    logits = weights @ x
    logits[~mask] = -np.inf
    logits -= logits.max()
    p: Vector = np.exp(logits)
    p /= p.sum()
    return p


def features(obs: Vector) -> Vector:
    return np.append(obs, 1.0)


def play(players: int, choose: Chooser, seed: int) -> tuple[int, list[Step]]:
    """One episode, the game of this seed; returns the level and the steps (features, mask,
    action, reward: the enemies the step defeated)."""
    game = lab.Game(players, seed)
    steps: list[Step] = []
    while not game.is_over:
        x, mask = features(game.observation().astype(np.float64)), game.action_mask()
        action = choose(x, mask)
        level = game.level
        game.apply_id(action)
        steps.append((x, mask, action, float(game.level - level)))
    return game.level, steps


def evaluate(players: int, choose: Chooser, games: int, seed: int) -> float:
    return float(np.mean([play(players, choose, seed + g)[0] for g in range(games)]))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--players", type=int, default=1)
    parser.add_argument("--episodes", type=int, default=6000)
    parser.add_argument("--batch", type=int, default=32)
    parser.add_argument("--lr", type=float, default=0.01)
    parser.add_argument("--eval-games", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=0)
    args = parser.parse_args()

    rng = np.random.default_rng(args.seed)
    weights = np.zeros((lab.NUM_ACTIONS, FEATURES))
    value = np.zeros(FEATURES)
    opt_w, opt_v = Adam(weights.shape, args.lr), Adam(value.shape, args.lr)

    def sample(x: Vector, mask: Mask) -> int:
        return int(rng.choice(lab.NUM_ACTIONS, p=policy(weights, x, mask)))

    def greedy(x: Vector, mask: Mask) -> int:
        return int(np.argmax(policy(weights, x, mask)))

    def uniform(x: Vector, mask: Mask) -> int:
        return int(rng.choice(np.flatnonzero(mask)))

    started = time.perf_counter()
    levels: list[int] = []
    for batch_start in range(0, args.episodes, args.batch):
        grad_w, grad_v = np.zeros_like(weights), np.zeros_like(value)
        for e in range(batch_start, min(batch_start + args.batch, args.episodes)):
            level, steps = play(args.players, sample, seed=10**6 + e)
            levels.append(level)
            to_go = float(level)  # the return from each step on: the enemies still to be defeated
            for x, mask, action, reward in steps:
                advantage = to_go - value @ x
                grad_v += advantage * x
                p = policy(weights, x, mask)
                p[action] -= 1.0
                grad_w -= advantage * np.outer(p, x)  # grad of log p(action) is (onehot - p) x
                to_go -= reward
        opt_w.step(weights, grad_w / args.batch)
        opt_v.step(value, grad_v / args.batch)
        if (batch_start // args.batch) % 25 == 0:
            recent = np.mean(levels[-500:])
            print(f"episodes {len(levels):6d}  mean level of the last 500: {recent:.2f}  "
                  f"({time.perf_counter() - started:.0f} s)", flush=True)

    random_level = evaluate(args.players, uniform, args.eval_games, args.seed)
    trained_level = evaluate(args.players, greedy, args.eval_games, args.seed)
    print(f"uniform random policy: mean level {random_level:.2f} over {args.eval_games} games")
    print(f"trained policy:        mean level {trained_level:.2f} over {args.eval_games} games")


if __name__ == "__main__":
    main()
