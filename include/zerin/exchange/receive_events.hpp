/// @file
/// Timed receive events: control changes on the receiving side of a transfer.
///
/// Each event is a PIC or XPIC delay word that must complete at a given cycle of
/// the receiving row's clock. Two events at one cycle can share one (SENDPICP)
/// instruction only when a `Pointer` event meets an ordinary XPIC event.
///
/// Thread-safety: plain values and pure functions.
#ifndef ZERIN_EXCHANGE_RECEIVE_EVENTS_HPP
#define ZERIN_EXCHANGE_RECEIVE_EVENTS_HPP

#include "zerin/exchange/export.hpp"

#include <cstdint>
#include <expected>
#include <span>

#include "zerin/exchange/errors.hpp"

namespace zerin::exchange {

/// What a receive control is for. Values are fixed: 0..3 drive the XPIC stream,
/// 4..6 the PIC stream.
enum class ReceiveEventKind : std::uint8_t {
  OrdinarySource = 0,
  OrdinaryNeutral = 1,
  PairedSource = 2,
  PairedNeutral = 3,
  PairedPointer = 4,
  Pointer = 5,
  Format = 6,
};

/// True for PairedPointer, Pointer and Format (the PIC stream).
constexpr bool is_pic(ReceiveEventKind kind) noexcept {
  return kind == ReceiveEventKind::PairedPointer || kind == ReceiveEventKind::Pointer ||
         kind == ReceiveEventKind::Format;
}
/// True for OrdinarySource, OrdinaryNeutral, PairedSource and PairedNeutral (the XPIC stream).
constexpr bool is_xpic(ReceiveEventKind kind) noexcept {
  return kind == ReceiveEventKind::OrdinarySource || kind == ReceiveEventKind::OrdinaryNeutral ||
         kind == ReceiveEventKind::PairedSource || kind == ReceiveEventKind::PairedNeutral;
}

/// The two styles of receive. Shared vocabulary; no operation takes it.
enum class ReceiveMode : std::uint8_t { Ordinary = 0, Paired64 = 1 };

/// One timed control: `instruction` (a PIC or XPIC delay word built with advance 0)
/// must complete at `cycles` of the receiving row's clock.
struct ReceiveEvent {
  std::uint32_t cycles = 0;       ///< Cycle of the row's clock at which the control takes effect.
  std::uint32_t instruction = 0;  ///< The PIC or XPIC delay word, built with advance 0.
  ReceiveEventKind kind = ReceiveEventKind::OrdinarySource;  ///< What the control is for.
  /// Member-wise equality.
  friend bool operator==(const ReceiveEvent&, const ReceiveEvent&) = default;
};

/// Whether two events may become one SENDPICP instruction: same cycle, and one is
/// a Pointer while the other is OrdinarySource or OrdinaryNeutral (either order).
constexpr bool receive_events_can_share_instruction(ReceiveEvent left,
                                                    ReceiveEvent right) noexcept {
  if (left.cycles != right.cycles) return false;
  auto ordinary_pair = [](ReceiveEventKind pic, ReceiveEventKind xpic) {
    return pic == ReceiveEventKind::Pointer &&
           (xpic == ReceiveEventKind::OrdinarySource || xpic == ReceiveEventKind::OrdinaryNeutral);
  };
  return ordinary_pair(left.kind, right.kind) || ordinary_pair(right.kind, left.kind);
}

/// Length of the group starting at `events[cursor]`: it and every following
/// neighbour with the same cycle. Emission and validation share this grouping.
constexpr std::size_t receive_event_group_size(std::span<const ReceiveEvent> events,
                                               std::size_t cursor) noexcept {
  std::size_t end = cursor + 1;
  while (end < events.size() && events[end].cycles == events[cursor].cycles) ++end;
  return end - cursor;
}

/// Checks every group of neighbours at one cycle: a group of three or more, or a
/// pair that may not share an instruction, fails with Schedule "incompatible
/// simultaneous receive controls". Order of cycles is not checked here.
constexpr std::expected<void, ExchangeError> validate_receive_events(
    std::span<const ReceiveEvent> events) noexcept {
  std::size_t cursor = 0;
  while (cursor < events.size()) {
    const std::size_t size = receive_event_group_size(events, cursor);
    if (size > 2 ||
        (size == 2 && !receive_events_can_share_instruction(events[cursor], events[cursor + 1]))) {
      return std::unexpected(
          ExchangeError::schedule(ScheduleReason::IncompatibleSimultaneousReceiveControls));
    }
    cursor += size;
  }
  return {};
}

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_RECEIVE_EVENTS_HPP
