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

==============  ====  ==========================================================================
part            size  content
==============  ====  ==========================================================================
hand              53  own cards, one entry per card index (the jester's count halved)
hand_slots        48  8 sorted hand positions x (present, attack / 20, Spades, Hearts, Diamonds,
                      Clubs): the positions the action ids name
enemy_card        12  the current enemy (Jack of Spades .. King of Clubs)
enemy_health       1  its health / 40
enemy_attack       1  its attack / 20
enemy_jester       1  a jester was played against it
enemy_immunity     4  the suit whose power it blocks
castle            12  the enemies still in the castle below it (a set: their order is hidden)
discard_pile      53  counts by card index (face up)
attack_cards      53  cards played against the current enemy, by card index
tavern_size        1  cards in the tavern deck / 54
other_hands        3  hand sizes of the next seats, in turn order / 8 (0 for absent seats)
players            4  one-hot player count
to_move            4  one-hot seat to act, counted from the observer (0 = the observer)
phase              3  one-hot play cards, discard, jester
discard_amount     1  the attack the discard must absorb / 20
level              1  enemies defeated / 12
yields             1  consecutive yields / players
refills            1  refills left / 2
jesters_left       1  jesters not yet played or discarded / 2
can_absorb         1  the own hand is worth at least the enemy's attack
over               1  the game has ended
==============  ====  ==========================================================================

Environments are in ``corvanta_lab.env`` (PettingZoo and Gymnasium, ``pip install .[env]``).
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
    search,
)
from corvanta_lab.players import SearchPlayer

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
