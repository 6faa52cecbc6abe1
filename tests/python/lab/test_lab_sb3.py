"""stable-baselines3's vector-env face of the vector of games, against single games stepped alike.
Runs only where stable-baselines3 (and so torch) is installed: the ``rl`` extra, not the test
command's."""
import pathlib
import subprocess
import sys

import corvanta_lab as lab
import numpy as np
import pytest

pytest.importorskip("stable_baselines3")
sb3 = pytest.importorskip("corvanta_lab.sb3")
maskable = pytest.importorskip("sb3_contrib.common.maskable.utils")

EXAMPLE = pathlib.Path(__file__).resolve().parents[3] / "examples" / "ppo.py"


@pytest.mark.parametrize("players", [1, 3])
def test_the_sb3_vector_steps_like_single_games_with_seeds_masks_and_episodes(players):
    n, first = 5, 70
    venv = sb3.CorvantaVecEnv(n, players)
    assert maskable.is_masking_supported(venv)
    venv.seed(first)
    obs = venv.reset()
    assert obs.shape == (n, lab.OBSERVATION_SIZE) and len(venv.reset_infos) == n
    games = [lab.Game(players, first + i) for i in range(n)]
    next_seed, lengths, ended = first + n, [0] * n, 0
    rng = np.random.default_rng(players)
    for _ in range(300):
        masks = maskable.get_action_masks(venv)
        for i, game in enumerate(games):
            assert np.array_equal(obs[i], game.observation()) and np.array_equal(masks[i], game.action_mask())
        actions = np.array([rng.choice(np.flatnonzero(mask)) for mask in masks])
        obs, rewards, dones, infos = venv.step(actions)
        assert rewards.dtype == np.float32 and len(infos) == n
        for i, game in enumerate(games):
            mover, level = game.current_player, game.level
            game.apply_id(int(actions[i]))
            lengths[i] += 1
            assert rewards[i] == game.level - level and dones[i] == game.is_over
            if game.is_over:
                ended += 1
                assert np.array_equal(infos[i]["terminal_observation"], game.observation(mover))
                assert infos[i]["level"] == game.level and not infos[i]["TimeLimit.truncated"]
                assert infos[i]["episode"]["r"] == game.level and infos[i]["episode"]["l"] == lengths[i]
                games[i], lengths[i], next_seed = lab.Game(players, next_seed), 0, next_seed + 1
            else:
                assert infos[i] == {}
    assert ended > n
    # seed() applies to the next reset only; a later reset goes on from fresh seeds.
    venv.seed(first)
    assert np.array_equal(venv.reset()[0], lab.Game(players, first).observation())


def test_the_sb3_vector_answers_for_its_games_and_refuses_the_rest():
    venv = sb3.CorvantaVecEnv(4, 2)
    venv.reset()
    assert venv.get_attr("players") == [2] * 4 and venv.get_attr("players", [1, 3]) == [2, 2]
    assert [m.shape for m in venv.env_method("action_masks", indices=[0, 2])] == [(lab.NUM_ACTIONS,)] * 2
    assert venv.env_is_wrapped(object) == [False] * 4
    with pytest.raises(AttributeError, match="action_masks"):
        venv.env_method("render")
    with pytest.raises(AttributeError):
        venv.set_attr("players", 3)
    with pytest.raises(RuntimeError, match="step_async"):
        venv.step_wait()
    illegal = np.array([int(np.flatnonzero(~mask)[0]) for mask in venv.action_masks()])
    with pytest.raises(ValueError, match="game 0"):
        venv.step(illegal)


def test_maskable_ppo_learns_on_it_and_chooses_legal_moves():
    from sb3_contrib import MaskablePPO

    venv = sb3.CorvantaVecEnv(8, 1)
    venv.seed(0)
    model = MaskablePPO("MlpPolicy", venv, n_steps=32, batch_size=64, n_epochs=1, seed=0)
    model.learn(8 * 32 * 2)
    assert model.num_timesteps >= 8 * 32 * 2 and len(model.ep_info_buffer) > 0
    obs = venv.reset()
    actions, _ = model.predict(obs, action_masks=venv.action_masks(), deterministic=True)
    assert venv.action_masks()[np.arange(8), actions].all()


def test_the_ppo_example_trains_and_prints_its_table():
    out = subprocess.run(
        [sys.executable, str(EXAMPLE), "--minutes", "0.1", "--envs", "8", "--eval-games", "10",
         "--search", "mcts:20", "--search-games", "2"],
        capture_output=True, text=True, timeout=300, check=True).stdout
    assert "trained policy" in out and "uniform random" in out and "search mcts:20" in out
