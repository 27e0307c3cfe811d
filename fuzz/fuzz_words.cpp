// Fuzz target: instruction words. Every encoder, recogniser and rewriter on
// arbitrary operands and words.
//
// Input: a, b, c, word, advance (u32 each), send control (u8), nine row words,
// SENDPICP count_minus_one, source address and send control (u32 each), an
// event count (u8, taken modulo 5) and that many events (cycles u32,
// instruction u32, kind u8 modulo 7).
#include <array>
#include <optional>
#include <vector>

#include "fuzz_support.hpp"

namespace zx = zerin::exchange;
namespace f = zx::word_format;
using namespace zx::fuzz;

namespace {

void check_masking_encoders(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  const std::uint32_t plain = zx::encode_exchange_delay(a);
  require(plain == zx::delay(a), "delay() differs from encode_exchange_delay()");
  require(zx::is_exchange_delay(plain) && recognised_kinds(plain) == 1, "plain delay kind");
  require(
      f::exchange_delay.field("cycles").get(plain) == (a & f::exchange_delay.field("cycles").max()),
      "plain delay operand");
  require(zx::instruction_advance(plain) == (a & f::exchange_delay.field("cycles").max()) + 1,
          "plain delay advance");
  require(!zx::maximum_timed_instruction_advance(plain), "plain delay is not a timed word");

  const std::uint32_t pic = zx::encode_exchange_delay_pic(a, b, c);
  require(pic == zx::delay_pic(a, b, c), "delay_pic() differs");
  require(zx::is_pic_delay(pic) && recognised_kinds(pic) == 1, "PIC delay kind");
  require(f::pic_delay.field("advance").get(pic) == (a & f::pic_delay.field("advance").max()) &&
              f::pic_delay.field("selector").get(pic) == (b & 1u) &&
              f::pic_delay.field("control").get(pic) == (c & f::pic_delay.field("control").max()),
          "PIC delay fields");
  require(zx::instruction_advance(pic) == (a & f::pic_delay.field("advance").max()) + 1,
          "PIC advance");
  require(zx::maximum_timed_instruction_advance(pic) == std::optional<std::uint32_t>{128},
          "PIC reach");

  const std::uint32_t xpic = zx::encode_exchange_delay_xpic(a, b, c);
  require(xpic == zx::delay_xpic(a, b, c), "delay_xpic() differs");
  require(zx::is_xpic_delay(xpic) && recognised_kinds(xpic) == 1, "XPIC delay kind");
  require(
      f::xpic_delay.field("advance").get(xpic) == (a & f::xpic_delay.field("advance").max()) &&
          f::xpic_delay.field("flag").get(xpic) == (b & 1u) &&
          f::xpic_delay.field("control").get(xpic) == (c & f::xpic_delay.field("control").max()),
      "XPIC delay fields");
  require(zx::instruction_advance(xpic) == (a & f::xpic_delay.field("advance").max()) + 1,
          "XPIC advance");
  require(zx::maximum_timed_instruction_advance(xpic) == std::optional<std::uint32_t>{4096},
          "XPIC reach");

  // Send-off: a 12-bit count, 11 bits of base, 3 of direction.
  const std::uint32_t off = zx::send_off(a, b, c);
  require(zx::is_send_off(off) && zx::is_payload_send(off) && recognised_kinds(off) == 1,
          "send-off word is recognised as a payload send-off");
  require(zx::word_format::send_off.field("count_minus_one").get(off) == (a & 0xFFFu),
          "send-off count");
  require(zx::instruction_advance(off) == (a & 0xFFFu) + 1, "send-off advance is count + 1");
  require(f::send_off.field("direction").get(off) == (b & 7u) &&
              f::send_off.field("base_word").get(off) == (c & f::send_off.field("base_word").max()),
          "send-off fields");
}

void check_send(std::uint32_t count_minus_one, std::uint32_t direction, std::uint32_t base) {
  const auto word = zx::encode_send(count_minus_one, direction, base);
  const bool fits = count_minus_one <= f::send.field("count_minus_one").max() &&
                    direction <= f::send.field("direction").max() &&
                    base <= f::send.field("base_word").max();
  if (!fits) {
    require(!word, "encode_send accepted an operand beyond its field");
    require_schedule(word.error(), {"send instruction operand"}, "encode_send error");
    return;
  }
  require(word.has_value(), "encode_send rejected operands in range");
  require(zx::is_send(*word) && zx::is_payload_send(*word) && recognised_kinds(*word) == 1,
          "send word is recognised as a payload send");
  require(zx::instruction_advance(*word) == count_minus_one + 1, "send advance is count + 1");
  require(f::send.field("count_minus_one").get(*word) == count_minus_one &&
              f::send.field("direction").get(*word) == direction &&
              f::send.field("base_word").get(*word) == base,
          "send fields");
}

void check_validate_count(std::uint32_t count) {
  const auto valid = zx::validate_count(count);
  if (count >= 1 && count <= zx::maximum_transfer_count) {
    require(valid.has_value(), "validate_count rejected a valid count");
  } else {
    require(!valid, "validate_count accepted an invalid count");
    require_error(valid.error(), zx::ExchangeError::Count{count}, "validate_count error");
  }
}

void check_recognisers(std::uint32_t word) {
  require(recognised_kinds(word) <= 1, "word carries the fixed bits of two kinds");
  require(zx::is_payload_send(word) == (zx::is_send(word) || zx::is_send_off(word)),
          "payload sends are exactly send and send-off words");
  std::uint32_t expected = 0;
  if (zx::is_exchange_delay(word)) expected = f::exchange_delay.field("cycles").get(word) + 1;
  if (zx::is_pic_delay(word)) expected = f::pic_delay.field("advance").get(word) + 1;
  if (zx::is_xpic_delay(word)) expected = f::xpic_delay.field("advance").get(word) + 1;
  if (zx::is_send(word)) expected = f::send.field("count_minus_one").get(word) + 1;
  if (zx::is_send_off(word))
    expected = zx::word_format::send_off.field("count_minus_one").get(word) + 1;
  if (zx::is_send_control(word)) expected = f::send_control.field("count_minus_one").get(word) + 1;
  if (zx::is_send_control_pair(word))
    expected = f::send_picp.field("count_minus_one").get(word) + 1;
  require(zx::instruction_advance(word) == expected, "instruction_advance");
  const auto reach = zx::maximum_timed_instruction_advance(word);
  if (zx::is_pic_delay(word)) {
    require(reach == std::optional<std::uint32_t>{128}, "PIC reach");
  } else if (zx::is_xpic_delay(word)) {
    require(reach == std::optional<std::uint32_t>{4096}, "XPIC reach");
  } else {
    require(!reach, "only PIC and XPIC delay words are timed words");
  }
}

void check_set_instruction_advance(std::uint32_t word, std::uint32_t advance) {
  std::uint32_t rewritten = word;
  const auto set = zx::set_instruction_advance(rewritten, advance);
  if (!set) {
    require(rewritten == word, "failed set_instruction_advance changed its word");
    std::string_view expected;
    if (advance == 0) {
      expected = "zero event advance";
    } else if (zx::is_exchange_delay(word)) {
      expected = "delay advance overflow";
    } else if (zx::is_pic_delay(word)) {
      expected = "PIC delay advance overflow";
    } else if (zx::is_xpic_delay(word)) {
      expected = "XPIC delay advance overflow";
    } else if (zx::is_send(word) || zx::is_send_off(word) || zx::is_send_control(word)) {
      expected = "scheduled offset truncates a send";
    } else {
      expected = "first scheduled event is not a delay";
    }
    require_schedule(set.error(), {expected}, "set_instruction_advance error");
    // A rejected advance must really be beyond the word's field.
    if (zx::is_exchange_delay(word) && advance != 0) {
      require(advance - 1 > f::exchange_delay.field("cycles").max(),
              "plain delay advance wrongly rejected");
    }
    if (zx::is_pic_delay(word) && advance != 0) {
      require(advance > 128, "PIC advance wrongly rejected");
    }
    if (zx::is_xpic_delay(word) && advance != 0) {
      require(advance > 4096, "XPIC advance wrongly rejected");
    }
    return;
  }
  require(zx::instruction_advance(rewritten) == advance, "advance after set_instruction_advance");
  zx::WordField field{};
  if (zx::is_exchange_delay(word)) {
    field = f::exchange_delay.field("cycles");
  } else if (zx::is_pic_delay(word)) {
    field = f::pic_delay.field("advance");
  } else if (zx::is_xpic_delay(word)) {
    field = f::xpic_delay.field("advance");
  } else {
    violation("set_instruction_advance rewrote a word that is not a delay");
  }
  require(((rewritten ^ word) & ~field.mask()) == 0, "set_instruction_advance changed other bits");
}

void check_set_sender_control(const zx::ExchangeRow& row, std::uint8_t send_control) {
  zx::ExchangeRow stamped = row;
  const auto set = zx::set_sender_control(stamped, send_control);
  auto is_target = [](std::uint32_t word) {
    return zx::is_payload_send(word) || (zx::is_send_control_pair(word) &&
                                         (f::send_picp.field("send_control").get(word) & 3u) != 0);
  };
  bool any_target = false;
  for (const std::uint32_t word : row) any_target = any_target || is_target(word);
  if (send_control < 1 || send_control > 7) {
    require(!set, "set_sender_control accepted an out-of-range control");
    require_schedule(set.error(), {"send control"}, "set_sender_control error");
    require(stamped == row, "failed set_sender_control changed its row");
    return;
  }
  if (!any_target) {
    require(!set, "set_sender_control succeeded on a row without sends");
    require_schedule(set.error(), {"sender payload"}, "set_sender_control error");
    require(stamped == row, "failed set_sender_control changed its row");
    return;
  }
  require(set.has_value(), "set_sender_control failed on a row with sends");
  for (std::size_t i = 0; i < zx::row_length; ++i) {
    if (is_target(row[i])) {
      require((stamped[i] & ~7u) == (row[i] & ~7u) && (stamped[i] & 7u) == send_control,
              "send word not stamped with the control");
    } else {
      require(stamped[i] == row[i], "set_sender_control changed a word that is not a send");
    }
  }
}

void check_send_control_pair(std::uint32_t count_minus_one, std::uint32_t address,
                             std::uint32_t send_control,
                             const std::vector<zx::ReceiveEvent>& events) {
  const auto pair = zx::encode_send_control_pair(count_minus_one, address, send_control, events);
  if (count_minus_one > 63 || address > 0x3FFFF || send_control > 7 || events.size() != 2) {
    require(!pair, "SENDPICP accepted bad operands");
    require_schedule(pair.error(), {"SENDPICP operand"}, "SENDPICP operand error");
    return;
  }
  const zx::ReceiveEvent* pic = nullptr;
  const zx::ReceiveEvent* xpic = nullptr;
  for (const auto& event : events) {
    if (!pic && zx::is_pic(event.kind)) pic = &event;
    if (!xpic && zx::is_xpic(event.kind)) xpic = &event;
  }
  if (!pic || !xpic || pic->cycles != xpic->cycles) {
    require(!pair, "SENDPICP accepted an unsuitable event pair");
    require_schedule(pair.error(),
                     {!pic    ? "SENDPICP PIC control"
                      : !xpic ? "SENDPICP XPIC control"
                              : "SENDPICP event time"},
                     "SENDPICP event error");
    return;
  }
  require(pair.has_value(), "SENDPICP rejected a valid pair");
  const auto [instruction, payload] = *pair;
  require(zx::is_send_control_pair(instruction) && recognised_kinds(instruction) == 1,
          "SENDPICP instruction word kind");
  require(zx::instruction_advance(instruction) == count_minus_one + 1, "SENDPICP advance");
  require(f::send_picp.field("count_minus_one").get(instruction) == count_minus_one &&
              f::send_picp.field("source_word_address").get(instruction) == address &&
              f::send_picp.field("send_control").get(instruction) == send_control &&
              f::send_picp.field("pointer_selector").get(instruction) ==
                  f::pic_delay.field("selector").get(pic->instruction),
          "SENDPICP instruction fields");
  require(f::send_picp_payload.field("pic_control").get(payload) ==
                  f::pic_delay.field("control").get(pic->instruction) &&
              // Bits 0 to 13 of the XPIC word (control and flag) ride in bits 18 to 31.
              (payload >> 18) == (xpic->instruction & 0x3FFFu),
          "SENDPICP payload fields");
  // The order of the two events does not matter.
  const std::vector<zx::ReceiveEvent> swapped{events[1], events[0]};
  const auto again = zx::encode_send_control_pair(count_minus_one, address, send_control, swapped);
  require(again.has_value() && *again == *pair, "SENDPICP depends on the event order");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  const std::uint32_t a = in.u32();
  const std::uint32_t b = in.u32();
  const std::uint32_t c = in.u32();
  const std::uint32_t word = in.u32();
  const std::uint32_t advance = in.u32();
  const std::uint8_t send_control = in.u8();
  zx::ExchangeRow row{};
  for (std::uint32_t& row_word : row) row_word = in.u32();
  const std::uint32_t pair_count = in.u32();
  const std::uint32_t pair_address = in.u32();
  const std::uint32_t pair_control = in.u32();
  std::vector<zx::ReceiveEvent> events(in.u8() % 5);
  for (auto& event : events) {
    event.cycles = in.u32();
    event.instruction = in.u32();
    event.kind = static_cast<zx::ReceiveEventKind>(in.u8() % 7);
  }

  check_masking_encoders(a, b, c);
  check_send(a, b, c);
  // The same operands cut to their fields, so the success path is always taken too.
  check_send(a & 63u, b & 7u, c & 0x3FFFFu);
  check_validate_count(a);
  check_validate_count(a % 4200u);
  check_recognisers(word);
  for (const std::uint32_t row_word : row) check_recognisers(row_word);
  check_set_instruction_advance(word, advance);
  // Delay words of each kind from the operands, with advances near their reach.
  check_set_instruction_advance(zx::delay(a), advance);
  check_set_instruction_advance(zx::delay_pic(a, b, c), advance % 160u);
  check_set_instruction_advance(zx::delay_xpic(a, b, c), advance % 4200u);
  check_set_sender_control(row, send_control);
  check_set_sender_control(row, static_cast<std::uint8_t>(send_control % 9u));
  check_send_control_pair(pair_count, pair_address, pair_control, events);
  check_send_control_pair(pair_count & 63u, pair_address & 0x3FFFFu, pair_control & 7u, events);
  return 0;
}
