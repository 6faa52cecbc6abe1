"""Environments: PettingZoo (AEC) and Gymnasium, on ``corvanta_lab.Game``.

Needs the ``env`` extra (``pip install '.[env]'``). Importing this module registers the Gymnasium
environment ``corvanta_lab/Corvanta-v0``::

    import gymnasium as gym
    import corvanta_lab.env

    env = gym.make("corvanta_lab/Corvanta-v0", players=2)
    obs, info = env.reset(seed=0)
    action = int(np.flatnonzero(info["action_mask"])[0])
    obs, reward, terminated, truncated, info = env.step(action)

Both environments use the package's fixed action ids (``NUM_ACTIONS``) and observations
(``OBSERVATION_SIZE``); the reward is the team's: the enemies defeated by the step, so an
episode's return is the level reached (12 for a win). One seed, one deal: ``reset(seed=k)``
deals ``Game(players, k)``, the game of seed k in ``corvanta match`` and in a ``VectorGame``
seeded k, and the resets after it deal k + 1, k + 2, ...
"""

from __future__ import annotations

import operator
from collections.abc import Callable, Sequence
from typing import Any

import gymnasium
import numpy as np
from gymnasium import spaces
from pettingzoo import AECEnv
from pettingzoo.utils import wrappers
from pettingzoo.utils.env_logger import EnvLogger

from corvanta_lab._core import NUM_ACTIONS, OBSERVATION_SIZE, Action, Game, VectorGame
from corvanta_lab.seats import HumanSeat, Player, SeatSpec, parse_seat

__all__ = ["CorvantaEnv", "VectorEnv", "env", "raw_env"]

_OBSERVATION_SPACE = spaces.Box(0.0, 1.0, (OBSERVATION_SIZE,), np.float32)


class _Deals:
    """One seed, one deal: after ``reset(seed=k)`` the episodes are the games ``Game(players, k)``,
    ``Game(players, k + 1)``, ... (the seeds of ``corvanta match`` and ``VectorGame``); before any
    seed, the first is drawn from the environment's generator."""

    def __init__(self) -> None:
        self.next_seed: int | None = None

    def game(self, players: int, seed: int | None, rng: np.random.Generator) -> Game:
        if seed is not None:
            self.next_seed = operator.index(seed)
        elif self.next_seed is None:
            self.next_seed = int(rng.integers(0, 2**63))
        game = Game(players, seed=self.next_seed)  # refuses a seed outside 0 .. 2**64 - 1
        self.next_seed = (self.next_seed + 1) % 2**64
        return game



def _check_arguments(players: int, render_mode: str | None) -> None:
    if not 1 <= players <= 4:
        raise ValueError(f"a game has 1 to 4 players, not {players}")
    if render_mode is not None and render_mode not in ("ansi", "human"):
        raise ValueError(f"unknown render mode {render_mode!r}")


class raw_env(AECEnv[str, dict[str, np.ndarray], int]):
    """The game as a PettingZoo AEC environment: agents ``player_0`` .. ``player_{N-1}``.

    ``observe(agent)`` returns ``{"observation": ..., "action_mask": ...}``; the mask is all zeros
    for an agent that is not to act. It is int8, not bool like the other masks of the package:
    Gymnasium's ``Discrete.sample(mask=...)``, which PettingZoo's tools call, takes only int8. Every agent receives the team reward (enemies defeated); all
    are terminated when the game is won or lost. An illegal action raises ``ValueError``
    (``env()`` turns it into the end of the game instead).
    """

    metadata = {"name": "corvanta_v0", "render_modes": ["ansi", "human"], "is_parallelizable": False}

    def __init__(self, players: int = 2, render_mode: str | None = None) -> None:
        super().__init__()
        _check_arguments(players, render_mode)
        self.players = players
        self.render_mode = render_mode
        self.possible_agents = [f"player_{i}" for i in range(players)]
        space = spaces.Dict(
            {
                "observation": _OBSERVATION_SPACE,
                "action_mask": spaces.Box(0, 1, (NUM_ACTIONS,), np.int8),
            }
        )
        self.observation_spaces = {a: space for a in self.possible_agents}
        self.action_spaces = {a: spaces.Discrete(NUM_ACTIONS) for a in self.possible_agents}
        self._rng = np.random.default_rng()
        self._deals = _Deals()
        self.game = self._deals.game(players, None, self._rng)

    def observation_space(self, agent: str) -> spaces.Space[Any]:
        return self.observation_spaces[agent]

    def action_space(self, agent: str) -> spaces.Space[Any]:
        return self.action_spaces[agent]

    def observe(self, agent: str) -> dict[str, np.ndarray]:
        seat = self.possible_agents.index(agent)
        if not self.game.is_over and seat == self.game.current_player:
            mask = self.game.action_mask().view(np.int8)  # a fresh array: its bytes are 0 and 1
        else:
            mask = np.zeros(NUM_ACTIONS, np.int8)
        return {"observation": self.game.observation(seat), "action_mask": mask}

    def reset(self, seed: int | None = None, options: dict[str, Any] | None = None) -> None:
        if seed is not None:
            self._rng = np.random.default_rng(seed)
        self.game = self._deals.game(self.players, seed, self._rng)
        self.agents = self.possible_agents[:]
        self.rewards = {a: 0.0 for a in self.agents}
        self._cumulative_rewards = {a: 0.0 for a in self.agents}
        self.terminations = {a: False for a in self.agents}
        self.truncations = {a: False for a in self.agents}
        self.infos: dict[str, dict[str, Any]] = {a: {} for a in self.agents}
        self.agent_selection = self.agents[self.game.current_player]

    def step(self, action: int | None) -> None:
        agent = self.agent_selection
        if self.terminations[agent] or self.truncations[agent]:
            self._was_dead_step(action)
            return
        if action is None:
            raise ValueError("the agent to act must choose an action id")
        level = self.game.reward
        self.game.apply_id(int(action))
        reward = float(self.game.reward - level)
        self._cumulative_rewards[agent] = 0.0
        self.rewards = {a: reward for a in self.agents}
        if self.game.is_over:
            self.terminations = {a: True for a in self.agents}
            for a in self.agents:
                self.infos[a] = {"level": self.game.reward, "won": self.game.won}
        else:
            self.agent_selection = self.agents[self.game.current_player]
        self._accumulate_rewards()
        if self.render_mode == "human":
            self.render()

    def render(self) -> str | None:
        text = str(self.game)
        if self.render_mode == "human":
            print(text)
            return None
        return text

    def close(self) -> None:
        pass


class _Checked(wrappers.OrderEnforcingWrapper):
    """PettingZoo's three usual checks in one layer, with their behaviour: the call order enforced
    (OrderEnforcingWrapper), an action outside the action space refused by an assertion
    (AssertOutOfBoundsWrapper), and an illegal action ending the game with reward 0 instead of
    raising (TerminateIllegalWrapper, illegal_reward=0). Stacked, those three wrappers forward
    every attribute a step reads through three ``__getattr__`` calls, which cost most of a step;
    here a step reads the game's own environment directly."""

    def __init__(self, raw: raw_env) -> None:
        super().__init__(raw)

    def step(self, action: int | None) -> None:
        raw = self.env  # a plain attribute of the wrapper: no forwarding
        if not self._has_reset or not raw.agents:
            super().step(action)  # the order checks' errors and warnings
            return
        agent = raw.agent_selection
        dead = raw.terminations[agent] or raw.truncations[agent]
        assert (action is None and dead) or raw.action_space(agent).contains(action), "action is not in action space"
        self._has_updated = True
        if dead:  # ended by the rules or by an illegal action: the agent is stepped out
            raw._was_dead_step(action)
        elif not raw.game.action_mask()[action]:
            EnvLogger.warn_on_illegal_move()
            raw._cumulative_rewards[agent] = 0
            raw.terminations = dict.fromkeys(raw.agents, True)
            raw.truncations = dict.fromkeys(raw.agents, True)
            raw.rewards = dict.fromkeys(raw.truncations, 0)
            raw.rewards[agent] = 0.0
            raw._accumulate_rewards()
            raw._deads_step_first()
        else:
            raw.step(action)


def env(players: int = 2, render_mode: str | None = None) -> AECEnv[str, dict[str, np.ndarray], int]:
    """The AEC environment with PettingZoo's usual checks: an illegal action ends the game (reward
    0 for it) instead of raising, an action outside the action space fails an assertion, and the
    call order is enforced. They behave as PettingZoo's TerminateIllegalWrapper,
    AssertOutOfBoundsWrapper and OrderEnforcingWrapper stacked, in one layer."""
    return _Checked(raw_env(players, render_mode))


def _partner_specs(players: int, partners: Sequence[Any]) -> list[tuple[SeatSpec | None, Any]]:
    """For seats 1 on: (the parsed seat spec, None) for a spec of ``corvanta match``'s grammar,
    (None, the partner) for a player or a callable."""
    if isinstance(partners, str) or len(partners) != players - 1:
        raise ValueError(f"a game of {players} players has {players - 1} partners of the agent: give a list of "
                         f"{players - 1} seat specs or players")
    specs: list[tuple[SeatSpec | None, Any]] = []
    for partner in partners:
        if isinstance(partner, str):
            spec = parse_seat(partner)
            if isinstance(spec, HumanSeat):
                raise ValueError("a partner cannot be a human seat")
            specs.append((spec, None))
        elif isinstance(partner, Player) or callable(partner):
            specs.append((None, partner))
        else:
            raise TypeError(f"a partner is a seat spec, a player (with play(game)) or a callable, not {partner!r}")
    return specs


class CorvantaEnv(gymnasium.Env[np.ndarray, np.int64]):
    """One policy plays every seat: each step acts for the seat to move, the observation is that
    seat's, and ``info["action_mask"]`` (also ``action_masks()``) gives the legal action ids.

    The reward is the enemies defeated by the step. An action is an integer (a Python or numpy
    integer; anything else raises ``TypeError``); one that is not legal, whatever its value, ends
    the episode with reward 0 and ``info["illegal_action"] = True``. Stepping an ended episode
    raises ``RuntimeError``: call ``reset()``. With ``render_mode="human"`` each reset and step
    prints the position; with ``"ansi"`` ``render()`` returns it.

    With ``partners`` (2 to 4 players: one per seat after the first, each a seat spec of
    ``corvanta match`` such as ``"strong:300"``, a player with ``play(game)``, or a callable from
    the game to an action), the agent plays seat 0 only: the partners' moves happen inside
    ``reset`` and ``step``, and the reward is still the team's, partners' kills included.

    The observation is that of the seat to act, so its ``to_move`` part (the seat to act, counted
    from the observer) carries nothing here; it matters in the PettingZoo environment, where every
    seat observes.
    """

    metadata = {"render_modes": ["ansi", "human"], "render_fps": 1}

    def __init__(self, players: int = 1, render_mode: str | None = None,
                 partners: Sequence[str | Player | Callable[[Game], Action]] | None = None) -> None:
        _check_arguments(players, render_mode)
        self.players = players
        self.render_mode = render_mode
        self.observation_space = _OBSERVATION_SPACE
        self.action_space = spaces.Discrete(NUM_ACTIONS)
        self.game = Game(players, seed=0)
        self._deals = _Deals()
        self.ended = False  # by the end of the game or an illegal action
        self._partner_specs = None if partners is None else _partner_specs(players, partners)
        self._partners: list[Player] = []

    def _info(self) -> dict[str, Any]:
        return {
            "action_mask": self.game.action_mask(),
            "player": self.game.current_player,
            "level": self.game.reward,
        }

    def reset(
        self, *, seed: int | None = None, options: dict[str, Any] | None = None
    ) -> tuple[np.ndarray, dict[str, Any]]:
        super().reset(seed=seed)
        self.game = self._deals.game(self.players, seed, self.np_random)
        self.ended = False
        if self._partner_specs is not None:
            # Seat specs build a fresh player per game, seeded as `corvanta match` seeds them.
            self._partners = [given if spec is None else spec.build(self.game.seed, seat)
                              for seat, (spec, given) in enumerate(self._partner_specs, 1)]
            self._partners_play()
        if self.render_mode == "human":
            self.render()
        return self.game.observation(), self._info()

    def step(self, action: Any) -> tuple[np.ndarray, float, bool, bool, dict[str, Any]]:
        if self.ended:
            raise RuntimeError("the episode has ended: call reset() before step()")
        if isinstance(action, (bool, np.bool_)):
            raise TypeError(f"an action is an integer action id, not {action!r}")
        try:
            action_id = operator.index(action)  # ints and numpy integers; 1.9 is not action 1
        except TypeError:
            raise TypeError(f"an action is an integer action id, not {action!r}") from None
        seat = self.game.current_player
        level = self.game.reward
        if not 0 <= action_id < NUM_ACTIONS or not self.game.action_mask()[action_id]:
            self.ended = True
            info = self._info()
            info["illegal_action"] = True
            return self.game.observation(seat), 0.0, True, False, info
        self.game.apply_id(action_id)
        if self._partner_specs is not None:
            self._partners_play()
        reward = float(self.game.reward - level)
        self.ended = self.game.is_over
        observer = seat if self.game.is_over else self.game.current_player
        info = self._info()
        if self.game.is_over:
            info["won"] = self.game.won
        if self.render_mode == "human":
            self.render()
        return self.game.observation(observer), reward, self.game.is_over, False, info

    def action_masks(self) -> np.ndarray:
        """The legal action ids as a bool array (the name maskable learners look for)."""
        return self.game.action_mask()

    def _partners_play(self) -> None:
        """The partners' moves, until the agent (seat 0) is to act or the game is over."""
        while not self.game.is_over and self.game.current_player != 0:
            partner = self._partners[self.game.current_player - 1]
            view = self.game.clone()  # a partner cannot change the game but by its move
            action = partner.play(view) if isinstance(partner, Player) else partner(view)
            self.game.apply(action)

    def render(self) -> str | None:
        text = str(self.game)
        if self.render_mode == "human":
            print(text)
            return None
        return text if self.render_mode == "ansi" else None


class VectorEnv(gymnasium.vector.VectorEnv[np.ndarray, np.ndarray, np.ndarray]):
    """``num_envs`` games stepped together in C++ by one ``VectorGame``: one native call per step,
    no Python loop over the games. As in ``CorvantaEnv``, one policy plays every seat and each
    game's observation is that of its seat to act.

    ``step(actions)`` takes one action id per game (an integer array). An id that is not legal in
    its game raises ``ValueError`` naming the game, and no game moves: mask your actions with
    ``infos["action_mask"]`` or ``action_masks()`` (bool, ``[num_envs, NUM_ACTIONS]``).

    Autoreset is Gymnasium's same-step mode (``metadata["autoreset_mode"]``): a game that ends is
    replaced in the same step, so the observation returned for it is the next game's first; its
    last observation is ``infos["final_obs"][i]`` and its final level
    ``infos["final_info"]["level"][i]`` (where ``infos["_final_obs"][i]`` is true). Ended games
    also report ``infos["episode"]`` (``r``: return, ``l``: length, ``_episode`` the mask), as
    Gymnasium's episode statistics do. One seed, one deal: ``reset(seed=k)`` deals the games of
    seeds k, k + 1, ..., and games that end are followed by the next seeds not yet dealt.
    """

    metadata = {"autoreset_mode": gymnasium.vector.AutoresetMode.SAME_STEP}

    def __init__(self, num_envs: int = 16, players: int = 1) -> None:
        _check_arguments(players, None)
        if num_envs < 1:
            raise ValueError(f"a vector environment holds at least one game, not {num_envs}")
        self.num_envs = num_envs
        self.players = players
        self.single_observation_space = _OBSERVATION_SPACE
        self.single_action_space = spaces.Discrete(NUM_ACTIONS)
        self.observation_space = gymnasium.vector.utils.batch_space(self.single_observation_space, num_envs)
        self.action_space = gymnasium.vector.utils.batch_space(self.single_action_space, num_envs)
        self._games = VectorGame(num_envs, players)
        self._returns = np.zeros(num_envs, np.float64)
        self._lengths = np.zeros(num_envs, np.int64)

    def _infos(self) -> dict[str, Any]:
        games = self._games
        return {"action_mask": games.action_masks.copy(), "player": games.current_players.copy(),
                "level": games.levels.copy()}

    def reset(
        self, *, seed: int | list[int] | None = None, options: dict[str, Any] | None = None
    ) -> tuple[np.ndarray, dict[str, Any]]:
        if isinstance(seed, list):
            if not seed or seed != list(range(seed[0], seed[0] + self.num_envs)):
                raise ValueError("the games of a vector take consecutive seeds: give the first one (seed=k)")
            seed = seed[0]
        self._games.reset(seed)
        self._returns[:] = 0
        self._lengths[:] = 0
        return self._games.observations.copy(), self._infos()

    def step(self, actions: Any) -> tuple[np.ndarray, np.ndarray, np.ndarray, np.ndarray, dict[str, Any]]:
        ids = np.asarray(actions)
        if ids.dtype.kind not in "iu":
            raise TypeError(f"actions are integer action ids, not an array of dtype {ids.dtype}")
        rewards, dones = self._games.step(ids.astype(np.int64, copy=False))
        games = self._games
        self._returns += rewards
        self._lengths += 1
        infos = self._infos()
        ended = dones.copy()
        if ended.any():
            # Rows copied all at once, and put in an object array without a loop over the games.
            last = games.final_observations[ended]
            final_obs = np.full(self.num_envs, None, dtype=object)
            final_obs[ended] = np.fromiter(last, dtype=object, count=len(last))
            infos["final_obs"], infos["_final_obs"] = final_obs, ended
            infos["final_info"] = {"level": games.final_levels.copy(), "_level": ended}
            infos["_final_info"] = ended
            infos["episode"] = {"r": np.where(ended, self._returns, 0.0), "l": np.where(ended, self._lengths, 0)}
            infos["_episode"] = ended
            self._returns[ended] = 0
            self._lengths[ended] = 0
        return (games.observations.copy(), rewards.astype(np.float64), ended, np.zeros(self.num_envs, bool), infos)

    def action_masks(self) -> np.ndarray:
        """The legal action ids of every game as a bool array (the name maskable learners look for)."""
        return self._games.action_masks.copy()


if "corvanta_lab/Corvanta-v0" not in gymnasium.registry:
    gymnasium.register(id="corvanta_lab/Corvanta-v0", entry_point="corvanta_lab.env:CorvantaEnv",
                       vector_entry_point="corvanta_lab.env:VectorEnv")
