// The one error type of the exchange planner, and the internal-fault exception.
//
// Every fallible operation of the library returns `std::expected<T, ExchangeError>`.
// Nothing fallible throws; a broken internal invariant (an overflow that has no
// named reason) throws `InternalFault`.
//
// Thread-safety: all types here are plain values; all functions are pure.
#ifndef ZERIN_EXCHANGE_ERRORS_HPP
#define ZERIN_EXCHANGE_ERRORS_HPP

#include <cstddef>
#include <cstdint>
#include <expected>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "zerin/exchange/export.hpp"

namespace zerin::exchange {

// Thrown when an invariant the planner relies on does not hold (for example an
// unnamed arithmetic overflow). Its `what()` is one of the library's fixed fault
// messages, such as "logical tile count fits u16".
class ZERIN_EXCHANGE_API InternalFault : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// The error value of every fallible operation: a tagged union of nine variants,
// declared in this order. A small value type: copied freely, owns nothing. The
// `Schedule` reason refers to fixed text with static storage duration.
class ExchangeError {
 public:
  // The work budget of the incremental encoder ran out.
  struct ValidationBudgetExceeded {
    friend bool operator==(const ValidationBudgetExceeded&,
                           const ValidationBudgetExceeded&) = default;
  };
  // A logical tile (the caller's number) is not in the topology.
  struct Tile {
    std::uint16_t tile;
    friend bool operator==(const Tile&, const Tile&) = default;
  };
  // The two endpoints of a point-to-point transfer are the same tile.
  struct DuplicateTile {
    friend bool operator==(const DuplicateTile&, const DuplicateTile&) = default;
  };
  // A transfer's word count is outside 1..=4148; carries the rejected count.
  struct Count {
    std::uint32_t count;
    friend bool operator==(const Count&, const Count&) = default;
  };
  // A multicast receiver set fails the planner's receiver-set checks.
  struct ReceiverSet {
    friend bool operator==(const ReceiverSet&, const ReceiverSet&) = default;
  };
  // A row or schedule cannot be encoded; `reason` names what failed. It must be
  // text with static storage duration (the library only uses string literals).
  struct Schedule {
    std::string_view reason;
    friend bool operator==(const Schedule&, const Schedule&) = default;
  };
  // An event offset from the phase-entry sync exceeds the largest encodable one.
  struct PlanOffsetRange {
    std::uint32_t cycles;
    std::uint32_t maximum;
    friend bool operator==(const PlanOffsetRange&, const PlanOffsetRange&) = default;
  };
  // A tile memory address cannot be encoded.
  struct Address {
    std::uint32_t address;
    friend bool operator==(const Address&, const Address&) = default;
  };
  // A host exchange address or length cannot be encoded.
  struct HostPacket {
    friend bool operator==(const HostPacket&, const HostPacket&) = default;
  };

  using Variant = std::variant<ValidationBudgetExceeded, Tile, DuplicateTile, Count, ReceiverSet,
                               Schedule, PlanOffsetRange, Address, HostPacket>;

  // Implicit from any variant, so `return ExchangeError::Tile{7};` reads naturally.
  template <class V>
  requires std::is_constructible_v<Variant, V>
  constexpr ExchangeError(V v) noexcept
      : value_(std::move(v)) {}  // NOLINT(google-explicit-constructor)

  // Shorthand for the most common error.
  static constexpr ExchangeError schedule(std::string_view reason) noexcept {
    return Schedule{reason};
  }

  // The variant held.
  constexpr const Variant& value() const noexcept { return value_; }
  // Declaration index of the variant held (0 = ValidationBudgetExceeded ... 8 = HostPacket).
  constexpr std::size_t index() const noexcept { return value_.index(); }
  // True when the variant held is `V`.
  template <class V>
  constexpr bool is() const noexcept {
    return std::holds_alternative<V>(value_);
  }
  // The variant `V`, or nullptr when another one is held.
  template <class V>
  constexpr const V* get_if() const noexcept {
    return std::get_if<V>(&value_);
  }

  friend bool operator==(const ExchangeError&, const ExchangeError&) = default;

 private:
  Variant value_;
};

namespace detail {
// The common failure return of the planners: a Schedule error with a fixed reason.
inline std::unexpected<ExchangeError> schedule_error(std::string_view reason) noexcept {
  return std::unexpected(ExchangeError::schedule(reason));
}
}  // namespace detail

// Display text: a sentence for people, e.g. "logical tile 1472 is out of range".
ZERIN_EXCHANGE_API std::string to_string(const ExchangeError& error);
// Debug text: the variant's name and payload, e.g. `Tile(1472)`, `Schedule("sender payload")`.
ZERIN_EXCHANGE_API std::string debug_string(const ExchangeError& error);

// Appending forms of the two texts, for callers that reuse one buffer.
ZERIN_EXCHANGE_API void append_display(std::string& out, const ExchangeError& error);
ZERIN_EXCHANGE_API void append_debug(std::string& out, const ExchangeError& error);

// Writes the display text.
ZERIN_EXCHANGE_API std::ostream& operator<<(std::ostream& os, const ExchangeError& error);

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_ERRORS_HPP
