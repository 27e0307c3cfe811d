// Paired (64-bit) multicast: receiver earliness, paired receiver rows and
// whole paired plans on the r470 board.
#include <gtest/gtest.h>

#include "expected_support.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;
using Kind = zx::ReceiveEventKind;
using Row = zx::ExchangeRow;
using Tiles = std::vector<std::uint16_t>;

namespace {

constexpr std::uint32_t sync = zx::sync_word;
constexpr std::uint32_t ret = zx::return_word;

const zx::Topology& board() {
  static const zx::Topology topology = zx::Topology::r470();
  return topology;
}

using zx::testing::error_of;
using zx::testing::schedule;

const zx::ExchangeError coincident = schedule(zx::ScheduleReason::PairedReceiveCoincidentControls);

TEST(PairedReceiverEarliness, LocalMuxBeforeThePartners) {
  // Sender 0 reaches physical 64 at -31 and 66 at -30.
  EXPECT_EQ(board().paired_receiver_is_early(2, 0), true);
  EXPECT_EQ(board().paired_receiver_is_early(3, 0), false);
  // The partner need not be a tile of the topology.
  EXPECT_EQ(zx::Topology({0, 64}).paired_receiver_is_early(1, 0), true);
  EXPECT_EQ(zx::Topology({0, 66}).paired_receiver_is_early(1, 0), false);
  // Receiver first, then sender.
  EXPECT_EQ(error_of(board().paired_receiver_is_early(1472, 1473)), zx::ExchangeError::Tile{1472});
  EXPECT_EQ(error_of(board().paired_receiver_is_early(2, 1473)), zx::ExchangeError::Tile{1473});
}

TEST(PairedReceiverRow, RowsFromGivenTiming) {
  // Physical 130 has phase 4; from physical 0 its mux time is -32, its
  // partner's -33 (not early), and -41 puts the source event at cycle 10.
  const zx::Topology two({0, 130});
  EXPECT_EQ(two.paired_receiver_row(0, 1, 8, -41),
            (Row{sync, 0x62040001, 0x60080000, 0x602C0000, 0x40A00006, ret, 0, 0, 0}));
  // Physical 162 (phase 4) is early from physical 5 (-18 against -17): the
  // source event carries 5 ^ 2 and the neutral control lands at 18.
  const zx::Topology early({5, 162});
  EXPECT_EQ(
      early.paired_receiver_row(0, 1, 8, -26),
      (Row{sync, 0x64026007, 0x6401E640, 0x61740001, 0x60080000, 0x602C0000, 0x40A00006, ret, 0}));
}

TEST(PairedReceiverRow, BoardRowsFromSenderZero) {
  const auto row = [](std::uint16_t receiver, std::uint32_t count) {
    return board().paired_receiver_row(0, receiver, count, -30);
  };
  EXPECT_EQ(row(2, 8), (Row{sync, 0x64002000, 0x6401E640, 0x61640001, 0x60080000, 0x602C0000,
                            0x40A00006, ret, 0}));
  EXPECT_EQ(row(3, 8), (Row{sync, 0x61AC0001, 0x60080000, 0x602C0000, 0x40A00006, ret, 0, 0, 0}));
  // Count 1: format end at 55 comes before the pointer at 56.
  EXPECT_EQ(row(3, 1), (Row{sync, 0x61AC0001, 0x60040000, 0x60000000, 0x40A00006, ret, 0, 0, 0}));
  // Count 4148: the format end word lies beyond the PIC reach of the pointer.
  EXPECT_EQ(row(3, 4148),
            (Row{sync, 0x61AC0001, 0x60080000, 0x40A00FB1, 0x63FC0000, 0x40A00006, ret, 0, 0}));
  // One cycle past the PIC reach needs a one-cycle delay first.
  EXPECT_EQ(row(3, 130), (Row{sync, 0x61AC0001, 0x60080000, 0x63FC0000, 0x40A00006, ret, 0, 0, 0}));
  EXPECT_EQ(row(3, 131),
            (Row{sync, 0x61AC0001, 0x60080000, 0x40A00000, 0x63FC0000, 0x40A00006, ret, 0, 0}));
  EXPECT_EQ(row(2, 4148), (Row{sync, 0x64002000, 0x61A40001, 0x60080000, 0x67FF2640, 0x61A40000,
                               0x40A00006, ret, 0}));
  // Count 2 puts format end on the pointer, early or not; for receiver 2
  // (phase 2) counts 53 and 55 put the neutral control on format start and on
  // the pointer.
  for (const std::uint32_t count : {2u, 53u, 55u}) EXPECT_EQ(error_of(row(2, count)), coincident);
  EXPECT_EQ(error_of(row(3, 2)), coincident);
  // An empty transfer opens and closes the format at once (and, early, puts
  // the neutral control on the source selection).
  EXPECT_EQ(error_of(row(2, 0)), coincident);
  EXPECT_EQ(error_of(row(3, 0)), coincident);
  for (const std::uint32_t count : {52u, 54u, 56u}) EXPECT_TRUE(row(2, count)) << count;
  EXPECT_TRUE(row(3, 53));
  EXPECT_TRUE(row(3, 55));
}

TEST(PairedReceiverRow, LongLeadsAndRowCapacity) {
  // A source event at 4971: a plain delay, then the XPIC word's full reach;
  // nine words with no zero fill.
  EXPECT_EQ(board().paired_receiver_row(0, 2, 8, -5000),
            (Row{sync, 0x40A0036A, 0x67FFE000, 0x6401E640, 0x61640001, 0x60080000, 0x602C0000,
                 0x40A00006, ret}));
  // Near a million cycles in, two plain delays open the row: the receiver
  // without XPIC words still fits, the early one does not.
  EXPECT_EQ(
      board().paired_receiver_row(0, 3, 8, -1000000),
      (Row{sync, 0x40A7FFFF, 0x40A741D7, 0x63FC0001, 0x60080000, 0x602C0000, 0x40A00006, ret, 0}));
  EXPECT_EQ(error_of(board().paired_receiver_row(0, 2, 8, -1000000)),
            schedule(zx::ScheduleReason::PairedReceiveRowCapacity));
}

TEST(PairedReceiverRow, ErrorsInOrder) {
  EXPECT_EQ(error_of(board().paired_receiver_row(1473, 1472, 8, 100)),
            zx::ExchangeError::Tile{1473});
  EXPECT_EQ(error_of(board().paired_receiver_row(0, 1472, 8, 100)), zx::ExchangeError::Tile{1472});
  // With a minimum above this receiver's own mux time its source event is negative.
  EXPECT_EQ(error_of(board().paired_receiver_row(0, 2, 8, 100)),
            schedule(zx::ScheduleReason::PairedSourceTiming));
  EXPECT_EQ(error_of(board().paired_receiver_row(0, 2, 2, 100)),
            schedule(zx::ScheduleReason::PairedSourceTiming));
  EXPECT_THROW((void)board().paired_receiver_row(0, 2, 8, std::numeric_limits<std::int32_t>::min()),
               zx::InternalFault);
}

// The sender row must be multicast's with only the send-control bits changed.
void expect_stamped(const Row& paired, const Row& multicast, std::uint32_t send_control) {
  for (std::size_t i = 0; i < paired.size(); ++i) {
    const std::uint32_t word = multicast[i];
    EXPECT_EQ(paired[i], zx::is_payload_send(word) ? (word & ~7u) | send_control : word) << i;
  }
}

TEST(PairedMulticast, SendControlAndSenderRows) {
  const Tiles low{2, 3};
  const auto zero = board().paired_multicast(0, low, 1);
  ASSERT_TRUE(zero);
  EXPECT_EQ(zero->sender, (Row{sync, 0x40A0001E, 0x78000005, ret, 0, 0, 0, 0, 0}));
  ASSERT_EQ(zero->receivers.size(), 2u);
  EXPECT_EQ(zero->receivers[0], board().paired_receiver_row(0, 2, 1, -30));
  EXPECT_EQ(zero->receivers[1], board().paired_receiver_row(0, 3, 1, -30));

  const auto far = board().paired_multicast(736, low, 1);
  ASSERT_TRUE(far);
  EXPECT_EQ(far->sender, (Row{sync, 0x78000006, 0x40A00004, ret, 0, 0, 0, 0, 0}));
  EXPECT_EQ(far->receivers[0], board().paired_receiver_row(736, 2, 1, 66));
  EXPECT_EQ(far->receivers[1], board().paired_receiver_row(736, 3, 1, 66));

  struct Case {
    std::uint16_t sender;
    Tiles receivers;
    std::uint32_t send_control;
  };
  const std::vector<Case> cases{
      {274, {2, 3}, 6},     {274, {3, 2}, 6},     {0, {3, 2}, 5},       {274, {274, 275}, 7},
      {275, {274, 275}, 7}, {0, {2, 3, 4, 5}, 7}, {0, {0, 1, 2, 3}, 7},
  };
  // Beyond 64 words the send-off word carries the send control too.
  for (const std::uint32_t count : {8u, 100u}) {
    for (const Case& c : cases) {
      const auto plan = board().paired_multicast(c.sender, c.receivers, count);
      const auto plain = board().multicast(c.sender, c.receivers, count, 0);
      ASSERT_TRUE(plan) << c.sender << " " << count;
      ASSERT_TRUE(plain);
      expect_stamped(plan->sender, plain->sender, c.send_control);
    }
  }
  // The far receiver of this pair has its first format control at cycle 135.
  const auto late = board().paired_multicast(703, Tiles{0, 1}, 8);
  ASSERT_TRUE(late);
  EXPECT_EQ(late->receivers[0],
            (Row{sync, 0x40A00006, 0x63FC0002, 0x60080000, 0x602C0000, 0x40A00006, ret, 0, 0}));
}

TEST(PairedMulticast, ReceiverSets) {
  const auto receiver_set = zx::ExchangeError::ReceiverSet{};
  const std::vector<Tiles> refused{{},     {2},          {2, 3, 4},    {2, 4},
                                   {2, 2}, {2, 3, 2, 3}, {1472, 1473}, {2, 3, 4, 6}};
  for (const Tiles& receivers : refused) {
    EXPECT_EQ(error_of(board().paired_multicast(0, receivers, 8)), receiver_set)
        << receivers.size();
  }
  EXPECT_EQ(error_of(board().paired_multicast(0, Tiles{}, 0)), zx::ExchangeError::Count{0});
  EXPECT_EQ(error_of(board().paired_multicast(0, Tiles{2}, 4149)), zx::ExchangeError::Count{4149});
  EXPECT_EQ(error_of(board().paired_multicast(1472, Tiles{2, 3}, 8)),
            zx::ExchangeError::Tile{1472});
  for (const std::uint32_t count : {2u, 53u, 55u}) {
    EXPECT_EQ(error_of(board().paired_multicast(0, Tiles{2, 3}, count)), coincident);
  }
  for (const std::uint32_t count : {52u, 54u, 56u}) {
    EXPECT_TRUE(board().paired_multicast(0, Tiles{2, 3}, count)) << count;
  }

  // Partners apart in the list: rows come back in the order given.
  const auto sorted = board().paired_multicast(0, Tiles{2, 3, 46, 47}, 8);
  const auto mixed = board().paired_multicast(0, Tiles{46, 2, 47, 3}, 8);
  ASSERT_TRUE(sorted);
  ASSERT_TRUE(mixed);
  EXPECT_EQ(mixed->sender, sorted->sender);
  EXPECT_EQ(mixed->receivers, (std::vector<Row>{sorted->receivers[2], sorted->receivers[0],
                                                sorted->receivers[3], sorted->receivers[1]}));
  EXPECT_NE(sorted->receivers[0], sorted->receivers[2]);

  // Building into a plan that is reused: a failure leaves it empty.
  zx::MulticastPlan plan = *sorted;
  EXPECT_EQ(error_of(board().paired_multicast_into(plan, 0, Tiles{2, 3}, 2)), coincident);
  EXPECT_EQ(plan, zx::MulticastPlan{});
  ASSERT_TRUE(board().paired_multicast_into(plan, 0, Tiles{2, 3, 46, 47}, 8));
  EXPECT_EQ(plan, *sorted);
}

// A paired plan's rows are paired_receiver_row() of each receiver at the
// transfer's smallest paired mux time, for long receiver lists too (the planner
// keeps the mux times of the first receivers and works out the rest again) and
// whatever the order of the list; a failing plan fails with the first failing row.
TEST(PairedMulticast, RowsAreTheReceiverRowsOfTheTransfer) {
  const std::vector<Tiles> lists{
      {2, 3},
      {1287, 1286},
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13},
      {47, 1470, 275, 2, 46, 1471, 3, 274, 737, 736, 1286, 1287},
  };
  for (const std::uint16_t sender : {0, 3, 274, 736, 1471}) {
    const std::uint32_t s = *board().physical(sender);
    for (const Tiles& receivers : lists) {
      std::int32_t minimum = std::numeric_limits<std::int32_t>::max();
      for (const std::uint16_t r : receivers) {
        minimum = std::min(minimum, zx::paired_time_to_mux(s, *board().physical(r)));
      }
      for (const std::uint32_t count : {1u, 8u, 64u, 65u, 4148u}) {
        const auto plan = board().paired_multicast(sender, receivers, count);
        std::vector<Row> rows;
        std::optional<zx::ExchangeError> first_error;
        for (const std::uint16_t r : receivers) {
          const auto row = board().paired_receiver_row(sender, r, count, minimum);
          if (!row && !first_error) first_error = row.error();
          if (row) rows.push_back(*row);
        }
        if (first_error) {
          EXPECT_EQ(error_of(plan), *first_error) << sender << " " << receivers[0] << " " << count;
        } else {
          ASSERT_TRUE(plan) << sender << " " << receivers[0] << " " << count;
          EXPECT_EQ(plan->receivers, rows) << sender << " " << receivers[0] << " " << count;
        }
      }
    }
  }
}

class RecordingSink : public zx::DiagnosticSink {
 public:
  bool enabled(zx::DiagnosticLevel, std::string_view) const noexcept override { return true; }
  void deliver(const zx::DiagnosticEvent& event) override {
    lines.push_back(zx::format_diagnostic(event));
  }
  std::vector<std::string> lines;
};

TEST(PairedMulticast, MulticastEventSurvivesALaterFailure) {
  auto sink = std::make_shared<RecordingSink>();
  zx::set_diagnostic_sink(sink);
  const auto failed = board().paired_multicast(0, Tiles{2, 3}, 2);
  const auto refused = board().paired_multicast(0, Tiles{2}, 2);
  const auto planned = board().paired_multicast(0, Tiles{2, 3}, 8);
  zx::clear_diagnostic_sink();
  EXPECT_EQ(error_of(failed), coincident);
  EXPECT_FALSE(refused);
  EXPECT_TRUE(planned);
  const std::string line =
      "DEBUG zerin_exchange: assembled multicast exchange sender_logical=0 "
      "receiver_logical=[2, 3] count=";
  EXPECT_EQ(sink->lines,
            (std::vector<std::string>{line + "2 schedule_offset=0", line + "8 schedule_offset=0"}));
}

// For every paired plan over a spread of senders, receiver pairs and counts:
// each row opens with the sync word, its last non-zero word is the return
// word, and the words between occupy the row's horizon: the last event (format
// end, or the pointer for one word) plus 7. Receivers that are not early hold
// no XPIC word. Plans fail only where two controls coincide.
TEST(PairedMulticastProperty, RowsSpanTheirHorizon) {
  const std::vector<std::uint32_t> counts{1, 2, 3, 8, 50, 51, 53, 55, 57, 95, 128, 131, 4095, 4148};
  int rows = 0;
  for (std::uint16_t sender = 0; sender < zx::r470_tile_count; sender += 131) {
    for (std::uint16_t first = 0; first < zx::r470_tile_count; first += 2 * 37) {
      const std::uint16_t second = (first + 2 * 311) % zx::r470_tile_count;
      const std::vector<Tiles> lists{{first, static_cast<std::uint16_t>(first + 1)},
                                     {static_cast<std::uint16_t>(second + 1), first, second,
                                      static_cast<std::uint16_t>(first + 1)}};
      for (const Tiles& receivers : lists) {
        const std::uint32_t s = *board().physical(sender);
        std::int32_t minimum = std::numeric_limits<std::int32_t>::max();
        for (const std::uint16_t r : receivers) {
          minimum = std::min(minimum, zx::paired_time_to_mux(s, *board().physical(r)));
        }
        for (const std::uint32_t count : counts) {
          const auto plan = board().paired_multicast(sender, receivers, count);
          bool clash = count == 2;
          for (const std::uint16_t r : receivers) {
            const std::uint32_t phase = 2 * (*board().physical(r) / 64);
            clash |= *board().paired_receiver_is_early(r, sender) &&
                     (count == 51 + phase || count == 53 + phase);
          }
          if (clash) {
            EXPECT_EQ(error_of(plan), coincident);
            continue;
          }
          ASSERT_TRUE(plan) << sender << " " << receivers[0] << " " << count;
          ASSERT_EQ(plan->receivers.size(), receivers.size());
          for (std::size_t i = 0; i < receivers.size(); ++i) {
            const Row& row = plan->receivers[i];
            const std::uint32_t r = *board().physical(receivers[i]);
            const std::uint32_t source = std::max(1 - minimum, 0) + zx::paired_time_to_mux(s, r);
            const std::uint32_t horizon = source + 51 + 2 * (r / 64) + std::max(count, 2u) + 7;
            const bool early = *board().paired_receiver_is_early(receivers[i], sender);
            ASSERT_EQ(row[0], sync);
            const auto end = std::find(row.begin(), row.end(), ret);
            ASSERT_NE(end, row.end());
            EXPECT_TRUE(std::all_of(end + 1, row.end(), [](std::uint32_t w) { return w == 0; }));
            std::uint32_t time = 0;
            int xpic_words = 0;
            for (auto it = row.begin() + 1; it != end; ++it) {
              time += zx::instruction_advance(*it);
              xpic_words += zx::is_xpic_delay(*it) ? 1 : 0;
            }
            EXPECT_EQ(time, horizon) << sender << " -> " << receivers[i] << " count " << count;
            EXPECT_EQ(xpic_words, early ? 2 : 0);
            ++rows;
          }
        }
      }
    }
  }
  EXPECT_GT(rows, 5000);
}

}  // namespace
