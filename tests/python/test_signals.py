"""Ctrl-C ends a long search, a game of built-in seats and the console prompt with
KeyboardInterrupt, promptly; a handler that does not raise lets them go on."""
import signal
import subprocess
import sys
import time

import pexpect
import pytest

FIRST_STATE = """
import corvanta, signal, time
def expired(*args):
    raise TimeoutError  # as a signal.alarm time limit would
signal.signal(signal.SIGALRM, expired)
class Once:
    def play(self, state):
        global STATE
        STATE = state
        raise StopIteration
try:
    corvanta.CorvantaGame([Once(), Once()], 5).playout()
except StopIteration:
    pass
"""

LONG_SEARCH = FIRST_STATE + """
player = corvanta.players.MCTSPlayer(2**32 - 1, 2, True)
print("ready", flush=True)
try:
    player.play(STATE)
except (KeyboardInterrupt, TimeoutError):
    print(time.monotonic(), player.ranked_actions(), flush=True)
"""

LONG_GAME = FIRST_STATE + """
print("ready", flush=True)
try:
    while True:
        corvanta.CorvantaGame([corvanta.players.MCTSPlayer(20000, 2, True)] * 2).playout()
except (KeyboardInterrupt, TimeoutError):
    print(time.monotonic(), [], flush=True)
"""


@pytest.mark.parametrize("script, signum", [(LONG_SEARCH, signal.SIGINT), (LONG_SEARCH, signal.SIGALRM),
                                            (LONG_GAME, signal.SIGINT)], ids=["search", "search-alarm", "game"])
def test_a_signal_stops_the_search_within_a_second(script, signum):
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True)
    try:
        assert child.stdout.readline() == "ready\n"
        time.sleep(0.3)
        sent = time.monotonic()
        child.send_signal(signum)
        out, err = child.communicate(timeout=30)
    finally:
        child.kill()
    assert child.returncode == 0, err
    caught, ranking = out.split(" ", 1)
    assert float(caught) - sent < 1.0
    assert ranking == "[]\n"  # an interrupted move stores no ranking


CONSOLE = """
import corvanta, signal, sys
if sys.argv[1] == "handled":
    signal.signal(signal.SIGINT, lambda *args: print("handled", flush=True))
try:
    corvanta.CorvantaGame([corvanta.players.InputPlayer()], 3).playout()
except KeyboardInterrupt:
    print("caught KeyboardInterrupt", flush=True)
"""
PROMPT = "Type number to select an action:"


@pytest.mark.parametrize("handler", ["default", "handled"])
def test_ctrl_c_at_the_console_prompt(handler):
    child = pexpect.spawn(sys.executable, ["-c", CONSOLE, handler], timeout=30, encoding="utf-8")
    try:
        child.expect_exact(PROMPT)
        time.sleep(0.2)  # as a person would: the read is waiting when Ctrl-C comes
        child.sendintr()
        if handler == "default":
            child.expect_exact("caught KeyboardInterrupt")
            child.expect_exact(pexpect.EOF)
            assert "PanicException" not in child.before
        else:  # the handler ran, and the prompt still reads the choice
            child.expect_exact("handled")
            child.sendline("0")
            child.expect_exact(PROMPT)
            time.sleep(0.2)
            child.sendintr()
            child.expect_exact("handled")
    finally:
        child.close(force=True)
