// The row builders, inline so that the planners lay rows straight into their plans.
#ifndef ZERIN_EXCHANGE_SRC_ROWS_INTERNAL_HPP
#define ZERIN_EXCHANGE_SRC_ROWS_INTERNAL_HPP

#include <algorithm>
#include <array>
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
  const auto send = detail::encode_send(std::min(count, send_word_capacity) - 1, direction, 0);
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

// Phase of a receiver: twice its slot (bits 6 and up of its physical tile).
constexpr std::uint32_t receiver_phase(std::uint32_t physical_tile) noexcept {
  return (physical_tile / 64u) * 2u;
}

// The incoming data leaves the mux 51 cycles plus the receiver's phase after the
// tail begins: a long transfer's PIC word waits all of it, a short transfer's
// XPIC word takes `count` cycles of it first.
inline constexpr std::uint32_t receive_lead_cycles = 51;
// XPIC control value that deselects the incoming source once the data is in.
inline constexpr std::uint32_t neutral_xpic_control = 0x640;

constexpr std::uint32_t tail_pic_operand(std::uint32_t count,
                                         std::uint32_t receiver_phase) noexcept {
  return count > receive_lead_cycles ? receiver_phase + receive_lead_cycles
                                     : (receive_lead_cycles - count) + receiver_phase;
}

// ordinary_receiver_tail_fits() and ordinary_receiver_tail() themselves, inline
// so that the planners fold them into their receiver loops.
constexpr bool ordinary_receiver_tail_fits(std::uint32_t count,
                                           std::uint32_t receiver_phase) noexcept {
  constexpr auto field = word_format::PicDelay::advance;
  return receiver_phase <= field.max() && field.fits(tail_pic_operand(count, receiver_phase));
}

constexpr std::array<std::uint32_t, 4> ordinary_receiver_tail(std::uint32_t count,
                                                              std::uint32_t receiver_phase,
                                                              std::uint32_t address) noexcept {
  const std::uint32_t pic = delay_pic(tail_pic_operand(count, receiver_phase), 0, address);
  // Either way the PIC word ends receiver_phase + 52 cycles after the tail begins.
  if (count > receive_lead_cycles) {
    const std::uint32_t xpic_advance = count > 53 ? count - 53 : 0;
    return {pic, delay_xpic(xpic_advance, 0, neutral_xpic_control), delay(56), return_word};
  }
  return {delay_xpic(count - 1, 0, neutral_xpic_control), pic, delay(count + 4), return_word};
}

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_ROWS_INTERNAL_HPP
