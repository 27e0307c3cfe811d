#include "zerin/exchange/phase.hpp"

#include <algorithm>
#include <iterator>
#include <utility>

#include "phase_timeline.hpp"
#include "zerin/exchange/emission.hpp"

namespace zerin::exchange {

using phase_detail::RowTimeline;

namespace {

constexpr std::uint64_t cycle_limit = 0xFFFFFFFFu;

// The planner's plan of one transfer, rows sender first, with their timelines.
struct PlannedRows {
  PlacedTransfer placed;
  std::vector<RowTimeline> timelines;
};

std::expected<PlannedRows, ExchangeError> plan_rows(const Topology& topology,
                                                    const Transfer& transfer) {
  auto plan = transfer.kind == TransferKind::PairedMulticast
                  ? topology.paired_multicast(transfer.sender, transfer.receivers, transfer.count)
                  : topology.multicast(transfer.sender, transfer.receivers, transfer.count, 0);
  if (!plan) return std::unexpected(plan.error());
  if (std::ranges::find(transfer.receivers, transfer.sender) != transfer.receivers.end()) {
    return detail::schedule_error(ScheduleReason::PhaseSelfReceiver);
  }
  PlannedRows out;
  out.placed.transfer = transfer;
  out.placed.rows.reserve(transfer.receivers.size() + 1);
  out.timelines.reserve(transfer.receivers.size() + 1);
  auto add_row = [&](std::uint16_t tile,
                     const ExchangeRow& row) -> std::expected<void, ExchangeError> {
    auto timeline = phase_detail::read_row(row);
    if (!timeline) return std::unexpected(timeline.error());
    out.placed.rows.push_back({tile, row, timeline->start, timeline->horizon});
    out.timelines.push_back(*timeline);
    return {};
  };
  if (auto added = add_row(transfer.sender, plan->sender); !added) {
    return std::unexpected(added.error());
  }
  for (std::size_t i = 0; i < transfer.receivers.size(); ++i) {
    if (auto added = add_row(transfer.receivers[i], plan->receivers[i]); !added) {
      return std::unexpected(added.error());
    }
  }
  return out;
}

// Where a row's horizon lands at phase cycle `at`: the named overflow past the
// 32-bit clock, then the phase's maximum.
std::expected<void, ExchangeError> check_horizon(std::uint32_t at, const RowTimeline& row,
                                                 std::uint32_t maximum) {
  const std::uint64_t horizon = std::uint64_t{at} + row.horizon;
  if (horizon > cycle_limit) return detail::schedule_error(ScheduleReason::PhaseHorizonOverflow);
  if (horizon > maximum) {
    return std::unexpected(
        ExchangeError::PlanOffsetRange{static_cast<std::uint32_t>(horizon), maximum});
  }
  return {};
}

void shift_rows(PlacedTransfer& placed, std::uint32_t at) {
  placed.at = at;
  for (PlacedRow& row : placed.rows) {
    row.start += at;
    row.horizon += at;
  }
}

}  // namespace

std::expected<PlacedTransfer, ExchangeError> place_transfer(const Topology& topology,
                                                            const Transfer& transfer,
                                                            std::uint32_t at) {
  auto planned = plan_rows(topology, transfer);
  if (!planned) return std::unexpected(planned.error());
  // No maximum but the clock's own.
  for (const RowTimeline& row : planned->timelines) {
    if (auto fits = check_horizon(at, row, default_maximum_phase_cycles); !fits) {
      return std::unexpected(fits.error());
    }
  }
  shift_rows(planned->placed, at);
  return std::move(planned->placed);
}

// ---- The builder -------------------------------------------------------------

struct Phase::Impl {
  // One row on its tile: the words that lay it after the row before it (the
  // lead-in wait and its instructions), and where its last instruction ends.
  struct Slot {
    std::uint32_t transfer = 0;  // index into `transfers`
    std::uint32_t row = 0;       // index into that transfer's rows
    std::uint32_t shift = 0;     // its transfer's phase cycle
    std::uint32_t end_clock = 0;
    std::vector<std::uint32_t> words;
  };
  // Where a row lies on its tile. Kept apart from the slots, in one flat
  // vector per tile, so that the free-span search runs over plain memory.
  struct Span {
    std::uint32_t start = 0;
    std::uint32_t horizon = 0;
    std::uint32_t slot = 0;  // index into `slots`
  };
  struct TileState {
    std::vector<Span> spans;             // by start; spans never overlap
    std::vector<std::uint32_t> closing;  // waits to the last horizon, return word
  };
  // What one call would change on one tile, worked out before anything changes.
  struct Staged {
    std::uint16_t tile = 0;
    std::size_t position = 0;  // where the new span goes in the tile's spans
    Span span;
    Slot slot;
    bool relays_next = false;
    std::vector<std::uint32_t> next_words;  // the following row, re-laid
    std::vector<std::uint32_t> closing;     // or the tile's new closing words
  };

  const Topology* topology;
  PhaseOptions options;
  std::vector<PlacedTransfer> transfers;
  std::vector<Slot> slots;
  std::vector<TileState> tiles;
  std::uint32_t length = 0;
  std::size_t last_words = 0;

  Impl(const Topology& t, PhaseOptions o) : topology(&t), options(std::move(o)), tiles(t.size()) {}

  // The earliest cycle at or after `from` at which a span of `cycles` cycles
  // fits on `tile` without overlapping a placed row (touching is allowed).
  // Spans are sorted by start and never overlap, so their horizons are sorted
  // too: the search starts at the first span that ends after `from`.
  std::uint64_t first_fit(std::uint16_t tile, std::uint64_t from, std::uint32_t cycles) const {
    const auto& spans = tiles[tile].spans;
    auto it = std::ranges::upper_bound(spans, from, {},
                                       [](const Span& s) { return std::uint64_t{s.horizon}; });
    std::uint64_t at = from;
    for (; it != spans.end() && it->start < at + cycles; ++it) {
      at = std::max<std::uint64_t>(at, it->horizon);
    }
    return at;
  }

  std::expected<void, ExchangeError> check_range(const PlannedRows& planned,
                                                 std::uint32_t at) const {
    for (const RowTimeline& row : planned.timelines) {
      if (auto fits = check_horizon(at, row, options.maximum_cycles); !fits) return fits;
    }
    return {};
  }

  bool fits(const PlannedRows& planned, std::size_t i, std::uint32_t at) const {
    const RowTimeline& row = planned.timelines[i];
    const std::uint64_t start = std::uint64_t{at} + row.start;
    return first_fit(planned.placed.rows[i].tile, start, row.horizon - row.start) == start;
  }

  // Earliest phase cycle at or after `minimum` at which no row overlaps: the
  // rows take turns moving the candidate to their tile's first span that fits
  // them, until every row has fitted the same candidate in a row.
  std::expected<std::uint32_t, ExchangeError> earliest(const PlannedRows& planned,
                                                       std::uint32_t minimum) const {
    const std::size_t rows = planned.timelines.size();
    std::uint32_t at = minimum;
    if (auto in_range = check_range(planned, at); !in_range) {
      return std::unexpected(in_range.error());
    }
    for (std::size_t i = 0, fitted = 0; fitted < rows; i = (i + 1) % rows) {
      const RowTimeline& row = planned.timelines[i];
      const std::uint64_t start = std::uint64_t{at} + row.start;
      const std::uint64_t fit =
          first_fit(planned.placed.rows[i].tile, start, row.horizon - row.start);
      if (fit == start) {
        ++fitted;
        continue;
      }
      const std::uint64_t moved_to = fit - row.start;
      if (moved_to > cycle_limit) {
        return detail::schedule_error(ScheduleReason::PhaseHorizonOverflow);
      }
      at = static_cast<std::uint32_t>(moved_to);
      if (auto in_range = check_range(planned, at); !in_range) {
        return std::unexpected(in_range.error());
      }
      fitted = 1;
    }
    return at;
  }

  // Lays row `index` of the transfer about to become number transfers.size().
  std::expected<Staged, ExchangeError> stage(const PlannedRows& planned, std::size_t index,
                                             std::uint32_t at) const {
    const RowTimeline& row = planned.timelines[index];
    const std::uint16_t tile = planned.placed.rows[index].tile;
    const TileState& state = tiles[tile];
    Staged staged;
    staged.tile = tile;
    staged.span = {at + row.start, at + row.horizon, 0};
    staged.slot.transfer = static_cast<std::uint32_t>(transfers.size());
    staged.slot.row = static_cast<std::uint32_t>(index);
    // A row's words, a few lead-in waits included, rarely pass its own nine.
    staged.slot.words.reserve(row_length);
    staged.slot.shift = at;
    const auto next = std::ranges::lower_bound(state.spans, staged.span.start, {}, &Span::start);
    staged.position = static_cast<std::size_t>(next - state.spans.begin());
    std::uint32_t clock = next == state.spans.begin() ? 0 : slots[std::prev(next)->slot].end_clock;
    if (auto laid = phase_detail::lay_row(staged.slot.words, clock, row, at); !laid) {
      return std::unexpected(laid.error());
    }
    staged.slot.end_clock = clock;
    if (next != state.spans.end()) {
      // The following row's lead-in wait starts where the new row ends.
      staged.relays_next = true;
      const Slot& following = slots[next->slot];
      // Its timeline is read again from its row rather than kept for every row.
      auto timeline = phase_detail::read_row(transfers[following.transfer].rows[following.row].row);
      if (!timeline) throw InternalFault("a placed phase row reads again");
      staged.next_words.reserve(following.words.size() + 1);
      auto laid = phase_detail::lay_row(staged.next_words, clock, *timeline, following.shift);
      if (!laid) return std::unexpected(laid.error());
      if (clock != following.end_clock) throw InternalFault("phase row ends where it did");
    } else {
      staged.closing.reserve(2);
      auto waited = append_plain_delay(staged.closing, clock, staged.span.horizon);
      if (!waited) return std::unexpected(waited.error());
      staged.closing.push_back(return_word);
    }
    return staged;
  }

  static std::size_t words_of(const Staged& staged, bool tile_was_empty) {
    return staged.slot.words.size() + staged.next_words.size() + staged.closing.size() +
           (tile_was_empty ? 1 : 0);
  }

  std::expected<std::uint32_t, ExchangeError> place(PlannedRows planned,
                                                    std::optional<std::uint32_t> exactly,
                                                    std::uint32_t minimum) {
    std::uint32_t at = minimum;
    if (exactly) {
      at = *exactly;
      if (auto in_range = check_range(planned, at); !in_range) {
        return std::unexpected(in_range.error());
      }
      for (std::size_t i = 0; i < planned.timelines.size(); ++i) {
        if (!fits(planned, i, at)) {
          return detail::schedule_error(i == 0 ? ScheduleReason::PhaseSenderOverlap
                                               : ScheduleReason::PhaseReceiverOverlap);
        }
      }
    } else {
      auto found = earliest(planned, minimum);
      if (!found) return found;
      at = *found;
    }

    // Lay every touched tile's new words before changing anything.
    std::vector<Staged> staged;
    staged.reserve(planned.timelines.size());
    std::size_t words = 0;
    for (std::size_t i = 0; i < planned.timelines.size(); ++i) {
      auto one = stage(planned, i, at);
      if (!one) return std::unexpected(one.error());
      words += words_of(*one, tiles[one->tile].spans.empty());
      staged.push_back(std::move(*one));
    }
    if (options.work_budget && words > *options.work_budget) {
      return std::unexpected(ExchangeError::ValidationBudgetExceeded{});
    }

    for (Staged& one : staged) {
      TileState& state = tiles[one.tile];
      length = std::max(length, one.span.horizon);
      one.span.slot = static_cast<std::uint32_t>(slots.size());
      slots.push_back(std::move(one.slot));
      const auto it = state.spans.insert(
          state.spans.begin() + static_cast<std::ptrdiff_t>(one.position), one.span);
      if (one.relays_next) {
        slots[std::next(it)->slot].words = std::move(one.next_words);
      } else {
        state.closing = std::move(one.closing);
      }
    }
    shift_rows(planned.placed, at);
    transfers.push_back(std::move(planned.placed));
    last_words = words;
    return at;
  }
};

Phase::Phase(const Topology& topology, PhaseOptions options)
    : impl_(std::make_unique<Impl>(topology, std::move(options))) {}
Phase::~Phase() = default;
Phase::Phase(Phase&&) noexcept = default;
Phase& Phase::operator=(Phase&&) noexcept = default;

std::expected<std::uint32_t, ExchangeError> Phase::add(const Transfer& transfer,
                                                       std::uint32_t minimum) {
  auto planned = plan_rows(*impl_->topology, transfer);
  if (!planned) return std::unexpected(planned.error());
  return impl_->place(std::move(*planned), std::nullopt, minimum);
}

std::expected<void, ExchangeError> Phase::add_at(const Transfer& transfer, std::uint32_t at) {
  auto planned = plan_rows(*impl_->topology, transfer);
  if (!planned) return std::unexpected(planned.error());
  auto placed = impl_->place(std::move(*planned), at, 0);
  if (!placed) return std::unexpected(placed.error());
  return {};
}

void Phase::set_maximum_cycles(std::uint32_t maximum) noexcept {
  impl_->options.maximum_cycles = maximum;
}
void Phase::set_work_budget(std::optional<std::size_t> budget) noexcept {
  impl_->options.work_budget = budget;
}
const PhaseOptions& Phase::options() const noexcept {
  return impl_->options;
}
std::uint32_t Phase::length() const noexcept {
  return impl_->length;
}
std::span<const PlacedTransfer> Phase::transfers() const noexcept {
  return impl_->transfers;
}
std::size_t Phase::words_laid_by_last_call() const noexcept {
  return impl_->last_words;
}

std::vector<std::uint32_t> Phase::program(std::uint16_t tile) const {
  std::vector<std::uint32_t> words;
  if (tile >= impl_->tiles.size()) return words;
  const Impl::TileState& state = impl_->tiles[tile];
  if (state.spans.empty()) return words;
  words.push_back(sync_word);
  for (const Impl::Span& span : state.spans) {
    const auto& laid = impl_->slots[span.slot].words;
    words.insert(words.end(), laid.begin(), laid.end());
  }
  words.insert(words.end(), state.closing.begin(), state.closing.end());
  return words;
}

std::vector<TileProgram> Phase::programs() const {
  std::vector<TileProgram> out;
  for (std::size_t tile = 0; tile < impl_->tiles.size(); ++tile) {
    if (impl_->tiles[tile].spans.empty()) continue;
    const auto logical = static_cast<std::uint16_t>(tile);
    out.push_back({logical, program(logical)});
  }
  return out;
}

}  // namespace zerin::exchange
