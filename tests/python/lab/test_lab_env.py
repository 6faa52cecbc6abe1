"""The Gymnasium environment at its edges: ended episodes, out-of-range and non-integer actions,
human rendering."""
import numpy as np
import pytest

env_module = pytest.importorskip("corvanta_lab.env")
CorvantaEnv = env_module.CorvantaEnv


def first_legal(info):
    return int(np.flatnonzero(info["action_mask"])[0])


def test_stepping_an_ended_episode_asks_for_reset():
    env = CorvantaEnv(players=1)
    _, info = env.reset(seed=1)
    done = False
    while not done:
        _, _, done, _, info = env.step(first_legal(info))
    assert "illegal_action" not in info
    with pytest.raises(RuntimeError, match=r"call reset\(\)"):
        env.step(0)
    _, info = env.reset(seed=1)
    assert env.step(np.int64(first_legal(info)))[4].get("illegal_action") is None  # numpy ids are ids


@pytest.mark.parametrize("action", [-1, 261, 2**40, -(2**70), np.uint64(2**64 - 1)])
def test_every_out_of_range_id_ends_the_episode_alike(action):
    env = CorvantaEnv(players=2)
    env.reset(seed=2)
    _, reward, terminated, truncated, info = env.step(action)
    assert (reward, terminated, truncated, info["illegal_action"]) == (0.0, True, False, True)
    with pytest.raises(RuntimeError, match="reset"):
        env.step(0)


@pytest.mark.parametrize("action", [1.9, np.float32(1.0), "1", True, None])
def test_only_integers_are_actions(action):
    env = CorvantaEnv(players=1)
    env.reset(seed=3)
    turns = env.game.turns
    with pytest.raises(TypeError, match="integer action id"):
        env.step(action)
    assert env.game.turns == turns


def test_human_mode_prints_each_position(capsys):
    env = CorvantaEnv(players=1, render_mode="human")
    _, info = env.reset(seed=4)
    assert capsys.readouterr().out == str(env.game) + "\n"
    env.step(first_legal(info))
    assert capsys.readouterr().out == str(env.game) + "\n"
    assert env.render() is None and capsys.readouterr().out == str(env.game) + "\n"
    assert CorvantaEnv(players=1, render_mode="ansi").render() == str(CorvantaEnv(players=1).game)
