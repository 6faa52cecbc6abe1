"""``corvanta serve``: play and watch games in a browser, on this machine.

``create_app(Settings(...))`` is the Starlette app (served by uvicorn from the command line);
the page is plain HTML, CSS and JavaScript from ``static/``, and talks to the JSON routes of
``corvanta_lab.web.app``, with a stream of server-sent events for the moves of a game.
Needs the ``web`` extra: ``pip install 'corvanta[web]'``.
"""

from corvanta_lab.web.app import create_app
from corvanta_lab.web.settings import Settings

__all__ = ["Settings", "create_app"]
