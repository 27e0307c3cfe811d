#include "zerin/exchange/topology.hpp"

#include <algorithm>
#include <limits>
#include <utility>

namespace zerin::exchange {

std::uint16_t r470_logical_to_physical(std::uint16_t logical) noexcept {
  const unsigned pair = logical / 2u;
  const unsigned lane = logical % 2u;
  const unsigned group = pair / 23u;
  unsigned slot = pair % 23u;
  // Odd groups sweep their slots in the opposite direction.
  if (group % 2u == 1u) slot = 22u - slot;
  const unsigned base = (group / 2u) * 4u + group % 2u;
  return static_cast<std::uint16_t>(slot * 64u + base + lane * 2u);
}

Topology Topology::r470() {
  std::vector<std::uint16_t> table(r470_tile_count);
  for (std::uint16_t logical = 0; logical < r470_tile_count; ++logical) {
    table[logical] = r470_logical_to_physical(logical);
  }
  return Topology(std::move(table));
}

namespace {
// Partners sit in the two lanes of one pair: their physical numbers differ in bit 1.
constexpr std::uint16_t partner_lane_bit = 2u;
}  // namespace

Topology::Topology(std::vector<std::uint16_t> logical_to_physical)
    : logical_to_physical_(std::move(logical_to_physical)),
      partner_(logical_to_physical_.size(), no_partner) {
  // The first logical tile of every physical number, in one ascending pass.
  std::size_t physical_count = 0;
  for (const std::uint16_t tile : logical_to_physical_) {
    physical_count = std::max(physical_count, std::size_t{tile} + 1);
  }
  std::vector<std::size_t> first_logical(physical_count, no_partner);
  for (std::size_t index = 0; index < logical_to_physical_.size(); ++index) {
    std::size_t& first = first_logical[logical_to_physical_[index]];
    if (first == no_partner) first = index;
  }
  for (std::size_t index = 0; index < logical_to_physical_.size(); ++index) {
    const std::size_t partner = logical_to_physical_[index] ^ partner_lane_bit;
    if (partner < physical_count) partner_[index] = first_logical[partner];
  }
}

std::expected<std::uint16_t, ExchangeError> Topology::paired_logical(std::uint16_t logical) const {
  if (const auto partner = partner_of(logical)) return *partner;
  return std::unexpected(ExchangeError::Tile{logical});
}

}  // namespace zerin::exchange
