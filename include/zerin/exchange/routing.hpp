/// @file
/// Route direction and mux timing between two physical tiles.
///
/// Closed-form formulas over the bit fields of the physical tile numbers (bits 11
/// and up are ignored): bits 0-1 low bits, 2-5 raw column (8..15 the mirrored
/// half), 5 the half bit, 6-10 the slot. None of them is symmetric: `source`
/// always sends, `destination` always receives.
///
/// Thread-safety: pure functions.
#ifndef ZERIN_EXCHANGE_ROUTING_HPP
#define ZERIN_EXCHANGE_ROUTING_HPP

#include "zerin/exchange/export.hpp"

#include <cstdint>

namespace zerin::exchange {

/// Signed route distance from source to destination: in -47..47, never 0 and
/// never a multiple of 6.
ZERIN_EXCHANGE_API std::int32_t route_displacement(std::uint32_t source,
                                                   std::uint32_t destination) noexcept;

/// Route code written into send words: 1 for a positive displacement, else 2.
ZERIN_EXCHANGE_API std::uint32_t direction(std::uint32_t source,
                                           std::uint32_t destination) noexcept;

/// Cycles from the sender's send to the data's arrival at the destination's
/// incoming mux, against a reference the planners fix (-96..130; may be negative).
ZERIN_EXCHANGE_API std::int32_t time_to_mux(std::uint32_t source,
                                            std::uint32_t destination) noexcept;

/// Mux time for a 64-bit paired receiver: the later of time_to_mux() to
/// `destination` and to `destination ^ 2` (its physical partner).
ZERIN_EXCHANGE_API std::int32_t paired_time_to_mux(std::uint32_t source,
                                                   std::uint32_t destination) noexcept;

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_ROUTING_HPP
