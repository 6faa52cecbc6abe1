// Thousands of seeded random games per player count, choosing only from the action space, with the
// game's invariants checked after every action and every game replayed in lockstep by a twin.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <variant>

#include "game/action_space.hpp"
#include "game/rules.hpp"
#include "game/text.hpp"
#include "no_colour.hpp"

namespace {

using namespace corvanta;

constexpr std::uint64_t kGamesPerCount = 10'000;
// Games with one-move lookahead cost a dozen rule applications per step.
constexpr std::uint64_t kDeepGamesPerCount = 5'000;
// A game ends long before this: every turn either plays a card, discards one, or yields.
constexpr int kMaxSteps = 2'000;

template <int N>
::testing::AssertionResult check_invariants(const State<N>& s, std::uint8_t previous_level) {
  const Setup setup = setup_for(N);
  const std::array<int, kCardKinds> counts = s.card_tally();
  for (int i = 0; i < kJesterIndex; ++i)
    if (counts[i] != 1)
      return ::testing::AssertionFailure() << text::card(card_from_index(i)) << " is in " << counts[i] << " places";
  if (counts[kJesterIndex] != setup.jesters) return ::testing::AssertionFailure() << counts[kJesterIndex] << " jesters";

  for (int i = 0; i < N; ++i) {
    if (s.players[i].id.value != static_cast<std::uint64_t>(i))
      return ::testing::AssertionFailure() << "seat " << i << " holds another player";
    if (s.players[i].hand.size() > s.max_hand_size)
      return ::testing::AssertionFailure() << "player " << i << " holds " << s.players[i].hand.size() << " cards";
  }
  if (s.max_hand_size != setup.max_hand_size) return ::testing::AssertionFailure() << "hand limit changed";
  if (s.level < previous_level) return ::testing::AssertionFailure() << "level fell from " << int(previous_level);
  if (s.level + s.table.castle_deck.size() != 12)
    return ::testing::AssertionFailure() << "level " << int(s.level) << " with " << s.table.castle_deck.size()
                                         << " enemies left";
  if (s.has_turn.value >= static_cast<std::uint64_t>(N)) return ::testing::AssertionFailure() << "bad has_turn";
  if (s.times_yielded >= static_cast<std::uint64_t>(N))
    return ::testing::AssertionFailure() << s.times_yielded << " yields in a row and no loss";
  if (s.hand_refills_left > setup.hand_refills) return ::testing::AssertionFailure() << "refills grew";
  if (s.action_type.kind == ActionType::Kind::Discard) {
    const Enemy* e = s.current_enemy();
    if (e == nullptr || s.action_type.discard_amount != e->attack || e->attack == 0)
      return ::testing::AssertionFailure() << "discard phase without an attacking enemy";
  }
  return ::testing::AssertionSuccess();
}

// A determinisation may change only what the player to move cannot see.
template <int N>
::testing::AssertionResult check_view_kept(const State<N>& s, const State<N>& p) {
  auto fail = [](const char* what) { return ::testing::AssertionFailure() << "re-deal changed " << what; };
  if (p.current_hand() != s.current_hand()) return fail("the hand of the player to move");
  if (p.table.castle_deck.size() != s.table.castle_deck.size()) return fail("the castle size");
  if (!s.table.castle_deck.empty() && !(p.table.castle_deck.back() == s.table.castle_deck.back()))
    return fail("the face-up enemy");
  for (std::size_t i = 1; i < p.table.castle_deck.size(); ++i)
    if (p.table.castle_deck[i - 1].card.value < p.table.castle_deck[i].card.value) return fail("the rank order");
  if (p.table.attack_cards != s.table.attack_cards) return fail("the attack cards");
  if (p.table.tavern_deck.size() != s.table.tavern_deck.size()) return fail("the tavern size");
  if (p.table.discard_pile.size() != s.table.discard_pile.size()) return fail("the discard size");
  for (int i = 0; i < N; ++i)
    if (p.players[i].hand.size() != s.players[i].hand.size()) return fail("a hand size");
  if (!(p.has_turn == s.has_turn) || p.level != s.level || !(p.action_type == s.action_type) ||
      p.times_yielded != s.times_yielded || p.hand_refills_left != s.hand_refills_left)
    return fail("the turn, level or phase");
  return check_invariants(p, p.level);  // every card still in exactly one place
}

struct Tally {
  std::uint64_t games = 0;
  std::uint64_t steps = 0;
  std::uint64_t won = 0;
  std::uint64_t no_move = 0;
  std::uint64_t with_random_step = 0;  // games in which Hearts re-seeded the state
  std::uint64_t level_sum = 0;
  int max_level = 0;
};

// Uniform choice over the action space.
struct Uniform {
  template <int N>
  std::size_t operator()(const State<N>&, const ActionList& actions, StdRng& rng) const {
    return rng.below(static_cast<std::uint32_t>(actions.size()));
  }
};

// Mostly the best action one move ahead, judged by the rules themselves (a win first, then the
// level, the enemy's remaining health and the cards kept in hand), sometimes a uniform one. Games
// get far past the first enemies, so defeats, royal cards in hands, late levels and wins are
// exercised too.
struct Lookahead {
  template <int N>
  static long score(const Outcome<N>& outcome) {
    if (const GameResult* r = std::get_if<GameResult>(&outcome))
      return r->kind == GameResult::Kind::Won ? 1'000'000 : -1'000'000;
    const State<N>& next = std::get<State<N>>(outcome);
    long value = 10'000L * next.level;
    if (const Enemy* e = next.current_enemy()) value -= 20L * e->health;
    for (const Player& p : next.players) value += p.total_hand_value();
    return value;
  }

  template <int N>
  std::size_t operator()(const State<N>& s, const ActionList& actions, StdRng& rng) const {
    if (rng.below(8) == 0) return rng.below(static_cast<std::uint32_t>(actions.size()));
    std::size_t best = 0;
    long best_score = 0;
    for (std::size_t i = 0; i < actions.size(); ++i) {
      const long value = score<N>(take_action(s, actions[i]));
      if (i == 0 || value > best_score) {
        best = i;
        best_score = value;
      }
    }
    return best;
  }
};

template <int N, class Chooser>
void play_games(Chooser choose, std::uint64_t first_seed, std::uint64_t games, Tally& tally) {
  for (std::uint64_t seed = first_seed; seed < first_seed + games; ++seed) {
    State<N> s = State<N>::create(seed);
    State<N> twin = State<N>::create(seed);  // built and driven independently
    ASSERT_EQ(s, twin) << "seed " << seed;
    StdRng chooser = StdRng::seed_from_u64(seed * 0x9E3779B97F4A7C15ULL + N);
    const std::uint64_t first_rng_seed = s.rng_seed;
    bool re_seeded = false;
    bool ended = false;
    ASSERT_TRUE(check_invariants(s, 0)) << "seed " << seed << " at the start";

    for (int step = 0; step < kMaxSteps && !ended; ++step) {
      const ActionList actions = get_action_space(s);
      ASSERT_EQ(actions, get_action_space(twin)) << "seed " << seed << " step " << step;
      if (actions.empty()) {
        // Only a one-player discard after the last refill can leave no move.
        ASSERT_EQ(N, 1) << "seed " << seed << " step " << step;
        ASSERT_EQ(s.action_type.kind, ActionType::Kind::Discard);
        ASSERT_EQ(s.hand_refills_left, 0);
        ASSERT_LT(s.current_player().total_hand_value(), s.action_type.discard_amount);
        ++tally.no_move;
        ended = true;
        break;
      }
      const Action action = actions[choose(s, actions, chooser)];
      const State<N> before = s;
      const Outcome<N> outcome = take_action(s, action);
      const Outcome<N> replayed = apply_action(twin, action);
      ++tally.steps;
      ASSERT_EQ(s, before) << "take_action changed its argument; seed " << seed << " step " << step;
      ASSERT_EQ(outcome.index(), replayed.index()) << "seed " << seed << " step " << step;

      if (const GameResult* result = std::get_if<GameResult>(&outcome)) {
        ASSERT_EQ(*result, std::get<GameResult>(replayed)) << "seed " << seed << " step " << step;
        if (result->kind == GameResult::Kind::Won) {
          ASSERT_EQ(s.level, 12) << "seed " << seed;
          ASSERT_TRUE(s.table.castle_deck.empty()) << "seed " << seed;
          ++tally.won;
        } else {
          ASSERT_EQ(result->level, s.level) << "seed " << seed << " step " << step;
        }
        ended = true;
        break;
      }
      const std::uint8_t level = s.level;
      s = std::get<State<N>>(outcome);
      twin = std::get<State<N>>(replayed);
      ASSERT_EQ(s, twin) << "seed " << seed << " step " << step << " after " << text::debug(action);
      ASSERT_TRUE(check_invariants(s, level))
          << "seed " << seed << " step " << step << " after " << text::debug(action) << "\n"
          << text::debug(s, true);
      StdRng redeal = StdRng::seed_from_u64(seed ^ (std::uint64_t(step) << 32));
      ASSERT_TRUE(check_view_kept(s, s.random_permutation(redeal)))
          << "seed " << seed << " step " << step << "\n" << text::debug(s, true);
      re_seeded |= s.rng_seed != first_rng_seed;
    }
    ASSERT_TRUE(ended) << "seed " << seed << " did not end within " << kMaxSteps << " steps";
    ++tally.games;
    tally.level_sum += s.level;
    tally.max_level = std::max<int>(tally.max_level, s.level);
    tally.with_random_step += re_seeded ? 1 : 0;
  }
}

void report(const Tally& tally) {
  ::testing::Test::RecordProperty("games", static_cast<int>(tally.games));
  ::testing::Test::RecordProperty("steps", static_cast<int>(tally.steps));
  ::testing::Test::RecordProperty("won", static_cast<int>(tally.won));
  ::testing::Test::RecordProperty("max_level", tally.max_level);
  ::testing::Test::RecordProperty("mean_level_x100", static_cast<int>(100 * tally.level_sum / tally.games));
  ::testing::Test::RecordProperty("with_random_step", static_cast<int>(tally.with_random_step));
}

template <int N>
void run_uniform_games() {
  Tally tally;
  play_games<N>(Uniform{}, 1000 * N, kGamesPerCount, tally);
  if (::testing::Test::HasFatalFailure()) return;
  EXPECT_EQ(tally.games, kGamesPerCount);
  // The determinism check covers the Hearts random step in a good share of the games.
  EXPECT_GT(tally.with_random_step, kGamesPerCount / 10);
  if (N > 1) {
    EXPECT_EQ(tally.no_move, 0u);
  }
  report(tally);
}

template <int N>
void run_deep_games() {
  Tally tally;
  play_games<N>(Lookahead{}, 500'000 + 1000 * N, kDeepGamesPerCount, tally);
  if (::testing::Test::HasFatalFailure()) return;
  EXPECT_EQ(tally.games, kDeepGamesPerCount);
  EXPECT_GT(tally.with_random_step, kDeepGamesPerCount / 2);
  // The harness only means something if games get well past the Jacks, and with several players
  // some are won.
  EXPECT_GE(tally.max_level, 8);
  if (N > 1) {
    EXPECT_GT(tally.won, 0u);
  }
  report(tally);
}

TEST(UniformGames, OnePlayer) { run_uniform_games<1>(); }
TEST(UniformGames, TwoPlayers) { run_uniform_games<2>(); }
TEST(UniformGames, ThreePlayers) { run_uniform_games<3>(); }
TEST(UniformGames, FourPlayers) { run_uniform_games<4>(); }

TEST(DeepGames, OnePlayer) { run_deep_games<1>(); }
TEST(DeepGames, TwoPlayers) { run_deep_games<2>(); }
TEST(DeepGames, ThreePlayers) { run_deep_games<3>(); }
TEST(DeepGames, FourPlayers) { run_deep_games<4>(); }

}  // namespace
