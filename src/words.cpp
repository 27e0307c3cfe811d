#include "zerin/exchange/words.hpp"
#include "schedule_error.hpp"

namespace zerin::exchange {
namespace {

namespace f = word_format;

using detail::schedule_error;

// The fixed bits that send, send-off and SENDPICP words all have set.
constexpr std::uint32_t routed_kind_bits =
    f::Send::kind.bits & f::SendOff::kind.bits & f::SendPicp::kind.bits;
static_assert((f::Send::kind.mask & routed_kind_bits) == routed_kind_bits &&
              (f::SendOff::kind.mask & routed_kind_bits) == routed_kind_bits &&
              (f::SendPicp::kind.mask & routed_kind_bits) == routed_kind_bits);

}  // namespace

std::expected<std::uint32_t, ExchangeError> encode_send(std::uint32_t count_minus_one,
                                                        std::uint32_t direction,
                                                        std::uint32_t base_word) noexcept {
  return detail::encode_send(count_minus_one, direction, base_word);
}

std::expected<void, ExchangeError> validate_count(std::uint32_t count) noexcept {
  return detail::validate_count(count);
}

std::expected<void, ExchangeError> set_instruction_advance(std::uint32_t& instruction,
                                                           std::uint32_t advance) noexcept {
  return detail::set_instruction_advance(instruction, advance);
}

std::expected<void, ExchangeError> set_sender_control(ExchangeRow& row,
                                                      std::uint8_t send_control) noexcept {
  if (send_control < 1 || send_control > f::Send::direction.max()) {
    return schedule_error(ScheduleReason::SendControl);
  }
  // Words change only where one is rewritten, so a row with none is left as it was.
  bool rewritten = false;
  for (std::uint32_t& word : row) {
    // Sync, delay, return and fill words lack a bit that every routed kind has set.
    if ((word & routed_kind_bits) != routed_kind_bits) continue;
    if (is_payload_send(word)) {
      // Send and send-off words keep their direction in the same bits.
      static_assert(f::Send::direction.mask() == f::SendOff::direction.mask());
      word = f::Send::direction.set(word, send_control);
      rewritten = true;
    } else if (is_send_control_pair(word) && (f::SendPicp::send_control.get(word) & 3u) != 0) {
      // A SENDPICP whose control field holds 0 or 4 carries no route to rewrite.
      word = f::SendPicp::send_control.set(word, send_control);
      rewritten = true;
    }
  }
  if (!rewritten) return schedule_error(ScheduleReason::SenderPayload);
  return {};
}

std::expected<std::pair<std::uint32_t, std::uint32_t>, ExchangeError> encode_send_control_pair(
    std::uint32_t count_minus_one, std::uint32_t source_word_address, std::uint32_t send_control,
    std::span<const ReceiveEvent> events) noexcept {
  using F = f::SendPicp;
  if (!F::count_minus_one.fits(count_minus_one) ||
      !F::source_word_address.fits(source_word_address) || !F::send_control.fits(send_control) ||
      events.size() != 2) {
    return schedule_error(ScheduleReason::SendPicpOperand);
  }
  const ReceiveEvent* pic = nullptr;
  const ReceiveEvent* xpic = nullptr;
  for (const ReceiveEvent& event : events) {
    if (!pic && is_pic(event.kind)) pic = &event;
    if (!xpic && is_xpic(event.kind)) xpic = &event;
  }
  if (!pic) return schedule_error(ScheduleReason::SendPicpPicControl);
  if (!xpic) return schedule_error(ScheduleReason::SendPicpXpicControl);
  if (pic->cycles != xpic->cycles) return schedule_error(ScheduleReason::SendPicpEventTime);
  const std::uint32_t selector = f::PicDelay::selector.get(pic->instruction);
  const std::uint32_t instruction = F::kind.bits | F::pointer_selector.place(selector) |
                                    F::count_minus_one.place(count_minus_one) |
                                    F::source_word_address.place(source_word_address) |
                                    F::send_control.place(send_control);
  using P = f::SendPicpPayload;
  const std::uint32_t payload =
      P::xpic_flag_and_control.place(f::XpicDelay::flag_and_control.get(xpic->instruction)) |
      P::pic_control.place(f::PicDelay::control.get(pic->instruction));
  return std::pair{instruction, payload};
}

}  // namespace zerin::exchange
