#include "zerin/exchange/sender_timing.hpp"

#include <cstring>
#include <limits>
#include <ostream>

#include "text.hpp"

namespace zerin::exchange {

SenderRowTiming::SenderRowTiming(const ExchangeRow& row) noexcept {
  if (row[0] != sync_word) {
    failure_ = "sender row entry";
    return;
  }
  std::uint64_t cycles = 0;  // nine words of 32-bit advances cannot pass 64 bits
  for (std::size_t i = 1; i < row.size(); ++i) {
    const std::uint32_t word = row[i];
    if (word == return_word) {
      horizon_ = cycles;
      return;
    }
    const bool payload = is_payload_send(word);
    if (payload && !payload_) payload_start_ = cycles;
    cycles += instruction_advance(word);
    if (payload) payload_end_ = cycles;
    payload_ = payload_ || payload;
  }
  failure_ = "sender row return";
}

std::string_view SenderRowTiming::fault(std::uint32_t schedule_offset) const noexcept {
  if (!failure_.empty()) return failure_;
  if (schedule_offset + horizon_ > std::numeric_limits<std::uint32_t>::max()) {
    return "sender event horizon overflow";
  }
  if (!payload_) return "sender payload";
  return {};
}

ScheduledPayloadTiming SenderRowTiming::timing(std::uint32_t schedule_offset) const noexcept {
  const auto at_offset = [&](std::uint64_t cycles) {
    return static_cast<std::uint32_t>(schedule_offset + cycles);
  };
  return {at_offset(payload_start_), at_offset(payload_end_), at_offset(horizon_)};
}

TimingResult SenderRowTiming::at(std::uint32_t schedule_offset) const noexcept {
  if (const auto reason = fault(schedule_offset); !reason.empty()) {
    return detail::schedule_error(reason);
  }
  return timing(schedule_offset);
}

TimingResult scheduled_sender_timing(const ExchangeRow& row,
                                     std::uint32_t schedule_offset) noexcept {
  return SenderRowTiming(row).at(schedule_offset);
}

namespace {

// The digest writes three timing texts for every plan, so the success text is
// written with constant-size copies and no bounds checks into a buffer known
// to be large enough (timing_debug_capacity).
template <std::size_t N>
char* put(char* p, const char (&text)[N]) noexcept {
  std::memcpy(p, text, N - 1);
  return p + N - 1;
}

char* put_timing(char* p, const ScheduledPayloadTiming& timing) noexcept {
  p = put(p, "ScheduledPayloadTiming { payload_start: ");
  p = detail::put_decimal(p, timing.payload_start);
  p = put(p, ", payload_end: ");
  p = detail::put_decimal(p, timing.payload_end);
  p = put(p, ", horizon: ");
  p = detail::put_decimal(p, timing.horizon);
  return put(p, " }");
}

char* put_ok(char* p, const ScheduledPayloadTiming& timing) noexcept {
  p = put(p, "Ok(");
  p = put_timing(p, timing);
  return put(p, ")");
}

char* write_ok(char* first, char* last, const ScheduledPayloadTiming& timing) noexcept {
  const auto room = static_cast<std::size_t>(last - first);
  if (room >= timing_debug_capacity) return put_ok(first, timing);
  char buffer[timing_debug_capacity];
  const auto size = static_cast<std::size_t>(put_ok(buffer, timing) - buffer);
  if (size > room) return nullptr;
  std::memcpy(first, buffer, size);
  return first + size;
}

// `Err(`, what put_error(out) appends, and `)`.
template <class Out, class PutError>
void put_err(Out& out, PutError put_error) {
  out.append("Err(");
  put_error(out);
  out.append(")");
}

template <class PutError>
char* write_err(char* first, char* last, PutError put_error) noexcept {
  detail::BufferText out(first, last);
  put_err(out, put_error);
  return out.full() ? nullptr : out.end();
}

auto error_text(const ExchangeError& error) {
  return [&error](auto& out) { detail::put_debug(out, error); };
}

}  // namespace

char* write_debug(char* first, char* last, const TimingResult& result) noexcept {
  return result ? write_ok(first, last, *result)
                : write_err(first, last, error_text(result.error()));
}

char* SenderRowTiming::write_debug(char* first, char* last,
                                   std::uint32_t schedule_offset) const noexcept {
  if (const auto reason = fault(schedule_offset); !reason.empty()) {
    // Only Schedule errors come from here: their text without building one.
    return write_err(first, last, [reason](auto& out) { detail::put_schedule_debug(out, reason); });
  }
  return write_ok(first, last, timing(schedule_offset));
}

void append_debug(std::string& out, const ScheduledPayloadTiming& timing) {
  char buffer[timing_debug_capacity];
  out.append(buffer, put_timing(buffer, timing));
}

void append_debug(std::string& out, const TimingResult& result) {
  if (result) {
    char buffer[timing_debug_capacity];
    out.append(buffer, put_ok(buffer, *result));
    return;
  }
  put_err(out, error_text(result.error()));
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
