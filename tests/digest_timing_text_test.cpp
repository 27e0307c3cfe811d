// The digest's own writer of sender timing texts gives the library's debug texts.
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

#include "sweep.hpp"
#include "zerin/exchange/sender_timing.hpp"
#include "zerin/exchange/topology.hpp"

namespace zd = zerin::digest;
namespace zx = zerin::exchange;

namespace {

std::string ok_text(const zx::ScheduledPayloadTiming& timing) {
  std::array<char, zd::ok_timing_room> text;
  // Bytes beyond the room would be past the array: the address sanitizer watches.
  return {text.data(), zd::write_ok_timing(text.data(), timing)};
}

TEST(DigestTimingText, SuccessesAtEveryNumberOfDigits) {
  std::vector<std::uint32_t> values{0, std::numeric_limits<std::uint32_t>::max()};
  for (std::uint64_t power = 1; power <= 1000000000; power *= 10) {
    for (const std::uint64_t v : {power - 1, power, power + 1, 3 * power + 7}) {
      values.push_back(static_cast<std::uint32_t>(v));
    }
  }
  for (const std::uint32_t a : values) {
    for (const std::uint32_t b : {std::uint32_t{0}, a, std::uint32_t{4294967295u}}) {
      const zx::ScheduledPayloadTiming timing{a, b, a ^ b};
      EXPECT_EQ(ok_text(timing), zx::debug_string(zx::TimingResult(timing)));
    }
  }
}

TEST(DigestTimingText, SweepRowsAtEveryTimingOffset) {
  // Real sender rows over a range of counts, at every offset the digest uses
  // and at the last one that can still succeed.
  const zx::Topology board = zx::Topology::r470();
  for (std::uint32_t count = 1; count <= 4148; count += 37) {
    const auto plan = board.point_to_point(736, 0, count);
    ASSERT_TRUE(plan);
    for (const std::uint32_t offset : {0u, 273u, 4294966783u, 4294967295u - count}) {
      const zx::TimingResult result = zx::scheduled_sender_timing(plan->sender, offset);
      if (result) {
        EXPECT_EQ(ok_text(*result), zx::debug_string(result))
            << "count " << count << " offset " << offset;
      }
    }
  }
}

}  // namespace
