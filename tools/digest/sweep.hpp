// The digest's fixed case sweep.
//
// Every case calls one planner, records what comes back into the digest
// stream, and counts once. The order of the cases and of their values is the
// digest's contract.
#ifndef ZERIN_DIGEST_SWEEP_HPP
#define ZERIN_DIGEST_SWEEP_HPP

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "stream.hpp"
#include "zerin/exchange/topology.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::digest {

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

// A stop of the whole run: a point-to-point plan failed. what() is the report;
// where() names the case.
class FatalStop : public std::runtime_error {
 public:
  FatalStop(const std::string& report, std::string where)
      : std::runtime_error(report), where_(std::move(where)) {}
  const std::string& where() const noexcept { return where_; }

 private:
  std::string where_;
};

// Runs every case of `table` in order against `topology`, recording into
// `stream`, and returns the number of completed cases. A failed point-to-point
// plan throws FatalStop; library faults propagate as exchange::InternalFault.
std::int32_t run_sweep(const exchange::Topology& topology, const CaseTable& table,
                       StreamEncoder& stream);

}  // namespace zerin::digest

#endif  // ZERIN_DIGEST_SWEEP_HPP
