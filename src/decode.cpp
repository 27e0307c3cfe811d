#include "zerin/exchange/decode.hpp"

#include "text.hpp"

namespace zerin::exchange {
namespace {

void append_hex(std::string& out, std::uint32_t value) {
  out += "0x";
  detail::append_unsigned(out, value, 16);
}

// The timing field as people read it: "<n> word(s)" for a send, "<operand>
// (<operand + 1> cycle(s))" for a delay, which occupies its operand plus one cycle.
void append_timing(std::string& out, WordTiming timing, std::uint32_t value) {
  const std::uint64_t cycles = std::uint64_t{value} + 1;
  if (timing == WordTiming::Count) {
    detail::append_unsigned(out, cycles);
    out += cycles == 1 ? " word" : " words";
    return;
  }
  detail::append_unsigned(out, value);
  out += " (";
  detail::append_unsigned(out, cycles);
  out += cycles == 1 ? " cycle)" : " cycles)";
}

DecodedInstruction decode_as(const WordKindInfo& kind, std::uint32_t word) noexcept {
  DecodedInstruction out;
  out.word = word;
  out.kind = kind.kind;
  out.advance = kind.advance(word);
  out.field_count = kind.field_count;
  for (std::size_t i = 0; i < kind.field_count; ++i) {
    out.field_values[i] = {kind.fields[i].name, kind.fields[i].bits.get(word)};
  }
  return out;
}

}  // namespace

DecodedInstruction decode_instruction(std::uint32_t word) noexcept {
  return decode_as(word_kind_info(recognise_word(word)), word);
}

std::vector<DecodedInstruction> decode_row(std::span<const std::uint32_t> words) {
  std::vector<DecodedInstruction> out;
  out.reserve(words.size());
  bool payload_next = false;
  for (const std::uint32_t word : words) {
    // The payload word rides along with its instruction and takes no cycles.
    out.push_back(payload_next ? decode_as(word_format::send_picp_payload, word)
                               : decode_instruction(word));
    payload_next = out.back().kind == WordKind::SendPicp;
  }
  return out;
}

std::string describe(const DecodedInstruction& instruction) {
  const WordKindInfo& kind = word_kind_info(instruction.kind);
  std::string out{kind.name};
  if (kind.kind == WordKind::Unknown) {
    out += ' ';
    append_hex(out, instruction.word);
    return out;
  }
  if (kind.timed()) {
    out += ' ';
    append_timing(out, kind.timing, instruction.field_values[kind.timing_field].value);
  }
  for (std::size_t i = 0; i < kind.field_count; ++i) {
    const std::size_t index = kind.describe_order[i];
    if (kind.timed() && index == kind.timing_field) continue;
    out += ' ';
    out += kind.fields[index].label;
    out += ' ';
    if (kind.fields[index].hex) {
      append_hex(out, instruction.field_values[index].value);
    } else {
      detail::append_unsigned(out, instruction.field_values[index].value);
    }
  }
  return out;
}

std::string describe_instruction(std::uint32_t word) {
  return describe(decode_instruction(word));
}

}  // namespace zerin::exchange
