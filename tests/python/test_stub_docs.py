"""The corvanta module has no docstrings by design; its stubs carry one for every class and
method, so that editors show help."""
import ast
import pathlib

STUBS = pathlib.Path(__file__).resolve().parents[2] / "python" / "corvanta-stubs"


def test_every_stub_class_and_method_has_a_docstring():
    missing, seen = [], 0
    for path in sorted(STUBS.glob("*.pyi")):
        for node in ast.walk(ast.parse(path.read_text())):
            if isinstance(node, (ast.ClassDef, ast.FunctionDef)) and node.name != "__hash__":
                seen += 1
                if not ast.get_docstring(node):
                    missing.append(f"{path.name}: {node.name} (line {node.lineno})")
    assert seen > 60 and missing == []
