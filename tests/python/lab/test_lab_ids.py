"""The fixed action ids, the masks and the observations of corvanta_lab."""
import random

import corvanta_lab as lab
import numpy as np
import pytest


def positions(players, seed, steps):
    """A seeded game and every position it passes through in `steps` random actions."""
    game = lab.Game(players, seed=seed)
    choose = random.Random(seed)
    yield game.clone()
    while not game.is_over and game.turns < steps:
        game.apply(choose.randrange(len(game.legal_actions())))
        yield game.clone()


def test_the_id_table():
    assert (lab.NUM_ACTIONS, lab.YIELD_ID, lab.REFILL_HAND_ID, lab.CHANGE_PLAYER_ID) == (261, 255, 256, 257)
    game = lab.Game(1, seed=3)
    hand = game.sorted_hand()
    assert [c.label for c in hand] == ["2s", "2h", "5d", "5c", "6s", "6h", "9h", "9c"]
    assert game.action_from_id(0) == lab.Action.play(hand[0])
    assert game.action_from_id(0b11 - 1) == game.legal_actions()[8]  # both Twos: combo ♠2 ♥2
    assert game.action_from_id(lab.YIELD_ID) == lab.Action.yield_turn()
    assert game.action_from_id(lab.REFILL_HAND_ID) == lab.Action.refill_hand()
    with pytest.raises(ValueError, match="not legal"):
        game.action_from_id(0b101 - 1)  # ♠2 with ♦5 is no play
    with pytest.raises(ValueError):
        game.apply_id(lab.NUM_ACTIONS)


# The ids against the rules engine's listing, and re-deals against the observations, are tested
# over thousands of games in the lab's C++ suite; here, what the arrays and conversions add.
@pytest.mark.parametrize("players", [1, 2, 3, 4])
def test_ids_masks_and_observations_as_python_sees_them(players):
    for game in positions(players, players, 80):
        ids = game.legal_action_ids()
        mask = game.action_mask()
        assert mask.dtype == np.bool_ and mask.shape == (lab.NUM_ACTIONS,)
        assert list(np.flatnonzero(mask)) == ids
        hand = game.sorted_hand()
        for i in ids:
            action = game.action_from_id(i)
            assert action in game.legal_actions() and game.action_id(action) == i
            if i < lab.YIELD_ID:  # a subset of the sorted hand's positions
                assert sorted(action.cards) == [hand[p] for p in range(len(hand)) if (i + 1) >> p & 1]
        for seat in range(players):
            observed = game.observation(seat)
            assert observed.dtype == np.float32 and observed.shape == (lab.OBSERVATION_SIZE,)
            assert ((0 <= observed) & (observed <= 1)).all()
            assert np.array_equal(game.resample(seat, seed=game.turns).observation(seat), observed)
            hand_part = part(observed, "hand")
            assert [lab.Card.from_index(i) for i in np.flatnonzero(hand_part)] == sorted(set(game.hands[seat]))


def test_the_observation_layout_tiles_the_vector():
    spans = sorted(lab.OBSERVATION_LAYOUT.values())
    assert spans[0][0] == 0 and spans[-1][1] == lab.OBSERVATION_SIZE == 260
    assert all(a[1] == b[0] for a, b in zip(spans, spans[1:]))


def part(observation, name):
    start, stop = lab.OBSERVATION_LAYOUT[name]
    return observation[start:stop]


def test_resampling_changes_the_hidden_cards():
    game = lab.Game(3, seed=4)
    deals = {game.resample(0, seed=s).to_bytes() for s in range(5)}
    assert len(deals) == 5
    assert all(lab.Game.from_bytes(d).hands[0] == game.hands[0] for d in deals)
