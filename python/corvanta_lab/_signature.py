"""inspect.Signature objects for nanobind functions, read from their ``__nb_signature__`` text.

The native extension adds a ``__signature__`` getter to nanobind's function types that calls
``signature`` here. Overloads of one shape give one signature: each parameter has the first
overload's name and the union of the overloads' annotations (``apply(action: Action | int)``).
"""

from __future__ import annotations

import ast
import inspect
import re
from typing import Any

_DEFAULT = re.compile(r"\\(\d+)")
# Array annotations such as ndarray[dtype=float32, shape=(*)] are not Python syntax.
_NOT_PYTHON = re.compile(r"\[[^\[\]]*[=*][^\[\]]*\]")


def _parameters(text: str, defaults: tuple[Any, ...] | None) -> tuple[list[inspect.Parameter], Any]:
    source = _DEFAULT.sub(lambda m: f"__nb_default_{m.group(1)}", text)
    kept: list[str] = []

    def keep(match: re.Match[str]) -> str:
        kept.append(match.group(0))
        return f"__nb_text_{len(kept) - 1}"

    source = _NOT_PYTHON.sub(keep, source)
    tree = ast.parse(source + ": ...")
    function = tree.body[0]
    assert isinstance(function, ast.FunctionDef)
    args = function.args

    def annotation(node: ast.expr | None) -> Any:
        if node is None:
            return inspect.Parameter.empty
        return re.sub(r"__nb_text_(\d+)", lambda m: kept[int(m.group(1))], ast.unparse(node))

    def default(node: ast.expr | None) -> Any:
        if node is None:
            return inspect.Parameter.empty
        if isinstance(node, ast.Name) and node.id.startswith("__nb_default_") and defaults is not None:
            return defaults[int(node.id.removeprefix("__nb_default_"))]
        return ast.literal_eval(node)

    positional = args.posonlyargs + args.args
    padded: list[ast.expr | None] = [None] * (len(positional) - len(args.defaults)) + list(args.defaults)
    out = []
    for i, (arg, node) in enumerate(zip(positional, padded)):
        kind = (inspect.Parameter.POSITIONAL_ONLY if i < len(args.posonlyargs)
                else inspect.Parameter.POSITIONAL_OR_KEYWORD)
        out.append(inspect.Parameter(arg.arg, kind, default=default(node), annotation=annotation(arg.annotation)))
    if args.vararg is not None:
        out.append(inspect.Parameter(args.vararg.arg, inspect.Parameter.VAR_POSITIONAL,
                                     annotation=annotation(args.vararg.annotation)))
    for arg, node in zip(args.kwonlyargs, args.kw_defaults):
        out.append(inspect.Parameter(arg.arg, inspect.Parameter.KEYWORD_ONLY, default=default(node),
                                     annotation=annotation(arg.annotation)))
    if args.kwarg is not None:
        out.append(inspect.Parameter(args.kwarg.arg, inspect.Parameter.VAR_KEYWORD,
                                     annotation=annotation(args.kwarg.annotation)))
    return out, annotation(function.returns)


def _merged(first: list[inspect.Parameter], others: list[list[inspect.Parameter]]) -> list[inspect.Parameter]:
    """Overloads of one shape (as many parameters, of the same kinds and defaults) as one signature:
    each parameter keeps the first overload's name and takes the union of the annotations, in the
    order the overloads give them. Overloads of different shapes keep the first one's."""
    shape = [(p.kind, p.default) for p in first]
    if any([(p.kind, p.default) for p in other] != shape for other in others):
        return first
    merged = []
    for i, parameter in enumerate(first):
        annotations: list[Any] = []
        for candidate in [parameter, *(other[i] for other in others)]:
            if candidate.annotation is not inspect.Parameter.empty and candidate.annotation not in annotations:
                annotations.append(candidate.annotation)
        annotation = " | ".join(annotations) if len(annotations) > 1 else parameter.annotation
        merged.append(parameter.replace(annotation=annotation))
    return merged


def signature(function: Any) -> inspect.Signature:
    """The signature of a nanobind function, or of a method bound to an instance (without self)."""
    bound = hasattr(function, "__self__") and hasattr(function, "__func__")
    overloads = (function.__func__ if bound else function).__nb_signature__
    parameters, returns = _parameters(overloads[0][0], overloads[0][2])
    if len(overloads) > 1:
        returns = inspect.Signature.empty if len({o[0].rpartition("->")[2] for o in overloads}) > 1 else returns
        parameters = _merged(parameters, [_parameters(o[0], o[2])[0] for o in overloads[1:]])
    if bound:
        parameters = parameters[1:]
    return inspect.Signature(parameters, return_annotation=returns)
