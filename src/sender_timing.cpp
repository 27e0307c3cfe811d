#include "zerin/exchange/sender_timing.hpp"

#include <cstring>
#include <ostream>
#include <string_view>

#include "text.hpp"

namespace zerin::exchange {

namespace {

// The fixed pieces of a timing's text; a result's success text wraps it in
// `Ok(` and `)`, taken into the first and last piece.
constexpr std::string_view timing_head = "ScheduledPayloadTiming { payload_start: ";
constexpr std::string_view ok_timing_head = "Ok(ScheduledPayloadTiming { payload_start: ";
constexpr std::string_view end_field = ", payload_end: ";
constexpr std::string_view horizon_field = ", horizon: ";
constexpr std::string_view timing_tail = " }";
constexpr std::string_view ok_timing_tail = " })";

static_assert(ok_timing_head.size() + end_field.size() + horizon_field.size() +
                  3 * detail::decimal_max_size + ok_timing_tail.size() ==
              timing_debug_max_size);
static_assert(std::string_view("Err()").size() + detail::error_debug_max_size <=
              timing_debug_max_size);

// Writes the text of `timing`, inside `Ok(...)` when `ok`, at `p`, which has
// timing_debug_max_size bytes of room, and returns its end.
template <bool ok>
char* put_timing(char* p, const ScheduledPayloadTiming& timing) noexcept {
  p = detail::put(p, ok ? ok_timing_head : timing_head);
  p = detail::put_decimal(p, timing.payload_start);
  p = detail::put(p, end_field);
  p = detail::put_decimal(p, timing.payload_end);
  p = detail::put(p, horizon_field);
  p = detail::put_decimal(p, timing.horizon);
  return detail::put(p, ok ? ok_timing_tail : timing_tail);
}

char* put_result(char* p, const TimingResult& result) noexcept {
  if (result) return put_timing<true>(p, *result);
  p = detail::put(p, "Err(");
  p = detail::put_debug(p, result.error());
  *p = ')';
  return p + 1;
}

// What put_text(p) writes, given timing_debug_max_size bytes of room, placed in
// [first, last). A short buffer gets the text through one of full size.
template <class PutText>
std::to_chars_result write_bounded(char* first, char* last, PutText put_text) noexcept {
  const auto room = static_cast<std::size_t>(last - first);
  if (room >= timing_debug_max_size) [[likely]] {
    return {put_text(first), std::errc{}};
  }
  char buffer[timing_debug_max_size];
  const auto size = static_cast<std::size_t>(put_text(buffer) - buffer);
  if (size > room) return {last, std::errc::value_too_large};
  std::memcpy(first, buffer, size);
  return {first + size, std::errc{}};
}

}  // namespace

std::to_chars_result to_chars(char* first, char* last,
                              const ScheduledPayloadTiming& timing) noexcept {
  return write_bounded(first, last, [&timing](char* p) { return put_timing<false>(p, timing); });
}

std::to_chars_result to_chars(char* first, char* last, const TimingResult& result) noexcept {
  return write_bounded(first, last, [&result](char* p) { return put_result(p, result); });
}

// Appends what put_text(p) writes, given timing_debug_max_size bytes of room,
// to `out`, in place.
template <class PutText>
void append_in_place(std::string& out, PutText put_text) {
  const std::size_t size = out.size();
  out.resize_and_overwrite(size + timing_debug_max_size, [size, put_text](char* p, std::size_t) {
    return static_cast<std::size_t>(put_text(p + size) - p);
  });
}

void append_debug(std::string& out, const ScheduledPayloadTiming& timing) {
  append_in_place(out, [&timing](char* p) { return put_timing<false>(p, timing); });
}

void append_debug(std::string& out, const TimingResult& result) {
  append_in_place(out, [&result](char* p) { return put_result(p, result); });
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
  char buffer[timing_debug_max_size];
  return os << std::string_view(buffer, put_timing<false>(buffer, timing));
}

}  // namespace zerin::exchange
