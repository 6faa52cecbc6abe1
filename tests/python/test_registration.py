import sys

import corvanta
import pytest
from conftest import first_state, players


def test_main_module_lists_submodules_then_the_game():
    assert corvanta.__all__ == ["card", "actions", "players", "CorvantaGame"]
    assert corvanta.__doc__ == ""


@pytest.mark.parametrize(
    "sub, names",
    [
        ("card", ["Card", "CardSuit", "CardValue"]),
        ("actions", ["ActionPlay", "ActionAnimalCombo", "ActionCombo", "ActionYield", "ActionDiscard",
                     "ActionChangePlayer", "ActionRefillHand"]),
        ("players", ["RandomPlayer", "InputPlayer", "MCTSPlayer"]),
    ],
)
def test_submodules_register_their_classes_in_order(sub, names):
    module = getattr(corvanta, sub)
    assert module.__all__ == names
    for name in names:
        assert getattr(module, name).__name__ == name
    assert module.__name__ == sub
    assert f"corvanta.{sub}" not in sys.modules and sub not in sys.modules


def test_unregistered_classes_are_reached_through_objects():
    state = first_state()
    result = corvanta.CorvantaGame([players.RandomPlayer(1)], 7).playout()
    found = {type(state).__name__, type(state.current_enemy()).__name__, type(state.has_turn()).__name__,
             type(result).__name__}
    assert found == {"PyState", "Enemy", "PlayerId", "GameResult"}
    for module in (corvanta, corvanta.card, corvanta.actions, corvanta.players):
        assert not found & set(dir(module))


def all_classes():
    state = first_state()
    result = corvanta.CorvantaGame([players.RandomPlayer(1)], 7).playout()
    named = [getattr(m, n) for m in (corvanta.card, corvanta.actions, corvanta.players) for n in m.__all__]
    return named + [corvanta.CorvantaGame, type(state), type(state.current_enemy()), type(state.has_turn()),
                    type(result)]


def test_classes_cannot_be_subclassed_or_changed():
    for cls in all_classes():
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})
        with pytest.raises(TypeError):
            cls.extra = 1


def test_documentation_strings():
    for cls in all_classes():
        expected = "" if cls in (players.RandomPlayer, players.InputPlayer, players.MCTSPlayer) else None
        assert cls.__doc__ == expected, cls
