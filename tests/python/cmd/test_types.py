"""Every public class and function of the lab is documented, and inspect reads every signature."""
import importlib
import inspect

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
                if type(member).__name__ in ("nb_func", "nb_method") and (attr == "__init__" or not attr.startswith("_")):
                    yield f"{name}.{attr}", getattr(obj, attr)


def test_inspect_reads_the_signatures_of_native_functions():
    checked = 0
    for name, obj in native_callables():
        if type(obj).__name__ in ("nb_func", "nb_method"):
            inspect.signature(obj)
            checked += 1
    assert checked > 30
    search = inspect.signature(lab.search)
    assert str(search).startswith("(game: 'corvanta_lab._core.Game', playouts: 'int', threads: 'int' = 1, ")
    assert search.parameters["policy"].kind == inspect.Parameter.KEYWORD_ONLY
    assert search.return_annotation == "list[tuple[corvanta_lab._core.Action, int, float]]"
    game = lab.Game(2, seed=1)
    assert list(inspect.signature(game.observation).parameters) == ["player"]  # bound: no self
    assert list(inspect.signature(lab.Game.observation).parameters) == ["self", "player"]
    assert str(inspect.signature(lab.Game)) == "(players: 'int', seed: 'int | None' = None) -> 'None'"


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
