"""The web app's tests run it on uvicorn in a thread; they skip where the web extra is not
installed."""
import pytest

pytest.importorskip("starlette")
pytest.importorskip("uvicorn")
pytest.importorskip("httpx")

from corvanta_lab.web import Settings  # noqa: E402

from .serving import running  # noqa: E402

# Partners that search little and barely pause: a whole game takes seconds.
QUICK = Settings(seats=("human", "mcts:30"), hint_playouts=200, pause=0.02, search_workers=1)


@pytest.fixture
def base():
    with running(QUICK) as url:
        yield url
