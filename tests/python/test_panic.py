"""Failures of the module's own code reach Python as PanicException and leave the game usable."""
import corvanta
import pytest
from conftest import FirstAction, players


def fail_once(game):
    with pytest.raises(BaseException) as info:
        try:
            game.playout()
        except Exception:  # PanicException is not an Exception
            pytest.fail("caught as an ordinary exception")
    return info.value


def test_a_failed_console_read_is_a_panic(empty_stdin, capfd):
    game = corvanta.CorvantaGame([players.InputPlayer(), FirstAction()], 4)
    first = fail_once(game)
    second = fail_once(game)  # the game is free again and fails the same way
    panic = type(first)
    assert panic.__name__ == "PanicException" and panic.__bases__ == (BaseException,)
    assert type(second) is panic  # one type per process
    assert first.args == ("Error reading input.: end of input reached",)
    assert game.reward() == 0
    out = capfd.readouterr().out
    assert out.count("Type number to select an action:\n") == 2
