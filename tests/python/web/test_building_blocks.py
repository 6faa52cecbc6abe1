"""The server's building blocks on their own: the rate limit, the bounded store, the seats a page
may ask for, the search pool's refusal when full, a page's searches called off, and the views'
hidden hands."""
import asyncio
import math
import threading
import time

import pytest

import corvanta_lab as lab
from corvanta_lab.web.guard import RateLimit, Refused
from corvanta_lab.web.searches import SearchPool, Tasks
from corvanta_lab.web.seating import browser_seat, searched_seat
from corvanta_lab.web.store import Store
from corvanta_lab.web.views import ranked_row, table_view


def test_the_rate_limit_is_a_bucket_per_client():
    limit = RateLimit(3, 0.0, "tries")
    for _ in range(3):
        limit.take("a")
    with pytest.raises(Refused) as refused:
        limit.take("a")
    assert refused.value.status == 429 and "too many tries" in refused.value.reason
    limit.take("b")  # another client has its own bucket
    refilling = RateLimit(1, 1000.0, "tries")
    refilling.take("a")
    threading.Event().wait(0.01)
    refilling.take("a")  # ten tokens' worth of time later


class Closes:
    def __init__(self):
        self.closed = False

    def close(self):
        self.closed = True


def test_the_store_closes_the_item_idle_longest():
    store = Store(2, "thing")
    a, b, c = Closes(), Closes(), Closes()
    store.add("a", a)
    store.add("b", b)
    store.get("a")
    store.add("c", c)
    assert b.closed and not a.closed and len(store) == 2
    with pytest.raises(Refused) as refused:
        store.get("b")
    assert refused.value.status == 404
    with pytest.raises(Refused):
        store.get("../etc/passwd")
    assert store.new_id() not in ("a", "c") and len(store.new_id()) == 16


@pytest.mark.parametrize("text, reason", [
    ("os:system", "are for the command line"),
    ("clairvoyant:100", "choose human, random"),
    ("mcts:100:2000", "at most 1024"),
    ("strong:999999", "at most 20000 playouts"),
    ("random:x", "the seed must be a whole number"),
    ("h" * 65, "at most 64 characters"),
])
def test_a_page_seats_only_its_kinds_within_the_budget(text, reason):
    with pytest.raises(Refused) as refused:
        browser_seat(text, 20000, 8)
    assert refused.value.status == 422 and reason in refused.value.reason


def test_the_seats_a_page_may_ask_for():
    assert [browser_seat(text, 20000, 8).text for text in ("human", "random:3", "mcts:50:2", "strong:200")] == [
        "human", "random:3", "mcts:50:2", "strong:200"]
    assert searched_seat("strong:500", 40, 20000, 8).text == "strong:40"
    assert searched_seat("clairvoyant:500", None, 20000, 8).text == "clairvoyant:500"
    with pytest.raises(Refused):
        searched_seat("random", None, 20000, 8)


def test_a_full_pool_refuses_peoples_searches_but_queues_the_partners():
    pool = SearchPool(1, 1)
    release = threading.Event()
    try:
        running = pool.submit(release.wait, refuse_when_busy=True)
        with pytest.raises(Refused) as refused:
            pool.submit(lambda: None, refuse_when_busy=True)
        assert refused.value.status == 429
        queued = pool.submit(lambda: 7, refuse_when_busy=False)
        assert pool.pending == 2
        release.set()
        assert running.result(5) and queued.result(5) == 7
    finally:
        release.set()
        pool.close()


def test_a_table_shows_only_the_hands_asked_for():
    game = lab.Game(3, 4)
    view = table_view(game, ["human", "random", "random"], [0])
    assert [seat["hand"] is None for seat in view["seats"]] == [False, True, True]
    assert [seat["cards"] for seat in view["seats"]] == [len(hand) for hand in game.hands]
    assert view["enemy"]["health"] == 20 and view["enemy"]["immune"] in ("spades", "hearts", "diamonds", "clubs")
    assert ranked_row("y", 0, math.nan)["mean"] is None and ranked_row("y", 3, 5.5)["mean"] == 5.5


def test_cancelling_a_pages_searches_stops_the_one_running_within_a_second():
    pool, tasks = SearchPool(1, 4), Tasks()
    game = lab.Game(1, 5)

    async def cancelled_after(delay):
        search = asyncio.ensure_future(tasks.run(pool, lambda stop: lab.search(game, 10**9, cancel=stop)))
        await asyncio.sleep(delay)
        assert pool.pending == 1 and tasks.cancel() == 1
        with pytest.raises(Refused) as refused:
            await search
        return refused.value

    try:
        refused = asyncio.run(cancelled_after(0.3))
        assert refused.status == 409 and "called off" in refused.reason
        started = time.monotonic()
        while pool.pending and time.monotonic() - started < 5:
            time.sleep(0.01)
        assert pool.pending == 0 and time.monotonic() - started < 1.0  # a billion playouts, called off
    finally:
        pool.close()
