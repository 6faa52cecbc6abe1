"""corvanta_lab.search: the search player's engine, without the interpreter lock, stoppable."""
import signal
import subprocess
import sys
import threading
import time

import corvanta_lab as lab
import numpy as np
import pytest


@pytest.mark.parametrize("players, threads, heuristics, samples", [(1, 1, True, 1), (2, 2, False, 3), (4, 3, True, 2)])
def test_search_ranks_every_legal_action(players, threads, heuristics, samples):
    game = lab.Game(players, seed=players)
    ranked = lab.search(game, 300, threads=threads, heuristics=heuristics, samples=samples)
    actions = [a for a, _, _ in ranked]
    assert sorted(map(repr, actions)) == sorted(map(repr, game.legal_actions()))
    visits = [v for _, v, _ in ranked]
    assert sum(visits) == 300 * samples and visits == sorted(visits, reverse=True)
    assert all(0 <= r <= 12 for _, v, r in ranked if v)


def test_search_refuses_what_it_cannot_do():
    game = lab.Game(2, seed=1)
    with pytest.raises(ValueError, match="thread"):
        lab.search(game, 10, threads=0)
    with pytest.raises(ValueError, match="policy"):
        lab.search(game, 10, policy=1)
    while not game.is_over:
        game.apply(len(game.legal_actions()) - 1)
    with pytest.raises(ValueError, match="over"):
        lab.search(game, 10)


def test_search_lets_other_python_threads_run():
    ticks = []
    done = threading.Event()

    def count():
        while not done.is_set():
            ticks.append(1)
            time.sleep(0.001)

    counter = threading.Thread(target=count)
    counter.start()
    started = time.perf_counter()
    lab.search(lab.Game(2, seed=1), 60000)
    elapsed = time.perf_counter() - started
    done.set()
    counter.join()
    assert len(ticks) > 10 and len(ticks) > elapsed * 20  # ticks go on while the search runs


def test_ctrl_c_stops_a_search():
    code = ("import corvanta_lab as lab, sys\n"
            "print('searching', flush=True)\n"
            "try:\n"
            "    lab.search(lab.Game(2, seed=1), 10**9, threads=2)\n"
            "except KeyboardInterrupt:\n"
            "    print('interrupted', flush=True)\n")
    process = subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, text=True)
    assert process.stdout.readline() == "searching\n"
    time.sleep(0.3)
    sent = time.perf_counter()
    process.send_signal(signal.SIGINT)
    out, _ = process.communicate(timeout=20)
    assert out == "interrupted\n" and process.returncode == 0
    assert time.perf_counter() - sent < 2


@pytest.mark.parametrize("options", [dict(threads=2), dict(strength="strong", samples=3, tree="samples")])
def test_another_thread_calls_a_search_off(options):
    import concurrent.futures

    stop = threading.Event()
    timer = threading.Timer(0.3, stop.set)
    timer.start()
    started = time.perf_counter()
    with pytest.raises(concurrent.futures.CancelledError, match="called off"):
        lab.search(lab.Game(2, seed=1), 10**9, cancel=stop, **options)
    assert time.perf_counter() - started < 1.5
    timer.join()
    # Unset, it changes nothing; a player passes it on.
    quiet = threading.Event()
    assert len(lab.search(lab.Game(1, seed=3), 200, cancel=quiet)) == len(lab.Game(1, seed=3).legal_actions())
    with pytest.raises(concurrent.futures.CancelledError):
        lab.SearchPlayer(10**9).play(lab.Game(1, seed=3), cancel=stop)


def test_a_failing_cancel_check_is_what_the_search_raises():
    class Broken:
        def is_set(self):
            raise LookupError("no such flag")

    with pytest.raises(LookupError, match="no such flag"):
        lab.search(lab.Game(1, seed=3), 10**9, cancel=Broken())
    with pytest.raises(AttributeError, match="is_set"):
        lab.search(lab.Game(1, seed=3), 10**9, cancel=object())


@pytest.mark.parametrize("options", [
    dict(public_discard=True),
    dict(rollout_redeal=False, rollout_policy="greedy"),
    dict(strength="strong"),
])
def test_search_options_rank_every_legal_action(options):
    game = lab.Game(2, seed=3)
    ranked = lab.search(game, 400, **options)
    assert sorted(repr(a) for a, _, _ in ranked) == sorted(map(repr, game.legal_actions()))
    assert sum(v for _, v, _ in ranked) == 400


def test_search_refuses_unknown_options():
    game = lab.Game(1, seed=1)
    with pytest.raises(ValueError, match="rollout_policy"):
        lab.search(game, 10, rollout_policy="clever")
    with pytest.raises(ValueError, match="strength"):
        lab.search(game, 10, strength="weak")


def test_search_player_plays_a_whole_game_and_pickles():
    import pickle

    player = pickle.loads(pickle.dumps(lab.SearchPlayer(60)))
    game = lab.Game(2, seed=5)
    while not game.is_over:
        action = player.play(game)
        assert action == player.ranked[0][0] and action in game.legal_actions()
        game.apply(action)
    assert 0 <= game.level <= 12


@pytest.mark.parametrize("arguments, message", [
    (dict(playouts=0), "playouts"), (dict(threads=0), "threads"), (dict(samples=0, strength=None), "samples"),
    (dict(rollout_policy="clever", strength=None), "rollout_policy"), (dict(strength="weak"), "strength"),
])
def test_search_player_refuses_bad_options_when_built(arguments, message):
    with pytest.raises(ValueError, match=message):
        lab.SearchPlayer(**arguments)


def test_search_refuses_out_of_range_numbers_with_value_errors():
    game = lab.Game(2, seed=1)
    assert sum(visits for _, visits, _ in lab.search(game, 10, threads=10**6)) == 10
    for call in (lambda: lab.search(game, 0), lambda: lab.search(game, 10, samples=0)):
        with pytest.raises(ValueError, match="at least one"):
            call()
    for seed in (-1, 2**64):
        with pytest.raises(ValueError, match="seed .* is out of range"):
            lab.Game(2, seed)
        with pytest.raises(ValueError, match="out of range"):
            lab.VectorGame(2, 2, seed=seed)
    with pytest.raises(TypeError):
        lab.Game(2, 1.5)
    assert lab.Game(2, np.uint64(2**64 - 1)).seed == 2**64 - 1
    for bad in (2**31, 2**70, -(2**70)):
        with pytest.raises(ValueError, match="not legal"):
            game.apply_id(bad)
    with pytest.raises(ValueError, match="out of range"):
        game.apply(2**70)


def test_streams_and_the_clairvoyant_search_are_options():
    game = lab.Game(2, seed=3)
    for stream in ("move", "sample", "rollout"):
        assert sum(v for _, v, _ in lab.search(game, 60, samples=2, stream=stream)) == 120
    assert sum(v for _, v, _ in lab.search(game, 60, samples=2, clairvoyant=True)) == 120
    with pytest.raises(ValueError, match="stream"):
        lab.search(game, 60, stream="real")
    with pytest.raises(ValueError, match="stream"):
        lab.SearchPlayer(60, stream="never")
    assert "clairvoyant=True" in repr(lab.SearchPlayer(60, clairvoyant=True))


def test_the_information_set_tree_is_an_option_of_search_and_player():
    game = lab.Game(1, seed=8)
    for kw in (dict(tree="information-set"), dict(tree="information-set", widening=0.5, near_tie=0.05),
               dict(strength="strong", tree="samples")):
        ranked = lab.search(game, 200, **kw)
        assert sum(v for _, v, _ in ranked) == 200
        assert {repr(a) for a, _, _ in ranked} <= set(map(repr, game.legal_actions()))
    # One tree: samples do not split the budget.
    assert sum(v for _, v, _ in lab.search(game, 90, samples=3, tree="information-set")) == 90
    for bad, message in ((dict(tree="forest"), "tree"), (dict(widening=-1.0), "widening"), (dict(near_tie=1.0), "near_tie")):
        with pytest.raises(ValueError, match=message):
            lab.search(game, 10, **bad)
        with pytest.raises(ValueError, match=message):
            lab.SearchPlayer(10, **bad)
    player = lab.SearchPlayer(80, tree="information-set", widening=1.0)
    assert "tree='information-set'" in repr(player) and player.play(game) in game.legal_actions()
