"""The command layer: help made from the seat kinds, one colour rule, one form of a game's record."""
import corvanta_lab as lab
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


def test_the_rules_page_states_the_engines_numbers(capsys):
    import re

    from corvanta_lab.cli import main
    from corvanta_lab.rules import RULES

    assert main(["rules"]) == 0
    assert capsys.readouterr().out == RULES
    sizes = re.search(r"up to (\d) cards \(one player\),\s+(\d) \(two\), (\d) \(three\) or (\d) \(four\)", RULES)
    assert sizes and [int(n) for n in sizes.groups()] == [lab.Game(n, 0).max_hand_size for n in (1, 2, 3, 4)]
    jesters = [sum(card.is_jester for card in lab.Game(n, 0).tavern + sum(lab.Game(n, 0).hands, ())) for n in (1, 2, 3, 4)]
    assert jesters == [0, 0, 1, 2] and "with three\n  players one jester, with four two" in RULES
    enemy = lab.Game(1, 0).current_enemy  # a Jack: the Jacks come first
    assert f"a Jack has {enemy.health} health and attacks for {enemy.attack}" in RULES
    assert lab.Game(1, 0).refills_left == 2 and "refill your hand twice a game" in RULES
