#include "zerin/exchange/rows.hpp"

#include <algorithm>

#include "rows_internal.hpp"

namespace zerin::exchange {
namespace {

// The incoming data leaves the mux 51 cycles plus the receiver's phase after the
// tail begins: a long transfer's PIC word waits all of it, a short transfer's
// XPIC word takes `count` cycles of it first.
constexpr std::uint32_t receive_lead_cycles = 51;

constexpr std::uint32_t tail_pic_operand(std::uint32_t count,
                                         std::uint32_t receiver_phase) noexcept {
  return count > receive_lead_cycles ? receiver_phase + receive_lead_cycles
                                     : (receive_lead_cycles - count) + receiver_phase;
}

}  // namespace

std::expected<ExchangeRow, ExchangeError> primitive_sender_row(std::uint32_t count,
                                                               std::uint32_t direction,
                                                               std::int32_t sender_delay) noexcept {
  ExchangeRow row{};
  if (auto laid = detail::lay_primitive_sender_row(row, count, direction, sender_delay); !laid) {
    return std::unexpected(laid.error());
  }
  return row;
}

bool ordinary_receiver_tail_fits(std::uint32_t count, std::uint32_t receiver_phase) noexcept {
  constexpr auto field = word_format::PicDelay::advance;
  return receiver_phase <= field.max() && field.fits(tail_pic_operand(count, receiver_phase));
}

std::array<std::uint32_t, 4> ordinary_receiver_tail(std::uint32_t count,
                                                    std::uint32_t receiver_phase,
                                                    std::uint32_t address) noexcept {
  constexpr std::uint32_t xpic_control = 0x640;
  const std::uint32_t pic = delay_pic(tail_pic_operand(count, receiver_phase), 0, address);
  // Either way the PIC word ends receiver_phase + 52 cycles after the tail begins.
  if (count > receive_lead_cycles) {
    const std::uint32_t xpic_advance = count > 53 ? count - 53 : 0;
    return {pic, delay_xpic(xpic_advance, 0, xpic_control), delay(56), return_word};
  }
  return {delay_xpic(count - 1, 0, xpic_control), pic, delay(count + 4), return_word};
}

}  // namespace zerin::exchange
