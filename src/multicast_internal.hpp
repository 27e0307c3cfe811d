// Multicast planning that also hands back the mux times it works out, for the
// paired planner built on top of it.
#ifndef ZERIN_EXCHANGE_SRC_MULTICAST_INTERNAL_HPP
#define ZERIN_EXCHANGE_SRC_MULTICAST_INTERNAL_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/plans.hpp"
#include "zerin/exchange/topology.hpp"

namespace zerin::exchange::detail {

// Receivers whose mux times multicast planning computes only once.
inline constexpr std::size_t remembered_mux_times = 8;
using RememberedMuxTimes = std::array<std::int32_t, remembered_mux_times>;

// Whether plan_multicast() lays the ordinary receiver rows, or leaves them for
// a caller that lays rows of its own over them.
enum class MulticastReceiverRows : bool { ordinary, left_to_caller };

// Topology::multicast_into(). On success `mux_times[i]` is time_to_mux() from
// the sender to receiver i, for each of the first remembered_mux_times receivers.
// With MulticastReceiverRows::left_to_caller every check is made as for
// ordinary rows and the plan gets one row per receiver, but those rows stay zero.
std::expected<void, ExchangeError> plan_multicast(const Topology& topology, MulticastPlan& plan,
                                                  std::uint16_t sender_logical,
                                                  std::span<const std::uint16_t> receiver_logical,
                                                  std::uint32_t count,
                                                  std::uint32_t schedule_offset,
                                                  MulticastReceiverRows receiver_rows,
                                                  RememberedMuxTimes& mux_times);

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_MULTICAST_INTERNAL_HPP
