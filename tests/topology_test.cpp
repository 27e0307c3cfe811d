// The r470 logical-to-physical map and the topology lookups.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;
using E = zx::ExchangeError;

namespace {

const zx::Topology& board() {
  static const zx::Topology topology = zx::Topology::r470();
  return topology;
}

TEST(R470Map, TellingRows) {
  const std::pair<std::uint16_t, std::uint16_t> rows[] = {
      {0, 0},     {1, 2},     {2, 64},    {3, 66},    {44, 1408},  {45, 1410}, {46, 1409},
      {47, 1411}, {48, 1345}, {90, 1},    {91, 3},    {92, 4},     {93, 6},    {274, 9},
      {736, 32},  {1286, 53}, {1470, 61}, {1471, 63}, {780, 1440},
  };
  for (const auto& [logical, physical] : rows) {
    EXPECT_EQ(zx::r470_logical_to_physical(logical), physical) << "logical " << logical;
    EXPECT_EQ(board().physical(logical), physical) << "logical " << logical;
  }
}

TEST(R470Map, BoardIsAPermutationOfItsTiles) {
  const auto table = board().logical_to_physical();
  ASSERT_EQ(table.size(), 1472u);
  ASSERT_EQ(board().size(), 1472u);
  std::vector<int> seen(1472, 0);
  for (const std::uint16_t physical : table) {
    ASSERT_LT(physical, 1472u);
    ++seen[physical];
  }
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
}

TEST(R470Map, PhysicalNumbersCarryGroupLaneAndSlot) {
  for (unsigned logical = 0; logical < 1472; ++logical) {
    const unsigned physical = board().logical_to_physical()[logical];
    const unsigned group = logical / 46;
    const unsigned position = (logical / 2) % 23;
    EXPECT_EQ(physical & 1u, group % 2) << logical;
    EXPECT_EQ((physical >> 1) & 1u, logical % 2) << logical;
    EXPECT_EQ((physical >> 2) & 0xFu, group / 2) << logical;
    // Even groups sweep slots upward, odd groups downward.
    EXPECT_EQ(physical >> 6, group % 2 == 0 ? position : 22 - position) << logical;
  }
}

TEST(R470Map, TotalOverSixteenBitsWithoutOverflow) {
  unsigned largest = 0;
  for (std::uint32_t logical = 0; logical <= 0xFFFF; ++logical) {
    const unsigned got = zx::r470_logical_to_physical(static_cast<std::uint16_t>(logical));
    // The rule in wide arithmetic: a wrap in 16 bits would show as a difference.
    const std::uint64_t pair = logical / 2, lane = logical % 2, group = pair / 23;
    const std::uint64_t slot = group % 2 ? 22 - pair % 23 : pair % 23;
    const std::uint64_t wide = slot * 64 + (group / 2) * 4 + group % 2 + lane * 2;
    ASSERT_EQ(got, wide) << "logical " << logical;
    largest = std::max(largest, got);
  }
  EXPECT_EQ(largest, 4255u);
  EXPECT_EQ(zx::r470_logical_to_physical(65535), 3810u);
}

TEST(TopologyLookup, PhysicalRejectsTilesOutsideTheTable) {
  EXPECT_EQ(board().physical(0), 0u);
  EXPECT_EQ(board().physical(2), 64u);
  EXPECT_EQ(board().physical(1471), 63u);
  EXPECT_EQ(board().physical(1472), std::unexpected(E(E::Tile{1472})));
  EXPECT_EQ(board().physical(65535), std::unexpected(E(E::Tile{65535})));
  EXPECT_EQ(zx::Topology({}).physical(0), std::unexpected(E(E::Tile{0})));
}

TEST(TopologyLookup, PairPartners) {
  EXPECT_EQ(board().paired_logical(0), 1u);
  EXPECT_EQ(board().paired_logical(1), 0u);
  EXPECT_EQ(board().paired_logical(274), 275u);
  EXPECT_EQ(board().paired_logical(1286), 1287u);
  EXPECT_EQ(board().paired_logical(1471), 1470u);
  EXPECT_EQ(board().paired_logical(1472), std::unexpected(E(E::Tile{1472})));
  EXPECT_EQ(board().paired_logical(65535), std::unexpected(E(E::Tile{65535})));
  for (std::uint16_t logical = 0; logical < 1472; ++logical) {
    ASSERT_EQ(board().paired_logical(logical), logical ^ 1u) << logical;
  }
}

TEST(TopologyLookup, PartnerSearchOnOtherTables) {
  // No entry holds physical 0 ^ 2: the error names the asked tile, not a partner.
  EXPECT_EQ(zx::Topology({0, 1}).paired_logical(0), std::unexpected(E(E::Tile{0})));
  EXPECT_EQ(zx::Topology({0, 1}).paired_logical(1), std::unexpected(E(E::Tile{1})));
  // The first matching entry wins.
  const zx::Topology doubled({2, 0, 0});
  EXPECT_EQ(doubled.paired_logical(0), 1u);
  EXPECT_EQ(doubled.paired_logical(1), 0u);
  EXPECT_EQ(doubled.paired_logical(2), 0u);
}

TEST(TopologyLookup, PartnerBeyondSixteenBitsIsAnInternalFault) {
  // Only index 65536, unreachable as a logical tile, holds the partner of tile 0.
  std::vector<std::uint16_t> table(65537, 0);
  table.back() = 2;
  const zx::Topology wide(std::move(table));
  try {
    (void)wide.paired_logical(0);
    FAIL() << "expected an internal fault";
  } catch (const zx::InternalFault& fault) {
    EXPECT_STREQ(fault.what(), "logical tile count fits u16");
  }
}

}  // namespace
