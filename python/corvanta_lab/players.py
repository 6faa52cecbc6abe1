"""Players for lab games: objects with ``play(game) -> Action``."""

from __future__ import annotations

from typing import Literal, Protocol

from corvanta_lab._core import ROLLOUT_POLICIES, Action, Game
from corvanta_lab._core import search as _search

__all__ = ["Cancel", "SearchPlayer", "search"]

# The names of ROLLOUT_POLICIES, the engine's table (a test holds the two together).
RolloutPolicy = Literal["uniform", "greedy"]
Stream = Literal["move", "sample", "rollout"]
Tree = Literal["samples", "information-set"]


class Cancel(Protocol):
    """What calls a search off from another thread: ``threading.Event`` is one."""

    def is_set(self) -> bool: ...


def search(
    game: Game,
    playouts: int,
    threads: int = 1,
    heuristics: bool = True,
    samples: int = 1,
    *,
    policy: int | None = None,
    public_discard: bool = False,
    rollout_redeal: bool = True,
    rollout_policy: RolloutPolicy = "uniform",
    strength: Literal["strong"] | None = None,
    stream: Stream = "sample",
    clairvoyant: bool = False,
    exploration: float | None = None,
    tree: Tree | None = None,
    widening: float | None = None,
    near_tie: float | None = None,
    seconds: float | None = None,
    cancel: Cancel | None = None,
) -> list[tuple[Action, int, float]]:
    return _search(game, playouts, threads, heuristics, samples, policy=policy, public_discard=public_discard,
                   rollout_redeal=rollout_redeal, rollout_policy=rollout_policy, strength=strength, stream=stream,
                   clairvoyant=clairvoyant, exploration=exploration, tree=tree, widening=widening,
                   near_tie=near_tie, seconds=seconds, cancel=cancel)


# The engine's own description of its options.
search.__doc__ = getattr(_search, "__nb_signature__")[0][1]


class SearchPlayer:
    """Plays the first-ranked action of :func:`corvanta_lab.search` from each position.

    With ``strength="strong"`` (the default) ``playouts`` is the total budget per move and the
    search uses the strongest measured options for it; with ``strength=None`` the other keywords
    are passed to the search as they are (the defaults are the built-in search player's rules).
    The ranking of the last move is kept in ``ranked``. Players are plain Python objects: they
    pickle and copy. Options the search would refuse are refused here, with ``ValueError``.
    ``tree``, ``widening`` and ``near_tie`` override the preset's (see :func:`corvanta_lab.search`).
    The search never sees the real game's Hearts stream (``stream`` says how often it makes one
    up); ``clairvoyant=True`` searches the true deal instead, a measure of the ceiling and never a
    fair player.
    """

    def __init__(
        self,
        playouts: int = 1000,
        threads: int = 1,
        *,
        strength: Literal["strong"] | None = "strong",
        heuristics: bool = True,
        samples: int = 1,
        policy: int | None = None,
        public_discard: bool = False,
        rollout_redeal: bool = True,
        rollout_policy: RolloutPolicy = "uniform",
        stream: Stream = "sample",
        clairvoyant: bool = False,
        tree: Tree | None = None,
        widening: float | None = None,
        near_tie: float | None = None,
    ) -> None:
        for name, value in (("playouts", playouts), ("threads", threads), ("samples", samples)):
            if not isinstance(value, int) or value < 1:
                raise ValueError(f"{name} must be an integer of at least 1, not {value!r}")
        if strength not in (None, "strong"):
            raise ValueError(f'strength must be "strong" or None, not {strength!r}')
        if stream not in ("move", "sample", "rollout"):
            raise ValueError(f'stream must be "move", "sample" or "rollout", not {stream!r}')
        if tree not in (None, "samples", "information-set"):
            raise ValueError(f'tree must be "samples", "information-set" or None, not {tree!r}')
        if widening is not None and not widening >= 0:
            raise ValueError(f"widening must be a number of at least 0, not {widening!r}")
        if near_tie is not None and not 0 <= near_tie < 1:
            raise ValueError(f"near_tie must lie in [0, 1), not {near_tie!r}")
        if rollout_policy not in ROLLOUT_POLICIES:
            raise ValueError(f"rollout_policy must be one of {', '.join(ROLLOUT_POLICIES)}, not {rollout_policy!r}")
        self.playouts = playouts
        self.threads = threads
        self.strength = strength
        self.heuristics = heuristics
        self.samples = samples
        self.policy = policy
        self.public_discard = public_discard
        self.rollout_redeal = rollout_redeal
        self.rollout_policy = rollout_policy
        self.stream = stream
        self.clairvoyant = clairvoyant
        self.tree = tree
        self.widening = widening
        self.near_tie = near_tie
        self.ranked: list[tuple[Action, int, float]] = []

    def search(self, game: Game, cancel: Cancel | None = None) -> list[tuple[Action, int, float]]:
        """The ranking of every legal action of the player to act, most visited first. Setting
        ``cancel`` (another thread's ``threading.Event``) calls the search off: it then raises
        ``concurrent.futures.CancelledError``."""
        return search(
            game,
            self.playouts,
            self.threads,
            self.heuristics,
            self.samples,
            policy=self.policy,
            public_discard=self.public_discard,
            rollout_redeal=self.rollout_redeal,
            rollout_policy=self.rollout_policy,
            strength=self.strength,
            stream=self.stream,
            clairvoyant=self.clairvoyant,
            tree=self.tree,
            widening=self.widening,
            near_tie=self.near_tie,
            cancel=cancel,
        )

    def play(self, game: Game, cancel: Cancel | None = None) -> Action:
        """The first-ranked action (one of ``game.legal_actions()``); ``cancel`` as in ``search``."""
        self.ranked = self.search(game, cancel)
        return self.ranked[0][0]

    def __repr__(self) -> str:
        seen = ", clairvoyant=True" if self.clairvoyant else ""
        for name in ("tree", "widening", "near_tie"):
            if getattr(self, name) is not None:
                seen += f", {name}={getattr(self, name)!r}"
        if self.strength is not None:
            return f"SearchPlayer({self.playouts}, {self.threads}, strength={self.strength!r}, stream={self.stream!r}{seen})"
        return (
            f"SearchPlayer({self.playouts}, {self.threads}, strength=None, heuristics={self.heuristics}, "
            f"samples={self.samples}, policy={self.policy}, public_discard={self.public_discard}, "
            f"rollout_redeal={self.rollout_redeal}, rollout_policy={self.rollout_policy!r}, stream={self.stream!r}{seen})"
        )
