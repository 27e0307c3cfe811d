#include "zerin/exchange/sender_timing.hpp"

#include <charconv>
#include <cstring>
#include <ostream>

#include "text.hpp"

namespace zerin::exchange {

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
