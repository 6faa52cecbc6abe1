"""stable-baselines3's vector-environment interface over the lab's ``VectorEnv``.

Needs stable-baselines3 (the ``rl`` extra brings it with sb3-contrib; it is not installed by the
package itself, since it needs torch)::

    from sb3_contrib import MaskablePPO
    from corvanta_lab.sb3 import CorvantaVecEnv

    venv = CorvantaVecEnv(num_envs=64, players=1)
    venv.seed(0)   # the games of seeds 0, 1, ..., 63, then 64, 65, ... as games end
    model = MaskablePPO("MlpPolicy", venv).learn(100_000)

Every step is one native call over all the games. Masks: ``action_masks()`` (bool,
``[num_envs, NUM_ACTIONS]``), which maskable learners find by themselves. A game that ends is
replaced in the same step, as stable-baselines3 expects: its info holds ``terminal_observation``,
``episode`` (``r`` return, ``l`` length, ``t`` seconds since the vector was made) and ``level``,
the level it reached.
"""

from __future__ import annotations

import time
from typing import Any

import numpy as np

try:
    from stable_baselines3.common.vec_env.base_vec_env import VecEnv, VecEnvIndices
except ImportError as error:  # pragma: no cover - depends on what is installed
    raise ImportError(
        "corvanta_lab.sb3 needs stable-baselines3: pip install 'corvanta[rl]'") from error

from corvanta_lab.env import VectorEnv

__all__ = ["CorvantaVecEnv"]


class CorvantaVecEnv(VecEnv):
    """``num_envs`` games of ``players`` players, one policy on every seat, stepped together.

    One seed, one deal: after ``seed(k)`` the next ``reset()`` deals the games of seeds k, k + 1,
    ..., those of ``Game(players, k)``, ``corvanta match`` and ``VectorGame``.
    """

    def __init__(self, num_envs: int = 16, players: int = 1) -> None:
        self.vector = VectorEnv(num_envs, players)
        super().__init__(num_envs, self.vector.single_observation_space, self.vector.single_action_space)
        self.players = players
        self._actions: np.ndarray | None = None
        self._started = time.monotonic()

    def reset(self) -> np.ndarray:
        # seed(k) leaves the seeds k, k + 1, ... here, which are the vector's own.
        first = self._seeds[0] if self._seeds else None
        observations, _ = self.vector.reset(seed=first)
        self._reset_seeds()
        self.reset_infos = [dict[str, Any]() for _ in range(self.num_envs)]
        return observations

    def step_async(self, actions: np.ndarray) -> None:
        self._actions = actions

    def step_wait(self) -> tuple[np.ndarray, np.ndarray, np.ndarray, list[dict[str, Any]]]:
        if self._actions is None:
            raise RuntimeError("step_wait() without step_async(actions)")
        actions, self._actions = self._actions, None
        observations, rewards, ended, _, infos = self.vector.step(np.asarray(actions).reshape(self.num_envs))
        step_infos: list[dict[str, Any]] = [{} for _ in range(self.num_envs)]
        if ended.any():
            seconds = round(time.monotonic() - self._started, 6)
            episode, final_level = infos["episode"], infos["final_info"]["level"]
            for i in np.flatnonzero(ended):
                step_infos[i] = {
                    "terminal_observation": infos["final_obs"][i],
                    "TimeLimit.truncated": False,
                    "episode": {"r": float(episode["r"][i]), "l": int(episode["l"][i]), "t": seconds},
                    "level": int(final_level[i]),
                }
        return observations, rewards.astype(np.float32), ended, step_infos

    def action_masks(self) -> np.ndarray:
        """The legal action ids of every game (bool, ``[num_envs, NUM_ACTIONS]``)."""
        return self.vector.action_masks()

    def close(self) -> None:
        self.vector.close()

    # The games are not separate objects: what the learners ask of "each environment" is answered
    # for the vector, one entry per game (the indices as the base class reads them).
    def _count(self, indices: VecEnvIndices) -> int:
        return len(list(self._get_indices(indices)))

    def get_attr(self, attr_name: str, indices: VecEnvIndices = None) -> list[Any]:
        if attr_name == "action_masks":
            return [self.action_masks] * self._count(indices)
        return [getattr(self.vector, attr_name)] * self._count(indices)

    def set_attr(self, attr_name: str, value: Any, indices: VecEnvIndices = None) -> None:
        raise AttributeError(f"the games' settings are fixed when the vector is made (cannot set {attr_name!r})")

    def env_method(self, method_name: str, *method_args: Any, indices: VecEnvIndices = None,
                   **method_kwargs: Any) -> list[Any]:
        if method_name != "action_masks" or method_args or method_kwargs:
            raise AttributeError(f"the games answer action_masks() only, not {method_name!r}")
        masks = self.action_masks()
        return [masks[i] for i in self._get_indices(indices)]

    def env_is_wrapped(self, wrapper_class: type, indices: VecEnvIndices = None) -> list[bool]:
        return [False] * self._count(indices)
