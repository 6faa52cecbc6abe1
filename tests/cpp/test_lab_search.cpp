// The lab's search: its options checked before any work, its rankings, its one stop check, and
// the worker bound it shares with the search player.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>

#include "game/evaluator.hpp"
#include "lab/search.hpp"

namespace {

using namespace corvanta;
using namespace corvanta::lab;

const StopCheck kNever = [] { return false; };

SearchOptions options(std::uint32_t playouts, std::size_t threads = 1, std::uint32_t samples = 1) {
  SearchOptions o;
  o.playouts = playouts;
  o.threads = threads;
  o.samples = samples;
  return o;
}

TEST(LabSearch, RefusesWhatItCannotDoBeforeAnyWork) {
  const Game g = Game::create(2, 3);
  std::atomic<int> asked{0};
  const StopCheck counting = [&] { return ++asked, false; };
  SearchOptions unknown_policy = options(10);
  unknown_policy.policy = 1;
  SearchOptions unknown_strength = options(10);
  unknown_strength.strength = "mighty";
  for (const SearchOptions& bad : {options(0), options(10, 0), options(10, 1, 0), unknown_policy, unknown_strength})
    EXPECT_THROW(search(g, bad, counting), Invalid);
  Game over = Game::create(1, 3);
  while (!over.over()) over.apply_index(0);
  EXPECT_THROW(search(over, options(10), counting), Invalid);
  EXPECT_EQ(asked.load(), 0);
}

// The ranking holds every legal action once, most visits first, then the larger reward sum,
// and the visits add up to every playout of every sample.
TEST(LabSearch, RanksEveryLegalActionByVisitsThenRewards) {
  for (int players = 1; players <= 4; ++players) {
    const Game g = Game::create(players, 40 + players);
    const auto ranked = search(g, options(300, 2, 3), kNever);
    ASSERT_TRUE(ranked.has_value());
    ASSERT_EQ(ranked->size(), g.legal_actions().size());
    std::uint64_t visits = 0;
    for (std::size_t i = 0; i < ranked->size(); ++i) {
      const RankedAction& r = (*ranked)[i];
      visits += r.visits;
      EXPECT_EQ(std::count_if(ranked->begin(), ranked->end(), [&](const RankedAction& o) { return o.action == r.action; }), 1);
      if (r.visits > 0) {
        EXPECT_TRUE(r.avg_reward >= 0.0 && r.avg_reward <= 12.0);
      }
      if (i == 0) continue;
      const RankedAction& p = (*ranked)[i - 1];
      ASSERT_GE(p.visits, r.visits);
      if (p.visits == r.visits && r.visits > 0) {
        EXPECT_GE(p.avg_reward * p.visits, r.avg_reward * r.visits);
      }
    }
    EXPECT_EQ(visits, 900u);
  }
}

// A million workers asked for ten playouts: no more workers start than there are playouts, so
// the search ends at once with exactly its playouts.
TEST(LabSearch, BoundsItsWorkersLikeTheSearchPlayer) {
  const Game g = Game::create(2, 8);
  const auto started = std::chrono::steady_clock::now();
  const auto ranked = search(g, options(10, 1'000'000, 2), kNever);
  ASSERT_TRUE(ranked.has_value());
  std::uint64_t visits = 0;
  for (const RankedAction& r : *ranked) visits += r.visits;
  EXPECT_EQ(visits, 20u);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(LabSearch, TheStopCheckEndsItWithoutARanking) {
  const Game g = Game::create(1, 8);
  // Asked before the first sample.
  EXPECT_FALSE(search(g, options(1000), [] { return true; }).has_value());
  // Asked while the workers run: a search far too long to finish returns soon after.
  const auto started = std::chrono::steady_clock::now();
  const StopCheck after_a_while = [&] { return std::chrono::steady_clock::now() - started > std::chrono::milliseconds(50); };
  EXPECT_FALSE(search(g, options(4'000'000'000u, 2), after_a_while).has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(LabSearch, ExplorationIsTheDefaultRulesConstant) {
  SearchOptions o = options(100);
  o.exploration = 4.0;
  const SearchSettings settings = settings_of(o, 2);
  const auto* rule = std::get_if<UCTBase>(&settings.policy.rule());
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(rule->exploration_constant, 4.0);
  o.strength = "strong";
  EXPECT_EQ(std::get<UCTBase>(settings_of(o, 1).policy.rule()).exploration_constant, 4.0);
  o.policy = 2;
  EXPECT_THROW(settings_of(o, 2), Invalid);
  o.policy = std::nullopt;
  for (const double bad : {0.0, -1.0, std::nan("")}) {
    o.exploration = bad;
    EXPECT_THROW(settings_of(o, 2), Invalid);
  }
}

// The strong preset searches the whole move on one information-set tree; asked for trees per
// sample, it splits the budget into samples instead.
TEST(LabSearch, TheStrongPresetIsOneInformationSetTree) {
  SearchOptions strong = options(1000);
  strong.strength = "strong";
  for (int players = 1; players <= 4; ++players) {
    const SearchSettings s = settings_of(strong, players);
    EXPECT_TRUE(s.information_set);
    EXPECT_EQ(s.playouts, 1000u);
    EXPECT_EQ(s.samples, 1u);
    EXPECT_GT(s.discard_widening.scale, 0.0);
    EXPECT_GT(s.near_tie, 0.0);
    EXPECT_TRUE(s.rollout.public_discard && !s.rollout.redeal_each_rollout);
    EXPECT_EQ(s.rollout.policy, RolloutPolicy::Greedy);
    // Exploration on the scale of the differences between moves, not of the reward's range.
    EXPECT_LT(std::get<UCTBase>(s.policy.rule()).exploration_constant, MyPolicy::kDefaultExploration / 4);
  }
  SearchOptions per_sample = strong;
  per_sample.information_set = false;
  const SearchSettings one = settings_of(per_sample, 1), two = settings_of(per_sample, 2);
  EXPECT_FALSE(one.information_set);
  EXPECT_EQ(one.samples * one.playouts, 1000u);
  EXPECT_EQ(two.samples * two.playouts, 1000u);
  EXPECT_GT(one.samples, 1u);
  for (const SearchOptions& o : {strong, per_sample}) {
    const auto ranked = search(Game::create(2, 5), o, kNever);
    ASSERT_TRUE(ranked.has_value());
    std::uint64_t visits = 0;
    for (const RankedAction& r : *ranked) visits += r.visits;
    EXPECT_EQ(visits, 1000u);
  }
}

}  // namespace

namespace honesty {

using namespace corvanta;

// Positions of seeded games after a few random moves, each paired with a copy whose only change
// is the real Hearts stream.
template <int N>
std::vector<std::pair<State<N>, State<N>>> twins() {
  std::vector<std::pair<State<N>, State<N>>> out;
  for (std::uint64_t seed = 0; seed < 200; ++seed) {
    lab::Game g = lab::Game::create(N, seed);
    for (std::uint64_t i = 0; i < seed % 25 && !g.over(); ++i) g.apply_index(i % g.legal_actions().size());
    if (g.over()) continue;
    State<N> real = std::get<State<N>>(g.state());
    State<N> other = real;
    other.rng_seed = ~real.rng_seed * 0x9e3779b97f4a7c15ull;
    out.emplace_back(real, other);
  }
  return out;
}

// With a made-up stream a sample, and every rollout from it, depends on what the player to act
// sees and on the search's own draws alone: the real stream changes nothing.
template <int N>
void expect_the_real_stream_reaches_nothing() {
  for (const auto& [real, other] : twins<N>()) {
    for (const Stream stream : {Stream::PerMove, Stream::PerSample, Stream::PerRollout}) {
      RolloutOptions options;
      options.stream = stream;
      options.public_discard = true;
      options.redeal_each_rollout = stream != Stream::PerSample;
      StdRng a = StdRng::seed_from_u64(7), b = StdRng::seed_from_u64(7);
      const State<N> sample = sample_of(real, options, a, 11);
      ASSERT_EQ(sample, sample_of(other, options, b, 11));
      ASSERT_NE(sample.rng_seed, real.rng_seed);
      std::vector<Action> seen_a, seen_b;
      const GameResult ra = rollout_with<N, true>(sample, a, options, [&](const State<N>&, const Action& x) { seen_a.push_back(x); });
      State<N> sample_b = sample;
      if (stream == Stream::PerRollout) sample_b.rng_seed ^= 1;  // the rollout draws its own
      const GameResult rb = rollout_with<N, true>(stream == Stream::PerRollout ? sample_b : sample, b, options,
                                                  [&](const State<N>&, const Action& x) { seen_b.push_back(x); });
      ASSERT_EQ(ra, rb);
      ASSERT_EQ(seen_a, seen_b);
    }
    // The built-in search player's own rule keeps the real stream.
    RolloutOptions real_stream;
    StdRng c = StdRng::seed_from_u64(7);
    ASSERT_EQ(sample_of(real, real_stream, c, 11).rng_seed, real.rng_seed);
  }
}

TEST(LabSearch, NoSearchSeesTheRealStream) {
  expect_the_real_stream_reaches_nothing<1>();
  expect_the_real_stream_reaches_nothing<2>();
  expect_the_real_stream_reaches_nothing<4>();
  lab::SearchOptions real = options(10);
  real.rollout.stream = Stream::Real;
  EXPECT_THROW(lab::search(lab::Game::create(2, 1), real, kNever), lab::Invalid);
}

// The clairvoyant search is one tree of the true deal with the whole budget and the real stream.
TEST(LabSearch, TheClairvoyantSearchSearchesTheTrueDeal) {
  lab::SearchOptions seeing = options(400, 1, 4);
  seeing.rollout.clairvoyant = true;
  const SearchSettings settings = lab::settings_of(seeing, 2);
  EXPECT_EQ(settings.samples, 1u);
  EXPECT_EQ(settings.playouts, 1600u);
  EXPECT_EQ(settings.rollout.stream, Stream::Real);
  for (const auto& [real, other] : twins<2>()) {
    StdRng rng = StdRng::seed_from_u64(3);
    ASSERT_EQ(sample_of(real, settings.rollout, rng, 0), real);
  }
  seeing.strength = "strong";
  const SearchSettings strong = lab::settings_of(seeing, 1);
  EXPECT_EQ(strong.samples * strong.playouts, 400u);
  EXPECT_TRUE(strong.rollout.clairvoyant);
}

TEST(LabSearch, ResamplingMakesUpTheStream) {
  for (std::uint64_t seed = 0; seed < 100; ++seed) {
    lab::Game g = lab::Game::create(2, seed);
    for (std::uint64_t i = 0; i < seed % 20 && !g.over(); ++i) g.apply_index(0);
    const auto stream = [](const lab::Game& x) { return std::get<State<2>>(x.state()).rng_seed; };
    // (Not the game's own seed: at the deal, a re-deal from it repeats the deal's own draws.)
    const lab::Game copy = g.resample(0, seed + 1000);
    EXPECT_NE(stream(copy), stream(g));
    EXPECT_TRUE(copy == g.resample(0, seed + 1000));  // the copy is a function of the seed given
  }
}

}  // namespace honesty
