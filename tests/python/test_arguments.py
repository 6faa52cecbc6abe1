"""Every constructor and method reports wrong calls with the same texts."""
import corvanta
import pytest
from conftest import Card, CardSuit, CardValue, actions, c, first_state, players

A = actions


def state():
    return first_state()


CASES = [
    # Constructors
    (lambda: Card(), "Card.__new__() missing 2 required positional arguments: 'suit' and 'value'"),
    (lambda: Card(CardSuit.Spades), "Card.__new__() missing 1 required positional argument: 'value'"),
    (lambda: Card(value=CardValue.Ace), "Card.__new__() missing 1 required positional argument: 'suit'"),
    (lambda: Card(CardSuit.Spades, CardValue.Ace, 1), "Card.__new__() takes 2 positional arguments but 3 were given"),
    (lambda: Card(CardSuit.Spades, suit=CardSuit.Spades),
     "Card.__new__() got multiple values for argument 'suit'"),
    (lambda: Card(CardSuit.Spades, CardValue.Ace, colour=1),
     "Card.__new__() got an unexpected keyword argument 'colour'"),
    (lambda: Card(CardSuit.Spades, colour=1, suit=CardSuit.Spades),  # the repeated one is named first
     "Card.__new__() got multiple values for argument 'suit'"),
    (lambda: Card(colour=1, value=CardValue.Ace), "Card.__new__() got an unexpected keyword argument 'colour'"),
    (lambda: A.ActionPlay(), "ActionPlay.__new__() missing 1 required positional argument: 'card'"),
    (lambda: A.ActionPlay(c("SA"), c("SA")), "ActionPlay.__new__() takes 1 positional arguments but 2 were given"),
    (lambda: A.ActionPlay(x=1), "ActionPlay.__new__() got an unexpected keyword argument 'x'"),
    (lambda: A.ActionAnimalCombo(c("SA")), "ActionAnimalCombo.__new__() missing 1 required positional argument: 'c2'"),
    (lambda: A.ActionCombo(), "ActionCombo.__new__() missing 1 required positional argument: 'cards'"),
    (lambda: A.ActionDiscard([], cards=[]), "ActionDiscard.__new__() got multiple values for argument 'cards'"),
    (lambda: A.ActionChangePlayer(), "ActionChangePlayer.__new__() missing 1 required positional argument: 'id'"),
    (lambda: A.ActionChangePlayer(1, 2), "ActionChangePlayer.__new__() takes 1 positional arguments but 2 were given"),
    (lambda: players.RandomPlayer(1, 2), "RandomPlayer.__new__() takes from 0 to 1 positional arguments but 2 were given"),
    (lambda: players.RandomPlayer(sed=1), "RandomPlayer.__new__() got an unexpected keyword argument 'sed'"),
    (lambda: players.InputPlayer(1), "InputPlayer.__new__() takes 0 positional arguments but 1 was given"),
    (lambda: players.InputPlayer(x=1), "InputPlayer.__new__() got an unexpected keyword argument 'x'"),
    (lambda: corvanta.CorvantaGame(), "CorvantaGame.__new__() missing 1 required positional argument: 'players'"),
    (lambda: corvanta.CorvantaGame(seed=1), "CorvantaGame.__new__() missing 1 required positional argument: 'players'"),
    (lambda: corvanta.CorvantaGame([], 1, 2),
     "CorvantaGame.__new__() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda: corvanta.CorvantaGame([], players=[]), "CorvantaGame.__new__() got multiple values for argument 'players'"),
    (lambda: corvanta.CorvantaGame([], 1, seed=1), "CorvantaGame.__new__() got multiple values for argument 'seed'"),
    (lambda: corvanta.CorvantaGame([], x=1), "CorvantaGame.__new__() got an unexpected keyword argument 'x'"),
    # Methods
    (lambda: players.RandomPlayer(1).play(), "RandomPlayer.play() missing 1 required positional argument: 'state'"),
    (lambda: players.RandomPlayer(1).play(state(), state()),
     "RandomPlayer.play() takes 1 positional arguments but 2 were given"),
    (lambda: players.RandomPlayer(1).play(stat=state()), "RandomPlayer.play() got an unexpected keyword argument 'stat'"),
    (lambda: players.RandomPlayer(1).play(1), "argument 'state': 'int' object cannot be converted to 'PyState'"),
    (lambda: state().action_space(1), "PyState.action_space() takes 0 positional arguments but 1 was given"),
    (lambda: state().has_turn(1, 2), "PyState.has_turn() takes 0 positional arguments but 2 were given"),
    (lambda: state().current_hand(x=1), "PyState.current_hand() got an unexpected keyword argument 'x'"),
    (lambda: state().reward(None), "PyState.reward() takes 0 positional arguments but 1 was given"),
    (lambda: state().current_enemy(a=1), "PyState.current_enemy() got an unexpected keyword argument 'a'"),
    (lambda: CardSuit.all(1), "CardSuit.all() takes 0 positional arguments but 1 was given"),
    (lambda: CardValue.numbers(x=1), "CardValue.numbers() got an unexpected keyword argument 'x'"),
    (lambda: CardValue.royals(1), "CardValue.royals() takes 0 positional arguments but 1 was given"),
    (lambda: corvanta.CorvantaGame([players.RandomPlayer()]).playout(1),
     "CorvantaGame.playout() takes 0 positional arguments but 1 was given"),
    (lambda: corvanta.CorvantaGame([players.RandomPlayer()]).print(x=1),
     "CorvantaGame.print() got an unexpected keyword argument 'x'"),
    (lambda: corvanta.CorvantaGame([players.RandomPlayer()]).reward(1, 2, 3),
     "CorvantaGame.reward() takes 0 positional arguments but 3 were given"),
    # Argument conversions
    (lambda: corvanta.CorvantaGame(5), "argument 'players': 'int' object cannot be converted to 'Sequence'"),
    (lambda: corvanta.CorvantaGame({}), "argument 'players': 'dict' object cannot be converted to 'Sequence'"),
    (lambda: corvanta.CorvantaGame(p for p in []),
     "argument 'players': 'generator' object cannot be converted to 'Sequence'"),
    (lambda: corvanta.CorvantaGame([1], seed="1"), "argument 'seed': 'str' object cannot be interpreted as an integer"),
    (lambda: corvanta.CorvantaGame([1], 1.0), "argument 'seed': 'float' object cannot be interpreted as an integer"),
    (lambda: players.RandomPlayer("x"), "argument 'seed': 'str' object cannot be interpreted as an integer"),
]


@pytest.mark.parametrize("call, message", CASES, ids=[m[:60] for _, m in CASES])
def test_argument_error_texts(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert type(info.value) is TypeError
    assert str(info.value) == message


@pytest.mark.parametrize(
    "call",
    [lambda: corvanta.CorvantaGame([1], -1), lambda: corvanta.CorvantaGame([1], 2**64),
     lambda: players.RandomPlayer(-5), lambda: players.RandomPlayer(seed=2**70)],
)
def test_integer_range_errors_pass_unchanged(call):
    with pytest.raises(OverflowError) as info:
        call()
    assert not str(info.value).startswith("argument")


@pytest.mark.parametrize("count", [0, 5, 6])
def test_only_one_to_four_seats(count):
    with pytest.raises(ValueError, match="^Only 1-4 players are allowed$"):
        corvanta.CorvantaGame([players.RandomPlayer(1)] * count, 1)


def test_accepted_integer_forms():
    class Seed:
        def __index__(self):
            return 7

    a = corvanta.CorvantaGame([players.RandomPlayer(True)], Seed()).playout()
    b = corvanta.CorvantaGame([players.RandomPlayer(1)], 7).playout()
    assert a == b
    corvanta.CorvantaGame([players.RandomPlayer(None)], None)
    corvanta.CorvantaGame(players=[players.RandomPlayer(seed=2**64 - 1)], seed=2**64 - 1)
