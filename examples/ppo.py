"""Train MaskablePPO on the lab's vector of games, then play seeded deals with it.

    pip install '.[rl]'      # sb3-contrib, which brings stable-baselines3 and torch
    python examples/ppo.py [--players 1] [--minutes 10] [--envs 64] [--eval-games 500]

Training steps ``--envs`` games at once through ``corvanta_lab.sb3.CorvantaVecEnv``: one native
call per step for all of them, masks from ``action_masks()``. The return of a game is the level it
reached (12 for a win). At the end the trained policy (its most likely legal action), the uniform
random policy and a search play the deals of seeds 0, 1, ... (the seeds of ``corvanta match``),
and a table shows the mean level of each with its 95 % interval and the share of games won with
its Wilson interval.
"""
from __future__ import annotations

import argparse
import time
from collections.abc import Callable
from typing import Any

import numpy as np
import torch
from sb3_contrib import MaskablePPO
from stable_baselines3.common.callbacks import BaseCallback

from corvanta_lab.env import VectorEnv
from corvanta_lab.match import mean_interval, play_game, wilson_interval
from corvanta_lab.sb3 import CorvantaVecEnv
from corvanta_lab.seats import parse_seat

Observations = np.ndarray[Any, np.dtype[np.float32]]
Masks = np.ndarray[Any, np.dtype[np.bool_]]
Chooser = Callable[[Observations, Masks], np.ndarray[Any, np.dtype[np.int64]]]


class StopAfter(BaseCallback):
    """Stops training once its wall-clock budget is spent, and reports progress every half minute."""

    def __init__(self, seconds: float) -> None:
        super().__init__()
        self.seconds = seconds
        self.started = self.last_report = time.perf_counter()

    def _on_step(self) -> bool:
        now = time.perf_counter()
        if now - self.last_report >= 30:
            self.last_report = now
            recent = [episode["r"] for episode in self.model.ep_info_buffer or ()]
            mean = f"{np.mean(recent):.2f}" if recent else "-"
            print(f"{self.num_timesteps:9d} steps  {self.num_timesteps / (now - self.started):7.0f} steps/s  "
                  f"mean level of the last {len(recent)} games: {mean}", flush=True)
        return now - self.started < self.seconds


def levels_of(choose: Chooser, players: int, games: int) -> list[int]:
    """The levels reached in the games of seeds 0 .. games - 1, all stepped together."""
    vector = VectorEnv(games, players)
    observations, infos = vector.reset(seed=0)
    levels: list[int | None] = [None] * games
    while any(level is None for level in levels):
        observations, _, ended, _, infos = vector.step(choose(observations, infos["action_mask"]))
        for i in np.flatnonzero(ended):
            if levels[i] is None:  # later games in this slot are other seeds
                levels[i] = int(infos["final_info"]["level"][i])
    return [level for level in levels if level is not None]


def row(name: str, levels: list[int]) -> str:
    mean, half = mean_interval([float(level) for level in levels])
    wins = sum(level == 12 for level in levels)
    low, high = wilson_interval(wins, len(levels))
    return (f"{name:<24} {len(levels):>5}  {mean:5.2f} ± {half:4.2f}  "
            f"{100 * wins / len(levels):5.1f} % [{100 * low:4.1f}, {100 * high:4.1f}]")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--players", type=int, default=1)
    parser.add_argument("--minutes", type=float, default=10.0, help="training time (wall clock)")
    parser.add_argument("--envs", type=int, default=64, help="games stepped together while training")
    parser.add_argument("--eval-games", type=int, default=500, help="seeds 0 .. N - 1 for the policies")
    parser.add_argument("--search", default="strong:300", help="the search's seat, as in corvanta match")
    parser.add_argument("--search-games", type=int, default=100, help="seeds 0 .. N - 1 for the search")
    parser.add_argument("--seed", type=int, default=0, help="the network's and the training deals' seed")
    parser.add_argument("--save", help="where to save the trained model (a .zip)")
    args = parser.parse_args()

    torch.manual_seed(args.seed)
    venv = CorvantaVecEnv(args.envs, args.players)
    venv.seed(10**6 + args.seed * 10**5)  # training deals, away from the evaluation's seeds
    model = MaskablePPO(
        "MlpPolicy", venv, n_steps=256, batch_size=2048, n_epochs=4, learning_rate=1e-3, gamma=1.0,
        gae_lambda=0.95, ent_coef=0.01, policy_kwargs={"net_arch": [256, 256]}, seed=args.seed, verbose=0)
    started = time.perf_counter()
    model.learn(total_timesteps=10**10, callback=StopAfter(args.minutes * 60))
    seconds = time.perf_counter() - started
    print(f"trained {model.num_timesteps} steps in {seconds:.0f} s: {model.num_timesteps / seconds:.0f} steps/s")
    if args.save:
        model.save(args.save)

    def trained(observations: Observations, masks: Masks) -> np.ndarray[Any, np.dtype[np.int64]]:
        actions, _ = model.predict(observations, action_masks=masks, deterministic=True)
        return np.asarray(actions, np.int64)

    rng = np.random.default_rng(args.seed)

    def uniform(observations: Observations, masks: Masks) -> np.ndarray[Any, np.dtype[np.int64]]:
        return np.array([rng.choice(np.flatnonzero(mask)) for mask in masks], np.int64)

    search = parse_seat(args.search)
    started = time.perf_counter()
    searched = [play_game([search] * args.players, seed)["level"] for seed in range(args.search_games)]
    search_seconds = time.perf_counter() - started
    print(f"\n{args.players} player(s), seeds from 0          games  mean level     won")
    print(row("trained policy", levels_of(trained, args.players, args.eval_games)))
    print(row("uniform random", levels_of(uniform, args.players, args.eval_games)))
    print(row(f"search {args.search}", searched) + f"  ({search_seconds / max(1, args.search_games):.2f} s a game)")


if __name__ == "__main__":
    main()
