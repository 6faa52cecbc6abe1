"""Thousands of games leave no objects and no memory behind."""
import gc
import tracemalloc

import corvanta
from conftest import FirstAction, Wrapping, actions, players

GAMES = 2000


class Illegal:
    def play(self, state):
        state.current_hand(), state.current_enemy(), state.has_turn(), str(state)
        return actions.ActionChangePlayer(9)


def play_games(start, count):
    for seed in range(start, start + count):
        kind = seed % 4
        if kind == 0:
            seats = [FirstAction() for _ in range(seed % 3 + 1)]
        elif kind == 1:
            seats = [players.RandomPlayer(seed), Wrapping(players.RandomPlayer(seed + 1))]
        elif kind == 2:
            seats = [players.RandomPlayer(seed) for _ in range(4)]
        else:
            seats = [Illegal()]
        game = corvanta.CorvantaGame(seats, seed)
        try:
            game.playout()
        except KeyError:
            pass
        game.reward()
        for seat in seats:
            if isinstance(seat, FirstAction):
                seat.seen.clear()  # the states a player keeps are its own business


def test_games_do_not_grow_memory_or_objects():
    play_games(0, 200)  # warm up: type objects, interned names, caches
    gc.collect()
    objects_before = len(gc.get_objects())
    tracemalloc.start()
    before, _ = tracemalloc.get_traced_memory()
    play_games(200, GAMES)
    gc.collect()
    after, _ = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    objects_after = len(gc.get_objects())
    assert objects_after - objects_before < 50
    assert after - before < 64 * 1024


def test_a_game_in_a_reference_cycle_is_collected():
    class Holder:
        def play(self, state):
            return state.action_space()[0]

    gc.collect()
    before = len(gc.get_objects())
    for seed in range(200):
        holder = Holder()
        holder.game = corvanta.CorvantaGame([holder], seed)
        holder.game.playout()
        del holder
    gc.collect()
    assert len(gc.get_objects()) - before < 20
