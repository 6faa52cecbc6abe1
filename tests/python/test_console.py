"""The console player's dialogue, driven in a child interpreter through its standard input."""
import pytest
from conftest import first_state, run_python

# One seat, seed 3: the console player chooses until its input ends.
SCRIPT = """
import corvanta, sys
game = corvanta.CorvantaGame([corvanta.players.InputPlayer()], 3)
try:
    game.playout()
except Exception as e:
    print("\\n# ordinary exception", type(e).__name__)
except BaseException as e:
    sys.stdout.flush()
    print("\\n# " + type(e).__name__, [b.__name__ for b in type(e).__bases__], repr(e.args))
"""

PANIC_EOF = "\n# PanicException ['BaseException'] ('Error reading input.: end of input reached',)\n"


def header(state):
    """The dialogue's opening block for a state, as the console player prints it."""
    enemy = str(state.current_enemy())
    fields = enemy[len("Enemy { "):-len(" }")].split(", ")
    enemy_block = "Some(\n    Enemy {\n" + "".join(f"        {f},\n" for f in fields) + "    },\n)"
    listing = "".join(f"\n{k}: {a}" for k, a in enumerate(state.action_space()))
    player = str(state).split("\n")[0][len("Player: "):]
    return ("=" * 60 + "\n" + f"Current player: {player}\n" + "Current enemy: \n\n" + enemy_block + "\n\n"
            + "Available actions are: \n " + listing + " \n\n" + "Type number to select an action:\n")


def second_state(choice):
    """The state after the first player of seed 3 took action number `choice`."""
    import corvanta

    seen = []

    class Pick:
        def play(self, state):
            seen.append(state)
            if len(seen) == 2:
                raise StopIteration
            return state.action_space()[choice]

    with pytest.raises(StopIteration):
        corvanta.CorvantaGame([Pick()], 3).playout()
    return seen[1]


def dialogue(stdin):
    done = run_python(SCRIPT, stdin=stdin, env_changes={"NO_COLOR": "1"})
    assert done.returncode == 0, done.stderr
    return done.stdout.decode()


@pytest.mark.parametrize("answer", [b"2\n", b" 2 \n", b"+2\n", b"\t+2\r\n", b"2"])
def test_a_number_selects_that_action(answer):
    out = dialogue(answer)
    assert out == header(first_state(seed=3)) + header(second_state(2)) + PANIC_EOF


def test_the_action_list_ends_its_last_line_with_a_blank():
    out = dialogue(b"")
    assert "\n11: RefillHand \n\nType number to select an action:\n" in out


@pytest.mark.parametrize(
    "line, shown",
    [
        (b"2.0\n", r'"2.0\n"'),
        (b"-1\n", r'"-1\n"'),
        (b"two\n", r'"two\n"'),
        (b"\n", r'"\n"'),
        (b"  \t\n", r'"  \t\n"'),
        (b"say \"1\"\n", r'"say \"1\"\n"'),
        ("caf\u00e9 \u2660\n".encode(), '"caf\u00e9 \u2660\\n"'),
        (b"1\x01\n", r'"1\u{1}\n"'),
        (b"18446744073709551616\n", r'"18446744073709551616\n"'),
    ],
)
def test_a_line_that_is_no_number_is_shown_back(line, shown):
    out = dialogue(line + b"0\n")
    expected = header(first_state(seed=3)) + f"Failed to parse input {shown}. Please try again!\n"
    assert out == expected + header(second_state(0)) + PANIC_EOF


@pytest.mark.parametrize("number", [b"12\n", b"18446744073709551615\n"])
def test_a_number_outside_the_list_is_refused(number):
    out = dialogue(number + b"11\n")
    expected = header(first_state(seed=3)) + "Could not match input with any action. Please try again!\n"
    assert out == expected + header(second_state(11)) + PANIC_EOF


def test_end_of_input_ends_the_call_with_panic_exception():
    assert dialogue(b"") == header(first_state(seed=3)) + PANIC_EOF
    assert dialogue(b"x\n").endswith("Please try again!\n" + PANIC_EOF)


def test_a_line_that_is_not_utf8_is_a_failed_read():
    out = dialogue(b"\xff\xfe\n0\n")
    assert out == header(first_state(seed=3)) + (
        "\n# PanicException ['BaseException'] ('Error reading input.: stream did not contain valid UTF-8',)\n")
