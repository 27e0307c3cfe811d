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

// Whether plan_multicast() plans an ordinary multicast, or the sender row and
// checks of a paired one, whose caller lays the paired receiver rows itself.
enum class MulticastStyle : bool { ordinary, paired };

// The send control of a paired multicast's sender row, from the sender's and
// the first receiver's physical tiles: the route to two receivers that leave out
// the sender, a broadcast otherwise. Throws InternalFault if the control would
// not fit the send word's three bits.
std::uint32_t paired_send_control(std::span<const std::uint16_t> receiver_logical,
                                  std::uint16_t sender_logical, std::uint32_t sender_physical,
                                  std::uint32_t first_receiver_physical);

// Topology::multicast_into(). On success `mux_times[i]` is time_to_mux() from
// the sender to receiver i, for each of the first remembered_mux_times receivers.
// With MulticastStyle::paired every check is made as for an ordinary multicast
// and the plan gets one row per receiver, but those rows stay zero; the sender
// row's send words carry paired_send_control() in place of the multicast route.
std::expected<void, ExchangeError> plan_multicast(
    const Topology& topology, MulticastPlan& plan, std::uint16_t sender_logical,
    std::span<const std::uint16_t> receiver_logical, std::uint32_t count,
    std::uint32_t schedule_offset, MulticastStyle style, RememberedMuxTimes& mux_times);

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_MULTICAST_INTERNAL_HPP
