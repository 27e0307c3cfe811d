/// @file
/// The board's logical-to-physical tile map, and the planners that run on it.
///
/// Callers name tiles by logical number; exchange timing depends on the physical
/// position number. A `Topology` is built once and is immutable afterwards, so any
/// number of threads may call its const members concurrently.
#ifndef ZERIN_EXCHANGE_TOPOLOGY_HPP
#define ZERIN_EXCHANGE_TOPOLOGY_HPP

#include "zerin/exchange/export.hpp"

#include <cstddef>
#include <cstdint>
#include <expected>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/plans.hpp"

namespace zerin::exchange {

/// Number of tiles of the r470 board model.
inline constexpr std::uint16_t r470_tile_count = 1472;

/// Physical number of one logical tile of the r470 model. Pure and total: every
/// 16-bit input gives a result without overflow (the largest is 4255), but only
/// 0..1471 are tiles of the model. Logical pairs 2k, 2k+1 differ only in bit 1.
ZERIN_EXCHANGE_API std::uint16_t r470_logical_to_physical(std::uint16_t logical) noexcept;

/// A board's logical-to-physical tile map and the planners that run on it.
/// Immutable after construction: any number of threads may call its const
/// members at once.
class ZERIN_EXCHANGE_API Topology {
 public:
  /// The r470 board: logical tiles 0..1471, a permutation of physical 0..1471.
  static Topology r470();

  /// A topology over any table (index = logical tile, value = physical tile); for
  /// other board models and for tests.
  explicit Topology(std::vector<std::uint16_t> logical_to_physical);

  /// Number of logical tiles.
  std::size_t size() const noexcept { return logical_to_physical_.size(); }
  /// The whole table, indexed by logical tile.
  std::span<const std::uint16_t> logical_to_physical() const noexcept {
    return logical_to_physical_;
  }

  /// Physical tile of `logical`. Error: `Tile(logical)` if `logical` is not below size().
  std::expected<std::uint16_t, ExchangeError> physical(std::uint16_t logical) const noexcept {
    if (logical >= logical_to_physical_.size())
      return std::unexpected(ExchangeError::Tile{logical});
    return logical_to_physical_[logical];
  }

  /// The logical tile forming a 64-bit pair with `logical`: the first logical tile
  /// whose physical number equals physical(logical) XOR 2. For r470 that is
  /// `logical ^ 1`. Errors: `Tile(logical)` when `logical` is not a tile or has no
  /// partner. Throws InternalFault("logical tile count fits u16") if the partner's
  /// index does not fit 16 bits (impossible for tables of at most 65536 entries).
  std::expected<std::uint16_t, ExchangeError> paired_logical(std::uint16_t logical) const;

  /// Plans `count` words from `sender_logical` to `receiver_logical`: the sender's
  /// data reaches the receiver's mux at cycle 112 of both rows. The sender row is
  /// primitive_sender_row(); the receiver row starts with the value 1
  /// (0x00000001), then the sync word, an XPIC delay of 113 cycles and the
  /// ordinary receiver tail.
  /// Errors, in this order: Count(count) (outside 1..=4148); DuplicateTile (equal
  /// endpoints, checked before any lookup); Tile(sender_logical);
  /// Tile(receiver_logical); Schedule SenderDelay (111 - mux time outside
  /// -1..=0x7FFFF; cannot happen on r470); Schedule ReceiverPhase (the receiver's
  /// tail cannot be encoded; cannot happen on r470).
  /// On success offers one debug diagnostic event "assembled point-to-point exchange".
  std::expected<Plan, ExchangeError> point_to_point(std::uint16_t sender_logical,
                                                    std::uint16_t receiver_logical,
                                                    std::uint32_t count) const;

  /// Plans one send of `count` words that every tile of `receiver_logical` takes
  /// off, all rows timed against one start cycle (the earliest with no receive
  /// cycle before 0, plus `schedule_offset`). Receiver rows come back in input order.
  /// Errors, in this order: Count; Tile(sender_logical); ReceiverSet (empty list,
  /// the sender alone, a duplicate, or a receiver that is not a tile, whichever the
  /// walk meets first); Schedule MulticastStartCycle (start above 4095 or
  /// overflowing); Schedule MulticastSourceTile (the sender's physical tile does
  /// not fit the 13-bit XPIC control; cannot happen on r470); then, for the first
  /// receiver in list order that fails, Schedule MulticastReceiveCycle (its
  /// receive cycle passes 4095) or Schedule ReceiverPhase (its tail cannot be
  /// encoded; cannot happen on r470).
  /// On success offers one debug diagnostic event "assembled multicast exchange".
  std::expected<MulticastPlan, ExchangeError> multicast(
      std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
      std::uint32_t count, std::uint32_t schedule_offset) const;

  /// As multicast(), but builds into `plan`, reusing the capacity of its receiver
  /// vector (no allocation once it is large enough). On failure `plan` holds an
  /// empty receiver vector and an all-zero sender row.
  std::expected<void, ExchangeError> multicast_into(MulticastPlan& plan,
                                                    std::uint16_t sender_logical,
                                                    std::span<const std::uint16_t> receiver_logical,
                                                    std::uint32_t count,
                                                    std::uint32_t schedule_offset) const;

  /// Plans a paired (64-bit) multicast to receivers that come in partner pairs
  /// (partners need not be adjacent). The sender row is multicast()'s at offset 0
  /// with its send control set to direction|4 (two receivers, sender not among
  /// them) or 7; every receiver row is paired_receiver_row().
  /// Errors, in this order: Count; ReceiverSet (empty or odd list, a duplicate, a
  /// receiver without partner or whose partner is not listed); any multicast()
  /// error; the first paired_receiver_row() error. (The send control is laid with
  /// the sender row's one send word, so set_sender_control()'s errors never arise.)
  /// The multicast diagnostic event stays emitted even when a later step fails.
  std::expected<MulticastPlan, ExchangeError> paired_multicast(
      std::uint16_t sender_logical, std::span<const std::uint16_t> receivers,
      std::uint32_t count) const;

  /// As paired_multicast(), building into `plan` (see multicast_into()).
  std::expected<void, ExchangeError> paired_multicast_into(MulticastPlan& plan,
                                                           std::uint16_t sender_logical,
                                                           std::span<const std::uint16_t> receivers,
                                                           std::uint32_t count) const;

  /// The receiver row of one receiver of a paired multicast, planned from up to
  /// five timed receive events. `minimum_double_mux` is the smallest
  /// paired_time_to_mux() from the sender to any receiver of the transfer.
  /// Errors, in this order: Tile (sender's first, then receiver's); Schedule
  /// PairedSourceTiming; Schedule PairedSourceTile (the sender's lane does not fit
  /// the XPIC control; cannot happen on r470); Schedule
  /// PairedReceiveCoincidentControls; Schedule PairedReceiveHorizonOverflow;
  /// validate_receive_events() and append_receive_events() errors; Schedule
  /// PairedReceiveRowCapacity (more than 9 words). Throws InternalFault on an unnamed overflow
  /// of the event cycles (unreachable with r470 tiles, counts up to 4148 and a
  /// minimum_double_mux that is a real mux time).
  std::expected<ExchangeRow, ExchangeError> paired_receiver_row(
      std::uint16_t sender_logical, std::uint16_t receiver_logical, std::uint32_t count,
      std::int32_t minimum_double_mux) const;

  /// Whether the sender's data reaches the receiver's mux strictly before the mux
  /// of its physical partner (physical ^ 2, computed, not looked up). Note the
  /// argument order: receiver first. Errors: Tile(receiver_logical), then
  /// Tile(sender_logical).
  std::expected<bool, ExchangeError> paired_receiver_is_early(std::uint16_t receiver_logical,
                                                              std::uint16_t sender_logical) const;

 private:
  std::vector<std::uint16_t> logical_to_physical_;
  /// Per logical tile, the index paired_logical() finds (the first logical tile
  /// on the partner's physical number), or no_partner. Filled once at
  /// construction so that paired planning does not rescan the table per call.
  static constexpr std::size_t no_partner = static_cast<std::size_t>(-1);
  std::vector<std::size_t> partner_;

  /// paired_logical() without its error value: nothing when `logical` is not a
  /// tile or has no partner.
  std::optional<std::uint16_t> partner_of(std::uint16_t logical) const {
    if (logical >= partner_.size()) return std::nullopt;
    const std::size_t partner = partner_[logical];
    if (partner == no_partner) return std::nullopt;
    if (partner > std::numeric_limits<std::uint16_t>::max()) {
      throw InternalFault("logical tile count fits u16");
    }
    return static_cast<std::uint16_t>(partner);
  }
};

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_TOPOLOGY_HPP
