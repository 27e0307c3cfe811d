// The digest's own writer of sender timing texts gives the library's debug texts.
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

#include "timing_text.hpp"
#include "zerin/exchange/sender_timing.hpp"
#include "zerin/exchange/topology.hpp"

namespace zd = zerin::digest;
namespace zx = zerin::exchange;

namespace {

std::string ok_text(const zx::ScheduledPayloadTiming& timing) {
  std::array<char, zd::OkTimingText::max_size> text;
  // Bytes beyond the room would be past the array: the address sanitizer watches.
  return {text.data(), zd::OkTimingText::write(text.data(), timing)};
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
  // and at the last one that can still succeed or fail.
  const zx::Topology board = zx::Topology::r470();
  zd::ErrTimingText err;
  for (std::uint32_t count = 1; count <= 4148; count += 37) {
    const auto plan = board.point_to_point(736, 0, count);
    ASSERT_TRUE(plan);
    for (const std::uint32_t offset : {0u, 273u, 4294966783u, 4294967295u - count}) {
      const zx::TimingResult result = zx::scheduled_sender_timing(plan->sender, offset);
      const std::string text = result ? ok_text(*result) : std::string(err(result));
      EXPECT_EQ(text, zx::debug_string(result)) << "count " << count << " offset " << offset;
    }
  }
}

TEST(DigestTimingText, EveryTimingErrorAndItsRuns) {
  // Each error the timing reports: word 0 not the sync word, no return word,
  // cycles past 0xFFFFFFFF, no payload send. Repeats and alternations give the
  // text of the error at hand, never the one before.
  const zx::ExchangeRow sender = zx::Topology::r470().point_to_point(0, 2, 100)->sender;
  const zx::ExchangeRow no_return{zx::sync_word};
  const zx::ExchangeRow no_payload{zx::sync_word, zx::return_word};
  const std::array<zx::TimingResult, 4> failures{
      zx::scheduled_sender_timing(zx::ExchangeRow{}, 0),
      zx::scheduled_sender_timing(no_return, 0),
      zx::scheduled_sender_timing(sender, 4294967295u),
      zx::scheduled_sender_timing(no_payload, 0),
  };
  const std::array<std::string, 4> expected{
      R"(Err(Schedule("sender row entry")))", R"(Err(Schedule("sender row return")))",
      R"(Err(Schedule("sender event horizon overflow")))", R"(Err(Schedule("sender payload")))"};
  zd::ErrTimingText err;
  for (const std::size_t i : {0u, 0u, 1u, 2u, 2u, 2u, 3u, 0u, 3u, 1u}) {
    ASSERT_FALSE(failures[i]);
    EXPECT_EQ(zx::debug_string(failures[i]), expected[i]);
    EXPECT_EQ(err(failures[i]), expected[i]);
  }
}

}  // namespace
