// The route and mux-time formulas, inline so that the planners in other source
// files fold them into their own loops; routing.cpp's exported functions are
// these same formulas.
#ifndef ZERIN_EXCHANGE_SRC_ROUTING_FORMULAS_HPP
#define ZERIN_EXCHANGE_SRC_ROUTING_FORMULAS_HPP

#include <algorithm>
#include <array>
#include <cstdint>

namespace zerin::exchange::detail {

// Bits 2-5 of a physical tile: its raw column; 8..15 lie in the mirrored half.
constexpr std::int32_t raw_column(std::uint32_t tile) noexcept {
  return static_cast<std::int32_t>((tile >> 2) & 0xFu);
}
// Columns fold at the mirror: raw 7 and 8 are both column 7, raw 0 and 15 column 0.
constexpr std::int32_t folded_column(std::int32_t raw) noexcept {
  return raw <= 7 ? raw : raw ^ 0xF;
}
// Bits 6-10: the slot within the sweep.
constexpr std::int32_t slot(std::uint32_t tile) noexcept {
  return static_cast<std::int32_t>((tile >> 6) & 0x1Fu);
}

// Bit 5 of a physical tile: the half it lies in (the top bit of its raw column).
constexpr std::int32_t half(std::uint32_t tile) noexcept {
  return static_cast<std::int32_t>((tile >> 5) & 1u);
}

// Where on the destination's column the route lands, by the destination's lane
// (bits 0-1) and half: lanes 0 and 1 land one on when the lane matches the half,
// five on when not; lanes 2 and 3 land two on when bit 0 matches the half, four
// on when not.
inline constexpr std::array<std::int8_t, 8> landing_offset{1, 5, 2, 4, 5, 1, 4, 2};

// The signed route distance from the source's mux column to where the route
// lands on the destination's column, six per folded column; never 0.
constexpr std::int32_t column_route_displacement(std::uint32_t source,
                                                 std::uint32_t destination) noexcept {
  const std::int32_t source_raw = raw_column(source);
  // The source's mux column moves one on when its half bit and bit 0 differ.
  const std::int32_t source_mux =
      folded_column(source_raw) + (half(source) ^ static_cast<std::int32_t>(source & 1u));
  const std::int32_t base = (folded_column(raw_column(destination)) - source_mux) * 6;
  return base +
         landing_offset[(destination & 3u) | (static_cast<std::uint32_t>(half(destination)) << 2)];
}

// The mux time without its slot term: cycles from the send until the data
// reaches the destination's mux, against the planners' common reference (so it
// may be negative), for two tiles of one slot. It is the crossing to the
// destination's raw column, four cycles per folded column between the two
// edges, the turn at the source (within its half or across the mirror) and one
// cycle per unit of route displacement.
constexpr std::int32_t column_mux_time(std::uint32_t source, std::uint32_t destination) noexcept {
  const std::int32_t source_raw = raw_column(source);
  const std::int32_t destination_raw = raw_column(destination);
  const std::int32_t source_low = source_raw & 7;
  const std::int32_t crossing = 8 * half(source) + 3 - destination_raw;
  const std::int32_t edges = 4 * (folded_column(source_raw) - folded_column(destination_raw));
  const std::int32_t turn = half(source) == half(destination) ? source_low + 1 : 16 - source_low;
  const std::int32_t displacement = column_route_displacement(source, destination);
  return crossing + edges + turn + (displacement < 0 ? -displacement : displacement) - 34;
}

// Both column formulas read only bits 0 and 2-5 of the source and bits 0-5 of
// the destination, so they are laid out once for all 2048 combinations.
constexpr std::uint32_t column_index(std::uint32_t source, std::uint32_t destination) noexcept {
  const std::uint32_t source_bits = (source & 1u) | ((source >> 1) & 0x1Eu);
  return (source_bits << 6) | (destination & 0x3Fu);
}
struct ColumnRoute {
  std::int8_t displacement;
  std::int16_t mux_time;
};
inline constexpr auto column_routes = [] {
  std::array<ColumnRoute, 2048> routes{};
  for (std::uint32_t source_bits = 0; source_bits < 32; ++source_bits) {
    const std::uint32_t source = (source_bits & 1u) | ((source_bits & 0x1Eu) << 1);
    for (std::uint32_t destination = 0; destination < 64; ++destination) {
      routes[column_index(source, destination)] = {
          static_cast<std::int8_t>(column_route_displacement(source, destination)),
          static_cast<std::int16_t>(column_mux_time(source, destination))};
    }
  }
  return routes;
}();

constexpr std::int32_t route_displacement(std::uint32_t source,
                                          std::uint32_t destination) noexcept {
  return column_routes[column_index(source, destination)].displacement;
}

constexpr std::uint32_t direction(std::uint32_t source, std::uint32_t destination) noexcept {
  return route_displacement(source, destination) >= 1 ? 1u : 2u;
}

// The full mux time: the column part, plus two cycles per slot of sweep from the
// destination back to the source.
constexpr std::int32_t time_to_mux(std::uint32_t source, std::uint32_t destination) noexcept {
  return column_routes[column_index(source, destination)].mux_time +
         (slot(source) - slot(destination)) * 2;
}

// The two mux times of a 64-bit paired receiver: its own and its physical
// partner's (destination ^ 2, computed, not looked up: it need not be a tile).
// The paired mux time is the later; the receiver is early when its own comes first.
struct PairedMuxTimes {
  std::int32_t local;
  std::int32_t partner;
  constexpr std::int32_t paired() const noexcept { return std::max(local, partner); }
  constexpr bool early() const noexcept { return local < partner; }
};

inline constexpr std::uint32_t physical_partner_bit = 2;

constexpr PairedMuxTimes paired_mux_times(std::uint32_t source,
                                          std::uint32_t destination) noexcept {
  return {time_to_mux(source, destination),
          time_to_mux(source, destination ^ physical_partner_bit)};
}

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_ROUTING_FORMULAS_HPP
