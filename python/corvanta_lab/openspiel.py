"""The lab's game as an OpenSpiel game, for OpenSpiel's algorithms (``pip install '.[openspiel]'``).

Importing this module registers ``corvanta_lab``::

    import pyspiel
    import corvanta_lab.openspiel

    game = pyspiel.load_game("corvanta_lab", {"players": 2, "seed": 7})
    state = game.new_initial_state()      # Game(2, 7); without a seed, a fresh deal each time
    state.apply_action(state.legal_actions()[0])

Actions are the lab's fixed action ids (``NUM_ACTIONS``). Chance is sampled inside the moves (the
deal and the draws follow the game's seed), information is imperfect, and the utility is
identical, at the end of the game: every player's return is the team's level reached less 12
(``shift=12``, the default; 0 for a win), so that OpenSpiel's ``MCTSBot``, which takes any proven
outcome of 0 or more as good enough, does not yield at once; ``shift=0`` gives the level itself.

What a seat knows is the public history (every card played or discarded is seen by all, and each
enemy as it comes up) and its own hand: ``information_state_string(player)`` is that, compactly, and
``resample_from_infostate`` re-deals everything else (``Game.resample``, with a seed drawn from
OpenSpiel's sampler and a made-up Hearts stream). Observations are ``Game.observation(player)``.

Searching ``state.clone()`` (as ``MCTSBot`` does) is clairvoyant: the clone holds the hidden cards
and the real game's random stream, the future. ``ISMCTSBot`` searches resampled copies instead.
"""

from __future__ import annotations

from typing import Any

import numpy as np
import pyspiel  # type: ignore[import-not-found, import-untyped, unused-ignore]

from corvanta_lab._core import NUM_ACTIONS, OBSERVATION_SIZE, Game
from corvanta_lab.moves import move_text

__all__ = ["CorvantaGame", "CorvantaState", "MAX_GAME_LENGTH"]

# A bound OpenSpiel asks for: twelve enemies, each fought over at most a few dozen plays and
# discards, with the jester's hand-overs; far above any game played.
MAX_GAME_LENGTH = 2000

# The fields of pyspiel.GameType in its order (its constructor takes them by position).
_GAME_TYPE = pyspiel.GameType(
    "corvanta_lab",                                             # short name
    "corvanta (corvanta_lab)",                                  # long name
    pyspiel.GameType.Dynamics.SEQUENTIAL,
    pyspiel.GameType.ChanceMode.SAMPLED_STOCHASTIC,
    pyspiel.GameType.Information.IMPERFECT_INFORMATION,
    pyspiel.GameType.Utility.IDENTICAL,
    pyspiel.GameType.RewardModel.TERMINAL,
    4,                                                          # most players
    1,                                                          # fewest players
    True,                                                       # an information-state string
    False,                                                      # no information-state tensor
    True,                                                       # an observation string
    True,                                                       # an observation tensor
    {"players": 2, "seed": -1, "shift": 12},                    # the parameters and their defaults
)


class CorvantaGame(pyspiel.Game):  # type: ignore[misc]
    """The game for ``players`` seats; ``seed`` (0 or more) deals every initial state alike, -1
    (the default) a fresh deal each time; returns are the level less ``shift``."""

    def __init__(self, params: dict[str, Any] | None = None) -> None:
        params = dict(params or {})
        players = int(params.get("players", 2))
        if not 1 <= players <= 4:
            raise ValueError(f"a game has 1 to 4 players, not {players}")
        shift = int(params.get("shift", 12))
        info = pyspiel.GameInfo(num_distinct_actions=NUM_ACTIONS, max_chance_outcomes=0, num_players=players,
                                min_utility=float(-shift), max_utility=float(12 - shift), utility_sum=None,
                                max_game_length=MAX_GAME_LENGTH)
        super().__init__(_GAME_TYPE, info, params)
        self.players = players
        self.seed = int(params.get("seed", -1))
        self.shift = shift
        self._deals = np.random.default_rng()

    def new_initial_state(self) -> CorvantaState:
        seed = self.seed if self.seed >= 0 else int(self._deals.integers(0, 2**63))
        return CorvantaState(self, Game(self.players, seed))

    def make_py_observer(self, iig_obs_type: Any = None, params: Any = None) -> Observer:
        return Observer(params)


class CorvantaState(pyspiel.State):  # type: ignore[misc]
    """A position: the lab's ``Game`` inside (``state.game``)."""

    def __init__(self, game: CorvantaGame, position: Game, shown: tuple[tuple[int, str], ...] | None = None) -> None:
        super().__init__(game)
        self.game = position
        self._shift = game.shift
        # Each enemy as it came up, after how many moves: public chance that the moves alone do
        # not tell (the castle below the current enemy is hidden, and re-dealt by a resample).
        self._shown = shown if shown is not None else self._enemy_shown(())

    def _enemy_shown(self, shown: tuple[tuple[int, str], ...]) -> tuple[tuple[int, str], ...]:
        enemy = self.game.current_enemy
        if enemy is None or (shown and shown[-1][1] == enemy.card.label):
            return shown
        return (*shown, (len(self.game.history), enemy.card.label))

    def current_player(self) -> int:
        return int(pyspiel.PlayerId.TERMINAL) if self.game.is_over else self.game.current_player

    def _legal_actions(self, player: int) -> list[int]:
        if self.game.is_over or player != self.game.current_player:
            return []
        return [int(i) for i in self.game.legal_action_ids()]

    def _apply_action(self, action: int) -> None:
        self.game.apply_id(int(action))
        self._shown = self._enemy_shown(self._shown)

    def _action_to_string(self, player: int, action: int) -> str:
        return str(self.game.action_from_id(int(action)))

    def is_terminal(self) -> bool:
        return bool(self.game.is_over)

    def returns(self) -> list[float]:
        value = float(self.game.level - self._shift) if self.game.is_over else 0.0
        return [value] * self.game.num_players

    def information_state_string(self, player: int | None = None) -> str:
        """What ``player`` (the seat to act by default) knows: its hand and the public history,
        the moves and each enemy as it came up. Two positions with the same string have the same
        legal actions."""
        seat = self.game.current_player if player is None else player
        hand = " ".join(card.label for card in self.game.sorted_hand(seat))
        public = [move_text(action) for action in self.game.history]
        for moves, label in reversed(self._shown):
            public.insert(moves, f"<{label}>")
        return f"p{seat} [{hand}] " + "|".join(public)

    def resample_from_infostate(self, player_id: int, probability_sampler: Any) -> CorvantaState:
        """A copy with what ``player_id`` cannot see re-dealt (and a made-up Hearts stream), the
        seed made of two draws of OpenSpiel's sampler (uniform in [0, 1))."""
        seed = int(probability_sampler() * 2**32) << 32 | int(probability_sampler() * 2**32)
        return CorvantaState(self.get_game(), self.game.resample(player_id, seed), self._shown)

    def __deepcopy__(self, memo: dict[int, Any]) -> CorvantaState:
        return CorvantaState(self.get_game(), self.game.clone(), self._shown)

    def __str__(self) -> str:
        return str(self.game)


class Observer:
    """OpenSpiel's observer: ``Game.observation(player)`` as ``tensor`` and ``dict["observation"]``."""

    def __init__(self, params: Any = None) -> None:
        if params:
            raise ValueError(f"observation parameters are not supported: {params}")
        self.tensor = np.zeros(OBSERVATION_SIZE, np.float32)
        self.dict = {"observation": self.tensor}

    def set_from(self, state: CorvantaState, player: int) -> None:
        self.tensor[:] = state.game.observation(player)

    def string_from(self, state: CorvantaState, player: int) -> str:
        return str(state.game)


pyspiel.register_game(_GAME_TYPE, CorvantaGame)
