// The sender row builder, laid straight into a row the planner already holds.
#ifndef ZERIN_EXCHANGE_SRC_ROWS_INTERNAL_HPP
#define ZERIN_EXCHANGE_SRC_ROWS_INTERNAL_HPP

#include <algorithm>
#include <cstdint>
#include <expected>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::exchange::detail {

// Words a send word moves at most; the rest of a transfer goes in a send-off word.
inline constexpr std::uint32_t send_word_capacity = word_format::Send::count_minus_one.max() + 1;

// primitive_sender_row() laid into `row`, which must be all zero on entry. On
// failure `row` holds whatever was laid before it.
inline std::expected<void, ExchangeError> lay_primitive_sender_row(
    ExchangeRow& row, std::uint32_t count, std::uint32_t direction,
    std::int32_t sender_delay) noexcept {
  std::size_t cursor = 0;
  row[cursor++] = sync_word;
  if (sender_delay >= 0) row[cursor++] = delay(static_cast<std::uint32_t>(sender_delay));
  const auto send = encode_send(std::min(count, send_word_capacity) - 1, direction, 0);
  if (!send) return std::unexpected(send.error());
  row[cursor++] = *send;
  if (count > send_word_capacity)
    row[cursor++] = send_off(count - send_word_capacity - 1, direction, 0);
  // Short transfers wait out the rest of a fixed six-cycle programme.
  const std::int64_t trailing_delay =
      std::int64_t{4} - std::int64_t{sender_delay} - std::int64_t{count};
  if (trailing_delay >= 0) row[cursor++] = delay(static_cast<std::uint32_t>(trailing_delay));
  row[cursor] = return_word;
  return {};
}

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_ROWS_INTERNAL_HPP
