// Boards with physical tile numbers beyond what the receive words can carry:
// the planners must refuse them instead of emitting truncated words. r470's
// tiles (0..1471) never come near these limits.
#include <gtest/gtest.h>

#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;
using E = zx::ExchangeError;
using Tiles = std::vector<std::uint16_t>;

namespace {

std::unexpected<E> schedule(zx::ScheduleReason reason) {
  return std::unexpected(E::schedule(reason));
}

}  // namespace

// The tail's PIC wait is the receiver's phase plus 51 (less the XPIC word's
// share for a short transfer) and holds at most 127.
TEST(WideBoard, ReceiverTailMustFitThePicWait) {
  EXPECT_TRUE(zx::ordinary_receiver_tail_fits(4148, 76));
  EXPECT_FALSE(zx::ordinary_receiver_tail_fits(4148, 78));
  EXPECT_FALSE(zx::ordinary_receiver_tail_fits(1, 78));  // 50 + 78 = 128
  EXPECT_TRUE(zx::ordinary_receiver_tail_fits(2, 78));   // 49 + 78 = 127
  EXPECT_FALSE(zx::ordinary_receiver_tail_fits(51, 0xFFFFFFFEu));

  // Physical 2496 has phase 78; 2432 has phase 76.
  const zx::Topology far({0, 2496});
  EXPECT_EQ(far.point_to_point(0, 1, 100), schedule(zx::ScheduleReason::ReceiverPhase));
  EXPECT_EQ(far.point_to_point(0, 1, 1), schedule(zx::ScheduleReason::ReceiverPhase));
  EXPECT_TRUE(far.point_to_point(0, 1, 2));
  EXPECT_EQ(far.multicast(0, Tiles{1}, 100, 0), schedule(zx::ScheduleReason::ReceiverPhase));
  EXPECT_TRUE(zx::Topology({0, 2432}).point_to_point(0, 1, 4148));
  EXPECT_TRUE(zx::Topology({0, 2432}).multicast(0, Tiles{1}, 4148, 0));
  // The earlier checks still come first.
  EXPECT_EQ(far.multicast(0, Tiles{1}, 100, 4096),
            schedule(zx::ScheduleReason::MulticastStartCycle));

  // A paired transfer lays rows of its own, but its multicast still refuses the pair.
  const zx::Topology far_pair({0, 2496, 2498});
  EXPECT_EQ(far_pair.paired_multicast(0, Tiles{1, 2}, 100),
            schedule(zx::ScheduleReason::ReceiverPhase));
  zx::MulticastPlan plan;
  EXPECT_EQ(far_pair.paired_multicast_into(plan, 0, Tiles{1, 2}, 100),
            schedule(zx::ScheduleReason::ReceiverPhase));
  EXPECT_TRUE(plan.receivers.empty());
  EXPECT_EQ(plan.sender, zx::ExchangeRow{});
  EXPECT_TRUE(zx::Topology({0, 2432, 2434}).paired_multicast(0, Tiles{1, 2}, 4148));
}

// A multicast receiver's XPIC word carries the source tile in 13 bits.
TEST(WideBoard, MulticastSourceMustFitTheXpicControl) {
  EXPECT_EQ(zx::Topology({8192, 2}).multicast(0, Tiles{1}, 1, 0),
            schedule(zx::ScheduleReason::MulticastSourceTile));
  // 6144 routes like 0 and still fits: the rows differ only in the XPIC control.
  const auto wide = zx::Topology({6144, 2}).multicast(0, Tiles{1}, 1, 0);
  const auto narrow = zx::Topology({0, 2}).multicast(0, Tiles{1}, 1, 0);
  ASSERT_TRUE(wide && narrow);
  EXPECT_EQ(wide->sender, narrow->sender);
  EXPECT_EQ(wide->receivers[0][1], narrow->receivers[0][1] | 6144u);
}

// An early paired receiver's source selection names the sender's lane in 13 bits.
TEST(WideBoard, PairedSourceMustFitTheXpicControl) {
  // Physical 64 is early from 0 (and from 8192, which routes the same).
  EXPECT_EQ(zx::Topology({8192, 64, 66}).paired_receiver_row(0, 1, 8, -30),
            schedule(zx::ScheduleReason::PairedSourceTile));
  EXPECT_TRUE(zx::Topology({6144, 64, 66}).paired_receiver_row(0, 1, 8, -30));
  // The late receiver has no source selection, so nothing to truncate.
  EXPECT_TRUE(zx::Topology({8192, 64, 66}).paired_receiver_row(0, 2, 8, -30));
  EXPECT_EQ(zx::Topology({8192, 64, 66}).paired_multicast(0, Tiles{1, 2}, 8),
            schedule(zx::ScheduleReason::MulticastSourceTile));
}
