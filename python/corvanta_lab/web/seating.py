"""The seats a browser may ask for: the grammar of ``corvanta match``, less what a web page must
not reach.

A seat text from a page names a kind (``human``, ``random``, ``mcts``, ``strong``) before it is
parsed at all, so a ``module:callable`` text never gets as far as an import; searches are held
to the server's budget of playouts and threads.
"""

from __future__ import annotations

import dataclasses

from corvanta_lab.seats import BROWSER_KINDS, SearchSeat, SeatSpec, StrongSeat, parse_seat
from corvanta_lab.web.guard import Refused

__all__ = ["BROWSER_KINDS", "browser_seat", "searched_seat"]

_SEAT_TEXT_LIMIT = 64


def _kind(text: str) -> str:
    return text.strip().split(":", 1)[0]


def _within(spec: SeatSpec, text: str, max_playouts: int, max_threads: int) -> SeatSpec:
    if isinstance(spec, (SearchSeat, StrongSeat)):
        if spec.playouts > max_playouts:
            raise Refused(422, f"seat {text!r}: this server searches at most {max_playouts} playouts a move")
        if spec.threads > max_threads:
            raise Refused(422, f"seat {text!r}: this server searches on at most {max_threads} threads")
    return spec


def browser_seat(text: str, max_playouts: int, max_threads: int) -> SeatSpec:
    """The seat of ``text`` from a page; 422 with the reason if it is not one a page may seat."""
    if len(text) > _SEAT_TEXT_LIMIT:
        raise Refused(422, f"a seat text is at most {_SEAT_TEXT_LIMIT} characters")
    if _kind(text) not in BROWSER_KINDS:
        raise Refused(422, f"seat {text!r}: choose human, random, mcts:PLAYOUTS or strong:PLAYOUTS "
                           "(players of your own, module:callable, are for the command line)")
    try:
        spec = parse_seat(text)
    except ValueError as error:
        raise Refused(422, str(error)) from None
    return _within(spec, text, max_playouts, max_threads)


def searched_seat(text: str, playouts: int | None, max_playouts: int, max_threads: int) -> SeatSpec:
    """The search a logged seat played by, to run again at one of its positions (with
    ``playouts`` instead of its own, if given); 422 for a seat that did not search."""
    if _kind(text) not in ("mcts", "strong", "clairvoyant") or len(text) > _SEAT_TEXT_LIMIT:
        raise Refused(422, f"seat {text[:_SEAT_TEXT_LIMIT]!r} did not play by a search")
    try:
        spec = parse_seat(text)
    except ValueError as error:
        raise Refused(422, str(error)) from None
    assert isinstance(spec, (SearchSeat, StrongSeat))  # the kinds above parse to these
    if playouts is not None:
        spec = dataclasses.replace(spec, playouts=playouts)
    return _within(spec, text, max_playouts, max_threads)
