"""VectorGame against single games stepped alike, and the environments' API checks."""
import os
import pathlib
import re
import subprocess
import sys
import threading

import corvanta_lab as lab
import numpy as np
import pytest


@pytest.mark.parametrize("players", [1, 2, 3, 4])
def test_the_vector_steps_like_single_games(players):
    vector = lab.VectorGame(6, players, seed=players)
    games = [lab.Game(players, seed=int(s)) for s in vector.seeds]
    rng = np.random.default_rng(players)
    finished = 0
    for _ in range(400):
        for i, game in enumerate(games):
            assert np.array_equal(vector.action_masks[i], game.action_mask())
            assert np.array_equal(vector.observations[i], game.observation())
            assert (vector.levels[i], vector.current_players[i]) == (game.level, game.current_player)
        ids = np.array([rng.choice(np.flatnonzero(m)) for m in vector.action_masks])
        rewards, dones = vector.step(ids)
        for i, game in enumerate(games):
            level = game.reward
            game.apply_id(int(ids[i]))
            assert rewards[i] == game.reward - level and dones[i] == game.is_over
            if game.is_over:
                finished += 1
                assert vector.final_levels[i] == game.reward
                games[i] = lab.Game(players, seed=int(vector.seeds[i]))
    assert finished > 6


def test_the_vector_refuses_an_illegal_id_and_moves_nothing():
    vector = lab.VectorGame(3, 2, seed=1)
    before = vector.observations.copy()
    ids = [int(np.flatnonzero(m)[0]) for m in vector.action_masks]
    ids[2] = 254
    with pytest.raises(ValueError, match="game 2"):
        vector.step(ids)
    with pytest.raises(ValueError, match="3 action ids"):
        vector.step(ids[:2])
    assert np.array_equal(vector.observations, before)
    with pytest.raises(ValueError):
        vector.observations[0, 0] = 1.0  # views are read-only
    assert list(lab.VectorGame(3, 2, seed=1).seeds) == list(vector.seeds)


def test_pettingzoo_api():
    api_test = pytest.importorskip("pettingzoo.test").api_test
    from corvanta_lab import env

    for players in [1, 2, 4]:
        api_test(env.env(players=players), num_cycles=300)
        api_test(env.raw_env(players=players), num_cycles=300)


def test_gymnasium_checks():
    gym = pytest.importorskip("gymnasium")
    from gymnasium.utils.env_checker import check_env

    import corvanta_lab.env  # noqa: F401  (registers the environment)

    for players in [1, 3]:
        env = gym.make("corvanta_lab/Corvanta-v0", players=players)
        check_env(env.unwrapped)
        obs, info = env.reset(seed=3)
        total, done = 0.0, False
        while not done:
            action = int(np.flatnonzero(info["action_mask"])[-1])
            obs, reward, done, truncated, info = env.step(action)
            total += reward
        assert total == info["level"] and obs.shape == (lab.OBSERVATION_SIZE,)


def test_the_learning_example_prints_both_levels():
    # numpy and the lab alone: gymnasium hidden from it
    example = pathlib.Path(__file__).resolve().parents[3] / "examples" / "learn.py"
    blocker = pathlib.Path(__file__).resolve().parent / "no_gymnasium"
    env = {**os.environ, "PYTHONPATH": os.pathsep.join(filter(None, [str(blocker), os.environ.get("PYTHONPATH")]))}
    done = subprocess.run([sys.executable, str(example), "--episodes", "64", "--eval-games", "20"],
                          capture_output=True, text=True, timeout=300, env=env)
    assert done.returncode == 0, done.stderr
    levels = re.findall(r"^(uniform random|trained) policy: +mean level (\d+\.\d\d) over 20 games$", done.stdout, re.M)
    assert [name for name, _ in levels] == ["uniform random", "trained"]


def test_step_takes_one_dimensional_integer_ids_only():
    vector = lab.VectorGame(4, 2, seed=1)
    legal = vector.action_masks.argmax(axis=1)
    for bad in (legal + 0.7, legal.astype(bool), np.array(["0"] * 4), legal.reshape(2, 2)):
        with pytest.raises(TypeError, match="dtype|shape"):
            vector.step(bad)
    with pytest.raises(ValueError, match="action id 18446744073709551615 is not legal in game 0"):
        vector.step(np.full(4, 2**64 - 1, dtype=np.uint64))
    vector.step(legal.astype(np.uint16))
    vector.step([int(i) for i in vector.action_masks.argmax(axis=1)])


def test_threads_stepping_one_vector_take_turns():
    """Choices made stale by another thread's step are refused whole; nothing else goes wrong
    and no game is left without a legal action."""
    vector = lab.VectorGame(4096, 2, seed=1)
    unexpected: list[BaseException] = []

    def loop():
        for _ in range(25):
            try:
                vector.step(vector.action_masks.argmax(axis=1))
            except ValueError as error:
                if "is not legal in game" not in str(error):
                    unexpected.append(error)
            except BaseException as error:  # noqa: BLE001 - any other failure is the bug
                unexpected.append(error)

    threads = [threading.Thread(target=loop) for _ in range(3)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=120)
    assert not unexpected
    assert vector.action_masks.any(axis=1).all()
    vector.step(vector.action_masks.argmax(axis=1))
