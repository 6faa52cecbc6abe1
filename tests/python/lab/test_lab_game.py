"""corvanta_lab values and Game: the same games as corvanta, copies, bytes, history."""
import copy
import pickle
import random

import corvanta
import corvanta_lab as lab
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

C = lab.Card.parse


def random_game(players, seed, steps=None):
    """A seeded game advanced by seeded random choices (to the end, or `steps` actions)."""
    game = lab.Game(players, seed=seed)
    choose = random.Random(seed)
    while not game.is_over and (steps is None or game.turns < steps):
        game.apply(choose.randrange(len(game.legal_actions())))
    return game


class Counting:
    """A corvanta player that lets a built-in RandomPlayer choose, and counts its turns."""

    def __init__(self, seed, turns):
        self.inner = corvanta.players.RandomPlayer(seed)
        self.turns = turns

    def play(self, state):
        self.turns.append(1)
        return self.inner.play(state)


@pytest.mark.parametrize("players", [1, 2, 3, 4])
def test_seeded_games_are_the_games_of_corvanta(players):
    for seed in range(400):
        seeds = [seed * 4 + i for i in range(players)]
        turns = []
        reference = corvanta.CorvantaGame([Counting(s, turns) for s in seeds], seed)
        try:
            result = int(reference.playout())
        except BaseException as e:  # corvanta stops a seat that has no legal action
            assert type(e).__name__ == "PanicException"
            result = None
        game = lab.Game(players, seed=seed)
        seats = [lab.RandomPlayer(s) for s in seeds]
        while not game.is_over:
            game.apply(seats[game.current_player].play(game))
        assert game.reward == reference.reward(), seed
        if result is None:  # the lab ends such a game as lost at its level
            assert not game.won and game.turns == len(turns) - 1
        else:
            assert game.won == (result == 0) and game.turns == len(turns), seed


def test_legal_actions_follow_the_engine_order():
    game = lab.Game(1, seed=3)
    assert [str(a) for a in game.legal_actions()] == [
        "play 5c", "play 6h", "play 9c", "play 2s", "play 9h", "play 2h", "play 5d", "play 6s",
        "combo 2s 2h", "combo 5c 5d", "yield", "refill hand"]


@pytest.mark.parametrize("text, label, index", [("5h", "5h", 17), ("10C", "10c", 39), ("Jk", "Jk", 52),
                                                ("♠K", "Ks", 48), ("jester", "Jk", 52), ("As", "As", 0)])
def test_cards_parse_print_and_order_by_index(text, label, index):
    card = C(text)
    assert (card.label, card.index, lab.Card.from_index(index)) == (label, index, card)
    assert eval(repr(card), vars(lab)) == card and hash(card) == index
    assert pickle.loads(pickle.dumps(card)) == card


def test_value_classes_refuse_bad_input_and_are_immutable():
    for bad in ["", "5x", "11h", "Kk"]:
        with pytest.raises(ValueError):
            C(bad)
    with pytest.raises(ValueError):
        lab.Card(lab.Suit.SPADES, lab.Value.JESTER)
    with pytest.raises(ValueError):
        lab.Action.combo([C("5h")])
    with pytest.raises(ValueError):
        lab.Enemy(C("5h"))
    with pytest.raises(AttributeError):
        C("5h").value = lab.Value.SIX
    assert sorted([C("Jk"), C("Kc"), C("As"), C("2h")]) == [C("As"), C("2h"), C("Kc"), C("Jk")]


def test_actions_and_enemies_are_values():
    actions = [lab.Action.play(C("5h")), lab.Action.animal_combo(C("Ah"), C("7c")),
               lab.Action.combo([C("2d"), C("2s")]), lab.Action.yield_turn(),
               lab.Action.discard([C("3s"), C("Kh")]), lab.Action.change_player(1), lab.Action.refill_hand()]
    assert [str(a) for a in actions] == ["play 5h", "animal combo Ah 7c", "combo 2d 2s", "yield",
                                         "discard 3s Kh", "change player 1", "refill hand"]
    for a in actions:
        assert eval(repr(a), vars(lab)) == a and pickle.loads(pickle.dumps(a)) == a
    assert len(set(actions + [lab.Action(lab.ActionKind.CHANGE_PLAYER, target=1)])) == len(actions)
    enemy = lab.Enemy(C("Qh"))
    assert (enemy.health, enemy.attack, enemy.jester_applied) == (30, 15, False)
    assert enemy != lab.Enemy(C("Qh"), health=29) and pickle.loads(pickle.dumps(enemy)) == enemy


def test_an_illegal_action_is_refused_and_changes_nothing():
    game = lab.Game(2, seed=5)
    before = game.to_bytes()
    with pytest.raises(ValueError, match="play As is not a legal action"):
        game.apply(lab.Action.play(C("As")))
    for bad in [len(game.legal_actions()), -1]:
        with pytest.raises(ValueError):
            game.apply(bad)
    assert game.to_bytes() == before and game.history == []


@pytest.mark.parametrize("players", [1, 2, 3, 4])
def test_copies_bytes_and_replay_give_the_same_game(players):
    for seed in range(20):
        game = random_game(players, seed, steps=seed * 3)
        copies = [game.clone(), copy.copy(game), copy.deepcopy(game), pickle.loads(pickle.dumps(game)),
                  lab.Game.from_bytes(game.to_bytes()), lab.Game.replay(players, seed, game.history)]
        for other in copies:
            assert other == game and other.to_bytes() == game.to_bytes()
        if not game.is_over:  # copies are independent
            copies[0].apply(0)
            assert copies[0] != game and game.turns == copies[1].turns


def test_a_finished_game_keeps_its_result_and_refuses_moves():
    game = random_game(2, 11)
    assert game.is_over and game.legal_actions() == [] and game.legal_action_ids() == []
    restored = lab.Game.from_bytes(game.to_bytes())
    assert (restored.is_over, restored.won, restored.reward) == (game.is_over, game.won, game.reward)
    with pytest.raises(ValueError, match="over"):
        restored.apply(lab.Action.yield_turn())


@settings(max_examples=300, deadline=None)
@given(st.integers(1, 4), st.integers(0, 2**32), st.integers(0, 80), st.data())
def test_from_bytes_refuses_any_damage_without_crashing(players, seed, steps, data):
    good = bytearray(random_game(players, seed, steps).to_bytes())
    bad = bytearray(good)
    for _ in range(data.draw(st.integers(1, 4))):
        i = data.draw(st.integers(0, len(bad) - 1))
        bad[i] = data.draw(st.integers(0, 255))
    cut = data.draw(st.integers(0, len(bad)))
    bad = bad[:cut] if data.draw(st.booleans()) else bad
    try:
        game = lab.Game.from_bytes(bytes(bad))
    except ValueError:
        return
    # What is accepted is a playable game: every listed action applies.
    while not game.is_over and game.turns < len(game.history) + 300:
        game.apply(len(game.legal_actions()) - 1)


@pytest.mark.parametrize("change, message", [
    (lambda b: b"XXXX" + b[4:], "not a corvanta_lab game"),
    (lambda b: b[:-1], "ends early"),
    (lambda b: b + b"\0", "trailing"),
    (lambda b: b[:5] + b"\x07" + b[6:], "1 to 4 players"),
])
def test_from_bytes_says_what_is_wrong(change, message):
    with pytest.raises(ValueError, match=message):
        lab.Game.from_bytes(change(lab.Game(2, seed=1).to_bytes()))


def test_cards_must_occur_exactly_once():
    raw = bytearray(lab.Game(1, seed=1).to_bytes())
    castle = 4 + 1 + 1 + 8 + 2
    tavern = castle + 1 + 12 * 4
    raw[tavern + 1] = raw[tavern + 2]  # the same card twice in the tavern deck
    with pytest.raises(ValueError, match="occurs"):
        lab.Game.from_bytes(bytes(raw))
