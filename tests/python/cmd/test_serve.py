"""corvanta serve from the command line: its checks before serving, its address and warning."""
import os
import re
import subprocess
import sys
import time

import pytest

from corvanta_lab.cli import main

pytest.importorskip("starlette")
pytest.importorskip("uvicorn")
httpx = pytest.importorskip("httpx")


@pytest.mark.parametrize("args, message", [
    (["--seat", "corvanta_lab:RandomPlayer"], "--seat seat 'corvanta_lab:RandomPlayer': choose human"),
    (["--seat", "mcts:50000"], "at most 20000 playouts"),
    (["--watch", "no/such/file.jsonl"], "--watch no/such/file.jsonl: no such file"),
    (["--pause", "-1"], "--pause -1.0: a pause is 0 to 60 seconds"),
])
def test_a_wrong_option_stops_before_serving(args, message, capsys):
    assert main(["serve", "--port", "0", *args]) == 2
    assert message in capsys.readouterr().err


def test_the_help_lists_the_seats_a_page_may_ask_for(capsys):
    with pytest.raises(SystemExit):
        main(["serve", "--help"])
    out = capsys.readouterr().out
    assert "strong:PLAYOUTS" in out and "module.path:callable" not in out and "clairvoyant" not in out


def test_serving_beyond_this_machine_warns_and_prints_the_address():
    server = subprocess.Popen([sys.executable, "-m", "corvanta_lab", "serve", "--host", "0.0.0.0", "--port", "0"],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=os.environ.copy())
    try:
        line = server.stdout.readline()
        assert line.startswith("corvanta serve: http://0.0.0.0:") and line.endswith("/ (Ctrl-C stops)\n")
        port = int(re.search(r":(\d+)/", line).group(1))
        deadline = time.monotonic() + 10
        while True:
            try:
                page = httpx.get(f"http://127.0.0.1:{port}/", headers={"host": "example.org"})
                break
            except httpx.ConnectError:
                assert time.monotonic() < deadline
                time.sleep(0.05)
        assert page.status_code == 200 and "<title>corvanta</title>" in page.text
    finally:
        server.terminate()
        _, err = server.communicate(timeout=10)
    assert "warning: listening on 0.0.0.0, not this machine alone" in err
