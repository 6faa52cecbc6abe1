// The random and console players: the bounded draw, copies, refusals, and the console dialogue.
#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "game/action_space.hpp"
#include "game/error.hpp"
#include "game_builders.hpp"
#include "no_colour.hpp"
#include "players/console_text.hpp"
#include "players/input_player.hpp"
#include "players/interrupt.hpp"
#include "players/random_player.hpp"

namespace {

using namespace corvanta;
using test_support::blank_state;
using test_support::castle;
using test_support::hand;

// A state with a chosen hand and a Jack of Spades to fight.
State<1> position(std::string_view cards) {
  State<1> s = blank_state<1>();
  s.players[0].hand = hand(cards);
  s.table.castle_deck = castle("SJ");
  return s;
}

TEST(RandomPlayer, ChoosesByTheBoundedDrawOfItsSeed) {
  const State<1> s = position("S2 H3 D4 C5 S6");
  const ActionList legal = get_action_space(s);
  for (std::uint64_t seed : {0ull, 1ull, 42ull, 0xFFFFFFFFFFFFFFFFull}) {
    RandomPlayer player(seed);
    StdRng expected = StdRng::seed_from_u64(seed);
    for (int turn = 0; turn < 20; ++turn)
      EXPECT_EQ(player.play(s), legal[expected.below(static_cast<std::uint32_t>(legal.size()))]);
  }
}

TEST(RandomPlayer, ACopyMakesTheSameChoicesAsItsOriginal) {
  const State<1> s = position("S2 H3 D4 C5 S6 HA");
  RandomPlayer original(7);
  for (int i = 0; i < 5; ++i) original.play(s);
  RandomPlayer copy = original;
  for (int i = 0; i < 30; ++i) EXPECT_EQ(copy.play(s), original.play(s));
}

TEST(RandomPlayer, DrawsEvenWithASingleLegalAction) {
  State<1> s = position("");
  s.hand_refills_left = 0;
  ASSERT_EQ(get_action_space(s).size(), 1u);  // Yield only
  RandomPlayer player(3);
  StdRng fresh = StdRng::seed_from_u64(3);
  fresh.below(1);
  EXPECT_EQ(player.play(s), Action::yield());
  EXPECT_EQ(player.rng.next_u32(), fresh.next_u32());
}

TEST(RandomPlayer, RefusesAStateWithoutLegalActionsAndKeepsItsGenerator) {
  State<1> s = position("");
  s.hand_refills_left = 0;
  s.action_type = ActionType::discard(5);
  ASSERT_TRUE(get_action_space(s).empty());
  RandomPlayer player(9);
  try {
    player.play(s);
    FAIL() << "no exception";
  } catch (const Fatal& e) {
    EXPECT_EQ(std::string(e.what()), kNoActionsMessage);
  }
  EXPECT_EQ(player.rng.next_u32(), StdRng::seed_from_u64(9).next_u32());
}

struct ChoiceCase {
  std::string line;
  std::optional<std::uint64_t> expected;
};
class ConsoleChoice : public ::testing::TestWithParam<ChoiceCase> {};
TEST_P(ConsoleChoice, ParsesTheTrimmedNumber) {
  EXPECT_EQ(console::parse_choice(GetParam().line), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(
    Lines, ConsoleChoice,
    ::testing::Values(ChoiceCase{"2\n", 2}, ChoiceCase{" 2 \n", 2}, ChoiceCase{"+2", 2}, ChoiceCase{"\t0\r\n", 0},
                      ChoiceCase{"\u00a02\u3000\n", 2}, ChoiceCase{"18446744073709551615\n", 18446744073709551615ull},
                      ChoiceCase{"18446744073709551616\n", std::nullopt}, ChoiceCase{"2.0\n", std::nullopt},
                      ChoiceCase{"-1\n", std::nullopt}, ChoiceCase{"two\n", std::nullopt},
                      ChoiceCase{"\n", std::nullopt}, ChoiceCase{"+\n", std::nullopt},
                      ChoiceCase{"++2\n", std::nullopt}, ChoiceCase{"2 2\n", std::nullopt}));

struct QuoteCase {
  std::string line;
  std::string expected;
};
class ConsoleQuote : public ::testing::TestWithParam<QuoteCase> {};
TEST_P(ConsoleQuote, ShowsTheLineInQuotedDebugForm) { EXPECT_EQ(console::quoted(GetParam().line), GetParam().expected); }
INSTANTIATE_TEST_SUITE_P(
    Lines, ConsoleQuote,
    ::testing::Values(QuoteCase{"\n", R"("\n")"}, QuoteCase{"two\r\n", R"("two\r\n")"},
                      QuoteCase{std::string("a\0b\t", 4), R"("a\0b\t")"}, QuoteCase{"say \"hi\" \\ 'x'", R"("say \"hi\" \\ 'x'")"},
                      QuoteCase{"\x01\x7f", R"("\u{1}\u{7f}")"}, QuoteCase{"caf\u00e9 \u2660", "\"caf\u00e9 \u2660\""},
                      QuoteCase{"e\u0301", R"("e\u{301}")"}, QuoteCase{"\u200b\u00a0", R"("\u{200b}\u{a0}")"}));

TEST(ConsoleText, ValidatesUtf8) {
  EXPECT_TRUE(console::is_valid_utf8("plain \u2660 \U0001F600"));
  EXPECT_FALSE(console::is_valid_utf8("\xff\n"));
  EXPECT_FALSE(console::is_valid_utf8("\xc0\xaf"));          // overlong
  EXPECT_FALSE(console::is_valid_utf8("\xed\xa0\x80"));      // surrogate
  EXPECT_FALSE(console::is_valid_utf8("\xe2\x99"));          // cut short
}

// Runs the dialogue on the given input; returns the chosen action and what was written.
std::pair<Action, std::string> dialogue(const ActionList& actions, std::string input) {
  std::FILE* in = fmemopen(input.data(), input.size(), "r");
  char* out_buffer = nullptr;
  std::size_t out_size = 0;
  std::FILE* out = open_memstream(&out_buffer, &out_size);
  const Enemy jack = Enemy::create(Card{CardSuit::Spades, CardValue::Jack});
  Action chosen;
  try {
    chosen = console_dialogue(actions, PlayerId{1}, &jack, in, out);
  } catch (...) {
    std::fclose(in);
    std::fclose(out);
    std::free(out_buffer);
    throw;
  }
  std::fclose(in);
  std::fclose(out);
  std::string written(out_buffer, out_size);
  std::free(out_buffer);
  return {chosen, written};
}

const ActionList kThree = {Action::play(Card{CardSuit::Hearts, CardValue::Two}), Action::yield(),
                           Action::refill_hand()};

TEST(ConsoleDialogue, ShowsTheStateAndRetriesUntilANumberMatches) {
  const auto [chosen, written] = dialogue(kThree, "two\n3\n 2 \n");
  EXPECT_EQ(chosen, Action::refill_hand());
  EXPECT_EQ(written, std::string(60, '=') +
                         "\nCurrent player: PlayerId(1)\n"
                         "Current enemy: \n\nSome(\n    Enemy {\n        card: ♠J,\n        health: 20,\n"
                         "        attack: 10,\n        jester_applied: false,\n    },\n)\n\n"
                         "Available actions are: \n \n0: Play(♥2)\n1: Yield\n2: RefillHand \n\n"
                         "Type number to select an action:\n"
                         "Failed to parse input \"two\\n\". Please try again!\n"
                         "Could not match input with any action. Please try again!\n");
}

TEST(ConsoleDialogue, AcceptsALastLineWithoutTerminator) {
  EXPECT_EQ(dialogue(kThree, "+1").first, Action::yield());
}

class ConsoleReadFailure : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};
TEST_P(ConsoleReadFailure, EndsTheCall) {
  try {
    dialogue(kThree, GetParam().first);
    FAIL() << "no exception";
  } catch (const Fatal& e) {
    EXPECT_EQ(std::string(e.what()), "Error reading input.: " + GetParam().second);
  }
}
INSTANTIATE_TEST_SUITE_P(Inputs, ConsoleReadFailure,
                         ::testing::Values(std::pair<std::string, std::string>{"", "end of input reached"},
                                           std::pair<std::string, std::string>{"x\n", "end of input reached"},
                                           std::pair<std::string, std::string>{"\xff\n", "stream did not contain valid UTF-8"}));

// A signal interrupts the waiting read: the interrupt check runs again, and either the read goes on
// or the dialogue ends with Interrupted.
int g_console_checks = 0;
bool g_stop_on_signal = false;

class ConsoleSignal : public ::testing::TestWithParam<bool> {};
TEST_P(ConsoleSignal, RunsTheCheckThenResumesOrStops) {
  g_stop_on_signal = GetParam();
  g_console_checks = 0;
  struct sigaction action {};
  action.sa_handler = [](int) {};  // no SA_RESTART: the read returns EINTR
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  std::FILE* in = fdopen(pipe_ends[0], "r");
  std::FILE* out = std::fopen("/dev/null", "w");
  const pthread_t reader = pthread_self();
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the read is waiting by now
    pthread_kill(reader, SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const char line[] = "1\n";
    (void)!write(pipe_ends[1], line, 2);
  });
  const InterruptScope scope([] { return ++g_console_checks == 2 && g_stop_on_signal; });
  if (GetParam())
    EXPECT_THROW(console_dialogue(kThree, PlayerId{0}, nullptr, in, out), Interrupted);
  else
    EXPECT_EQ(console_dialogue(kThree, PlayerId{0}, nullptr, in, out), Action::yield());
  other.join();
  EXPECT_EQ(g_console_checks, 2);  // before the read, and after the signal
  std::fclose(in);
  std::fclose(out);
  close(pipe_ends[1]);
  sigaction(SIGUSR1, &previous, nullptr);
}
INSTANTIATE_TEST_SUITE_P(Check, ConsoleSignal, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Stops" : "Resumes"; });

TEST(ConsoleDialogue, RefusesAnEmptyListOfActions) {
  EXPECT_THROW(dialogue(ActionList{}, "0\n"), Fatal);
}

}  // namespace
