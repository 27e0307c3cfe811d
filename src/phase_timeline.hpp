// Reading rows and programs as timelines, and laying timelines as words: the
// one set of rules the phase builder and the phase checker share.
#ifndef ZERIN_EXCHANGE_PHASE_TIMELINE_HPP
#define ZERIN_EXCHANGE_PHASE_TIMELINE_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "schedule_error.hpp"
#include "zerin/exchange/decode.hpp"
#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::exchange::phase_detail {

enum class ItemKind : std::uint8_t {
  Send,         // a payload send: `cycle` is its issue cycle
  Control,      // a PIC or XPIC delay word: `cycle` is when it takes effect
  ControlPair,  // a SENDPICP instruction and its payload: `cycle` is its issue cycle
};

// One instruction of a timeline.
struct TimedItem {
  ItemKind kind = ItemKind::Send;
  std::uint32_t cycle = 0;
  std::uint32_t word = 0;
  std::uint32_t payload = 0;  // ControlPair only
  std::uint32_t advance = 0;  // cycles the instruction occupies
  // Cycle from which the instruction can issue at the latest: a control's word
  // issues one cycle before it takes effect at the latest.
  std::uint32_t latest_issue() const noexcept {
    return kind == ItemKind::Control ? cycle - 1 : cycle;
  }
};

// What one word (or SENDPICP pair) of a row or program is in the timeline.
enum class StepKind : std::uint8_t { Wait, Item, Return, Unplaceable };
struct Step {
  StepKind kind = StepKind::Unplaceable;
  TimedItem item;             // StepKind::Item
  std::uint32_t advance = 0;  // cycles the step moves the clock by
  std::size_t words = 1;      // words the step consumes (2 for a SENDPICP pair)
};

// Reads the decoded word at `index` (its payload word after it for SENDPICP)
// when the clock stands at `clock`. A control's cycle is clock + advance and
// may pass 32 bits only if the caller lets the clock come near the top.
Step read_step(std::span<const DecodedInstruction> decoded, std::size_t index,
               std::uint32_t clock) noexcept;

// A planner row read as a timeline, cycles counted from its own clock.
inline constexpr std::size_t row_item_capacity = row_length - 2;
struct RowTimeline {
  std::array<TimedItem, row_item_capacity> items{};
  std::uint8_t size = 0;
  std::uint32_t start = 0;    // latest issue cycle of the first instruction
  std::uint32_t horizon = 0;  // the return word's issue cycle
  std::span<const TimedItem> view() const noexcept { return {items.data(), size}; }
};

// Errors (Schedule): ScheduleReason::PhaseRowFrame (no sync word first, no return word, or
// nothing to time), ScheduleReason::PhaseRowWord (a word the reading cannot place).
std::expected<RowTimeline, ExchangeError> read_row(const ExchangeRow& row);

// Lays `item`, shifted by `shift`, after the words already in `words`, from the
// clock `clock` (the emission rules: plain delays up to a send, a control word
// cut to complete at its cycle). Emission's errors are returned unchanged.
std::expected<void, ExchangeError> lay_item(std::vector<std::uint32_t>& words, std::uint32_t& clock,
                                            const TimedItem& item, std::uint32_t shift);

// Lays a whole row timeline shifted by `shift` from `clock`.
std::expected<void, ExchangeError> lay_row(std::vector<std::uint32_t>& words, std::uint32_t& clock,
                                           const RowTimeline& row, std::uint32_t shift);

// For people: "send 0x78000003 (1 word) issuing at cycle 23", "xpic control
// 0x64000640 (flag 0, control 0x640) taking effect at cycle 25".
std::string describe_item(const TimedItem& item, std::uint32_t shift = 0);

// Whether a program's item does what an expected item asks: same kind and
// cycle, same word (a control's advance field aside), same payload.
bool same_item(const TimedItem& expected, std::uint32_t shift, const TimedItem& found) noexcept;

}  // namespace zerin::exchange::phase_detail

#endif  // ZERIN_EXCHANGE_PHASE_TIMELINE_HPP
