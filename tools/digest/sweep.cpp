#include "sweep.hpp"

#include <limits>
#include <string_view>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/plans.hpp"

namespace zerin::digest {
namespace {

namespace zx = zerin::exchange;

std::string describe(const CaseHeader& header) {
  return "case " + std::to_string(header.index) + " (entry " + std::to_string(header.entry) +
         ", count " + std::to_string(header.count) + ", " + std::string(kind_name(header.kind)) +
         ' ' + std::to_string(header.param) + ')';
}

// Plans the cases in order and records them. Its buffers are reused from case
// to case, so the loop does not allocate.
class Sweep {
 public:
  Sweep(const zx::Topology& topology, StreamEncoder& stream)
      : topology_(topology), stream_(stream) {
    text_.reserve(128);
    plan_.receivers.reserve(2);
  }

  std::int32_t run(const CaseTable& table) {
    for (std::size_t e = 0; e < table.entries.size(); ++e) {
      header_.entry = static_cast<std::uint32_t>(e + 1);
      for (std::uint64_t count = table.first_count; count <= table.last_count; ++count) {
        cases(table.entries[e], static_cast<std::uint32_t>(count));
      }
    }
    return header_.index;
  }

 private:
  // The cases of one entry and count, in sweep order.
  void cases(const SourceEntry& entry, std::uint32_t count) {
    header_.count = count;
    for (const std::uint16_t receiver : entry.receivers) {
      begin(CaseKind::point_to_point, receiver);
      const auto plan = topology_.point_to_point(entry.source, receiver, count);
      if (!plan) {
        throw FatalStop(
            "called `Result::unwrap()` on an `Err` value: " + zx::debug_string(plan.error()),
            describe(header_));
      }
      sender(plan->sender);
      stream_.row(plan->receiver);
      end();
    }
    for (const std::uint32_t offset : multicast_offsets) {
      begin(CaseKind::multicast, offset);
      record(topology_.multicast_into(plan_, entry.source, entry.receivers, count, offset));
      end();
    }
    for (const auto& pair : paired_receivers) {
      begin(CaseKind::paired_multicast, pair[0]);
      record(topology_.paired_multicast_into(plan_, entry.source, pair, count));
      end();
    }
  }

  void begin(CaseKind kind, std::uint32_t param) {
    header_.kind = kind;
    header_.param = param;
    stream_.begin_case();
  }
  void end() {
    stream_.end_case(header_);
    ++header_.index;
  }

  // A plan's sender row, then for each timing offset the debug text of the
  // row's timing there; a failed timing is recorded like a successful one.
  //
  // A row's programme does not change with its offset, only moves: its timing
  // at an offset is its timing at cycle 0 moved by the offset, or an overflow
  // once the moved horizon passes the last cycle. So a row with a timing is
  // walked once; one without is walked at each offset.
  void sender(const ExchangeRow& row) {
    stream_.row(row);
    const zx::TimingResult at_zero = zx::scheduled_sender_timing(row, 0);
    for (const std::uint32_t offset : timing_offsets) {
      if (!at_zero) {
        text_.clear();
        zx::append_debug(text_, zx::scheduled_sender_timing(row, offset));
        stream_.text(text_);
      } else if (at_zero->horizon > std::numeric_limits<std::uint32_t>::max() - offset) {
        stream_.text(overflow_text_);
      } else {
        const zx::ScheduledPayloadTiming moved{at_zero->payload_start + offset,
                                               at_zero->payload_end + offset,
                                               at_zero->horizon + offset};
        stream_.text(ok_timing_room, [&moved](char* p) { return write_ok_timing(p, moved); });
      }
    }
  }

  // A multicast or paired multicast outcome: the plan, or the error's display text.
  void record(const std::expected<void, zx::ExchangeError>& planned) {
    if (planned) {
      sender(plan_.sender);
      stream_.rows(plan_.receivers);
    } else {
      text_.clear();
      zx::append_display(text_, planned.error());
      stream_.text(text_);
    }
  }

  const zx::Topology& topology_;
  StreamEncoder& stream_;
  CaseHeader header_;
  std::string text_;
  const std::string overflow_text_ = zx::debug_string(zx::TimingResult(
      std::unexpect, zx::ExchangeError::schedule(zx::ScheduleReason::SenderEventHorizonOverflow)));
  zx::MulticastPlan plan_;
};

}  // namespace

CaseTable digest_case_table() {
  CaseTable table;
  table.entries = {
      {0, {2}}, {0, {736, 1286}}, {274, {1286}}, {736, {0, 1471}}, {1286, {274}}, {1471, {0, 2}},
  };
  return table;
}

std::int64_t case_total(const CaseTable& table) noexcept {
  if (table.last_count < table.first_count) return 0;
  std::int64_t per_count = 0;
  for (const SourceEntry& entry : table.entries) {
    per_count += static_cast<std::int64_t>(entry.receivers.size() + multicast_offsets.size() +
                                           paired_receivers.size());
  }
  return (std::int64_t{table.last_count} - table.first_count + 1) * per_count;
}

std::int32_t run_sweep(const zx::Topology& topology, const CaseTable& table,
                       StreamEncoder& stream) {
  if (case_total(table) > std::numeric_limits<std::int32_t>::max()) {
    throw zx::InternalFault("digest case counter overflows");
  }
  return Sweep(topology, stream).run(table);
}

}  // namespace zerin::digest
