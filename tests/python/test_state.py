"""PyState: the read-only snapshot a Python player receives."""
import pytest
from conftest import Card, first_state


def test_display_text_of_the_first_state_of_seed_3():
    state = first_state(seed=3)
    assert str(state) == ("Player: PlayerId(0)\n"
                          "Hand:   [♣5, ♥6, ♣9, ♠2, ♥9, ♥2, ♦5, ♠6]\n"
                          "Enemy:  Some(Enemy { card: ♥J, health: 20, attack: 10, jester_applied: false })")
    assert repr(state).startswith("<PyState object at 0x")


@pytest.mark.parametrize("count, hand_size", [(1, 8), (2, 7), (3, 6), (4, 5)])
def test_hands_by_player_count(count, hand_size):
    state = first_state(count, seed=10)
    hand = state.current_hand()
    assert len(hand) == hand_size
    assert all(type(card) is Card for card in hand)
    assert str(state).split("\n")[1] == "Hand:   [" + ", ".join(str(card) for card in hand) + "]"


def test_methods_return_new_independent_objects():
    state = first_state(seed=3)
    hand = state.current_hand()
    hand.clear()
    assert len(state.current_hand()) == 8
    assert state.current_hand()[0] is not state.current_hand()[0]
    assert state.current_hand()[0] == state.current_hand()[0]
    assert state.has_turn() is not state.has_turn()
    assert state.reward() == 0 and type(state.reward()) is int
    assert str(state.current_enemy()) == "Enemy { card: ♥J, health: 20, attack: 10, jester_applied: false }"


def test_state_has_no_other_attributes_and_no_equality():
    state = first_state(seed=3)
    names = sorted(n for n in dir(state) if not n.startswith("__"))
    assert names == ["action_space", "current_enemy", "current_hand", "has_turn", "reward"]
    other = first_state(seed=3)
    assert state != other and state == state
    with pytest.raises(AttributeError):
        state.level = 3
