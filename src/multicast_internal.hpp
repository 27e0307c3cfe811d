// The steps that ordinary and paired multicast planning share once each has
// checked its receiver set: the start cycle, the receive cycles and the
// diagnostic event. Inline so that both planners fold them into their loops.
#ifndef ZERIN_EXCHANGE_SRC_MULTICAST_INTERNAL_HPP
#define ZERIN_EXCHANGE_SRC_MULTICAST_INTERNAL_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <limits>
#include <span>

#include "diagnostics_internal.hpp"
#include "rows_internal.hpp"
#include "schedule_error.hpp"
#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::exchange::detail {

// Receivers whose mux times multicast planning computes only once.
inline constexpr std::size_t remembered_mux_times = 8;

// Every start and receive cycle of a multicast lies within 0..4095.
inline constexpr std::uint32_t last_multicast_cycle = 0xFFF;

// The start cycle of a multicast from `source_physical` whose earliest receiver
// mux time is `minimum_mux`: the earliest start at which no receiver's mux cycle
// falls before cycle 0, plus `schedule_offset`.
// Errors, in this order: Schedule "multicast start cycle" (above 4095 or
// overflowing); Schedule "multicast source tile" (the source does not fit the
// receivers' XPIC control field).
inline std::expected<std::int32_t, ExchangeError> multicast_start(std::int32_t minimum_mux,
                                                                  std::uint32_t schedule_offset,
                                                                  std::uint32_t source_physical) {
  if (minimum_mux == std::numeric_limits<std::int32_t>::min()) {
    throw InternalFault("multicast minimum mux time negates");
  }
  const std::uint32_t natural_start =
      minimum_mux < 0 ? static_cast<std::uint32_t>(-minimum_mux) : 0;
  std::uint32_t start_cycle = 0;
  if (__builtin_add_overflow(natural_start, schedule_offset, &start_cycle) ||
      start_cycle > last_multicast_cycle) {
    return schedule_error(ScheduleReason::MulticastStartCycle);
  }
  // Every receiver's XPIC word names the source tile; it must fit the control field.
  if (!word_format::XpicDelay::control.fits(source_physical)) {
    return schedule_error(ScheduleReason::MulticastSourceTile);
  }
  return static_cast<std::int32_t>(start_cycle);
}

// The receive cycle of a receiver on physical `tile` whose mux time is `mux`.
// Errors, in this order: Schedule "multicast receive cycle" (outside 0..4095);
// Schedule "receiver phase" (its ordinary tail would not fit).
inline std::expected<std::uint32_t, ExchangeError> multicast_receive_cycle(std::int32_t start,
                                                                           std::int32_t mux,
                                                                           std::uint32_t tile,
                                                                           std::uint32_t count) {
  std::int32_t receive_cycle = 0;
  if (__builtin_add_overflow(start, mux, &receive_cycle)) {
    throw InternalFault("multicast receive cycle overflows");
  }
  if (receive_cycle < 0 || receive_cycle > static_cast<std::int32_t>(last_multicast_cycle)) {
    return schedule_error(ScheduleReason::MulticastReceiveCycle);
  }
  if (!ordinary_receiver_tail_fits(count, receiver_phase(tile))) {
    return schedule_error(ScheduleReason::ReceiverPhase);
  }
  return static_cast<std::uint32_t>(receive_cycle);
}

// Offers the debug event of a multicast (out of line: it is built only for a sink).
void offer_multicast_event_to_sink(std::uint16_t sender_logical,
                                   std::span<const std::uint16_t> receiver_logical,
                                   std::uint32_t count, std::uint32_t schedule_offset);

// Offers the debug event of a multicast whose rows are all laid; inline, it
// costs the planners one load while no sink is installed.
inline void offer_multicast_event(std::uint16_t sender_logical,
                                  std::span<const std::uint16_t> receiver_logical,
                                  std::uint32_t count, std::uint32_t schedule_offset) {
  if (diagnostic_sink_present.load(std::memory_order_relaxed)) [[unlikely]] {
    offer_multicast_event_to_sink(sender_logical, receiver_logical, count, schedule_offset);
  }
}

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_MULTICAST_INTERNAL_HPP
