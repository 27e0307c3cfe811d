/// @file
/// Payload timing of a sender row placed at a schedule offset.
///
/// Thread-safety: plain values and pure functions.
#ifndef ZERIN_EXCHANGE_SENDER_TIMING_HPP
#define ZERIN_EXCHANGE_SENDER_TIMING_HPP

#include "zerin/exchange/export.hpp"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <iosfwd>
#include <string>
#include <string_view>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::exchange {

/// Absolute cycles (schedule offset included) of a sender row's programme. For
/// every valid result payload_start < payload_end <= horizon.
struct ScheduledPayloadTiming {
  std::uint32_t payload_start = 0;  ///< first payload send issues
  std::uint32_t payload_end = 0;    ///< last payload send has completed
  std::uint32_t horizon = 0;        ///< the return word issues
  /// Member-wise equality.
  friend bool operator==(const ScheduledPayloadTiming&, const ScheduledPayloadTiming&) = default;
};

/// The result of scheduled_sender_timing(): a timing or the error that stopped it.
using TimingResult = std::expected<ScheduledPayloadTiming, ExchangeError>;

/// Walks `row` from the sync word to the first return word, summing advances,
/// starting at `schedule_offset` (the cycle at which the word after the sync
/// issues). Errors (Schedule), in order: "sender row entry" (word 0 is not the
/// sync word); "sender row return" (no return word); "sender event horizon
/// overflow" (a sum passes 0xFFFFFFFF); "sender payload" (no payload send).
constexpr TimingResult scheduled_sender_timing(const ExchangeRow& row,
                                               std::uint32_t schedule_offset) noexcept {
  const auto failure = [](ScheduleReason reason) {
    return TimingResult(std::unexpect, ExchangeError::schedule(reason));
  };
  if (row[0] != sync_word) return failure(ScheduleReason::SenderRowEntry);
  // Nine words of 32-bit advances cannot pass 64 bits: the sum is checked once
  // at the return word against the last cycle.
  constexpr std::uint64_t last_cycle = 0xFFFFFFFFu;
  std::uint64_t cycles = schedule_offset;
  std::uint64_t payload_start = 0;
  std::uint64_t payload_end = 0;
  bool payload = false;
  for (std::size_t i = 1; i < row.size(); ++i) {
    const std::uint32_t word = row[i];
    if (word == return_word) {
      if (cycles > last_cycle) return failure(ScheduleReason::SenderEventHorizonOverflow);
      if (!payload) return failure(ScheduleReason::SenderPayload);
      return ScheduledPayloadTiming{static_cast<std::uint32_t>(payload_start),
                                    static_cast<std::uint32_t>(payload_end),
                                    static_cast<std::uint32_t>(cycles)};
    }
    const bool send = is_payload_send(word);
    if (send && !payload) payload_start = cycles;
    cycles += instruction_advance(word);
    if (send) payload_end = cycles;
    payload = payload || send;
  }
  return failure(ScheduleReason::SenderRowReturn);
}

/// The longest debug text of a ScheduledPayloadTiming or a TimingResult, in
/// characters: an `Ok(...)` around three 10-digit numbers. A buffer this size
/// holds every text that to_chars() writes.
inline constexpr std::size_t timing_debug_max_size = 102;

/// Writes the debug text of `timing`, as debug_string(timing) gives it, into
/// [first, last) without allocating, in the manner of std::to_chars. Returns
/// the end of the text and a value-initialised `ec`; when the text does not fit
/// (it never needs more than timing_debug_max_size characters), returns
/// `{last, std::errc::value_too_large}` and leaves [first, last) in an
/// unspecified state. Writes no terminating null. Thread-safe: touches only
/// [first, last).
ZERIN_EXCHANGE_API std::to_chars_result to_chars(char* first, char* last,
                                                 const ScheduledPayloadTiming& timing) noexcept;
/// Writes the debug text of `result`, as debug_string(result) gives it:
/// `Ok(...)` or `Err(...)`. Results, errors and thread-safety as for the
/// ScheduledPayloadTiming form.
ZERIN_EXCHANGE_API std::to_chars_result to_chars(char* first, char* last,
                                                 const TimingResult& result) noexcept;

/// Debug text: `ScheduledPayloadTiming { payload_start: 3, payload_end: 10, horizon: 12 }`.
/// Allocates the string; thread-safe.
ZERIN_EXCHANGE_API std::string debug_string(const ScheduledPayloadTiming& timing);
/// Debug text of a timing result: `Ok(...)` around the timing's debug text, or
/// `Err(...)` around the error's debug text, e.g. `Err(Schedule("sender payload"))`.
/// Allocates the string; thread-safe.
ZERIN_EXCHANGE_API std::string debug_string(const TimingResult& result);
/// Appends the debug text of `timing` to `out`, for callers that reuse one
/// buffer. Allocates only when `out` grows; thread-safe for distinct `out`.
ZERIN_EXCHANGE_API void append_debug(std::string& out, const ScheduledPayloadTiming& timing);
/// Appends the debug text of `result` to `out`. As the ScheduledPayloadTiming form.
ZERIN_EXCHANGE_API void append_debug(std::string& out, const TimingResult& result);

/// Writes the debug text of `timing` to `os`, honouring its width and fill as a
/// string would. Does not allocate; thread-safe for distinct streams.
ZERIN_EXCHANGE_API std::ostream& operator<<(std::ostream& os, const ScheduledPayloadTiming& timing);

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_SENDER_TIMING_HPP
