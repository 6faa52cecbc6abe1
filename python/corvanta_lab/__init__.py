"""corvanta_lab: the game as an open, steppable library for tools and learning agents.

The ``corvanta`` module plays whole games exactly as its rules say; this package, on the same
C++ engine, lets Python step, copy, save, observe and search a game, and runs many games at
once::

    import corvanta_lab as lab

    game = lab.Game(2, seed=7)               # the same deal as corvanta.CorvantaGame(..., seed=7)
    game.legal_actions()                     # in the rules engine's order
    game.apply(game.legal_actions()[0])      # an Action, or an index into legal_actions()
    game.apply_id(game.legal_action_ids()[0])
    obs, mask = game.observation(), game.action_mask()
    lab.search(game, 1000, threads=2)        # [(Action, visits, mean_reward), ...]
    lab.search(game, 1000, strength="strong")   # the strongest measured search options
    lab.SearchPlayer(1000).play(game)        # its first-ranked action

Action ids
----------
Every action of every position has an id in ``range(NUM_ACTIONS)`` (261). Cards are named by
their position in the hand of the player to act sorted in the canonical card order
(``Game.sorted_hand()``: Ace to King, each value in the suits Spades, Hearts, Diamonds, Clubs,
the jester last), so the same cards give the same ids whatever order they were drawn in.

=========  ================================================================================
id         action
=========  ================================================================================
0 .. 254   the cards at the sorted positions of bit set ``id + 1`` (bit i = position i): in
           the play phase, play them (one card, an Ace with a companion, or a combo); in the
           discard phase, discard them
255        ``YIELD_ID``: yield
256        ``REFILL_HAND_ID``: refill the hand (one player only)
257 .. 260 ``CHANGE_PLAYER_ID + p``: after a jester, seat p acts next
=========  ================================================================================

``legal_action_ids()``, ``action_mask()`` (a bool array), ``apply_id(i)``, ``action_id(action)``
and ``action_from_id(i)`` use this space.

Observations
------------
``Game.observation(player)`` is a float32 vector of ``OBSERVATION_SIZE`` (260) entries, each in
[0, 1], holding only what that seat may know. ``OBSERVATION_LAYOUT`` maps each part to its
``(start, stop)`` slice:

{observation layout}

Environments are in ``corvanta_lab.env`` (PettingZoo and Gymnasium, ``pip install '.[env]'``).
"""

from corvanta_lab._core import (
    CHANGE_PLAYER_ID,
    NUM_ACTIONS,
    OBSERVATION_LAYOUT,
    OBSERVATION_SIZE,
    REFILL_HAND_ID,
    YIELD_ID,
    Action,
    ActionKind,
    Card,
    Enemy,
    Game,
    Phase,
    RandomPlayer,
    Suit,
    Value,
    VectorGame,
)
from corvanta_lab._core import OBSERVATION_PARTS as _OBSERVATION_PARTS
from corvanta_lab.players import SearchPlayer, search


def _layout_table() -> str:
    """The observation layout as a table, from the native layout's one table."""
    import textwrap

    name_width = max(len(name) for name, _, _ in _OBSERVATION_PARTS)
    rule = f"{'=' * name_width}  ====  {'=' * 74}"
    lines = [rule, f"{'part':{name_width}}  size  content", rule]
    for name, width, content in _OBSERVATION_PARTS:
        wrapped = textwrap.wrap(content, 74) or [""]
        lines.append(f"{name:{name_width}}  {width:4}  {wrapped[0]}")
        lines.extend(f"{'':{name_width}}        {more}" for more in wrapped[1:])
    lines.append(rule)
    return "\n".join(lines)


def _help_for_native_classes() -> None:
    """help() on the native classes as on Python ones: each property's type before its text, and
    static methods listed as functions with their signatures."""
    import functools

    for cls in (Action, Card, Enemy, Game, VectorGame, RandomPlayer):
        for name, member in list(vars(cls).items()):
            if isinstance(member, property) and member.fget is not None:
                signature = getattr(member.fget, "__nb_signature__", None)
                if signature and member.__doc__ and "->" in signature[0][0]:
                    member.__doc__ = f"{signature[0][0].rpartition('-> ')[2]}: {member.__doc__}"
            elif type(member).__name__ == "nb_func" and not name.startswith("_"):
                native = member

                @functools.wraps(native)
                def static(*args: object, __native: object = native, **kwargs: object) -> object:
                    return __native(*args, **kwargs)  # type: ignore[operator]

                setattr(cls, name, staticmethod(static))


_help_for_native_classes()
__doc__ = (__doc__ or "").replace("{observation layout}", _layout_table())

__all__ = [
    "CHANGE_PLAYER_ID",
    "NUM_ACTIONS",
    "OBSERVATION_LAYOUT",
    "OBSERVATION_SIZE",
    "REFILL_HAND_ID",
    "YIELD_ID",
    "Action",
    "ActionKind",
    "Card",
    "Enemy",
    "Game",
    "Phase",
    "RandomPlayer",
    "SearchPlayer",
    "Suit",
    "Value",
    "VectorGame",
    "search",
]
