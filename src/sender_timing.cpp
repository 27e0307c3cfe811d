#include "zerin/exchange/sender_timing.hpp"

#include <cstring>
#include <limits>
#include <ostream>

#include "text.hpp"

namespace zerin::exchange {

namespace {

constexpr std::uint64_t last_cycle = std::numeric_limits<std::uint32_t>::max();

// `Err(`, what put_error(out) appends, and `)`.
template <class Out, class PutError>
constexpr void put_err(Out& out, PutError put_error) {
  out.append("Err(");
  put_error(out);
  out.append(")");
}

// Room for the debug text of every timing fault; copied whole.
constexpr std::size_t fault_text_room = 48;
static_assert(fault_text_room <= timing_debug_capacity);

}  // namespace

namespace detail {

// A Schedule error reason of the timing and its debug text
// `Err(Schedule("<reason>"))`, built at compile time so that writing a fault's
// text is one fixed-size copy.
struct TimingFault {
  ScheduleReason reason;
  FixedText<fault_text_room> text;

  explicit constexpr TimingFault(ScheduleReason why) : reason(why) {
    put_err(text, [why](auto& out) { put_schedule_debug(out, reason_text(why)); });
  }
};

}  // namespace detail

namespace {

// The faults in the order they are checked.
constexpr detail::TimingFault entry_fault(ScheduleReason::SenderRowEntry);
constexpr detail::TimingFault return_fault(ScheduleReason::SenderRowReturn);
constexpr detail::TimingFault overflow_fault(ScheduleReason::SenderEventHorizonOverflow);
constexpr detail::TimingFault payload_fault(ScheduleReason::SenderPayload);

}  // namespace

SenderRowTiming::SenderRowTiming(const ExchangeRow& row) noexcept {
  if (row[0] != sync_word) {
    failure_ = &entry_fault;
    return;
  }
  // Summed in locals: stores to the members inside the loop could alias the row.
  std::uint64_t cycles = 0;  // nine words of 32-bit advances cannot pass 64 bits
  std::uint64_t payload_start = 0;
  std::uint64_t payload_end = 0;
  bool payload = false;
  // Unrolled: no loop counter, and each word position gets its own branches.
#pragma GCC unroll row_length - 1
  for (std::size_t i = 1; i < row.size(); ++i) {
    const std::uint32_t word = row[i];
    if (word == return_word) {
      payload_start_ = payload_start;
      payload_end_ = payload_end;
      horizon_ = cycles;
      if (payload && cycles <= last_cycle) {
        last_ok_offset_ = static_cast<std::int64_t>(last_cycle - cycles);
      }
      return;
    }
    const bool send = is_payload_send(word);
    if (send && !payload) payload_start = cycles;
    cycles += instruction_advance(word);
    if (send) payload_end = cycles;
    payload = payload || send;
  }
  failure_ = &return_fault;
}

const detail::TimingFault* SenderRowTiming::fault(std::uint32_t schedule_offset) const noexcept {
  if (schedule_offset <= last_ok_offset_) return nullptr;
  if (failure_ != nullptr) return failure_;
  if (schedule_offset + horizon_ > last_cycle) return &overflow_fault;
  return &payload_fault;  // what is left when the sum fits
}

ScheduledPayloadTiming SenderRowTiming::timing(std::uint32_t schedule_offset) const noexcept {
  const auto at_offset = [&](std::uint64_t cycles) {
    return static_cast<std::uint32_t>(schedule_offset + cycles);
  };
  return {at_offset(payload_start_), at_offset(payload_end_), at_offset(horizon_)};
}

TimingResult SenderRowTiming::at(std::uint32_t schedule_offset) const noexcept {
  if (const detail::TimingFault* reason = fault(schedule_offset)) {
    return std::unexpected(ExchangeError::schedule(reason->reason));
  }
  return timing(schedule_offset);
}

TimingResult scheduled_sender_timing(const ExchangeRow& row,
                                     std::uint32_t schedule_offset) noexcept {
  return SenderRowTiming(row).at(schedule_offset);
}

namespace {

// A fixed piece of the success text, zero-padded to whole 16-byte blocks: it is
// copied whole, with no bounds checks, into a buffer known to be large enough
// (timing_debug_capacity), and the next piece or number overwrites the padding.
template <std::size_t N>
struct TextPiece {
  static constexpr std::size_t size = N - 1;
  char chars[(size + 15) / 16 * 16] = {};
  explicit consteval TextPiece(const char (&text)[N]) {
    for (std::size_t i = 0; i < size; ++i) chars[i] = text[i];
  }
};

template <std::size_t N>
char* put(char* p, const TextPiece<N>& piece) noexcept {
  std::memcpy(p, piece.chars, sizeof piece.chars);
  return p + piece.size;
}

constexpr TextPiece timing_head("ScheduledPayloadTiming { payload_start: ");
constexpr TextPiece ok_timing_head("Ok(ScheduledPayloadTiming { payload_start: ");
constexpr TextPiece end_field(", payload_end: ");
constexpr TextPiece horizon_field(", horizon: ");
constexpr TextPiece timing_tail(" }");
constexpr TextPiece ok_timing_tail(" })");
// The widest success text, three 10-digit numbers, with the tail's padding.
static_assert(ok_timing_head.size + end_field.size + horizon_field.size + 3 * 10 +
                  sizeof ok_timing_tail.chars <=
              timing_debug_capacity);

// The debug text of `timing` between `head` and `tail`.
template <std::size_t H, std::size_t T>
inline char* put_timing(char* p, const ScheduledPayloadTiming& timing, const TextPiece<H>& head,
                        const TextPiece<T>& tail) noexcept {
  p = put(p, head);
  p = detail::put_decimal(p, timing.payload_start);
  p = put(p, end_field);
  p = detail::put_decimal(p, timing.payload_end);
  p = put(p, horizon_field);
  p = detail::put_decimal(p, timing.horizon);
  return put(p, tail);
}

inline char* put_timing(char* p, const ScheduledPayloadTiming& timing) noexcept {
  return put_timing(p, timing, timing_head, timing_tail);
}

inline char* put_ok(char* p, const ScheduledPayloadTiming& timing) noexcept {
  return put_timing(p, timing, ok_timing_head, ok_timing_tail);
}

// What put_text(p) writes, given timing_debug_capacity bytes of room, copied
// into [first, last) when it fits; nullptr when it does not.
template <class PutText>
char* write_bounded(char* first, char* last, PutText put_text) noexcept {
  const auto room = static_cast<std::size_t>(last - first);
  if (room >= timing_debug_capacity) return put_text(first);
  char buffer[timing_debug_capacity];
  const auto size = static_cast<std::size_t>(put_text(buffer) - buffer);
  if (size > room) return nullptr;
  std::memcpy(first, buffer, size);
  return first + size;
}

auto error_text(const ExchangeError& error) {
  return [&error](auto& out) { detail::put_debug(out, error); };
}

}  // namespace

char* write_debug(char* first, char* last, const TimingResult& result) noexcept {
  if (result) {
    return write_bounded(first, last, [&result](char* p) { return put_ok(p, *result); });
  }
  detail::BufferText out(first, last);
  put_err(out, error_text(result.error()));
  return out.full() ? nullptr : out.end();
}

char* SenderRowTiming::write_debug(char* first, char* last,
                                   std::uint32_t schedule_offset) const noexcept {
  return write_bounded(first, last, [this, schedule_offset](char* p) {
    return write_debug_with_capacity(p, schedule_offset);
  });
}

char* SenderRowTiming::write_debug_with_capacity(char* first,
                                                 std::uint32_t schedule_offset) const noexcept {
  if (const detail::TimingFault* reason = fault(schedule_offset)) {
    std::memcpy(first, reason->text.chars, sizeof reason->text.chars);
    return first + reason->text.size;
  }
  return put_ok(first, timing(schedule_offset));
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
