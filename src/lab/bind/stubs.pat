# Replacements for the generated stubs of corvanta_lab._core (nanobind stubgen pattern file).
# A class that defines equality but no hash sets __hash__ to None, which mypy reads as an
# incompatible override of object.__hash__ unless it is told that this is deliberate.
\.Game\.__hash__$:
    __hash__: None  # type: ignore[assignment]
# A module attribute's stub says only its class; the layout maps names to (start, stop) slices.
\.OBSERVATION_LAYOUT$:
    OBSERVATION_LAYOUT: dict[str, tuple[int, int]] = ...
# The layout's parts in order: (name, width, content).
\.OBSERVATION_PARTS$:
    OBSERVATION_PARTS: tuple[tuple[str, int, str], ...] = ...
# The rollout policies' names.
\.ROLLOUT_POLICIES$:
    ROLLOUT_POLICIES: tuple[str, ...] = ...
