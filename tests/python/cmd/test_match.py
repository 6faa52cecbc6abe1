"""corvanta match: seeded games on any number of workers or a Dask cluster, resumable files."""
import json
import math
import re
import signal
import subprocess
import sys
import time

import pytest
from corvanta_lab.match import mean_interval, read_records, run_match, summarise, wilson_interval
from corvanta_lab.seats import parse_seat

CORVANTA = [sys.executable, "-m", "corvanta_lab"]
RANDOM_PAIR = [parse_seat("random"), parse_seat("random:9")]


def corvanta(*args, **kwargs):
    return subprocess.run([*CORVANTA, *map(str, args)], capture_output=True, text=True, timeout=300, **kwargs)


def without_seconds(path):
    lines = path.read_text().splitlines()
    return [{k: v for k, v in json.loads(line).items() if k != "seconds"} for line in lines]


def test_seeded_random_seats_give_the_same_file_on_any_number_of_workers(tmp_path):
    files = []
    for workers in (1, 2):
        out = tmp_path / f"w{workers}.jsonl"
        run = corvanta("match", "--seat", "random", "--seat", "random:9", "--games", 24, "--seed-start", 5,
                       "--workers", workers, "--out", out, "--log-actions")
        assert run.returncode == 0, run.stderr
        files.append(without_seconds(out))
    assert files[0] == files[1]
    assert [r["seed"] for r in files[0]] == list(range(5, 29))
    record = files[0][0]
    assert set(record) == {"seed", "seats", "result", "level", "turns", "actions"}
    assert record["seats"] == ["random", "random:9"] and len(record["actions"]) == record["turns"]
    # The summary table's row for this configuration counts every game.
    row = next(line for line in run.stdout.splitlines() if line.startswith("random + random:9"))
    assert row.split()[3] == "24"


def test_a_rerun_resumes_and_a_torn_line_is_dropped(tmp_path):
    out = tmp_path / "r.jsonl"
    first = run_match([RANDOM_PAIR], range(6), out=out, workers=1, progress=False)
    with out.open("a") as f:
        f.write('{"seed": 99, "sea')  # a run killed mid-write
    again = run_match([RANDOM_PAIR], range(10), out=out, workers=2, progress=False)
    records = read_records(out)
    assert [r["seed"] for r in records] == list(range(10))
    assert first[0].played == 6 and again[0].played == 4 and again[0].games == 10
    assert again[0].levels[:6] == first[0].levels


def test_statistics_of_known_samples():
    assert mean_interval([2, 4, 6, 8]) == pytest.approx((5.0, 1.959964 * math.sqrt(20 / 3) / 2))
    assert math.isnan(mean_interval([3])[1])
    low, high = wilson_interval(0, 10)
    assert low == 0.0 and high == pytest.approx(0.27753, abs=1e-5)
    assert wilson_interval(5, 10) == pytest.approx((0.23659, 0.76341), abs=1e-5)
    records = [{"seats": ["random"], "level": lvl, "result": "won" if lvl == 12 else "lost"} for lvl in (3, 12, 6)]
    (summary,) = summarise(records)
    assert summary.games == 3 and summary.wins == 1 and summary.mean_level[0] == 7.0


def test_ctrl_c_leaves_a_valid_file(tmp_path):
    out = tmp_path / "c.jsonl"
    process = subprocess.Popen([*CORVANTA, "match", "--all", "mcts:200", "--players", "2", "--games", "400",
                                "--workers", "2", "--out", str(out)], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and (not out.exists() or out.read_text().count("\n") < 2):
        time.sleep(0.2)
    process.send_signal(signal.SIGINT)
    shown, err = process.communicate(timeout=30)
    assert process.returncode == 130 and "Traceback" not in err
    assert err.strip().splitlines()[-1].startswith("corvanta match: interrupted")
    records = read_records(out)
    assert records and out.read_text().endswith("\n") and len(records) == out.read_text().count("\n")
    # The summary of what finished: one row, as many games as the file holds.
    row = re.search(r"^mcts:200 x2 +(\d+) ", shown, re.M)
    assert row and int(row.group(1)) == len(records), shown


def test_plot_writes_a_histogram(tmp_path):
    pytest.importorskip("matplotlib")
    png = tmp_path / "levels.png"
    run = corvanta("match", "--all", "random", "--players", "1", "--games", 20, "--workers", 1, "--plot", png)
    assert run.returncode == 0, run.stderr
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_a_dask_cluster_gives_the_local_file(tmp_path):
    distributed = pytest.importorskip("dask.distributed")
    local = tmp_path / "local.jsonl"
    remote = tmp_path / "cluster.jsonl"
    args = ["match", "--all", "random:3", "--players", "3", "--games", 16, "--log-actions", "--out"]
    assert corvanta(*args, local, "--workers", 2).returncode == 0
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as c:
        run = corvanta(*args, remote, "--cluster", c.scheduler_address)
    assert run.returncode == 0, run.stderr
    assert without_seconds(local) == without_seconds(remote)


def test_the_histogram_has_a_title_and_marks_each_mean():
    pytest.importorskip("matplotlib")
    import matplotlib

    matplotlib.use("Agg")
    from corvanta_lab.match import Summary, histogram

    summaries = [Summary(("random",), levels=[0, 1, 1, 2]), Summary(("strong:10",), levels=[5, 7, 12], wins=1)]
    figure = histogram(summaries)
    (axes,) = figure.axes
    assert axes.get_title() == "Levels reached in 7 games (dashed: the mean)"
    means = sorted(line.get_xdata()[0] for line in axes.get_lines())
    assert means == pytest.approx([1.0, 8.0])
    assert "mean 8.00" in " ".join(text.get_text() for text in axes.get_legend().get_texts())
