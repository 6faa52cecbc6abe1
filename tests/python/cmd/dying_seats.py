"""A seat factory (``dying_seats:player``) whose game 3 kills the process playing it, as the OOM
killer would: every time, or once if CORVANTA_TEST_MARKER names a file to remember it by."""
import os
import signal

import corvanta_lab as lab


def player(seed):
    """A random player; its worker dies when game 3 starts (seat 0's seed is 3000)."""
    marker = os.environ.get("CORVANTA_TEST_MARKER")
    if seed == 3000 and not (marker and os.path.exists(marker)):
        if marker:
            open(marker, "x").close()
        os.kill(os.getpid(), signal.SIGKILL)
    return lab.RandomPlayer(seed)
