// Receive-event kinds, instruction sharing and validation of event lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;
using Kind = zx::ReceiveEventKind;

namespace {

constexpr std::array all_kinds{Kind::OrdinarySource, Kind::OrdinaryNeutral, Kind::PairedSource,
                               Kind::PairedNeutral,  Kind::PairedPointer,   Kind::Pointer,
                               Kind::Format};

zx::ReceiveEvent at(std::uint32_t cycles, Kind kind) {
  // The word matches the kind's stream; sharing never looks at it.
  return {cycles, zx::is_pic(kind) ? zx::delay_pic(0, 0, 1) : zx::delay_xpic(0, 0, 1), kind};
}

bool valid(const std::vector<zx::ReceiveEvent>& events) {
  const auto result = zx::validate_receive_events(events);
  if (!result) {
    EXPECT_EQ(result.error(), zx::ExchangeError::schedule(
                                  zx::ScheduleReason::IncompatibleSimultaneousReceiveControls));
  }
  return result.has_value();
}

TEST(ReceiveEventKind, StreamsSplitTheKinds) {
  for (std::size_t i = 0; i < all_kinds.size(); ++i) {
    const Kind kind = all_kinds[i];
    EXPECT_EQ(static_cast<std::size_t>(kind), i);
    EXPECT_NE(zx::is_pic(kind), zx::is_xpic(kind)) << i;
    EXPECT_EQ(zx::is_pic(kind), i >= 4) << i;
  }
}

TEST(ReceiveEventSharing, OnlyPointerWithAnOrdinaryXpicEvent) {
  // Of all 49 ordered pairs, only these four may share one instruction.
  const std::array sharing{std::pair{Kind::Pointer, Kind::OrdinarySource},
                           std::pair{Kind::OrdinarySource, Kind::Pointer},
                           std::pair{Kind::Pointer, Kind::OrdinaryNeutral},
                           std::pair{Kind::OrdinaryNeutral, Kind::Pointer}};
  for (const Kind left : all_kinds) {
    for (const Kind right : all_kinds) {
      const bool listed = std::ranges::find(sharing, std::pair{left, right}) != sharing.end();
      EXPECT_EQ(zx::receive_events_can_share_instruction(at(5, left), at(5, right)), listed)
          << static_cast<int>(left) << " with " << static_cast<int>(right);
      EXPECT_FALSE(zx::receive_events_can_share_instruction(at(5, left), at(6, right)));
    }
  }
  // Words are not compared: any two words may share when the kinds allow it.
  EXPECT_TRUE(zx::receive_events_can_share_instruction({9, 0, Kind::Pointer},
                                                       {9, 0xFFFFFFFF, Kind::OrdinaryNeutral}));
}

TEST(ValidateReceiveEvents, GroupsOfNeighbours) {
  EXPECT_TRUE(valid({}));
  for (const Kind kind : all_kinds) EXPECT_TRUE(valid({at(0, kind)}));
  EXPECT_TRUE(valid({at(5, Kind::Pointer), at(5, Kind::OrdinarySource)}));
  EXPECT_TRUE(valid({at(5, Kind::OrdinarySource), at(5, Kind::Pointer)}));
  EXPECT_TRUE(valid({at(5, Kind::Pointer), at(5, Kind::OrdinaryNeutral)}));
  EXPECT_FALSE(valid({at(5, Kind::Pointer), at(5, Kind::Pointer)}));
  EXPECT_FALSE(valid({at(5, Kind::Format), at(5, Kind::OrdinaryNeutral)}));
  EXPECT_FALSE(valid({at(5, Kind::Pointer), at(5, Kind::PairedSource)}));
  EXPECT_FALSE(valid({at(5, Kind::PairedPointer), at(5, Kind::PairedNeutral)}));
  // Three at one cycle fail even when every two of them could share.
  EXPECT_FALSE(
      valid({at(5, Kind::Pointer), at(5, Kind::OrdinarySource), at(5, Kind::OrdinaryNeutral)}));
  EXPECT_FALSE(valid({at(5, Kind::Format), at(5, Kind::Format), at(5, Kind::Format)}));
  // Only neighbours group, and order is not checked here.
  EXPECT_TRUE(valid({at(5, Kind::Format), at(3, Kind::Format), at(5, Kind::Format)}));
  EXPECT_TRUE(valid({at(9, Kind::Format), at(5, Kind::Pointer), at(5, Kind::OrdinarySource),
                     at(1, Kind::PairedSource)}));
  // A bad group after good ones still fails.
  EXPECT_FALSE(valid({at(1, Kind::Format), at(3, Kind::Pointer), at(3, Kind::OrdinarySource),
                      at(8, Kind::Format), at(8, Kind::PairedNeutral)}));
}

}  // namespace
