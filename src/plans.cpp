// Point-to-point and multicast planning.
#include <array>
#include <limits>
#include <string>

#include "diagnostics_internal.hpp"
#include "listed_tiles.hpp"
#include "multicast_internal.hpp"
#include "routing_formulas.hpp"
#include "rows_internal.hpp"
#include "schedule_error.hpp"
#include "text.hpp"
#include "zerin/exchange/rows.hpp"
#include "zerin/exchange/topology.hpp"

namespace zerin::exchange {
namespace {

// A point-to-point sender waits so that its first word reaches the receiver's
// mux at cycle 112; the receiver's XPIC word of operand 112 occupies 113 cycles.
constexpr std::int32_t p2p_sender_delay_base = 111;
constexpr std::uint32_t p2p_receive_advance = 112;
constexpr std::int32_t maximum_sender_delay = 0x7FFFF;
// Word 0 of a point-to-point receiver row.
constexpr std::uint32_t p2p_receiver_lead_word = 1;
// Direction / send-control code of a send to two or more receivers.
constexpr std::uint32_t multicast_direction = 3;
// PIC control value of every multicast receiver tail.
constexpr std::uint32_t multicast_tail_address = 0x14000;

using detail::receiver_phase;
using detail::schedule_error;

std::string tile_list_text(std::span<const std::uint16_t> tiles) {
  std::string text = "[";
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    if (i != 0) text += ", ";
    detail::append_unsigned(text, tiles[i]);
  }
  text += ']';
  return text;
}

}  // namespace

void detail::offer_multicast_event_to_sink(std::uint16_t sender_logical,
                                           std::span<const std::uint16_t> receiver_logical,
                                           std::uint32_t count, std::uint32_t schedule_offset) {
  offer_event(DiagnosticLevel::Debug, "assembled multicast exchange", [&] {
    return std::array{DiagnosticField{"sender_logical", std::uint64_t{sender_logical}},
                      DiagnosticField{"receiver_logical", tile_list_text(receiver_logical)},
                      DiagnosticField{"count", std::uint64_t{count}},
                      DiagnosticField{"schedule_offset", std::uint64_t{schedule_offset}}};
  });
}

std::expected<Plan, ExchangeError> Topology::point_to_point(std::uint16_t sender_logical,
                                                            std::uint16_t receiver_logical,
                                                            std::uint32_t count) const {
  if (auto valid = detail::validate_count(count); !valid) return std::unexpected(valid.error());
  if (sender_logical == receiver_logical) return std::unexpected(ExchangeError::DuplicateTile{});
  const auto sender_tile = physical(sender_logical);
  if (!sender_tile) return std::unexpected(sender_tile.error());
  const auto receiver_tile = physical(receiver_logical);
  if (!receiver_tile) return std::unexpected(receiver_tile.error());
  const std::uint32_t sender = *sender_tile;
  const std::uint32_t receiver = *receiver_tile;

  // 111 - mux time is at least -110 - 130 and at most 111 + 96: no overflow.
  const std::int32_t sender_delay = p2p_sender_delay_base - detail::time_to_mux(sender, receiver);
  if (sender_delay < -1 || sender_delay > maximum_sender_delay)
    return schedule_error(ScheduleReason::SenderDelay);
  // Boards beyond r470's 1472 tiles can put a receiver so far out that its tail's
  // PIC wait no longer fits the word: refuse rather than emit a truncated word.
  if (!detail::ordinary_receiver_tail_fits(count, receiver_phase(receiver))) {
    return schedule_error(ScheduleReason::ReceiverPhase);
  }
  Plan plan{};
  if (auto laid = detail::lay_primitive_sender_row(
          plan.sender, count, detail::direction(sender, receiver), sender_delay);
      !laid) {
    return std::unexpected(laid.error());
  }
  plan.receiver[0] = p2p_receiver_lead_word;
  plan.receiver[1] = sync_word;
  plan.receiver[2] = delay_xpic(p2p_receive_advance, 0, 0);
  const auto tail = detail::ordinary_receiver_tail(count, receiver_phase(receiver), 0);
  std::copy(tail.begin(), tail.end(), plan.receiver.begin() + 3);

  detail::offer_event(DiagnosticLevel::Debug, "assembled point-to-point exchange", [&] {
    return std::array{DiagnosticField{"sender_logical", std::uint64_t{sender_logical}},
                      DiagnosticField{"receiver_logical", std::uint64_t{receiver_logical}},
                      DiagnosticField{"count", std::uint64_t{count}}};
  });
  return plan;
}

std::expected<MulticastPlan, ExchangeError> Topology::multicast(
    std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
    std::uint32_t count, std::uint32_t schedule_offset) const {
  MulticastPlan plan;
  auto planned = multicast_into(plan, sender_logical, receiver_logical, count, schedule_offset);
  if (!planned) return std::unexpected(planned.error());
  return plan;
}

std::expected<void, ExchangeError> Topology::multicast_into(
    MulticastPlan& plan, std::uint16_t sender_logical,
    std::span<const std::uint16_t> receiver_logical, std::uint32_t count,
    std::uint32_t schedule_offset) const {
  plan.sender = {};
  plan.receivers.clear();
  if (auto valid = detail::validate_count(count); !valid) return std::unexpected(valid.error());
  const auto sender_tile = physical(sender_logical);
  if (!sender_tile) return std::unexpected(sender_tile.error());
  const std::uint32_t source_physical = *sender_tile;

  // Receiver set: not empty, not the sender alone, no duplicate, every entry a
  // tile. The sender itself may be one of two or more receivers.
  const auto receiver_set_error = std::unexpected(ExchangeError::ReceiverSet{});
  if (receiver_logical.empty()) return receiver_set_error;
  if (receiver_logical.size() == 1 && receiver_logical[0] == sender_logical) {
    return receiver_set_error;
  }
  // The mux times of the first few receivers are kept for the receive cycles below.
  std::array<std::int32_t, detail::remembered_mux_times> mux_times{};
  std::int32_t minimum_mux = std::numeric_limits<std::int32_t>::max();
  for (std::size_t i = 0; i < receiver_logical.size(); ++i) {
    const auto tile = physical(receiver_logical[i]);
    if (!tile) return receiver_set_error;
    const std::int32_t mux = detail::time_to_mux(source_physical, *tile);
    if (i < mux_times.size()) mux_times[i] = mux;
    minimum_mux = std::min(minimum_mux, mux);
  }
  if (detail::ListedTiles(receiver_logical).has_duplicate()) return receiver_set_error;

  const auto start = detail::multicast_start(minimum_mux, schedule_offset, source_physical);
  if (!start) return std::unexpected(start.error());
  const std::uint32_t first_receiver = logical_to_physical_[receiver_logical[0]];
  const std::uint32_t send_direction = receiver_logical.size() == 1
                                           ? detail::direction(source_physical, first_receiver)
                                           : multicast_direction;
  if (auto laid = detail::lay_primitive_sender_row(plan.sender, count, send_direction, *start - 1);
      !laid) {
    plan.sender = {};
    return std::unexpected(laid.error());
  }

  // A refused receiver takes back the sender row and the rows laid before it.
  for (std::size_t i = 0; i < receiver_logical.size(); ++i) {
    const std::uint32_t tile = logical_to_physical_[receiver_logical[i]];
    const std::int32_t mux =
        i < mux_times.size() ? mux_times[i] : detail::time_to_mux(source_physical, tile);
    const auto cycle = detail::multicast_receive_cycle(*start, mux, tile, count);
    if (!cycle) {
      plan.sender = {};
      plan.receivers.clear();
      return std::unexpected(cycle.error());
    }
    const auto tail =
        detail::ordinary_receiver_tail(count, receiver_phase(tile), multicast_tail_address);
    plan.receivers.push_back(
        {sync_word, delay_xpic(*cycle, 0, source_physical), tail[0], tail[1], tail[2], tail[3]});
  }
  detail::offer_multicast_event(sender_logical, receiver_logical, count, schedule_offset);
  return {};
}

}  // namespace zerin::exchange
