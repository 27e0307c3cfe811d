// Pair partners: the first logical tile whose physical number differs in bit 1.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "zerin/exchange/topology.hpp"

namespace zx = zerin::exchange;

namespace {

TEST(PairedLogical, EveryR470TileHasItsNeighbourAsPartner) {
  const zx::Topology board = zx::Topology::r470();
  for (std::uint16_t logical = 0; logical < zx::r470_tile_count; ++logical) {
    const auto partner = board.paired_logical(logical);
    ASSERT_TRUE(partner) << logical;
    EXPECT_EQ(*partner, logical ^ 1u) << logical;
  }
  EXPECT_EQ(board.paired_logical(1472).error(), zx::ExchangeError(zx::ExchangeError::Tile{1472}));
}

TEST(PairedLogical, FirstMatchAnywhereInTheTable) {
  // Partners planted at every position, including the ragged end after the
  // last whole block, and duplicates where the earlier index must win.
  for (std::size_t size : {1u, 2u, 31u, 32u, 33u, 64u, 100u, 1472u}) {
    for (std::size_t at = 0; at < size; ++at) {
      std::vector<std::uint16_t> table(size, 1000);
      table[0] = 6;  // logical 0 is physical 6; its partner is physical 4
      if (at == 0) continue;
      table[at] = 4;
      if (at + 1 < size) table[at + 1] = 4;
      if (at + 40 < size) table[at + 40] = 4;
      const zx::Topology topology(table);
      const auto partner = topology.paired_logical(0);
      ASSERT_TRUE(partner) << size << " " << at;
      EXPECT_EQ(*partner, at) << size;
    }
    std::vector<std::uint16_t> lonely(size, 1000);
    lonely[0] = 6;
    EXPECT_EQ(zx::Topology(lonely).paired_logical(0).error(),
              zx::ExchangeError(zx::ExchangeError::Tile{0}));
  }
}

TEST(PairedLogical, SmallTables) {
  // The partner's number lies above every physical number of the table.
  EXPECT_EQ(zx::Topology({1}).paired_logical(0).error(),
            zx::ExchangeError(zx::ExchangeError::Tile{0}));
  // Two logical tiles on physical 2: both find logical 0 as partner, and logical
  // 0 finds the first of them.
  const zx::Topology doubled({0, 2, 2});
  EXPECT_EQ(doubled.paired_logical(0).value(), 1);
  EXPECT_EQ(doubled.paired_logical(1).value(), 0);
  EXPECT_EQ(doubled.paired_logical(2).value(), 0);
  EXPECT_EQ(zx::Topology({}).paired_logical(0).error(),
            zx::ExchangeError(zx::ExchangeError::Tile{0}));
}

}  // namespace
