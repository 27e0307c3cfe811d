/// @file
/// Decoding instruction words back into their kind and fields, and a short text
/// form of each for people reading rows.
///
/// The decoder reads the same word layouts the encoders write (word_format), so
/// decoding a word an encoder built gives back the encoder's operands (cut to
/// their fields, as the masking encoders cut them).
///
/// Thread-safety: plain values and pure functions.
#ifndef ZERIN_EXCHANGE_DECODE_HPP
#define ZERIN_EXCHANGE_DECODE_HPP

#include "zerin/exchange/export.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "zerin/exchange/words.hpp"

namespace zerin::exchange {

/// What a word is. The timed kinds are told apart by their fixed bits; the two
/// frame words and 0 are recognised by value. `SendPicpPayload` is never the
/// result of decoding a word alone: only decode_row() knows that the word after a
/// SENDPICP instruction is its payload.
enum class WordKind : std::uint8_t {
  ExchangeDelay,
  PicDelay,
  XpicDelay,
  Send,
  SendOff,
  SendControl,
  SendPicp,
  SendPicpPayload,
  Sync,
  Return,
  Zero,
  Unknown,
};

/// Short lower-case name: "delay", "pic", "xpic", "send", "send-off",
/// "send-control", "sendpicp", "sendpicp-payload", "sync", "return", "zero", "unknown".
ZERIN_EXCHANGE_API std::string_view word_kind_name(WordKind kind) noexcept;

// The fields of each kind, named as in word_format (values as stored, before
// the + 1 that turns an operand into cycles).
namespace decoded {
struct ExchangeDelay {
  std::uint32_t cycles;
  /// Member-wise equality.
  friend bool operator==(const ExchangeDelay&, const ExchangeDelay&) = default;
};
struct PicDelay {
  std::uint32_t advance;
  std::uint32_t selector;
  std::uint32_t control;
  /// Member-wise equality.
  friend bool operator==(const PicDelay&, const PicDelay&) = default;
};
struct XpicDelay {
  std::uint32_t advance;
  std::uint32_t flag;
  std::uint32_t control;
  /// Member-wise equality.
  friend bool operator==(const XpicDelay&, const XpicDelay&) = default;
};
struct Send {
  std::uint32_t count_minus_one;
  std::uint32_t direction;
  std::uint32_t base_word;
  /// Member-wise equality.
  friend bool operator==(const Send&, const Send&) = default;
};
/// The 12-bit count put back together from its two pieces.
struct SendOff {
  std::uint32_t count_minus_one;
  std::uint32_t direction;
  std::uint32_t base_word;
  /// Member-wise equality.
  friend bool operator==(const SendOff&, const SendOff&) = default;
};
struct SendControl {
  std::uint32_t count_minus_one;
  std::uint32_t direction;
  /// Member-wise equality.
  friend bool operator==(const SendControl&, const SendControl&) = default;
};
struct SendPicp {
  std::uint32_t pointer_selector;
  std::uint32_t count_minus_one;
  std::uint32_t source_word_address;
  std::uint32_t send_control;
  /// Member-wise equality.
  friend bool operator==(const SendPicp&, const SendPicp&) = default;
};
/// The XPIC word's flag and control, and the PIC word's control, as carried.
struct SendPicpPayload {
  std::uint32_t xpic_flag;
  std::uint32_t xpic_control;
  std::uint32_t pic_control;
  /// Member-wise equality.
  friend bool operator==(const SendPicpPayload&, const SendPicpPayload&) = default;
};
/// Kinds without fields.
struct NoFields {
  /// Member-wise equality.
  friend bool operator==(const NoFields&, const NoFields&) = default;
};
}  // namespace decoded

using DecodedFields = std::variant<decoded::ExchangeDelay, decoded::PicDelay, decoded::XpicDelay,
                                   decoded::Send, decoded::SendOff, decoded::SendControl,
                                   decoded::SendPicp, decoded::SendPicpPayload, decoded::NoFields>;

struct DecodedInstruction {
  std::uint32_t word = 0;
  WordKind kind = WordKind::Zero;
  DecodedFields fields = decoded::NoFields{};
  /// Cycles the word occupies in a row (instruction_advance(); 0 for a SENDPICP
  /// payload word, which travels with its instruction).
  std::uint32_t advance = 0;
  /// Member-wise equality.
  friend bool operator==(const DecodedInstruction&, const DecodedInstruction&) = default;
};

/// Decodes one word on its own.
ZERIN_EXCHANGE_API DecodedInstruction decode_instruction(std::uint32_t word) noexcept;

/// Decodes a sequence of words in order; the word right after a SENDPICP
/// instruction word is decoded as its payload.
ZERIN_EXCHANGE_API std::vector<DecodedInstruction> decode_row(std::span<const std::uint32_t> words);

/// One line for people, for example "delay 139 (140 cycles)",
/// "send 64 words dir 1 from 0x0", "xpic 112 (113 cycles) flag 0 control 0x0".
ZERIN_EXCHANGE_API std::string describe(const DecodedInstruction& instruction);
/// describe(decode_instruction(word)).
ZERIN_EXCHANGE_API std::string describe_instruction(std::uint32_t word);

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_DECODE_HPP
