#include "phase_timeline.hpp"

#include "text.hpp"
#include "zerin/exchange/emission.hpp"
#include "zerin/exchange/receive_events.hpp"

namespace zerin::exchange::phase_detail {
namespace {

// A control word with its advance field set to 1, so that two controls compare
// by what they set, not by how long they waited.
std::uint32_t control_fields(std::uint32_t word) noexcept {
  std::uint32_t normalised = word;
  if (!set_instruction_advance(normalised, 1)) return word;
  return normalised;
}

void append_hex(std::string& out, std::uint32_t value) {
  out += "0x";
  detail::append_unsigned(out, value, 16);
}

}  // namespace

Step read_step(std::span<const DecodedInstruction> decoded, std::size_t index,
               std::uint32_t clock) noexcept {
  const DecodedInstruction& word = decoded[index];
  Step step;
  step.advance = word.advance;
  switch (word.kind) {
    case WordKind::ExchangeDelay:
      step.kind = StepKind::Wait;
      return step;
    case WordKind::Send:
    case WordKind::SendOff:
      step.kind = StepKind::Item;
      step.item = {ItemKind::Send, clock, word.word, 0, word.advance};
      return step;
    case WordKind::PicDelay:
    case WordKind::XpicDelay:
      // A timed control takes effect when its word completes.
      step.kind = StepKind::Item;
      step.item = {ItemKind::Control, clock + word.advance, word.word, 0, word.advance};
      return step;
    case WordKind::SendPicp:
      // The pair's controls take effect one cycle after it issues; its payload
      // word travels with it and takes no time of its own.
      if (index + 1 >= decoded.size() || decoded[index + 1].kind != WordKind::SendPicpPayload) {
        return step;
      }
      step.kind = StepKind::Item;
      step.item = {ItemKind::ControlPair, clock, word.word, decoded[index + 1].word, word.advance};
      step.words = 2;
      return step;
    case WordKind::Return:
      step.kind = StepKind::Return;
      step.advance = 0;
      return step;
    case WordKind::SendControl:
    case WordKind::SendPicpPayload:
    case WordKind::Sync:
    case WordKind::Zero:
    case WordKind::Unknown:
      break;
  }
  step.kind = StepKind::Unplaceable;
  return step;
}

std::expected<RowTimeline, ExchangeError> read_row(const ExchangeRow& row) {
  if (row[0] != sync_word) return detail::schedule_error(ScheduleReason::PhaseRowFrame);
  // Words are decoded as the walk reaches them (the zero fill after the return
  // word never is); the word after a SENDPICP instruction is its payload.
  RowTimeline out;
  // Nine words of at most 524288 cycles each: the clock cannot pass 32 bits.
  std::uint32_t clock = 0;
  for (std::size_t i = 1; i < row_length;) {
    std::array<DecodedInstruction, 2> decoded{decode_instruction(row[i])};
    std::size_t known = 1;
    if (decoded[0].kind == WordKind::SendPicp && i + 1 < row_length) {
      decoded[1] = decode_instruction(row[i + 1]);
      decoded[1].kind = WordKind::SendPicpPayload;
      decoded[1].advance = 0;
      known = 2;
    }
    const Step step = read_step(std::span(decoded).first(known), 0, clock);
    if (step.kind == StepKind::Return) {
      if (out.size == 0) return detail::schedule_error(ScheduleReason::PhaseRowFrame);
      out.horizon = clock;
      out.start = out.items[0].latest_issue();
      return out;
    }
    if (step.kind == StepKind::Unplaceable) {
      return detail::schedule_error(ScheduleReason::PhaseRowWord);
    }
    if (step.kind == StepKind::Item) out.items[out.size++] = step.item;
    clock += step.advance;
    i += step.words;
  }
  return detail::schedule_error(ScheduleReason::PhaseRowFrame);
}

std::expected<void, ExchangeError> lay_item(std::vector<std::uint32_t>& words, std::uint32_t& clock,
                                            const TimedItem& item, std::uint32_t shift) {
  const std::uint32_t cycle = item.cycle + shift;
  if (item.kind == ItemKind::Control) {
    // A lone receive event: emission cuts the word's advance so that it
    // completes at `cycle`, after a plain delay beyond the word's reach. The
    // event's kind only picks its stream.
    const ReceiveEvent event{
        cycle, item.word,
        is_pic_delay(item.word) ? ReceiveEventKind::Pointer : ReceiveEventKind::OrdinarySource};
    return append_receive_events(words, clock, std::span(&event, 1), cycle, false);
  }
  auto waited = append_plain_delay(words, clock, cycle);
  if (!waited) return waited;
  words.push_back(item.word);
  if (item.kind == ItemKind::ControlPair) words.push_back(item.payload);
  clock += item.advance;
  return {};
}

std::expected<void, ExchangeError> lay_row(std::vector<std::uint32_t>& words, std::uint32_t& clock,
                                           const RowTimeline& row, std::uint32_t shift) {
  for (const TimedItem& item : row.view()) {
    auto laid = lay_item(words, clock, item, shift);
    if (!laid) return laid;
  }
  return {};
}

std::string describe_item(const TimedItem& item, std::uint32_t shift) {
  const std::uint64_t cycle = std::uint64_t{item.cycle} + shift;
  std::string out;
  switch (item.kind) {
    case ItemKind::Send:
      out += describe_instruction(item.word);
      out += " (";
      append_hex(out, item.word);
      out += ") issuing at cycle ";
      break;
    case ItemKind::Control: {
      const DecodedInstruction decoded = decode_instruction(item.word);
      out += word_kind_name(decoded.kind);
      out += " control";
      // The fields a control sets; its advance only says when.
      for (const DecodedField& field : decoded.fields()) {
        if (field.name == "advance") continue;
        out += ' ';
        out += field.name;
        out += ' ';
        if (field.name == "control") {
          append_hex(out, field.value);
        } else {
          detail::append_unsigned(out, field.value);
        }
      }
      out += " taking effect at cycle ";
      break;
    }
    case ItemKind::ControlPair:
      out += "sendpicp ";
      append_hex(out, item.word);
      out += " payload ";
      append_hex(out, item.payload);
      out += " issuing at cycle ";
      break;
  }
  detail::append_unsigned(out, cycle);
  return out;
}

bool same_item(const TimedItem& expected, std::uint32_t shift, const TimedItem& found) noexcept {
  if (expected.kind != found.kind || std::uint64_t{expected.cycle} + shift != found.cycle) {
    return false;
  }
  if (expected.kind == ItemKind::Control) {
    return control_fields(expected.word) == control_fields(found.word);
  }
  return expected.word == found.word && expected.payload == found.payload;
}

}  // namespace zerin::exchange::phase_detail
