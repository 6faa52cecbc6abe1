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


SEARCH_EXAMPLE = EXAMPLE.with_name("search.py")


@pytest.mark.parametrize("players", [1, 3])
def test_search_example_shows_the_ranking_of_every_move(players):
    done = subprocess.run([sys.executable, str(SEARCH_EXAMPLE), "--players", str(players), "--seed", "5",
                           "--playouts", "300", "--threads", "2"], capture_output=True, timeout=120)
    assert done.returncode == 0, done.stderr
    out = done.stdout.decode()
    moves = re.findall(r"^Seat \d plays (.+)$", out, re.M)
    assert moves and len(moves) == out.count("Player: PlayerId(")
    # Every move is the action ranked first, shown with its visits and average reward.
    firsts = re.findall(r"^  1\. (.+?)\s+visits\s+(\d+)\s+average reward\s+([\d.]+|nan)$", out, re.M)
    assert [a for a, _, _ in firsts] == moves
    result = re.search(r"^Result: PyGameResult\.(Won|Lost): the players (won|lost) after (\d+) turns", out, re.M)
    assert result and int(result.group(3)) == len(moves)


def test_vector_example_plays_the_same_seeded_games():
    done = subprocess.run([sys.executable, str(EXAMPLE.with_name("vector.py")), "--games", "32", "--finished", "50"],
                          capture_output=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout.decode() == "53 games of 2 players ended after 18 steps of 32 games: mean level 0.81 of 12, 0 won\n"
