from typing import final

from ._values import PyState
from .actions import Action

__all__ = ["RandomPlayer", "InputPlayer", "MCTSPlayer"]

@final
class RandomPlayer:
    """Chooses uniformly among the legal actions, from its own seeded generator."""

    def __new__(cls, seed: int | None = None) -> RandomPlayer:
        """A player whose choices follow from `seed` (an unsigned 64-bit integer); without one,
        from the system's entropy."""
    def play(self, state: PyState) -> Action:
        """One of the state's legal actions, drawn uniformly; advances the generator."""

@final
class InputPlayer:
    """A person at the terminal: lists the legal actions by number and reads a choice from
    standard input. Only a game can play it (it has no `play` method)."""

    def __new__(cls) -> InputPlayer:
        """A new console player."""

@final
class MCTSPlayer:
    """A Monte Carlo tree search over re-dealt copies of the hidden cards."""

    def __new__(
        cls,
        playouts: int,
        num_threads: int,
        use_heuristics: bool,
        policy_variation: int | None = None,
        deterministic_samples: int = 1,
    ) -> MCTSPlayer:
        """A search of `playouts` playouts per sample on `num_threads` worker threads, over
        `deterministic_samples` re-deals of the hidden cards; `use_heuristics` prunes discards
        that throw away Diamonds in rollouts; `policy_variation` picks the tree rule (None or 0:
        the default upper-confidence rule; 2, 3 or 4: its variations)."""
    def play(self, state: PyState) -> Action:
        """The most visited action of a search from this state; the ranking is kept for
        `ranked_actions()`."""
    def ranked_actions(self) -> list[tuple[Action, int, float]]:
        """The last search's ranking: (action, visits, average reward) from the most visited down;
        empty before the first move."""
