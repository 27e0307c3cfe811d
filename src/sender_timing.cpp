#include "zerin/exchange/sender_timing.hpp"

#include <charconv>
#include <cstring>
#include <limits>
#include <ostream>

#include "schedule_error.hpp"
#include "text.hpp"

namespace zerin::exchange {

TimingResult scheduled_sender_timing(const ExchangeRow& row,
                                     std::uint32_t schedule_offset) noexcept {
  if (row[0] != sync_word) return detail::schedule_error(ScheduleReason::SenderRowEntry);
  // Nine words of 32-bit advances cannot pass 64 bits: the sum is checked once
  // per word against the last cycle.
  constexpr std::uint64_t last_cycle = std::numeric_limits<std::uint32_t>::max();
  std::uint64_t cycles = schedule_offset;
  std::uint64_t payload_start = 0;
  std::uint64_t payload_end = 0;
  bool payload = false;
  bool overflow = false;
  for (std::size_t i = 1; i < row.size(); ++i) {
    const std::uint32_t word = row[i];
    if (word == return_word) {
      if (overflow) return detail::schedule_error(ScheduleReason::SenderEventHorizonOverflow);
      if (!payload) return detail::schedule_error(ScheduleReason::SenderPayload);
      return ScheduledPayloadTiming{static_cast<std::uint32_t>(payload_start),
                                    static_cast<std::uint32_t>(payload_end),
                                    static_cast<std::uint32_t>(cycles)};
    }
    const bool send = is_payload_send(word);
    if (send && !payload) payload_start = cycles;
    cycles += instruction_advance(word);
    overflow = overflow || cycles > last_cycle;
    if (send) payload_end = cycles;
    payload = payload || send;
  }
  return detail::schedule_error(ScheduleReason::SenderRowReturn);
}

namespace {

// Room for the longest debug text of a timing, three 10-digit numbers.
constexpr std::size_t timing_text_room = 128;

char* put(char* p, std::string_view text) noexcept {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

char* put(char* p, std::uint32_t value) noexcept {
  return std::to_chars(p, p + 10, value).ptr;
}

// The record text of `timing` at `p`; returns its end.
char* put_timing(char* p, const ScheduledPayloadTiming& timing) noexcept {
  p = put(p, "ScheduledPayloadTiming { payload_start: ");
  p = put(p, timing.payload_start);
  p = put(p, ", payload_end: ");
  p = put(p, timing.payload_end);
  p = put(p, ", horizon: ");
  p = put(p, timing.horizon);
  return put(p, " }");
}

}  // namespace

void append_debug(std::string& out, const ScheduledPayloadTiming& timing) {
  char buffer[timing_text_room];
  out.append(buffer, put_timing(buffer, timing));
}

void append_debug(std::string& out, const TimingResult& result) {
  if (result) {
    char buffer[timing_text_room];
    char* p = put(buffer, "Ok(");
    p = put_timing(p, *result);
    out.append(buffer, put(p, ")"));
    return;
  }
  out += "Err(";
  append_debug(out, result.error());
  out += ')';
}

std::string debug_string(const ScheduledPayloadTiming& timing) {
  std::string out;
  append_debug(out, timing);
  return out;
}

std::string debug_string(const TimingResult& result) {
  std::string out;
  append_debug(out, result);
  return out;
}

std::ostream& operator<<(std::ostream& os, const ScheduledPayloadTiming& timing) {
  return os << debug_string(timing);
}

}  // namespace zerin::exchange
