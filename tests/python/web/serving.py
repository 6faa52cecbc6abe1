"""Serving the app for a test: uvicorn in a thread, on a free port of this machine."""
import contextlib
import socket
import threading
import time

import uvicorn

from corvanta_lab.web import create_app


@contextlib.contextmanager
def running(settings):
    """The base address of the app of ``settings`` served until the block ends."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    server = uvicorn.Server(uvicorn.Config(create_app(settings), log_level="warning"))
    thread = threading.Thread(target=server.run, kwargs={"sockets": [listener]}, daemon=True)
    thread.start()
    deadline = time.monotonic() + 10
    while not server.started:
        assert time.monotonic() < deadline and thread.is_alive(), "the server did not start"
        time.sleep(0.02)
    try:
        yield f"http://127.0.0.1:{listener.getsockname()[1]}"
    finally:
        server.should_exit = True
        thread.join(10)
        listener.close()
