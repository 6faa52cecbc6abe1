from typing import final

from ._values import PyState
from .actions import Action

__all__ = ["RandomPlayer", "InputPlayer", "MCTSPlayer"]

@final
class RandomPlayer:
    def __new__(cls, seed: int | None = None) -> RandomPlayer: ...
    def play(self, state: PyState) -> Action: ...

@final
class InputPlayer:
    def __new__(cls) -> InputPlayer: ...

@final
class MCTSPlayer:
    def __new__(
        cls,
        playouts: int,
        num_threads: int,
        use_heuristics: bool,
        policy_variation: int | None = None,
        deterministic_samples: int = 1,
    ) -> MCTSPlayer: ...
    def play(self, state: PyState) -> Action: ...
    def ranked_actions(self) -> list[tuple[Action, int, float]]: ...
