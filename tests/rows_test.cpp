// Sender rows and ordinary receiver tails.
#include <gtest/gtest.h>

#include <cstdint>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;
using E = zx::ExchangeError;

namespace {

struct SenderCase {
  std::uint32_t count, direction;
  std::int32_t sender_delay;
  zx::ExchangeRow row;
};

TEST(SenderRow, WorkedRows) {
  const SenderCase cases[] = {
      {1, 1, 0, {0x41800003, 0x40A00000, 0x78000001, 0x40A00003, 0x43A00000}},
      {1, 2, -1, {0x41800003, 0x78000002, 0x40A00004, 0x43A00000}},
      {3, 1, 1, {0x41800003, 0x40A00001, 0x78400001, 0x40A00000, 0x43A00000}},
      {64, 1, 10, {0x41800003, 0x40A0000A, 0x7FE00001, 0x43A00000}},
      {65, 2, 10, {0x41800003, 0x40A0000A, 0x7FE00002, 0x70000002, 0x43A00000}},
      {4148, 1, -1, {0x41800003, 0x7FE00001, 0x766FC001, 0x43A00000}},
      // A trailing delay of exactly 0 is still written.
      {1, 1, 3, {0x41800003, 0x40A00003, 0x78000001, 0x40A00000, 0x43A00000}},
      // Long transfer with a leading delay: no trailing delay, send-off carries the rest.
      {100, 1, 142, {0x41800003, 0x40A0008E, 0x7FE00001, 0x74600001, 0x43A00000}},
      {4148, 3, 0x7FFFF, {0x41800003, 0x40A7FFFF, 0x7FE00003, 0x766FC003, 0x43A00000}},
  };
  for (const SenderCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "count " << c.count << " direction " << c.direction
                                    << " delay " << c.sender_delay);
    EXPECT_EQ(zx::primitive_sender_row(c.count, c.direction, c.sender_delay), c.row);
  }
}

TEST(SenderRow, DirectionAboveSevenIsRejected) {
  EXPECT_EQ(zx::primitive_sender_row(1, 8, 0),
            std::unexpected(E::schedule(zx::ScheduleReason::SendInstructionOperand)));
  EXPECT_EQ(zx::primitive_sender_row(100, 8, -1),
            std::unexpected(E::schedule(zx::ScheduleReason::SendInstructionOperand)));
  EXPECT_TRUE(zx::primitive_sender_row(1, 7, 0));
}

// Short transfers with both delays present always take exactly six cycles.
TEST(SenderRow, ShortProgrammeTakesSixCycles) {
  for (std::uint32_t count = 1; count <= 4; ++count) {
    for (std::int32_t delay = 0; delay <= 4 - static_cast<std::int32_t>(count); ++delay) {
      const auto row = zx::primitive_sender_row(count, 1, delay);
      ASSERT_TRUE(row);
      std::uint32_t cycles = 0;
      for (const std::uint32_t word : *row) cycles += zx::instruction_advance(word);
      EXPECT_EQ(cycles, 6u) << "count " << count << " delay " << delay;
      EXPECT_EQ((*row)[4], zx::return_word) << "count " << count << " delay " << delay;
    }
  }
}

// Each row: sync, optional leading delay of `delay` + 1 cycles, sends moving
// exactly `count` words, return, then zero fill.
TEST(SenderRow, SendsCarryTheWholeCount) {
  for (const std::uint32_t count : {1u, 4u, 5u, 63u, 64u, 65u, 66u, 128u, 4096u, 4147u, 4148u}) {
    for (const std::int32_t delay : {-1, 0, 1, 200}) {
      const auto row = zx::primitive_sender_row(count, 2, delay);
      ASSERT_TRUE(row);
      ASSERT_EQ((*row)[0], zx::sync_word);
      std::size_t index = 1;
      if (delay >= 0) {
        ASSERT_TRUE(zx::is_exchange_delay((*row)[index]));
        EXPECT_EQ(zx::instruction_advance((*row)[index]), static_cast<std::uint32_t>(delay) + 1);
        ++index;
      }
      std::uint32_t sent = 0;
      while (zx::is_payload_send((*row)[index])) sent += zx::instruction_advance((*row)[index++]);
      EXPECT_EQ(sent, count) << "count " << count << " delay " << delay;
      while ((*row)[index] != zx::return_word) {
        ASSERT_TRUE(zx::is_exchange_delay((*row)[index])) << "count " << count;
        ++index;
      }
      for (++index; index < zx::row_length; ++index) EXPECT_EQ((*row)[index], 0u);
    }
  }
}

struct TailCase {
  std::uint32_t count, phase, address;
  std::array<std::uint32_t, 4> tail;
};

TEST(ReceiverTail, WorkedTails) {
  const TailCase cases[] = {
      {1, 0, 0, {0x64000640, 0x61900000, 0x40A00005, 0x43A00000}},
      {51, 0, 0, {0x640C8640, 0x60000000, 0x40A00037, 0x43A00000}},
      {52, 0, 0, {0x61980000, 0x64000640, 0x40A00038, 0x43A00000}},
      {53, 0, 0, {0x61980000, 0x64000640, 0x40A00038, 0x43A00000}},
      {54, 4, 0x14000, {0x61B94000, 0x64004640, 0x40A00038, 0x43A00000}},
      {4148, 44, 0, {0x62F80000, 0x67FFC640, 0x40A00038, 0x43A00000}},
      {1, 0, 0x14000, {0x64000640, 0x61914000, 0x40A00005, 0x43A00000}},
      {100, 2, 0, {0x61A80000, 0x640BC640, 0x40A00038, 0x43A00000}},
  };
  for (const TailCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "count " << c.count << " phase " << c.phase);
    EXPECT_EQ(zx::ordinary_receiver_tail(c.count, c.phase, c.address), c.tail);
  }
}

// Whatever the count, the PIC control lands receiver_phase + 52 cycles into the
// tail, carries the address with a clear selector, and the XPIC word the
// 0x640 source control with a clear flag.
TEST(ReceiverTail, PicControlLandsAtPhasePlusFiftyTwo) {
  using Pic = zx::word_format::PicDelay;
  using Xpic = zx::word_format::XpicDelay;
  for (std::uint32_t count = 1; count <= 4148; ++count) {
    for (const std::uint32_t phase : {0u, 2u, 17u, 44u}) {
      const auto tail = zx::ordinary_receiver_tail(count, phase, 0x14000);
      std::uint32_t elapsed = 0;
      std::size_t index = 0;
      for (; index < 2; ++index) {
        elapsed += zx::instruction_advance(tail[index]);
        if (zx::is_pic_delay(tail[index])) break;
      }
      ASSERT_LT(index, 2u) << "count " << count;
      ASSERT_EQ(elapsed, phase + 52) << "count " << count << " phase " << phase;
      ASSERT_EQ(Pic::control.get(tail[index]), 0x14000u);
      ASSERT_EQ(Pic::selector.get(tail[index]), 0u);
      const std::uint32_t xpic = tail[1 - index];
      ASSERT_TRUE(zx::is_xpic_delay(xpic)) << "count " << count;
      ASSERT_EQ(Xpic::control.get(xpic), 0x640u);
      ASSERT_EQ(Xpic::flag.get(xpic), 0u);
      ASSERT_EQ(tail[3], zx::return_word);
    }
  }
}

}  // namespace
