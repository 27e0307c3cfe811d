// Exchange instruction words: their layouts, encoders, recognisers and rewriters.
//
// Each word kind is described once below (its identifying fixed bits and its
// fields). Encoders, recognisers, advance reading, rewriting and the decoder are
// all derived from these descriptions.
//
// Two kinds of encoder exist. Checking encoders (encode_send, validate_count,
// set_instruction_advance, set_sender_control, encode_send_control_pair) reject
// bad operands with an ExchangeError. Masking encoders (encode_exchange_delay,
// encode_exchange_delay_pic, encode_exchange_delay_xpic, send_off and the short
// forms delay, delay_pic, delay_xpic) cut every operand to its field; staying in
// range is the caller's duty.
//
// Thread-safety: every function is pure; the in-place rewriters touch only the
// word or row they are given.
#ifndef ZERIN_EXCHANGE_WORDS_HPP
#define ZERIN_EXCHANGE_WORDS_HPP

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/export.hpp"
#include "zerin/exchange/receive_events.hpp"

namespace zerin::exchange {

// Words in one row of a tile's exchange programme.
inline constexpr std::size_t row_length = 9;
// A row: sync word, timed instructions, return word, then zero fill.
using ExchangeRow = std::array<std::uint32_t, row_length>;

// Opens sender rows and multicast and paired receiver rows.
inline constexpr std::uint32_t sync_word = 0x41800003u;
// Ends sender rows, receiver tails and paired receiver rows.
inline constexpr std::uint32_t return_word = 0x43A00000u;
// Largest number of words one transfer moves. At this count the receiver tail's
// XPIC advance operand (count - 53) reaches 4095, the top of its 12-bit field.
inline constexpr std::uint32_t maximum_transfer_count = 4148;

// One bit field of an instruction word.
struct WordField {
  unsigned shift;
  unsigned width;

  // Largest value the field holds.
  constexpr std::uint32_t max() const noexcept { return (std::uint32_t{1} << width) - 1u; }
  // The field's bits in place.
  constexpr std::uint32_t mask() const noexcept { return max() << shift; }
  // The field's value in `word`.
  constexpr std::uint32_t get(std::uint32_t word) const noexcept { return (word >> shift) & max(); }
  // `value` cut to the field's width and moved into place.
  constexpr std::uint32_t place(std::uint32_t value) const noexcept {
    return (value & max()) << shift;
  }
  // `word` with the field replaced by `value` (cut to width).
  constexpr std::uint32_t set(std::uint32_t word, std::uint32_t value) const noexcept {
    return (word & ~mask()) | place(value);
  }
  constexpr bool fits(std::uint32_t value) const noexcept { return value <= max(); }
};

// The fixed bits that tell a word kind apart: (word & mask) == bits.
struct WordKindBits {
  std::uint32_t mask;
  std::uint32_t bits;
  constexpr bool matches(std::uint32_t word) const noexcept { return (word & mask) == bits; }
  // Whether no word is of both kinds: some bit fixed by both is fixed differently.
  constexpr bool excludes(WordKindBits other) const noexcept {
    return ((bits ^ other.bits) & mask & other.mask) != 0;
  }
};

// The layouts of the words the exchange unit runs. A word occupies its "advance"
// in cycles: delays occupy their operand + 1, sends one cycle per word sent.
namespace word_format {

// Plain (exchange) delay: waits `cycles` + 1 cycles, up to 524288.
struct ExchangeDelay {
  static constexpr WordKindBits kind{0xFFF80000u, 0x40A00000u};
  static constexpr WordField cycles{0, 19};
};

// PIC delay: sets the incoming pointer/format control after `advance` + 1 cycles (at most 128).
struct PicDelay {
  static constexpr WordKindBits kind{0xFC000000u, 0x60000000u};
  static constexpr WordField advance{19, 7};
  static constexpr WordField selector{18, 1};
  static constexpr WordField control{0, 18};
};

// XPIC delay: sets the incoming source/mux control after `advance` + 1 cycles (at most 4096).
struct XpicDelay {
  static constexpr WordKindBits kind{0xFC000000u, 0x64000000u};
  static constexpr WordField advance{14, 12};
  static constexpr WordField flag{13, 1};
  static constexpr WordField control{0, 13};
  // The flag and control bits together, as carried by a SENDPICP payload word.
  static constexpr WordField flag_and_control{0, 14};
};

// Send: puts `count_minus_one` + 1 words (1..64) from `base_word` on the exchange.
struct Send {
  static constexpr WordKindBits kind{0xF8000000u, 0x78000000u};
  static constexpr WordField count_minus_one{21, 6};
  static constexpr WordField base_word{3, 18};
  static constexpr WordField direction{0, 3};
};

// Send-off: a 12-bit count (1..4096 words) split in two pieces, 11 bits of base.
// Bit 20 is fixed 0; with it set the word is a send-control word.
struct SendOff {
  static constexpr WordKindBits kind{0xF8100000u, 0x70000000u};
  static constexpr WordField count_low{21, 6};
  static constexpr WordField count_high{14, 6};
  static constexpr WordField base_word{3, 11};
  static constexpr WordField direction{0, 3};
};

// Send-control: recognised (it occupies `count_minus_one` + 1 cycles), never built.
struct SendControl {
  static constexpr WordKindBits kind{0xF8100000u, 0x70100000u};
  static constexpr WordField count_minus_one{21, 6};
  static constexpr WordField direction{0, 3};
};

// SENDPICP instruction word: a send that also sets the PIC and XPIC controls of
// two receive events falling on the same cycle. Followed by its payload word.
struct SendPicp {
  static constexpr WordKindBits kind{0xF0000000u, 0xF0000000u};
  static constexpr WordField pointer_selector{27, 1};
  static constexpr WordField count_minus_one{21, 6};
  static constexpr WordField source_word_address{3, 18};
  static constexpr WordField send_control{0, 3};
};

// SENDPICP payload word: the XPIC word's flag and control, and the PIC word's control.
struct SendPicpPayload {
  static constexpr WordField xpic_flag_and_control{18, 14};
  static constexpr WordField pic_control{0, 18};
};

}  // namespace word_format

// ---- Encoders ------------------------------------------------------------

// Plain delay word: 0x40A00000 | (cycles & 0x7FFFF). Masking.
constexpr std::uint32_t encode_exchange_delay(std::uint32_t cycles) noexcept {
  using F = word_format::ExchangeDelay;
  return F::kind.bits | F::cycles.place(cycles);
}
constexpr std::uint32_t delay(std::uint32_t cycles) noexcept {
  return encode_exchange_delay(cycles);
}

// PIC delay word with advance field `a`, selector `b`, 18-bit control `c`. Masking.
constexpr std::uint32_t encode_exchange_delay_pic(std::uint32_t a, std::uint32_t b,
                                                  std::uint32_t c) noexcept {
  using F = word_format::PicDelay;
  return F::kind.bits | F::advance.place(a) | F::selector.place(b) | F::control.place(c);
}
constexpr std::uint32_t delay_pic(std::uint32_t a, std::uint32_t b, std::uint32_t c) noexcept {
  return encode_exchange_delay_pic(a, b, c);
}

// XPIC delay word with advance field `a`, flag `b`, 13-bit control `c`. Masking.
constexpr std::uint32_t encode_exchange_delay_xpic(std::uint32_t a, std::uint32_t b,
                                                   std::uint32_t c) noexcept {
  using F = word_format::XpicDelay;
  return F::kind.bits | F::advance.place(a) | F::flag.place(b) | F::control.place(c);
}
constexpr std::uint32_t delay_xpic(std::uint32_t a, std::uint32_t b, std::uint32_t c) noexcept {
  return encode_exchange_delay_xpic(a, b, c);
}

// Send word. Error: Schedule "send instruction operand" when count_minus_one > 63,
// direction > 7 or base_word > 0x3FFFF (tested in that order).
ZERIN_EXCHANGE_API std::expected<std::uint32_t, ExchangeError> encode_send(
    std::uint32_t count_minus_one, std::uint32_t direction, std::uint32_t base_word) noexcept;

// Send-off word for `count_minus_one` + 1 words (12 bits kept), 11 bits of
// `base_word`, 3 bits of `direction`. Masking.
constexpr std::uint32_t send_off(std::uint32_t count_minus_one, std::uint32_t direction,
                                 std::uint32_t base_word) noexcept {
  using F = word_format::SendOff;
  return F::kind.bits | F::count_low.place(count_minus_one) |
         F::count_high.place(count_minus_one >> F::count_low.width) |
         F::base_word.place(base_word) | F::direction.place(direction);
}

// Succeeds for 1..=4148. Error: Count(count) otherwise.
ZERIN_EXCHANGE_API std::expected<void, ExchangeError> validate_count(std::uint32_t count) noexcept;

namespace detail {
// encode_send() and validate_count() themselves, inline so that the planners
// fold them into the rows they lay.
inline std::expected<std::uint32_t, ExchangeError> encode_send(std::uint32_t count_minus_one,
                                                               std::uint32_t direction,
                                                               std::uint32_t base_word) noexcept {
  using F = word_format::Send;
  if (!F::count_minus_one.fits(count_minus_one) || !F::direction.fits(direction) ||
      !F::base_word.fits(base_word)) {
    return std::unexpected(ExchangeError::schedule(ScheduleReason::SendInstructionOperand));
  }
  return F::kind.bits | F::count_minus_one.place(count_minus_one) | F::base_word.place(base_word) |
         F::direction.place(direction);
}

inline std::expected<void, ExchangeError> validate_count(std::uint32_t count) noexcept {
  if (count < 1 || count > maximum_transfer_count) {
    return std::unexpected(ExchangeError::Count{count});
  }
  return {};
}
}  // namespace detail

// ---- Recognisers and advance -----------------------------------------------

constexpr bool is_exchange_delay(std::uint32_t w) noexcept {
  return word_format::ExchangeDelay::kind.matches(w);
}
constexpr bool is_pic_delay(std::uint32_t w) noexcept {
  return word_format::PicDelay::kind.matches(w);
}
constexpr bool is_xpic_delay(std::uint32_t w) noexcept {
  return word_format::XpicDelay::kind.matches(w);
}
constexpr bool is_send(std::uint32_t w) noexcept {
  return word_format::Send::kind.matches(w);
}
constexpr bool is_send_off(std::uint32_t w) noexcept {
  return word_format::SendOff::kind.matches(w);
}
constexpr bool is_send_control(std::uint32_t w) noexcept {
  return word_format::SendControl::kind.matches(w);
}
// A SENDPICP instruction word (top four bits all 1).
constexpr bool is_send_control_pair(std::uint32_t w) noexcept {
  return word_format::SendPicp::kind.matches(w);
}
// Words that move payload: send and send-off words (not send-control, not SENDPICP).
constexpr bool is_payload_send(std::uint32_t w) noexcept {
  return is_send(w) || is_send_off(w);
}

// The 12-bit count_minus_one of a send-off word.
constexpr std::uint32_t send_off_count_minus_one(std::uint32_t w) noexcept {
  using F = word_format::SendOff;
  return F::count_low.get(w) | (F::count_high.get(w) << F::count_low.width);
}

// Cycles the word occupies before the next word issues; 0 for words that are not
// timed instructions (sync, return, 0, anything unrecognised).
constexpr std::uint32_t instruction_advance(std::uint32_t w) noexcept {
  namespace f = word_format;
  if (is_exchange_delay(w)) return f::ExchangeDelay::cycles.get(w) + 1;
  if (is_pic_delay(w)) return f::PicDelay::advance.get(w) + 1;
  if (is_xpic_delay(w)) return f::XpicDelay::advance.get(w) + 1;
  if (is_send(w)) return f::Send::count_minus_one.get(w) + 1;
  if (is_send_control_pair(w)) return f::SendPicp::count_minus_one.get(w) + 1;
  if (is_send_control(w)) return f::SendControl::count_minus_one.get(w) + 1;
  if (is_send_off(w)) return send_off_count_minus_one(w) + 1;
  return 0;
}

// The largest advance a timed control word can carry: 128 for a PIC delay word,
// 4096 for an XPIC delay word; no value for any other word (plain delays included).
constexpr std::optional<std::uint32_t> maximum_timed_instruction_advance(std::uint32_t w) noexcept {
  if (is_pic_delay(w)) return word_format::PicDelay::advance.max() + 1;
  if (is_xpic_delay(w)) return word_format::XpicDelay::advance.max() + 1;
  return std::nullopt;
}

// ---- Rewriters -----------------------------------------------------------

// Rewrites the advance field of a delay word so that instruction_advance() of the
// result equals `advance`; other fields stay. On error the word is unchanged.
// Errors (Schedule), in order: "zero event advance"; ScheduleReason::DelayAdvanceOverflow,
// ScheduleReason::PicDelayAdvanceOverflow, ScheduleReason::XpicDelayAdvanceOverflow (advance beyond
// the field); "scheduled offset truncates a send" (send, send-off or send-control word); "first
// scheduled event is not a delay" (anything else, SENDPICP included).
ZERIN_EXCHANGE_API std::expected<void, ExchangeError> set_instruction_advance(
    std::uint32_t& instruction, std::uint32_t advance) noexcept;

namespace detail {
// set_instruction_advance() itself, inline so that emission loops fold it in.
inline std::expected<void, ExchangeError> set_instruction_advance(std::uint32_t& instruction,
                                                                  std::uint32_t advance) noexcept {
  namespace f = word_format;
  if (advance == 0)
    return std::unexpected(ExchangeError::schedule(ScheduleReason::ZeroEventAdvance));
  const std::uint32_t immediate = advance - 1;
  auto rewrite = [&](WordField field,
                     ScheduleReason overflow) -> std::expected<void, ExchangeError> {
    if (!field.fits(immediate)) return std::unexpected(ExchangeError::schedule(overflow));
    instruction = field.set(instruction, immediate);
    return {};
  };
  // The delay kinds exclude each other, so the order of these tests is free: the
  // timed controls that emission rewrites come first.
  static_assert(f::PicDelay::kind.excludes(f::XpicDelay::kind) &&
                f::PicDelay::kind.excludes(f::ExchangeDelay::kind) &&
                f::XpicDelay::kind.excludes(f::ExchangeDelay::kind));
  if (is_pic_delay(instruction))
    return rewrite(f::PicDelay::advance, ScheduleReason::PicDelayAdvanceOverflow);
  if (is_xpic_delay(instruction)) {
    return rewrite(f::XpicDelay::advance, ScheduleReason::XpicDelayAdvanceOverflow);
  }
  if (is_exchange_delay(instruction)) {
    return rewrite(f::ExchangeDelay::cycles, ScheduleReason::DelayAdvanceOverflow);
  }
  if (is_send(instruction) || is_send_off(instruction) || is_send_control(instruction)) {
    return std::unexpected(ExchangeError::schedule(ScheduleReason::ScheduledOffsetTruncatesSend));
  }
  return std::unexpected(ExchangeError::schedule(ScheduleReason::FirstScheduledEventNotDelay));
}
}  // namespace detail

// Stamps `send_control` into the direction field of every send and send-off word
// of `row`, and of every SENDPICP word whose field's low two bits are not both 0.
// On error the row is unchanged. Errors (Schedule): "send control" (not 1..7);
// "sender payload" (no word rewritten).
ZERIN_EXCHANGE_API std::expected<void, ExchangeError> set_sender_control(
    ExchangeRow& row, std::uint8_t send_control) noexcept;

// Builds the SENDPICP pair (instruction word, payload word) for two receive
// events at one cycle: one PIC-stream and one XPIC-stream event, in any order.
// Errors (Schedule), in order: "SENDPICP operand" (count_minus_one > 63,
// source_word_address > 0x3FFFF, send_control > 7, or not exactly two events);
// "SENDPICP PIC control"; "SENDPICP XPIC control"; "SENDPICP event time".
ZERIN_EXCHANGE_API std::expected<std::pair<std::uint32_t, std::uint32_t>, ExchangeError>
encode_send_control_pair(std::uint32_t count_minus_one, std::uint32_t source_word_address,
                         std::uint32_t send_control, std::span<const ReceiveEvent> events) noexcept;

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_WORDS_HPP
