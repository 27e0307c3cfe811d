// The digest's fixed case sweep.
//
// Every case calls one planner, records what comes back into the digest
// stream, and counts once. The order of the cases and of their values is the
// digest's contract.
#ifndef ZERIN_DIGEST_SWEEP_HPP
#define ZERIN_DIGEST_SWEEP_HPP

#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "stream.hpp"
#include "zerin/exchange/sender_timing.hpp"
#include "zerin/exchange/topology.hpp"

namespace zerin::digest {

// One source tile and the receivers it sends to.
struct SourceEntry {
  std::uint16_t source = 0;
  std::vector<std::uint16_t> receivers;
};

// The inputs of a sweep: every entry at every count 1..last_count. The digest
// program always runs digest_case_table(); tests lower the last count or plant
// a failing entry.
struct CaseTable {
  std::vector<SourceEntry> entries;
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

// Why the whole run stopped: a point-to-point plan failed. `report` says how,
// `where` names the case.
struct FatalStop {
  std::string report;
  std::string where;
};

// Runs every case of `table` in order against `topology`, recording into
// `stream`, and returns the number of cases, or the stop at the first failed
// point-to-point plan. Library faults propagate as exchange::InternalFault.
std::expected<std::int64_t, FatalStop> run_sweep(const exchange::Topology& topology,
                                                 const CaseTable& table, StreamEncoder& stream);

// The texts around the numbers of a successful timing's debug text.
inline constexpr std::array<std::string_view, 4> ok_timing_parts{
    "Ok(ScheduledPayloadTiming { payload_start: ", ", payload_end: ", ", horizon: ", " })"};
// Room for that text: the longest (three 10-digit numbers) and four bytes more,
// which write_ok_timing() may scribble on.
inline constexpr std::size_t ok_timing_room =
    ok_timing_parts[0].size() + ok_timing_parts[1].size() + ok_timing_parts[2].size() +
    ok_timing_parts[3].size() + 3 * 10 + 4;

// Writes `timing`'s debug text, as the library's debug_string() writes it
// (`Ok(ScheduledPayloadTiming { payload_start: 3, payload_end: 10, horizon: 12 })`),
// at `p`, which has ok_timing_room bytes, and returns its end. The sweep writes
// three for every plan, so numbers below 10000 are looked up whole rather than
// converted digit by digit.
inline char* write_ok_timing(char* p, const exchange::ScheduledPayloadTiming& timing) noexcept {
  // The decimal text of every number below 10000, first character in the low
  // byte; its length is the number of non-zero bytes.
  static constexpr auto small = [] {
    std::array<std::uint32_t, 10000> texts{};
    for (std::uint32_t n = 0; n < texts.size(); ++n) {
      for (std::uint32_t rest = n;; rest /= 10) {
        texts[n] = (texts[n] << 8) | ('0' + rest % 10);
        if (rest < 10) break;
      }
    }
    return texts;
  }();
  const auto text = [&p](std::string_view part) {
    std::memcpy(p, part.data(), part.size());
    p += part.size();
  };
  const auto number = [&p](std::uint32_t value) {
    if (value >= small.size()) {
      p = std::to_chars(p, p + 10, value).ptr;
      return;
    }
    std::uint32_t digits = small[value];
    if constexpr (std::endian::native == std::endian::big) digits = std::byteswap(digits);
    std::memcpy(p, &digits, sizeof digits);
    p += (std::bit_width(small[value]) + 7) / 8;
  };
  text(ok_timing_parts[0]);
  number(timing.payload_start);
  text(ok_timing_parts[1]);
  number(timing.payload_end);
  text(ok_timing_parts[2]);
  number(timing.horizon);
  text(ok_timing_parts[3]);
  return p;
}

}  // namespace zerin::digest

#endif  // ZERIN_DIGEST_SWEEP_HPP
