"""The web app of ``corvanta serve``: the page, its JSON routes and the stream of a game's changes.

Every route answers a request it will not carry out with a 4xx status and ``{"error": reason}``
in one line; nothing a page sends names a file or a module: results files come as uploaded
content or from the operator's command line.
"""

from __future__ import annotations

import html
import json
import logging
import os
from collections.abc import AsyncIterator
from contextlib import asynccontextmanager
from pathlib import Path

from starlette.applications import Starlette
from starlette.exceptions import HTTPException
from starlette.middleware import Middleware
from starlette.middleware.trustedhost import TrustedHostMiddleware
from starlette.requests import Request
from starlette.responses import FileResponse, HTMLResponse, JSONResponse, Response, StreamingResponse
from starlette.routing import Mount, Route
from starlette.staticfiles import StaticFiles
from starlette.types import ASGIApp, Message, Receive, Scope, Send

from corvanta_lab._core import Game
from corvanta_lab.match import parse_records
from corvanta_lab.rules import RULES
from corvanta_lab.seats import MAX_SEED
from corvanta_lab.web.guard import RateLimit, Refused, read_body, read_json, text, whole_number
from corvanta_lab.web.live import LiveGame
from corvanta_lab.web.searches import SearchPool
from corvanta_lab.web.seating import BROWSER_KINDS, browser_seat
from corvanta_lab.web.settings import Settings
from corvanta_lab.web.store import Store
from corvanta_lab.web.watching import WatchedFile

__all__ = ["create_app"]

STATIC = Path(__file__).parent / "static"
log = logging.getLogger("corvanta.serve")

# The page's own files only: no inline script, nothing from elsewhere.
_HEADERS = [(b"content-security-policy", b"default-src 'self'; frame-ancestors 'none'"),
            (b"x-content-type-options", b"nosniff"), (b"referrer-policy", b"no-referrer")]


class _SecurityHeaders:
    def __init__(self, app: ASGIApp) -> None:
        self.app = app

    async def __call__(self, scope: Scope, receive: Receive, send: Send) -> None:
        async def with_headers(message: Message) -> None:
            if message["type"] == "http.response.start":
                message["headers"] = [*message.get("headers", []), *_HEADERS]
            await send(message)

        await self.app(scope, receive, with_headers if scope["type"] == "http" else send)


def _client(request: Request) -> str:
    return request.client.host if request.client else "unknown"


class _Server:
    """The state behind the routes: live games, watched files, the search threads, the limits."""

    def __init__(self, settings: Settings) -> None:
        self.settings = settings
        self.pool = SearchPool(settings.search_workers, settings.search_queue)
        self.games: Store[LiveGame] = Store(settings.max_games, "game")
        self.watched: Store[WatchedFile] = Store(settings.max_watched, "watched file")
        # The operator's files stay for as long as the server runs: uploads never push them out.
        self.operator_files: dict[str, WatchedFile] = {}
        for name, records in settings.files:
            self.operator_files[self.watched.new_id()] = WatchedFile(name, records)
        self.new_games = RateLimit(settings.new_games_burst, settings.new_games_per_second, "new games")
        self.searches = RateLimit(settings.searches_burst, settings.searches_per_second, "searches")

    def close(self) -> None:
        self.games.close()
        self.watched.close()
        for watched in self.operator_files.values():
            watched.close()
        self.pool.close()

    # The page.

    async def index(self, request: Request) -> Response:
        return FileResponse(STATIC / "index.html", headers={"cache-control": "no-store"})

    async def rules(self, request: Request) -> Response:
        return HTMLResponse(f"""<!doctype html><html lang="en"><head><meta charset="utf-8"><title>corvanta: rules</title>
<link rel="stylesheet" href="/static/style.css"></head><body class="rules"><nav><a href="/">back to the game</a></nav>
<pre>{html.escape(RULES)}</pre></body></html>""")

    async def config(self, request: Request) -> Response:
        s = self.settings
        return JSONResponse({"seats": list(s.seats), "kinds": list(BROWSER_KINDS), "hint_playouts": s.hint_playouts,
                             "max_playouts": s.max_playouts, "pause": s.pause,
                             "files": [watched.summary() | {"id": file_id}
                                       for file_id, watched in self.operator_files.items()]})

    # Playing.

    async def new_game(self, request: Request) -> Response:
        body = await read_json(request)
        self.new_games.take(_client(request))
        seats = body.get("seats", list(self.settings.seats))
        if not isinstance(seats, list) or not 1 <= len(seats) <= 4 or not all(isinstance(s, str) for s in seats):
            raise Refused(422, "seats must be a list of 1 to 4 seat texts")
        players = whole_number(body, "players", 1, 4, default=len(seats))
        if players != len(seats):
            raise Refused(422, f"players is {players} but {len(seats)} seats are given")
        specs = [browser_seat(seat, self.settings.max_playouts, self.settings.max_threads) for seat in seats]
        seed = whole_number(body, "seed", 0, MAX_SEED, default=int.from_bytes(os.urandom(4), "little"))
        game_id = self.games.new_id()
        live = LiveGame(game_id, Game(players, seed), specs, self.pool, self.settings.pause,
                        self.settings.hint_playouts)
        self.games.add(game_id, live)
        live.start()
        return JSONResponse(live.view(), status_code=201)

    def _game(self, request: Request) -> LiveGame:
        return self.games.get(request.path_params["game_id"])

    async def game(self, request: Request) -> Response:
        return JSONResponse(self._game(request).view())

    async def check(self, request: Request) -> Response:
        live = self._game(request)
        body = await read_json(request)
        reason = live.check(whole_number(body, "turn", 0, 10**6), text(body, "move"))
        return JSONResponse({"legal": reason is None, "reason": reason})

    async def move(self, request: Request) -> Response:
        live = self._game(request)
        body = await read_json(request)
        live.move(whole_number(body, "turn", 0, 10**6), text(body, "move"))
        return JSONResponse(live.view())

    async def hint(self, request: Request) -> Response:
        live = self._game(request)
        body = await read_json(request)
        turn, chosen = whole_number(body, "turn", 0, 10**6), text(body, "chosen", default="")
        self.searches.take(_client(request))
        return JSONResponse(await live.hint(turn, chosen))

    async def cancel_hint(self, request: Request) -> Response:
        return JSONResponse({"cancelled": self._game(request).searches.cancel()})

    async def leave(self, request: Request) -> Response:
        self._game(request).pause()
        return JSONResponse({"left": True})

    async def events(self, request: Request) -> Response:
        live = self._game(request)

        async def stream() -> AsyncIterator[str]:
            live.joined()
            try:
                seen, quiet = -1, 0
                while not live.closed:
                    if live.version != seen:
                        seen = live.version
                        yield f"data: {json.dumps(live.view())}\n\n"
                        quiet = 0
                    elif not await live.changes(seen, 1.0):
                        if await request.is_disconnected():
                            return
                        quiet += 1
                        if quiet >= 15:  # a comment now and then keeps proxies from closing the stream
                            yield ": still here\n\n"
                            quiet = 0
            finally:
                live.left()

        return StreamingResponse(stream(), media_type="text/event-stream", headers={"cache-control": "no-store"})

    async def watch_played(self, request: Request) -> Response:
        live = self._game(request)
        return self._watch(WatchedFile(f"game of seed {live.game.seed}", [live.record()]))

    # Watching.

    def _watch(self, watched: WatchedFile) -> Response:
        file_id = self.watched.new_id()
        self.watched.add(file_id, watched)
        return JSONResponse(watched.summary() | {"id": file_id}, status_code=201)

    async def upload(self, request: Request) -> Response:
        raw = await read_body(request, self.settings.upload_limit)
        name = text({"name": request.query_params.get("name", "uploaded file")}, "name", 100)
        if raw and not raw.endswith(b"\n"):
            raw += b"\n"  # an uploaded file is whole: its last line counts even without a newline
        try:
            records = parse_records(raw.splitlines(keepends=True), name)
        except ValueError as error:
            raise Refused(422, str(error)) from None
        return self._watch(WatchedFile(name, records))

    def _watched(self, request: Request) -> WatchedFile:
        file_id = request.path_params["file_id"]
        return self.operator_files.get(file_id) or self.watched.get(file_id)

    async def watched_file(self, request: Request) -> Response:
        return JSONResponse(self._watched(request).summary() | {"id": request.path_params["file_id"]})

    async def watched_game(self, request: Request) -> Response:
        return JSONResponse(self._watched(request).game_view(request.path_params["index"]))

    async def search_again(self, request: Request) -> Response:
        watched = self._watched(request)
        body = await read_json(request)
        step = whole_number(body, "step", 0, 10**6)
        playouts = None if body.get("playouts") is None else whole_number(body, "playouts", 1, self.settings.max_playouts)
        self.searches.take(_client(request))
        return JSONResponse(await watched.search(self.pool, request.path_params["index"], step, playouts,
                                                 self.settings.max_playouts, self.settings.max_threads))

    async def leave_watch(self, request: Request) -> Response:
        return JSONResponse({"cancelled": self._watched(request).searches.cancel()})


async def _refused(request: Request, error: Exception) -> Response:
    assert isinstance(error, Refused)
    return JSONResponse({"error": error.reason}, status_code=error.status)


async def _http_error(request: Request, error: Exception) -> Response:
    assert isinstance(error, HTTPException)
    return JSONResponse({"error": error.detail}, status_code=error.status_code, headers=error.headers)


async def _failed(request: Request, error: Exception) -> Response:
    # Logged in full on the server; the page gets one line, never the traceback.
    log.error("%s %s failed", request.method, request.url.path, exc_info=error)
    return JSONResponse({"error": "internal error (logged by the server)"}, status_code=500)


def create_app(settings: Settings | None = None) -> Starlette:
    """The app, with its own games and search threads (closed when the app shuts down)."""
    server = _Server(settings or Settings())
    game = "/api/games/{game_id}"
    watched = "/api/watch/{file_id}"
    routes = [
        Route("/", server.index),
        Route("/rules", server.rules),
        Mount("/static", StaticFiles(directory=STATIC), name="static"),
        Route("/api/config", server.config),
        Route("/api/games", server.new_game, methods=["POST"]),
        Route(game, server.game),
        Route(game + "/events", server.events),
        Route(game + "/check", server.check, methods=["POST"]),
        Route(game + "/moves", server.move, methods=["POST"]),
        Route(game + "/hint", server.hint, methods=["POST"]),
        Route(game + "/hint", server.cancel_hint, methods=["DELETE"]),
        Route(game + "/leave", server.leave, methods=["POST"]),
        Route(game + "/watch", server.watch_played, methods=["POST"]),
        Route("/api/watch", server.upload, methods=["POST"]),
        Route(watched, server.watched_file),
        Route(watched + "/games/{index:int}", server.watched_game),
        Route(watched + "/games/{index:int}/search", server.search_again, methods=["POST"]),
        Route(watched + "/leave", server.leave_watch, methods=["POST"]),
    ]

    @asynccontextmanager
    async def lifespan(app: Starlette) -> AsyncIterator[None]:
        try:
            yield
        finally:
            server.close()

    hosts = list(server.settings.allowed_hosts) or ["*"]
    return Starlette(routes=routes, lifespan=lifespan,
                     middleware=[Middleware(_SecurityHeaders), Middleware(TrustedHostMiddleware, allowed_hosts=hosts)],
                     exception_handlers={Refused: _refused, HTTPException: _http_error, Exception: _failed})
