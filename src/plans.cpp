// Point-to-point and multicast planning.
#include <array>
#include <limits>
#include <optional>
#include <string>

#include "diagnostics_internal.hpp"
#include "multicast_internal.hpp"
#include "routing_formulas.hpp"
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
  if (auto valid = validate_count(count); !valid) return std::unexpected(valid.error());
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
  if (!ordinary_receiver_tail_fits(count, receiver_phase(receiver))) {
    return schedule_error(ScheduleReason::ReceiverPhase);
  }
  Plan plan{};
  if (auto laid = primitive_sender_row_into(plan.sender, count, detail::direction(sender, receiver),
                                            sender_delay);
      !laid) {
    return std::unexpected(laid.error());
  }
  plan.receiver[0] = p2p_receiver_lead_word;
  plan.receiver[1] = sync_word;
  plan.receiver[2] = delay_xpic(p2p_receive_advance, 0, 0);
  const auto tail = ordinary_receiver_tail(count, receiver_phase(receiver), 0);
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

namespace {

// Ordinary receiver rows: sync, an XPIC delay to the receive cycle naming the
// source, and the ordinary tail. The receiver's mux time waits in word 1 until
// the receive cycle is known.
class OrdinaryRows {
 public:
  explicit OrdinaryRows(std::uint32_t count) noexcept : count_(count) {}

  std::int32_t scan(ExchangeRow& row, std::uint32_t source, std::uint32_t tile) const noexcept {
    const std::int32_t mux = detail::time_to_mux(source, tile);
    const auto tail = ordinary_receiver_tail(count_, receiver_phase(tile), multicast_tail_address);
    row = {sync_word, static_cast<std::uint32_t>(mux), tail[0], tail[1], tail[2], tail[3]};
    return mux;
  }
  static std::int32_t local_mux(const ExchangeRow& row) noexcept {
    return static_cast<std::int32_t>(row[1]);
  }
  std::uint32_t send_direction(std::uint32_t source, std::uint32_t first_receiver) const noexcept {
    return single_ ? detail::direction(source, first_receiver) : multicast_direction;
  }
  static std::optional<ScheduleReason> lay(ExchangeRow& row, std::uint32_t source, std::uint32_t,
                                           std::uint32_t receive_cycle) noexcept {
    row[1] = delay_xpic(receive_cycle, 0, source);
    return std::nullopt;
  }

  void set_single(bool single) noexcept { single_ = single; }

 private:
  std::uint32_t count_;
  bool single_ = false;
};

}  // namespace

std::expected<void, ExchangeError> Topology::multicast_into(
    MulticastPlan& plan, std::uint16_t sender_logical,
    std::span<const std::uint16_t> receiver_logical, std::uint32_t count,
    std::uint32_t schedule_offset) const {
  plan.sender = {};
  plan.receivers.clear();
  if (auto valid = validate_count(count); !valid) return std::unexpected(valid.error());
  OrdinaryRows rows(count);
  rows.set_single(receiver_logical.size() == 1);
  return detail::plan_multicast(plan, logical_to_physical_, sender_logical, receiver_logical, count,
                                schedule_offset, false, rows);
}

}  // namespace zerin::exchange
