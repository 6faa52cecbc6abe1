"""Live things kept by id, a bounded number of them: the one idle longest goes to make room."""

from __future__ import annotations

import secrets
import time
from collections import OrderedDict
from typing import Generic, Protocol, TypeVar

from corvanta_lab.web.guard import Refused, checked_id

__all__ = ["Store"]


class Closable(Protocol):
    def close(self) -> None: ...


T = TypeVar("T", bound=Closable)


class Store(Generic[T]):
    """At most ``limit`` items of one ``kind`` (in messages), the most recently used last."""

    def __init__(self, limit: int, kind: str) -> None:
        self.limit = limit
        self.kind = kind
        self._items: OrderedDict[str, tuple[T, float]] = OrderedDict()

    def new_id(self) -> str:
        # Unguessable: a page sees only the games it started (or was given the address of).
        while True:
            item_id = secrets.token_urlsafe(12)
            if item_id not in self._items:
                return item_id

    def add(self, item_id: str, item: T) -> None:
        """Keeps ``item``, closing the one idle longest if the store is full."""
        while len(self._items) >= self.limit:
            _, (oldest, _) = self._items.popitem(last=False)
            oldest.close()
        self._items[item_id] = (item, time.monotonic())

    def get(self, item_id: str) -> T:
        """The item of ``item_id``, now the most recently used; 404 if there is none."""
        checked_id(item_id, self.kind)
        found = self._items.get(item_id)
        if found is None:
            raise Refused(404, f"no {self.kind} has that id (finished long ago, or closed to make room)")
        self._items.move_to_end(item_id)
        self._items[item_id] = (found[0], time.monotonic())
        return found[0]

    def items(self) -> list[tuple[str, T]]:
        return [(item_id, item) for item_id, (item, _) in self._items.items()]

    def __len__(self) -> int:
        return len(self._items)

    def close(self) -> None:
        for item, _ in self._items.values():
            item.close()
        self._items.clear()
