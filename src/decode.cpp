#include "zerin/exchange/decode.hpp"

#include "text.hpp"

namespace zerin::exchange {
namespace {

namespace f = word_format;

void append_hex(std::string& out, std::uint32_t value) {
  out += "0x";
  detail::append_unsigned(out, value, 16);
}

void append_words(std::string& out, std::uint32_t count_minus_one) {
  const std::uint64_t words = std::uint64_t{count_minus_one} + 1;
  detail::append_unsigned(out, words);
  out += words == 1 ? " word" : " words";
}

// "<operand> (<operand + 1> cycles)": a delay occupies its operand plus one cycle.
void append_operand_cycles(std::string& out, std::uint32_t operand) {
  detail::append_unsigned(out, operand);
  out += " (";
  const std::uint64_t cycles = std::uint64_t{operand} + 1;
  detail::append_unsigned(out, cycles);
  out += cycles == 1 ? " cycle)" : " cycles)";
}

void append_field(std::string& out, std::string_view name, std::uint32_t value, bool hex = false) {
  out += ' ';
  out += name;
  out += ' ';
  if (hex) {
    append_hex(out, value);
  } else {
    detail::append_unsigned(out, value);
  }
}

}  // namespace

std::string_view word_kind_name(WordKind kind) noexcept {
  switch (kind) {
    case WordKind::ExchangeDelay:
      return "delay";
    case WordKind::PicDelay:
      return "pic";
    case WordKind::XpicDelay:
      return "xpic";
    case WordKind::Send:
      return "send";
    case WordKind::SendOff:
      return "send-off";
    case WordKind::SendControl:
      return "send-control";
    case WordKind::SendPicp:
      return "sendpicp";
    case WordKind::SendPicpPayload:
      return "sendpicp-payload";
    case WordKind::Sync:
      return "sync";
    case WordKind::Return:
      return "return";
    case WordKind::Zero:
      return "zero";
    case WordKind::Unknown:
      return "unknown";
  }
  return "unknown";
}

DecodedInstruction decode_instruction(std::uint32_t word) noexcept {
  DecodedInstruction out;
  out.word = word;
  out.advance = instruction_advance(word);
  // The frame words are not timed instructions; test them before the kinds so
  // that a future layout overlapping them cannot capture them.
  if (word == sync_word) {
    out.kind = WordKind::Sync;
  } else if (word == return_word) {
    out.kind = WordKind::Return;
  } else if (word == 0) {
    out.kind = WordKind::Zero;
  } else if (is_exchange_delay(word)) {
    out.kind = WordKind::ExchangeDelay;
    out.fields = decoded::ExchangeDelay{f::ExchangeDelay::cycles.get(word)};
  } else if (is_pic_delay(word)) {
    using F = f::PicDelay;
    out.kind = WordKind::PicDelay;
    out.fields =
        decoded::PicDelay{F::advance.get(word), F::selector.get(word), F::control.get(word)};
  } else if (is_xpic_delay(word)) {
    using F = f::XpicDelay;
    out.kind = WordKind::XpicDelay;
    out.fields = decoded::XpicDelay{F::advance.get(word), F::flag.get(word), F::control.get(word)};
  } else if (is_send(word)) {
    using F = f::Send;
    out.kind = WordKind::Send;
    out.fields =
        decoded::Send{F::count_minus_one.get(word), F::direction.get(word), F::base_word.get(word)};
  } else if (is_send_control_pair(word)) {
    using F = f::SendPicp;
    out.kind = WordKind::SendPicp;
    out.fields = decoded::SendPicp{F::pointer_selector.get(word), F::count_minus_one.get(word),
                                   F::source_word_address.get(word), F::send_control.get(word)};
  } else if (is_send_control(word)) {
    using F = f::SendControl;
    out.kind = WordKind::SendControl;
    out.fields = decoded::SendControl{F::count_minus_one.get(word), F::direction.get(word)};
  } else if (is_send_off(word)) {
    using F = f::SendOff;
    out.kind = WordKind::SendOff;
    out.fields = decoded::SendOff{send_off_count_minus_one(word), F::direction.get(word),
                                  F::base_word.get(word)};
  } else {
    out.kind = WordKind::Unknown;
  }
  return out;
}

std::vector<DecodedInstruction> decode_row(std::span<const std::uint32_t> words) {
  std::vector<DecodedInstruction> out;
  out.reserve(words.size());
  bool payload_next = false;
  for (const std::uint32_t word : words) {
    if (payload_next) {
      // The payload word rides along with its instruction and takes no cycles.
      using P = f::SendPicpPayload;
      using X = f::XpicDelay;
      const std::uint32_t xpic = P::xpic_flag_and_control.get(word);
      DecodedInstruction payload;
      payload.word = word;
      payload.kind = WordKind::SendPicpPayload;
      payload.fields = decoded::SendPicpPayload{X::flag.get(xpic), X::control.get(xpic),
                                                P::pic_control.get(word)};
      payload.advance = 0;
      out.push_back(payload);
      payload_next = false;
      continue;
    }
    out.push_back(decode_instruction(word));
    payload_next = out.back().kind == WordKind::SendPicp;
  }
  return out;
}

std::string describe(const DecodedInstruction& instruction) {
  std::string out{word_kind_name(instruction.kind)};
  switch (instruction.kind) {
    case WordKind::ExchangeDelay: {
      const auto& d = std::get<decoded::ExchangeDelay>(instruction.fields);
      out += ' ';
      append_operand_cycles(out, d.cycles);
      break;
    }
    case WordKind::PicDelay: {
      const auto& d = std::get<decoded::PicDelay>(instruction.fields);
      out += ' ';
      append_operand_cycles(out, d.advance);
      append_field(out, "selector", d.selector);
      append_field(out, "control", d.control, true);
      break;
    }
    case WordKind::XpicDelay: {
      const auto& d = std::get<decoded::XpicDelay>(instruction.fields);
      out += ' ';
      append_operand_cycles(out, d.advance);
      append_field(out, "flag", d.flag);
      append_field(out, "control", d.control, true);
      break;
    }
    case WordKind::Send: {
      const auto& d = std::get<decoded::Send>(instruction.fields);
      out += ' ';
      append_words(out, d.count_minus_one);
      append_field(out, "dir", d.direction);
      append_field(out, "from", d.base_word, true);
      break;
    }
    case WordKind::SendOff: {
      const auto& d = std::get<decoded::SendOff>(instruction.fields);
      out += ' ';
      append_words(out, d.count_minus_one);
      append_field(out, "dir", d.direction);
      append_field(out, "from", d.base_word, true);
      break;
    }
    case WordKind::SendControl: {
      const auto& d = std::get<decoded::SendControl>(instruction.fields);
      out += ' ';
      append_words(out, d.count_minus_one);
      append_field(out, "dir", d.direction);
      break;
    }
    case WordKind::SendPicp: {
      const auto& d = std::get<decoded::SendPicp>(instruction.fields);
      out += ' ';
      append_words(out, d.count_minus_one);
      append_field(out, "dir", d.send_control);
      append_field(out, "from", d.source_word_address, true);
      append_field(out, "pointer", d.pointer_selector);
      break;
    }
    case WordKind::SendPicpPayload: {
      const auto& d = std::get<decoded::SendPicpPayload>(instruction.fields);
      append_field(out, "xpic flag", d.xpic_flag);
      append_field(out, "control", d.xpic_control, true);
      append_field(out, "pic control", d.pic_control, true);
      break;
    }
    case WordKind::Unknown:
      out += ' ';
      append_hex(out, instruction.word);
      break;
    case WordKind::Sync:
    case WordKind::Return:
    case WordKind::Zero:
      break;
  }
  return out;
}

std::string describe_instruction(std::uint32_t word) {
  return describe(decode_instruction(word));
}

}  // namespace zerin::exchange
