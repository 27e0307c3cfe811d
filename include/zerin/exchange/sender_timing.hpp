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

/// Debug text: `ScheduledPayloadTiming { payload_start: 3, payload_end: 10, horizon: 12 }`.
ZERIN_EXCHANGE_API std::string debug_string(const ScheduledPayloadTiming& timing);
/// Debug text of a timing result: `Ok(...)` or `Err(...)` around the value's debug text.
ZERIN_EXCHANGE_API std::string debug_string(const TimingResult& result);
/// Appending forms, for callers that reuse one buffer.
ZERIN_EXCHANGE_API void append_debug(std::string& out, const ScheduledPayloadTiming& timing);
/// Appends the debug text of `result` to `out`.
ZERIN_EXCHANGE_API void append_debug(std::string& out, const TimingResult& result);

/// Write the debug text.
ZERIN_EXCHANGE_API std::ostream& operator<<(std::ostream& os, const ScheduledPayloadTiming& timing);

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_SENDER_TIMING_HPP
