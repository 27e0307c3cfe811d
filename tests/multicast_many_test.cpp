// Multicast to long receiver lists: every row is timed to its own receiver.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;

namespace {

TEST(MulticastMany, RowsFollowTheirReceiversInAnyOrder) {
  const zx::Topology board = zx::Topology::r470();
  const std::vector<std::uint16_t> receivers{736, 1286, 2,   3,    274, 275, 9,
                                             100, 1471, 640, 1000, 17,  555};
  std::vector<std::uint16_t> reversed(receivers.rbegin(), receivers.rend());
  const auto plan = board.multicast(0, receivers, 20, 5);
  const auto back = board.multicast(0, reversed, 20, 5);
  ASSERT_TRUE(plan) << zx::to_string(plan.error());
  ASSERT_TRUE(back) << zx::to_string(back.error());
  EXPECT_EQ(plan->sender, back->sender);
  ASSERT_EQ(plan->receivers.size(), receivers.size());
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    EXPECT_EQ(plan->receivers[i], back->receivers[receivers.size() - 1 - i]) << i;
    // Word 1 is the XPIC delay to the receive cycle: the common start cycle
    // plus this receiver's own mux time.
    const auto receive_cycle = [&](std::size_t r) {
      return static_cast<std::int32_t>(
                 zx::word_format::xpic_delay.field("advance").get(plan->receivers[r][1])) -
             zx::time_to_mux(0, *board.physical(receivers[r]));
    };
    EXPECT_EQ(receive_cycle(i), receive_cycle(0)) << i;
  }
}

}  // namespace
