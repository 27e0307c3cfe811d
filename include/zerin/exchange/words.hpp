/// @file
/// Exchange instruction words: their layouts, encoders, recognisers and rewriters.
///
/// Each word kind is one record of the table `word_kinds`: its name, the fixed
/// bits that identify it, its named fields, how it is timed, its largest advance
/// and its role in a row. The encoders, recognisers, advance reading and
/// rewriting, and the decoder (decode.hpp) are all derived from that table.
///
/// Two kinds of encoder exist. Checking encoders (encode_send, validate_count,
/// set_instruction_advance, set_sender_control, encode_send_control_pair) reject
/// bad operands with an ExchangeError. Masking encoders (encode_exchange_delay,
/// encode_exchange_delay_pic, encode_exchange_delay_xpic, send_off and the short
/// forms delay, delay_pic, delay_xpic) cut every operand to its field; staying in
/// range is the caller's duty.
///
/// Thread-safety: every function is pure; the in-place rewriters touch only the
/// word or row they are given.
#ifndef ZERIN_EXCHANGE_WORDS_HPP
#define ZERIN_EXCHANGE_WORDS_HPP

#include "zerin/exchange/export.hpp"

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/receive_events.hpp"

namespace zerin::exchange {

/// Words in one row of a tile's exchange programme.
inline constexpr std::size_t row_length = 9;
/// A row: sync word, timed instructions, return word, then zero fill.
using ExchangeRow = std::array<std::uint32_t, row_length>;

/// Opens sender rows and multicast and paired receiver rows.
inline constexpr std::uint32_t sync_word = 0x41800003u;
/// Ends sender rows, receiver tails and paired receiver rows.
inline constexpr std::uint32_t return_word = 0x43A00000u;
/// Largest number of words one transfer moves. At this count the receiver tail's
/// XPIC advance operand (count - 53) reaches 4095, the top of its 12-bit field.
inline constexpr std::uint32_t maximum_transfer_count = 4148;

/// One bit field of an instruction word, possibly split in two pieces: the value's
/// low `width` bits sit at `shift`, its next `high_width` bits (if any) at `high_shift`.
struct WordField {
  unsigned shift = 0;       ///< Lowest bit of the low piece.
  unsigned width = 0;       ///< Width of the low piece.
  unsigned high_shift = 0;  ///< Lowest bit of the high piece.
  unsigned high_width = 0;  ///< Width of the high piece (0: the field is not split).

  /// Largest value the field holds.
  constexpr std::uint32_t max() const noexcept {
    return (std::uint32_t{1} << (width + high_width)) - 1u;
  }
  /// The field's bits in place.
  constexpr std::uint32_t mask() const noexcept { return place(max()); }
  /// The field's value in `word`.
  constexpr std::uint32_t get(std::uint32_t word) const noexcept {
    return ((word >> shift) & low_max()) | (((word >> high_shift) & high_max()) << width);
  }
  /// `value` cut to the field's width and moved into place.
  constexpr std::uint32_t place(std::uint32_t value) const noexcept {
    return ((value & low_max()) << shift) | (((value >> width) & high_max()) << high_shift);
  }
  /// `word` with the field replaced by `value` (cut to width).
  constexpr std::uint32_t set(std::uint32_t word, std::uint32_t value) const noexcept {
    return (word & ~mask()) | place(value);
  }
  /// Whether `value` fits the field without losing bits.
  constexpr bool fits(std::uint32_t value) const noexcept { return value <= max(); }

 private:
  constexpr std::uint32_t low_max() const noexcept { return (std::uint32_t{1} << width) - 1u; }
  constexpr std::uint32_t high_max() const noexcept {
    return (std::uint32_t{1} << high_width) - 1u;
  }
};

/// The fixed bits that tell a word kind apart: a word is of the kind when
/// (word & mask) == bits. A mask of 0 means the kind is never recognised from a
/// word alone.
struct WordKindBits {
  std::uint32_t mask = 0;  ///< The fixed bit positions.
  std::uint32_t bits = 0;  ///< Their values.
  /// Whether `word` has the kind's fixed bits.
  constexpr bool matches(std::uint32_t word) const noexcept {
    return mask != 0 && (word & mask) == bits;
  }
  /// Whether no word is of both kinds: some bit fixed by both is fixed differently.
  constexpr bool excludes(WordKindBits other) const noexcept {
    return ((bits ^ other.bits) & mask & other.mask) != 0;
  }
};

/// What a word is. Values are in the order `word_kinds` lists them, which is
/// also the order in which a word is recognised.
enum class WordKind : std::uint8_t {
  ExchangeDelay,    ///< Plain (exchange) delay word.
  PicDelay,         ///< PIC delay: a timed pointer/format control.
  XpicDelay,        ///< XPIC delay: a timed source/mux control.
  Send,             ///< Send of 1 to 64 words.
  SendPicp,         ///< SENDPICP instruction word: a send that also sets two receive controls.
  SendControl,      ///< Send-control word: recognised, never built.
  SendOff,          ///< Send-off: 1 to 4096 words, count split in two pieces.
  SendPicpPayload,  ///< The word after a SENDPICP instruction (never recognised alone).
  Sync,             ///< The sync word 0x41800003.
  Return,           ///< The return word 0x43A00000.
  Zero,             ///< The zero fill after a row's return word.
  Unknown,          ///< Any other word.
};

/// How a word kind's advance (the cycles it occupies) is read from its timing field.
enum class WordTiming : std::uint8_t {
  Operand,  ///< A delay: the operand + 1 cycles.
  Count,    ///< A send: one cycle per word sent, count_minus_one + 1 (split for send-off).
  None,     ///< Not a timed instruction: advance 0.
};

/// The part a word kind plays in a row.
enum class WordRole : std::uint8_t {
  Delay,    ///< Waits.
  Control,  ///< Sets a receive control (PIC, XPIC or both).
  Send,     ///< Puts data on the exchange (or controls a send).
  Frame,    ///< Opens, closes or fills a row, or rides along with another word.
  None,     ///< Not recognised.
};

/// Most named fields a word kind has.
inline constexpr std::size_t max_word_fields = 4;

/// One named field of a word kind.
struct NamedField {
  std::string_view name;   ///< Name, as the encoders' operands and the decoder call it.
  WordField bits;          ///< Where it lies.
  std::string_view label;  ///< Its label in describe(); empty for the timing field.
  bool hex = false;        ///< Whether describe() writes it in hexadecimal.
};

/// One word kind, described once.
struct WordKindInfo {
  WordKind kind = WordKind::Unknown;                 ///< Which kind.
  std::string_view name;                             ///< Short lower-case name, e.g. "send-off".
  WordKindBits fixed;                                ///< The fixed bits that identify it.
  std::array<NamedField, max_word_fields> fields{};  ///< Named fields, in operand order.
  std::size_t field_count = 0;                       ///< How many of `fields` are used.
  WordTiming timing = WordTiming::None;              ///< How its advance is read.
  std::size_t timing_field = 0;    ///< Index of the field that times it (when timed).
  WordRole role = WordRole::None;  ///< Its part in a row.
  bool moves_payload = false;      ///< Whether it moves payload (send and send-off words).
  /// The reason set_instruction_advance() gives when an advance does not fit
  /// (only for kinds timed by an operand).
  ScheduleReason advance_overflow = ScheduleReason::FirstScheduledEventNotDelay;
  /// Order of the fields in describe() (indices into `fields`).
  std::array<std::size_t, max_word_fields> describe_order{0, 1, 2, 3};

  /// The named fields in use.
  constexpr std::span<const NamedField> named_fields() const noexcept {
    return {fields.data(), field_count};
  }
  /// The field called `field_name`; naming a field the kind lacks does not compile.
  consteval WordField field(std::string_view field_name) const {
    for (std::size_t i = 0; i < field_count; ++i) {
      if (fields[i].name == field_name) return fields[i].bits;
    }
    throw "no such field";  // not a constant expression: a compile-time error
  }
  /// Whether the kind is a timed control: a receive control whose advance is an
  /// operand, which emission stretches to meet an event's cycle.
  constexpr bool timed_control() const noexcept {
    return role == WordRole::Control && timing == WordTiming::Operand;
  }
  /// Whether the kind is timed.
  constexpr bool timed() const noexcept { return timing != WordTiming::None; }
  /// The largest advance a word of this kind carries (0 when it is not timed).
  constexpr std::uint32_t largest_advance() const noexcept {
    return timed() ? fields[timing_field].bits.max() + 1 : 0;
  }
  /// The advance of `word`, which must be of this kind.
  constexpr std::uint32_t advance(std::uint32_t word) const noexcept {
    return timed() ? fields[timing_field].bits.get(word) + 1 : 0;
  }
};

/// Every word kind, indexed by its `WordKind` value. Words are recognised by the
/// first record whose fixed bits they have.
inline constexpr std::array<WordKindInfo, 12> word_kinds{{
    {WordKind::ExchangeDelay,
     "delay",
     {0xFFF80000u, 0x40A00000u},
     {{{"cycles", {0, 19}, {}}}},
     1,
     WordTiming::Operand,
     0,
     WordRole::Delay,
     false,
     ScheduleReason::DelayAdvanceOverflow},
    {WordKind::PicDelay,
     "pic",
     {0xFC000000u, 0x60000000u},
     {{{"advance", {19, 7}, {}},
       {"selector", {18, 1}, "selector"},
       {"control", {0, 18}, "control", true}}},
     3,
     WordTiming::Operand,
     0,
     WordRole::Control,
     false,
     ScheduleReason::PicDelayAdvanceOverflow},
    {WordKind::XpicDelay,
     "xpic",
     {0xFC000000u, 0x64000000u},
     {{{"advance", {14, 12}, {}},
       {"flag", {13, 1}, "flag"},
       {"control", {0, 13}, "control", true}}},
     3,
     WordTiming::Operand,
     0,
     WordRole::Control,
     false,
     ScheduleReason::XpicDelayAdvanceOverflow},
    {WordKind::Send,
     "send",
     {0xF8000000u, 0x78000000u},
     {{{"count_minus_one", {21, 6}, {}},
       {"direction", {0, 3}, "dir"},
       {"base_word", {3, 18}, "from", true}}},
     3,
     WordTiming::Count,
     0,
     WordRole::Send,
     true},
    {WordKind::SendPicp,
     "sendpicp",
     {0xF0000000u, 0xF0000000u},
     {{{"pointer_selector", {27, 1}, "pointer"},
       {"count_minus_one", {21, 6}, {}},
       {"source_word_address", {3, 18}, "from", true},
       {"send_control", {0, 3}, "dir"}}},
     4,
     WordTiming::Count,
     1,
     WordRole::Control,
     false,
     ScheduleReason::FirstScheduledEventNotDelay,
     {1, 3, 2, 0}},
    {WordKind::SendControl,
     "send-control",
     {0xF8100000u, 0x70100000u},
     {{{"count_minus_one", {21, 6}, {}}, {"direction", {0, 3}, "dir"}}},
     2,
     WordTiming::Count,
     0,
     WordRole::Send,
     false},
    {WordKind::SendOff,
     "send-off",
     {0xF8100000u, 0x70000000u},
     {{{"count_minus_one", {21, 6, 14, 6}, {}},
       {"direction", {0, 3}, "dir"},
       {"base_word", {3, 11}, "from", true}}},
     3,
     WordTiming::Count,
     0,
     WordRole::Send,
     true},
    {WordKind::SendPicpPayload,
     "sendpicp-payload",
     {},
     {{{"xpic_flag", {31, 1}, "xpic flag"},
       {"xpic_control", {18, 13}, "control", true},
       {"pic_control", {0, 18}, "pic control", true}}},
     3,
     WordTiming::None,
     0,
     WordRole::Frame,
     false},
    {WordKind::Sync, "sync", {0xFFFFFFFFu, sync_word}, {}, 0, WordTiming::None, 0, WordRole::Frame},
    {WordKind::Return,
     "return",
     {0xFFFFFFFFu, return_word},
     {},
     0,
     WordTiming::None,
     0,
     WordRole::Frame},
    {WordKind::Zero, "zero", {0xFFFFFFFFu, 0}, {}, 0, WordTiming::None, 0, WordRole::Frame},
    {WordKind::Unknown, "unknown", {}, {}, 0, WordTiming::None, 0, WordRole::None},
}};

/// The record of `kind`.
constexpr const WordKindInfo& word_kind_info(WordKind kind) noexcept {
  return word_kinds[static_cast<std::size_t>(kind)];
}

/// Short lower-case name of `kind`: "delay", "pic", "xpic", "send", "sendpicp",
/// "send-control", "send-off", "sendpicp-payload", "sync", "return", "zero", "unknown".
constexpr std::string_view word_kind_name(WordKind kind) noexcept {
  return word_kind_info(kind).name;
}

/// Calls `visit` with the record of `instruction`'s kind as a compile-time
/// constant, `std::integral_constant<WordKind, K>`, and returns what it returns.
/// The kind is the first in `word_kinds` whose fixed bits the word has, Unknown
/// when none (a SENDPICP payload word is only known as such beside its
/// instruction, see decode_row()). Each branch sees its kind's fields as
/// constants, so what `visit` reads from `word_kind_info(K)` costs no table look-up.
/// `visit` must return the same type for every kind. `From` is where the search
/// starts in `word_kinds`; callers leave it at 0.
template <std::size_t From = 0, class Visit>
constexpr decltype(auto) visit_word_kind(std::uint32_t instruction, Visit&& visit) {
  if constexpr (From + 1 >= word_kinds.size()) {
    return visit(std::integral_constant<WordKind, WordKind::Unknown>{});
  } else {
    constexpr WordKindBits fixed = word_kinds[From].fixed;
    if constexpr (fixed.mask != 0) {
      if ((instruction & fixed.mask) == fixed.bits) {
        return visit(std::integral_constant<WordKind, static_cast<WordKind>(From)>{});
      }
    }
    return visit_word_kind<From + 1>(instruction, visit);
  }
}

/// The kind of `instruction` read on its own (see visit_word_kind()). Pure.
constexpr WordKind recognise_word(std::uint32_t instruction) noexcept {
  return visit_word_kind(instruction, [](auto kind) { return kind.value; });
}

namespace word_format {
/// The record of each kind, by name, for the encoders and the planners.
inline constexpr const WordKindInfo& exchange_delay = word_kind_info(WordKind::ExchangeDelay);
/// PIC delay record.
inline constexpr const WordKindInfo& pic_delay = word_kind_info(WordKind::PicDelay);
/// XPIC delay record.
inline constexpr const WordKindInfo& xpic_delay = word_kind_info(WordKind::XpicDelay);
/// Send record.
inline constexpr const WordKindInfo& send = word_kind_info(WordKind::Send);
/// SENDPICP instruction record.
inline constexpr const WordKindInfo& send_picp = word_kind_info(WordKind::SendPicp);
/// Send-control record.
inline constexpr const WordKindInfo& send_control = word_kind_info(WordKind::SendControl);
/// Send-off record.
inline constexpr const WordKindInfo& send_off = word_kind_info(WordKind::SendOff);
/// SENDPICP payload record.
inline constexpr const WordKindInfo& send_picp_payload = word_kind_info(WordKind::SendPicpPayload);
}  // namespace word_format

/// The word of `kind` with the fixed bits and `values` placed in its fields, in
/// operand order (missing values are 0). Masking: each value is cut to its field.
template <class... Values>
constexpr std::uint32_t encode_word(const WordKindInfo& kind, Values... values) noexcept {
  // Each operand goes into the field of its position.
  std::uint32_t word = kind.fixed.bits;
  std::size_t field = 0;
  ((word |= field < kind.field_count
                ? kind.fields[field].bits.place(static_cast<std::uint32_t>(values))
                : 0u,
    ++field),
   ...);
  return word;
}

// ---- Encoders ------------------------------------------------------------

/// Plain (exchange) delay word: occupies `cycles` + 1 cycles; `cycles` is cut to
/// its 19-bit field (0x40A00000 | (cycles & 0x7FFFF)). Masking. Pure.
constexpr std::uint32_t encode_exchange_delay(std::uint32_t cycles) noexcept {
  return encode_word(word_format::exchange_delay, cycles);
}
/// Short form of encode_exchange_delay(), used by the row builders.
constexpr std::uint32_t delay(std::uint32_t cycles) noexcept {
  return encode_exchange_delay(cycles);
}

/// PIC delay word: occupies `advance` + 1 cycles (7-bit field), then sets the
/// incoming pointer/format control to `control` (18 bits) with the one-bit
/// `selector`. Masking: each operand is cut to its field. Pure.
constexpr std::uint32_t encode_exchange_delay_pic(std::uint32_t advance, std::uint32_t selector,
                                                  std::uint32_t control) noexcept {
  return encode_word(word_format::pic_delay, advance, selector, control);
}
/// Short form of encode_exchange_delay_pic(), used by the row builders.
constexpr std::uint32_t delay_pic(std::uint32_t advance, std::uint32_t selector,
                                  std::uint32_t control) noexcept {
  return encode_exchange_delay_pic(advance, selector, control);
}

/// XPIC delay word: occupies `advance` + 1 cycles (12-bit field), then sets the
/// incoming source/mux control to `control` (13 bits) with the one-bit `flag`.
/// Masking: each operand is cut to its field. Pure.
constexpr std::uint32_t encode_exchange_delay_xpic(std::uint32_t advance, std::uint32_t flag,
                                                   std::uint32_t control) noexcept {
  return encode_word(word_format::xpic_delay, advance, flag, control);
}
/// Short form of encode_exchange_delay_xpic(), used by the row builders.
constexpr std::uint32_t delay_xpic(std::uint32_t advance, std::uint32_t flag,
                                   std::uint32_t control) noexcept {
  return encode_exchange_delay_xpic(advance, flag, control);
}

/// Send word for `count_minus_one` + 1 words (1 to 64) from word address
/// `base_word` on route `direction`. Checking: fails with Schedule
/// SendInstructionOperand when `count_minus_one` > 63, `direction` > 7 or
/// `base_word` > 0x3FFFF (tested in that order). Pure.
constexpr std::expected<std::uint32_t, ExchangeError> encode_send(
    std::uint32_t count_minus_one, std::uint32_t direction, std::uint32_t base_word) noexcept {
  constexpr const WordKindInfo& kind = word_format::send;
  if (!kind.field("count_minus_one").fits(count_minus_one) ||
      !kind.field("direction").fits(direction) || !kind.field("base_word").fits(base_word)) {
    return std::unexpected(ExchangeError::schedule(ScheduleReason::SendInstructionOperand));
  }
  return encode_word(kind, count_minus_one, direction, base_word);
}

/// Send-off word for `count_minus_one` + 1 words (12 bits kept, so 1 to 4096
/// words), `direction` (3 bits) and `base_word` (11 bits). Masking. Pure.
constexpr std::uint32_t send_off(std::uint32_t count_minus_one, std::uint32_t direction,
                                 std::uint32_t base_word) noexcept {
  return encode_word(word_format::send_off, count_minus_one, direction, base_word);
}

/// Checks a transfer's word count: succeeds for 1 to 4148 (maximum_transfer_count).
/// Error: Count carrying `count` otherwise. Pure.
constexpr std::expected<void, ExchangeError> validate_count(std::uint32_t count) noexcept {
  if (count < 1 || count > maximum_transfer_count) {
    return std::unexpected(ExchangeError::Count{count});
  }
  return {};
}

// ---- Recognisers and advance -----------------------------------------------

/// Whether `instruction` is a plain (exchange) delay word.
constexpr bool is_exchange_delay(std::uint32_t instruction) noexcept {
  return word_format::exchange_delay.fixed.matches(instruction);
}
/// Whether `instruction` is a PIC delay word.
constexpr bool is_pic_delay(std::uint32_t instruction) noexcept {
  return word_format::pic_delay.fixed.matches(instruction);
}
/// Whether `instruction` is an XPIC delay word.
constexpr bool is_xpic_delay(std::uint32_t instruction) noexcept {
  return word_format::xpic_delay.fixed.matches(instruction);
}
/// Whether `instruction` is a send word.
constexpr bool is_send(std::uint32_t instruction) noexcept {
  return word_format::send.fixed.matches(instruction);
}
/// Whether `instruction` is a send-off word.
constexpr bool is_send_off(std::uint32_t instruction) noexcept {
  return word_format::send_off.fixed.matches(instruction);
}
/// Whether `instruction` is a send-control word.
constexpr bool is_send_control(std::uint32_t instruction) noexcept {
  return word_format::send_control.fixed.matches(instruction);
}
/// Whether `instruction` is a SENDPICP instruction word (top four bits all 1).
constexpr bool is_send_control_pair(std::uint32_t instruction) noexcept {
  return word_format::send_picp.fixed.matches(instruction);
}
/// Whether `instruction` moves payload: a send or send-off word (not a
/// send-control or SENDPICP word).
constexpr bool is_payload_send(std::uint32_t instruction) noexcept {
  return [&]<std::size_t... I>(std::index_sequence<I...>) {
    return ((word_kinds[I].moves_payload && word_kinds[I].fixed.matches(instruction)) || ...);
  }
  (std::make_index_sequence<word_kinds.size()>{});
}

/// Cycles the word occupies before the next word issues: a delay its operand + 1,
/// a send one cycle per word sent; 0 for words that are not timed instructions
/// (sync, return, 0, anything unrecognised). Pure.
constexpr std::uint32_t instruction_advance(std::uint32_t instruction) noexcept {
  return visit_word_kind(instruction, [instruction](auto kind) {
    return word_kind_info(kind.value).advance(instruction);
  });
}

/// The largest advance a timed control word can carry: 128 for a PIC delay word,
/// 4096 for an XPIC delay word; no value for any other word (plain delays included).
constexpr std::optional<std::uint32_t> maximum_timed_instruction_advance(
    std::uint32_t instruction) noexcept {
  return visit_word_kind(instruction, [](auto kind) -> std::optional<std::uint32_t> {
    constexpr const WordKindInfo& info = word_kind_info(kind.value);
    if constexpr (info.timed_control()) {
      return info.largest_advance();
    } else {
      return std::nullopt;
    }
  });
}

// ---- Rewriters -----------------------------------------------------------

/// Rewrites the advance field of a delay word in place so that
/// instruction_advance() of the result equals `advance`; its other fields stay.
/// On error the word is unchanged. Errors (Schedule), in order: ZeroEventAdvance;
/// DelayAdvanceOverflow, PicDelayAdvanceOverflow or XpicDelayAdvanceOverflow (the
/// advance is beyond the word's field); ScheduledOffsetTruncatesSend (a send,
/// send-off or send-control word); FirstScheduledEventNotDelay (any other word,
/// SENDPICP included). Touches only `instruction`.
constexpr std::expected<void, ExchangeError> set_instruction_advance(
    std::uint32_t& instruction, std::uint32_t advance) noexcept {
  if (advance == 0) {
    return std::unexpected(ExchangeError::schedule(ScheduleReason::ZeroEventAdvance));
  }
  return visit_word_kind(instruction, [&](auto kind) -> std::expected<void, ExchangeError> {
    constexpr const WordKindInfo& info = word_kind_info(kind.value);
    if constexpr (info.timing == WordTiming::Operand) {
      constexpr WordField field = info.fields[info.timing_field].bits;
      if (!field.fits(advance - 1)) {
        return std::unexpected(ExchangeError::schedule(info.advance_overflow));
      }
      instruction = field.set(instruction, advance - 1);
      return {};
    } else if constexpr (info.role == WordRole::Send) {
      return std::unexpected(ExchangeError::schedule(ScheduleReason::ScheduledOffsetTruncatesSend));
    } else {
      return std::unexpected(ExchangeError::schedule(ScheduleReason::FirstScheduledEventNotDelay));
    }
  });
}

/// Stamps `send_control` into the direction field of every send and send-off word
/// of `row`, and of every SENDPICP word whose field's low two bits are not both 0.
/// On error the row is unchanged. Errors (Schedule): "send control" (not 1..7);
/// "sender payload" (no word rewritten).
ZERIN_EXCHANGE_API std::expected<void, ExchangeError> set_sender_control(
    ExchangeRow& row, std::uint8_t send_control) noexcept;

/// Builds the SENDPICP pair (instruction word, payload word) for two receive
/// events at one cycle: one PIC-stream and one XPIC-stream event, in any order.
/// Errors (Schedule), in order: "SENDPICP operand" (count_minus_one > 63,
/// source_word_address > 0x3FFFF, send_control > 7, or not exactly two events);
/// "SENDPICP PIC control"; "SENDPICP XPIC control"; "SENDPICP event time".
ZERIN_EXCHANGE_API std::expected<std::pair<std::uint32_t, std::uint32_t>, ExchangeError>
encode_send_control_pair(std::uint32_t count_minus_one, std::uint32_t source_word_address,
                         std::uint32_t send_control, std::span<const ReceiveEvent> events) noexcept;

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_WORDS_HPP
