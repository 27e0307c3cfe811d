#include "zerin/exchange/rows.hpp"

#include <algorithm>

namespace zerin::exchange {
namespace {

// Words a send word moves at most; the rest of a transfer goes in a send-off word.
constexpr std::uint32_t send_word_capacity = word_format::Send::count_minus_one.max() + 1;

}  // namespace

std::expected<ExchangeRow, ExchangeError> primitive_sender_row(std::uint32_t count,
                                                               std::uint32_t direction,
                                                               std::int32_t sender_delay) noexcept {
  ExchangeRow row{};
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
  return row;
}

std::array<std::uint32_t, 4> ordinary_receiver_tail(std::uint32_t count,
                                                    std::uint32_t receiver_phase,
                                                    std::uint32_t address) noexcept {
  constexpr std::uint32_t xpic_control = 0x640;
  // Either way the PIC word ends receiver_phase + 52 cycles after the tail begins.
  if (count > 51) {
    const std::uint32_t xpic_advance = count > 53 ? count - 53 : 0;
    return {delay_pic(receiver_phase + 51, 0, address), delay_xpic(xpic_advance, 0, xpic_control),
            delay(56), return_word};
  }
  return {delay_xpic(count - 1, 0, xpic_control),
          delay_pic((51 - count) + receiver_phase, 0, address), delay(count + 4), return_word};
}

}  // namespace zerin::exchange
