#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "mcts/node_arena.hpp"

namespace {

std::uintptr_t address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

class ArenaSizes : public testing::TestWithParam<std::size_t> {};

// Allocations of every size, small and larger than a chunk, are aligned, disjoint and writable
// (ASan checks the writes).
TEST_P(ArenaSizes, AlignedAndDisjoint) {
  const std::size_t size = GetParam();
  mcts::NodeArena arena;
  std::vector<std::pair<std::uintptr_t, std::size_t>> taken;
  for (int i = 0; i < 300; ++i) {
    const std::size_t align = std::size_t{8} << (i % 4);
    void* p = arena.allocate(size, align);
    EXPECT_EQ(address(p) % align, 0u);
    std::memset(p, i & 0xFF, size);
    taken.emplace_back(address(p), size);
  }
  std::sort(taken.begin(), taken.end());
  for (std::size_t i = 1; i < taken.size(); ++i) EXPECT_LE(taken[i - 1].first + taken[i - 1].second, taken[i].first);
}

INSTANTIATE_TEST_SUITE_P(Bytes, ArenaSizes, testing::Values(24u, 632u, 6176u, 100000u));

TEST(NodeArena, OnlyTheLatestAllocationIsGivenBack) {
  mcts::NodeArena arena;
  void* first = arena.allocate(40, 8);
  void* second = arena.allocate(40, 8);
  arena.release_last(first, 40);  // not the latest: kept
  EXPECT_NE(arena.allocate(40, 8), first);
  void* latest = arena.allocate(64, 8);
  arena.release_last(latest, 64);
  EXPECT_EQ(arena.allocate(64, 8), latest);
  EXPECT_NE(first, second);
}

// The chunks of a dead arena serve the next one, and its bytes are counted the same.
TEST(NodeArena, ReusesTheChunksOfADeadArena) {
  std::vector<std::uintptr_t> first_chunks;
  std::size_t first_bytes = 0;
  {
    mcts::NodeArena arena;
    for (int i = 0; i < 100; ++i) first_chunks.push_back(address(arena.allocate(1000, 8)));
    first_bytes = arena.bytes();
  }
  mcts::NodeArena arena;
  std::size_t reused = 0;
  for (int i = 0; i < 100; ++i) {
    void* p = arena.allocate(1000, 8);
    std::memset(p, 0xAB, 1000);
    reused += std::find(first_chunks.begin(), first_chunks.end(), address(p)) != first_chunks.end();
  }
  EXPECT_EQ(arena.bytes(), first_bytes);
  EXPECT_GT(reused, 0u);
}

}  // namespace
