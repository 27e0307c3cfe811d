// Fuzz target: receive-event validation and emission, and the plain delays.
//
// Input: flags (u8: bit 0 align control pairs, bit 1 cycles given as deltas,
// bit 2 instructions built from the event kind), prefill length (u8, modulo 24),
// prefill seed (u32), starting clock (u32), horizon (u32, a delta after the last
// event with bit 1), delay target (u32), delay parity (u8), event count (u8,
// modulo 9), then per event: cycles (u32, or u16 delta), instruction (u32), kind
// (u8 modulo 7).
#include <algorithm>
#include <optional>
#include <vector>

#include "fuzz_support.hpp"

namespace zx = zerin::exchange;
namespace f = zx::word_format;
using namespace zx::fuzz;

namespace {

constexpr std::uint64_t cycle_limit = 0xFFFFFFFFu;

// Maximal runs of neighbours at one cycle: three or more, or a pair other than
// a Pointer with an ordinary XPIC control, cannot share an instruction.
bool events_valid(const std::vector<zx::ReceiveEvent>& events) {
  using K = zx::ReceiveEventKind;
  for (std::size_t i = 0; i < events.size();) {
    std::size_t j = i + 1;
    while (j < events.size() && events[j].cycles == events[i].cycles) ++j;
    if (j - i > 2) return false;
    if (j - i == 2) {
      const K x = events[i].kind;
      const K y = events[i + 1].kind;
      auto ordinary = [](K k) { return k == K::OrdinarySource || k == K::OrdinaryNeutral; };
      if (!((x == K::Pointer && ordinary(y)) || (y == K::Pointer && ordinary(x)))) return false;
    }
    i = j;
  }
  return true;
}

void check_plain_delays(std::uint32_t clock, std::uint32_t target, std::uint8_t parity,
                        std::size_t prefill) {
  {
    std::vector<std::uint32_t> words(prefill, 0);
    std::uint32_t cycles = clock;
    const auto laid = zx::append_plain_delay(words, cycles, target);
    if (target < clock) {
      require(!laid, "plain delay backwards succeeded");
      require_schedule(laid.error(), {"plan delay order"}, "plain delay error");
    } else {
      require(laid.has_value(), "plain delay failed");
      const std::uint64_t distance = target - clock;
      const std::uint64_t expected_words = (distance + 524287) / 524288;
      require(words.size() - prefill == expected_words, "plain delay is not the fewest words");
      for (std::size_t i = prefill; i < words.size(); ++i) {
        require(zx::is_exchange_delay(words[i]), "plain delay appended a non-delay");
      }
      require(occupied_cycles(words.data() + prefill, words.data() + words.size()) == distance &&
                  cycles == target,
              "plain delay covers its distance");
    }
  }
  std::vector<std::uint32_t> words(prefill, 0);
  std::uint32_t cycles = clock;
  const auto laid = zx::append_plain_delay_aligned(words, cycles, target, parity);
  if (target < clock) {
    require(!laid, "aligned delay backwards succeeded");
    require_schedule(laid.error(), {"plan delay order"}, "aligned delay error");
    return;
  }
  const std::uint64_t distance = target - clock;
  const std::uint64_t fewest = (distance + 524287) / 524288;
  const bool parity_mismatch = (prefill + fewest) % 2 != parity;
  const bool impossible = parity > 1 || (distance == 0 && prefill % 2 != parity) ||
                          (distance != 0 && fewest + (parity_mismatch ? 1 : 0) > distance);
  if (impossible) {
    require(!laid, "aligned delay succeeded where it cannot");
    require_schedule(laid.error(), {"SENDPICP instruction alignment"}, "aligned delay error");
    return;
  }
  require_value(laid, "aligned delay failed");
  require(words.size() % 2 == parity, "aligned delay parity");
  require(words.size() - prefill == (distance == 0 ? 0 : fewest + (parity_mismatch ? 1 : 0)),
          "aligned delay word count");
  require(occupied_cycles(words.data() + prefill, words.data() + words.size()) == distance &&
              cycles == target,
          "aligned delay covers its distance");
}

struct Progress {
  std::size_t consumed = 0;
  std::size_t size = 0;
  std::uint32_t clock = 0;
};

void check_emission(const std::vector<std::uint32_t>& prefill, std::uint32_t clock,
                    const std::vector<zx::ReceiveEvent>& events, std::uint32_t horizon,
                    bool align) {
  std::vector<std::uint32_t> words = prefill;
  std::uint32_t cycles = clock;
  Progress last{0, prefill.size(), clock};
  auto record = [&](std::size_t consumed, std::size_t size, std::uint32_t now,
                    std::optional<std::uint32_t> lookahead) {
    require(size == words.size(), "record reports a wrong sink size");
    require(now == cycles, "record reports a wrong clock");
    require(consumed > last.consumed && consumed <= events.size(), "record consumed count");
    require(size > last.size && now >= last.clock, "a group appended nothing");
    const std::size_t group = consumed - last.consumed;
    const zx::ReceiveEvent& first = events[last.consumed];
    if (!lookahead) {
      // One event: optional plain delays, then its own word completing at its cycle.
      require(group == 1, "single-event record for a group");
      require(now == first.cycles, "timed word does not complete at its event's cycle");
      const std::uint32_t word = words.back();
      const zx::WordField advance = zx::is_pic_delay(first.instruction)
                                        ? f::pic_delay.field("advance")
                                        : f::xpic_delay.field("advance");
      require((zx::is_pic_delay(first.instruction) || zx::is_xpic_delay(first.instruction)) &&
                  ((word ^ first.instruction) & ~advance.mask()) == 0,
              "timed word is not the event's word with a new advance");
      for (std::size_t i = last.size; i + 1 < words.size(); ++i) {
        require(zx::is_exchange_delay(words[i]), "a timed word is preceded by a non-delay");
      }
    } else {
      // Two events: plain delays, then a SENDPICP pair issued one cycle early.
      require(group == 2, "SENDPICP record for a group that is not a pair");
      require(words.size() - last.size >= 2, "SENDPICP pair missing");
      const std::size_t at = words.size() - 2;
      require(zx::is_send_control_pair(words[at]), "SENDPICP instruction word missing");
      require(!align || at % 2 == 0, "SENDPICP instruction at an odd position");
      const std::uint32_t issue = first.cycles - 1;
      require(now >= first.cycles && now <= *lookahead && now - issue <= 64 &&
                  zx::instruction_advance(words[at]) == now - issue,
              "SENDPICP occupancy");
      const auto pair = zx::encode_send_control_pair(now - issue - 1, 0, 0,
                                                     std::span(events).subspan(last.consumed, 2));
      require(pair.has_value() && pair->first == words[at] && pair->second == words[at + 1],
              "SENDPICP pair words");
      for (std::size_t i = last.size; i < at; ++i) {
        require(zx::is_exchange_delay(words[i]), "a SENDPICP pair is preceded by a non-delay");
      }
    }
    require(
        occupied_cycles(words.data() + last.size, words.data() + words.size()) == now - last.clock,
        "group words do not cover the clock's progress");
    last = {consumed, size, now};
  };
  const auto laid = zx::append_receive_events_record(words, cycles, events, horizon, align, record);
  Tally::outcome(align ? "aligned emission" : "emission", laid);
  require(std::equal(prefill.begin(), prefill.end(), words.begin()),
          "emission changed words it did not append");

  // The same run into a fixed-capacity sink agrees word for word.
  zx::BoundedRowWords<zx::row_length> bounded;
  for (const std::uint32_t word : prefill) bounded.push_back(word);
  std::uint32_t bounded_cycles = clock;
  const auto bounded_laid =
      zx::append_receive_events(bounded, bounded_cycles, events, horizon, align);
  require(bounded_laid == laid && bounded_cycles == cycles && bounded.size() == words.size() &&
              std::equal(bounded.words().begin(), bounded.words().end(), words.begin()),
          "bounded sink differs from the vector sink");

  if (!laid) {
    require_schedule(
        laid.error(),
        {"incompatible simultaneous receive controls", "receive control at phase entry",
         "plan delay order", "SENDPICP instruction alignment", "receive control order",
         "empty SENDPICP interval", "SENDPICP PIC control", "SENDPICP XPIC control",
         "receive event order", "receive control issue interval", "receive timed event"},
        "emission error");
    return;
  }
  require(cycles == horizon, "emission does not end at the horizon");
  require(last.consumed == events.size(), "emission skipped events");
  require(occupied_cycles(words.data() + prefill.size(), words.data() + words.size()) ==
              std::uint64_t{horizon} - clock,
          "appended words do not cover horizon - clock");
  // Every event list that emission lays out has non-decreasing cycles.
  require(std::is_sorted(events.begin(), events.end(),
                         [](const auto& x, const auto& y) { return x.cycles < y.cycles; }),
          "emission accepted an unordered list");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  const std::uint8_t flags = in.u8();
  const bool align = flags & 1u;
  const bool deltas = flags & 2u;
  const bool built = flags & 4u;
  const std::size_t prefill_length = in.u8() % 24u;
  const std::uint32_t seed = in.u32();
  const std::uint32_t clock = in.u32();
  std::uint32_t horizon = in.u32();
  const std::uint32_t delay_target = in.u32();
  const std::uint8_t parity = in.u8();
  std::vector<zx::ReceiveEvent> events(in.u8() % 9u);
  std::uint64_t at = clock;
  for (auto& event : events) {
    if (deltas) {
      at = std::min<std::uint64_t>(at + in.u16(), cycle_limit);
      event.cycles = static_cast<std::uint32_t>(at);
    } else {
      event.cycles = in.u32();
    }
    const std::uint32_t instruction = in.u32();
    event.kind = static_cast<zx::ReceiveEventKind>(in.u8() % 7u);
    if (built) {
      event.instruction = zx::is_pic(event.kind)
                              ? zx::delay_pic(0, instruction >> 18, instruction)
                              : zx::delay_xpic(0, instruction >> 13, instruction);
    } else {
      event.instruction = instruction;
    }
  }
  if (deltas)
    horizon = static_cast<std::uint32_t>(std::min<std::uint64_t>(at + horizon % 600u, cycle_limit));

  std::vector<std::uint32_t> prefill(prefill_length);
  for (std::size_t i = 0; i < prefill_length; ++i)
    prefill[i] = seed + static_cast<std::uint32_t>(i);

  const auto valid = zx::validate_receive_events(events);
  require(valid.has_value() == events_valid(events), "validate_receive_events");
  if (!valid) {
    require_schedule(valid.error(), {"incompatible simultaneous receive controls"},
                     "validation error");
  }
  for (std::size_t i = 0; i + 1 < events.size(); ++i) {
    require(zx::receive_events_can_share_instruction(events[i], events[i + 1]) ==
                zx::receive_events_can_share_instruction(events[i + 1], events[i]),
            "sharing is not symmetric");
  }

  check_plain_delays(clock, delay_target, parity, prefill_length);
  check_emission(prefill, clock, events, horizon, align);
  return 0;
}
