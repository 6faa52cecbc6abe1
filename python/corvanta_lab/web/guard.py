"""What the server takes from a browser, checked before anything acts on it.

Every refusal is a ``Refused``: an HTTP status of the 4xx family and one line saying why, which
the app turns into a JSON answer. Bodies are read with a size limit (a huge one is cut off while
it streams in, not after), must be the JSON object the route expects, and each field is checked
for its type and range by the helpers here.
"""

from __future__ import annotations

import json
import re
import time
from collections import OrderedDict

from starlette.requests import Request

__all__ = ["JSON_LIMIT", "Refused", "RateLimit", "checked_id", "read_body", "read_json", "whole_number", "text"]

# A move, a seat list or a hint request is a few hundred bytes; anything near this is not one.
JSON_LIMIT = 8 * 1024

_ID = re.compile(r"[A-Za-z0-9_-]{1,32}")


class Refused(Exception):
    """A request the server will not carry out: its status and the reason, in one line."""

    def __init__(self, status: int, reason: str) -> None:
        super().__init__(reason)
        self.status = status
        self.reason = reason


async def read_body(request: Request, limit: int) -> bytes:
    """The request's body, at most ``limit`` bytes (413 beyond it, before it is all read)."""
    declared = request.headers.get("content-length")
    if declared is not None:
        if not declared.isdigit():
            raise Refused(400, "Content-Length is not a number")
        if int(declared) > limit:
            raise Refused(413, f"the body is {declared} bytes, more than the {limit} this request takes")
    body = bytearray()
    async for chunk in request.stream():
        body += chunk
        if len(body) > limit:
            raise Refused(413, f"the body is more than the {limit} bytes this request takes")
    return bytes(body)


async def read_json(request: Request, limit: int = JSON_LIMIT) -> dict[str, object]:
    """The request's body as a JSON object (400 if it is not one)."""
    raw = await read_body(request, limit)
    if not raw.strip():
        return {}
    try:
        value = json.loads(raw.decode("utf-8"))
    except (UnicodeDecodeError, json.JSONDecodeError, RecursionError) as error:
        raise Refused(400, f"the body is not JSON ({type(error).__name__})") from None
    if not isinstance(value, dict):
        raise Refused(400, f"the body is a JSON {type(value).__name__}, not an object")
    return value


def whole_number(body: dict[str, object], name: str, low: int, high: int, default: int | None = None) -> int:
    """The field ``name``: a whole number in ``low .. high`` (or ``default`` when absent or null)."""
    value = body.get(name)
    if value is None and default is not None:
        return default
    if isinstance(value, bool) or not isinstance(value, int):
        raise Refused(422, f"{name} must be a whole number, not {json.dumps(value)[:40]}")
    if not low <= value <= high:
        raise Refused(422, f"{name} must lie in {low} .. {high}, not {value}")
    return value


def text(body: dict[str, object], name: str, limit: int = 200, default: str | None = None) -> str:
    """The field ``name``: a string of at most ``limit`` characters."""
    value = body.get(name, default)
    if not isinstance(value, str):
        raise Refused(422, f"{name} must be a string, not {json.dumps(value)[:40]}")
    if len(value) > limit:
        raise Refused(422, f"{name} is longer than {limit} characters")
    return value


def checked_id(value: str, what: str) -> str:
    """An id from a URL, refused (404) unless it has the form the server gives ids."""
    if not _ID.fullmatch(value):
        raise Refused(404, f"no {what} has that id")
    return value


class RateLimit:
    """A token bucket per client: ``burst`` requests at once, then ``per_second``."""

    def __init__(self, burst: int, per_second: float, what: str, clients: int = 1024) -> None:
        self.burst = burst
        self.per_second = per_second
        self.what = what
        self.clients = clients
        self._buckets: OrderedDict[str, tuple[float, float]] = OrderedDict()

    def take(self, client: str) -> None:
        """Spends one token of ``client``'s bucket; 429 if it is empty."""
        now = time.monotonic()
        tokens, then = self._buckets.pop(client, (float(self.burst), now))
        tokens = min(float(self.burst), tokens + (now - then) * self.per_second)
        if tokens < 1:
            self._buckets[client] = (tokens, now)
            raise Refused(429, f"too many {self.what} at once: wait a moment and try again")
        self._buckets[client] = (tokens - 1, now)
        # The buckets of clients not seen for longest go first: the table stays small.
        while len(self._buckets) > self.clients:
            self._buckets.popitem(last=False)
