"""Seat specs and typed moves: parsing, canonical texts, and moves that read back as themselves."""
import random

import corvanta_lab as lab
import pytest
from corvanta_lab.moves import check_in_hand, describe, move_text, parse_move
from corvanta_lab.seats import FactorySeat, RandomSeat, SearchSeat, parse_seat, seat_seed


@pytest.mark.parametrize("spec, parsed, text", [
    ("random", RandomSeat(0), "random"),
    ("random:7", RandomSeat(7), "random:7"),
    ("mcts:300", SearchSeat(300), "mcts:300"),
    ("mcts:300:1:h:1", SearchSeat(300), "mcts:300"),
    ("mcts:300:2:n", SearchSeat(300, 2, False), "mcts:300:2:n"),
    ("mcts:50:1:h:3:2", SearchSeat(50, 1, True, 3, 2), "mcts:50:1:h:3:2"),
    ("mcts:50:1:h:1::greedy", SearchSeat(50, rollout="greedy"), "mcts:50:1:h:1::greedy"),
    ("mcts:50:2:n:1:2:uniform", SearchSeat(50, 2, False, 1, 2), "mcts:50:2:n:1:2"),
    ("corvanta_lab:RandomPlayer", FactorySeat("corvanta_lab:RandomPlayer"), "corvanta_lab:RandomPlayer"),
])
def test_specs_parse_to_canonical_seats(spec, parsed, text):
    assert parse_seat(spec) == parsed and parsed.text == text and parse_seat(text) == parsed


@pytest.mark.parametrize("spec, message", [
    ("mcts", "mcts:PLAYOUTS"), ("mcts:0", "at least 1"), ("mcts:10:1:x", r"h \(heuristics\) or n"),
    ("mcts:ten", "whole number"), ("random:1:2", r"use random\[:SEED\]"), ("wizard", "unknown seat"),
    ("human:1", "no arguments"), ("mcts:5000000000", "PLAYOUTS must be at most 4294967295"),
    ("strong:10:5000", "THREADS must be at most 1024"), ("mcts:10:1:h:1:999", "999 is not a tree policy"),
    ("mcts:10:1:h:1:1", "1 is not a tree policy"), ("no_such_module.sub:factory", "cannot load the factory"),
    ("mcts:10:1:h:1::fast", "ROLLOUT must be one of uniform, greedy, not 'fast'"),
    ("mcts:10:1:h:1::greedy:x", r"use mcts:PLAYOUTS\[:THREADS"),
])
def test_bad_specs_say_what_is_wrong(spec, message):
    with pytest.raises(ValueError, match=message):
        parse_seat(spec)


def test_seats_build_fresh_seeded_players():
    game = lab.Game(2, seed=5)
    assert seat_seed(0, 5, 1) == 5001  # the strength benchmark's seeds
    mine = RandomSeat(3).build(5, 1).play(game)
    assert mine == lab.RandomPlayer(seat_seed(3, 5, 1)).play(game)
    factory = parse_seat("corvanta_lab:RandomPlayer").build(5, 1).play(game)
    assert factory == lab.RandomPlayer(5001).play(game)
    assert parse_seat("mcts:20").build(5, 0).play(game) in game.legal_actions()
    greedy = parse_seat("mcts:20:1:h:1::greedy").build(5, 0)
    assert greedy.rollout_policy == "greedy" and greedy.play(game) in game.legal_actions()


@pytest.mark.parametrize("players", [1, 2, 3, 4])
def test_every_legal_move_reads_back_as_itself(players):
    for seed in range(6):
        game = lab.Game(players, seed=seed)
        choose = random.Random(seed)
        while not game.is_over:
            for action in game.legal_actions():
                assert parse_move(game, move_text(action)) == action
            before = game.clone()
            action = choose.choice(game.legal_actions())
            game.apply(action)
            assert describe(before, action, game).startswith(f"P{before.current_player} ")


@pytest.mark.parametrize("typed, reason", [
    ("", "type the cards to play"), ("9z", "'9z' is not a card"), ("Kh", "you have no Kh"),
    ("1", "answers a jester only"), ("r", "no refill now"),
])
def test_wrong_moves_get_a_reason(typed, reason):
    game = lab.Game(2, seed=7)
    with pytest.raises(ValueError, match=reason):
        parse_move(game, typed)


def test_strong_seats_play_the_labs_search_player():
    seat = parse_seat("strong:50:2")
    assert seat.text == "strong:50:2" and parse_seat("strong:50:1").text == "strong:50"
    game = lab.Game(2, seed=3)
    assert seat.build(3, 0).play(game) in game.legal_actions()


def test_clairvoyant_seats_are_labelled_and_see_the_true_deal():
    seat = parse_seat("clairvoyant:40")
    assert seat.text == "clairvoyant:40"
    player = seat.build(3, 0)
    assert player.clairvoyant and player.strength == "strong"
    game = lab.Game(1, seed=3)
    assert player.play(game) in game.legal_actions()
    with pytest.raises(ValueError, match="clairvoyant"):
        parse_seat("clairvoyant:40:1:9")


def test_a_card_chosen_twice_for_a_discard_is_named_as_chosen():
    game = lab.Game(1, 2)
    hand = game.hands[0]
    first, second = hand[0], hand[1]
    check_in_hand(game, [first, second], [first])  # two different cards of the hand: fine
    with pytest.raises(ValueError, match=f"^{first.label} is already chosen$"):
        check_in_hand(game, [first, first], [first])
    assert lab.Card.parse("Kc") not in hand
    with pytest.raises(ValueError, match="^you have no Kc$"):
        check_in_hand(game, [first, lab.Card.parse("Kc")], [first])
