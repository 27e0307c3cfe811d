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

TEST(TimingText, WritingIntoAFixedBuffer) {
  // The widest success text and the longest error text fit the stated capacity
  // and match the string forms.
  const zx::TimingResult widest(zx::ScheduledPayloadTiming{4294967295u, 4294967295u, 4294967295u});
  const zx::TimingResult overflow =
      zx::scheduled_sender_timing({0x41800003, 0x40A001FF, 0x78000001, 0x43A00000}, 0xFFFFFDFFu);
  for (const auto& result : {widest, overflow}) {
    char buffer[zx::timing_debug_capacity];
    char* end = zx::write_debug(buffer, buffer + sizeof buffer, result);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(std::string(buffer, end), zx::debug_string(result));
  }
  // Exactly enough room succeeds; one byte less reports nullptr rather than a
  // cut text.
  const std::string text = zx::debug_string(widest);
  std::string buffer(text.size(), '\0');
  EXPECT_EQ(zx::write_debug(buffer.data(), buffer.data() + buffer.size(), widest),
            buffer.data() + buffer.size());
  EXPECT_EQ(buffer, text);
  EXPECT_EQ(zx::write_debug(buffer.data(), buffer.data() + buffer.size() - 1, widest), nullptr);
  EXPECT_EQ(zx::write_debug(buffer.data(), buffer.data(), overflow), nullptr);
}

TEST(TimingText, WritingWithCapacityAgreesWithTheBoundedWriter) {
  // One send of one word: the texts carry offset, offset + 1, offset + 1, so the
  // offsets put numbers on both sides of every digit-count step.
  const zx::ExchangeRow one_send{zx::sync_word, 0x78000001, zx::return_word};
  const std::vector<zx::ExchangeRow> failing{
      {},                                                        // no sync word
      {zx::sync_word, 0x78000001},                               // no return word
      {zx::sync_word, zx::return_word},                          // no payload
      {zx::sync_word, 0x40A001FF, 0x78000001, zx::return_word},  // overflows at the top
  };
  const std::vector<std::uint32_t> offsets{
      0,        8,         9,         98,         99,         9998,       9999,      10000,
      99999999, 100000000, 999999999, 1000000000, 0xFFFFFDFF, 0xFFFFFFFE, 0xFFFFFFFF};
  std::vector<zx::ExchangeRow> rows = failing;
  rows.push_back(one_send);
  constexpr char untouched = '#';
  for (const auto& row : rows) {
    const zx::SenderRowTiming walked(row);
    for (const std::uint32_t offset : offsets) {
      const std::string expected = zx::debug_string(walked.at(offset));
      std::array<char, zx::timing_debug_capacity + 16> buffer;
      buffer.fill(untouched);
      char* end = walked.write_debug_with_capacity(buffer.data(), offset);
      EXPECT_EQ(std::string(buffer.data(), end), expected) << offset;
      // Nothing is written past the stated room.
      for (std::size_t i = zx::timing_debug_capacity; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], untouched);
      }
      // The bounded writer gives the same text with exactly its room, and
      // nullptr with one byte less.
      std::string exact(expected.size(), untouched);
      EXPECT_EQ(walked.write_debug(exact.data(), exact.data() + exact.size(), offset),
                exact.data() + exact.size());
      EXPECT_EQ(exact, expected);
      EXPECT_EQ(walked.write_debug(exact.data(), exact.data() + exact.size() - 1, offset), nullptr);
    }
  }
  // Spot checks of what the texts are.
  const zx::SenderRowTiming walked(one_send);
  char text[zx::timing_debug_capacity];
  EXPECT_EQ(std::string(text, walked.write_debug_with_capacity(text, 9999)),
            "Ok(ScheduledPayloadTiming { payload_start: 9999, payload_end: 10000, horizon: "
            "10000 })");
  EXPECT_EQ(std::string(text, walked.write_debug_with_capacity(text, 0xFFFFFFFF)),
            "Err(Schedule(\"sender event horizon overflow\"))");
  const zx::SenderRowTiming no_payload(failing[2]);
  EXPECT_EQ(std::string(text, no_payload.write_debug_with_capacity(text, 0xFFFFFFFF)),
            "Err(Schedule(\"sender payload\"))");
}

}  // namespace
