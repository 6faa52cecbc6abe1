"""Steps per second of corvanta_lab, as a learning agent drives it.

Prints one line per figure:
  lab.vector.N<n>.steps_per_s   VectorGame of 1,024 games: actions drawn uniformly from the masks
                                with numpy, observations read (summed) every step
  lab.vector_env.N<n>.steps_per_s
                                the same through corvanta_lab.env.VectorEnv, the Gymnasium vector
                                env over one VectorGame (masks from infos["action_mask"])
  lab.env.N<n>.steps_per_s      the Gymnasium env of one game, gym.make("corvanta_lab/Corvanta-v0"):
                                a random legal id from info["action_mask"] per step
  lab.game.N<n>.steps_per_s     one Game stepped from Python: apply_id of a random id from
                                legal_action_ids(), a new seeded game whenever one ends
  lab.search.greedy.N<n>.playouts_per_cpu_s
                                search(game, 20000, public_discard=True, rollout_redeal=False,
                                rollout_policy="greedy", samples=4), one thread, over fixed
                                positions (openings and mid-games of seeded games), CPU time
  lab.search.strong.N<n>.playouts_per_cpu_s
                                search(game, 1000, strength="strong") over the same positions

Each figure is the median of --repeat runs of --seconds each. On a shared, loaded machine
--clock cpu counts the process's CPU time instead of wall time (the speed of one free core).
Run against the installed package:
  python3 bench/lab.py [--seconds S] [--players 1 4] [--repeat R] [--clock wall|cpu]
                       [--figures vector env game search]
The env figures need the env extra (gymnasium).
"""
import argparse
import random
import statistics
import time

import corvanta_lab as lab
import numpy as np


clock = time.perf_counter


def uniform_chooser(num_games):
    """A uniformly random legal id per game, from a [num_games, NUM_ACTIONS] mask, in numpy."""
    bits = np.random.SFC64(1)
    shape = (num_games, lab.NUM_ACTIONS)
    size = num_games * lab.NUM_ACTIONS
    words = (size + 3) // 4

    def choose(masks):
        # The largest of independent random keys (odd, so never 0) among the legal ids.
        keys = bits.random_raw(words).view(np.uint16)[:size].reshape(shape)
        np.bitwise_or(keys, 1, out=keys)
        np.multiply(keys, masks, out=keys)
        return keys.argmax(axis=1)

    return choose


def rate(seconds, steps_per_batch, batch):
    """Steps per second (of the chosen clock) of calling ``batch`` until ``seconds`` have passed."""
    steps = 0
    start = clock()
    while True:
        batch()
        steps += steps_per_batch
        elapsed = clock() - start
        if elapsed >= seconds:
            return steps / elapsed


def vector_steps_per_s(players, seconds, num_games=1024):
    vector = lab.VectorGame(num_games, players, seed=1)
    choose = uniform_chooser(num_games)
    checksum = 0.0

    def batch():
        nonlocal checksum
        for _ in range(20):
            checksum += float(vector.observations.sum())
            vector.step(choose(vector.action_masks))

    return rate(seconds, 20 * num_games, batch)


def vector_env_steps_per_s(players, seconds, num_games=1024):
    from corvanta_lab.env import VectorEnv

    env = VectorEnv(num_games, players)
    observations, infos = env.reset(seed=1)
    choose = uniform_chooser(num_games)
    checksum = 0.0

    def batch():
        nonlocal observations, infos, checksum
        for _ in range(20):
            checksum += float(observations.sum())
            observations, _, _, _, infos = env.step(choose(infos["action_mask"]))

    return rate(seconds, 20 * num_games, batch)


def env_steps_per_s(players, seconds):
    import gymnasium
    import corvanta_lab.env  # noqa: F401  (registers the environment)

    env = gymnasium.make("corvanta_lab/Corvanta-v0", players=players)
    choose = random.Random(1)
    info = env.reset(seed=0)[1]

    def batch():
        nonlocal info
        for _ in range(1000):
            legal = np.flatnonzero(info["action_mask"])
            _, _, terminated, _, info = env.step(int(legal[choose.randrange(len(legal))]))
            if terminated:
                info = env.reset()[1]

    return rate(seconds, 1000, batch)


def game_steps_per_s(players, seconds):
    choose = random.Random(1)
    seed = 0
    game = lab.Game(players, seed=seed)

    def batch():
        nonlocal seed, game
        for _ in range(1000):
            ids = game.legal_action_ids()
            game.apply_id(ids[choose.randrange(len(ids))])
            if game.is_over:
                seed += 1
                game = lab.Game(players, seed=seed)

    return rate(seconds, 1000, batch)


def positions(players):
    """Openings and mid-games of seeded games, reached by a fixed choice of moves."""
    out = []
    for seed in range(10):
        game = lab.Game(players, seed)
        for step in range(40):
            if game.is_over:
                break
            if step % 8 == 0:
                out.append(game.clone())
            legal = game.legal_actions()
            game.apply(legal[(seed * 7 + step * 3) % len(legal)])
    return out


def search_playouts_per_cpu_s(players, options, playouts):
    games = positions(players)
    start = time.process_time()
    for game in games:
        lab.search(game, playouts, **options)
    return len(games) * playouts / (time.process_time() - start)


GREEDY = dict(public_discard=True, rollout_redeal=False, rollout_policy="greedy", samples=4)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=2.0, help="time spent on each figure")
    parser.add_argument("--players", type=int, nargs="+", default=[1, 4], help="player counts to measure")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each figure; the median is printed")
    parser.add_argument("--clock", choices=["wall", "cpu"], default="wall", help="what a second is")
    parser.add_argument("--figures", nargs="+", choices=["vector", "env", "game", "search"],
                        default=["vector", "env", "game", "search"],
                        help="which figures to measure")
    args = parser.parse_args()
    global clock
    clock = time.process_time if args.clock == "cpu" else time.perf_counter

    def median(measure, n):
        return statistics.median(measure(n, args.seconds) for _ in range(args.repeat))

    for n in args.players if "vector" in args.figures else []:
        print(f"lab.vector.N{n}.steps_per_s: {median(vector_steps_per_s, n):.0f}")
    for n in args.players if "env" in args.figures else []:
        print(f"lab.vector_env.N{n}.steps_per_s: {median(vector_env_steps_per_s, n):.0f}")
        print(f"lab.env.N{n}.steps_per_s: {median(env_steps_per_s, n):.0f}")
    for n in args.players if "game" in args.figures else []:
        print(f"lab.game.N{n}.steps_per_s: {median(game_steps_per_s, n):.0f}")
    for n in args.players if "search" in args.figures else []:
        figure = statistics.median(search_playouts_per_cpu_s(n, GREEDY, 20000) for _ in range(args.repeat))
        print(f"lab.search.greedy.N{n}.playouts_per_cpu_s: {figure:.0f}")
    for n in args.players if "search" in args.figures else []:
        figure = statistics.median(search_playouts_per_cpu_s(n, dict(strength="strong"), 1000) for _ in range(args.repeat))
        print(f"lab.search.strong.N{n}.playouts_per_cpu_s: {figure:.0f}")


if __name__ == "__main__":
    main()
