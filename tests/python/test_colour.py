"""Card texts are coloured by the environment and the terminal, decided once per process."""
import os
import pty
import subprocess
import sys

import pytest
from conftest import run_python

SCRIPT = """
import corvanta
C = corvanta.card
print(repr(str(C.Card(C.CardSuit.Spades, C.CardValue.Ace)) + "|" + str(C.Card(C.CardSuit.Hearts, C.CardValue.Ten))
      + "|" + str(C.Card(getattr(C.CardSuit, "None"), C.CardValue.Jester))))
"""
PLAIN = "♠A|♥10|Jester"
BLACK, RED, WHITE, RESET = "\x1b[47;30m", "\x1b[47;31m", "\x1b[47m", "\x1b[0m"
COLOURED = (f"{BLACK}♠{RESET}{BLACK}A{RESET}|{RED}♥{RESET}{BLACK}10{RESET}|{WHITE}{RESET}{BLACK}Jester{RESET}")


@pytest.mark.parametrize(
    "env, coloured",
    [
        ({}, False),  # standard output is a pipe
        ({"CLICOLOR_FORCE": "1"}, True),
        ({"CLICOLOR_FORCE": "yes"}, True),
        ({"CLICOLOR_FORCE": "0"}, False),
        ({"CLICOLOR_FORCE": "1", "NO_COLOR": "1"}, True),
        ({"NO_COLOR": "1"}, False),
        ({"CLICOLOR": "1"}, False),
    ],
)
def test_colour_through_a_pipe(env, coloured):
    done = run_python(SCRIPT, env_changes=env)
    assert done.returncode == 0, done.stderr
    assert done.stdout.decode().strip() == repr(COLOURED if coloured else PLAIN)


@pytest.mark.parametrize(
    "env, coloured",
    [({}, True), ({"CLICOLOR": "0"}, False), ({"CLICOLOR": "1"}, True), ({"NO_COLOR": ""}, False),
     ({"CLICOLOR": "0", "CLICOLOR_FORCE": "1"}, True)],
)
def test_colour_on_a_terminal(env, coloured):
    leader, follower = pty.openpty()
    child_env = {k: v for k, v in os.environ.items() if k not in ("NO_COLOR", "CLICOLOR", "CLICOLOR_FORCE")}
    child_env.update(env)
    with subprocess.Popen([sys.executable, "-c", SCRIPT], stdout=follower, stderr=subprocess.PIPE,
                          env=child_env) as child:
        os.close(follower)
        output = b""
        while True:
            try:
                chunk = os.read(leader, 4096)
            except OSError:  # the terminal closes with the child
                break
            if not chunk:
                break
            output += chunk
        os.close(leader)
        assert child.wait(timeout=60) == 0, child.stderr.read()
    assert output.decode().strip() == repr(COLOURED if coloured else PLAIN)
