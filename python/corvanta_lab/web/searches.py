"""Searches off the event loop: a few worker threads shared by every game.

The engine's search releases the interpreter lock, so threads search while the event loop
keeps answering. A page that leaves cancels its searches: one not yet started never starts,
and one running is called off through its ``cancel`` event and stops within milliseconds. A
request that would wait behind too many searches is refused with 429.
"""

from __future__ import annotations

import asyncio
import threading
from collections.abc import Callable
from concurrent.futures import Future, ThreadPoolExecutor
from typing import Any, TypeVar

from corvanta_lab.web.guard import Refused

__all__ = ["SearchPool", "Stop", "Tasks"]

T = TypeVar("T")


class SearchPool:
    """``workers`` threads; at most ``queue`` searches asked for by people waiting or running."""

    def __init__(self, workers: int, queue: int) -> None:
        self.workers = workers
        self.queue = queue
        self._executor = ThreadPoolExecutor(workers, thread_name_prefix="corvanta-search")
        self._lock = threading.Lock()
        self._pending = 0

    @property
    def pending(self) -> int:
        """Searches submitted and not yet finished, abandoned ones included."""
        return self._pending

    def submit(self, work: Callable[[], T], refuse_when_busy: bool) -> Future[T]:
        """Starts ``work`` on a thread. With ``refuse_when_busy`` (a person's request, which may be
        asked again) 429 when the queue is full; the moves of the partners always queue."""
        with self._lock:
            if refuse_when_busy and self._pending >= self.queue:
                raise Refused(429, "the server is busy searching: try again in a moment")
            self._pending += 1
        future = self._executor.submit(work)
        future.add_done_callback(self._finished)
        return future

    def _finished(self, future: Future[T]) -> None:
        with self._lock:
            self._pending -= 1

    async def run(self, work: Callable[[], T], refuse_when_busy: bool = True) -> T:
        """``work``'s result, awaited without blocking the loop; cancelling the caller cancels
        the work if it has not started."""
        return await asyncio.wrap_future(self.submit(work, refuse_when_busy))

    def close(self) -> None:
        self._executor.shutdown(wait=False, cancel_futures=True)


class Stop:
    """The event the searches started so far were given as their ``cancel``: ``cancel()`` sets it,
    calling them off, and the searches started later get a fresh one."""

    def __init__(self) -> None:
        self.event = threading.Event()

    def cancel(self) -> None:
        self.event.set()
        self.event = threading.Event()


class Tasks:
    """The searches one page has running, to cancel them all when it leaves."""

    def __init__(self) -> None:
        self._running: set[asyncio.Task[Any]] = set()
        self._stop = Stop()

    async def run(self, pool: SearchPool, work: Callable[[threading.Event], T]) -> T:
        """``work(stop)`` on the pool: ``stop`` is set when the page's searches are cancelled, for
        ``work`` to pass to the search as its ``cancel``."""
        stop = self._stop.event
        task: asyncio.Task[T] = asyncio.ensure_future(pool.run(lambda: work(stop)))
        self._running.add(task)
        try:
            return await task
        except asyncio.CancelledError:
            current = asyncio.current_task()
            if current is not None and current.cancelling():
                raise  # the request itself is going away
            raise Refused(409, "the search was called off") from None
        finally:
            self._running.discard(task)

    @property
    def busy(self) -> bool:
        return bool(self._running)

    def cancel(self) -> int:
        """Cancels every running search; returns how many there were."""
        count = len(self._running)
        self._stop.cancel()
        for task in self._running:
            task.cancel()
        return count
