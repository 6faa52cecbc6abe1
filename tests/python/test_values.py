"""Card, CardSuit, CardValue, Enemy, PlayerId and GameResult as Python sees them."""
import corvanta
import pytest
from conftest import Card, CardSuit, CardValue, c, first_state, players

SUITS = ["Spades", "Hearts", "Diamonds", "Clubs", "None"]
VALUES = ["Jester", "Ace", "Two", "Three", "Four", "Five", "Six", "Seven", "Eight", "Nine", "Ten", "Jack", "Queen",
          "King"]


def result_type():
    return type(corvanta.CorvantaGame([players.RandomPlayer(1)], 7).playout())


@pytest.mark.parametrize("cls, names", [(CardSuit, SUITS), (CardValue, VALUES)])
def test_enum_members_have_their_values_and_reprs(cls, names):
    for value, name in enumerate(names):
        member = getattr(cls, name)
        assert int(member) == value
        assert repr(member) == str(member) == f"{cls.__name__}.{name}"
        assert member == value
        assert getattr(cls, name) is member


def test_game_result_members():
    cls = result_type()
    assert cls.__name__ == "GameResult"
    assert repr(cls.Won) == "PyGameResult.Won" and repr(cls.Lost) == "PyGameResult.Lost"
    assert int(cls.Won) == 0 and int(cls.Lost) == 1


@pytest.mark.parametrize(
    "expr, expected",
    [
        (lambda: CardSuit.Hearts == 1, True),
        (lambda: CardSuit.Clubs == True, False),  # noqa: E712
        (lambda: CardSuit.Hearts == True, True),  # noqa: E712
        (lambda: CardValue.King == 13, True),
        (lambda: CardValue.King == 2**70, None),  # an integer beyond the machine range is no member
        (lambda: CardSuit.all()[0] == CardSuit.Spades, True),
        (lambda: CardSuit.all()[0] != CardSuit.Spades, True),  # != falls back to identity
        (lambda: CardSuit.Spades != CardSuit.Spades, False),
        (lambda: CardSuit.Spades == CardSuit.Hearts, False),
        (lambda: 1 == CardSuit.Hearts, True),
    ],
)
def test_enum_equality(expr, expected):
    if expected is None:
        with pytest.raises(TypeError, match="^'int' object cannot be converted to 'CardValue'$"):
            expr()
    else:
        assert expr() is expected


@pytest.mark.parametrize(
    "other, type_name, target",
    [(CardValue.Jester, "CardValue", "CardSuit"), ("Spades", "str", "CardSuit"), (None, "NoneType", "CardSuit"),
     (1.0, "float", "CardSuit")],
)
def test_enum_equality_refuses_other_objects(other, type_name, target):
    with pytest.raises(TypeError) as info:
        CardSuit.Spades == other  # noqa: B015
    assert str(info.value) == f"'{type_name}' object cannot be converted to '{target}'"


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        if isinstance(self.value, type):
            raise self.value("from __index__")
        return self.value


def test_enum_equality_with_an_index_object():
    assert CardValue.Two == Index(2)
    with pytest.raises(TypeError, match="^'Index' object cannot be converted to 'CardValue'$"):
        CardValue.Two == Index(TypeError)  # noqa: B015


@pytest.mark.parametrize("error", [ValueError, KeyboardInterrupt, MemoryError])
def test_enum_equality_lets_other_index_errors_through(error):
    with pytest.raises(error, match="^from __index__$"):
        CardValue.Two == Index(error)  # noqa: B015


@pytest.mark.parametrize("op", ["<", "<=", ">", ">="])
def test_enum_ordering_is_the_hosts_refusal(op):
    with pytest.raises(TypeError, match="not supported between instances of 'CardSuit' and 'CardSuit'"):
        eval(f"a {op} b", {"a": CardSuit.Spades, "b": CardSuit.Hearts})


def test_enum_static_lists_are_new_objects():
    assert [repr(s) for s in CardSuit.all()] == [f"CardSuit.{n}" for n in SUITS[:4]]
    assert [repr(v) for v in CardValue.numbers()] == [f"CardValue.{n}" for n in VALUES[1:11]]
    assert [repr(v) for v in CardValue.royals()] == ["CardValue.King", "CardValue.Queen", "CardValue.Jack"]
    assert CardSuit.all()[0] is not CardSuit.Spades
    assert CardSuit.all() is not CardSuit.all()


def test_enums_are_not_indices_or_hashable():
    with pytest.raises(TypeError):
        [1, 2][CardSuit.Hearts]
    for obj in (CardSuit.Spades, CardValue.Ace, Card(CardSuit.Spades, CardValue.Ace)):
        with pytest.raises(TypeError, match="unhashable"):
            hash(obj)


@pytest.mark.parametrize(
    "code, text",
    [("SA", "♠A"), ("H10", "♥10"), ("D10", "♦10"), ("CK", "♣K"), ("X", "Jester"), ("SQ", "♠Q")],
)
def test_card_text(code, text):
    assert str(c(code)) == text
    assert repr(c(code)).startswith("<Card object at 0x")


def test_card_of_any_suit_and_value():
    odd = Card(getattr(CardSuit, "None"), CardValue.Ace)
    assert str(odd) == "A"
    assert odd == Card(getattr(CardSuit, "None"), CardValue.Ace)
    assert Card(value=CardValue.Two, suit=CardSuit.Clubs) == c("C2")


@pytest.mark.parametrize(
    "a, b, eq",
    [("SA", "SA", True), ("SA", "HA", False), ("SA", "S2", False), ("X", "X", True)],
)
def test_card_equality(a, b, eq):
    assert (c(a) == c(b)) is eq
    assert (c(a) != c(b)) is (not eq)


@pytest.mark.parametrize("op", ["<", "<=", ">", ">="])
def test_card_ordering_is_refused(op):
    with pytest.raises(TypeError, match="^Operation not supported$"):
        eval(f"a {op} b", {"a": c("SA"), "b": c("S2")})


def test_card_against_other_objects_falls_back():
    card = c("SA")
    assert (card == 1) is False and (card != 1) is True
    assert card == card and not (card == c("S2"))
    with pytest.raises(TypeError, match="not supported between instances of 'Card' and 'int'"):
        card < 1  # noqa: B015


def test_card_has_no_readable_fields():
    card = c("SA")
    for name in ("suit", "value"):
        assert not hasattr(card, name)


def test_enemy_and_player_id():
    state = first_state(seed=3)
    enemy = state.current_enemy()
    assert str(enemy) == "Enemy { card: ♥J, health: 20, attack: 10, jester_applied: false }"
    assert repr(enemy).startswith("<Enemy object at 0x")
    other = state.current_enemy()
    assert other is not enemy and other != enemy and enemy == enemy
    pid = state.has_turn()
    assert repr(pid).startswith("<PlayerId object at 0x") and str(pid) == repr(pid)
    assert not [n for n in dir(pid) if not n.startswith("__")]


def test_game_result_of_a_game():
    result = corvanta.CorvantaGame([players.RandomPlayer(1)], 7).playout()
    cls = type(result)
    assert result == 1 and result == cls.Lost and result is not cls.Lost
    assert not (result == 0) and not (result == cls.Won)
    assert repr(result) == "PyGameResult.Lost"
    with pytest.raises(TypeError, match="'str' object cannot be converted to 'GameResult'"):
        result == "Lost"  # noqa: B015


@pytest.mark.parametrize(
    "make",
    [lambda: CardSuit(), lambda: CardValue(0), lambda: result_type()(),
     lambda: type(first_state().current_enemy())(), lambda: type(first_state().has_turn())(),
     lambda: type(first_state())()],
)
def test_classes_without_constructor(make):
    with pytest.raises(TypeError, match="^No constructor defined$"):
        make()
