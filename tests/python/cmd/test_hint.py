"""The console's hint: the strong search's best moves, and mid-discard its completions."""
import re
from collections import Counter

import corvanta_lab as lab
from corvanta_lab.console import _hint


def _discard_position(players: int = 2) -> lab.Game:
    for seed in range(50):
        game = lab.Game(players, seed)
        while not game.is_over and game.phase != lab.Phase.DISCARD:
            game.apply(game.legal_actions()[-1] if game.phase == lab.Phase.PLAY_CARDS else game.legal_actions()[0])
        if not game.is_over and len(game.hands[game.current_player]) >= 3:
            return game
    raise AssertionError("no discard position")


def test_a_hint_ranks_legal_moves_of_the_strong_search():
    game = lab.Game(1, 6)
    text = _hint(game, 300)
    assert text.startswith("hint (strong search of 300 playouts):")
    rows = re.findall(r"\d\. (.+?) +visits +(\d+) +mean reward", text)
    assert len(rows) == 3 and sum(int(v) for _, v in rows) <= 300
    assert int(rows[0][1]) >= int(rows[1][1]) * 0.95


def test_mid_discard_the_hint_completes_the_cards_chosen():
    game = _discard_position()
    hand = game.hands[game.current_player]
    chosen = [min(hand, key=lambda card: card.attack)]
    text = _hint(game, 300, chosen)
    assert f"discards with {chosen[0].label}" in text
    completions = {move for move, _, _ in lab.search(game, 10, tree="information-set")
                   if not Counter([chosen[0].label]) - Counter(card.label for card in move.cards)}
    added = re.findall(r"\d\. (add .+?|just these) +visits", text)
    assert added and len(added) <= min(3, len(completions))
    for row in added:
        if row == "just these":
            continue
        cards = Counter(row[4:].split()) + Counter([chosen[0].label])
        assert any(Counter(card.label for card in move.cards) == cards for move in completions)
    # Cards no legal discard holds: more of them than the hand has.
    assert "none is legal" in _hint(game, 50, chosen * (len(hand) + 1))


def test_the_prompt_says_how_to_claim_the_win_and_offers_the_refill():
    from types import SimpleNamespace

    from corvanta_lab.console import _prompt

    fallen = SimpleNamespace(current_player=0, phase=lab.Phase.PLAY_CARDS, refills_left=1, current_enemy=None,
                             num_players=1, discard_amount=0)
    assert _prompt(fallen, []) == "P0, all 12 enemies are defeated: play any card to win, r to refill (a yield now loses) > "
    game = lab.Game(1, 3)
    assert _prompt(game, []) == "P0, play cards (e.g. 5h 5c), y to yield, r to refill, ? for help > "
    assert "r to refill" not in _prompt(lab.Game(2, 3), [])
