// Exhaustive sweeps over the r470 board: every sender to every single receiver
// (multicast), every sender to every partner pair (paired multicast), and the
// payload timing of every sender row they produce, each outcome checked against
// the timing formulas rather than against a stored answer.
//
// Under AddressSanitizer the sweeps take every seventh sender only (the
// receivers stay complete); a Release build sweeps everything.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iostream>
#include <map>
#include <string>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr std::uint16_t sender_stride = 7;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr std::uint16_t sender_stride = 7;
#else
constexpr std::uint16_t sender_stride = 1;
#endif
#else
constexpr std::uint16_t sender_stride = 1;
#endif

constexpr std::uint32_t late_offset = 0xFFFFFDFFu;  // 512 cycles below the top

const zx::Topology& board() {
  static const zx::Topology topology = zx::Topology::r470();
  return topology;
}

std::uint32_t physical(std::uint16_t logical) {
  return board().logical_to_physical()[logical];
}

std::string outcome(const zx::ExchangeError& error) {
  return zx::debug_string(error);
}

// A sender row starting its payload `start` cycles after its sync moves `count`
// words in `count` cycles, and its programme lasts at least six cycles.
void expect_sender_timing(const zx::ExchangeRow& row, std::uint32_t start, std::uint32_t count,
                          std::map<std::string, long>& tally) {
  const std::uint32_t total = std::max(start + count, 6u);
  const auto early = zx::scheduled_sender_timing(row, 0);
  ASSERT_TRUE(early) << zx::debug_string(early);
  EXPECT_EQ(*early, (zx::ScheduledPayloadTiming{start, start + count, total}));
  const auto late = zx::scheduled_sender_timing(row, late_offset);
  if (total <= 512) {
    ASSERT_TRUE(late) << zx::debug_string(late);
    EXPECT_EQ(*late, (zx::ScheduledPayloadTiming{late_offset + start, late_offset + start + count,
                                                 late_offset + total}));
    ++tally["late timing Ok"];
  } else {
    ASSERT_FALSE(late);
    EXPECT_EQ(late.error(),
              zx::ExchangeError::schedule(zx::ScheduleReason::SenderEventHorizonOverflow));
    ++tally["late timing sender event horizon overflow"];
  }
}

void print_tally(const std::string& sweep, const std::map<std::string, long>& tally) {
  for (const auto& [what, number] : tally) {
    std::cout << "[ sweep    ] " << sweep << ": " << what << " " << number << "\n";
  }
}

TEST(Sweep, MulticastEverySenderToEverySingleReceiver) {
  std::map<std::string, long> tally;
  zx::MulticastPlan plan;
  for (std::uint32_t sender = 0; sender < zx::r470_tile_count; sender += sender_stride) {
    const auto s = static_cast<std::uint16_t>(sender);
    for (std::uint16_t r = 0; r < zx::r470_tile_count; ++r) {
      const std::array<std::uint16_t, 1> receivers{r};
      // The count walks through every transfer size as the pairs go by.
      const std::uint32_t count = 1 + (sender * zx::r470_tile_count + r) % 4148;
      const std::int32_t mux = zx::time_to_mux(physical(s), physical(r));
      for (const std::uint32_t offset : {0u, 4095u}) {
        const auto planned = board().multicast_into(plan, s, receivers, count, offset);
        const std::uint32_t start = static_cast<std::uint32_t>(std::max(-mux, 0)) + offset;
        if (s == r) {
          ASSERT_FALSE(planned);
          ASSERT_EQ(planned.error(), zx::ExchangeError::ReceiverSet{});
        } else if (start > 4095) {
          ASSERT_FALSE(planned) << s << " -> " << r;
          ASSERT_EQ(planned.error(),
                    zx::ExchangeError::schedule(zx::ScheduleReason::MulticastStartCycle));
        } else if (std::int64_t{start} + mux > 4095) {
          ASSERT_FALSE(planned) << s << " -> " << r;
          ASSERT_EQ(planned.error(),
                    zx::ExchangeError::schedule(zx::ScheduleReason::MulticastReceiveCycle));
        } else {
          ASSERT_TRUE(planned) << s << " -> " << r << ": " << outcome(planned.error());
          const auto receive = static_cast<std::uint32_t>(std::int64_t{start} + mux);
          ASSERT_EQ(plan.receivers.size(), 1u);
          ASSERT_EQ(plan.receivers[0][1], zx::delay_xpic(receive, 0, physical(s)));
          ASSERT_EQ(plan.receivers[0][0], zx::sync_word);
          ASSERT_EQ(plan.receivers[0][5], zx::return_word);
          expect_sender_timing(plan.sender, start, count, tally);
        }
        ++tally[std::string(offset == 0 ? "offset 0 " : "offset 4095 ") +
                (planned ? "Ok" : outcome(planned.error()))];
      }
    }
  }
  print_tally("multicast", tally);
}

TEST(Sweep, PairedMulticastEverySenderToEveryPartnerPair) {
  std::map<std::string, long> tally;
  zx::MulticastPlan plan;
  for (std::uint32_t sender = 0; sender < zx::r470_tile_count; sender += sender_stride) {
    const auto s = static_cast<std::uint16_t>(sender);
    const std::uint32_t sp = physical(s);
    for (std::uint16_t pair = 0; pair < zx::r470_tile_count; pair += 2) {
      const std::array<std::uint16_t, 2> receivers{pair, static_cast<std::uint16_t>(pair + 1)};
      const std::int32_t minimum_mux = std::min(zx::time_to_mux(sp, physical(receivers[0])),
                                                zx::time_to_mux(sp, physical(receivers[1])));
      const std::uint32_t start = static_cast<std::uint32_t>(std::max(-minimum_mux, 0));
      const std::int32_t minimum_double =
          std::min(zx::paired_time_to_mux(sp, physical(receivers[0])),
                   zx::paired_time_to_mux(sp, physical(receivers[1])));
      const std::int32_t epoch = std::max(1 - minimum_double, 0);
      const bool sender_listed = s == receivers[0] || s == receivers[1];
      const std::uint32_t control =
          sender_listed ? 7u : (zx::direction(sp, physical(receivers[0])) | 4u);
      for (const std::uint32_t count : {1u, 4148u}) {
        const auto planned = board().paired_multicast_into(plan, s, receivers, count);
        ASSERT_TRUE(planned) << s << " -> " << pair << " count " << count << ": "
                             << outcome(planned.error());
        ++tally["count " + std::to_string(count) + " Ok"];
        for (std::size_t i = 0; i < zx::row_length; ++i) {
          if (zx::is_payload_send(plan.sender[i])) {
            ASSERT_EQ(plan.sender[i] & 7u, control);
          }
        }
        expect_sender_timing(plan.sender, start, count, tally);
        for (std::size_t k = 0; k < 2; ++k) {
          const std::uint32_t rp = physical(receivers[k]);
          const bool early = zx::time_to_mux(sp, rp) < zx::time_to_mux(sp, rp ^ 2u);
          // Source selection, then the format controls 51 cycles plus the phase later;
          // the programme ends 7 cycles after the last of them.
          const std::int64_t source = epoch + zx::paired_time_to_mux(sp, rp);
          ASSERT_GE(source, 1);
          const std::int64_t format = source + 51 + (rp / 64) * 2;
          const std::int64_t horizon = format + std::max<std::int64_t>(count, 2) + 7;
          const zx::ExchangeRow& row = plan.receivers[k];
          ASSERT_EQ(row[0], zx::sync_word);
          const auto end = std::find(row.begin(), row.end(), zx::return_word);
          ASSERT_NE(end, row.end());
          ASSERT_TRUE(std::all_of(end + 1, row.end(), [](std::uint32_t w) { return w == 0; }));
          std::int64_t cycles = 0;
          int xpic = 0;
          for (auto word = row.begin() + 1; word != end; ++word) {
            cycles += zx::instruction_advance(*word);
            xpic += zx::is_xpic_delay(*word);
          }
          ASSERT_EQ(cycles, horizon) << s << " -> " << receivers[k] << " count " << count;
          ASSERT_EQ(xpic, early ? 2 : 0);
          ++tally[early ? "early receiver rows" : "late receiver rows"];
        }
      }
    }
  }
  print_tally("paired multicast", tally);
}

}  // namespace
