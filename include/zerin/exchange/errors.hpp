/// @file
/// The one error type of the exchange planner, and the internal-fault exception.
///
/// Every fallible operation of the library returns `std::expected<T, ExchangeError>`.
/// Nothing fallible throws; a broken internal invariant (an overflow that has no
/// named reason) throws `InternalFault`.
///
/// Thread-safety: all types here are plain values; all functions are pure.
#ifndef ZERIN_EXCHANGE_ERRORS_HPP
#define ZERIN_EXCHANGE_ERRORS_HPP

#include "zerin/exchange/export.hpp"

#include <array>
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

namespace zerin::exchange {

/// Why a row or schedule cannot be encoded: the reason of an `ExchangeError::Schedule`.
/// Each enumerator has one fixed text, given by reason_text().
enum class ScheduleReason : std::uint8_t {
  SendInstructionOperand,  ///< "send instruction operand": encode_send: an operand is wider than
                           ///< its field.
  ZeroEventAdvance,      ///< "zero event advance": set_instruction_advance: an advance of 0 cycles.
  DelayAdvanceOverflow,  ///< "delay advance overflow": set_instruction_advance: a plain delay
                         ///< cannot cover the advance.
  PicDelayAdvanceOverflow,   ///< "PIC delay advance overflow": set_instruction_advance: a PIC delay
                             ///< cannot cover the advance.
  XpicDelayAdvanceOverflow,  ///< "XPIC delay advance overflow": set_instruction_advance: an XPIC
                             ///< delay cannot cover the advance.
  ScheduledOffsetTruncatesSend,  ///< "scheduled offset truncates a send": set_instruction_advance:
                                 ///< the word is a send, send-off or send-control word.
  FirstScheduledEventNotDelay,   ///< "first scheduled event is not a delay":
                                 ///< set_instruction_advance: the word is no delay and no send.
  SendControl,      ///< "send control": set_sender_control: the send control is not 1 to 7.
  SendPicpOperand,  ///< "SENDPICP operand": encode_send_control_pair: an operand is out of range or
                    ///< the events are not two.
  SendPicpPicControl,   ///< "SENDPICP PIC control": encode_send_control_pair: no PIC-stream event.
  SendPicpXpicControl,  ///< "SENDPICP XPIC control": encode_send_control_pair: no XPIC-stream
                        ///< event.
  SendPicpEventTime,    ///< "SENDPICP event time": encode_send_control_pair: the two events fall on
                        ///< different cycles.
  SenderDelay,    ///< "sender delay": point_to_point: the sender's leading delay is not encodable.
  ReceiverPhase,  ///< "receiver phase": a receiver lies so far out that its tail's PIC wait does
                  ///< not fit the word.
  MulticastStartCycle,  ///< "multicast start cycle": multicast: the start cycle passes 4095.
  MulticastSourceTile,  ///< "multicast source tile": multicast: the sender's physical tile does not
                        ///< fit the XPIC control field.
  MulticastReceiveCycle,  ///< "multicast receive cycle": multicast: a receive cycle lies outside 0
                          ///< to 4095.
  PairedSourceTiming,     ///< "paired source timing": paired_receiver_row: the source event falls
                          ///< before cycle 0.
  PairedSourceTile,  ///< "paired source tile": paired_receiver_row: the sender's lane does not fit
                     ///< the XPIC control field.
  PairedReceiveCoincidentControls,  ///< "paired receive coincident controls": paired_receiver_row:
                                    ///< two controls fall on one cycle.
  PairedReceiveHorizonOverflow,     ///< "paired receive horizon overflow": paired_receiver_row: the
                                    ///< row's horizon passes 0xFFFFFFFF.
  PairedReceiveRowCapacity,  ///< "paired receive row capacity": paired_receiver_row: the row needs
                             ///< more than 9 words.
  IncompatibleSimultaneousReceiveControls,  ///< "incompatible simultaneous receive controls":
                                            ///< validate_receive_events: controls at one cycle
                                            ///< cannot share an instruction.
  PlanDelayOrder,  ///< "plan delay order": emission: a delay target lies before the clock.
  SendPicpInstructionAlignment,  ///< "SENDPICP instruction alignment": emission: a SENDPICP
                                 ///< instruction cannot be brought to an even word position.
  ReceiveControlAtPhaseEntry,  ///< "receive control at phase entry": emission: a SENDPICP group at
                               ///< cycle 0.
  ReceiveControlOrder,  ///< "receive control order": emission: the next group's latest issue cycle
                        ///< lies before the clock.
  EmptySendPicpInterval,  ///< "empty SENDPICP interval": emission: a SENDPICP instruction would
                          ///< occupy no cycle.
  ReceiveEventOrder,      ///< "receive event order": emission: an event lies before the clock.
  ReceiveControlIssueInterval,  ///< "receive control issue interval": emission: an event lies
                                ///< exactly at the clock.
  ReceiveTimedEvent,  ///< "receive timed event": emission: an event's word is neither a PIC nor an
                      ///< XPIC delay word.
  SenderRowEntry,     ///< "sender row entry": scheduled_sender_timing: word 0 is not the sync word.
  SenderRowReturn,    ///< "sender row return": scheduled_sender_timing: the row has no return word.
  SenderEventHorizonOverflow,  ///< "sender event horizon overflow": scheduled_sender_timing: the
                               ///< running cycle count passes 0xFFFFFFFF.
  SenderPayload,  ///< "sender payload": scheduled_sender_timing and set_sender_control: the row has
                  ///< no payload send.
  PhaseSelfReceiver,  ///< "phase transfer receives on its sending tile": place_transfer: the
                      ///< sender is one of the receivers, two rows on one tile at once.
  PhaseRowFrame,  ///< "phase row frame": place_transfer: a row lacks its sync word, its return word
                  ///< or any instruction.
  PhaseRowWord,   ///< "phase row word": place_transfer: a row word the timeline reading cannot
                  ///< place.
  PhaseHorizonOverflow,  ///< "phase horizon overflow": place_transfer and Phase: a row's horizon
                         ///< passes 0xFFFFFFFF cycles from the phase-entry sync.
  PhaseSenderOverlap,    ///< "phase sender row overlaps a placed row": Phase::add_at: the sender's
                         ///< row overlaps a row already on its tile.
  PhaseReceiverOverlap,  ///< "phase receiver row overlaps a placed row": Phase::add_at: a
                         ///< receiver's row overlaps a row already on its tile.
};

/// Number of `ScheduleReason` enumerators; they are numbered 0 to this minus 1.
inline constexpr std::size_t schedule_reason_count = 41;

/// The text of every reason, indexed by its enumerator's value. Each text is a
/// short phrase of printable ASCII without quotes, backslashes or control characters.
inline constexpr std::array<std::string_view, schedule_reason_count> schedule_reason_texts{
    "send instruction operand",
    "zero event advance",
    "delay advance overflow",
    "PIC delay advance overflow",
    "XPIC delay advance overflow",
    "scheduled offset truncates a send",
    "first scheduled event is not a delay",
    "send control",
    "SENDPICP operand",
    "SENDPICP PIC control",
    "SENDPICP XPIC control",
    "SENDPICP event time",
    "sender delay",
    "receiver phase",
    "multicast start cycle",
    "multicast source tile",
    "multicast receive cycle",
    "paired source timing",
    "paired source tile",
    "paired receive coincident controls",
    "paired receive horizon overflow",
    "paired receive row capacity",
    "incompatible simultaneous receive controls",
    "plan delay order",
    "SENDPICP instruction alignment",
    "receive control at phase entry",
    "receive control order",
    "empty SENDPICP interval",
    "receive event order",
    "receive control issue interval",
    "receive timed event",
    "sender row entry",
    "sender row return",
    "sender event horizon overflow",
    "sender payload",
    "phase transfer receives on its sending tile",
    "phase row frame",
    "phase row word",
    "phase horizon overflow",
    "phase sender row overlaps a placed row",
    "phase receiver row overlaps a placed row",
};

/// The fixed text of `reason`, e.g. "sender payload" for ScheduleReason::SenderPayload.
/// Pure; callable from any thread.
constexpr std::string_view reason_text(ScheduleReason reason) noexcept {
  return schedule_reason_texts[static_cast<std::size_t>(reason)];
}

/// Thrown when an invariant the planner relies on does not hold (for example an
/// unnamed arithmetic overflow). Its `what()` is one of the library's fixed fault
/// messages, such as "logical tile count fits u16".
class ZERIN_EXCHANGE_API InternalFault : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

/// The error value of every fallible operation: a tagged union of nine variants,
/// declared in this order. A small value type: copied freely, owns nothing. The
/// `Schedule` variant carries a ScheduleReason.
/// It is 16 bytes, 8-aligned.
class alignas(8) ExchangeError {
 public:
  /// The work budget of the incremental encoder ran out.
  struct ValidationBudgetExceeded {
    /// Member-wise equality.
    friend bool operator==(const ValidationBudgetExceeded&,
                           const ValidationBudgetExceeded&) = default;
  };
  /// A logical tile (the caller's number) is not in the topology.
  struct Tile {
    std::uint16_t tile;  ///< The logical tile number the caller passed.
    /// Member-wise equality.
    friend bool operator==(const Tile&, const Tile&) = default;
  };
  /// The two endpoints of a point-to-point transfer are the same tile.
  struct DuplicateTile {
    /// Member-wise equality.
    friend bool operator==(const DuplicateTile&, const DuplicateTile&) = default;
  };
  /// A transfer's word count is outside 1..=4148; carries the rejected count.
  struct Count {
    std::uint32_t count;  ///< The rejected count, unchanged.
    /// Member-wise equality.
    friend bool operator==(const Count&, const Count&) = default;
  };
  /// A multicast receiver set fails the planner's receiver-set checks.
  struct ReceiverSet {
    /// Member-wise equality.
    friend bool operator==(const ReceiverSet&, const ReceiverSet&) = default;
  };
  /// A row or schedule cannot be encoded; `reason` names what failed.
  struct Schedule {
    ScheduleReason reason;  ///< What failed; its text is reason_text(reason).
    /// Member-wise equality.
    friend bool operator==(const Schedule&, const Schedule&) = default;
  };
  /// An event offset from the phase-entry sync exceeds the largest encodable one.
  struct PlanOffsetRange {
    std::uint32_t cycles;   ///< The offset asked for.
    std::uint32_t maximum;  ///< The largest encodable offset.
    /// Member-wise equality.
    friend bool operator==(const PlanOffsetRange&, const PlanOffsetRange&) = default;
  };
  /// A tile memory address cannot be encoded.
  struct Address {
    std::uint32_t address;  ///< The address that cannot be encoded.
    /// Member-wise equality.
    friend bool operator==(const Address&, const Address&) = default;
  };
  /// A host exchange address or length cannot be encoded.
  struct HostPacket {
    /// Member-wise equality.
    friend bool operator==(const HostPacket&, const HostPacket&) = default;
  };

  /// The nine variants, in declaration order.
  using Variant = std::variant<ValidationBudgetExceeded, Tile, DuplicateTile, Count, ReceiverSet,
                               Schedule, PlanOffsetRange, Address, HostPacket>;

  /// Implicit from any variant, so `return ExchangeError::Tile{7};` reads naturally.
  template <class V>
  requires std::is_constructible_v<Variant, V>
  constexpr ExchangeError(V v) noexcept
      : value_(std::move(v)) {}  // NOLINT(google-explicit-constructor)

  /// Shorthand for the most common error.
  static constexpr ExchangeError schedule(ScheduleReason reason) noexcept {
    return Schedule{reason};
  }

  /// The variant held.
  constexpr const Variant& value() const noexcept { return value_; }
  /// Declaration index of the variant held (0 = ValidationBudgetExceeded ... 8 = HostPacket).
  constexpr std::size_t index() const noexcept { return value_.index(); }
  /// True when the variant held is `V`.
  template <class V>
  constexpr bool is() const noexcept {
    return std::holds_alternative<V>(value_);
  }
  /// The variant `V`, or nullptr when another one is held.
  template <class V>
  constexpr const V* get_if() const noexcept {
    return std::get_if<V>(&value_);
  }

  /// Member-wise equality.
  friend bool operator==(const ExchangeError&, const ExchangeError&) = default;

 private:
  Variant value_;
};

/// Display text: a sentence for people, e.g. "logical tile 1472 is out of range".
ZERIN_EXCHANGE_API std::string to_string(const ExchangeError& error);
/// Debug text: the variant's name and payload, e.g. `Tile(1472)`, `Schedule("sender payload")`.
ZERIN_EXCHANGE_API std::string debug_string(const ExchangeError& error);

/// Appending forms of the two texts, for callers that reuse one buffer.
ZERIN_EXCHANGE_API void append_display(std::string& out, const ExchangeError& error);
/// Appends the debug text of `error` to `out`.
ZERIN_EXCHANGE_API void append_debug(std::string& out, const ExchangeError& error);

/// Writes the display text.
ZERIN_EXCHANGE_API std::ostream& operator<<(std::ostream& os, const ExchangeError& error);

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_ERRORS_HPP
