#include "zerin/exchange/words.hpp"

#include "schedule_error.hpp"

namespace zerin::exchange {
namespace {

namespace f = word_format;

using detail::schedule_error;

// ---- Checks of the word-kind table ------------------------------------------

constexpr bool listed_in_kind_order() {
  for (std::size_t i = 0; i < word_kinds.size(); ++i) {
    if (static_cast<std::size_t>(word_kinds[i].kind) != i) return false;
  }
  return true;
}
static_assert(listed_in_kind_order(), "word_kinds is indexed by WordKind");
static_assert(word_kinds.back().kind == WordKind::Unknown,
              "visit_word_kind falls back on the last");

// Two recognised kinds overlap only where the recognition order decides which
// one a word is; no such pair exists today, so every pair must exclude the other.
constexpr bool recognised_kinds_exclude_each_other() {
  for (std::size_t i = 0; i < word_kinds.size(); ++i) {
    for (std::size_t j = i + 1; j < word_kinds.size(); ++j) {
      const WordKindBits a = word_kinds[i].fixed;
      const WordKindBits b = word_kinds[j].fixed;
      if (a.mask != 0 && b.mask != 0 && !a.excludes(b)) return false;
    }
  }
  return true;
}
static_assert(recognised_kinds_exclude_each_other());

// Every field lies outside the fixed bits and outside every other field, and the
// timing field is one of the kind's fields.
constexpr bool fields_are_disjoint(const WordKindInfo& kind) {
  std::uint32_t taken = kind.fixed.mask;
  for (const NamedField& field : kind.named_fields()) {
    if (field.bits.max() == 0 || (field.bits.mask() & taken) != 0) return false;
    taken |= field.bits.mask();
  }
  return !kind.timed() || kind.timing_field < kind.field_count;
}
constexpr bool all_fields_are_disjoint() {
  for (const WordKindInfo& kind : word_kinds) {
    if (!fields_are_disjoint(kind)) return false;
  }
  return true;
}
static_assert(all_fields_are_disjoint());

// An encoder places every field of its kind exactly once: with all ones in one
// operand and zeros in the others, the word is the fixed bits and that field.
template <class Encode>
constexpr bool places_each_field_once(const WordKindInfo& kind, Encode encode) {
  for (std::size_t i = 0; i < kind.field_count; ++i) {
    std::array<std::uint32_t, max_word_fields> operands{};
    operands[i] = kind.fields[i].bits.max();
    if (encode(operands) != (kind.fixed.bits | kind.fields[i].bits.mask())) return false;
    // One bit past the field is cut off, never placed elsewhere.
    operands[i] = kind.fields[i].bits.max() + 1;
    if (kind.fields[i].bits.max() != 0xFFFFFFFFu && encode(operands) != kind.fixed.bits) {
      return false;
    }
  }
  return true;
}
static_assert(places_each_field_once(f::exchange_delay,
                                     [](const auto& o) { return encode_exchange_delay(o[0]); }));
static_assert(places_each_field_once(f::pic_delay, [](const auto& o) {
  return encode_exchange_delay_pic(o[0], o[1], o[2]);
}));
static_assert(places_each_field_once(f::xpic_delay, [](const auto& o) {
  return encode_exchange_delay_xpic(o[0], o[1], o[2]);
}));
static_assert(places_each_field_once(f::send_off,
                                     [](const auto& o) { return send_off(o[0], o[1], o[2]); }));
static_assert(places_each_field_once(f::send, [](const auto& o) {
  return encode_word(f::send, o[0], o[1], o[2]);
}));
static_assert(places_each_field_once(f::send_picp, [](const auto& o) {
  return encode_word(f::send_picp, o[0], o[1], o[2], o[3]);
}));
static_assert(places_each_field_once(f::send_picp_payload, [](const auto& o) {
  return encode_word(f::send_picp_payload, o[0], o[1], o[2]);
}));
// encode_send places what it accepts as encode_word does.
static_assert(*encode_send(63, 0, 0) ==
              (f::send.fixed.bits | f::send.field("count_minus_one").mask()));
static_assert(*encode_send(0, 7, 0) == (f::send.fixed.bits | f::send.field("direction").mask()));
static_assert(*encode_send(0, 0, 0x3FFFF) ==
              (f::send.fixed.bits | f::send.field("base_word").mask()));

// The fixed bits that send, send-off and SENDPICP words all have set.
constexpr std::uint32_t routed_kind_bits =
    f::send.fixed.bits & f::send_off.fixed.bits & f::send_picp.fixed.bits;
static_assert((f::send.fixed.mask & routed_kind_bits) == routed_kind_bits &&
              (f::send_off.fixed.mask & routed_kind_bits) == routed_kind_bits &&
              (f::send_picp.fixed.mask & routed_kind_bits) == routed_kind_bits);

}  // namespace

std::expected<void, ExchangeError> set_sender_control(ExchangeRow& row,
                                                      std::uint8_t send_control) noexcept {
  constexpr WordField direction = f::send.field("direction");
  constexpr WordField pair_control = f::send_picp.field("send_control");
  if (send_control < 1 || send_control > direction.max()) {
    return schedule_error(ScheduleReason::SendControl);
  }
  // Words change only where one is rewritten, so a row with none is left as it was.
  bool rewritten = false;
  for (std::uint32_t& word : row) {
    // Sync, delay, return and fill words lack a bit that every routed kind has set.
    if ((word & routed_kind_bits) != routed_kind_bits) continue;
    if (is_payload_send(word)) {
      // Send and send-off words keep their direction in the same bits.
      static_assert(direction.mask() == f::send_off.field("direction").mask());
      word = direction.set(word, send_control);
      rewritten = true;
    } else if (is_send_control_pair(word) && (pair_control.get(word) & 3u) != 0) {
      // A SENDPICP whose control field holds 0 or 4 carries no route to rewrite.
      word = pair_control.set(word, send_control);
      rewritten = true;
    }
  }
  if (!rewritten) return schedule_error(ScheduleReason::SenderPayload);
  return {};
}

std::expected<std::pair<std::uint32_t, std::uint32_t>, ExchangeError> encode_send_control_pair(
    std::uint32_t count_minus_one, std::uint32_t source_word_address, std::uint32_t send_control,
    std::span<const ReceiveEvent> events) noexcept {
  constexpr const WordKindInfo& kind = f::send_picp;
  if (!kind.field("count_minus_one").fits(count_minus_one) ||
      !kind.field("source_word_address").fits(source_word_address) ||
      !kind.field("send_control").fits(send_control) || events.size() != 2) {
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
  const std::uint32_t instruction =
      encode_word(kind, f::pic_delay.field("selector").get(pic->instruction), count_minus_one,
                  source_word_address, send_control);
  const std::uint32_t payload =
      encode_word(f::send_picp_payload, f::xpic_delay.field("flag").get(xpic->instruction),
                  f::xpic_delay.field("control").get(xpic->instruction),
                  f::pic_delay.field("control").get(pic->instruction));
  return std::pair{instruction, payload};
}

}  // namespace zerin::exchange
