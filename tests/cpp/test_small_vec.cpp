#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "mcts/small_vec.hpp"
#include "toy_spec.hpp"

namespace {

class SmallVecSize : public testing::TestWithParam<int> {};

TEST_P(SmallVecSize, KeepsOrderInlineAndBeyond) {
  const int count = GetParam();
  mcts::SmallVec<std::string, 4> v;
  for (int i = 0; i < count; ++i) v.push_back(std::to_string(i));
  ASSERT_EQ(v.size(), static_cast<std::size_t>(count));
  EXPECT_EQ(v.spilled(), count > 4);
  for (int i = 0; i < count; ++i) EXPECT_EQ(v[static_cast<std::size_t>(i)], std::to_string(i));
  int expected = 0;
  for (const std::string& s : v) EXPECT_EQ(s, std::to_string(expected++));
  EXPECT_EQ(expected, count);
}

INSTANTIATE_TEST_SUITE_P(Counts, SmallVecSize, testing::Values(0, 1, 4, 5, 9, 200));

TEST(SmallVec, DestroysEveryEntryOnceWhereverItLives) {
  struct Tag {};
  using Item = toy::Counted<Tag>;
  for (int count : {3, 8, 9, 50}) {
    {
      mcts::SmallVec<Item, 8> v;
      for (int i = 0; i < count; ++i) v.push_back(Item{});
      EXPECT_EQ(Item::live.load(), count);
    }
    EXPECT_EQ(Item::live.load(), 0) << count << " entries";
  }
}

}  // namespace
