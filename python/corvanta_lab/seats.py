"""Seat texts: the short strings that name a player on the command line.

A spec is parsed once into a small picklable value (``parse_seat``, which refuses numbers the
engine cannot take, unknown tree and rollout policies and factories that do not import) and
builds a fresh player for every game (``SeatSpec.build``), in whichever process plays that game:
players need not pickle. Each kind is one entry of ``SEAT_KINDS``: its grammar, what it plays
and its parser; the command's help and the list below are made from those entries.
"""

from __future__ import annotations

import importlib
import textwrap
from collections.abc import Callable, Collection
from dataclasses import dataclass
from typing import Protocol, cast, runtime_checkable

from corvanta_lab._core import ROLLOUT_POLICIES, Action, Game, RandomPlayer, search
from corvanta_lab.players import RolloutPolicy, SearchPlayer

__all__ = [
    "BROWSER_KINDS",
    "FACTORY",
    "HUMAN",
    "SEAT_KINDS",
    "FactorySeat",
    "HumanSeat",
    "Player",
    "RandomSeat",
    "SearchSeat",
    "SeatKind",
    "SeatSpec",
    "StrongSeat",
    "parse_seat",
    "seat_help",
    "seat_seed",
]


@runtime_checkable
class Player(Protocol):
    """Anything that chooses a move for the player to act in a game."""

    def play(self, game: Game) -> Action: ...


class SeatSpec(Protocol):
    """A parsed seat spec: its canonical text and a way to build its player for one game."""

    @property
    def text(self) -> str: ...

    def build(self, game_seed: int, seat: int) -> Player: ...


def seat_seed(base: int, game_seed: int, seat: int) -> int:
    """The seed of seat ``seat`` in the game of seed ``game_seed`` for a seat seeded ``base``.

    Base 0 gives ``1000 * game_seed + seat``: the seeds the strength benchmark always used.
    """
    return (base * 2**32 + 1000 * game_seed + seat) % 2**64


@dataclass(frozen=True)
class HumanSeat:
    """A person, at the terminal (``corvanta play``) or in the browser (``corvanta serve``)."""

    @property
    def text(self) -> str:
        return "human"

    def build(self, game_seed: int, seat: int) -> Player:
        raise ValueError("a human seat is played by a person (`corvanta play`, `corvanta serve`)")


HUMAN = HumanSeat()


@dataclass(frozen=True)
class RandomSeat:
    """Uniform random choices, seeded per game and seat from ``seed``."""

    seed: int = 0

    @property
    def text(self) -> str:
        return "random" if self.seed == 0 else f"random:{self.seed}"

    def build(self, game_seed: int, seat: int) -> Player:
        return RandomPlayer(seat_seed(self.seed, game_seed, seat))


@dataclass(frozen=True)
class SearchSeat:
    """An ``mcts:`` seat: ``corvanta_lab.search`` with these options, its first-ranked action."""

    playouts: int
    threads: int = 1
    heuristics: bool = True
    samples: int = 1
    policy: int | None = None
    rollout: RolloutPolicy = "uniform"

    @property
    def text(self) -> str:
        parts = [str(self.playouts), str(self.threads), "h" if self.heuristics else "n", str(self.samples),
                 "" if self.policy is None else str(self.policy), self.rollout]
        defaults = ["", "1", "h", "1", "", "uniform"]
        while len(parts) > 1 and parts[-1] == defaults[len(parts) - 1]:
            parts.pop()
        return "mcts:" + ":".join(parts)

    def build(self, game_seed: int, seat: int) -> Player:
        return SearchPlayer(self.playouts, self.threads, strength=None, heuristics=self.heuristics,
                            samples=self.samples, policy=self.policy, rollout_policy=self.rollout)


@dataclass(frozen=True)
class StrongSeat:
    """A ``strong:`` seat: the lab's strongest measured search for that budget; ``clairvoyant:``
    the same search of the true deal (it sees every hidden card and the future: a measure of the
    ceiling, never a player)."""

    playouts: int
    threads: int = 1
    clairvoyant: bool = False

    @property
    def text(self) -> str:
        kind = "clairvoyant" if self.clairvoyant else "strong"
        return f"{kind}:{self.playouts}" + ("" if self.threads == 1 else f":{self.threads}")

    def build(self, game_seed: int, seat: int) -> Player:
        return SearchPlayer(self.playouts, self.threads, strength="strong", clairvoyant=self.clairvoyant)


@dataclass(frozen=True)
class FactorySeat:
    """A user's player factory, named by its import path; imported where the game is played."""

    path: str

    @property
    def text(self) -> str:
        return self.path

    def factory(self) -> Callable[..., Player]:
        """The callable the path names (imported on first use)."""
        module_name, _, attribute = self.path.partition(":")
        target: object = importlib.import_module(module_name)
        for name in attribute.split("."):
            target = getattr(target, name)
        if not callable(target):
            raise ValueError(f"{self.path} is not callable")
        return cast("Callable[..., Player]", target)

    def build(self, game_seed: int, seat: int) -> Player:
        player = self.factory()(seed=seat_seed(0, game_seed, seat))
        if not callable(getattr(player, "play", None)):
            raise ValueError(f"{self.path} returned {player!r}, which has no play(game) method")
        return player


# The kinds of seat a web page may ask for: a page names no code to import, nor the clairvoyant
# search (a measure, never a player).
BROWSER_KINDS = ("human", "random", "mcts", "strong")

# The widest values the engine takes: playouts and samples are 32-bit counts, a search starts at
# most 1,024 workers, seeds are 64-bit. A spec outside them is refused when it is parsed, not by
# the first game of a run.
MAX_COUNT = 2**32 - 1
MAX_THREADS = 1024
MAX_SEED = 2**64 - 1


def _integer(text: str, what: str, spec: str, low: int = 0, high: int = MAX_COUNT) -> int:
    try:
        value = int(text)
    except ValueError:
        raise ValueError(f"{spec}: {what} must be a whole number, not {text!r}") from None
    if value < low:
        raise ValueError(f"{spec}: {what} must be at least {low}")
    if value > high:
        raise ValueError(f"{spec}: {what} must be at most {high}")
    return value


def _policy(text: str, spec: str) -> int:
    # The engine alone knows its tree policies: a one-playout search asks it, so that a number it
    # refuses fails here rather than in every game.
    policy = _integer(text, "POLICY", spec)
    try:
        search(Game(1, seed=0), 1, policy=policy)
    except (ValueError, TypeError):  # TypeError: beyond the engine's 8-bit policy numbers
        raise ValueError(f"{spec}: {policy} is not a tree policy number of the engine") from None
    return policy


def _fields(args: list[str], low: int, high: int, spec: str, kind: str) -> None:
    if not low <= len(args) <= high:
        raise ValueError(f"{spec}: use {SEAT_KINDS[kind].grammar}")


def _rollout(text: str, spec: str) -> RolloutPolicy:
    if text not in ROLLOUT_POLICIES:
        raise ValueError(f"{spec}: ROLLOUT must be one of {', '.join(ROLLOUT_POLICIES)}, not {text!r}")
    return cast(RolloutPolicy, text)


def _human(args: list[str], spec: str) -> SeatSpec:
    if args:
        raise ValueError(f"{spec}: `human` takes no arguments")
    return HUMAN


def _random(args: list[str], spec: str) -> SeatSpec:
    _fields(args, 0, 1, spec, "random")
    return RandomSeat(_integer(args[0], "the seed", spec, 0, MAX_SEED) if args else 0)


def _mcts(args: list[str], spec: str) -> SeatSpec:
    _fields(args, 1, 6, spec, "mcts")
    playouts = _integer(args[0], "PLAYOUTS", spec, 1)
    threads = _integer(args[1], "THREADS", spec, 1, MAX_THREADS) if len(args) > 1 else 1
    heuristics = True
    if len(args) > 2:
        if args[2] not in ("h", "n"):
            raise ValueError(f"{spec}: the third field is h (heuristics) or n (none), not {args[2]!r}")
        heuristics = args[2] == "h"
    samples = _integer(args[3], "SAMPLES", spec, 1) if len(args) > 3 else 1
    policy = _policy(args[4], spec) if len(args) > 4 and args[4] != "" else None
    rollout = _rollout(args[5], spec) if len(args) > 5 else "uniform"
    return SearchSeat(playouts, threads, heuristics, samples, policy, rollout)


def _strong(args: list[str], spec: str, clairvoyant: bool = False) -> SeatSpec:
    _fields(args, 1, 2, spec, "clairvoyant" if clairvoyant else "strong")
    threads = _integer(args[1], "THREADS", spec, 1, MAX_THREADS) if len(args) > 1 else 1
    return StrongSeat(_integer(args[0], "PLAYOUTS", spec, 1), threads, clairvoyant)


def _clairvoyant(args: list[str], spec: str) -> SeatSpec:
    return _strong(args, spec, clairvoyant=True)


def _factory(args: list[str], spec: str) -> SeatSpec:
    module_name, _, attribute = spec.partition(":")
    names = module_name.split(".") + attribute.split(".")
    if not attribute or not all(name.isidentifier() for name in names):
        raise ValueError(f"unknown seat {spec!r}: use one of {', '.join(sorted(SEAT_KINDS))} "
                         f"or {FACTORY.grammar}")
    seat = FactorySeat(spec)
    # Imported once here as well, so that a misspelt path stops the command before its first
    # game instead of failing in every game.
    try:
        seat.factory()
    except Exception as error:
        raise ValueError(f"{spec}: cannot load the factory: {type(error).__name__}: {error}") from None
    return seat


@dataclass(frozen=True)
class SeatKind:
    """One kind of seat: how its spec is written, who plays it, and the parser of its fields."""

    grammar: str
    plays: str
    parse: Callable[[list[str], str], SeatSpec]  # the fields after the kind's name, and the whole spec
    person: bool = False  # a person plays it at the terminal: only ``corvanta play`` seats it


# The first field of a spec names its kind; a spec that names none is a factory path. A new kind
# of seat is one entry here: the help of the command and of this module list it from its entry.
SEAT_KINDS: dict[str, SeatKind] = {
    "human": SeatKind("human", "you, at the terminal (corvanta play) or in the browser (corvanta serve)", _human,
                      person=True),
    "random": SeatKind(
        "random[:SEED]",
        "uniform among the legal actions; seat s of the game with seed g draws from RandomPlayer seeded "
        "SEED * 2**32 + 1000 * g + s (SEED 0 by default), so runs repeat", _random),
    "mcts": SeatKind(
        "mcts:PLAYOUTS[:THREADS[:h|n[:SAMPLES[:POLICY[:ROLLOUT]]]]]",
        "corvanta_lab.search with these options and its first-ranked action: h rollout heuristics on "
        "(the default), n off; SAMPLES determinisations sharing the budget; POLICY the tree policy number "
        f"(empty for the default); ROLLOUT the rollout policy, one of {', '.join(ROLLOUT_POLICIES)} "
        "(uniform by default)", _mcts),
    "strong": SeatKind(
        "strong:PLAYOUTS[:THREADS]",
        "corvanta_lab.SearchPlayer: the strongest measured search for that many playouts per move", _strong),
    "clairvoyant": SeatKind(
        "clairvoyant:PLAYOUTS[:THREADS]",
        "the strong search of the true deal: it sees every hidden card and the real Hearts stream, a "
        "measure of the ceiling, never a player", _clairvoyant),
}

FACTORY = SeatKind(
    "module.path:callable",
    "a factory of your own, called once per game and seat as callable(seed=...), returning an object "
    "with play(game) -> Action (for example corvanta_lab:RandomPlayer)", _factory)


def seat_help(people: bool = True, only: Collection[str] | None = None) -> str:
    """Every kind of seat (or those named in ``only``): its grammar, and who plays it indented
    below (without the seats a person plays if ``people`` is false)."""
    every = [*SEAT_KINDS.values(), FACTORY] if only is None else [SEAT_KINDS[name] for name in only]
    kinds = [kind for kind in every if people or not kind.person]
    return "\n".join(f"  {kind.grammar}\n" + textwrap.fill(kind.plays, 80, initial_indent=" " * 6,
                                                           subsequent_indent=" " * 6) for kind in kinds)


def parse_seat(spec: str) -> SeatSpec:
    """The seat of a spec (see ``SEAT_KINDS``); ``ValueError`` says what is wrong."""
    kind, *args = spec.strip().split(":")
    return SEAT_KINDS.get(kind, FACTORY).parse(args, spec)


__doc__ = f"{__doc__}\nThe kinds of seat:\n\n{seat_help()}\n"
