"""The example program runs and tells the truth about replaying its game."""
import pathlib
import re
import subprocess
import sys

import pytest

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "play.py"


@pytest.mark.parametrize("players, seed", [(1, 7), (2, 7), (4, 3)])
def test_example_prints_each_turn_and_the_result(players, seed):
    done = subprocess.run([sys.executable, str(EXAMPLE), "--players", str(players), "--seed", str(seed)],
                          capture_output=True, timeout=120)
    assert done.returncode == 0, done.stderr
    out = done.stdout.decode()
    turns = re.findall(r"^Seat (\d) chooses .+ \(one of \d+ legal actions\)$", out, re.M)
    assert turns and len(turns) == out.count("Player: PlayerId(")
    result = re.search(r"^Result: (PyGameResult\.\w+): the players (won|lost) after (\d+) turns, defeating (\d+) of 12",
                       out, re.M)
    assert result and int(result.group(3)) == len(turns)
    again = re.search(r"^Played again by the built-in players alone: (PyGameResult\.\w+), reward (\d+)\.$", out, re.M)
    assert again and again.group(1) == result.group(1) and again.group(2) == result.group(4)
