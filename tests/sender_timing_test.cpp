// Payload timing of sender rows placed at a schedule offset.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;

namespace {

constexpr std::uint32_t sync = zx::sync_word;
constexpr std::uint32_t ret = zx::return_word;
constexpr std::uint32_t last_offset = 0xFFFFFDFF;  // 512 cycles below the top

zx::TimingResult timing(const zx::ExchangeRow& row, std::uint32_t offset) {
  return zx::scheduled_sender_timing(row, offset);
}

zx::TimingResult failure(zx::ScheduleReason reason) {
  return std::unexpected(zx::ExchangeError::schedule(reason));
}

zx::TimingResult ok(std::uint32_t start, std::uint32_t end, std::uint32_t horizon) {
  return zx::ScheduledPayloadTiming{start, end, horizon};
}

TEST(SenderTiming, PayloadIntervalAndHorizon) {
  EXPECT_EQ(timing({sync, 0x40A00002, 0x78600001, ret}, 10), ok(13, 17, 17));
  EXPECT_EQ(timing({sync, 0x40A00002, 0x78600001, 0x40A00000, ret}, 10), ok(13, 17, 18));
  // A delay between two payload sends lies inside the payload interval; a
  // send-off word occupies its 12-bit count.
  EXPECT_EQ(timing({sync, 0x78000001, 0x40A00009, 0x766FC001, 0x40A00000, ret}, 0),
            ok(0, 4095, 4096));
  // Send-control and SENDPICP words take time but move no payload; unknown
  // words and a second sync word take none.
  const std::uint32_t send_control = 0x70100000u | (2u << 21);
  EXPECT_EQ(timing({sync, send_control, 0xF8600805, 0x78000001, sync, 0x12345678, ret}, 0),
            ok(7, 8, 8));
  // Timed up to the first return word; what follows it is not the programme.
  EXPECT_EQ(timing({sync, 0x78000001, ret, 0x40A00063, 0x78000001, ret}, 0), ok(0, 1, 1));
}

TEST(SenderTiming, TopOfTheCycleRange) {
  // Sends of 1 word and a 511-cycle delay: 512 cycles fit, 513 do not.
  EXPECT_EQ(timing({sync, 0x78000001, 0x40A001FE, ret}, last_offset),
            ok(last_offset, last_offset + 1, 0xFFFFFFFF));
  EXPECT_EQ(timing({sync, 0x78000001, 0x40A001FF, ret}, last_offset),
            failure(zx::ScheduleReason::SenderEventHorizonOverflow));
  // The send itself passing the top overflows too.
  EXPECT_EQ(timing({sync, 0x7FE00001, ret}, 0xFFFFFFBF), ok(0xFFFFFFBF, 0xFFFFFFFF, 0xFFFFFFFF));
  EXPECT_EQ(timing({sync, 0x7FE00001, ret}, 0xFFFFFFC0),
            failure(zx::ScheduleReason::SenderEventHorizonOverflow));
  // A paired multicast sender row (32 cycles) at the last offset of the sweep.
  EXPECT_EQ(timing({sync, 0x40A0001E, 0x78000005, ret}, last_offset),
            ok(last_offset + 31, last_offset + 32, last_offset + 32));
}

TEST(SenderTiming, ErrorsInOrder) {
  // The entry word is checked before the return word is looked for.
  EXPECT_EQ(timing({}, 0), failure(zx::ScheduleReason::SenderRowEntry));
  EXPECT_EQ(timing({0x41800002, 0x78000001, ret}, 0), failure(zx::ScheduleReason::SenderRowEntry));
  EXPECT_EQ(timing({ret, sync, 0x78000001, ret}, 0), failure(zx::ScheduleReason::SenderRowEntry));
  EXPECT_EQ(timing({sync, 0x78000001, 0x40A00000}, 0),
            failure(zx::ScheduleReason::SenderRowReturn));
  EXPECT_EQ(timing({sync, 0x40A7FFFF, 0x40A7FFFF}, 0xFFFFFFFF),
            failure(zx::ScheduleReason::SenderRowReturn));
  // Overflow is found before the missing payload.
  EXPECT_EQ(timing({sync, 0x40A7FFFF, ret}, 0xFFF80001),
            failure(zx::ScheduleReason::SenderEventHorizonOverflow));
  EXPECT_EQ(timing({sync, ret}, 0), failure(zx::ScheduleReason::SenderPayload));
  EXPECT_EQ(timing({sync, 0x40A00002, 0x40A7FFFF, ret}, 0),
            failure(zx::ScheduleReason::SenderPayload));
  EXPECT_EQ(timing({sync, ret, 0x78000001}, 0), failure(zx::ScheduleReason::SenderPayload));
  EXPECT_EQ(zx::debug_string(timing({sync, ret}, 0)), "Err(Schedule(\"sender payload\"))");
}

TEST(SenderTiming, OneWalkServesEveryOffset) {
  // Rows that succeed, fail before the offset matters, or fail only at some
  // offsets; each timed once and read at offsets across the range.
  const std::vector<zx::ExchangeRow> rows{
      {sync, 0x40A00002, 0x78600001, ret},
      {sync, 0x78000001, 0x40A001FF, ret},
      {sync, 0x40A7FFFF, ret},
      {sync, 0x78000001, 0x40A00000},
      {0x41800002, 0x78000001, ret},
      {sync, 0x7FE00001, ret},
  };
  const std::vector<std::uint32_t> offsets{0,          1,          273,        0xFFF80000,
                                           0xFFFFFDFF, 0xFFFFFE00, 0xFFFFFFBF, 0xFFFFFFFF};
  for (const auto& row : rows) {
    const zx::SenderRowTiming walked(row);
    for (const std::uint32_t offset : offsets) {
      const zx::TimingResult expected = timing(row, offset);
      EXPECT_EQ(walked.at(offset), expected);
      char text[zx::timing_debug_capacity];
      char* end = walked.write_debug(text, text + sizeof text, offset);
      ASSERT_NE(end, nullptr);
      EXPECT_EQ(std::string(text, end), zx::debug_string(expected));
      EXPECT_EQ(walked.write_debug(text, text + 10, offset), nullptr);
    }
  }
}

}  // namespace
