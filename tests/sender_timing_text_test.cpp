// Debug texts of timing results, as the digest hashes them.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "zerin/exchange/sender_timing.hpp"

namespace zx = zerin::exchange;

namespace {

TEST(TimingText, ValuesAtBothEnds) {
  EXPECT_EQ(zx::debug_string(zx::TimingResult(zx::ScheduledPayloadTiming{0, 0, 0})),
            "Ok(ScheduledPayloadTiming { payload_start: 0, payload_end: 0, horizon: 0 })");
  EXPECT_EQ(zx::debug_string(zx::TimingResult(
                zx::ScheduledPayloadTiming{4294967293u, 4294967294u, 4294967295u})),
            "Ok(ScheduledPayloadTiming { payload_start: 4294967293, payload_end: 4294967294, "
            "horizon: 4294967295 })");
  EXPECT_EQ(zx::debug_string(zx::ScheduledPayloadTiming{3, 10, 12}),
            "ScheduledPayloadTiming { payload_start: 3, payload_end: 10, horizon: 12 }");
}

TEST(TimingText, ErrorsAndAppending) {
  EXPECT_EQ(zx::debug_string(zx::scheduled_sender_timing(zx::ExchangeRow{}, 0)),
            "Err(Schedule(\"sender row entry\"))");
  EXPECT_EQ(zx::debug_string(zx::TimingResult(std::unexpected(zx::ExchangeError::Count{5000}))),
            "Err(Count(5000))");
  // The appending form adds to what is there.
  std::string text = "x";
  zx::append_debug(text, zx::TimingResult(zx::ScheduledPayloadTiming{1, 2, 3}));
  zx::append_debug(text, zx::scheduled_sender_timing(zx::ExchangeRow{0x41800003}, 0));
  EXPECT_EQ(text,
            "xOk(ScheduledPayloadTiming { payload_start: 1, payload_end: 2, horizon: 3 })"
            "Err(Schedule(\"sender row return\"))");
}

TEST(TimingText, HorizonOverflowAtTheLastTimingOffset) {
  // 512 cycles fit after 0xFFFFFDFF, 513 do not: sync, delay(510) = 511 cycles, one send.
  const zx::ExchangeRow fits{0x41800003, 0x40A001FE, 0x78000001, 0x43A00000};
  EXPECT_EQ(zx::debug_string(zx::scheduled_sender_timing(fits, 0xFFFFFDFFu)),
            "Ok(ScheduledPayloadTiming { payload_start: 4294967294, payload_end: 4294967295, "
            "horizon: 4294967295 })");
  const zx::ExchangeRow too_long{0x41800003, 0x40A001FF, 0x78000001, 0x43A00000};
  EXPECT_EQ(zx::debug_string(zx::scheduled_sender_timing(too_long, 0xFFFFFDFFu)),
            "Err(Schedule(\"sender event horizon overflow\"))");
}

TEST(TimingText, NumbersAtEveryDigitCountBoundary) {
  std::vector<std::uint32_t> values{0, 4294967295u};
  for (std::uint32_t v = 0; v < 20000; ++v) values.push_back(v);
  for (std::uint64_t power = 10; power <= 1000000000; power *= 10) {
    values.push_back(static_cast<std::uint32_t>(power - 1));
    values.push_back(static_cast<std::uint32_t>(power));
    values.push_back(static_cast<std::uint32_t>(power + 1));
  }
  // Values across the whole range, every digit position varied: a fault in one
  // lane of the eight-digit split shows in some digit.
  std::uint32_t x = 1;
  for (int i = 0; i < 20000; ++i) {
    x = x * 1664525u + 1013904223u;
    values.push_back(x);
    values.push_back(x >> (i % 28));
  }
  for (const std::uint32_t v : {100000001u, 1000000000u, 1000000009u, 99999999u, 10000001u,
                                4200000000u, 4000000000u, 2147483648u}) {
    values.push_back(v);
  }
  for (const std::uint32_t v : values) {
    const std::string n = std::to_string(v);
    EXPECT_EQ(zx::debug_string(zx::ScheduledPayloadTiming{v, v, v}),
              "ScheduledPayloadTiming { payload_start: " + n + ", payload_end: " + n +
                  ", horizon: " + n + " }");
  }
}

}  // namespace
