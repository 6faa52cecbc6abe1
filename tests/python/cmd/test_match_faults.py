"""corvanta match when things go wrong: dying workers, SIGTERM, two writers, torn and bad files,
bad command lines. Nothing finished is lost, nothing hangs, every failure is one line."""
import json
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest
from corvanta_lab.cli import main
from corvanta_lab.match import ResultsWarning, read_records

MATCH = [sys.executable, "-m", "corvanta_lab", "match", "--players", "2", "--workers", "2"]


def seeds_in(path):
    return [json.loads(line)["seed"] for line in path.read_text().splitlines()]


def record(seed, level=3, **changes):
    return {"seed": seed, "seats": ["random"], "result": "lost", "level": level, "turns": 9, "seconds": 0.1, **changes}


def test_a_killed_worker_is_replaced_once_and_a_game_that_always_kills_it_stops_the_run(tmp_path):
    env = {**os.environ, "PYTHONPATH": str(Path(__file__).parent)}
    once, always = tmp_path / "once.jsonl", tmp_path / "always.jsonl"
    args = [*MATCH, "--all", "dying_seats:player", "--games", "30", "--out"]
    run = subprocess.run([*args, once], capture_output=True, text=True, timeout=120,
                         env={**env, "CORVANTA_TEST_MARKER": str(tmp_path / "died")})
    assert run.returncode == 0 and "played again on new workers" in run.stderr and (tmp_path / "died").exists()
    assert sorted(seeds_in(once)) == list(range(30))  # each seed once, game 3 included
    run = subprocess.run([*args, always], capture_output=True, text=True, timeout=120, env=env)
    assert run.returncode == 1 and "Traceback" not in run.stderr
    assert run.stderr.splitlines()[-1].startswith("corvanta match: workers died twice while playing seed")
    seeds = seeds_in(always)  # the games finished before the stop
    assert seeds and 3 not in seeds and len(seeds) == len(set(seeds)) and set(seeds) < set(range(30))
    resumed = subprocess.run([*args, always, "--seed-start", str(seeds[0]), "--games", "1"], capture_output=True,
                             text=True, timeout=60, env=env)
    assert resumed.stderr.startswith(f"resuming {always}: 1 of 1 games done")


@pytest.mark.parametrize("to", ["parent", "process group"])
def test_sigterm_leaves_a_valid_file_and_a_second_writer_is_refused(tmp_path, to):
    out = tmp_path / "t.jsonl"
    args = [*MATCH, "--all", "mcts:1000", "--games", "400", "--out", str(out)]
    first = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, start_new_session=True)
    try:
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and (not out.exists() or out.read_text().count("\n") < 2):
            time.sleep(0.1)
        second = subprocess.run(args, capture_output=True, text=True, timeout=60)
        assert second.returncode == 1 and second.stderr.splitlines() == [
            f"corvanta match: {out} is being written by another run (pid {first.pid}); wait for it or choose "
            f"another --out"]
        (os.killpg if to == "process group" else os.kill)(first.pid, signal.SIGTERM)
        _, err = first.communicate(timeout=30)
    finally:
        first.kill()
    assert first.returncode == 143
    assert err.split() == f"corvanta match: terminated; finished games are in {out}, run again to resume".split()
    seeds = seeds_in(out)
    assert len(seeds) >= 2 and len(seeds) == len(set(seeds)) and out.read_text().endswith("\n")


def test_workers_end_when_their_parent_is_killed_outright(tmp_path):
    out = tmp_path / "k.jsonl"
    run = subprocess.Popen([*MATCH, "--all", "mcts:1000", "--games", "400", "--out", str(out)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and (not out.exists() or not out.read_text()):
        time.sleep(0.1)
    workers = Path(f"/proc/{run.pid}/task/{run.pid}/children").read_text().split()
    run.kill()
    run.wait()

    def alive(pid):
        try:
            return Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0] not in "ZX"
        except OSError:
            return False
    deadline = time.monotonic() + 10
    while any(map(alive, workers)) and time.monotonic() < deadline:
        time.sleep(0.1)
    assert len(workers) == 2 and not any(map(alive, workers))


def test_cutting_a_torn_tail_never_shrinks_the_file_below_its_records(tmp_path):
    path = tmp_path / "big.jsonl"
    good = (json.dumps(record(0, actions=["y"] * 2000)) + "\n").encode() * 2000  # 20 MB
    path.write_bytes(good + b'{"seed": 1, "seats": ["caf\xc3')  # torn inside a two-byte character
    assert len(read_records(path)) == 1
    repair = subprocess.Popen([sys.executable, "-c", "import sys, pathlib; from corvanta_lab.match import "
                               "_repair_tail; _repair_tail(pathlib.Path(sys.argv[1]))", str(path)])
    smallest = path.stat().st_size
    while repair.poll() is None:
        smallest = min(smallest, path.stat().st_size)
    assert repair.wait() == 0 and smallest >= len(good) and path.read_bytes() == good


@pytest.mark.parametrize("line, problem", [
    ('{"seed": 9}', "a game record without seats, result, level, turns, seconds"),
    (json.dumps(record(9, level="high")), 'level is "high", not a whole number'),
    ("[1, 2]", "a JSON list, not a game record (an object)"),
])
def test_a_bad_record_is_one_line_naming_file_and_line(tmp_path, capsys, line, problem):
    path = tmp_path / "bad.jsonl"
    path.write_text("\n".join([json.dumps(record(1)), line, json.dumps(record(2)), ""]))
    assert main(["match", "--all", "random", "--players", "1", "--games", "3", "--out", str(path)]) == 1
    assert capsys.readouterr().err.splitlines() == [f"corvanta match: {path}:2: {problem}"]


def test_a_game_recorded_twice_keeps_its_first_record_with_one_warning(tmp_path):
    path = tmp_path / "twice.jsonl"
    lines = [record(0, level=5), record(1), record(0, level=7), record(1, seconds=2.0), record(0, level=8)]
    path.write_text("".join(json.dumps(r) + "\n" for r in lines))
    with pytest.warns(ResultsWarning) as caught:
        records = read_records(path)
    assert len(caught) == 1 and str(caught[0].message).startswith(f"{path}:3: a game recorded again")
    assert [(r["seed"], r["level"], r["seconds"]) for r in records] == [(0, 5, 0.1), (1, 3, 0.1)]


@pytest.mark.parametrize("args, message", [
    (["--all", "no_such_module.sub:factory"], "argument --all: no_such_module.sub:factory: cannot load the factory"),
    (["--all", "mcts:10:1:h:1::fast"], "argument --all: mcts:10:1:h:1::fast: ROLLOUT must be one of uniform, greedy"),
    (["--seed-start", "18446744073709551614", "--games", "3"], "runs past the last seed"),
    (["--out", "{tmp}"], "--out {tmp} is a directory"),
    (["--out", "{tmp}/file/r.jsonl"], "{tmp}/file is not a directory"),
    (["--plot", "{tmp}"], "--plot {tmp} is a directory"),
    (["--plot", "{tmp}/levels.png", "no matplotlib"], "--plot needs matplotlib"),
])
def test_bad_command_lines_stop_before_the_first_game(tmp_path, capsys, monkeypatch, args, message):
    (tmp_path / "file").touch()
    args = [arg.replace("{tmp}", str(tmp_path)) for arg in args]
    if args[-1] == "no matplotlib":
        args.pop()
        for name in ("matplotlib", "matplotlib.backends.backend_agg"):
            monkeypatch.setitem(sys.modules, name, None)
    with pytest.raises(SystemExit) as stop:
        main(["match", "--all", "random", "--players", "1", "--games", "2", "--out", str(tmp_path / "r"), *args])
    (line,) = capsys.readouterr().err.splitlines()
    assert stop.value.code == 2 and message.replace("{tmp}", str(tmp_path)) in line
    assert [p.name for p in tmp_path.iterdir()] == ["file"] and not Path(f"{tmp_path}.png").exists()
