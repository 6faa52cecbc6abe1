"""The Gymnasium environment at its edges: ended episodes, bad actions, human rendering."""
import corvanta_lab as lab
import numpy as np
import pytest

CorvantaEnv = pytest.importorskip("corvanta_lab.env").CorvantaEnv


def test_an_ended_episode_asks_for_reset_and_human_mode_prints_each_position(capsys):
    env = CorvantaEnv(players=1, render_mode="human")
    _, info = env.reset(seed=1)
    done = False
    while not done:
        _, _, done, _, info = env.step(np.int64(np.flatnonzero(info["action_mask"])[0]))  # numpy ids are ids
        assert capsys.readouterr().out.endswith(str(env.game) + "\n") and "illegal_action" not in info
    with pytest.raises(RuntimeError, match=r"call reset\(\)"):
        env.step(0)


@pytest.mark.parametrize("action", [-1, 261, 2**40, np.uint64(2**64 - 1)])
def test_every_out_of_range_id_ends_the_episode_alike(action):
    env = CorvantaEnv(players=2)
    env.reset(seed=2)
    _, reward, terminated, _, info = env.step(action)
    assert (reward, terminated, info["illegal_action"]) == (0.0, True, True)


@pytest.mark.parametrize("action", [1.9, np.float32(1.0), "1", True])
def test_only_integers_are_actions(action):
    env = CorvantaEnv(players=1)
    env.reset(seed=3)
    with pytest.raises(TypeError, match="integer action id"):
        env.step(action)
    assert env.game.turns == 0


def test_one_seed_one_deal_in_every_environment():
    from corvanta_lab import env as envs

    gym = envs.CorvantaEnv(players=2)
    observation, _ = gym.reset(seed=7)
    assert np.array_equal(observation, lab.Game(2, 7).observation())
    for following in (8, 9):
        observation, _ = gym.reset()
        assert np.array_equal(observation, lab.Game(2, following).observation())
    aec = envs.raw_env(players=3)
    for seed in (11, None, 13):
        aec.reset(seed=seed)
        assert aec.game.to_bytes() == lab.Game(3, 13 if seed == 13 else (12 if seed is None else 11)).to_bytes()
    vector = lab.VectorGame(4, 2, seed=7)
    assert [int(s) for s in vector.seeds] == [7, 8, 9, 10]
    assert np.array_equal(vector.observations[0], lab.Game(2, 7).observation())


def test_fixed_partners_move_inside_the_step_and_share_the_reward():
    import gymnasium as gym
    from corvanta_lab.seats import seat_seed

    env = gym.make("corvanta_lab/Corvanta-v0", players=3, partners=["random:3", lambda game: game.legal_actions()[0]])
    _, info = env.reset(seed=21)
    # The same game played by hand: seat 1 as `corvanta match` seeds random:3, seat 2 the callable.
    game, seat_1 = lab.Game(3, 21), lab.RandomPlayer(seat_seed(3, 21, 1))
    total, steps = 0.0, 0
    while True:
        assert info["player"] == 0 and game.current_player == 0
        action = int(np.flatnonzero(info["action_mask"])[0])
        _, reward, terminated, _, info = env.step(action)
        game.apply_id(action)
        while not game.is_over and game.current_player != 0:
            game.apply(seat_1.play(game) if game.current_player == 1 else game.legal_actions()[0])
        total, steps = total + reward, steps + 1
        assert reward >= 0
        if terminated:
            break
    assert game.is_over and total == game.level and env.unwrapped.game.history == game.history
    for bad, error in ((["random"], ValueError), (["human", "random"], ValueError), ([5, "random"], TypeError),
                       (["nonsense:1", "random"], ValueError)):
        with pytest.raises(error):
            gym.make("corvanta_lab/Corvanta-v0", players=3, partners=bad)


def _pettingzoo_stack(players):
    """env() as PettingZoo's own three wrappers build it: the reference for the one-layer env()."""
    from pettingzoo.utils import wrappers

    from corvanta_lab import env as envs

    wrapped = wrappers.TerminateIllegalWrapper(envs.raw_env(players), illegal_reward=0)
    return wrappers.OrderEnforcingWrapper(wrappers.AssertOutOfBoundsWrapper(wrapped))


def _outcome(env, call):
    """What ``call(env)`` did: the error it raised (type and text) or the state it left."""
    try:
        call(env)
    except Exception as error:  # the two stacks must fail alike
        return type(error).__name__, str(error)
    if not env._has_reset:
        return "not reset"
    state = (list(env.agents), env.agent_selection, env.rewards, env._cumulative_rewards, env.terminations,
             env.truncations, env.infos)
    if not env.agents:
        return state
    observation, *last = env.last()
    return (*state, last, observation["action_mask"].tolist(), observation["observation"].tolist())


@pytest.mark.parametrize("players", [1, 2, 4])
def test_env_checks_as_pettingzoos_three_wrappers_do(players):
    """Random mixes of legal, illegal, out-of-range and missing actions, steps before reset and after
    the end: the one-layer env() and PettingZoo's stack answer every call alike."""
    import warnings

    from corvanta_lab import env as envs

    rng = np.random.default_rng(players)
    fast, reference = envs.env(players), _pettingzoo_stack(players)
    calls = [lambda e: e.step(0), lambda e: e.observe("player_0")]  # before any reset
    for game in range(40):
        calls.append(lambda e, seed=game: e.reset(seed=seed))
        for _ in range(int(rng.integers(5, 80))):
            kind = rng.integers(0, 10)
            if kind == 0:
                calls.append(lambda e, a=int(rng.choice([-1, 261, 10**6])): e.step(a))  # out of range
            elif kind == 1:
                calls.append(lambda e: e.step(None))
            elif kind == 2:
                calls.append(lambda e, a=int(rng.integers(0, lab.NUM_ACTIONS)): e.step(a))  # maybe illegal
            else:
                pick = float(rng.random())

                def legal(e, pick=pick):
                    ids = np.flatnonzero(e.observe(e.agent_selection)["action_mask"])
                    e.step(int(ids[int(pick * len(ids))]) if len(ids) else None)

                calls.append(legal)
    ended = 0
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # the illegal-move and step-after-end warnings, alike in both
        for call in calls:
            got, want = _outcome(fast, call), _outcome(reference, call)
            assert got == want
            ended += isinstance(got, tuple) and len(got) > 2 and not got[0]  # every agent stepped out
    assert ended > 0
