// Route displacement, direction and mux times between physical tiles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;

namespace {

struct RouteCase {
  std::uint32_t source, destination;
  std::int32_t displacement;
  std::uint32_t direction;
  std::int32_t mux, paired_mux;
};

const RouteCase worked[] = {
    {0, 1, 5, 1, -25, -25},      {0, 4, 7, 1, -28, -27},   {4, 0, -5, 2, -20, -20},
    {0, 32, 47, 1, -4, -4},      {0, 64, 1, 1, -31, -30},  {64, 0, 1, 1, -27, -26},
    {1, 3, -2, 2, -28, -28},     {100, 5, -31, 2, 44, 45}, {1535, 0, 1, 1, 33, 34},
    {1440, 0, -47, 2, 112, 112}, {0, 0, 1, 1, -29, -28},
};

TEST(Routing, WorkedValues) {
  for (const RouteCase& c : worked) {
    SCOPED_TRACE(testing::Message() << c.source << " -> " << c.destination);
    EXPECT_EQ(zx::route_displacement(c.source, c.destination), c.displacement);
    EXPECT_EQ(zx::direction(c.source, c.destination), c.direction);
    EXPECT_EQ(zx::time_to_mux(c.source, c.destination), c.mux);
    EXPECT_EQ(zx::paired_time_to_mux(c.source, c.destination), c.paired_mux);
  }
}

TEST(Routing, HighBitsOfTheWorkedTilesAreIgnored) {
  for (const RouteCase& c : worked) {
    for (const std::uint32_t high : {0x800u, 0xF800u, 0xFFFFF800u}) {
      SCOPED_TRACE(testing::Message() << c.source << " -> " << c.destination << " | " << high);
      EXPECT_EQ(zx::route_displacement(c.source | high, c.destination | high), c.displacement);
      EXPECT_EQ(zx::direction(c.source | high, c.destination), c.direction);
      EXPECT_EQ(zx::time_to_mux(c.source, c.destination | high), c.mux);
      EXPECT_EQ(zx::paired_time_to_mux(c.source | high, c.destination | high), c.paired_mux);
    }
  }
}

// Every pair of eleven-bit tile numbers: the displacement's shape, the value
// ranges, and that bits 11 and up change nothing.
TEST(Routing, AllElevenBitPairs) {
  std::uint32_t mix = 0x9E3779B9u;
  for (std::uint32_t source = 0; source < 2048; ++source) {
    for (std::uint32_t destination = 0; destination < 2048; ++destination) {
      const std::int32_t displacement = zx::route_displacement(source, destination);
      const std::int32_t mux = zx::time_to_mux(source, destination);
      const bool shape_ok = displacement != 0 && displacement % 6 != 0 && displacement >= -47 &&
                            displacement <= 47 && mux >= -96 && mux <= 130;
      const bool direction_ok = zx::direction(source, destination) == (displacement > 0 ? 1u : 2u);
      // A different pattern of high bits on each side for every pair.
      mix = mix * 1664525u + 1013904223u;
      const std::uint32_t high_source = source | (mix & ~0x7FFu);
      const std::uint32_t high_destination = destination | ((mix << 11) & ~0x7FFu);
      const bool high_ok =
          zx::route_displacement(high_source, high_destination) == displacement &&
          zx::time_to_mux(high_source, high_destination) == mux &&
          zx::direction(high_source, high_destination) == zx::direction(source, destination);
      if (!shape_ok || !direction_ok || !high_ok) {
        FAIL() << source << " -> " << destination << ": displacement " << displacement << ", mux "
               << mux << ", high bits " << high_source << " -> " << high_destination;
      }
    }
  }
}

TEST(Routing, PairedMuxTimeIsTheLaterOfThePartners) {
  for (std::uint32_t source = 0; source < 1472; source += 7) {
    for (std::uint32_t destination = 0; destination < 1472; ++destination) {
      const std::int32_t paired = zx::paired_time_to_mux(source, destination);
      ASSERT_GE(paired, zx::time_to_mux(source, destination));
      ASSERT_GE(paired, zx::time_to_mux(source, destination ^ 2u));
      ASSERT_EQ(paired, zx::paired_time_to_mux(source, destination ^ 2u));
    }
  }
}

// The formulas written out step by step, term by term as first derived: the
// planners' folded forms must agree with them on every pair of eleven-bit tile
// numbers.
std::int32_t stepwise_displacement(std::uint32_t source, std::uint32_t destination) {
  const std::int32_t source_raw = static_cast<std::int32_t>((source >> 2) & 0xF);
  const std::int32_t destination_raw = static_cast<std::int32_t>((destination >> 2) & 0xF);
  const std::int32_t source_column = source_raw <= 7 ? source_raw : source_raw ^ 0xF;
  const std::int32_t destination_column =
      destination_raw <= 7 ? destination_raw : destination_raw ^ 0xF;
  const std::int32_t source_mux =
      source_column + ((source_raw >> 3) ^ static_cast<std::int32_t>(source & 1));
  const std::int32_t base = (destination_column - source_mux) * 6;
  const std::uint32_t lane = destination & 3;
  const std::uint32_t destination_half = static_cast<std::uint32_t>(destination_raw) >> 3;
  if (lane <= 1) return base + (destination_half == lane ? 1 : 5);
  return base + (destination_half == (destination & 1) ? 2 : 4);
}

std::int32_t stepwise_mux(std::uint32_t source, std::uint32_t destination) {
  const std::int32_t source_raw = static_cast<std::int32_t>((source >> 2) & 0xF);
  const std::int32_t destination_raw = static_cast<std::int32_t>((destination >> 2) & 0xF);
  const std::int32_t source_low = static_cast<std::int32_t>((source >> 2) & 7);
  const std::int32_t displacement = stepwise_displacement(source, destination);
  auto edge = [](std::int32_t raw) { return raw <= 7 ? 4 * raw : (4 * raw) ^ 0x3C; };
  const std::int32_t local = static_cast<std::int32_t>(((source >> 2) & 8) | ((source >> 3) & 3));
  const std::int32_t crossing = (local - destination_raw) + ((source_low >> 1) ^ 3);
  const bool same_region = ((source ^ destination) & 0x20) == 0;
  const std::int32_t turn = same_region ? source_low + 1 : 16 - source_low;
  const std::int32_t group_delta = (static_cast<std::int32_t>((source >> 6) & 0x1F) -
                                    static_cast<std::int32_t>((destination >> 6) & 0x1F)) *
                                   2;
  return crossing + edge(source_raw) + turn - edge(destination_raw) + group_delta +
         (displacement < 0 ? -displacement : displacement) - 34;
}

TEST(Routing, FormulasAgreeWithTheStepwiseDerivation) {
  for (std::uint32_t source = 0; source < 2048; ++source) {
    for (std::uint32_t destination = 0; destination < 2048; ++destination) {
      const std::int32_t displacement = zx::route_displacement(source, destination);
      const std::int32_t mux = zx::time_to_mux(source, destination);
      const std::int32_t paired = zx::paired_time_to_mux(source, destination);
      const std::int32_t expected_paired =
          std::max(stepwise_mux(source, destination), stepwise_mux(source, destination ^ 2));
      if (displacement != stepwise_displacement(source, destination) ||
          mux != stepwise_mux(source, destination) || paired != expected_paired) {
        FAIL() << source << " -> " << destination << ": displacement " << displacement
               << " (stepwise " << stepwise_displacement(source, destination) << "), mux " << mux
               << " (stepwise " << stepwise_mux(source, destination) << "), paired " << paired
               << " (stepwise " << expected_paired << ")";
      }
    }
  }
}

}  // namespace
