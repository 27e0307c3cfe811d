// Paired (64-bit) multicast: receiver earliness, paired receiver rows, paired plans.
#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "multicast_internal.hpp"
#include "routing_formulas.hpp"
#include "schedule_error.hpp"
#include "zerin/exchange/emission.hpp"
#include "zerin/exchange/receive_events.hpp"
#include "zerin/exchange/rows.hpp"
#include "zerin/exchange/topology.hpp"

namespace zerin::exchange {
namespace {

using detail::schedule_error;

// The first format control follows the source selection by the receive lead
// (51 cycles) plus the receiver's phase; the pointer control two cycles after it.
constexpr std::uint32_t pointer_lag_cycles = 2;
// The row's programme ends this long after its last event.
constexpr std::uint32_t horizon_lag_cycles = 7;
// Send control when the sender is one of two receivers, or with four or more.
constexpr std::uint32_t broadcast_send_control = 7;
// OR-ed into the route direction for a two-receiver paired send.
constexpr std::uint32_t paired_route_send_control = 4;
// A paired row holds at most five events: source, neutral and three PIC controls.
constexpr std::size_t maximum_paired_events = 5;

// Sums that the paired planner's arguments keep in range; passing the range is a
// broken invariant, not a planning error.
std::uint32_t checked_add(std::uint32_t augend, std::uint32_t addend) {
  std::uint32_t sum = 0;
  if (__builtin_add_overflow(augend, addend, &sum)) {
    throw InternalFault("paired receive event cycle overflows");
  }
  return sum;
}

// The reason of an emission error; emission fails only with Schedule errors.
ScheduleReason schedule_reason(const ExchangeError& error) {
  const auto* schedule = error.get_if<ExchangeError::Schedule>();
  if (schedule == nullptr) throw InternalFault("paired receive emission error is a Schedule error");
  return schedule->reason;
}

// Lays into `row` the receiver row of paired_receiver_row() between two physical
// tiles whose mux times `mux` (paired_mux_times(sender, receiver)) are known:
// the row's receive events, ordered by cycle, laid by the emission engine.
// `row` is laid over; on failure it holds what was laid before the error.
// Every way it fails is a Schedule error, so it gives back only the reason
// (none when the row is laid): one byte in a register for the callers to wrap.
std::optional<ScheduleReason> lay_paired_receiver_row(ExchangeRow& row, std::uint32_t sender,
                                                      std::uint32_t receiver, std::uint32_t count,
                                                      std::int32_t minimum_double_mux,
                                                      detail::PairedMuxTimes mux) {
  // Shift the transfer so that its earliest source event falls at cycle 1 or later.
  std::int32_t epoch_shift = 0;
  if (__builtin_sub_overflow(1, minimum_double_mux, &epoch_shift)) {
    throw InternalFault("paired receive epoch shift overflows");
  }
  epoch_shift = std::max(epoch_shift, 0);
  std::int32_t source_signed = 0;
  if (__builtin_add_overflow(epoch_shift, mux.paired(), &source_signed)) {
    throw InternalFault("paired receive source event overflows");
  }
  if (source_signed < 0) return ScheduleReason::PairedSourceTiming;
  const auto source_event = static_cast<std::uint32_t>(source_signed);
  const std::uint32_t format_start =
      checked_add(checked_add(source_event, receive_lead_cycles), receiver_phase(receiver));

  // An early receiver selects the sender's lane, and deselects it once the data
  // is in. The format controls open and close the data; the pointer control
  // comes two cycles into it. The events are listed in the order in which they
  // fall unless the transfer is short, so the sort below has little to do.
  const bool early = mux.early();
  const std::uint32_t source_lane = sender ^ (receiver & detail::physical_partner_bit);
  if (early && !word_format::xpic_delay.field("control").fits(source_lane)) {
    return ScheduleReason::PairedSourceTile;
  }
  std::array<ReceiveEvent, maximum_paired_events> storage{};
  std::size_t size = 0;
  if (early) {
    storage[size++] = {source_event, delay_xpic(0, 1, source_lane), ReceiveEventKind::PairedSource};
  }
  storage[size++] = {format_start, delay_pic(0, 1, detail::direction(sender, receiver)),
                     ReceiveEventKind::Format};
  storage[size++] = {checked_add(format_start, pointer_lag_cycles), delay_pic(0, 0, 0),
                     ReceiveEventKind::PairedPointer};
  if (early) {
    storage[size++] = {checked_add(source_event, count), delay_xpic(0, 1, neutral_xpic_control),
                       ReceiveEventKind::PairedNeutral};
  }
  storage[size++] = {checked_add(format_start, count), delay_pic(0, 1, 0),
                     ReceiveEventKind::Format};
  const std::span<ReceiveEvent> events(storage.data(), size);

  // In cycle order, events of one cycle kept as listed (an insertion sort is
  // stable and allocation-free).
  for (std::size_t i = 1; i < events.size(); ++i) {
    for (std::size_t j = i; j > 0 && events[j].cycles < events[j - 1].cycles; --j) {
      std::swap(events[j], events[j - 1]);
    }
  }
  // No two controls of a paired row may share an instruction. With every event
  // alone at its cycle, the groups are single events and pass
  // validate_receive_events() as they stand.
  for (std::size_t i = 1; i < events.size(); ++i) {
    if (events[i].cycles == events[i - 1].cycles) {
      return ScheduleReason::PairedReceiveCoincidentControls;
    }
  }
  std::uint32_t horizon = 0;
  if (__builtin_add_overflow(events.back().cycles, horizon_lag_cycles, &horizon)) {
    return ScheduleReason::PairedReceiveHorizonOverflow;
  }

  row = {};
  BoundedRowWords<row_length> words(row);
  words.push_back(sync_word);
  std::uint32_t cycles = 0;
  if (auto laid = append_receive_events(words, cycles, events, horizon, false); !laid) {
    return schedule_reason(laid.error());
  }
  words.push_back(return_word);
  if (words.overflowed()) return ScheduleReason::PairedReceiveRowCapacity;
  return std::nullopt;
}

// Paired receiver rows for plan_multicast(). Both mux times of a receiver wait
// in words 0 and 1 of its row until the row is laid.
class PairedRows {
 public:
  PairedRows(std::uint32_t count, std::uint32_t send_control) noexcept
      : count_(count), send_control_(send_control) {}

  std::int32_t scan(ExchangeRow& row, std::uint32_t source, std::uint32_t tile) noexcept {
    const detail::PairedMuxTimes mux = detail::paired_mux_times(source, tile);
    minimum_double_mux_ = std::min(minimum_double_mux_, mux.paired());
    row[0] = static_cast<std::uint32_t>(mux.local);
    row[1] = static_cast<std::uint32_t>(mux.partner);
    return mux.local;
  }
  static std::int32_t local_mux(const ExchangeRow& row) noexcept {
    return static_cast<std::int32_t>(row[0]);
  }
  std::uint32_t send_direction(std::uint32_t, std::uint32_t) const noexcept {
    return send_control_;
  }
  std::optional<ScheduleReason> lay(ExchangeRow& row, std::uint32_t source, std::uint32_t tile,
                                    std::uint32_t) const {
    const detail::PairedMuxTimes mux{local_mux(row), static_cast<std::int32_t>(row[1])};
    return lay_paired_receiver_row(row, source, tile, count_, minimum_double_mux_, mux);
  }

 private:
  std::uint32_t count_;
  std::uint32_t send_control_;
  std::int32_t minimum_double_mux_ = std::numeric_limits<std::int32_t>::max();
};

}  // namespace

std::expected<bool, ExchangeError> Topology::paired_receiver_is_early(
    std::uint16_t receiver_logical, std::uint16_t sender_logical) const {
  const auto receiver = physical(receiver_logical);
  if (!receiver) return std::unexpected(receiver.error());
  const auto sender = physical(sender_logical);
  if (!sender) return std::unexpected(sender.error());
  return detail::paired_mux_times(*sender, *receiver).early();
}

std::expected<ExchangeRow, ExchangeError> Topology::paired_receiver_row(
    std::uint16_t sender_logical, std::uint16_t receiver_logical, std::uint32_t count,
    std::int32_t minimum_double_mux) const {
  const auto sender = physical(sender_logical);
  if (!sender) return std::unexpected(sender.error());
  const auto receiver = physical(receiver_logical);
  if (!receiver) return std::unexpected(receiver.error());
  ExchangeRow row{};
  if (const auto failure =
          lay_paired_receiver_row(row, *sender, *receiver, count, minimum_double_mux,
                                  detail::paired_mux_times(*sender, *receiver))) {
    return schedule_error(*failure);
  }
  return row;
}

std::expected<MulticastPlan, ExchangeError> Topology::paired_multicast(
    std::uint16_t sender_logical, std::span<const std::uint16_t> receivers,
    std::uint32_t count) const {
  MulticastPlan plan;
  auto planned = paired_multicast_into(plan, sender_logical, receivers, count);
  if (!planned) return std::unexpected(planned.error());
  return plan;
}

std::expected<void, ExchangeError> Topology::paired_multicast_into(
    MulticastPlan& plan, std::uint16_t sender_logical, std::span<const std::uint16_t> receivers,
    std::uint32_t count) const {
  plan.sender = {};
  plan.receivers.clear();
  if (auto valid = validate_count(count); !valid) return std::unexpected(valid.error());
  // Receivers come in complete partner pairs, each tile once.
  const auto receiver_set_error = std::unexpected(ExchangeError::ReceiverSet{});
  if (receivers.empty() || receivers.size() % 2 != 0) return receiver_set_error;
  const detail::ListedTiles listed(receivers);
  if (listed.has_duplicate()) return receiver_set_error;
  for (const std::uint16_t receiver : receivers) {
    const auto partner = partner_of(receiver);
    if (!partner || !listed.contains(*partner)) return receiver_set_error;
  }

  // The send control: the route to two receivers that leave out the sender, a
  // broadcast otherwise. It is laid with the sender row's send and send-off
  // words, which is all set_sender_control() would rewrite.
  std::uint32_t send_control = broadcast_send_control;
  if (receivers.size() == 2 && receivers[0] != sender_logical && receivers[1] != sender_logical &&
      sender_logical < size()) {
    send_control = detail::direction(logical_to_physical_[sender_logical],
                                     logical_to_physical_[receivers[0]]) |
                   paired_route_send_control;
  }
  PairedRows rows(count, send_control);
  return detail::plan_multicast(plan, logical_to_physical_, sender_logical, receivers, count, 0,
                                true, rows);
}

}  // namespace zerin::exchange
