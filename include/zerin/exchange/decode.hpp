/// @file
/// Decoding instruction words back into their kind and named fields, and a short
/// text form of each for people reading rows.
///
/// The decoder reads the word-kind table the encoders are built from
/// (`word_kinds`), so decoding a word an encoder built gives back the encoder's
/// operands, cut to their fields.
///
/// Thread-safety: plain values and pure functions.
#ifndef ZERIN_EXCHANGE_DECODE_HPP
#define ZERIN_EXCHANGE_DECODE_HPP

#include "zerin/exchange/export.hpp"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zerin/exchange/words.hpp"

namespace zerin::exchange {

/// The value of one named field of a decoded word.
struct DecodedField {
  std::string_view name;    ///< The field's name in the word-kind table, e.g. "count_minus_one".
  std::uint32_t value = 0;  ///< Its value as stored (before the + 1 of an advance).
  /// Member-wise equality.
  friend bool operator==(const DecodedField&, const DecodedField&) = default;
};

/// One word with its kind and the values of its kind's named fields.
struct DecodedInstruction {
  std::uint32_t word = 0;          ///< The word itself.
  WordKind kind = WordKind::Zero;  ///< What it is.
  /// Cycles the word occupies in a row (instruction_advance(); 0 for a SENDPICP
  /// payload word, which travels with its instruction).
  std::uint32_t advance = 0;
  std::array<DecodedField, max_word_fields> field_values{};  ///< The first `field_count` are used.
  std::size_t field_count = 0;  ///< Number of named fields of the kind.

  /// The named fields with their values, in the table's operand order. The span
  /// points into this object, so it is not offered on a temporary.
  std::span<const DecodedField> fields() const& noexcept {
    return {field_values.data(), field_count};
  }
  /// Deleted: the span would outlive the temporary it points into.
  std::span<const DecodedField> fields() const&& = delete;
  /// The value of the field called `name`, or 0 when the kind has no such field.
  std::uint32_t field(std::string_view name) const noexcept {
    for (const DecodedField& f : fields()) {
      if (f.name == name) return f.value;
    }
    return 0;
  }
  /// The part the word's kind plays in a row.
  WordRole role() const noexcept { return word_kind_info(kind).role; }
  /// Member-wise equality.
  friend bool operator==(const DecodedInstruction&, const DecodedInstruction&) = default;
};

/// Decodes one word on its own (a SENDPICP payload word is only recognised by
/// decode_row()). Pure.
ZERIN_EXCHANGE_API DecodedInstruction decode_instruction(std::uint32_t word) noexcept;

/// Decodes a sequence of words in order; the word right after a SENDPICP
/// instruction word is decoded as its payload. Pure.
ZERIN_EXCHANGE_API std::vector<DecodedInstruction> decode_row(std::span<const std::uint32_t> words);

/// One line for people, for example "delay 139 (140 cycles)",
/// "send 64 words dir 1 from 0x0", "xpic 112 (113 cycles) flag 0 control 0x0". Pure.
ZERIN_EXCHANGE_API std::string describe(const DecodedInstruction& instruction);
/// describe(decode_instruction(word)).
ZERIN_EXCHANGE_API std::string describe_instruction(std::uint32_t word);

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_DECODE_HPP
