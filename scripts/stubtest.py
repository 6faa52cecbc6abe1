"""Checks the type stubs of `corvanta` and `corvanta_lab._core` against the installed modules.

Runs `python -m mypy.stubtest corvanta corvanta_lab._core` with two preparations, so that every
stub is compared with a real object: the submodules of `corvanta` are attributes of the module
(not importable by name) and the classes it registers nowhere are reached through values; both
are entered in sys.modules under the names their stubs have. scripts/stubtest_allowlist.txt names
the differences that nanobind's own types make, and why.
"""
import os
import sys
import types

import corvanta
from mypy.stubtest import main


class _Stop(Exception):
    pass


def _private_values() -> types.ModuleType:
    seen = []

    class Spy:
        def play(self, state):  # type: ignore[no-untyped-def]
            seen.append(state)
            raise _Stop

    try:
        corvanta.CorvantaGame([Spy()], seed=1).playout()
    except _Stop:
        pass
    state = seen[0]
    result = corvanta.CorvantaGame([corvanta.players.RandomPlayer(1)], seed=1).playout()
    try:
        corvanta.CorvantaGame([corvanta.players.MCTSPlayer(1, 1, True, 1)], seed=1).playout()
    except BaseException as panic:  # an invalid policy number fails inside the module
        panic_type = type(panic)
    values = types.ModuleType("corvanta._values")
    for cls in (type(state), type(state.current_enemy()), type(state.has_turn()), type(result), panic_type):
        setattr(values, cls.__name__, cls)
    return values


if __name__ == "__main__":
    for name in corvanta.__all__[:3]:
        sys.modules[f"corvanta.{name}"] = getattr(corvanta, name)
    sys.modules["corvanta._values"] = _private_values()
    allowlist = os.path.join(os.path.dirname(os.path.abspath(__file__)), "stubtest_allowlist.txt")
    sys.argv = ["stubtest", "--allowlist", allowlist, "--ignore-disjoint-bases", "corvanta", "corvanta_lab._core"]
    sys.exit(main())
