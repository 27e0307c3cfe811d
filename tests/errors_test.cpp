// Display and debug texts of errors and of sender-timing results.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;
using E = zx::ExchangeError;

namespace {

struct TextCase {
  E error;
  std::string display;
  std::string debug;
};

TEST(ErrorTexts, EveryVariantHasItsDisplayAndDebugText) {
  const TextCase cases[] = {
      {E::ValidationBudgetExceeded{}, "exchange incremental-encoding work budget exhausted",
       "ValidationBudgetExceeded"},
      {E::Tile{1472}, "logical tile 1472 is out of range", "Tile(1472)"},
      {E::Tile{65535}, "logical tile 65535 is out of range", "Tile(65535)"},
      {E::Tile{0}, "logical tile 0 is out of range", "Tile(0)"},
      {E::DuplicateTile{}, "exchange endpoints must be distinct", "DuplicateTile"},
      {E::Count{0}, "exchange count 0 is outside 1..=4148", "Count(0)"},
      {E::Count{4149}, "exchange count 4149 is outside 1..=4148", "Count(4149)"},
      {E::Count{4294967295u}, "exchange count 4294967295 is outside 1..=4148", "Count(4294967295)"},
      {E::ReceiverSet{}, "invalid multicast receiver set", "ReceiverSet"},
      {E::Schedule{zx::ScheduleReason::SenderRowReturn},
       "exchange schedule is not encodable: sender row return", "Schedule(\"sender row return\")"},
      {E::Schedule{zx::ScheduleReason::SenderPayload},
       "exchange schedule is not encodable: sender payload", "Schedule(\"sender payload\")"},
      {E::PlanOffsetRange{4294967295u, 65535},
       "exchange event offset 4294967295 cycles from the phase-entry sync exceeds the encodable "
       "maximum of 65535 cycles",
       "PlanOffsetRange { cycles: 4294967295, maximum: 65535 }"},
      {E::PlanOffsetRange{0, 0},
       "exchange event offset 0 cycles from the phase-entry sync exceeds the encodable maximum "
       "of 0 cycles",
       "PlanOffsetRange { cycles: 0, maximum: 0 }"},
      {E::Address{0}, "tile address 0x0 is not encodable", "Address(0)"},
      {E::Address{4779}, "tile address 0x12ab is not encodable", "Address(4779)"},
      {E::Address{0xFFFFFFFFu}, "tile address 0xffffffff is not encodable", "Address(4294967295)"},
      {E::HostPacket{}, "host exchange address or length is not encodable", "HostPacket"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(zx::to_string(c.error), c.display);
    EXPECT_EQ(zx::debug_string(c.error), c.debug);
    std::ostringstream stream;
    stream << c.error;
    EXPECT_EQ(stream.str(), c.display);
  }
}

TEST(ErrorTexts, AppendingFormsKeepWhatIsAlreadyInTheBuffer) {
  std::string out = "x=";
  zx::append_display(out, E::Count{7});
  out += ';';
  zx::append_debug(out, E::Schedule{zx::ScheduleReason::MulticastStartCycle});
  EXPECT_EQ(out, "x=exchange count 7 is outside 1..=4148;Schedule(\"multicast start cycle\")");
}

TEST(TimingTexts, RecordAndResultDebugTexts) {
  EXPECT_EQ(zx::debug_string(zx::ScheduledPayloadTiming{3, 10, 12}),
            "ScheduledPayloadTiming { payload_start: 3, payload_end: 10, horizon: 12 }");
  EXPECT_EQ(zx::debug_string(zx::TimingResult{zx::ScheduledPayloadTiming{3, 10, 12}}),
            "Ok(ScheduledPayloadTiming { payload_start: 3, payload_end: 10, horizon: 12 })");
  EXPECT_EQ(zx::debug_string(zx::TimingResult{zx::ScheduledPayloadTiming{}}),
            "Ok(ScheduledPayloadTiming { payload_start: 0, payload_end: 0, horizon: 0 })");
  EXPECT_EQ(zx::debug_string(zx::TimingResult{
                zx::ScheduledPayloadTiming{4294967295u, 4294967295u, 4294967295u}}),
            "Ok(ScheduledPayloadTiming { payload_start: 4294967295, payload_end: 4294967295, "
            "horizon: 4294967295 })");
  EXPECT_EQ(zx::debug_string(
                zx::TimingResult{std::unexpected(E::schedule(zx::ScheduleReason::SenderRowEntry))}),
            "Err(Schedule(\"sender row entry\"))");
  EXPECT_EQ(zx::debug_string(zx::TimingResult{std::unexpected(E::Count{5000})}),
            "Err(Count(5000))");

  std::ostringstream stream;
  stream << zx::ScheduledPayloadTiming{1, 2, 3};
  EXPECT_EQ(stream.str(),
            "ScheduledPayloadTiming { payload_start: 1, payload_end: 2, horizon: 3 }");

  std::string out = "[";
  zx::append_debug(out, zx::TimingResult{std::unexpected(E::Address{4779})});
  EXPECT_EQ(out, "[Err(Address(4779))");
}

TEST(ScheduleReasons, EachTextIsADistinctPrintablePhraseInBothTexts) {
  std::set<std::string_view> seen;
  for (std::size_t i = 0; i < zx::schedule_reason_count; ++i) {
    const auto reason = static_cast<zx::ScheduleReason>(i);
    const std::string_view text = zx::reason_text(reason);
    EXPECT_FALSE(text.empty()) << i;
    EXPECT_TRUE(seen.insert(text).second) << "reason text used twice: " << text;
    for (const char c : text) {
      EXPECT_TRUE(c >= 0x20 && c < 0x7F && c != '"' && c != '\\') << text;
    }
    EXPECT_EQ(zx::to_string(E::schedule(reason)),
              "exchange schedule is not encodable: " + std::string(text));
    EXPECT_EQ(zx::debug_string(E::schedule(reason)), "Schedule(\"" + std::string(text) + "\")");
  }
  EXPECT_EQ(zx::reason_text(zx::ScheduleReason::SendInstructionOperand),
            "send instruction operand");
  EXPECT_EQ(zx::reason_text(zx::ScheduleReason::SenderPayload), "sender payload");
}

}  // namespace
