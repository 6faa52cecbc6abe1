"""``corvanta serve`` on uvicorn: the operator's options checked, the address printed, then served
until Ctrl-C."""

from __future__ import annotations

import argparse
import ipaddress
import socket
import sys
import threading
import webbrowser
from pathlib import Path

import uvicorn

from corvanta_lab.match import GameRecord, read_records
from corvanta_lab.web.app import create_app
from corvanta_lab.web.guard import Refused
from corvanta_lab.web.seating import browser_seat
from corvanta_lab.web.settings import Settings

__all__ = ["serve"]


def _loopback(host: str) -> bool:
    if host == "localhost":
        return True
    try:
        return ipaddress.ip_address(host.strip("[]")).is_loopback
    except ValueError:
        return False


def _settings(args: argparse.Namespace) -> Settings:
    """The settings of the command line; ``ValueError`` says what is wrong with it."""
    base = Settings()
    seats = tuple(spec.text for spec in args.seat) or base.seats
    for seat in seats:
        try:
            browser_seat(seat, base.max_playouts, base.max_threads)
        except Refused as refused:
            raise ValueError(f"--seat {refused.reason}") from None
    if not 0 <= args.pause <= 60:
        raise ValueError(f"--pause {args.pause}: a pause is 0 to 60 seconds")
    files: list[tuple[str, tuple[GameRecord, ...]]] = []
    for path in args.watch:
        if not Path(path).is_file():
            raise ValueError(f"--watch {path}: no such file")
        records = tuple(record for record in read_records(Path(path)) if "actions" in record)
        if not records:
            raise ValueError(f"--watch {path}: no game with logged moves (log them with --log-actions)")
        files.append((Path(path).name, records))
    hosts = base.allowed_hosts if _loopback(args.host) else ("*",)
    return Settings(seats=seats, hint_playouts=args.hint_playouts, pause=args.pause, max_games=args.max_games,
                    allowed_hosts=hosts, files=tuple(files))


def serve(args: argparse.Namespace) -> int:
    """Serves until interrupted; returns the exit status."""
    try:
        settings = _settings(args)
    except ValueError as error:
        print(f"corvanta serve: {error}", file=sys.stderr)
        return 2
    family = socket.AF_INET6 if ":" in args.host else socket.AF_INET
    listener = socket.socket(family, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        listener.bind((args.host, args.port))
    except OSError as error:
        listener.close()
        print(f"corvanta serve: cannot listen on {args.host}:{args.port}: {error.strerror or error}", file=sys.stderr)
        return 1
    port = listener.getsockname()[1]
    shown = f"[{args.host}]" if family == socket.AF_INET6 else args.host
    url = f"http://{shown}:{port}/"
    if not _loopback(args.host):
        print(f"corvanta serve: warning: listening on {args.host}, not this machine alone: anyone who can reach "
              f"it can play here and run searches on its cores", file=sys.stderr)
    print(f"corvanta serve: {url} (Ctrl-C stops)", flush=True)
    if args.open:
        threading.Timer(0.5, webbrowser.open, [url]).start()
    server = uvicorn.Server(uvicorn.Config(create_app(settings), log_level="warning"))
    server.run(sockets=[listener])
    return 0
