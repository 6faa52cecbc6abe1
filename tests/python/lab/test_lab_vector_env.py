"""The Gymnasium vector environment over VectorGame, against single games stepped alike."""
import corvanta_lab as lab
import numpy as np
import pytest

gym = pytest.importorskip("gymnasium")
envs = pytest.importorskip("corvanta_lab.env")


@pytest.mark.parametrize("players", [1, 2, 4])
def test_the_vector_env_steps_like_single_games_and_resets_in_the_same_step(players):
    n, first = 6, 40
    env = gym.make_vec("corvanta_lab/Corvanta-v0", num_envs=n, vectorization_mode="vector_entry_point",
                       players=players)
    assert isinstance(env, envs.VectorEnv) and env.metadata["autoreset_mode"] == gym.vector.AutoresetMode.SAME_STEP
    assert env.observation_space.shape == (n, lab.OBSERVATION_SIZE) and env.action_space.shape == (n,)
    obs, info = env.reset(seed=first)
    games = [lab.Game(players, first + i) for i in range(n)]
    next_seed, lengths, ended = first + n, [0] * n, 0
    rng = np.random.default_rng(players)
    for _ in range(400):
        for i, game in enumerate(games):
            assert np.array_equal(obs[i], game.observation()) and np.array_equal(info["action_mask"][i], game.action_mask())
        assert np.array_equal(env.action_masks(), info["action_mask"])
        actions = np.array([rng.choice(np.flatnonzero(mask)) for mask in info["action_mask"]])
        obs, rewards, terminated, truncated, info = env.step(actions)
        assert not truncated.any()
        for i, game in enumerate(games):
            mover, level = game.current_player, game.level
            game.apply_id(int(actions[i]))
            lengths[i] += 1
            assert rewards[i] == game.level - level and terminated[i] == game.is_over
            if game.is_over:
                ended += 1
                assert info["_final_obs"][i] and np.array_equal(info["final_obs"][i], game.observation(mover))
                assert info["final_info"]["level"][i] == game.level
                assert info["_episode"][i] and info["episode"]["r"][i] == game.level and info["episode"]["l"][i] == lengths[i]
                games[i], lengths[i], next_seed = lab.Game(players, next_seed), 0, next_seed + 1
            elif "final_obs" in info:
                assert info["final_obs"][i] is None and not info["_episode"][i]
    assert ended > n


def test_the_vector_env_refuses_what_it_cannot_step():
    env = envs.VectorEnv(num_envs=3, players=2)
    obs, info = env.reset(seed=[9, 10, 11])
    assert np.array_equal(obs[0], lab.Game(2, 9).observation())
    with pytest.raises(ValueError, match="consecutive"):
        env.reset(seed=[1, 5, 2])
    actions = np.array([int(np.flatnonzero(mask)[0]) for mask in info["action_mask"]])
    illegal = actions.copy()
    illegal[1] = int(np.flatnonzero(~info["action_mask"][1])[0])
    with pytest.raises(ValueError, match="game 1"):
        env.step(illegal)
    with pytest.raises(TypeError, match="integer"):
        env.step(actions.astype(np.float64))
    after, *_ = env.step(actions)  # nothing moved before: the legal actions still are
    assert after.shape == obs.shape
    with pytest.raises(ValueError):
        envs.VectorEnv(num_envs=0)
