"""The lab's game in OpenSpiel: its own random simulation test, seeds, returns, information
states, resampling, and a game of OpenSpiel's information-set MCTS bot."""
import numpy as np
import pytest

import corvanta_lab as lab

pyspiel = pytest.importorskip("pyspiel")
import corvanta_lab.openspiel  # noqa: E402,F401  (registers the game)


@pytest.mark.parametrize("players", [1, 2, 3, 4])
def test_openspiels_random_simulation_test_passes(players):
    game = pyspiel.load_game("corvanta_lab", {"players": players})
    pyspiel.random_sim_test(game, num_sims=10, serialize=False, verbose=False)


def test_seeds_returns_information_states_and_resampling():
    game = pyspiel.load_game("corvanta_lab", {"players": 3, "seed": 7})
    state = game.new_initial_state()
    assert state.game.to_bytes() == lab.Game(3, 7).to_bytes()  # one seed, one deal
    rng = np.random.default_rng(0)
    while not state.is_terminal():
        assert state.returns() == [0.0] * 3
        seat = state.current_player()
        copy = state.resample_from_infostate(seat, pyspiel.UniformProbabilitySampler(0.0, 1.0))
        # The seat knows as much in the copy: the same key, the same observation, the same moves.
        assert copy.information_state_string(seat) == state.information_state_string(seat)
        assert copy.observation_tensor(seat) == state.observation_tensor(seat)
        assert copy.legal_actions() == state.legal_actions()
        state.apply_action(int(rng.choice(state.legal_actions())))
    assert state.returns() == [float(state.game.level - 12)] * 3
    unshifted = pyspiel.load_game("corvanta_lab", {"players": 1, "seed": 2, "shift": 0}).new_initial_state()
    while not unshifted.is_terminal():
        unshifted.apply_action(unshifted.legal_actions()[-1])
    assert unshifted.returns() == [float(unshifted.game.level)]


@pytest.mark.parametrize("players, seed", [(1, 5), (2, 3)])
def test_positions_with_one_information_state_have_the_same_legal_actions(players, seed):
    # What OpenSpiel's information-set search relies on. Worlds resampled along a seeded game
    # play on by the same rule (the largest card play or discard: kills are frequent); a kill
    # brings up an enemy from the hidden castle, which differs between worlds and decides
    # whether the next play kills too or must be paid for with a discard.
    game = pyspiel.load_game("corvanta_lab", {"players": players, "seed": seed})
    rng = np.random.default_rng(5)
    legal_by_key: dict[str, list[int]] = {}
    state = game.new_initial_state()
    while not state.is_terminal():
        for _ in range(60):
            world = state.resample_from_infostate(state.current_player(), lambda: float(rng.random()))
            for _ in range(12):
                if world.is_terminal():
                    break
                legal = world.legal_actions()
                assert legal_by_key.setdefault(world.information_state_string(), legal) == legal
                world.apply_action(max((a for a in legal if a < lab.YIELD_ID), default=legal[0]))
        state.apply_action(int(rng.choice(state.legal_actions())))
    assert len(legal_by_key) > 10


def test_an_information_set_mcts_bot_plays_a_whole_game():
    from open_spiel.python.algorithms import ismcts, mcts

    game = pyspiel.load_game("corvanta_lab", {"players": 1, "seed": 3})
    evaluator = mcts.RandomRolloutEvaluator(1, np.random.RandomState(0))
    bot = ismcts.ISMCTSBot(game, evaluator, 2.0, 40, random_state=np.random.RandomState(1))
    state = game.new_initial_state()
    while not state.is_terminal():
        action = bot.step(state)
        assert action in state.legal_actions()
        state.apply_action(action)
    assert -12.0 <= state.returns()[0] <= 0.0 and state.game.is_over
