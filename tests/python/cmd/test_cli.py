"""The command layer: help made from the seat kinds, one colour rule, one form of a game's record."""
import pytest
from corvanta_lab.cli import main
from corvanta_lab.console import Style
from corvanta_lab.match import play_game, read_records
from corvanta_lab.seats import FACTORY, SEAT_KINDS, parse_seat


@pytest.mark.parametrize("command", ["play", "match"])
def test_the_help_lists_every_kind_of_seat(command, capsys):
    with pytest.raises(SystemExit) as done:
        main([command, "--help"])
    text = capsys.readouterr().out
    kinds = [*SEAT_KINDS.values(), FACTORY]
    listed = [f"\n  {kind.grammar}\n" in text for kind in kinds]
    assert done.value.code == 0 and listed == [command == "play" or not kind.person for kind in kinds]


class Stream:
    def __init__(self, terminal):
        self.terminal = terminal

    def isatty(self):
        return self.terminal


@pytest.mark.parametrize("env, terminal, wanted", [
    ({}, True, True), ({}, False, False), ({"NO_COLOR": "1"}, True, False), ({"NO_COLOR": ""}, True, False),
    ({"CLICOLOR": "0"}, True, False), ({"CLICOLOR": "1"}, False, False),
    ({"CLICOLOR_FORCE": "1", "NO_COLOR": "1", "CLICOLOR": "0"}, False, True), ({"CLICOLOR_FORCE": "0"}, False, False),
])
def test_colours_follow_the_engines_rule(monkeypatch, env, terminal, wanted):
    for name in ("CLICOLOR_FORCE", "NO_COLOR", "CLICOLOR"):
        monkeypatch.delenv(name, raising=False)
    for name, value in env.items():
        monkeypatch.setenv(name, value)
    assert Style.for_stream(Stream(terminal)).enabled is wanted


def test_play_and_match_record_a_game_alike(tmp_path, capsys):
    log, seats = tmp_path / "play.jsonl", ["random:4", "random:9"]
    assert main(["play", "--seat", seats[0], "--seat", seats[1], "--seed", "11", "--log-actions", str(log)]) == 0
    assert "The team" in capsys.readouterr().out
    (played,) = read_records(log)
    matched = play_game([parse_seat(seat) for seat in seats], 11, log_actions=True)
    assert {**played, "seconds": 0} == {**matched, "seconds": 0}
    assert played["seats"] == seats and played["seed"] == 11 and len(played["actions"]) == played["turns"] > 0
