// Coloured card texts. This executable forces colour before main, so that the once-per-process
// decision comes out coloured whatever the terminal or the test runner's environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "game/text.hpp"
#include "game_builders.hpp"

namespace {

using namespace corvanta;
using test_support::card;

const bool kColourForced = [] {
  setenv("CLICOLOR_FORCE", "1", 1);
  return true;
}();

const std::string kBlack = "\x1b[47;30m";
const std::string kRed = "\x1b[47;31m";
const std::string kReset = "\x1b[0m";

TEST(ColouredText, ForcedColourIsUsed) {
  ASSERT_TRUE(kColourForced);
  EXPECT_TRUE(text::use_colour());
}

TEST(ColouredText, BlackSuits) {
  EXPECT_EQ(text::card(card("SK")), kBlack + "♠" + kReset + kBlack + "K" + kReset);
  EXPECT_EQ(text::card(card("C2")), kBlack + "♣" + kReset + kBlack + "2" + kReset);
}

TEST(ColouredText, RedSuits) {
  EXPECT_EQ(text::card(card("HA")), kRed + "♥" + kReset + kBlack + "A" + kReset);
  EXPECT_EQ(text::card(card("D10")), kRed + "♦" + kReset + kBlack + "10" + kReset);
}

TEST(ColouredText, JesterKeepsItsEmptySuitWrapped) {
  EXPECT_EQ(text::card(kJester), "\x1b[47m" + kReset + kBlack + "Jester" + kReset);
}

TEST(ColouredText, EnemyCarriesColouredCard) {
  EXPECT_EQ(text::debug(Enemy::create(card("DQ"))),
            "Enemy { card: " + kRed + "♦" + kReset + kBlack + "Q" + kReset +
                ", health: 30, attack: 15, jester_applied: false }");
}

}  // namespace
