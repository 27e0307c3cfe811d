#include "zerin/exchange/sender_timing.hpp"

#include <optional>
#include <ostream>

#include "text.hpp"

namespace zerin::exchange {

TimingResult scheduled_sender_timing(const ExchangeRow& row,
                                     std::uint32_t schedule_offset) noexcept {
  if (row[0] != sync_word) return detail::schedule_error("sender row entry");
  // One walk to the return word. A missing return word is reported before an
  // overflowing sum, so the walk goes on looking for it after an overflow.
  std::uint32_t cycles = schedule_offset;
  std::optional<std::uint32_t> start_cycles;
  std::optional<std::uint32_t> end_cycles;
  bool overflowed = false;
  for (std::size_t i = 1; i < row.size(); ++i) {
    const std::uint32_t word = row[i];
    if (word == return_word) {
      if (overflowed) return detail::schedule_error("sender event horizon overflow");
      if (!start_cycles || !end_cycles) return detail::schedule_error("sender payload");
      return ScheduledPayloadTiming{*start_cycles, *end_cycles, cycles};
    }
    if (overflowed) continue;
    const bool payload = is_payload_send(word);
    if (payload && !start_cycles) start_cycles = cycles;
    overflowed = __builtin_add_overflow(cycles, instruction_advance(word), &cycles);
    if (payload) end_cycles = cycles;
  }
  return detail::schedule_error("sender row return");
}

namespace {

template <class Out>
void put_timing(Out& out, const ScheduledPayloadTiming& timing) {
  out.append("ScheduledPayloadTiming { payload_start: ");
  detail::append_unsigned(out, timing.payload_start);
  out.append(", payload_end: ");
  detail::append_unsigned(out, timing.payload_end);
  out.append(", horizon: ");
  detail::append_unsigned(out, timing.horizon);
  out.append(" }");
}

template <class Out>
void put_result(Out& out, const TimingResult& result) {
  if (result) {
    out.append("Ok(");
    put_timing(out, *result);
  } else {
    out.append("Err(");
    detail::put_debug(out, result.error());
  }
  out.append(")");
}

}  // namespace

char* write_debug(char* first, char* last, const TimingResult& result) noexcept {
  detail::BufferText out(first, last);
  put_result(out, result);
  return out.full() ? nullptr : out.end();
}

void append_debug(std::string& out, const ScheduledPayloadTiming& timing) {
  char buffer[timing_debug_capacity];
  detail::BufferText text(buffer, buffer + sizeof buffer);
  put_timing(text, timing);
  out.append(buffer, text.end());
}

void append_debug(std::string& out, const TimingResult& result) {
  char buffer[timing_debug_capacity];
  if (char* end = write_debug(buffer, buffer + sizeof buffer, result)) {
    out.append(buffer, end);
    return;
  }
  put_result(out, result);  // an error text longer than any the library makes
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
