// End-to-end worked plans on the r470 board.
#include <gtest/gtest.h>

#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;

namespace {

const zx::Topology& board() {
  static const zx::Topology topology = zx::Topology::r470();
  return topology;
}

TEST(WorkedExamples, PointToPointZeroToOne) {
  const auto plan = board().point_to_point(0, 1, 1);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->sender, (zx::ExchangeRow{0x41800003, 0x40A0008B, 0x78000001, 0x43A00000}));
  EXPECT_EQ(plan->receiver, (zx::ExchangeRow{0x00000001, 0x41800003, 0x641C0000, 0x64000640,
                                             0x61900000, 0x40A00005, 0x43A00000, 0, 0}));
}

TEST(WorkedExamples, MulticastToTwo) {
  const std::vector<std::uint16_t> receivers{736, 1286};
  const auto plan = board().multicast(0, receivers, 1, 0);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->sender, (zx::ExchangeRow{0x41800003, 0x40A00016, 0x78000003, 0x43A00000}));
  ASSERT_EQ(plan->receivers.size(), 2u);
  EXPECT_EQ(plan->receivers[0], (zx::ExchangeRow{0x41800003, 0x6404C000, 0x64000640, 0x61914000,
                                                 0x40A00005, 0x43A00000, 0, 0, 0}));
  EXPECT_EQ(plan->receivers[1], (zx::ExchangeRow{0x41800003, 0x64000000, 0x64000640, 0x61914000,
                                                 0x40A00005, 0x43A00000, 0, 0, 0}));
}

TEST(WorkedExamples, PairedMulticastCountEight) {
  const std::vector<std::uint16_t> receivers{2, 3};
  const auto plan = board().paired_multicast(0, receivers, 8);
  ASSERT_TRUE(plan) << zx::to_string(plan.error());
  ASSERT_EQ(plan->receivers.size(), 2u);
  EXPECT_EQ(plan->receivers[0],
            (zx::ExchangeRow{0x41800003, 0x64002000, 0x6401E640, 0x61640001, 0x60080000, 0x602C0000,
                             0x40A00006, 0x43A00000, 0}));
  EXPECT_EQ(plan->receivers[1], (zx::ExchangeRow{0x41800003, 0x61AC0001, 0x60080000, 0x602C0000,
                                                 0x40A00006, 0x43A00000, 0, 0, 0}));
}

TEST(WorkedExamples, SenderTiming) {
  const zx::ExchangeRow row{0x41800003, 0x40A00002, 0x78600001, 0x43A00000};
  EXPECT_EQ(zx::debug_string(zx::scheduled_sender_timing(row, 10)),
            "Ok(ScheduledPayloadTiming { payload_start: 13, payload_end: 17, horizon: 17 })");
}

}  // namespace
