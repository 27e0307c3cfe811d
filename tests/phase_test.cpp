// Exchange phases: one transfer reproduces the planner's rows, placement by
// list scheduling and at a given cycle, the maximum length, the work budget,
// and refusals that leave the phase as it was.
#include <gtest/gtest.h>

#include "expected_support.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;
using Words = std::vector<std::uint32_t>;

namespace {

using zx::testing::error_of;
using zx::testing::schedule;

const zx::Topology& board() {
  static const zx::Topology topology = zx::Topology::r470();
  return topology;
}

zx::Transfer multicast(std::uint16_t sender, std::vector<std::uint16_t> receivers,
                       std::uint32_t count) {
  return {zx::TransferKind::Multicast, sender, std::move(receivers), count};
}
zx::Transfer paired(std::uint16_t sender, std::vector<std::uint16_t> receivers,
                    std::uint32_t count) {
  return {zx::TransferKind::PairedMulticast, sender, std::move(receivers), count};
}

// A row up to and including its return word.
Words framed(const zx::ExchangeRow& row) {
  const auto end = std::ranges::find(row, zx::return_word);
  return {row.begin(), end == row.end() ? end : end + 1};
}

// Everything a caller can see of a phase, for "unchanged" comparisons.
struct Snapshot {
  std::vector<zx::TileProgram> programs;
  std::vector<zx::PlacedTransfer> transfers;
  std::uint32_t length;
  friend bool operator==(const Snapshot&, const Snapshot&) = default;
};
Snapshot snapshot(const zx::Phase& phase) {
  return {phase.programs(), {phase.transfers().begin(), phase.transfers().end()}, phase.length()};
}

void expect_passes(const zx::Phase& phase) {
  const auto programs = phase.programs();
  const auto found = zx::check_phase(programs, phase.transfers());
  EXPECT_FALSE(found.has_value()) << zx::describe(*found);
}

// ---- One transfer: the planner's rows, word for word -------------------------

void expect_single_transfer_rows(const zx::Transfer& transfer) {
  SCOPED_TRACE(::testing::Message() << "sender " << transfer.sender << " count " << transfer.count);
  auto plan = transfer.kind == zx::TransferKind::Multicast
                  ? board().multicast(transfer.sender, transfer.receivers, transfer.count, 0)
                  : board().paired_multicast(transfer.sender, transfer.receivers, transfer.count);
  zx::Phase phase(board());
  auto at = phase.add(transfer);
  ASSERT_EQ(plan.has_value(), at.has_value());
  if (!plan) return;
  EXPECT_EQ(*at, 0u);
  EXPECT_EQ(phase.program(transfer.sender), framed(plan->sender));
  for (std::size_t i = 0; i < transfer.receivers.size(); ++i) {
    EXPECT_EQ(phase.program(transfer.receivers[i]), framed(plan->receivers[i])) << "receiver " << i;
  }
  const auto& placed = phase.transfers()[0];
  EXPECT_EQ(placed.rows[0].row, plan->sender);
  EXPECT_EQ(placed.at, 0u);
  expect_passes(phase);
}

TEST(PhaseSingleTransfer, MulticastRowsAcrossCountsAndDistances) {
  const std::vector<std::vector<std::uint16_t>> receiver_sets = {
      {2}, {736, 1286}, {1471}, {0, 1471}, {5, 700, 1400, 33}, {100, 101, 102, 103, 104, 105}};
  for (std::uint16_t sender : {0, 736, 1000}) {
    for (const auto& receivers : receiver_sets) {
      if (std::ranges::find(receivers, sender) != receivers.end()) continue;
      for (std::uint32_t count : {1u, 2u, 3u, 4u, 5u, 51u, 52u, 53u, 54u, 64u, 65u, 1000u, 4148u}) {
        expect_single_transfer_rows(multicast(sender, receivers, count));
      }
    }
  }
}

TEST(PhaseSingleTransfer, PairedRowsAcrossCountsIncludingPlainDelays) {
  const std::vector<std::vector<std::uint16_t>> receiver_sets = {
      {2, 3}, {3, 2}, {700, 701, 1400, 1401}, {1470, 1471}};
  for (std::uint16_t sender : {0, 274, 736}) {
    for (const auto& receivers : receiver_sets) {
      for (std::uint32_t count : {1u, 3u, 8u, 52u, 54u, 56u, 200u, 1000u, 4148u}) {
        expect_single_transfer_rows(paired(sender, receivers, count));
      }
    }
  }
}

TEST(PhaseSingleTransfer, WorkedRowsOfTheBoard) {
  zx::Phase phase(board());
  ASSERT_TRUE(phase.add(paired(0, {2, 3}, 4148)));
  // The format end event lies beyond the PIC reach: a plain delay comes first.
  EXPECT_EQ(phase.program(3), (Words{0x41800003, 0x61AC0001, 0x60080000, 0x40A00FB1, 0x63FC0000,
                                     0x40A00006, 0x43A00000}));
  zx::Phase other(board());
  ASSERT_TRUE(other.add(multicast(0, {736, 1286}, 1)));
  EXPECT_EQ(other.program(0), (Words{0x41800003, 0x40A00016, 0x78000003, 0x43A00000}));
  EXPECT_EQ(other.program(1286),
            (Words{0x41800003, 0x64000000, 0x64000640, 0x61914000, 0x40A00005, 0x43A00000}));
  EXPECT_TRUE(other.program(5).empty());
}

// ---- Placement -----------------------------------------------------------------

TEST(PhasePlacement, RowsSpanFromTheirFirstIssueToTheirHorizon) {
  auto placed = zx::place_transfer(board(), multicast(0, {736, 1286}, 1), 100);
  ASSERT_TRUE(placed);
  // Sender: the one-word send issues at the start cycle 23 and the return
  // follows it. Receiver 1286 (receive cycle 0): its XPIC word completes at
  // cycle 1, the tail's XPIC and PIC words at 2 and 53, a 6-cycle wait closes.
  EXPECT_EQ(placed->at, 100u);
  EXPECT_EQ(placed->rows[0].start, 123u);
  EXPECT_EQ(placed->rows[0].horizon, 124u);
  EXPECT_EQ(placed->rows[2].start, 100u);
  EXPECT_EQ(placed->rows[2].horizon, 159u);
}

TEST(PhasePlacement, AddFindsTheEarliestFreeSpanAndTouchingIsAllowed) {
  zx::Phase phase(board());
  const auto first = multicast(0, {736, 1286}, 1);
  ASSERT_EQ(phase.add(first), 0u);
  // The same transfer again: its sender row (span 23..29) can start where the
  // first one's receiver rows end; every row must move past its tile's row.
  auto second = phase.add(first);
  ASSERT_TRUE(second);
  const auto& rows = phase.transfers()[0].rows;
  std::uint32_t expected = 0;
  for (const auto& row : rows) expected = std::max(expected, row.horizon - row.start);
  EXPECT_EQ(*second, expected);
  // Touching: some row of the second transfer starts exactly at a horizon.
  bool touches = false;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    touches |= phase.transfers()[1].rows[i].start == rows[i].horizon;
  }
  EXPECT_TRUE(touches);
  expect_passes(phase);
}

TEST(PhasePlacement, AddFillsGapsBetweenEarlierRows) {
  zx::Phase phase(board());
  const auto one = multicast(10, {20}, 1);
  ASSERT_TRUE(phase.add_at(one, 1000));
  // Room before cycle 1000 on both tiles: placed at the caller's minimum.
  EXPECT_EQ(phase.add(one, 5), 5u);
  // No room left before the row at 1000 beyond a few cycles: the next one
  // lands after it.
  auto late = phase.add(multicast(10, {20}, 4000), 0);
  ASSERT_TRUE(late);
  EXPECT_GE(*late, 1000u);
  expect_passes(phase);
}

TEST(PhasePlacement, AddAtRefusesAnOverlapNamingTheRowAndChangesNothing) {
  zx::Phase phase(board());
  ASSERT_TRUE(phase.add_at(multicast(0, {736, 1286}, 100), 0));
  const Snapshot before = snapshot(phase);
  EXPECT_EQ(error_of(phase.add_at(multicast(0, {5}, 1), 10)),
            schedule(zx::ScheduleReason::PhaseSenderOverlap));
  EXPECT_EQ(error_of(phase.add_at(multicast(7, {736}, 1), 10)),
            schedule(zx::ScheduleReason::PhaseReceiverOverlap));
  EXPECT_EQ(snapshot(phase), before);
  // A tile sending in one transfer and receiving in another: refused while they overlap.
  EXPECT_EQ(error_of(phase.add_at(multicast(1286, {7}, 1), 0)),
            schedule(zx::ScheduleReason::PhaseSenderOverlap));
  EXPECT_TRUE(phase.add_at(multicast(1286, {7}, 1), phase.transfers()[0].rows[2].horizon));
  expect_passes(phase);
}

TEST(PhasePlacement, RefusalsOfThePlannerAndOfTheModel) {
  zx::Phase phase(board());
  EXPECT_EQ(error_of(phase.add(multicast(0, {5}, 0))), zx::ExchangeError::Count{0});
  EXPECT_EQ(error_of(phase.add(multicast(0, {}, 1))), zx::ExchangeError::ReceiverSet{});
  EXPECT_EQ(error_of(phase.add(paired(0, {2}, 1))), zx::ExchangeError::ReceiverSet{});
  EXPECT_EQ(error_of(phase.add(paired(0, {2, 3}, 2))),
            schedule(zx::ScheduleReason::PairedReceiveCoincidentControls));
  // The planner accepts a list that includes the sender; a phase cannot put
  // two rows on one tile at once.
  EXPECT_EQ(error_of(phase.add(multicast(0, {0, 5}, 1))),
            schedule(zx::ScheduleReason::PhaseSelfReceiver));
  EXPECT_EQ(error_of(phase.add(paired(274, {274, 275}, 8))),
            schedule(zx::ScheduleReason::PhaseSelfReceiver));
  EXPECT_EQ(phase.length(), 0u);
  EXPECT_TRUE(phase.programs().empty());
}

TEST(PhasePlacement, MaximumLengthRefusesTheFirstRowPastIt) {
  zx::Phase phase(board(), {.maximum_cycles = 200, .work_budget = std::nullopt});
  const auto transfer = multicast(0, {736, 1286}, 1);
  auto placed = zx::place_transfer(board(), transfer, 0);
  ASSERT_TRUE(placed);
  std::uint32_t longest = 0;
  for (const auto& row : placed->rows) longest = std::max(longest, row.horizon);
  ASSERT_TRUE(phase.add_at(transfer, 200 - longest));
  // The first row past the maximum, sender first, is the one reported.
  auto probe = zx::place_transfer(board(), multicast(1, {5}, 1), 0);
  ASSERT_TRUE(probe);
  const std::uint32_t at = 201 - probe->rows[1].horizon;
  ASSERT_LE(probe->rows[0].horizon + at, 200u);
  EXPECT_EQ(error_of(phase.add_at(multicast(1, {5}, 1), at)),
            (zx::ExchangeError::PlanOffsetRange{201, 200}));
  // The maximum itself is allowed.
  EXPECT_EQ(phase.length(), 200u);
  // List scheduling fills the room before and then runs into the end.
  std::expected<std::uint32_t, zx::ExchangeError> again;
  for (int i = 0; i < 10 && (again = phase.add(transfer)); ++i) {
  }
  ASSERT_FALSE(again);
  const auto* range = again.error().get_if<zx::ExchangeError::PlanOffsetRange>();
  ASSERT_NE(range, nullptr);
  EXPECT_GT(range->cycles, 200u);
  EXPECT_EQ(range->maximum, 200u);
  EXPECT_LE(phase.length(), 200u);
  expect_passes(phase);
}

TEST(PhasePlacement, HorizonPastTheClockIsTheNamedOverflow) {
  zx::Phase phase(board());
  EXPECT_EQ(error_of(phase.add_at(multicast(0, {5}, 1), 0xFFFFFFF0u)),
            schedule(zx::ScheduleReason::PhaseHorizonOverflow));
  EXPECT_EQ(error_of(phase.add(multicast(0, {5}, 1), 0xFFFFFFF0u)),
            schedule(zx::ScheduleReason::PhaseHorizonOverflow));
  EXPECT_EQ(error_of(zx::place_transfer(board(), multicast(0, {5}, 1), 0xFFFFFFF0u)),
            schedule(zx::ScheduleReason::PhaseHorizonOverflow));
  EXPECT_TRUE(phase.add_at(multicast(0, {5}, 1), 0xFFFFFF00u));
  // Plain delays of at most 524288 cycles chain up to the row.
  EXPECT_GE(phase.program(0).size(), 1u + 8192 + 1 + 1);
  expect_passes(phase);
}

// ---- The work budget -----------------------------------------------------------

TEST(PhaseBudget, CountsTheWordsOneCallLaysAndRefusesBeyondIt) {
  zx::Phase phase(board());
  const auto transfer = multicast(0, {736, 1286}, 1);
  ASSERT_TRUE(phase.add(transfer));
  // First call: every word of the three programs.
  std::size_t all_words = 0;
  for (const auto& program : phase.programs()) all_words += program.words.size();
  EXPECT_EQ(phase.words_laid_by_last_call(), all_words);

  const Snapshot before = snapshot(phase);
  phase.set_work_budget(3);
  EXPECT_EQ(error_of(phase.add(transfer)), zx::ExchangeError::ValidationBudgetExceeded{});
  EXPECT_EQ(snapshot(phase), before);
  EXPECT_EQ(phase.words_laid_by_last_call(), all_words);
  phase.set_work_budget(std::nullopt);
  ASSERT_TRUE(phase.add(transfer));
  const std::size_t appended = phase.words_laid_by_last_call();
  // Appending after the rows lays the new rows and the closing words, never
  // the sync words again.
  EXPECT_LT(appended, all_words);
  // A budget of exactly the words laid is enough.
  phase.set_work_budget(appended);
  ASSERT_TRUE(phase.add(transfer));
  EXPECT_EQ(phase.words_laid_by_last_call(), appended);
}

TEST(PhaseBudget, InsertingBeforeARowReLaysOnlyThatRowsLeadIn) {
  zx::Phase phase(board());
  const auto one = multicast(10, {20}, 100);
  ASSERT_TRUE(phase.add_at(one, 5000));
  ASSERT_TRUE(phase.add_at(one, 10000));
  const Words late_sender = phase.program(10);
  ASSERT_TRUE(phase.add_at(one, 0));
  // New rows (a few words each) and the following rows re-laid; no closing.
  EXPECT_LE(phase.words_laid_by_last_call(), 2 * 2 * 7u);
  const Words now = phase.program(10);
  // The tail of the program (the rows at 10000 and the closing) is unchanged.
  ASSERT_GE(now.size(), 4u);
  EXPECT_TRUE(std::equal(late_sender.end() - 4, late_sender.end(), now.end() - 4));
  expect_passes(phase);
}

}  // namespace
