"""The example program runs and tells the truth about replaying its game."""
import pathlib
import re
import subprocess
import sys

import pytest

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "play.py"


@pytest.mark.parametrize("players, seed", [(1, 7), (2, 7), (4, 3)])
def test_example_tells_each_move_in_the_consoles_words_and_the_result(players, seed):
    done = subprocess.run([sys.executable, str(EXAMPLE), "--players", str(players), "--seed", str(seed)],
                          capture_output=True, timeout=120)
    assert done.returncode == 0, done.stderr
    out = done.stdout.decode()
    assert "PlayerId(" not in out and "Some(" not in out and "♥" not in out  # no debug forms, one notation
    positions = re.findall(r"^P(\d) (?:to act|must discard cards worth \d+); hand ((?:\S+ ?)*)$", out, re.M)
    moves = re.findall(r"^  P(\d) (.+?)   \(one of \d+ legal moves\)$", out, re.M)
    assert moves and len(moves) == len(positions) and [p[0] for p in positions] == [m[0] for m in moves]
    result = re.search(r"^The players (won|lost) after (\d+) moves, defeating (\d+) of 12 enemies\.$", out, re.M)
    assert result and int(result.group(2)) == len(moves)
    # The lab's copy of the game followed the module's to its end.
    last = moves[-1][1]
    assert last.endswith("the game is won") if result.group(1) == "won" else last.endswith(f"lost at level {result.group(3)}")
    again = re.search(r"^Played again by the built-in players alone: the same game, (\d+) of 12 enemies defeated\.$", out, re.M)
    assert again and again.group(1) == result.group(3)


SEARCH_EXAMPLE = EXAMPLE.with_name("search.py")


@pytest.mark.parametrize("players", [1, 3])
def test_search_example_shows_the_ranking_of_every_move(players):
    done = subprocess.run([sys.executable, str(SEARCH_EXAMPLE), "--players", str(players), "--seed", "5",
                           "--playouts", "300", "--threads", "2"], capture_output=True, timeout=120)
    assert done.returncode == 0, done.stderr
    out = done.stdout.decode()
    assert "PlayerId(" not in out and "Some(" not in out
    moves = re.findall(r"^  P\d (.+?)   \(one of \d+ legal moves\)$", out, re.M)
    # Every move is the action ranked first, shown with its visits and average reward.
    firsts = re.findall(r"^  1\. (.+?)\s+visits\s+(\d+)\s+average reward\s+([\d.]+|nan)$", out, re.M)
    assert moves and len(firsts) == len(moves)
    words = {"y": "yielded", "r": "refilled the hand"}
    for first, move in zip((f for f, _, _ in firsts), moves):
        said = words.get(first) or (f"chose P{first}" if first.isdigit() else f"{first}")
        assert said in move, (first, move)
    result = re.search(r"^The players (won|lost) after (\d+) moves", out, re.M)
    assert result and int(result.group(2)) == len(moves)


def test_vector_example_plays_the_same_seeded_games():
    done = subprocess.run([sys.executable, str(EXAMPLE.with_name("vector.py")), "--games", "32", "--finished", "50"],
                          capture_output=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout.decode() == "50 games of 2 players ended after 17 steps of 32 games: mean level 0.92 of 12, 0 won\n"
