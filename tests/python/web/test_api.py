"""The JSON routes under hostile use: wrong ids, malformed and huge bodies, illegal and stale
moves, floods of new games. Each gets a 4xx (or 429) with a one-line reason, never a 500 or a
traceback, and the server keeps serving."""
import asyncio
import json
import sys
import time

import httpx
import pytest

import corvanta_lab as lab
from corvanta_lab.match import play_game
from corvanta_lab.seats import parse_seat
from corvanta_lab.web import Settings

from .serving import running


def refused(response, status, reason=""):
    """``response`` is a clean refusal: ``status``, JSON, one line holding ``reason``."""
    assert response.status_code == status, response.text
    assert response.headers["content-type"] == "application/json"
    error = response.json()["error"]
    assert "Traceback" not in error and "\n" not in error and reason in error, error
    return error


def new_game(client, seats=("human", "random"), seed=7, **more):
    response = client.post("/api/games", json={"seats": list(seats), "seed": seed, **more})
    assert response.status_code == 201, response.text
    return response.json()


@pytest.fixture
def client(base):
    with httpx.Client(base_url=base, timeout=30) as client:
        yield client


def test_unknown_ids_and_routes_are_404(client):
    game = new_game(client)
    refused(client.get("/api/games/nosuchgame"), 404, "no game has that id")
    refused(client.get("/api/games/..%2F..%2Fetc"), 404)
    refused(client.post("/api/games/" + "x" * 200 + "/moves", json={"turn": 0, "move": "y"}), 404)
    refused(client.get("/api/watch/nosuchfile/games/0"), 404, "no watched file has that id")
    refused(client.get("/api/nothing"), 404)
    refused(client.put(f"/api/games/{game['id']}/moves"), 405)


def test_malformed_bodies_get_400_or_422_with_the_reason(client):
    refused(client.post("/api/games", content=b"{not json"), 400, "not JSON")
    refused(client.post("/api/games", content=b"\xff\xfe"), 400, "not JSON")
    refused(client.post("/api/games", content=b"[" * 100_00 + b"]" * 100_00), 413)
    refused(client.post("/api/games", json=[1, 2]), 400, "a JSON list, not an object")
    refused(client.post("/api/games", json={"seats": "human"}), 422, "seats must be a list")
    refused(client.post("/api/games", json={"seats": []}), 422)
    refused(client.post("/api/games", json={"seats": ["human"] * 5}), 422)
    refused(client.post("/api/games", json={"seats": ["human", 3]}), 422)
    refused(client.post("/api/games", json={"seats": ["human"], "players": 2}), 422, "players is 2 but 1 seats")
    refused(client.post("/api/games", json={"seats": ["human"], "seed": -1}), 422, "seed must lie in")
    refused(client.post("/api/games", json={"seats": ["human"], "seed": 2**64}), 422, "seed must lie in")
    refused(client.post("/api/games", json={"seats": ["human"], "seed": True}), 422, "seed must be a whole number")
    refused(client.post("/api/games", json={"seats": ["mcts:abc"]}), 422, "PLAYOUTS must be a whole number")
    refused(client.post("/api/games", json={"seats": ["mcts:1000000"]}), 422, "at most 20000 playouts")
    refused(client.post("/api/games", json={"seats": ["clairvoyant:10"]}), 422, "choose human, random")
    game = new_game(client)
    moves = f"/api/games/{game['id']}/moves"
    refused(client.post(moves, json={"move": "y"}), 422, "turn must be a whole number")
    refused(client.post(moves, json={"turn": "0", "move": "y"}), 422, "turn must be a whole number")
    refused(client.post(moves, json={"turn": 0, "move": ["y"]}), 422, "move must be a string")
    refused(client.post(moves, json={"turn": 0, "move": "5h " * 100}), 422, "longer than 200")


def test_no_seat_from_a_page_imports_anything(client, tmp_path, monkeypatch):
    # A module that leaves a mark when imported, on the server's import path.
    (tmp_path / "marks_its_import.py").write_text(
        f"open({str(tmp_path / 'imported')!r}, 'w').close()\ndef player(seed): ...\n")
    monkeypatch.syspath_prepend(str(tmp_path))
    refused(client.post("/api/games", json={"seats": ["human", "marks_its_import:player"]}), 422,
            "module:callable, are for the command line")
    log = tmp_path / "log.jsonl"
    record = play_game([parse_seat("random")], 1, log_actions=True)
    log.write_text(json.dumps({**record, "seats": ["marks_its_import:player"]}) + "\n")
    watched = client.post("/api/watch", content=log.read_bytes())
    assert watched.status_code == 201
    refused(client.post(f"/api/watch/{watched.json()['id']}/games/0/search", json={"step": 0}), 422,
            "did not play by a search")
    assert not (tmp_path / "imported").exists() and "marks_its_import" not in sys.modules


def test_huge_bodies_are_cut_off_with_413(client):
    game = new_game(client)
    refused(client.post("/api/games", content=b"{" + b" " * 10_000_000 + b"}"), 413, "more than the 8192 this request takes")

    def chunks():  # no Content-Length: the limit holds as the body streams in
        for _ in range(100):
            yield b" " * 100_000

    refused(client.post(f"/api/games/{game['id']}/moves", content=chunks()), 413)
    refused(client.post("/api/watch", content=b"x" * (4 * 1024 * 1024 + 1)), 413)
    assert client.get(f"/api/games/{game['id']}").status_code == 200


def test_illegal_and_stale_moves_are_refused_with_the_consoles_reason(client):
    game = new_game(client, seed=3)
    moves, check = f"/api/games/{game['id']}/moves", f"/api/games/{game['id']}/check"
    hand = [card["label"] for card in game["seats"][0]["hand"]]
    absent = next(label for label in ("Ks", "Kh", "10s", "10h") if label not in hand)
    refused(client.post(moves, json={"turn": 0, "move": absent}), 422, f"you have no {absent}")
    refused(client.post(moves, json={"turn": 0, "move": "zz"}), 422, "'zz' is not a card")
    refused(client.post(moves, json={"turn": 0, "move": "1"}), 422, "a seat number answers a jester only")
    two_values = [label for label in hand if not label.startswith("A")][:1] + [hand[-1]]
    assert client.post(check, json={"turn": 0, "move": " ".join(two_values)}).json() == {
        "legal": False, "reason": "cards played together share one value (or are an Ace with one other card)"}
    assert client.post(check, json={"turn": 0, "move": hand[0]}).json() == {"legal": True, "reason": None}
    refused(client.post(moves, json={"turn": 5, "move": hand[0]}), 409, "stale: the game is at turn 0, not 5")
    played = client.post(moves, json={"turn": 0, "move": hand[0]})
    assert played.status_code == 200 and played.json()["events"][0]["text"].startswith(f"P0 played {hand[0]}")
    # The same move again is stale, whatever happened since.
    refused(client.post(moves, json={"turn": 0, "move": hand[0]}), 409, "stale")


def test_a_move_while_a_partner_acts_or_after_the_end_is_refused(client):
    game = new_game(client, seats=("random", "human"), seed=4)
    # Random partners barely pause: P0 moves, and only then is it P1's turn.
    refused(client.post(f"/api/games/{game['id']}/moves", json={"turn": 0, "move": "y"}), 409, "P0 (random) is to act")
    view = game
    for _ in range(400):
        view = client.get(f"/api/games/{game['id']}").json()
        if view["over"]:
            break
        if view["your_turn"]:
            move = "y" if view["moves"]["yield"] else view["seats"][1]["hand"][-1]["label"]
            if view["phase"] == "jester":
                move = "1"
            elif view["phase"] == "discard":
                move = " ".join(card["label"] for card in view["seats"][1]["hand"])
            client.post(f"/api/games/{game['id']}/moves", json={"turn": view["turn"], "move": move})
        time.sleep(0.01)
    assert view["over"] and view["ending"].startswith("You ")
    refused(client.post(f"/api/games/{game['id']}/moves", json={"turn": view["turn"], "move": "y"}), 409,
            "the game is over")


def test_200_concurrent_new_games_get_201_or_429_and_the_server_keeps_serving():
    settings = Settings(max_games=16, new_games_burst=20, new_games_per_second=0.5, pause=0)
    with running(settings) as base:
        async def flood():
            async with httpx.AsyncClient(base_url=base, timeout=60) as client:
                return await asyncio.gather(*(client.post("/api/games", json={"seats": ["human", "random"]})
                                              for _ in range(200)))

        answers = asyncio.run(flood())
        statuses = [answer.status_code for answer in answers]
        assert set(statuses) <= {201, 429} and statuses.count(201) == 20
        for answer in answers:
            if answer.status_code == 429:
                refused(answer, 429, "too many new games at once")
        ids = [answer.json()["id"] for answer in answers if answer.status_code == 201]
        with httpx.Client(base_url=base, timeout=30) as client:
            # Sixteen live games are kept: the four idle longest made room for the last ones.
            kept = [client.get(f"/api/games/{game_id}").status_code for game_id in ids]
            assert kept.count(200) == 16 and kept.count(404) == 4
            assert client.get("/").status_code == 200
            assert client.get("/api/config").status_code == 200


def test_the_game_idle_longest_is_the_one_closed_to_make_room():
    with running(Settings(max_games=2, pause=0)) as base, httpx.Client(base_url=base) as client:
        first, second = new_game(client), new_game(client)
        assert client.get(f"/api/games/{first['id']}").status_code == 200  # the first is used again
        new_game(client)
        refused(client.get(f"/api/games/{second['id']}"), 404, "closed to make room")
        assert client.get(f"/api/games/{first['id']}").status_code == 200


def test_partners_stop_when_the_page_leaves_and_go_on_when_it_returns():
    # A game of seeded random seats long enough (each move a pause) to outlast the test.
    seats = [parse_seat("random")] * 2
    seed = next(seed for seed in range(1000) if play_game(seats, seed)["turns"] >= 20)
    with running(Settings(pause=0.25)) as base, httpx.Client(base_url=base, timeout=30) as client:
        game = new_game(client, seats=("random", "random"), seed=seed)
        with client.stream("GET", f"/api/games/{game['id']}/events") as stream:
            first = next(line for line in stream.iter_lines() if line.startswith("data: "))
            assert json.loads(first[6:])["id"] == game["id"]
        # The page closed its stream, and said nothing: the server notices within a second or so.
        time.sleep(1.5)
        closed_at = client.get(f"/api/games/{game['id']}").json()["turn"]
        time.sleep(1.0)  # four pauses: a game still played would have moved on
        assert client.get(f"/api/games/{game['id']}").json()["turn"] <= closed_at + 1
        with client.stream("GET", f"/api/games/{game['id']}/events") as stream:
            turns = (json.loads(line[6:])["turn"] for line in stream.iter_lines() if line.startswith("data: "))
            assert next(t for t in turns if t > closed_at + 1)
            # Saying so (as a page does when it is hidden) stops them at once, stream or not.
            assert client.post(f"/api/games/{game['id']}/leave").status_code == 200
            left_at = client.get(f"/api/games/{game['id']}").json()["turn"]
            time.sleep(1.0)
            assert client.get(f"/api/games/{game['id']}").json()["turn"] <= left_at + 1


def test_hints_one_at_a_time_and_rate_limited():
    settings = Settings(hint_playouts=3000, searches_burst=2, searches_per_second=0.01, pause=0)
    with running(settings) as base:
        async def two_hints():
            async with httpx.AsyncClient(base_url=base, timeout=60) as client:
                game = (await client.post("/api/games", json={"seats": ["human"], "seed": 2})).json()
                url = f"/api/games/{game['id']}/hint"
                return await asyncio.gather(client.post(url, json={"turn": 0}), client.post(url, json={"turn": 0})), url

        (one, two), url = asyncio.run(two_hints())
        assert sorted([one.status_code, two.status_code]) == [200, 409]
        hint = (one if one.status_code == 200 else two).json()
        assert hint["title"] == "hint (strong search of 3000 playouts)" and 1 <= len(hint["rows"]) <= 3
        assert all(row["visits"] >= 0 and (row["mean"] is None) == (row["visits"] == 0) for row in hint["rows"])
        refused(one if one.status_code == 409 else two, 409, "a hint is being searched already")
        with httpx.Client(base_url=base) as client:
            refused(client.post(url, json={"turn": 0}), 429, "too many searches at once")


def test_uploaded_results_files_are_checked_line_by_line(client):
    refused(client.post("/api/watch", content=b"not json\n"), 422, "uploaded file:1: not a JSON record")
    refused(client.post("/api/watch?name=r.jsonl", content=b'{"seed": 1}\n'), 422, "r.jsonl:1: a game record without")
    record = play_game([parse_seat("mcts:10"), parse_seat("random")], 5, log_actions=True)
    without = {key: value for key, value in record.items() if key != "actions"}
    refused(client.post("/api/watch", content=json.dumps(without).encode()), 422, "no game with logged moves")
    broken = {**record, "actions": ["Ks Ks"]}
    watched = client.post("/api/watch", content=json.dumps(broken).encode())  # no last newline: still whole
    assert watched.status_code == 201
    refused(client.get(f"/api/watch/{watched.json()['id']}/games/0"), 422, "game of seed 5, move 1")

    watched = client.post("/api/watch", content=(json.dumps(record) + "\n").encode())
    assert watched.status_code == 201 and watched.json()["games"][0]["moves"] == len(record["actions"])
    file_id = watched.json()["id"]
    steps = client.get(f"/api/watch/{file_id}/games/0").json()["steps"]
    assert len(steps) == len(record["actions"]) + 1
    assert [step["move"] for step in steps[:-1]] == record["actions"]
    # Every hand is open in a replay, and each step is the position its move was made in.
    first = lab.Game(2, 5)
    assert [card["label"] for card in steps[0]["seats"][1]["hand"]] == [card.label for card in first.sorted_hand(1)]
    assert steps[-1]["over"] == (record["result"] != "left") and steps[-1]["level"] == record["level"]
    search = f"/api/watch/{file_id}/games/0/search"
    refused(client.post(search, json={"step": len(steps) - 1}), 404, "the game has no move")
    refused(client.post(search, json={"step": 0, "playouts": 10**9}), 422, "playouts must lie in")
    refused(client.get(f"/api/watch/{file_id}/games/3"), 404, "has no game 3")
    ranked = client.post(search, json={"step": 0, "playouts": 25})
    assert ranked.status_code == 200 and 0 < sum(row["visits"] for row in ranked.json()["rows"]) <= 25


def test_requests_for_another_host_are_refused(client):
    # A page of another site that resolves its own name to this machine gets nothing.
    assert client.get("/", headers={"host": "attacker.example"}).status_code == 400
    assert client.get("/").headers["content-security-policy"].startswith("default-src 'self'")


def test_the_operators_files_are_offered_and_stay_while_pages_upload_theirs(tmp_path):
    record = play_game([parse_seat("random")] * 2, 8, log_actions=True)
    settings = Settings(max_watched=1, files=(("games.jsonl", (record,)),))
    with running(settings) as base, httpx.Client(base_url=base) as client:
        (offered,) = client.get("/api/config").json()["files"]
        assert offered["name"] == "games.jsonl" and offered["games"][0]["seed"] == 8
        for _ in range(3):  # uploads push out only each other
            assert client.post("/api/watch", content=(json.dumps(record) + "\n").encode()).status_code == 201
        steps = client.get(f"/api/watch/{offered['id']}/games/0").json()["steps"]
        assert len(steps) == len(record["actions"]) + 1
