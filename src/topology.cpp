#include "zerin/exchange/topology.hpp"

#include <limits>

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

std::expected<std::uint16_t, ExchangeError> Topology::paired_logical(std::uint16_t logical) const {
  const auto physical_tile = physical(logical);
  if (!physical_tile) return std::unexpected(physical_tile.error());
  // Partners sit in the two lanes of one pair: their physical numbers differ in bit 1.
  const std::uint16_t partner = *physical_tile ^ 2u;
  const std::uint16_t* const table = logical_to_physical_.data();
  const std::size_t size = logical_to_physical_.size();
  // Scan from index 0 for the first match. Whole blocks are tested without an
  // early exit, which the compiler turns into a few vector compares per block;
  // only the block that holds a match is searched entry by entry.
  constexpr std::size_t block = 32;
  std::size_t index = 0;
  for (; index + block <= size; index += block) {
    std::uint16_t matches = 0;
    for (std::size_t j = 0; j < block; ++j) {
      matches = static_cast<std::uint16_t>(matches + (table[index + j] == partner ? 1 : 0));
    }
    if (matches != 0) break;
  }
  for (; index < size; ++index) {
    if (table[index] != partner) continue;
    if (index > std::numeric_limits<std::uint16_t>::max()) {
      throw InternalFault("logical tile count fits u16");
    }
    return static_cast<std::uint16_t>(index);
  }
  return std::unexpected(ExchangeError::Tile{logical});
}

}  // namespace zerin::exchange
