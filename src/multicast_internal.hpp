// The multicast step that ordinary and paired multicast planning share: the
// receiver walk, the start cycle, the sender row, each receiver's receive cycle
// and its row, and the diagnostic event.
#ifndef ZERIN_EXCHANGE_SRC_MULTICAST_INTERNAL_HPP
#define ZERIN_EXCHANGE_SRC_MULTICAST_INTERNAL_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <limits>
#include <optional>
#include <span>

#include "diagnostics_internal.hpp"
#include "routing_formulas.hpp"
#include "schedule_error.hpp"
#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/plans.hpp"
#include "zerin/exchange/rows.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::exchange::detail {

// Membership of a list of logical tiles. Short lists are scanned; longer ones
// are marked in a bitmap on the stack with a bit per 16-bit tile number, of
// which only the words the list touches are cleared (a second, small bitmap
// says which), so no call clears more than its list needs.
class ListedTiles {
 public:
  explicit ListedTiles(std::span<const std::uint16_t> tiles) noexcept : tiles_(tiles) {
    if (tiles.size() <= scan_limit) {
      for (std::size_t i = 1; i < tiles.size() && !duplicate_; ++i) {
        for (std::size_t j = 0; j < i; ++j) duplicate_ = duplicate_ || tiles[j] == tiles[i];
      }
      return;
    }
    touched_.fill(0);
    for (const std::uint16_t tile : tiles) {
      const std::uint64_t word_bit = std::uint64_t{1} << (tile / 64 % 64);
      if ((touched_[tile / 4096] & word_bit) == 0) {
        touched_[tile / 4096] |= word_bit;
        words_[tile / 64] = 0;
      }
    }
    for (const std::uint16_t tile : tiles) {
      const std::uint64_t bit = std::uint64_t{1} << (tile % 64);
      duplicate_ = duplicate_ || (words_[tile / 64] & bit) != 0;
      words_[tile / 64] |= bit;
    }
  }
  ListedTiles(const ListedTiles&) = delete;
  ListedTiles& operator=(const ListedTiles&) = delete;

  // Whether some tile occurs twice in the list.
  bool has_duplicate() const noexcept { return duplicate_; }
  // Whether `tile` is listed.
  bool contains(std::uint16_t tile) const noexcept {
    if (tiles_.size() <= scan_limit) {
      for (const std::uint16_t listed : tiles_) {
        if (listed == tile) return true;
      }
      return false;
    }
    return (touched_[tile / 4096] >> (tile / 64 % 64) & 1u) != 0 &&
           (words_[tile / 64] >> (tile % 64) & 1u) != 0;
  }

 private:
  static constexpr std::size_t scan_limit = 8;
  static constexpr std::size_t word_count = (std::numeric_limits<std::uint16_t>::max() + 1) / 64;
  std::span<const std::uint16_t> tiles_;
  // Left uninitialised: only the words marked in touched_ are cleared and read.
  std::array<std::uint64_t, word_count> words_;
  std::array<std::uint64_t, word_count / 64> touched_;
  bool duplicate_ = false;
};

// Every start and receive cycle of a multicast lies within 0..4095.
inline constexpr std::uint32_t last_multicast_cycle = 0xFFF;

// Offers the debug event of a multicast (out of line: it is built only for a sink).
void offer_multicast_event_to_sink(std::uint16_t sender_logical,
                                   std::span<const std::uint16_t> receiver_logical,
                                   std::uint32_t count, std::uint32_t schedule_offset);

// How one kind of multicast lays its receiver rows. `Rows` provides:
//   std::int32_t scan(ExchangeRow& row, std::uint32_t source, std::uint32_t tile):
//     the receiver's own mux time; may start the row (it stays in the plan);
//   std::int32_t local_mux(const ExchangeRow& row): that mux time again;
//   std::uint32_t send_direction(std::uint32_t source, std::uint32_t first_receiver);
//   std::optional<ScheduleReason> lay(ExchangeRow& row, std::uint32_t source,
//                                     std::uint32_t tile, std::uint32_t receive_cycle):
//     finishes the row, or says why it cannot; the first such Schedule error is
//     returned once every receive cycle has passed, as a check that comes after
//     the whole multicast.
//
// Plans into `plan` (its receiver vector is reused). Errors, in this order:
// Tile(sender); ReceiverSet (empty list, the sender alone, a receiver that is
// not a tile, a duplicate; the last is skipped when `receivers_checked`);
// MulticastStartCycle; MulticastSourceTile; for the first receiver that fails,
// MulticastReceiveCycle or ReceiverPhase; then the first error of Rows::lay.
// The diagnostic event is offered once every receive cycle has passed. On
// failure `plan` holds an all-zero sender row and no receiver rows.
template <class Rows>
std::expected<void, ExchangeError> plan_multicast(
    MulticastPlan& plan, std::span<const std::uint16_t> table, std::uint16_t sender_logical,
    std::span<const std::uint16_t> receivers, std::uint32_t count, std::uint32_t schedule_offset,
    bool receivers_checked, Rows& rows) {
  plan.sender = {};
  plan.receivers.clear();
  auto fail = [&plan](const ExchangeError& error) {
    plan.sender = {};
    plan.receivers.clear();
    return std::unexpected(error);
  };
  if (sender_logical >= table.size()) return fail(ExchangeError::Tile{sender_logical});
  const std::uint32_t source = table[sender_logical];

  // Receiver set: not empty, not the sender alone, every entry a tile, no
  // duplicate. The sender itself may be one of two or more receivers.
  const ExchangeError receiver_set = ExchangeError::ReceiverSet{};
  if (receivers.empty() || (receivers.size() == 1 && receivers[0] == sender_logical)) {
    return fail(receiver_set);
  }
  plan.receivers.reserve(receivers.size());
  std::int32_t minimum_mux = std::numeric_limits<std::int32_t>::max();
  for (const std::uint16_t receiver : receivers) {
    if (receiver >= table.size()) return fail(receiver_set);
    minimum_mux =
        std::min(minimum_mux, rows.scan(plan.receivers.emplace_back(), source, table[receiver]));
  }
  if (!receivers_checked && ListedTiles(receivers).has_duplicate()) return fail(receiver_set);

  // The start: the earliest at which no receiver's mux cycle falls before cycle
  // 0, plus the offset.
  if (minimum_mux == std::numeric_limits<std::int32_t>::min()) {
    throw InternalFault("multicast minimum mux time negates");
  }
  const std::uint32_t natural_start =
      minimum_mux < 0 ? static_cast<std::uint32_t>(-minimum_mux) : 0;
  std::uint32_t start = 0;
  if (__builtin_add_overflow(natural_start, schedule_offset, &start) ||
      start > last_multicast_cycle) {
    return fail(ExchangeError::schedule(ScheduleReason::MulticastStartCycle));
  }
  // Every receiver's XPIC word names the source tile; it must fit the control field.
  if (!word_format::xpic_delay.field("control").fits(source)) {
    return fail(ExchangeError::schedule(ScheduleReason::MulticastSourceTile));
  }
  if (auto laid = primitive_sender_row_into(plan.sender, count,
                                            rows.send_direction(source, table[receivers[0]]),
                                            static_cast<std::int32_t>(start) - 1);
      !laid) {
    return fail(laid.error());
  }

  std::optional<ScheduleReason> row_error;
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    ExchangeRow& row = plan.receivers[i];
    const std::uint32_t tile = table[receivers[i]];
    // Start and mux times are within -4096..4096: the sum cannot overflow.
    const std::int32_t receive_cycle = static_cast<std::int32_t>(start) + rows.local_mux(row);
    if (receive_cycle < 0 || receive_cycle > static_cast<std::int32_t>(last_multicast_cycle)) {
      return fail(ExchangeError::schedule(ScheduleReason::MulticastReceiveCycle));
    }
    if (!ordinary_receiver_tail_fits(count, receiver_phase(tile))) {
      return fail(ExchangeError::schedule(ScheduleReason::ReceiverPhase));
    }
    if (const auto failure = rows.lay(row, source, tile, static_cast<std::uint32_t>(receive_cycle));
        failure && !row_error) {
      row_error = failure;
    }
  }
  if (diagnostic_sink_present.load(std::memory_order_relaxed)) [[unlikely]] {
    offer_multicast_event_to_sink(sender_logical, receivers, count, schedule_offset);
  }
  if (row_error) return fail(ExchangeError::schedule(*row_error));
  return {};
}

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_MULTICAST_INTERNAL_HPP
