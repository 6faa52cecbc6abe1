"""Hostile but realistic use ends in ordinary Python exceptions, never in a crash: deep nesting of
games inside players, forked workers, long chains of games, huge sizes, failed allocations."""
import gc
import os
import threading

import corvanta
import pytest
from conftest import first_state, players, run_python


class Nester:
    """Plays a game of its own inside its first move, as a look-ahead player would."""

    def __init__(self):
        self.done = False

    def play(self, state):
        if not self.done:
            self.done = True
            corvanta.CorvantaGame([Nester()]).playout()
        return state.action_space()[0]


@pytest.mark.parametrize("in_thread", [False, True], ids=["main thread", "worker thread"])
def test_nested_playouts_end_in_recursion_error(in_thread):
    caught = []

    def run():
        try:
            corvanta.CorvantaGame([Nester()]).playout()
        except RecursionError as e:
            caught.append(e)

    if in_thread:  # the thread keeps the platform's default stack size
        thread = threading.Thread(target=run)
        thread.start()
        thread.join()
    else:
        run()
    assert len(caught) == 1


FORKED = """
import multiprocessing, corvanta
P = corvanta.players

class Spy:
    def __init__(self):
        self.seen = []

    def play(self, state):
        self.seen.append(state)
        return state.action_space()[0]

spy = Spy()
corvanta.CorvantaGame([spy], 5).playout()
STATE = spy.seen[0]
corvanta.CorvantaGame([P.RandomPlayer()]).playout()  # the parent draws from its generator first
barrier = multiprocessing.get_context("fork").Barrier(3)

def fingerprint(_):
    unseeded = Spy()
    corvanta.CorvantaGame([unseeded]).playout()
    choices = [str(P.RandomPlayer().play(STATE)) for _ in range(6)]
    seeded = corvanta.CorvantaGame([P.RandomPlayer(1)], 7)
    seeded.playout()
    barrier.wait(timeout=30)  # one task per worker
    return str(unseeded.seen[0]), tuple(choices), seeded.reward()

with multiprocessing.get_context("fork").Pool(3) as pool:
    print(repr(pool.map(fingerprint, range(3), chunksize=1)))
"""


def test_forked_workers_draw_fresh_entropy_and_seeded_games_repeat():
    done = run_python(FORKED)
    assert done.returncode == 0, done.stderr.decode()
    results = eval(done.stdout.decode())
    seeded = corvanta.CorvantaGame([players.RandomPlayer(1)], 7)
    seeded.playout()
    assert len({deal for deal, _, _ in results}) == 3
    assert len({choices for _, choices, _ in results}) == 3
    assert {reward for _, _, reward in results} == {seeded.reward()}


def test_a_million_games_chained_as_seats_deallocate():
    gc.disable()  # the chain is freed by reference counting alone; collections would only slow it
    try:
        game = players.RandomPlayer(1)
        for _ in range(10**6):
            game = corvanta.CorvantaGame([game], 0)
        del game
    finally:
        gc.enable()


class Announced:
    """A sequence of ten million seats that must not be converted one by one."""

    def __len__(self):
        return 10**7

    def __getitem__(self, i):
        raise AssertionError("converted")


@pytest.mark.parametrize("seats", [Announced(), range(2**70)], ids=["1e7", "2**70"])
def test_a_known_length_outside_1_to_4_is_refused_before_conversion(seats):
    with pytest.raises(ValueError, match="^Only 1-4 players are allowed$"):
        corvanta.CorvantaGame(seats)


MEMORY = """
import corvanta, resource
class Endless:
    def __getitem__(self, i):
        return None
with open("/proc/self/status") as status:
    size = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) * 1024
resource.setrlimit(resource.RLIMIT_AS, (size + (256 << 20), resource.RLIM_INFINITY))
try:
    corvanta.CorvantaGame(Endless())
except MemoryError as e:
    print("MemoryError", e.args)
"""


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="the sanitizer's allocator ends the process on a failed allocation itself")
def test_a_failed_allocation_is_a_memory_error():
    done = run_python(MEMORY)
    assert done.stdout.decode() == "MemoryError ()\n", done.stderr.decode()


def test_a_search_starts_no_more_workers_than_playouts():
    player = players.MCTSPlayer(100, 2**63, True)
    player.play(first_state(2, seed=5))
    assert sum(visits for _, visits, _ in player.ranked_actions()) == 100
