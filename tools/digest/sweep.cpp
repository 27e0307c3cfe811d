#include "sweep.hpp"

#include <algorithm>
#include <limits>
#include <string>

#include "recorders.hpp"
#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/plans.hpp"
#include "zerin/exchange/sender_timing.hpp"

namespace zerin::digest {
namespace {

namespace zx = zerin::exchange;

std::string describe(const CaseHeader& header) {
  std::string text = "case ";
  text += std::to_string(header.index);
  text += " (entry ";
  text += std::to_string(header.entry);
  text += ", count ";
  text += std::to_string(header.count);
  text += ", ";
  text += kind_name(header.kind);
  text += ' ';
  text += std::to_string(header.param);
  text += ')';
  return text;
}

}  // namespace

SweepRunner::SweepRunner(const zx::Topology& topology) : topology_(topology) {
  text_.reserve(128);
  plan_.receivers.reserve(2);
}

std::int32_t SweepRunner::run(const CaseTable& table, const SweepBlock& block, Recorder& recorder) {
  const SourceEntry& entry = table.entries.at(block.entry);
  // The digest's own recorders are chunked: called directly, their writes
  // inline and their empty case brackets vanish.
  if (auto* chunked = dynamic_cast<ChunkedRecorder*>(&recorder)) {
    return run_cases(entry, block, *chunked);
  }
  return run_cases(entry, block, recorder);
}

template <class R>
std::int32_t SweepRunner::run_cases(const SourceEntry& entry, const SweepBlock& block,
                                    R& recorder) {
  next_case_ = block.first_case;
  CaseHeader header;
  header.entry = static_cast<std::uint32_t>(block.entry + 1);
  for (std::uint32_t count = block.first_count; count <= block.last_count; ++count) {
    header.count = count;
    header.kind = CaseKind::point_to_point;
    for (const std::uint16_t receiver : entry.receivers) {
      header.param = receiver;
      point_to_point(recorder, header, entry.source, receiver);
    }
    header.kind = CaseKind::multicast;
    for (const std::uint32_t offset : multicast_offsets) {
      header.param = offset;
      begin(recorder, header);
      record(recorder,
             topology_.multicast_into(plan_, entry.source, entry.receivers, count, offset));
      end(recorder);
    }
    header.kind = CaseKind::paired_multicast;
    for (const auto& pair : paired_receivers) {
      header.param = pair[0];
      begin(recorder, header);
      record(recorder, topology_.paired_multicast_into(plan_, entry.source, pair, count));
      end(recorder);
    }
    if (count == std::numeric_limits<std::uint32_t>::max()) break;
  }
  return next_case_ - block.first_case;
}

template <class R>
void SweepRunner::begin(R& recorder, CaseHeader& header) {
  header.index = next_case_;
  recorder.begin_case(header);
}

template <class R>
void SweepRunner::end(R& recorder) {
  recorder.end_case();
  if (next_case_ == std::numeric_limits<std::int32_t>::max()) {
    throw zx::InternalFault("digest case counter overflows");
  }
  ++next_case_;
}

template <class R>
void SweepRunner::point_to_point(R& recorder, CaseHeader& header, std::uint16_t source,
                                 std::uint16_t receiver) {
  begin(recorder, header);
  const auto plan = topology_.point_to_point(source, receiver, header.count);
  if (!plan) {
    throw FatalStop(
        "called `Result::unwrap()` on an `Err` value: " + zx::debug_string(plan.error()),
        describe(header));
  }
  recorder.point_to_point(plan->sender, plan->receiver);
  end(recorder);
}

// A multicast or paired multicast outcome: the plan, or the error's display text.
template <class R>
void SweepRunner::record(R& recorder, const std::expected<void, zx::ExchangeError>& planned) {
  if (planned) {
    recorder.multicast(plan_.sender, plan_.receivers);
  } else {
    text_.clear();
    zx::append_display(text_, planned.error());
    recorder.text(text_);
  }
}

std::vector<SweepBlock> sweep_blocks(const CaseTable& table, std::uint32_t counts_per_block) {
  counts_per_block = std::max(counts_per_block, std::uint32_t{1});
  std::vector<SweepBlock> blocks;
  std::int64_t first_case = 0;
  if (table.last_count < table.first_count) return blocks;
  for (std::size_t e = 0; e < table.entries.size(); ++e) {
    const std::int64_t per_count = static_cast<std::int64_t>(
        table.entries[e].receivers.size() + multicast_offsets.size() + paired_receivers.size());
    std::uint32_t first = table.first_count;
    for (;;) {
      // The last block of an entry may be short; 64-bit sums keep the end in range.
      const std::uint32_t last = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(std::uint64_t{first} + counts_per_block - 1, table.last_count));
      if (first_case > std::numeric_limits<std::int32_t>::max()) {
        throw zx::InternalFault("digest case counter overflows");
      }
      blocks.push_back({e, first, last, static_cast<std::int32_t>(first_case)});
      first_case += (std::int64_t{last} - first + 1) * per_count;
      if (last == table.last_count) break;
      first = last + 1;
    }
  }
  return blocks;
}

void append_timing_text(std::string& out, const ExchangeRow& sender, std::uint32_t offset) {
  exchange::append_debug(out, exchange::scheduled_sender_timing(sender, offset));
}

// A failed timing is recorded like a successful one: by its debug text.
void Recorder::sender_timings(const ExchangeRow& sender) {
  for (const std::uint32_t offset : timing_offsets) {
    timing_text_.clear();
    append_timing_text(timing_text_, sender, offset);
    text(timing_text_);
  }
}

void Recorder::point_to_point(const ExchangeRow& sender, const ExchangeRow& receiver) {
  row(sender);
  sender_timings(sender);
  row(receiver);
}

void Recorder::multicast(const ExchangeRow& sender, std::span<const ExchangeRow> receivers) {
  row(sender);
  sender_timings(sender);
  rows(receivers);
}

CaseTable digest_case_table() {
  CaseTable table;
  table.entries = {
      {0, {2}}, {0, {736, 1286}}, {274, {1286}}, {736, {0, 1471}}, {1286, {274}}, {1471, {0, 2}},
  };
  return table;
}

std::int64_t case_total(const CaseTable& table) noexcept {
  if (table.last_count < table.first_count) return 0;
  const std::int64_t counts = std::int64_t{table.last_count} - table.first_count + 1;
  std::int64_t per_count = 0;
  for (const SourceEntry& entry : table.entries) {
    per_count += static_cast<std::int64_t>(entry.receivers.size() + multicast_offsets.size() +
                                           paired_receivers.size());
  }
  return counts * per_count;
}

std::string_view kind_name(CaseKind kind) noexcept {
  switch (kind) {
    case CaseKind::point_to_point:
      return "p2p";
    case CaseKind::multicast:
      return "mc";
    case CaseKind::paired_multicast:
      return "pmc";
  }
  return "?";
}

std::int32_t run_sweep(const exchange::Topology& topology, const CaseTable& table,
                       Recorder& recorder) {
  SweepRunner runner(topology);
  std::int32_t cases = 0;
  for (const SweepBlock& block : sweep_blocks(table, std::numeric_limits<std::uint32_t>::max())) {
    cases += runner.run(table, block, recorder);
  }
  return cases;
}

}  // namespace zerin::digest
