#include "zerin/exchange/sender_timing.hpp"

#include <algorithm>
#include <optional>
#include <ostream>

#include "text.hpp"

namespace zerin::exchange {

TimingResult scheduled_sender_timing(const ExchangeRow& row,
                                     std::uint32_t schedule_offset) noexcept {
  if (row[0] != sync_word) return detail::schedule_error("sender row entry");
  const auto end = std::find(row.begin(), row.end(), return_word);
  if (end == row.end()) return detail::schedule_error("sender row return");
  std::uint32_t cycles = schedule_offset;
  std::optional<std::uint32_t> start_cycles;
  std::optional<std::uint32_t> end_cycles;
  for (auto it = row.begin() + 1; it != end; ++it) {
    const bool payload = is_payload_send(*it);
    if (payload && !start_cycles) start_cycles = cycles;
    if (__builtin_add_overflow(cycles, instruction_advance(*it), &cycles)) {
      return detail::schedule_error("sender event horizon overflow");
    }
    if (payload) end_cycles = cycles;
  }
  if (!start_cycles || !end_cycles) return detail::schedule_error("sender payload");
  return ScheduledPayloadTiming{*start_cycles, *end_cycles, cycles};
}

void append_debug(std::string& out, const ScheduledPayloadTiming& timing) {
  out += "ScheduledPayloadTiming { payload_start: ";
  detail::append_unsigned(out, timing.payload_start);
  out += ", payload_end: ";
  detail::append_unsigned(out, timing.payload_end);
  out += ", horizon: ";
  detail::append_unsigned(out, timing.horizon);
  out += " }";
}

void append_debug(std::string& out, const TimingResult& result) {
  if (result) {
    out += "Ok(";
    append_debug(out, *result);
  } else {
    out += "Err(";
    append_debug(out, result.error());
  }
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
