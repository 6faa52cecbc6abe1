"""The seven action classes: construction, texts, comparison and refusals."""
import pytest
from conftest import ALL_ACTION_CLASSES, Card, CardSuit, CardValue, actions, c, first_state

A = actions


@pytest.mark.parametrize(
    "make, text",
    [
        (lambda: A.ActionPlay(c("SA")), "Play(♠A)"),
        (lambda: A.ActionPlay(card=c("H10")), "Play(♥10)"),
        (lambda: A.ActionAnimalCombo(c("HA"), c("C7")), "AnimalCombo(♥A, ♣7)"),
        (lambda: A.ActionAnimalCombo(c2=c("C7"), c1=c("HA")), "AnimalCombo(♥A, ♣7)"),
        (lambda: A.ActionCombo([c("S2"), c("H2")]), "Combo([♠2, ♥2])"),
        (lambda: A.ActionCombo((c("S2"), c("H2"), c("D2"), c("C2"))), "Combo([♠2, ♥2, ♦2, ♣2])"),
        (lambda: A.ActionCombo([]), "Combo([])"),
        (lambda: A.ActionYield(), "Yield"),
        (lambda: A.ActionYield(1, 2, x=3), "Yield"),
        (lambda: A.ActionDiscard([c("X"), c("DK")]), "Discard([Jester, ♦K])"),
        (lambda: A.ActionDiscard([c("SA")] * 8), "Discard([" + ", ".join(["♠A"] * 8) + "])"),
        (lambda: A.ActionChangePlayer(2), "ChangePlayer(PlayerId(2))"),
        (lambda: A.ActionChangePlayer(id=True), "ChangePlayer(PlayerId(1))"),
        (lambda: A.ActionChangePlayer(2**64 - 1), "ChangePlayer(PlayerId(18446744073709551615))"),
        (lambda: A.ActionRefillHand(), "RefillHand"),
        (lambda: A.ActionRefillHand(None, state=1), "RefillHand"),
    ],
)
def test_action_texts(make, text):
    action = make()
    assert str(action) == text
    assert repr(action) == text


@pytest.mark.parametrize(
    "a, b, eq",
    [
        (lambda: A.ActionPlay(c("SA")), lambda: A.ActionPlay(c("SA")), True),
        (lambda: A.ActionPlay(c("SA")), lambda: A.ActionPlay(c("HA")), False),
        (lambda: A.ActionAnimalCombo(c("HA"), c("S5")), lambda: A.ActionAnimalCombo(c("HA"), c("S5")), True),
        (lambda: A.ActionAnimalCombo(c("HA"), c("SA")), lambda: A.ActionAnimalCombo(c("SA"), c("HA")), False),
        (lambda: A.ActionCombo([c("S2"), c("H2")]), lambda: A.ActionCombo([c("S2"), c("H2")]), True),
        (lambda: A.ActionCombo([c("S2"), c("H2")]), lambda: A.ActionCombo([c("H2"), c("S2")]), False),
        (lambda: A.ActionCombo([c("S2")]), lambda: A.ActionCombo([c("S2"), c("S2")]), False),
        (lambda: A.ActionDiscard([c("S2"), c("H9")]), lambda: A.ActionDiscard([c("S2"), c("H9")]), True),
        (lambda: A.ActionDiscard([c("S2"), c("H9")]), lambda: A.ActionDiscard([c("H9"), c("S2")]), False),
        (lambda: A.ActionChangePlayer(1), lambda: A.ActionChangePlayer(1), True),
        (lambda: A.ActionChangePlayer(1), lambda: A.ActionChangePlayer(0), False),
        (lambda: A.ActionYield(), lambda: A.ActionYield(), True),
        (lambda: A.ActionRefillHand(), lambda: A.ActionRefillHand(), True),
    ],
)
def test_action_equality_compares_payloads_in_order(a, b, eq):
    assert (a() == b()) is eq
    assert (a() != b()) is (not eq)


def test_actions_of_different_classes_fall_back_to_identity():
    y, r = A.ActionYield(), A.ActionRefillHand()
    assert (y == r) is False and (y != r) is True
    assert y == y
    # The same cards in a Combo and a Discard are still different actions.
    assert A.ActionCombo([c("S2")]) != A.ActionDiscard([c("S2")])
    assert A.ActionPlay(c("SA")) != c("SA")


@pytest.mark.parametrize("op", ["<", "<=", ">", ">="])
@pytest.mark.parametrize("cls_index", range(7))
def test_ordering_within_a_class_is_refused(op, cls_index):
    samples = [A.ActionPlay(c("SA")), A.ActionAnimalCombo(c("SA"), c("H2")), A.ActionCombo([c("S2")]),
               A.ActionYield(), A.ActionDiscard([c("S2")]), A.ActionChangePlayer(0), A.ActionRefillHand()]
    a = samples[cls_index]
    with pytest.raises(TypeError, match="^Operation not supported$"):
        eval(f"a {op} a", {"a": a})


def test_ordering_across_classes_is_the_hosts_refusal():
    with pytest.raises(TypeError, match="'<' not supported between instances of 'ActionPlay' and 'ActionYield'"):
        A.ActionPlay(c("SA")) < A.ActionYield()  # noqa: B015


def test_actions_are_unhashable_and_have_no_payload_attributes():
    for cls in ALL_ACTION_CLASSES:
        assert cls.__hash__ is None
        assert [n for n in dir(cls) if not n.startswith("__")] == []


@pytest.mark.parametrize(
    "cls, capacity",
    [(A.ActionCombo, 4), (A.ActionDiscard, 8)],
)
def test_card_lists_beyond_capacity_are_refused(cls, capacity):
    cls([c("S2")] * capacity)
    with pytest.raises(ValueError, match=f"^{cls.__name__} holds at most {capacity} cards$"):
        cls([c("S2")] * (capacity + 1))
    with pytest.raises(ValueError):
        cls([c("S2")] * 1000)


@pytest.mark.parametrize("cls", [A.ActionCombo, A.ActionDiscard])
@pytest.mark.parametrize(
    "arg, message",
    [
        (5, "argument 'cards': 'int' object cannot be converted to 'Sequence'"),
        ({}, "argument 'cards': 'dict' object cannot be converted to 'Sequence'"),
        ((x for x in []), "argument 'cards': 'generator' object cannot be converted to 'Sequence'"),
        ([c("S2"), 3], "argument 'cards': 'int' object cannot be converted to 'Card'"),
        ("ab", "argument 'cards': 'str' object cannot be converted to 'Card'"),
        ([CardSuit.Spades], "argument 'cards': 'CardSuit' object cannot be converted to 'Card'"),
    ],
)
def test_card_list_conversion_errors(cls, arg, message):
    with pytest.raises(TypeError) as info:
        cls(arg)
    assert str(info.value) == message


def test_a_string_is_a_sequence_of_no_cards_when_empty():
    assert str(A.ActionCombo("")) == "Combo([])"


@pytest.mark.parametrize(
    "make, error, message",
    [
        (lambda: A.ActionPlay(1), TypeError, "argument 'card': 'int' object cannot be converted to 'Card'"),
        (lambda: A.ActionPlay(None), TypeError, "argument 'card': 'NoneType' object cannot be converted to 'Card'"),
        (lambda: A.ActionAnimalCombo(c("SA"), "x"), TypeError,
         "argument 'c2': 'str' object cannot be converted to 'Card'"),
        (lambda: A.ActionChangePlayer(-1), OverflowError, "can't convert negative int to unsigned"),
        (lambda: A.ActionChangePlayer(2**64), OverflowError, "int too big to convert"),
        (lambda: A.ActionChangePlayer(1.5), TypeError,
         "argument 'id': 'float' object cannot be interpreted as an integer"),
        (lambda: A.ActionChangePlayer("1"), TypeError,
         "argument 'id': 'str' object cannot be interpreted as an integer"),
        (lambda: Card(CardSuit.Spades, 1), TypeError, "argument 'value': 'int' object cannot be converted to 'CardValue'"),
        (lambda: Card(CardValue.Ace, CardValue.Ace), TypeError,
         "argument 'suit': 'CardValue' object cannot be converted to 'CardSuit'"),
    ],
)
def test_conversion_errors(make, error, message):
    with pytest.raises(error) as info:
        make()
    assert type(info.value) is error
    assert str(info.value) == message


def test_action_space_gives_new_equal_objects():
    state = first_state(seed=3)
    first, second = state.action_space(), state.action_space()
    assert first is not second
    assert len(first) == len(second) > 0
    for a, b in zip(first, second):
        assert a is not b and a == b
    assert [str(a) for a in first] == ["Play(♣5)", "Play(♥6)", "Play(♣9)", "Play(♠2)", "Play(♥9)", "Play(♥2)",
                                       "Play(♦5)", "Play(♠6)", "Combo([♠2, ♥2])", "Combo([♣5, ♦5])", "Yield",
                                       "RefillHand"]


def test_cards_of_a_sequence_object_are_read_in_order():
    class Cards:
        def __len__(self):
            return 2

        def __getitem__(self, i):
            if i >= 2:
                raise IndexError
            return [c("S3"), c("H3")][i]

    assert str(A.ActionCombo(Cards())) == "Combo([♠3, ♥3])"
    assert A.ActionCombo(Cards()) == A.ActionCombo([c("S3"), c("H3")])


def test_card_value_classes_are_exact():
    # Only instances of Card convert: an object that merely looks like one is refused.
    class Fake:
        pass

    with pytest.raises(TypeError, match="'Fake' object cannot be converted to 'Card'"):
        A.ActionPlay(Fake())
    assert Card(CardSuit.Hearts, CardValue.Ace) == c("HA")
