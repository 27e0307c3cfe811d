// Debug texts of timing results, as the digest hashes them, by every text form:
// the string forms, the stream form and the bounded writer.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <iomanip>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "zerin/exchange/sender_timing.hpp"

namespace zx = zerin::exchange;
using E = zx::ExchangeError;

namespace {

// Bytes after the room, to catch a write past `last`.
constexpr std::size_t guard = 16;

// What to_chars() writes with `room` bytes, or "<too large>"; checks that
// nothing is written past the room.
template <class Value>
std::string written(const Value& value, std::size_t room) {
  std::vector<char> buffer(room + guard, '#');
  char* const last = buffer.data() + room;
  const std::to_chars_result result = zx::to_chars(buffer.data(), last, value);
  for (std::size_t i = room; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], '#') << "written past the room of " << room;
  }
  if (result.ec == std::errc::value_too_large) {
    EXPECT_EQ(result.ptr, last);
    return "<too large>";
  }
  EXPECT_EQ(result.ec, std::errc{});
  return {buffer.data(), result.ptr};
}

// The text to_chars() writes with the largest room any text needs.
template <class Value>
std::string written(const Value& value) {
  return written(value, zx::timing_debug_max_size);
}

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
  // Many texts into one string, which grows on the way: none is cut or lost.
  std::string many;
  std::string expected;
  for (std::uint32_t i = 0; i < 200; ++i) {
    const zx::ScheduledPayloadTiming timing{i, i * 40503u, 4294967295u - i};
    zx::append_debug(many, timing);
    zx::append_debug(many, zx::TimingResult(timing));
    expected += zx::debug_string(timing) + zx::debug_string(zx::TimingResult(timing));
  }
  EXPECT_EQ(many, expected);
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
    const std::string text = "ScheduledPayloadTiming { payload_start: " + n +
                             ", payload_end: " + n + ", horizon: " + n + " }";
    const zx::ScheduledPayloadTiming timing{v, v, v};
    EXPECT_EQ(zx::debug_string(timing), text);
    EXPECT_EQ(written(timing), text);
    EXPECT_EQ(written(zx::TimingResult(timing)), "Ok(" + text + ")");
  }
}

TEST(TimingText, BoundedWriterGivesEveryErrorText) {
  // The four errors of the timing walk, and every other variant a result may
  // carry, the longest error text among them.
  const zx::ExchangeRow sender{0x41800003, 0x40A001FF, 0x78000001, 0x43A00000};
  const std::vector<std::pair<zx::TimingResult, std::string>> cases{
      {zx::scheduled_sender_timing(zx::ExchangeRow{}, 0), R"(Err(Schedule("sender row entry")))"},
      {zx::scheduled_sender_timing(zx::ExchangeRow{zx::sync_word}, 0),
       R"(Err(Schedule("sender row return")))"},
      {zx::scheduled_sender_timing(sender, 0xFFFFFDFFu),
       R"(Err(Schedule("sender event horizon overflow")))"},
      {zx::scheduled_sender_timing(zx::ExchangeRow{zx::sync_word, zx::return_word}, 0),
       R"(Err(Schedule("sender payload")))"},
      {std::unexpected(E::ValidationBudgetExceeded{}), "Err(ValidationBudgetExceeded)"},
      {std::unexpected(E::Tile{65535}), "Err(Tile(65535))"},
      {std::unexpected(E::DuplicateTile{}), "Err(DuplicateTile)"},
      {std::unexpected(E::Count{0}), "Err(Count(0))"},
      {std::unexpected(E::ReceiverSet{}), "Err(ReceiverSet)"},
      {std::unexpected(E::schedule(zx::ScheduleReason::PhaseSelfReceiver)),
       R"(Err(Schedule("phase transfer receives on its sending tile")))"},
      {std::unexpected(E::PlanOffsetRange{4294967295u, 4294967295u}),
       "Err(PlanOffsetRange { cycles: 4294967295, maximum: 4294967295 })"},
      {std::unexpected(E::Address{4779}), "Err(Address(4779))"},
      {std::unexpected(E::HostPacket{}), "Err(HostPacket)"},
  };
  for (const auto& [result, text] : cases) {
    EXPECT_EQ(zx::debug_string(result), text);
    EXPECT_EQ(written(result), text);
    EXPECT_EQ(written(result, text.size()), text) << "in a room of its own size";
  }
  for (std::size_t i = 0; i < zx::schedule_reason_count; ++i) {
    const zx::TimingResult result(std::unexpect, E::schedule(static_cast<zx::ScheduleReason>(i)));
    EXPECT_EQ(written(result), zx::debug_string(result));
  }
}

TEST(TimingText, BoundedWriterRefusesTooSmallARoom) {
  const zx::ScheduledPayloadTiming longest{4294967295u, 4294967295u, 4294967295u};
  const zx::TimingResult results[] = {
      longest,
      zx::ScheduledPayloadTiming{3, 10, 12},
      zx::scheduled_sender_timing(zx::ExchangeRow{}, 0),
  };
  EXPECT_EQ(zx::debug_string(results[0]).size(), zx::timing_debug_max_size);
  for (const zx::TimingResult& result : results) {
    const std::string text = zx::debug_string(result);
    for (std::size_t room = 0; room < text.size(); ++room) {
      EXPECT_EQ(written(result, room), "<too large>") << text << " in " << room;
    }
    for (std::size_t room = text.size(); room <= text.size() + 2; ++room) {
      EXPECT_EQ(written(result, room), text);
    }
  }
  const std::string record = zx::debug_string(longest);
  EXPECT_EQ(written(longest, record.size() - 1), "<too large>");
  EXPECT_EQ(written(longest, record.size()), record);
}

TEST(TimingText, StreamFormHonoursWidthAndFill) {
  std::ostringstream stream;
  stream << std::setfill('.') << std::setw(74) << zx::ScheduledPayloadTiming{1, 2, 3} << '|'
         << zx::ScheduledPayloadTiming{4, 5, 6};
  EXPECT_EQ(stream.str(),
            "...ScheduledPayloadTiming { payload_start: 1, payload_end: 2, horizon: 3 }|"
            "ScheduledPayloadTiming { payload_start: 4, payload_end: 5, horizon: 6 }");
}

}  // namespace
