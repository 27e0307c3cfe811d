#include "zerin/exchange/sender_timing.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
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

namespace {

// The digest formats three timing texts per plan, so the success text is built
// in a stack buffer and appended once.
constexpr std::string_view timing_head = "ScheduledPayloadTiming { payload_start: ";
constexpr std::string_view timing_end_field = ", payload_end: ";
constexpr std::string_view timing_horizon_field = ", horizon: ";
constexpr std::string_view timing_tail = " }";
constexpr std::size_t timing_text_capacity = 3 + timing_head.size() + timing_end_field.size() +
                                             timing_horizon_field.size() + timing_tail.size() +
                                             3 * 10 + 1;

char* put(char* p, std::string_view text) noexcept {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

char* put_timing(char* p, const ScheduledPayloadTiming& timing) noexcept {
  p = put(p, timing_head);
  p = std::to_chars(p, p + 10, timing.payload_start).ptr;
  p = put(p, timing_end_field);
  p = std::to_chars(p, p + 10, timing.payload_end).ptr;
  p = put(p, timing_horizon_field);
  p = std::to_chars(p, p + 10, timing.horizon).ptr;
  return put(p, timing_tail);
}

}  // namespace

void append_debug(std::string& out, const ScheduledPayloadTiming& timing) {
  char buffer[timing_text_capacity];
  out.append(buffer, put_timing(buffer, timing));
}

void append_debug(std::string& out, const TimingResult& result) {
  if (result) {
    char buffer[timing_text_capacity];
    char* p = put(buffer, "Ok(");
    p = put_timing(p, *result);
    *p++ = ')';
    out.append(buffer, p);
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
