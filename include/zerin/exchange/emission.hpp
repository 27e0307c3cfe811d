/// @file
/// Receive-event emission: laying a list of timed receive events out as words.
///
/// Emission appends to a word sink and keeps a running clock, the cycle at which
/// the next appended word issues. A single event becomes one PIC or XPIC delay
/// word whose advance makes it complete exactly at the event's cycle (preceded by
/// a plain delay when the gap is beyond the word's reach); two events at one cycle
/// become a two-word SENDPICP instruction issued one cycle earlier. Gaps are filled
/// with plain delays and the stream ends exactly at the horizon.
///
/// On failure, words appended and clock updates made before the failing step stay
/// in the sink and the clock; callers discard both.
///
/// Thread-safety: works only on the sink, clock and callback handed in.
#ifndef ZERIN_EXCHANGE_EMISSION_HPP
#define ZERIN_EXCHANGE_EMISSION_HPP

#include "zerin/exchange/export.hpp"

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/receive_events.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::exchange {

/// A word sink: `size()` words so far, `push_back(word)` appends one.
/// `std::vector<std::uint32_t>` is one as it stands.
template <class S>
concept RowWords = requires(S& sink, const S& view, std::uint32_t word) {
  { view.size() } -> std::convertible_to<std::size_t>;
  sink.push_back(word);
};

/// Progress callback of append_receive_events_record(): called after each group
/// with (events consumed, sink size, clock, lookahead). `lookahead` is present only
/// after a SENDPICP group: the cycle up to which that instruction was planned.
template <class F>
concept EmissionRecord =
    std::invocable<F&, std::size_t, std::size_t, std::uint32_t, std::optional<std::uint32_t>>;

/// Cycles one plain delay word covers at most (524288).
inline constexpr std::uint32_t maximum_plain_delay_cycles =
    word_format::exchange_delay.largest_advance();
/// Cycles one SENDPICP instruction covers at most (64).
inline constexpr std::uint32_t maximum_send_control_pair_cycles =
    word_format::send_picp.largest_advance();

/// A sink of fixed capacity N that never allocates: it keeps the first N words and
/// goes on counting past them, so an over-long row shows as size() > N.
template <std::size_t N>
class BoundedRowWords {
 public:
  /// A sink that keeps its words itself.
  BoundedRowWords() noexcept : own_{}, out_(own_.data()) {}
  /// A sink that lays its words straight into `storage` (a row the caller owns),
  /// which must outlive the sink; the words after the last one appended stay as
  /// they were.
  explicit BoundedRowWords(std::span<std::uint32_t, N> storage) noexcept : out_(storage.data()) {}
  BoundedRowWords(const BoundedRowWords&) = delete;
  BoundedRowWords& operator=(const BoundedRowWords&) = delete;

  /// Words appended so far, those beyond N included.
  std::size_t size() const noexcept { return size_; }
  /// Appends `word`: stored while there is room, counted always.
  void push_back(std::uint32_t word) noexcept {
    if (size_ < N) out_[size_] = word;
    ++size_;
  }
  /// Whether more than N words were appended.
  bool overflowed() const noexcept { return size_ > N; }
  /// The stored words (at most N).
  std::span<const std::uint32_t> words() const noexcept { return {out_, std::min(size_, N)}; }

 private:
  std::array<std::uint32_t, N> own_;  // unused (left unset) when laying into the caller's row
  std::uint32_t* out_;
  std::size_t size_ = 0;
};

/// Appends plain delay words covering `cycles` cycles: none for 0, else as few as
/// can, every word but the last covering 524288. Cannot fail.
template <RowWords S>
constexpr void append_delay_cycles(S& words, std::uint32_t cycles) {
  if (cycles == 0) return;
  // Full words first, then one word for what is left (at least one cycle).
  for (; cycles > maximum_plain_delay_cycles; cycles -= maximum_plain_delay_cycles) {
    words.push_back(delay(maximum_plain_delay_cycles - 1));
  }
  words.push_back(delay(cycles - 1));
}

/// Appends plain delay words covering target_cycles - event_cycles cycles (see
/// append_delay_cycles()) and brings the clock to `target_cycles`.
/// Error: Schedule "plan delay order" when the target lies before the clock.
template <RowWords S>
std::expected<void, ExchangeError> append_plain_delay(S& words, std::uint32_t& event_cycles,
                                                      std::uint32_t target_cycles) {
  if (target_cycles < event_cycles)
    return std::unexpected(ExchangeError::schedule(ScheduleReason::PlanDelayOrder));
  append_delay_cycles(words, target_cycles - event_cycles);
  event_cycles = target_cycles;
  return {};
}

/// The same delay, shaped so that the sink's size afterwards has parity
/// `word_parity` (0 or 1): an extra one-cycle word at the end when needed.
/// Errors (Schedule): "plan delay order"; "SENDPICP instruction alignment" when the
/// distance is 0 at the wrong parity, when it is 1 but two words are needed, or
/// when `word_parity` is neither 0 nor 1.
template <RowWords S>
std::expected<void, ExchangeError> append_plain_delay_aligned(S& words, std::uint32_t& event_cycles,
                                                              std::uint32_t target_cycles,
                                                              std::size_t word_parity) {
  if (target_cycles < event_cycles)
    return std::unexpected(ExchangeError::schedule(ScheduleReason::PlanDelayOrder));
  const std::uint32_t distance = target_cycles - event_cycles;
  const std::size_t length = words.size();
  if (word_parity > 1 || (distance == 0 && length % 2 != word_parity)) {
    return std::unexpected(ExchangeError::schedule(ScheduleReason::SendPicpInstructionAlignment));
  }
  if (distance == 0) return {};
  const std::uint32_t minimum_words = (distance - 1) / maximum_plain_delay_cycles + 1;
  const std::uint32_t delay_words =
      minimum_words + ((length + minimum_words) % 2 != word_parity ? 1u : 0u);
  if (delay_words > distance)
    return std::unexpected(ExchangeError::schedule(ScheduleReason::SendPicpInstructionAlignment));
  /// Each word takes as much as it can while leaving one cycle for each word after it.
  std::uint32_t remaining = distance;
  for (std::uint32_t left = delay_words; left >= 1; --left) {
    const std::uint32_t chunk = std::min(remaining - (left - 1), maximum_plain_delay_cycles);
    words.push_back(delay(chunk - 1));
    event_cycles += chunk;
    remaining -= chunk;
  }
  return {};
}

/// Lays `events` (non-decreasing cycles) out as words and brings the clock to
/// `horizon_cycles`, calling `record` after every group. With `align_control_pairs`
/// every SENDPICP instruction word lands at an even position of the sink (words
/// present before the call count).
/// Errors (Schedule), checked in the order emission meets them: "incompatible
/// simultaneous receive controls" (a group of three or more events at one cycle:
/// rejected rather than dropping events); "receive control at phase entry"; the
/// aligned or plain delay's errors; "receive control order"; "empty SENDPICP
/// interval"; encode_send_control_pair()'s errors; "receive event order"; "receive
/// control issue interval"; "receive timed event"; set_instruction_advance()'s
/// errors; finally the closing delay's "plan delay order".
template <RowWords S, EmissionRecord F>
std::expected<void, ExchangeError> append_receive_events_record(
    S& words, std::uint32_t& event_cycles, std::span<const ReceiveEvent> events,
    std::uint32_t horizon_cycles, bool align_control_pairs, F&& record) {
  std::size_t cursor = 0;
  while (cursor < events.size()) {
    const std::uint32_t cycles = events[cursor].cycles;
    // Most events are alone at their cycle: the group is counted only when the
    // next event shares it.
    const bool shared = cursor + 1 < events.size() && events[cursor + 1].cycles == cycles;
    const std::size_t group_size = shared ? receive_event_group_size(events, cursor) : 1;
    const std::size_t end = cursor + group_size;
    std::optional<std::uint32_t> lookahead;
    if (group_size > 2) {
      return std::unexpected(
          ExchangeError::schedule(ScheduleReason::IncompatibleSimultaneousReceiveControls));
    }
    if (group_size == 2) {
      // The SENDPICP instruction issues one cycle before its events take effect.
      if (cycles == 0)
        return std::unexpected(ExchangeError::schedule(ScheduleReason::ReceiveControlAtPhaseEntry));
      const std::uint32_t instruction_start = cycles - 1;
      auto brought = align_control_pairs
                         ? append_plain_delay_aligned(words, event_cycles, instruction_start, 0)
                         : append_plain_delay(words, event_cycles, instruction_start);
      if (!brought) return brought;
      /// The latest cycle at which the next group's instruction can issue.
      const std::uint32_t next_start = end < events.size()
                                           ? (events[end].cycles == 0 ? 0 : events[end].cycles - 1)
                                           : horizon_cycles;
      if (next_start < event_cycles)
        return std::unexpected(ExchangeError::schedule(ScheduleReason::ReceiveControlOrder));
      const std::uint32_t advance =
          std::min(next_start - event_cycles, maximum_send_control_pair_cycles);
      if (advance == 0)
        return std::unexpected(ExchangeError::schedule(ScheduleReason::EmptySendPicpInterval));
      auto pair = encode_send_control_pair(advance - 1, 0, 0, events.subspan(cursor, 2));
      if (!pair) return std::unexpected(pair.error());
      words.push_back(pair->first);
      words.push_back(pair->second);
      event_cycles += advance;
      lookahead = next_start;
    } else {
      // One event alone at its cycle: a timed control word that completes exactly
      // at the event's cycle, after a plain delay for the part of the gap beyond
      // the word's reach.
      const ReceiveEvent& event = events[cursor];
      if (event.cycles <= event_cycles) {
        return std::unexpected(ExchangeError::schedule(
            event.cycles < event_cycles ? ScheduleReason::ReceiveEventOrder
                                        : ScheduleReason::ReceiveControlIssueInterval));
      }
      // The word's kind is read once: its branch knows the word's reach and
      // where its advance goes.
      const bool laid = visit_word_kind(event.instruction, [&](auto kind) {
        constexpr const WordKindInfo& info = word_kind_info(kind.value);
        if constexpr (info.timed_control()) {
          constexpr std::uint32_t reach = info.largest_advance();
          if (event.cycles - event_cycles > reach) {
            append_delay_cycles(words, event.cycles - reach - event_cycles);
            event_cycles = event.cycles - reach;
          }
          constexpr WordField advance = info.fields[info.timing_field].bits;
          words.push_back(advance.set(event.instruction, event.cycles - event_cycles - 1));
          return true;
        } else {
          return false;
        }
      });
      if (!laid) {
        return std::unexpected(ExchangeError::schedule(ScheduleReason::ReceiveTimedEvent));
      }
      event_cycles = event.cycles;
    }
    cursor = end;
    record(cursor, static_cast<std::size_t>(words.size()), event_cycles, lookahead);
  }
  if (horizon_cycles < event_cycles) {
    return std::unexpected(ExchangeError::schedule(ScheduleReason::PlanDelayOrder));
  }
  append_delay_cycles(words, horizon_cycles - event_cycles);
  event_cycles = horizon_cycles;
  return {};
}

/// append_receive_events_record() without progress reports.
template <RowWords S>
std::expected<void, ExchangeError> append_receive_events(S& words, std::uint32_t& event_cycles,
                                                         std::span<const ReceiveEvent> events,
                                                         std::uint32_t horizon_cycles,
                                                         bool align_control_pairs) {
  return append_receive_events_record(
      words, event_cycles, events, horizon_cycles, align_control_pairs,
      [](std::size_t, std::size_t, std::uint32_t, std::optional<std::uint32_t>) {});
}

}  // namespace zerin::exchange

#endif  // ZERIN_EXCHANGE_EMISSION_HPP
