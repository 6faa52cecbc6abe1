"""Every public class and function of the lab is documented, and inspect reads every signature."""
import importlib
import inspect
import pathlib
import typing

import corvanta_lab as lab
import pytest

MODULES = ["corvanta_lab", "corvanta_lab.seats", "corvanta_lab.match", "corvanta_lab.moves",
           "corvanta_lab.console", "corvanta_lab.cli"]


def public(module):
    names = getattr(module, "__all__", [n for n in vars(module) if not n.startswith("_")])
    for name in names:
        obj = getattr(module, name)
        if inspect.isclass(obj) or callable(obj):
            yield name, obj


@pytest.mark.parametrize("name", MODULES)
def test_public_classes_and_functions_have_docstrings(name):
    module = importlib.import_module(name)
    assert module.__doc__
    missing = [n for n, obj in public(module) if not (obj.__doc__ or "").strip()]
    assert missing == []


def native_callables():
    for name, obj in public(lab._core):
        yield name, obj
        if inspect.isclass(obj) and not issubclass(obj, int):
            for attr, member in vars(obj).items():
                # Static methods reach Python wrapped (for help()): the native function is inside.
                native = getattr(getattr(member, "__func__", member), "__wrapped__", member)
                if type(native).__name__ in ("nb_func", "nb_method") and (attr == "__init__" or not attr.startswith("_")):
                    yield f"{name}.{attr}", native


def test_inspect_reads_the_signatures_of_native_functions():
    checked = 0
    for name, obj in native_callables():
        if type(obj).__name__ in ("nb_func", "nb_method"):
            inspect.signature(obj)
            checked += 1
    assert checked > 30
    # The typed face of the native search: the same parameters, Literal names where the engine
    # takes a name from a table.
    search, native = inspect.signature(lab.search), inspect.signature(lab._core.search)
    assert list(search.parameters) == list(native.parameters)
    assert [p.default for p in search.parameters.values()] == [p.default for p in native.parameters.values()]
    assert search.parameters["policy"].kind == inspect.Parameter.KEYWORD_ONLY
    assert search.parameters["strength"].annotation.replace('"', "'") == "Literal['strong'] | None"
    assert typing.get_args(lab.players.RolloutPolicy) == lab._core.ROLLOUT_POLICIES
    assert lab.search.__doc__.startswith("Monte Carlo tree search")
    game = lab.Game(2, seed=1)
    assert list(inspect.signature(game.observation).parameters) == ["player"]  # bound: no self
    assert list(inspect.signature(lab.Game.observation).parameters) == ["self", "player"]
    assert str(inspect.signature(lab.Game)) == "(players: 'int', seed: 'int | None' = None) -> 'None'"
    # Overloads of one shape read as one signature with the union of their types.
    assert str(inspect.signature(lab.Game.apply)) == "(self, action: 'corvanta_lab._core.Action | int') -> 'None'"


def test_help_shows_the_types_of_properties_and_the_static_methods():
    import pydoc

    text = pydoc.render_doc(lab.Game, renderer=pydoc.plaintext)
    assert "nb_func object" not in text
    assert "from_bytes(data: 'bytes') -> 'corvanta_lab._core.Game'" in text
    assert vars(lab.Game)["level"].__doc__.startswith("int: ")
    game = lab.Game(1, 2)
    assert lab.Game.from_bytes(game.to_bytes()) == game and lab.Card.parse("Kh").label == "Kh"


def test_native_methods_and_properties_have_docstrings():
    undocumented = []
    for name in lab.__all__:
        cls = getattr(lab, name)
        if not inspect.isclass(cls):
            continue
        for attr, member in vars(cls).items():
            function = member.fget if isinstance(member, property) else member
            if attr.startswith("_") or type(function).__name__ not in ("nb_func", "nb_method"):
                continue
            if not any(doc for _, doc, _ in function.__nb_signature__):
                undocumented.append(f"{name}.{attr}")
    assert undocumented == []


def test_mypy_rejects_what_the_lab_would_refuse(tmp_path, monkeypatch):
    api = pytest.importorskip("mypy.api")
    # Check the package these tests import: a build tree is named to mypy, an installed one it finds.
    root = pathlib.Path(lab.__file__).resolve().parents[1]
    if not (root / "corvanta_lab" / "_core.pyi").exists():
        pytest.skip("this build of the lab has no stubs")
    if "site-packages" not in root.parts:
        monkeypatch.setenv("MYPYPATH", str(root))
    script = tmp_path / "user.py"
    script.write_text(
        "import numpy as np\n"
        "import corvanta_lab as lab\n"
        "vector = lab.VectorGame(2, 1, seed=0)\n"
        "vector.step(np.zeros(2, dtype=np.int64))\n"
        "vector.step('abc')\n"
        "game = lab.Game(1, 0)\n"
        "lab.search(game, 10, strength='strong', rollout_policy='greedy', tree='information-set')\n"
        "lab.search(game, 10, strength='weak')\n"
        "lab.SearchPlayer(10, rollout_policy='clever')\n"
    )
    out, _, status = api.run(["--strict", "--no-incremental", str(script)])
    errors = sorted({int(line.split(":")[1]) for line in out.splitlines() if ": error:" in line})
    assert status == 1 and errors == [5, 8, 9], out
