// Laying timed receive events out as words: plain and aligned delays, single
// timed words, SENDPICP pairs, the progress record, and the error order.
#include <gtest/gtest.h>

#include "expected_support.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string_view>
#include <tuple>
#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;
using Kind = zx::ReceiveEventKind;
using Words = std::vector<std::uint32_t>;

namespace {

using zx::testing::error_of;
using zx::testing::schedule;

// The words appended after the first `before` words.
Words tail(const Words& words, std::size_t before) {
  return {words.begin() + static_cast<std::ptrdiff_t>(before), words.end()};
}

using Record = std::tuple<std::size_t, std::size_t, std::uint32_t, std::optional<std::uint32_t>>;

// Uniform numbers in [low, high] from a seeded generator, for the random lists.
class Picker {
 public:
  explicit Picker(std::uint32_t seed) : rng_(seed) {}
  std::uint32_t operator()(std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(rng_);
  }

 private:
  std::mt19937 rng_;
};

// Runs emission from `clock` on a sink holding `prefix` and keeps every record.
struct Emitted {
  std::expected<void, zx::ExchangeError> result;
  Words appended;
  std::uint32_t clock;
  std::vector<Record> records;
};

Emitted emit(const std::vector<zx::ReceiveEvent>& events, std::uint32_t horizon, bool align,
             std::uint32_t clock = 0, Words prefix = {zx::sync_word}) {
  Emitted out{{}, {}, clock, {}};
  Words words = prefix;
  out.result = zx::append_receive_events_record(
      words, out.clock, events, horizon, align,
      [&](std::size_t consumed, std::size_t size, std::uint32_t cycles,
          std::optional<std::uint32_t> lookahead) {
        out.records.emplace_back(consumed, size, cycles, lookahead);
      });
  out.appended = tail(words, prefix.size());
  return out;
}

const zx::ReceiveEvent pointer10{10, 0x60040123, Kind::Pointer};
const zx::ReceiveEvent source10{10, 0x64002005, Kind::OrdinarySource};

TEST(PlainDelay, ChunksOfAtMost524288Cycles) {
  struct Case {
    std::uint32_t distance;
    Words words;
  };
  const std::vector<Case> cases{
      {0, {}},
      {7, {0x40A00006}},
      {524288, {0x40A7FFFF}},
      {524289, {0x40A7FFFF, 0x40A00000}},
      {1048577, {0x40A7FFFF, 0x40A7FFFF, 0x40A00000}},
  };
  for (const Case& c : cases) {
    Words words{zx::sync_word};
    std::uint32_t clock = 40;
    ASSERT_TRUE(zx::append_plain_delay(words, clock, 40 + c.distance));
    EXPECT_EQ(tail(words, 1), c.words) << c.distance;
    EXPECT_EQ(clock, 40 + c.distance);
    Words cycles_only;
    zx::append_delay_cycles(cycles_only, c.distance);
    EXPECT_EQ(cycles_only, c.words) << c.distance;
  }
  Words words;
  std::uint32_t clock = 40;
  EXPECT_EQ(error_of(zx::append_plain_delay(words, clock, 39)),
            schedule(zx::ScheduleReason::PlanDelayOrder));
  EXPECT_TRUE(words.empty());
  EXPECT_EQ(clock, 40u);
}

TEST(PlainDelay, AlignedToAWordParity) {
  struct Case {
    std::size_t length;  // words in the sink before
    std::uint32_t distance;
    std::size_t parity;
    std::optional<Words> words;  // absent: "SENDPICP instruction alignment"
  };
  const std::vector<Case> cases{
      {1, 3, 0, Words{0x40A00002}},
      {2, 3, 0, Words{0x40A00001, 0x40A00000}},
      {2, 0, 0, Words{}},
      {1, 0, 1, Words{}},
      {1, 0, 0, std::nullopt},
      {1, 1, 0, Words{0x40A00000}},
      {2, 1, 0, std::nullopt},
      {0, 524289, 0, Words{0x40A7FFFF, 0x40A00000}},
      {1, 524289, 0, Words{0x40A7FFFE, 0x40A00000, 0x40A00000}},
      {0, 3, 2, std::nullopt},
  };
  for (const Case& c : cases) {
    Words words(c.length, zx::sync_word);
    std::uint32_t clock = 100;
    const auto result = zx::append_plain_delay_aligned(words, clock, 100 + c.distance, c.parity);
    if (c.words) {
      ASSERT_TRUE(result) << c.length << " " << c.distance;
      EXPECT_EQ(tail(words, c.length), *c.words) << c.length << " " << c.distance;
      EXPECT_EQ(clock, 100 + c.distance);
    } else {
      EXPECT_EQ(error_of(result), schedule(zx::ScheduleReason::SendPicpInstructionAlignment))
          << c.length << " " << c.distance;
    }
  }
  Words words;
  std::uint32_t clock = 5;
  EXPECT_EQ(error_of(zx::append_plain_delay_aligned(words, clock, 4, 0)),
            schedule(zx::ScheduleReason::PlanDelayOrder));
}

TEST(Emission, SingleEventsWithinAndBeyondReach) {
  const auto run =
      emit({{100, 0x60040001, Kind::Format}, {303, 0x60040000, Kind::Format}}, 310, false);
  ASSERT_TRUE(run.result);
  EXPECT_EQ(run.appended, (Words{0x631C0001, 0x40A0004A, 0x63FC0000, 0x40A00006}));
  EXPECT_EQ(run.clock, 310u);
  EXPECT_EQ(run.records,
            (std::vector<Record>{{1, 2, 100, std::nullopt}, {2, 4, 303, std::nullopt}}));

  const zx::ReceiveEvent neutral{4096, 0x64002640, Kind::PairedNeutral};
  EXPECT_EQ(emit({neutral}, 4096, false).appended, (Words{0x67FFE640}));
  EXPECT_EQ(emit({{4097, 0x64002640, Kind::PairedNeutral}}, 4097, false).appended,
            (Words{0x40A00000, 0x67FFE640}));
  // Far events: whole plain delays first, then the timed word's full reach.
  EXPECT_EQ(emit({{2 * 524288 + 128, 0x60040000, Kind::Format}}, 2 * 524288 + 128, false).appended,
            (Words{0x40A7FFFF, 0x40A7FFFF, 0x63FC0000}));
}

TEST(Emission, EmptyListAppendsOnlyTheClosingDelay) {
  EXPECT_EQ(emit({}, 7, false).appended, (Words{0x40A00006}));
  const auto level = emit({}, 7, false, 7);
  ASSERT_TRUE(level.result);
  EXPECT_TRUE(level.appended.empty());
  EXPECT_TRUE(level.records.empty());
  EXPECT_EQ(error_of(emit({}, 6, false, 7).result), schedule(zx::ScheduleReason::PlanDelayOrder));
  EXPECT_EQ(emit({}, 524289, false).appended, (Words{0x40A7FFFF, 0x40A00000}));
}

TEST(Emission, SendPicpPairIssuesOneCycleEarly) {
  // Aligned from a one-word sink: one delay makes the length even.
  const auto aligned = emit({pointer10, source10}, 20, true);
  ASSERT_TRUE(aligned.result);
  EXPECT_EQ(aligned.appended, (Words{0x40A00008, 0xF9400000, 0x80140123}));
  EXPECT_EQ(aligned.clock, 20u);
  EXPECT_EQ(aligned.records, (std::vector<Record>{{2, 4, 20, 20u}}));
  // From a two-word sink the delay is split to keep the pair at an even index.
  const auto two = emit({source10, pointer10}, 20, true, 0, {zx::sync_word, 0x40A00000});
  ASSERT_TRUE(two.result);
  EXPECT_EQ(two.appended, (Words{0x40A00007, 0x40A00000, 0xF9400000, 0x80140123}));
  EXPECT_EQ(two.records, (std::vector<Record>{{2, 6, 20, 20u}}));
  // Unaligned, the same sink takes a single delay.
  EXPECT_EQ(emit({pointer10, source10}, 20, false, 0, {zx::sync_word, 0x40A00000}).appended,
            (Words{0x40A00008, 0xF9400000, 0x80140123}));
}

TEST(Emission, SendPicpOccupancyReachesTheNextGroup) {
  const auto next = emit({pointer10, source10, {11, 0x60040000, Kind::Format}}, 11, false);
  ASSERT_TRUE(next.result);
  EXPECT_EQ(next.appended, (Words{0x40A00008, 0xF8000000, 0x80140123, 0x60040000}));
  EXPECT_EQ(next.records, (std::vector<Record>{{2, 4, 10, 10u}, {3, 5, 11, std::nullopt}}));
  // Capped at 64 cycles; the next timed word covers the rest of the gap...
  const auto capped = emit({pointer10, source10, {200, 0x60040000, Kind::Format}}, 200, false);
  ASSERT_TRUE(capped.result);
  EXPECT_EQ(capped.appended, (Words{0x40A00008, 0xFFE00000, 0x80140123, 0x63F40000}));
  EXPECT_EQ(capped.records.front(), (Record{2, 4, 73, 199u}));
  // ...or a plain delay does, beyond its reach.
  const auto far = emit({pointer10, source10, {300, 0x60040000, Kind::Format}}, 300, false);
  ASSERT_TRUE(far.result);
  EXPECT_EQ(far.appended, (Words{0x40A00008, 0xFFE00000, 0x80140123, 0x40A00062, 0x63FC0000}));
}

TEST(Emission, SendPicpAlignmentFailures) {
  const zx::ReceiveEvent pointer{0, 0x60040123, Kind::Pointer};
  const zx::ReceiveEvent source{0, 0x64002005, Kind::OrdinarySource};
  auto pair_at = [&](std::uint32_t cycles) {
    auto p = pointer;
    auto s = source;
    p.cycles = s.cycles = cycles;
    return std::vector{p, s};
  };
  const auto alignment = schedule(zx::ScheduleReason::SendPicpInstructionAlignment);
  EXPECT_EQ(error_of(emit(pair_at(51), 60, true, 50, {1}).result), alignment);
  EXPECT_EQ(error_of(emit(pair_at(52), 60, true, 50, {1, 2}).result), alignment);
  const auto three = emit(pair_at(53), 60, true, 50, {1, 2});
  ASSERT_TRUE(three.result);
  EXPECT_EQ(three.appended, (Words{0x40A00000, 0x40A00000, 0xF8E00000, 0x80140123}));
  // Without alignment the same pairs are laid out.
  EXPECT_TRUE(emit(pair_at(51), 60, false, 50, {1}).result);
  EXPECT_TRUE(emit(pair_at(52), 60, false, 50, {1, 2}).result);
}

TEST(Emission, ErrorsInTheOrderTheyAreMet) {
  struct Case {
    std::vector<zx::ReceiveEvent> events;
    std::uint32_t horizon;
    std::uint32_t clock;
    zx::ScheduleReason reason;
  };
  const zx::ReceiveEvent send_word{30, 0x78000001, Kind::Format};
  const zx::ReceiveEvent delay_word{30, 0x40A00000, Kind::OrdinarySource};
  const zx::ReceiveEvent pointer0{0, 0x60040123, Kind::Pointer};
  const zx::ReceiveEvent source0{0, 0x64002005, Kind::OrdinarySource};
  const zx::ReceiveEvent pointer1{1, 0x60040123, Kind::Pointer};
  const zx::ReceiveEvent source1{1, 0x64002005, Kind::OrdinarySource};
  const zx::ReceiveEvent format5{5, 0x60040000, Kind::Format};
  const zx::ReceiveEvent format0{0, 0x60040000, Kind::Format};
  const std::vector<Case> cases{
      {{format5}, 40, 5, zx::ScheduleReason::ReceiveControlIssueInterval},
      {{format5}, 40, 6, zx::ScheduleReason::ReceiveEventOrder},
      {{send_word}, 40, 0, zx::ScheduleReason::ReceiveTimedEvent},
      {{delay_word}, 40, 0, zx::ScheduleReason::ReceiveTimedEvent},
      {{send_word}, 40, 30, zx::ScheduleReason::ReceiveControlIssueInterval},
      {{format5}, 4, 0, zx::ScheduleReason::PlanDelayOrder},
      {{pointer0, source0}, 40, 0, zx::ScheduleReason::ReceiveControlAtPhaseEntry},
      {{pointer10, source10}, 40, 12, zx::ScheduleReason::PlanDelayOrder},
      {{pointer10, source10, format5}, 40, 0, zx::ScheduleReason::ReceiveControlOrder},
      {{pointer10, source10}, 5, 0, zx::ScheduleReason::ReceiveControlOrder},
      {{pointer10, source10}, 9, 0, zx::ScheduleReason::EmptySendPicpInterval},
      {{pointer1, source1, format0}, 40, 0, zx::ScheduleReason::EmptySendPicpInterval},
      {{pointer10, pointer10}, 40, 0, zx::ScheduleReason::SendPicpXpicControl},
      {{source10, source10}, 40, 0, zx::ScheduleReason::SendPicpPicControl},
      // Three at one cycle are rejected, not passed over, and before anything else.
      {{pointer10, source10, source10},
       40,
       0,
       zx::ScheduleReason::IncompatibleSimultaneousReceiveControls},
      {{pointer0, source0, format0},
       40,
       0,
       zx::ScheduleReason::IncompatibleSimultaneousReceiveControls},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(error_of(emit(c.events, c.horizon, false, c.clock).result), schedule(c.reason))
        << zx::reason_text(c.reason);
  }
  // Words laid out before the failure stay; the caller discards them.
  const auto partial = emit({{100, 0x60040001, Kind::Format}, format5}, 310, false);
  EXPECT_EQ(error_of(partial.result), schedule(zx::ScheduleReason::ReceiveEventOrder));
  EXPECT_EQ(partial.appended, (Words{0x631C0001}));
  EXPECT_EQ(partial.clock, 100u);
}

TEST(Emission, BoundedSinkCountsPastItsCapacity) {
  zx::BoundedRowWords<2> words;
  words.push_back(zx::sync_word);
  std::uint32_t clock = 0;
  const std::vector<zx::ReceiveEvent> events{{100, 0x60040001, Kind::Format},
                                             {303, 0x60040000, Kind::Format}};
  ASSERT_TRUE(zx::append_receive_events(words, clock, events, 310, false));
  EXPECT_EQ(words.size(), 5u);
  EXPECT_TRUE(words.overflowed());
  EXPECT_EQ(Words(words.words().begin(), words.words().end()), (Words{zx::sync_word, 0x631C0001}));
}

// Random sorted, valid event lists: the appended words occupy exactly the time
// from the starting clock to the horizon, every single event's word completes
// at its cycle, and every SENDPICP pair issues one cycle before its events.
TEST(EmissionProperty, WordsMeetEveryEventAndTheHorizon) {
  Picker pick(20261208);
  namespace f = zx::word_format;
  int laid_out = 0;
  for (int trial = 0; trial < 4000; ++trial) {
    const std::uint32_t start = pick(0, 3);
    std::vector<zx::ReceiveEvent> events;
    std::uint32_t cycles = start;
    for (std::uint32_t group = pick(0, 6); group != 0; --group) {
      const std::uint32_t reach = std::array{3u, 150u, 5000u, 1100000u}[pick(0, 3)];
      cycles += pick(1, reach);
      if (pick(0, 3) == 0) {
        const zx::ReceiveEvent pic{cycles, zx::delay_pic(0, pick(0, 1), pick(0, 0x3FFFF)),
                                   Kind::Pointer};
        const zx::ReceiveEvent xpic{cycles, zx::delay_xpic(0, pick(0, 1), pick(0, 0x1FFF)),
                                    pick(0, 1) == 0 ? Kind::OrdinarySource : Kind::OrdinaryNeutral};
        if (pick(0, 1) == 0) {
          events.insert(events.end(), {pic, xpic});
        } else {
          events.insert(events.end(), {xpic, pic});
        }
      } else {
        const auto kind = static_cast<Kind>(pick(0, 6));
        const std::uint32_t word = zx::is_pic(kind)
                                       ? zx::delay_pic(0, pick(0, 1), pick(0, 0x3FFFF))
                                       : zx::delay_xpic(0, pick(0, 1), pick(0, 0x1FFF));
        events.push_back({cycles, word, kind});
      }
    }
    ASSERT_TRUE(zx::validate_receive_events(events));
    const std::uint32_t horizon = cycles + pick(0, 300);
    const bool align = pick(0, 1) == 1;
    Words words(pick(0, 2), zx::sync_word);
    const std::size_t before = words.size();
    std::uint32_t clock = start;
    const auto result = zx::append_receive_events(words, clock, events, horizon, align);
    if (!result) {
      // Only the parity of a SENDPICP position can stand in the way.
      EXPECT_TRUE(align);
      EXPECT_EQ(result.error(), schedule(zx::ScheduleReason::SendPicpInstructionAlignment));
      continue;
    }
    ++laid_out;
    EXPECT_EQ(clock, horizon);
    std::uint64_t time = start;
    std::size_t next = 0;
    for (std::size_t i = before; i < words.size(); ++i) {
      const std::uint32_t word = words[i];
      if (zx::is_send_control_pair(word)) {
        ASSERT_LT(next + 1, events.size());
        EXPECT_EQ(events[next].cycles, events[next + 1].cycles);
        EXPECT_EQ(time + 1, events[next].cycles);
        if (align) {
          EXPECT_EQ(i % 2, 0u);
        }
        time += zx::instruction_advance(word);
        ++i;  // its payload word takes no time of its own
        next += 2;
      } else if (zx::is_pic_delay(word) || zx::is_xpic_delay(word)) {
        ASSERT_LT(next, events.size());
        const std::uint32_t advance_bits = zx::is_pic_delay(word)
                                               ? f::pic_delay.field("advance").mask()
                                               : f::xpic_delay.field("advance").mask();
        EXPECT_EQ(word & ~advance_bits, events[next].instruction);
        time += zx::instruction_advance(word);
        EXPECT_EQ(time, events[next].cycles);
        ++next;
      } else {
        EXPECT_TRUE(zx::is_exchange_delay(word)) << std::hex << word;
        time += zx::instruction_advance(word);
      }
    }
    EXPECT_EQ(next, events.size());
    EXPECT_EQ(time, horizon);
  }
  EXPECT_GT(laid_out, 3000);
}

}  // namespace

namespace {}  // namespace
