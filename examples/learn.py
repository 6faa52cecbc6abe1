"""Learn to play with numpy alone: REINFORCE on the Gymnasium environment.

A linear softmax policy over the legal action ids (logits = W @ [observation, 1], illegal ids
masked out), trained by REINFORCE with a linear value baseline and Adam. The episode's return is
the level reached, so the policy learns to defeat enemies. At the end the trained policy (its
most likely legal action at each step) and the uniform random policy play the same seeded games,
and both mean levels are printed.

    python examples/learn.py [--players 1] [--episodes 6000] [--seed 0]

Needs the ``env`` extra: pip install .[env]
"""
import argparse
import time

import gymnasium as gym
import numpy as np

import corvanta_lab as lab
import corvanta_lab.env  # noqa: F401  (registers corvanta_lab/Corvanta-v0)

FEATURES = lab.OBSERVATION_SIZE + 1


class Adam:
    def __init__(self, shape, lr):
        self.lr, self.m, self.v, self.t = lr, np.zeros(shape), np.zeros(shape), 0

    def step(self, param, grad):
        self.t += 1
        self.m = 0.9 * self.m + 0.1 * grad
        self.v = 0.999 * self.v + 0.001 * grad * grad
        m = self.m / (1 - 0.9**self.t)
        v = self.v / (1 - 0.999**self.t)
        param += self.lr * m / (np.sqrt(v) + 1e-8)  # gradient ascent


def policy(weights, x, mask):
    logits = weights @ x
    logits[~mask] = -np.inf
    logits -= logits.max()
    p = np.exp(logits)
    return p / p.sum()


def features(obs):
    return np.append(obs, 1.0)


def play(env, choose, seed):
    """One episode; returns the level and the steps (features, mask, action, reward)."""
    obs, info = env.reset(seed=seed)
    steps, done = [], False
    while not done:
        x, mask = features(obs), info["action_mask"]
        action = choose(x, mask)
        obs, reward, done, _, info = env.step(action)
        steps.append((x, mask, action, reward))
    return info["level"], steps


def evaluate(env, choose, games, seed):
    return float(np.mean([play(env, choose, seed + g)[0] for g in range(games)]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--players", type=int, default=1)
    parser.add_argument("--episodes", type=int, default=6000)
    parser.add_argument("--batch", type=int, default=32)
    parser.add_argument("--lr", type=float, default=0.01)
    parser.add_argument("--eval-games", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=0)
    args = parser.parse_args()

    env = gym.make("corvanta_lab/Corvanta-v0", players=args.players)
    rng = np.random.default_rng(args.seed)
    weights = np.zeros((lab.NUM_ACTIONS, FEATURES))
    value = np.zeros(FEATURES)
    opt_w, opt_v = Adam(weights.shape, args.lr), Adam(value.shape, args.lr)

    def sample(x, mask):
        return int(rng.choice(lab.NUM_ACTIONS, p=policy(weights, x, mask)))

    def greedy(x, mask):
        return int(np.argmax(policy(weights, x, mask)))

    def uniform(x, mask):
        return int(rng.choice(np.flatnonzero(mask)))

    started = time.perf_counter()
    levels = []
    for batch_start in range(0, args.episodes, args.batch):
        grad_w, grad_v = np.zeros_like(weights), np.zeros_like(value)
        for e in range(batch_start, min(batch_start + args.batch, args.episodes)):
            level, steps = play(env, sample, seed=10**6 + e)
            levels.append(level)
            to_go = level  # the return from each step on: the enemies still to be defeated
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

    random_level = evaluate(env, uniform, args.eval_games, args.seed)
    trained_level = evaluate(env, greedy, args.eval_games, args.seed)
    print(f"uniform random policy: mean level {random_level:.2f} over {args.eval_games} games")
    print(f"trained policy:        mean level {trained_level:.2f} over {args.eval_games} games")


if __name__ == "__main__":
    main()
