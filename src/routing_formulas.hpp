// The route and mux-time formulas, inline so that the planners in other source
// files fold them into their own loops; routing.cpp's exported functions are
// these same formulas.
#ifndef ZERIN_EXCHANGE_SRC_ROUTING_FORMULAS_HPP
#define ZERIN_EXCHANGE_SRC_ROUTING_FORMULAS_HPP

#include <algorithm>
#include <cstdint>
#include <cstdlib>

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

constexpr std::int32_t route_displacement(std::uint32_t source,
                                          std::uint32_t destination) noexcept {
  const std::int32_t source_raw = raw_column(source);
  const std::int32_t destination_raw = raw_column(destination);
  // The source's mux column moves one on when its half bit and bit 0 differ.
  const std::int32_t source_mux =
      folded_column(source_raw) + ((source_raw >> 3) ^ static_cast<std::int32_t>(source & 1u));
  const std::int32_t base = (folded_column(destination_raw) - source_mux) * 6;
  const std::uint32_t destination_lane = destination & 3u;
  const std::uint32_t destination_half = static_cast<std::uint32_t>(destination_raw) >> 3;
  if (destination_lane <= 1) return base + (destination_half == destination_lane ? 1 : 5);
  return base + (destination_half == (destination & 1u) ? 2 : 4);
}

constexpr std::uint32_t direction(std::uint32_t source, std::uint32_t destination) noexcept {
  return route_displacement(source, destination) >= 1 ? 1u : 2u;
}

constexpr std::int32_t time_to_mux(std::uint32_t source, std::uint32_t destination) noexcept {
  const std::int32_t source_raw = raw_column(source);
  const std::int32_t destination_raw = raw_column(destination);
  const std::int32_t source_low = static_cast<std::int32_t>((source >> 2) & 7u);
  const std::int32_t displacement = route_displacement(source, destination);
  auto edge = [](std::int32_t raw) { return raw <= 7 ? 4 * raw : (4 * raw) ^ 0x3C; };
  const std::int32_t local = static_cast<std::int32_t>(((source >> 2) & 8u) | ((source >> 3) & 3u));
  const std::int32_t crossing = (local - destination_raw) + ((source_low >> 1) ^ 3);
  const bool same_region = ((source ^ destination) & 0x20u) == 0;
  const std::int32_t turn = same_region ? source_low + 1 : 16 - source_low;
  const std::int32_t group_delta = (slot(source) - slot(destination)) * 2;
  return crossing + edge(source_raw) + turn - edge(destination_raw) + group_delta +
         std::abs(displacement) - 34;
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
