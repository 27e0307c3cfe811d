/// @file
/// Row builders shared by the point-to-point and multicast planners: the sender
/// row and the four-word tail that takes a transfer off the exchange.
///
/// Thread-safety: pure functions.
#ifndef ZERIN_EXCHANGE_ROWS_HPP
#define ZERIN_EXCHANGE_ROWS_HPP

#include "zerin/exchange/export.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <expected>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::exchange {

/// Words a send word moves at most; the rest of a transfer goes in a send-off word.
inline constexpr std::uint32_t send_word_capacity = word_format::send.largest_advance();

/// Cycles from the start of a receiver tail until the incoming data leaves the
/// mux, not counting the receiver's phase: a long transfer's PIC word waits all
/// of it, a short transfer's XPIC word takes `count` cycles of it first.
inline constexpr std::uint32_t receive_lead_cycles = 51;

/// XPIC control value that deselects the incoming source once the data is in.
inline constexpr std::uint32_t neutral_xpic_control = 0x640;

/// Phase of a receiver on physical tile `physical_tile`: twice its slot (bits 6
/// and up of the tile number). Pure.
constexpr std::uint32_t receiver_phase(std::uint32_t physical_tile) noexcept {
  return (physical_tile / 64u) * 2u;
}

/// Lays a whole sender row into `row`, which must be all zero: sync; a plain
/// delay of `sender_delay` as its operand (absent when negative); a send word
/// for the first up to 64 words; a send-off word for the rest; a plain delay of
/// 4 - sender_delay - count when that is 0 or more (short transfers wait out a
/// fixed six-cycle programme); return; the zero fill stays. Requires count >= 1
/// (run validate_count() first) and sender_delay <= 0x7FFFF. Error: Schedule
/// SendInstructionOperand when `direction` > 7; `row` is then unchanged. For
/// planners that reuse a plan's storage. Touches only `row`.
constexpr std::expected<void, ExchangeError> primitive_sender_row_into(
    ExchangeRow& row, std::uint32_t count, std::uint32_t direction,
    std::int32_t sender_delay) noexcept {
  // The send word's count (1 to 64) and base (0) always fit: only the route can fail.
  constexpr const WordKindInfo& send = word_format::send;
  if (!send.field("direction").fits(direction)) {
    return std::unexpected(ExchangeError::schedule(ScheduleReason::SendInstructionOperand));
  }
  std::size_t cursor = 0;
  row[cursor++] = sync_word;
  if (sender_delay >= 0) row[cursor++] = delay(static_cast<std::uint32_t>(sender_delay));
  row[cursor++] = encode_word(send, std::min(count, send_word_capacity) - 1, direction, 0);
  if (count > send_word_capacity) {
    row[cursor++] = send_off(count - send_word_capacity - 1, direction, 0);
  }
  const std::int64_t trailing_delay =
      std::int64_t{4} - std::int64_t{sender_delay} - std::int64_t{count};
  if (trailing_delay >= 0) row[cursor++] = delay(static_cast<std::uint32_t>(trailing_delay));
  row[cursor] = return_word;
  return {};
}

/// The sender row of primitive_sender_row_into() as a fresh value, with its error. Pure.
constexpr std::expected<ExchangeRow, ExchangeError> primitive_sender_row(
    std::uint32_t count, std::uint32_t direction, std::int32_t sender_delay) noexcept {
  ExchangeRow row{};
  if (auto laid = primitive_sender_row_into(row, count, direction, sender_delay); !laid) {
    return std::unexpected(laid.error());
  }
  return row;
}

/// Operand of the PIC word of an ordinary receiver tail (see ordinary_receiver_tail()).
constexpr std::uint32_t ordinary_receiver_tail_pic_operand(std::uint32_t count,
                                                           std::uint32_t receiver_phase) noexcept {
  return count > receive_lead_cycles ? receiver_phase + receive_lead_cycles
                                     : (receive_lead_cycles - count) + receiver_phase;
}

/// Whether ordinary_receiver_tail(count, receiver_phase, ...) encodes its PIC word
/// without losing bits: true for every phase of a board whose physical tiles lie
/// below 2496 (all r470 tiles); the planners refuse a receiver where it is false
/// (Schedule ReceiverPhase). Pure.
constexpr bool ordinary_receiver_tail_fits(std::uint32_t count,
                                           std::uint32_t receiver_phase) noexcept {
  constexpr auto field = word_format::pic_delay.field("advance");
  return receiver_phase <= field.max() &&
         field.fits(ordinary_receiver_tail_pic_operand(count, receiver_phase));
}

/// The last four words of an ordinary receiver row: the XPIC and PIC controls
/// that take the data off the exchange (the PIC word always ends receiver_phase
/// + 52 cycles after the tail begins, its control value is `address`), a closing
/// delay and the return word. Requires count >= 1; a PIC operand of 128 or more
/// loses its high bits (see ordinary_receiver_tail_fits()). Pure.
constexpr std::array<std::uint32_t, 4> ordinary_receiver_tail(std::uint32_t count,
                                                              std::uint32_t receiver_phase,
                                                              std::uint32_t address) noexcept {
  const std::uint32_t pic =
      delay_pic(ordinary_receiver_tail_pic_operand(count, receiver_phase), 0, address);
  if (count > receive_lead_cycles) {
    const std::uint32_t xpic_advance = count > 53 ? count - 53 : 0;
    return {pic, delay_xpic(xpic_advance, 0, neutral_xpic_control), delay(56), return_word};
  }
  return {delay_xpic(count - 1, 0, neutral_xpic_control), pic, delay(count + 4), return_word};
}

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_ROWS_HPP
