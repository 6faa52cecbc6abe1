"""The page in a real headless chromium (the system's, through Playwright: nothing is downloaded):
a whole seeded game as a person with search partners, through a jester, a discard and the end,
then watching it; and a logged game uploaded, stepped through and searched again."""
import json
import os
import re
import shutil

import pytest

sync_api = pytest.importorskip("playwright.sync_api")

import corvanta_lab as lab  # noqa: E402
from corvanta_lab.match import play_game  # noqa: E402
from corvanta_lab.moves import parse_move, replayed  # noqa: E402
from corvanta_lab.seats import parse_seat  # noqa: E402

CHROMIUM = os.environ.get("CORVANTA_CHROMIUM") or shutil.which("chromium") or shutil.which("chromium-browser")
pytestmark = [
    pytest.mark.skipif(CHROMIUM is None, reason="no chromium executable (Debian's chromium package)"),
    # The pass over the sanitizer build preloads its runtime into every process it starts, the
    # browser and Playwright's driver included, which are not built for it.
    pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""), reason="not under the sanitizer preload"),
]


def _opening():
    """A three-player seed whose first player, P0, holds a jester; plays it, hands the turn to
    itself, plays its lowest card and must then discard, and can. Found with the engine, so the
    page's game follows the same path whatever the partners would do later."""
    for seed in range(200):
        game = lab.Game(3, seed)
        if game.current_player != 0 or not any(card.is_jester for card in game.hands[0]):
            continue
        game.apply(parse_move(game, "Jk"))
        game.apply(parse_move(game, "0"))
        lowest = game.sorted_hand(0)[0]
        game.apply(parse_move(game, lowest.label))
        if game.phase == lab.Phase.DISCARD and sum(card.attack for card in game.hands[0]) >= game.discard_amount:
            return seed, lowest.label, game.discard_amount
    raise AssertionError("no seed opens with a jester and a discard")


@pytest.fixture
def page():
    with sync_api.sync_playwright() as playwright:
        browser = playwright.chromium.launch(executable_path=CHROMIUM, headless=True)
        try:
            page = browser.new_page(viewport={"width": 1100, "height": 900})
            page.set_default_timeout(30_000)
            yield page
        finally:
            browser.close()


def _open(page, base):
    page.goto(base)
    page.wait_for_selector("body[data-ready]")


def _your_move_or_end(page):
    page.wait_for_function("() => !document.getElementById('ending').hidden"
                           " || document.getElementById('status').textContent.endsWith('your move')")
    return page.is_visible("#ending")


def _hand(page):
    return page.locator("#hand button.card")


def _then(page, button):
    """Clicks ``button`` and waits for the page to show the game moved on (each move is a turn,
    and the status names the turn)."""
    before = page.inner_text("#status")
    page.click(button)
    page.wait_for_function("before => document.getElementById('status').textContent !== before", arg=before)


def _discard_enough(page):
    """Selects cards from the lowest until the running total covers the attack, then discards."""
    for i in range(_hand(page).count()):
        chosen, needed = map(int, re.search(r"chosen (\d+) of (\d+)", page.inner_text("#total")).groups())
        if chosen >= needed:
            break
        _hand(page).nth(i).click()
        page.wait_for_function(f"() => !document.getElementById('total').textContent.includes('chosen {chosen} of')")
    _then(page, "#play")


def test_a_whole_seeded_game_as_a_person_with_search_partners(base, page, tmp_path, capsys):
    seed, lowest, attack = _opening()
    _open(page, base)
    page.select_option("#players", "3")
    page.fill("#seat-0", "human")
    page.fill("#seat-1", "mcts:30")
    page.fill("#seat-2", "mcts:30")
    page.fill("#seed", str(seed))
    page.click("#start")
    assert not _your_move_or_end(page)
    assert page.inner_text("#status").startswith(f"Seed {seed} · turn 1 · P0")

    # An illegal selection is explained in one line, as the console explains a typed one.
    labels = [_hand(page).nth(i).get_attribute("data-label") for i in range(_hand(page).count())]
    jester, other = labels.index("Jk"), labels.index(lowest)
    _hand(page).nth(jester).click()
    _hand(page).nth(other).click()
    page.wait_for_function("() => document.getElementById('reason').textContent === 'the jester is played alone'")
    page.click("#clear")
    _hand(page).nth(jester).click()
    page.click("#play")

    # The jester's choice: P0 hands the turn to itself.
    page.wait_for_selector("#jester button[data-seat='0']")
    assert page.locator("#jester button").count() == 3
    assert "immunity cancelled by the jester" in page.inner_text("#enemy")
    page.click("#jester button[data-seat='0']")
    page.wait_for_function("() => document.getElementById('jester').hidden")
    page.click(f"#hand button.card[data-label='{lowest}']")
    page.click("#play")

    # The strike back: a running total against the attack, a too-small discard explained, a hint.
    page.wait_for_function("() => document.getElementById('total').textContent.startsWith('Discard: chosen 0 of')")
    assert page.inner_text("#total") == f"Discard: chosen 0 of {attack}"
    first = _hand(page).nth(0)
    worth = int(first.inner_text().split()[-1])
    first.click()
    if worth < attack:
        page.wait_for_function("() => document.getElementById('reason').textContent.includes('discard at least')")
        assert page.inner_text("#reason").endswith(f"is worth {worth}: discard at least {attack}")
    page.click("#hint")
    page.wait_for_selector("#hint-bars .bar")
    assert "discards with" in page.inner_text("#hint-title")
    bars = page.inner_text("#hint-bars")
    assert re.search(r"visits \d+ · mean level \d+\.\d\d", bars)
    assert page.inner_text("#hint-cancel") == "Close"  # the search is over: nothing left to cancel
    screenshot = tmp_path / "play.png"
    page.screenshot(path=str(screenshot))
    with capsys.disabled():  # shown in the test command's output, not captured
        print(f"\nscreenshot of the play screen: {screenshot}")
    assert screenshot.stat().st_size > 10_000
    _discard_enough(page)

    # The rest of the game: partners' moves appear; the person plays its lowest card each turn.
    for _ in range(300):
        if _your_move_or_end(page):
            break
        if page.is_visible("#jester"):
            _then(page, "#jester button >> nth=0")
        elif page.inner_text("#total").startswith("Discard"):
            _discard_enough(page)
        elif _hand(page).count() == 0:
            _then(page, "#yield")
        else:
            _hand(page).nth(0).click()
            _then(page, "#play")
    ending = page.inner_text("#ending-text")
    assert re.fullmatch(r"You (won: all 12 enemies defeated|lost at level \d+: \d+ of 12 enemies defeated) "
                        r"in \d+ turns\.", ending), ending
    moves = page.locator("#events li").all_inner_texts()
    assert moves[0].startswith("P0 played Jk") and moves[1] == "P0 chose P0 to act next"
    assert any(move.startswith("P1 ") for move in moves) and any(move.startswith("P2 ") for move in moves)

    # The game just played, watched: forward and back through its moves.
    page.click("#watch-this")
    page.wait_for_selector("#watch-board:not([hidden])")
    assert page.inner_text("#step-label") == f"position 0 of {len(moves)}"
    assert page.inner_text("#step-said") == f"Move 1: {moves[0]}"
    page.click("#step-next")
    assert page.inner_text("#step-said") == "Move 2: P0 chose P0 to act next"
    page.click("#step-prev")
    assert page.inner_text("#step-label") == f"position 0 of {len(moves)}"
    page.click("#step-last")
    # The same outcome, said of the team as a replay says it.
    assert page.inner_text("#step-said").endswith(ending.removeprefix("You "))


def test_a_logged_game_uploaded_stepped_through_and_searched_again(base, page, tmp_path):
    seats = [parse_seat("mcts:20"), parse_seat("random")]
    record = play_game(seats, 11, log_actions=True)
    log = tmp_path / "games.jsonl"
    log.write_text(json.dumps(record) + "\n")
    steps = list(replayed(2, 11, record["actions"]))

    _open(page, base)
    page.click("#tab-watch")
    page.set_input_files("#watch-file", str(log))
    page.wait_for_selector("#watch-board:not([hidden])")
    assert f"seed 11 · mcts:20, random · {record['result']}" in page.inner_text("#watch-game")
    for step in (1, 2):
        page.click("#step-next")
        assert page.inner_text("#step-label") == f"position {step} of {len(steps)}"
    page.keyboard.press("ArrowLeft")
    assert page.inner_text("#step-label") == f"position 1 of {len(steps)}"
    before, action, _ = steps[1]
    # The position at that step: the hands of every seat, as the game had them.
    for seat in range(2):
        shown = page.locator("#watch-hands .seat").nth(seat).locator(".card").evaluate_all(
            "cards => cards.map(card => card.dataset.label)")
        assert shown == [card.label for card in before.sorted_hand(seat)]

    # A position where the search played: its ranking, run again, as a bar chart.
    mcts_step = next(i for i, (position, _, _) in enumerate(steps) if position.current_player == 0)
    page.fill("#step-range", str(mcts_step))
    page.dispatch_event("#step-range", "input")
    assert page.inner_text("#search-note").startswith("P0 played by mcts:20")
    page.fill("#search-playouts", "40")
    page.click("#search-here")
    page.wait_for_selector("#ranking .bar")
    visits = [int(v) for v in re.findall(r"visits (\d+)", page.inner_text("#ranking"))]
    assert visits and 0 < sum(visits) <= 40 and visits == sorted(visits, reverse=True)
    assert page.locator("#ranking .move").count() == len(visits)

    # A random seat's move has no search to run again.
    random_step = next((i for i, (position, _, _) in enumerate(steps) if position.current_player == 1), None)
    if random_step is not None:
        page.fill("#step-range", str(random_step))
        page.dispatch_event("#step-range", "input")
        assert page.is_disabled("#search-here")
