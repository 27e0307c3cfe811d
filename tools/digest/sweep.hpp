// The digest's fixed case sweep and the recorder interface it reports to.
//
// The sweep plans every case in a fixed order and hands each recorded value (a
// row, a row vector or a text) to a Recorder, bracketed by begin_case() and
// end_case(). What a recorder does with the values (hash them, trace them, dump
// them) is its own business; the order of the values is the digest's contract.
#ifndef ZERIN_DIGEST_SWEEP_HPP
#define ZERIN_DIGEST_SWEEP_HPP

#include <array>
#include <cstdint>
#include <expected>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/plans.hpp"
#include "zerin/exchange/rows.hpp"
#include "zerin/exchange/sender_timing.hpp"
#include "zerin/exchange/topology.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::digest {

using exchange::ExchangeRow;

// One source tile and the receivers it sends to.
struct SourceEntry {
  std::uint16_t source = 0;
  std::vector<std::uint16_t> receivers;
};

// The inputs of a sweep. The digest program always runs digest_case_table();
// tests shorten the count range or plant a failing entry.
struct CaseTable {
  std::vector<SourceEntry> entries;
  std::uint32_t first_count = 1;
  std::uint32_t last_count = exchange::maximum_transfer_count;
};

// Schedule offsets of the multicast cases, in sweep order.
inline constexpr std::array<std::uint32_t, 4> multicast_offsets{0, 1, 51, 4095};
// Partner pairs of the paired multicast cases, in sweep order.
inline constexpr std::array<std::array<std::uint16_t, 2>, 3> paired_receivers{
    {{2, 3}, {274, 275}, {1286, 1287}}};
// Schedule offsets at which every successful plan's sender row is timed. The
// last leaves only 512 cycles before the 32-bit cycle counter wraps.
inline constexpr std::array<std::uint32_t, 3> timing_offsets{0, 273, 0xFFFFFFFFu - 512u};

// The six source entries, every count 1..4148: 211548 cases.
CaseTable digest_case_table();

// Number of cases run_sweep() completes on `table` when nothing stops it.
std::int64_t case_total(const CaseTable& table) noexcept;

enum class CaseKind : std::uint8_t { point_to_point, multicast, paired_multicast };

// "p2p", "mc" or "pmc".
std::string_view kind_name(CaseKind kind) noexcept;

// Which case is being recorded.
struct CaseHeader {
  std::int32_t index = 0;   // counts from 0 in sweep order
  std::uint32_t entry = 0;  // 1-based position in the table
  std::uint32_t count = 0;
  CaseKind kind = CaseKind::point_to_point;
  // The receiver tile (p2p), the schedule offset (mc) or the pair's first tile (pmc).
  std::uint32_t param = 0;
};

// Receives the sweep's values in stream order. The views passed in are valid only
// during the call.
class Recorder {
 public:
  virtual ~Recorder() = default;
  virtual void begin_case(const CaseHeader& header) { static_cast<void>(header); }
  virtual void row(const ExchangeRow& row) = 0;
  virtual void rows(std::span<const ExchangeRow> rows) = 0;
  virtual void text(std::string_view text) = 0;
  // The sender timing texts of a plan's sender row: for each timing offset the
  // debug text of scheduled_sender_timing(sender, offset), as a text. This
  // computes them and calls text(); a recorder may compute them later instead,
  // as long as their bytes land at the same place in the stream.
  virtual void sender_timings(const ExchangeRow& sender);
  // The values of a successful plan: the sender row, its sender timings, then
  // the receiver row (point-to-point) or the row vector of the receivers
  // (multicast). These call the functions above in that order; a recorder may
  // write the same bytes in one step instead.
  virtual void point_to_point(const ExchangeRow& sender, const ExchangeRow& receiver);
  virtual void multicast(const ExchangeRow& sender, std::span<const ExchangeRow> receivers);
  virtual void end_case() {}

 private:
  std::string timing_text_;
};

// Appends the debug text of scheduled_sender_timing(sender, offset) to `out`.
void append_timing_text(std::string& out, const ExchangeRow& sender, std::uint32_t offset);

// A stop of the whole run: the sweep met a result it cannot go on from.
// what() is the report; where() names the case.
class FatalStop : public std::runtime_error {
 public:
  FatalStop(const std::string& report, std::string where)
      : std::runtime_error(report), where_(std::move(where)) {}
  const std::string& where() const noexcept { return where_; }

 private:
  std::string where_;
};

// A run of consecutive cases: one entry of a table and a range of its counts.
struct SweepBlock {
  std::size_t entry = 0;  // 0-based position in the table
  std::uint32_t first_count = 0;
  std::uint32_t last_count = 0;
  std::int32_t first_case = 0;  // index of the block's first case
};

// The cases of `table` in sweep order, cut into blocks of at most
// `counts_per_block` (at least 1) counts that never span two entries.
// Throws exchange::InternalFault when the table has more cases than an int32
// case index counts.
std::vector<SweepBlock> sweep_blocks(const CaseTable& table, std::uint32_t counts_per_block);

// Plans the cases of sweep blocks. It keeps the buffers one case needs, so the
// hot loop does not allocate; one runner per thread.
class SweepRunner {
 public:
  explicit SweepRunner(const exchange::Topology& topology);
  // Runs the block's cases of `table` in order, recording into `recorder`, and
  // returns the number of completed cases. A failed point-to-point plan throws
  // FatalStop; library faults propagate as exchange::InternalFault.
  std::int32_t run(const CaseTable& table, const SweepBlock& block, Recorder& recorder);

 private:
  // run() for a recorder of static type R, whose calls R may resolve directly.
  template <class R>
  std::int32_t run_cases(const SourceEntry& entry, const SweepBlock& block, R& recorder);
  template <class R>
  void point_to_point(R& recorder, CaseHeader& header, std::uint16_t source,
                      std::uint16_t receiver);
  template <class R>
  void record(R& recorder, const std::expected<void, exchange::ExchangeError>& planned);
  template <class R>
  void begin(R& recorder, CaseHeader& header);
  template <class R>
  void end(R& recorder);

  const exchange::Topology& topology_;
  std::int32_t next_case_ = 0;
  std::string text_;
  exchange::MulticastPlan plan_;
};

// Runs every case of `table` in order against `topology`, recording into
// `recorder`, and returns the number of completed cases. A failed
// point-to-point plan throws FatalStop; library faults propagate as
// exchange::InternalFault.
std::int32_t run_sweep(const exchange::Topology& topology, const CaseTable& table,
                       Recorder& recorder);

}  // namespace zerin::digest

#endif  // ZERIN_DIGEST_SWEEP_HPP
