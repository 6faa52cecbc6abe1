"""corvanta play through a real pseudo-terminal, and corvanta replay of a logged game."""
import json
import os
import subprocess
import sys
import time

import corvanta_lab as lab
import pytest
from corvanta_lab.moves import move_text

pexpect = pytest.importorskip("pexpect")

PROMPT = r"> $"


def spawn(*args, colour=False):
    env = {k: v for k, v in os.environ.items() if k not in ("NO_COLOR", "CLICOLOR_FORCE", "CLICOLOR")}
    if not colour:
        env["NO_COLOR"] = "1"
    return pexpect.spawn(sys.executable, ["-m", "corvanta_lab", "play", *map(str, args)], env=env,
                         encoding="utf-8", timeout=60, dimensions=(50, 120))


def test_a_whole_seeded_game_typed_at_the_terminal(tmp_path):
    seed, log = 4, tmp_path / "game.jsonl"
    expected = lab.Game(1, seed)
    chooser = lab.RandomPlayer(seed)
    child = spawn("--players", 1, "--seat", "human", "--seed", seed, "--hint-playouts", 50, "--log-actions", log)
    child.expect("seed 4 · level 0 of 12")
    child.expect(PROMPT)
    for typed, reason in [("zz", "'zz' is not a card"), ("Kc", "you have no Kc"), ("2", "answers a jester only")]:
        child.sendline(typed)
        child.expect(reason)
        child.expect(PROMPT)
    child.sendline("?")
    child.expect("hint    the strong search")
    child.expect(PROMPT)
    child.sendline("hint")
    child.expect(r"1\. \S+.*visits +\d+ +mean reward")
    child.expect(PROMPT)
    split_discard = True
    while not expected.is_over:
        action = chooser.play(expected)
        cards = list(action.cards)
        if action.kind == lab.ActionKind.DISCARD and split_discard and cards[0].attack < expected.discard_amount:
            split_discard = False  # the running total: one card, then the rest
            child.sendline(cards[0].label)
            child.expect(f"chosen {cards[0].label} = {cards[0].attack} of {expected.discard_amount}")
            child.expect(PROMPT)
            child.sendline(" ".join(card.label for card in cards[1:]))
        else:
            child.sendline(move_text(action))
        expected.apply(action)
        if not expected.is_over:
            child.expect(PROMPT)
    outcome = "won: all 12" if expected.won else f"lost at level {expected.level}:"
    child.expect(f"You {outcome}")
    child.expect(pexpect.EOF)
    child.close()
    assert child.exitstatus == 0 and not split_discard
    (record,) = [json.loads(line) for line in log.read_text().splitlines()]
    assert record["seed"] == seed and record["actions"] == [move_text(a) for a in expected.history]
    replay = subprocess.run([sys.executable, "-m", "corvanta_lab", "replay", str(log), "--game", str(seed)],
                            capture_output=True, text=True, env={**os.environ, "NO_COLOR": "1"}, timeout=60)
    lines = replay.stdout.splitlines()
    assert lines[0] == "Game of seed 4: P0 human" and lines[-1].startswith(f"You {outcome}")
    assert len(lines) == 2 + 2 * expected.turns


def test_ctrl_c_during_a_hint_cancels_only_the_hint():
    child = spawn("--players", 1, "--seed", 3, "--seat", "human", "--hint-playouts", 10**9)
    child.expect(PROMPT)
    child.sendline("hint")
    child.expect("hint\r\n")  # the line is read: the search runs
    time.sleep(0.3)
    child.sendintr()
    child.expect("hint cancelled")
    child.expect(PROMPT)
    child.sendeof()
    child.expect(pexpect.EOF)
    child.close()
    assert "Traceback" not in child.before and child.exitstatus == 0


@pytest.mark.parametrize("leave, status", [("ctrl-c", 130), ("eof", 0)])
def test_leaving_takes_one_line_and_no_traceback(leave, status):
    child = spawn("--players", 2, "--seed", 3, "--seat", "human", "--seat", "random")
    child.expect(PROMPT)
    child.sendintr() if leave == "ctrl-c" else child.sendeof()
    child.expect(pexpect.EOF)
    child.close()
    tail = child.before.strip().splitlines()
    assert tail == ["Game left at level 0 after 0 turns (seed 3)."] or tail[-1].startswith("Game left at level")
    assert "Traceback" not in child.before and child.exitstatus == status


def test_colours_only_for_a_terminal_without_no_color():
    coloured = spawn("--players", 1, "--seed", 4, "--seat", "human", colour=True)
    coloured.expect(PROMPT)
    assert "\x1b[" in coloured.before
    coloured.sendeof()
    coloured.expect(pexpect.EOF)
    plain = spawn("--players", 1, "--seed", 4, "--seat", "human")
    plain.expect(PROMPT)
    assert "\x1b[" not in plain.before
    plain.sendeof()
    piped = subprocess.run([sys.executable, "-m", "corvanta_lab", "play", "--players", "1", "--seed", "4"],
                           input="", capture_output=True, text=True, timeout=60,
                           env={k: v for k, v in os.environ.items() if k != "NO_COLOR"})
    assert "seed 4 · level 0 of 12" in piped.stdout and "\x1b[" not in piped.stdout
    assert piped.returncode == 0 and "Traceback" not in piped.stderr


def test_a_game_left_is_logged_as_left_and_replays_to_where_it_stopped(tmp_path):
    log = tmp_path / "left.jsonl"
    child = spawn("--players", 1, "--seed", 5, "--seat", "human", "--log-actions", log)
    child.expect(PROMPT)
    move = move_text(lab.Game(1, 5).legal_actions()[0])
    child.sendline(move)
    child.expect(PROMPT)
    child.sendeof()
    child.expect(pexpect.EOF)
    child.close()
    assert "after 1 turn (seed 5)" in child.before and child.exitstatus == 0
    (record,) = [json.loads(line) for line in log.read_text().splitlines()]
    assert record["result"] == "left" and record["actions"] == [move] and record["turns"] == 1
    replay = subprocess.run([sys.executable, "-m", "corvanta_lab", "replay", str(log)], capture_output=True,
                            text=True, env={**os.environ, "NO_COLOR": "1"}, timeout=60)
    assert replay.returncode == 0 and "(the log stops at turn 1)" in replay.stdout


def test_replay_names_a_missing_file_and_stops_quietly_when_its_reader_does(tmp_path):
    missing = subprocess.run([sys.executable, "-m", "corvanta_lab", "replay", str(tmp_path / "none.jsonl")],
                             capture_output=True, text=True, timeout=60)
    assert missing.returncode == 1 and missing.stderr.strip() == f"corvanta replay: {tmp_path / 'none.jsonl'} does not exist"
    log = tmp_path / "games.jsonl"
    subprocess.run([sys.executable, "-m", "corvanta_lab", "match", "--all", "random", "--players", "1", "--games", "1",
                    "--workers", "1", "--log-actions", "--out", str(log), "--quiet"], check=True, timeout=120,
                   capture_output=True)
    # A reader that has already gone (as `| head` goes): the replay's first write breaks the pipe.
    gone = subprocess.Popen([sys.executable, "-m", "corvanta_lab", "replay", str(log)], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, env={**os.environ, "NO_COLOR": "1"})
    gone.stdout.close()
    assert gone.wait(timeout=60) == 0 and gone.stderr.read() == ""
