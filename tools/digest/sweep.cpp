#include "sweep.hpp"

#include <limits>
#include <string>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/plans.hpp"

namespace zerin::digest {

namespace zx = zerin::exchange;

CaseTable digest_case_table() {
  CaseTable table;
  table.entries = {
      {0, {2}}, {0, {736, 1286}}, {274, {1286}}, {736, {0, 1471}}, {1286, {274}}, {1471, {0, 2}},
  };
  return table;
}

std::int64_t case_total(const CaseTable& table) noexcept {
  std::int64_t per_count = 0;
  for (const SourceEntry& entry : table.entries) {
    per_count += static_cast<std::int64_t>(entry.receivers.size() + multicast_offsets.size() +
                                           paired_receivers.size());
  }
  return std::int64_t{table.last_count} * per_count;
}

std::expected<std::int64_t, FatalStop> run_sweep(const zx::Topology& topology,
                                                 const CaseTable& table, StreamEncoder& stream) {
  // Storage reused from case to case, so that the loop does not allocate.
  std::string text;
  text.reserve(128);
  zx::MulticastPlan plan;
  plan.receivers.reserve(2);
  const std::string overflow = zx::debug_string(zx::TimingResult(
      std::unexpect, zx::ExchangeError::schedule(zx::ScheduleReason::SenderEventHorizonOverflow)));

  // A plan's sender row, then for each timing offset the debug text of the
  // row's timing there; a failed timing is recorded like a successful one.
  //
  // A row's programme does not change with its offset, only moves: its timing
  // at an offset is its timing at cycle 0 moved by the offset, or an overflow
  // once the moved horizon passes the last cycle. So a row with a timing is
  // walked once; one without is walked at each offset.
  const auto sender = [&](const ExchangeRow& row) {
    stream.row(row);
    const zx::TimingResult at_zero = zx::scheduled_sender_timing(row, 0);
    for (const std::uint32_t offset : timing_offsets) {
      if (!at_zero) {
        text.clear();
        zx::append_debug(text, zx::scheduled_sender_timing(row, offset));
        stream.text(text);
      } else if (at_zero->horizon > std::numeric_limits<std::uint32_t>::max() - offset) {
        stream.text(overflow);
      } else {
        const zx::ScheduledPayloadTiming moved{at_zero->payload_start + offset,
                                               at_zero->payload_end + offset,
                                               at_zero->horizon + offset};
        stream.text(ok_timing_room, [&moved](char* p) { return write_ok_timing(p, moved); });
      }
    }
  };
  // A multicast or paired multicast outcome: the plan, or the error's display text.
  const auto record = [&](const std::expected<void, zx::ExchangeError>& planned) {
    if (planned) {
      sender(plan.sender);
      stream.rows(plan.receivers);
    } else {
      text.clear();
      zx::append_display(text, planned.error());
      stream.text(text);
    }
  };

  CaseHeader header;
  const auto begin = [&](CaseKind kind, std::uint32_t param) {
    header.kind = kind;
    header.param = param;
    stream.begin_case();
  };
  const auto end = [&] {
    stream.end_case(header);
    ++header.index;
  };
  for (std::size_t e = 0; e < table.entries.size(); ++e) {
    const SourceEntry& entry = table.entries[e];
    header.entry = static_cast<std::uint32_t>(e + 1);
    for (std::uint64_t count = 1; count <= table.last_count; ++count) {
      header.count = static_cast<std::uint32_t>(count);
      for (const std::uint16_t receiver : entry.receivers) {
        begin(CaseKind::point_to_point, receiver);
        const auto p2p = topology.point_to_point(entry.source, receiver, header.count);
        if (!p2p) {
          return std::unexpected(FatalStop{
              "called `Result::unwrap()` on an `Err` value: " + zx::debug_string(p2p.error()),
              "case " + std::to_string(header.index) + " (entry " + std::to_string(header.entry) +
                  ", count " + std::to_string(header.count) + ", p2p " + std::to_string(receiver) +
                  ')'});
        }
        sender(p2p->sender);
        stream.row(p2p->receiver);
        end();
      }
      for (const std::uint32_t offset : multicast_offsets) {
        begin(CaseKind::multicast, offset);
        record(topology.multicast_into(plan, entry.source, entry.receivers, header.count, offset));
        end();
      }
      for (const auto& pair : paired_receivers) {
        begin(CaseKind::paired_multicast, pair[0]);
        record(topology.paired_multicast_into(plan, entry.source, pair, header.count));
        end();
      }
    }
  }
  return header.index;
}

}  // namespace zerin::digest
