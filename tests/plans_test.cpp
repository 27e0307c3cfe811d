// Point-to-point and multicast plans on the r470 board.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;
using E = zx::ExchangeError;
using Row = zx::ExchangeRow;
using Tiles = std::vector<std::uint16_t>;

namespace {

const zx::Topology& board() {
  static const zx::Topology topology = zx::Topology::r470();
  return topology;
}

std::unexpected<E> schedule(zx::ScheduleReason reason) {
  return std::unexpected(E::schedule(reason));
}

// ---- point to point --------------------------------------------------------

TEST(PointToPoint, WorkedPlans) {
  const auto one = board().point_to_point(0, 1, 1);
  ASSERT_TRUE(one);
  EXPECT_EQ(one->sender, (Row{0x41800003, 0x40A0008B, 0x78000001, 0x43A00000}));
  EXPECT_EQ(one->receiver, (Row{0x00000001, 0x41800003, 0x641C0000, 0x64000640, 0x61900000,
                                0x40A00005, 0x43A00000, 0, 0}));

  const auto hundred = board().point_to_point(0, 2, 100);
  ASSERT_TRUE(hundred);
  EXPECT_EQ(hundred->sender, (Row{0x41800003, 0x40A0008E, 0x7FE00001, 0x74600001, 0x43A00000}));
  EXPECT_EQ(hundred->receiver, (Row{0x00000001, 0x41800003, 0x641C0000, 0x61A80000, 0x640BC640,
                                    0x40A00038, 0x43A00000, 0, 0}));
}

TEST(PointToPoint, MuxTimeOf112SendsStraightAfterTheSync) {
  // Physical 1440 to physical 0: the data needs all 112 cycles to reach the mux.
  const auto plan = board().point_to_point(780, 0, 1);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->sender, (Row{0x41800003, 0x78000002, 0x40A00004, 0x43A00000}));
  EXPECT_EQ(plan->receiver, (Row{0x00000001, 0x41800003, 0x641C0000, 0x64000640, 0x61900000,
                                 0x40A00005, 0x43A00000, 0, 0}));
}

TEST(PointToPoint, ErrorsInCheckOrder) {
  EXPECT_EQ(board().point_to_point(0, 0, 0), std::unexpected(E(E::Count{0})));
  EXPECT_EQ(board().point_to_point(5000, 5000, 0), std::unexpected(E(E::Count{0})));
  EXPECT_EQ(board().point_to_point(1472, 1473, 4149), std::unexpected(E(E::Count{4149})));
  EXPECT_EQ(board().point_to_point(0, 1, 4149), std::unexpected(E(E::Count{4149})));
  EXPECT_EQ(board().point_to_point(5000, 5000, 1), std::unexpected(E(E::DuplicateTile{})));
  EXPECT_EQ(board().point_to_point(7, 7, 4148), std::unexpected(E(E::DuplicateTile{})));
  EXPECT_EQ(board().point_to_point(1472, 1473, 1), std::unexpected(E(E::Tile{1472})));
  EXPECT_EQ(board().point_to_point(1473, 0, 1), std::unexpected(E(E::Tile{1473})));
  EXPECT_EQ(board().point_to_point(0, 1472, 1), std::unexpected(E(E::Tile{1472})));
  EXPECT_EQ(board().point_to_point(0, 65535, 1), std::unexpected(E(E::Tile{65535})));
  EXPECT_TRUE(board().point_to_point(0, 1, 4148));
}

TEST(PointToPoint, SenderDelayBelowMinusOneIsRejected) {
  // Slot 31 and slot 23 sources lie beyond the r470 board: their data reaches
  // physical 0 at mux times 130 and 114, too late for a 112-cycle receive.
  EXPECT_EQ(zx::Topology({2016, 0}).point_to_point(0, 1, 1),
            schedule(zx::ScheduleReason::SenderDelay));
  EXPECT_EQ(zx::Topology({1504, 0}).point_to_point(0, 1, 1),
            schedule(zx::ScheduleReason::SenderDelay));
  // The tiles are looked up before the delay is sized.
  EXPECT_EQ(zx::Topology({2016, 0}).point_to_point(0, 2, 1), std::unexpected(E(E::Tile{2})));
  EXPECT_TRUE(zx::Topology({1440, 0}).point_to_point(0, 1, 1));
}

// For every ordered pair of distinct tiles the sender's leading delay makes the
// data reach the mux at cycle 112.
TEST(PointToPoint, EveryPairOfTilesMeetsTheMuxAtCycle112) {
  const auto table = board().logical_to_physical();
  int failures = 0;
  for (std::uint16_t sender = 0; sender < 1472; ++sender) {
    for (std::uint16_t receiver = 0; receiver < 1472; ++receiver) {
      if (sender == receiver) continue;
      const std::int32_t mux = zx::time_to_mux(table[sender], table[receiver]);
      const auto plan = board().point_to_point(sender, receiver, 1);
      bool ok = plan.has_value() && mux >= -78 && mux <= 112;
      if (ok) {
        const std::uint32_t lead = plan->sender[1];
        const std::int32_t wait = 112 - mux;
        ok = wait == 0 ? zx::is_send(lead)
                       : zx::is_exchange_delay(lead) &&
                             zx::instruction_advance(lead) == static_cast<std::uint32_t>(wait);
        ok = ok && plan->receiver[0] == 1 && plan->receiver[1] == zx::sync_word &&
             plan->receiver[2] == 0x641C0000u;
      }
      if (!ok && ++failures <= 10) {
        ADD_FAILURE() << sender << " -> " << receiver << ": mux " << mux << ", "
                      << (plan ? "lead word " + std::to_string(plan->sender[1])
                               : zx::to_string(plan.error()));
      }
    }
  }
  EXPECT_EQ(failures, 0);
}

// ---- multicast -------------------------------------------------------------

Row receiver_row(std::uint32_t xpic, std::array<std::uint32_t, 4> tail) {
  return Row{zx::sync_word, xpic, tail[0], tail[1], tail[2], tail[3], 0, 0, 0};
}

// The count-1 tail at phase 0 and phase 2 with the multicast PIC address.
constexpr std::array<std::uint32_t, 4> tail_phase0{0x64000640, 0x61914000, 0x40A00005, 0x43A00000};
constexpr std::array<std::uint32_t, 4> tail_phase2{0x64000640, 0x61A14000, 0x40A00005, 0x43A00000};

TEST(Multicast, WorkedPlans) {
  const auto two = board().multicast(0, Tiles{736, 1286}, 1, 0);
  ASSERT_TRUE(two);
  EXPECT_EQ(two->sender, (Row{0x41800003, 0x40A00016, 0x78000003, 0x43A00000}));
  EXPECT_EQ(two->receivers, (std::vector<Row>{receiver_row(0x6404C000, tail_phase0),
                                              receiver_row(0x64000000, tail_phase0)}));

  const auto single = board().multicast(0, Tiles{2}, 1, 0);
  ASSERT_TRUE(single);
  EXPECT_EQ(single->sender, (Row{0x41800003, 0x40A0001E, 0x78000001, 0x43A00000}));
  EXPECT_EQ(single->receivers, (std::vector<Row>{receiver_row(0x64000000, tail_phase2)}));

  const auto late = board().multicast(736, Tiles{0, 1471}, 1, 0);
  ASSERT_TRUE(late);
  EXPECT_EQ(late->sender, (Row{0x41800003, 0x78000003, 0x40A00004, 0x43A00000}));
  EXPECT_EQ(late->receivers, (std::vector<Row>{receiver_row(0x64110020, tail_phase0),
                                               receiver_row(0x64094020, tail_phase0)}));

  EXPECT_EQ(board().multicast(0, Tiles{736, 1286}, 1, 4095),
            schedule(zx::ScheduleReason::MulticastStartCycle));
  EXPECT_EQ(board().multicast(736, Tiles{0, 1471}, 1, 4095),
            schedule(zx::ScheduleReason::MulticastReceiveCycle));
}

TEST(Multicast, LongTransferUsesTheLongTail) {
  const auto plan = board().multicast(0, Tiles{736, 1286}, 100, 0);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->sender, (Row{0x41800003, 0x40A00016, 0x7FE00003, 0x74600003, 0x43A00000}));
  constexpr std::array<std::uint32_t, 4> tail{0x61994000, 0x640BC640, 0x40A00038, 0x43A00000};
  EXPECT_EQ(plan->receivers,
            (std::vector<Row>{receiver_row(0x6404C000, tail), receiver_row(0x64000000, tail)}));
}

TEST(Multicast, ErrorsInCheckOrder) {
  const E receiver_set = E::ReceiverSet{};
  EXPECT_EQ(board().multicast(0, Tiles{}, 0, 0), std::unexpected(E(E::Count{0})));
  EXPECT_EQ(board().multicast(1472, Tiles{}, 4149, 0), std::unexpected(E(E::Count{4149})));
  EXPECT_EQ(board().multicast(1472, Tiles{}, 1, 0), std::unexpected(E(E::Tile{1472})));
  EXPECT_EQ(board().multicast(1472, Tiles{0, 1}, 1, 0), std::unexpected(E(E::Tile{1472})));
  EXPECT_EQ(board().multicast(0, Tiles{}, 1, 0), std::unexpected(receiver_set));
  EXPECT_EQ(board().multicast(0, Tiles{}, 1, 5000), std::unexpected(receiver_set));
  EXPECT_EQ(board().multicast(0, Tiles{0}, 1, 0), std::unexpected(receiver_set));
  EXPECT_EQ(board().multicast(0, Tiles{736, 736}, 1, 0), std::unexpected(receiver_set));
  EXPECT_EQ(board().multicast(0, Tiles{0, 0}, 1, 0), std::unexpected(receiver_set));
  EXPECT_EQ(board().multicast(0, Tiles{736, 1286, 736}, 1, 5000), std::unexpected(receiver_set));
  EXPECT_EQ(board().multicast(0, Tiles{1472}, 1, 0), std::unexpected(receiver_set));
  EXPECT_EQ(board().multicast(0, Tiles{736, 1472}, 1, 0), std::unexpected(receiver_set));
  EXPECT_EQ(board().multicast(0, Tiles{65535, 736}, 1, 0), std::unexpected(receiver_set));
}

TEST(Multicast, LongReceiverLists) {
  Tiles receivers(40);
  std::iota(receivers.begin(), receivers.end(), std::uint16_t{0});
  // The sender (0) is one of forty distinct receivers.
  const auto plan = board().multicast(0, receivers, 1, 0);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->receivers.size(), 40u);
  EXPECT_EQ(plan->sender[2], 0x78000003u);

  Tiles duplicated = receivers;
  duplicated.push_back(17);
  EXPECT_EQ(board().multicast(0, duplicated, 1, 0), std::unexpected(E(E::ReceiverSet{})));
  Tiles outside = receivers;
  outside.push_back(1472);
  EXPECT_EQ(board().multicast(0, outside, 1, 0), std::unexpected(E(E::ReceiverSet{})));

  Tiles all(1472);
  std::iota(all.begin(), all.end(), std::uint16_t{0});
  const auto everyone = board().multicast(5, all, 1, 0);
  ASSERT_TRUE(everyone);
  EXPECT_EQ(everyone->receivers.size(), 1472u);
}

TEST(Multicast, StartCycleBounds) {
  // Natural start 23: offset 4072 puts the start exactly on 4095.
  const auto last = board().multicast(0, Tiles{736, 1286}, 1, 4072);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->sender, (Row{0x41800003, 0x40A00FFE, 0x78000003, 0x43A00000}));
  EXPECT_EQ(last->receivers, (std::vector<Row>{receiver_row(0x67FEC000, tail_phase0),
                                               receiver_row(0x67FA0000, tail_phase0)}));
  EXPECT_EQ(board().multicast(0, Tiles{736, 1286}, 1, 4073),
            schedule(zx::ScheduleReason::MulticastStartCycle));
  // Natural start 0: the offset alone is the start cycle.
  EXPECT_EQ(board().multicast(736, Tiles{0, 1471}, 1, 4096),
            schedule(zx::ScheduleReason::MulticastStartCycle));
  EXPECT_EQ(board().multicast(736, Tiles{0, 1471}, 1, 0xFFFFFFFF),
            schedule(zx::ScheduleReason::MulticastStartCycle));
  // 23 + offset wraps past 32 bits.
  EXPECT_EQ(board().multicast(0, Tiles{736, 1286}, 1, 0xFFFFFFFF),
            schedule(zx::ScheduleReason::MulticastStartCycle));
  EXPECT_EQ(board().multicast(0, Tiles{736, 1286}, 1, 0xFFFFFFEA),
            schedule(zx::ScheduleReason::MulticastStartCycle));
}

TEST(Multicast, ReceiveCycleBounds) {
  // Mux times 68 and 37 from physical 32: offset 4027 puts receiver 0 on 4095.
  const auto last = board().multicast(736, Tiles{0, 1471}, 1, 4027);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->sender, (Row{0x41800003, 0x40A00FBA, 0x78000003, 0x43A00000}));
  EXPECT_EQ(last->receivers, (std::vector<Row>{receiver_row(0x67FFC020, tail_phase0),
                                               receiver_row(0x67F80020, tail_phase0)}));
  EXPECT_EQ(board().multicast(736, Tiles{0, 1471}, 1, 4028),
            schedule(zx::ScheduleReason::MulticastReceiveCycle));
  EXPECT_EQ(board().multicast(736, Tiles{1471, 0}, 1, 4028),
            schedule(zx::ScheduleReason::MulticastReceiveCycle));
}

TEST(Multicast, StartCycleFollowsTheEarliestReceiver) {
  // Smallest mux time -23 (receiver 1286): start 23 + 7, and 1286 receives at cycle 7.
  const auto shifted = board().multicast(0, Tiles{736, 1286}, 1, 7);
  ASSERT_TRUE(shifted);
  EXPECT_EQ(shifted->sender, (Row{0x41800003, 0x40A0001D, 0x78000003, 0x43A00000}));
  EXPECT_EQ(shifted->receivers, (std::vector<Row>{receiver_row(0x64068000, tail_phase0),
                                                  receiver_row(0x6401C000, tail_phase0)}));
  // Every mux time positive: the start is the offset itself.
  const auto offset = board().multicast(736, Tiles{0, 1471}, 1, 5);
  ASSERT_TRUE(offset);
  EXPECT_EQ(offset->sender, (Row{0x41800003, 0x40A00004, 0x78000003, 0x43A00000}));
  EXPECT_EQ(offset->receivers, (std::vector<Row>{receiver_row(0x64124020, tail_phase0),
                                                 receiver_row(0x640A8020, tail_phase0)}));
}

TEST(Multicast, ReceiverRowsKeepTheGivenOrder) {
  const auto swapped = board().multicast(0, Tiles{1286, 736}, 1, 0);
  ASSERT_TRUE(swapped);
  EXPECT_EQ(swapped->sender, (Row{0x41800003, 0x40A00016, 0x78000003, 0x43A00000}));
  EXPECT_EQ(swapped->receivers, (std::vector<Row>{receiver_row(0x64000000, tail_phase0),
                                                  receiver_row(0x6404C000, tail_phase0)}));
  const auto late = board().multicast(736, Tiles{1471, 0}, 1, 0);
  ASSERT_TRUE(late);
  EXPECT_EQ(late->receivers, (std::vector<Row>{receiver_row(0x64094020, tail_phase0),
                                               receiver_row(0x64110020, tail_phase0)}));
}

TEST(Multicast, SenderInAListOfTwo) {
  // Mux times -29 to itself (physical 0) and -31 to physical 64: start 31.
  const Row own = receiver_row(0x64008000, tail_phase0);
  const Row other = receiver_row(0x64000000, tail_phase2);
  const Row sender{0x41800003, 0x40A0001E, 0x78000003, 0x43A00000};
  const auto first = board().multicast(0, Tiles{0, 2}, 1, 0);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->sender, sender);
  EXPECT_EQ(first->receivers, (std::vector<Row>{own, other}));
  const auto second = board().multicast(0, Tiles{2, 0}, 1, 0);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->sender, sender);
  EXPECT_EQ(second->receivers, (std::vector<Row>{other, own}));
}

TEST(Multicast, SingleReceiverSendsInItsRouteDirection) {
  // Physical 4 to physical 0 routes backwards (direction 2), mux time -20.
  const auto backwards = board().multicast(92, Tiles{0}, 1, 0);
  ASSERT_TRUE(backwards);
  EXPECT_EQ(backwards->sender, (Row{0x41800003, 0x40A00013, 0x78000002, 0x43A00000}));
  EXPECT_EQ(backwards->receivers, (std::vector<Row>{receiver_row(0x64000004, tail_phase0)}));
  // Physical 32 to physical 0: direction 2, mux time 68, so no leading delay.
  const auto late = board().multicast(736, Tiles{0}, 1, 0);
  ASSERT_TRUE(late);
  EXPECT_EQ(late->sender, (Row{0x41800003, 0x78000002, 0x40A00004, 0x43A00000}));
  EXPECT_EQ(late->receivers, (std::vector<Row>{receiver_row(0x64110020, tail_phase0)}));
}

TEST(Multicast, BuildingIntoAReusedPlan) {
  zx::MulticastPlan plan;
  ASSERT_TRUE(board().multicast_into(plan, 0, Tiles{736, 1286}, 1, 0));
  EXPECT_EQ(plan, *board().multicast(0, Tiles{736, 1286}, 1, 0));
  ASSERT_TRUE(board().multicast_into(plan, 0, Tiles{2}, 1, 0));
  EXPECT_EQ(plan, *board().multicast(0, Tiles{2}, 1, 0));
  EXPECT_EQ(board().multicast_into(plan, 736, Tiles{0, 1471}, 1, 4095),
            schedule(zx::ScheduleReason::MulticastReceiveCycle));
  EXPECT_EQ(plan, zx::MulticastPlan{});
  // One of these orders refuses its second receiver after laying the first row.
  for (const Tiles& receivers : {Tiles{0, 1471}, Tiles{1471, 0}}) {
    ASSERT_TRUE(board().multicast_into(plan, 0, Tiles{736, 1286}, 1, 0));
    EXPECT_EQ(board().multicast_into(plan, 736, receivers, 1, 4028),
              schedule(zx::ScheduleReason::MulticastReceiveCycle));
    EXPECT_EQ(plan, zx::MulticastPlan{});
  }
}

}  // namespace
