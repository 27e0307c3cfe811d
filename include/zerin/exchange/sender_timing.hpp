/// @file
/// Payload timing of a sender row placed at a schedule offset.
///
/// Thread-safety: plain values and pure functions.
#ifndef ZERIN_EXCHANGE_SENDER_TIMING_HPP
#define ZERIN_EXCHANGE_SENDER_TIMING_HPP

#include "zerin/exchange/export.hpp"

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
ZERIN_EXCHANGE_API TimingResult scheduled_sender_timing(const ExchangeRow& row,
                                                        std::uint32_t schedule_offset) noexcept;

namespace detail {
struct TimingFault;  ///< a reason a timing fails, with its debug text
}  // namespace detail

/// A sender row walked once, for timing it at several schedule offsets:
/// `SenderRowTiming(row).at(offset) == scheduled_sender_timing(row, offset)`.
/// The row's advances are summed without the offset; an offset only moves the
/// three cycles, and the sum overflows exactly when offset plus horizon passes
/// 0xFFFFFFFF, because no advance is negative.
class ZERIN_EXCHANGE_API SenderRowTiming {
 public:
  /// Walks `row` once.
  explicit SenderRowTiming(const ExchangeRow& row) noexcept;
  /// The row's timing at `schedule_offset`, errors as scheduled_sender_timing().
  TimingResult at(std::uint32_t schedule_offset) const noexcept;
  /// write_debug(first, last, at(schedule_offset)), without building the result.
  char* write_debug(char* first, char* last, std::uint32_t schedule_offset) const noexcept;
  /// write_debug() for a caller that guarantees the room: writes the debug text
  /// of at(schedule_offset), `Ok(...)` or `Err(...)`, at `first`, which must
  /// have timing_debug_capacity writable bytes, and returns its end; there is no
  /// failure to report. Bytes of that room after the text may be overwritten.
  /// Skips write_debug()'s room check and its detour through a local buffer.
  /// Only reads the object, so several threads may call it at once.
  char* write_debug_with_capacity(char* first, std::uint32_t schedule_offset) const noexcept;

 private:
  /// Why at(schedule_offset) fails, nullptr when it succeeds.
  const detail::TimingFault* fault(std::uint32_t schedule_offset) const noexcept;
  /// The cycles of a successful at(schedule_offset).
  ScheduledPayloadTiming timing(std::uint32_t schedule_offset) const noexcept;

  /// An entry or return fault, found without the offset.
  const detail::TimingFault* failure_ = nullptr;
  std::uint64_t payload_start_ = 0;
  std::uint64_t payload_end_ = 0;
  std::uint64_t horizon_ = 0;
  /// The largest offset at which at() succeeds, -1 when it fails at every
  /// offset: success at an offset is one comparison.
  std::int64_t last_ok_offset_ = -1;
};

/// Debug text: `ScheduledPayloadTiming { payload_start: 3, payload_end: 10, horizon: 12 }`.
ZERIN_EXCHANGE_API std::string debug_string(const ScheduledPayloadTiming& timing);
/// Debug text of a timing result: `Ok(...)` or `Err(...)` around the value's debug text.
ZERIN_EXCHANGE_API std::string debug_string(const TimingResult& result);
/// Room for the longest debug text of a successful timing result, three 10-digit
/// numbers (`Ok(ScheduledPayloadTiming { ... })`), and of every error the
/// library reports for a timing.
inline constexpr std::size_t timing_debug_capacity = 128;
/// Writes the debug text of `result` into [first, last) without allocating and
/// returns the end of the text, or nullptr when it does not fit (the buffer's
/// bytes are then unspecified). `timing_debug_capacity` bytes always suffice for
/// results of scheduled_sender_timing().
ZERIN_EXCHANGE_API char* write_debug(char* first, char* last, const TimingResult& result) noexcept;
/// Appending forms, for callers that reuse one buffer.
ZERIN_EXCHANGE_API void append_debug(std::string& out, const ScheduledPayloadTiming& timing);
/// Appends the debug text of `result` to `out`.
ZERIN_EXCHANGE_API void append_debug(std::string& out, const TimingResult& result);

/// Write the debug text.
ZERIN_EXCHANGE_API std::ostream& operator<<(std::ostream& os, const ScheduledPayloadTiming& timing);

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_SENDER_TIMING_HPP
