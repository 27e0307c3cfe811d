// Paired (64-bit) multicast: receiver earliness, paired receiver rows, paired plans.
#include <algorithm>
#include <array>
#include <limits>

#include "listed_tiles.hpp"
#include "multicast_internal.hpp"
#include "routing_formulas.hpp"
#include "rows_internal.hpp"
#include "schedule_error.hpp"
#include "zerin/exchange/emission.hpp"
#include "zerin/exchange/receive_events.hpp"
#include "zerin/exchange/topology.hpp"

namespace zerin::exchange {
namespace {

// The first format control follows the source selection by the receive lead
// (51 cycles) plus the receiver's phase; the pointer control two cycles after it.
constexpr std::uint32_t format_lead_cycles = detail::receive_lead_cycles;
constexpr std::uint32_t pointer_lag_cycles = 2;
// The paired source is deselected with the ordinary receiver's neutral control.
using detail::neutral_xpic_control;
// The row's programme ends this long after its last event.
constexpr std::uint32_t horizon_lag_cycles = 7;
// Send control when the sender is one of two receivers, or with four or more.
constexpr std::uint32_t broadcast_send_control = 7;
// OR-ed into the route direction for a two-receiver paired send.
constexpr std::uint32_t paired_route_send_control = 4;

using detail::schedule_error;

// Sums that the paired planner's arguments keep in range; passing the range is a
// broken invariant, not a planning error.
std::uint32_t checked_add(std::uint32_t a, std::uint32_t b) {
  std::uint32_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum))
    throw InternalFault("paired receive event cycle overflows");
  return sum;
}

}  // namespace

std::expected<bool, ExchangeError> Topology::paired_receiver_is_early(
    std::uint16_t receiver_logical, std::uint16_t sender_logical) const {
  const auto receiver = physical(receiver_logical);
  if (!receiver) return std::unexpected(receiver.error());
  const auto sender = physical(sender_logical);
  if (!sender) return std::unexpected(sender.error());
  return detail::paired_mux_times(*sender, *receiver).early();
}

namespace {

// A word sink laid straight over a row: it keeps the first row_length words and
// goes on counting past them, as BoundedRowWords does, without a copy after.
class RowWordsInPlace {
 public:
  explicit RowWordsInPlace(ExchangeRow& row) noexcept : row_(row) {}
  std::size_t size() const noexcept { return size_; }
  void push_back(std::uint32_t word) noexcept {
    if (size_ < row_length) row_[size_] = word;
    ++size_;
  }
  bool overflowed() const noexcept { return size_ > row_length; }

 private:
  ExchangeRow& row_;
  std::size_t size_ = 0;
};

// Builds into `row` the receiver row of paired_receiver_row() between two
// physical tiles whose mux times `mux` (paired_mux_times(sender, receiver)) are
// already known. `row` must be all zero on entry (the words after the return
// word stay so); on failure it holds whatever was laid before it.
[[gnu::flatten]] std::expected<void, ExchangeError> paired_receiver_row_into(
    ExchangeRow& row, std::uint32_t sender, std::uint32_t receiver, std::uint32_t count,
    std::int32_t minimum_double_mux, detail::PairedMuxTimes mux) {
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
  if (source_signed < 0) return schedule_error(ScheduleReason::PairedSourceTiming);
  const std::uint32_t source_event = static_cast<std::uint32_t>(source_signed);
  const std::uint32_t format_start =
      checked_add(checked_add(source_event, format_lead_cycles), detail::receiver_phase(receiver));

  // The source selection and its neutral control, when this receiver is early.
  const bool early = mux.early();
  ReceiveEvent source{};
  ReceiveEvent neutral{};
  if (early) {
    // The source selection names the sender's lane; it must fit the control field.
    const std::uint32_t source_lane = sender ^ (receiver & detail::physical_partner_bit);
    if (!word_format::XpicDelay::control.fits(source_lane)) {
      return schedule_error(ScheduleReason::PairedSourceTile);
    }
    source = {source_event, delay_xpic(0, 1, source_lane), ReceiveEventKind::PairedSource};
    neutral = {checked_add(source_event, count), delay_xpic(0, 1, neutral_xpic_control),
               ReceiveEventKind::PairedNeutral};
  }
  // The format controls that open and close the data, with the pointer control
  // two cycles into it; a single word closes before the pointer control is due.
  const ReceiveEvent opening{format_start, delay_pic(0, 1, detail::direction(sender, receiver)),
                             ReceiveEventKind::Format};
  const ReceiveEvent pointer{checked_add(format_start, pointer_lag_cycles), delay_pic(0, 0, 0),
                             ReceiveEventKind::PairedPointer};
  const ReceiveEvent closing{checked_add(format_start, count), delay_pic(0, 1, 0),
                             ReceiveEventKind::Format};

  // No two controls of a paired row may share an instruction. The opening
  // control comes a receive lead (51 cycles plus the phase) after the source
  // selection, and the neutral control `count` cycles after the source
  // selection and as long before the closing control; the pointer control is
  // never on the opening one. So the closing control can meet only the opening
  // one (no words) or the pointer (two words), and the neutral control only the
  // opening or the pointer control (on the source selection it would mean no
  // words, already refused). With every cycle distinct, each event stands alone
  // and validate_receive_events() has nothing left to refuse.
  if (closing.cycles == opening.cycles || closing.cycles == pointer.cycles ||
      (early && (neutral.cycles == opening.cycles || neutral.cycles == pointer.cycles))) {
    return schedule_error(ScheduleReason::PairedReceiveCoincidentControls);
  }
  const bool closes_first = closing.cycles < pointer.cycles;
  std::uint32_t horizon = 0;
  if (__builtin_add_overflow(closes_first ? pointer.cycles : closing.cycles, horizon_lag_cycles,
                             &horizon)) {
    return schedule_error(ScheduleReason::PairedReceiveHorizonOverflow);
  }

  // Emission in cycle order, one timed word per event: the source selection,
  // then the format controls with the neutral control before the first of them
  // it precedes. Every call lays an event whose word kind is known here, and the
  // function is flattened so that the emission's word-kind checks fold away.
  RowWordsInPlace words(row);
  words.push_back(sync_word);
  std::uint32_t cycles = 0;
  auto lay = [&](const ReceiveEvent& event) {
    return detail::append_lone_receive_event(words, cycles, event);
  };
  bool neutral_due = early;
  auto lay_format = [&](const ReceiveEvent& format) -> std::expected<void, ExchangeError> {
    if (neutral_due && neutral.cycles < format.cycles) {
      neutral_due = false;
      if (auto laid = lay(neutral); !laid) return laid;
    }
    return lay(format);
  };
  if (early) {
    if (auto laid = lay(source); !laid) return laid;
  }
  if (auto laid = lay_format(opening); !laid) return laid;
  // Copies, not references: each keeps a PIC word the compiler can see.
  const ReceiveEvent second = closes_first ? closing : pointer;
  const ReceiveEvent third = closes_first ? pointer : closing;
  if (auto laid = lay_format(second); !laid) return laid;
  if (auto laid = lay_format(third); !laid) return laid;
  if (auto laid = append_plain_delay(words, cycles, horizon); !laid) return laid;
  words.push_back(return_word);
  if (words.overflowed()) return schedule_error(ScheduleReason::PairedReceiveRowCapacity);
  return {};
}

}  // namespace

std::expected<ExchangeRow, ExchangeError> Topology::paired_receiver_row(
    std::uint16_t sender_logical, std::uint16_t receiver_logical, std::uint32_t count,
    std::int32_t minimum_double_mux) const {
  const auto sender = physical(sender_logical);
  if (!sender) return std::unexpected(sender.error());
  const auto receiver = physical(receiver_logical);
  if (!receiver) return std::unexpected(receiver.error());
  ExchangeRow row{};
  auto built = paired_receiver_row_into(row, *sender, *receiver, count, minimum_double_mux,
                                        detail::paired_mux_times(*sender, *receiver));
  if (!built) return std::unexpected(built.error());
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

namespace {

// The send control of a paired multicast's sender row: the route to two
// receivers that leave out the sender, a broadcast otherwise.
std::uint32_t paired_send_control(std::span<const std::uint16_t> receiver_logical,
                                  std::uint16_t sender_logical, std::uint32_t sender_physical,
                                  std::uint32_t first_receiver_physical) {
  if (receiver_logical.size() != 2 || receiver_logical[0] == sender_logical ||
      receiver_logical[1] == sender_logical) {
    return broadcast_send_control;
  }
  const std::uint32_t code =
      detail::direction(sender_physical, first_receiver_physical) | paired_route_send_control;
  if (!word_format::Send::direction.fits(code)) throw InternalFault("send control is three bits");
  return code;
}

}  // namespace

// Flattened so that the receiver rows are laid in this loop, not by calls.
[[gnu::flatten]] std::expected<void, ExchangeError> Topology::paired_multicast_into(
    MulticastPlan& plan, std::uint16_t sender_logical, std::span<const std::uint16_t> receivers,
    std::uint32_t count) const {
  plan.sender = {};
  plan.receivers.clear();
  if (auto valid = detail::validate_count(count); !valid) return std::unexpected(valid.error());
  // Receivers come in complete partner pairs, each tile once.
  const auto receiver_set_error = std::unexpected(ExchangeError::ReceiverSet{});
  if (receivers.empty() || receivers.size() % 2 != 0) return receiver_set_error;
  const detail::ListedTiles listed(receivers);
  if (listed.has_duplicate()) return receiver_set_error;
  for (const std::uint16_t receiver : receivers) {
    const auto partner = partner_of(receiver);
    if (!partner || !listed.contains(*partner)) return receiver_set_error;
  }

  // From here on, the checks of multicast() at offset 0, in its order; the list
  // has passed every receiver-set check it makes.
  const auto sender_tile = physical(sender_logical);
  if (!sender_tile) return std::unexpected(sender_tile.error());
  const std::uint32_t sender_physical = *sender_tile;
  // Both mux times of every receiver, kept for the first few. Every receiver's
  // partner is listed, so the earliest own mux time is also the earliest of all.
  auto tile_of = [&](std::size_t i) -> std::uint32_t { return logical_to_physical_[receivers[i]]; };
  std::array<detail::PairedMuxTimes, detail::remembered_mux_times> mux_times{};
  auto mux_times_of = [&](std::size_t i) {
    return i < mux_times.size() ? mux_times[i]
                                : detail::paired_mux_times(sender_physical, tile_of(i));
  };
  std::int32_t minimum_mux = std::numeric_limits<std::int32_t>::max();
  std::int32_t minimum_double_mux = std::numeric_limits<std::int32_t>::max();
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    const detail::PairedMuxTimes mux = detail::paired_mux_times(sender_physical, tile_of(i));
    if (i < mux_times.size()) mux_times[i] = mux;
    minimum_mux = std::min(minimum_mux, mux.local);
    minimum_double_mux = std::min(minimum_double_mux, mux.paired());
  }
  const auto start = detail::multicast_start(minimum_mux, 0, sender_physical);
  if (!start) return std::unexpected(start.error());
  // The sender row is laid with its paired send control: its one send word (and
  // send-off word) take it, which is all set_sender_control() would rewrite.
  const std::uint32_t send_control =
      paired_send_control(receivers, sender_logical, sender_physical, tile_of(0));
  auto fail = [&](const ExchangeError& error) {
    plan.sender = {};
    plan.receivers.clear();
    return std::unexpected(error);
  };
  if (auto laid = detail::lay_primitive_sender_row(plan.sender, count, send_control, *start - 1);
      !laid) {
    return fail(laid.error());
  }
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    if (auto cycle =
            detail::multicast_receive_cycle(*start, mux_times_of(i).local, tile_of(i), count);
        !cycle) {
      return fail(cycle.error());
    }
  }
  detail::offer_multicast_event(sender_logical, receivers, count, 0);

  for (std::size_t i = 0; i < receivers.size(); ++i) {
    ExchangeRow row{};
    auto built = paired_receiver_row_into(row, sender_physical, tile_of(i), count,
                                          minimum_double_mux, mux_times_of(i));
    if (!built) return fail(built.error());
    plan.receivers.push_back(row);
  }
  return {};
}

}  // namespace zerin::exchange
