// The phase checker: programs decoded back into timelines and compared with
// the placed transfers' rows.
#include <algorithm>
#include <map>
#include <utility>

#include "phase_timeline.hpp"
#include "text.hpp"
#include "zerin/exchange/decode.hpp"
#include "zerin/exchange/phase.hpp"

namespace zerin::exchange {

using phase_detail::ItemKind;
using phase_detail::RowTimeline;
using phase_detail::StepKind;
using phase_detail::TimedItem;

namespace {

constexpr std::uint64_t cycle_limit = 0xFFFFFFFFu;

// A placed row as the checker expects it on its tile.
struct ExpectedRow {
  RowTimeline timeline;
  std::uint32_t shift = 0;
  std::uint32_t start = 0;
  std::uint32_t horizon = 0;
  std::size_t transfer = 0;
};

std::string number(std::uint64_t value) {
  std::string out;
  detail::append_unsigned(out, value);
  return out;
}

std::string row_name(const ExpectedRow& row) {
  return "a row of transfer " + number(row.transfer);
}

PhaseMismatch mismatch(PhaseMismatchKind kind, std::uint16_t tile, std::size_t word,
                       std::string expected, std::string found) {
  return {kind, tile, word, std::move(expected), std::move(found)};
}

// Reads every placed row; a row that cannot be read, or whose recorded span is
// not where its words put it, is a mismatch of its own.
std::expected<std::map<std::uint16_t, std::vector<ExpectedRow>>, PhaseMismatch> expected_rows(
    std::span<const PlacedTransfer> transfers) {
  std::map<std::uint16_t, std::vector<ExpectedRow>> by_tile;
  for (std::size_t t = 0; t < transfers.size(); ++t) {
    const PlacedTransfer& transfer = transfers[t];
    for (const PlacedRow& row : transfer.rows) {
      auto timeline = phase_detail::read_row(row.row);
      if (!timeline) {
        return std::unexpected(mismatch(PhaseMismatchKind::PlacedRow, row.tile, 0,
                                        "a row the timeline reading places",
                                        debug_string(timeline.error())));
      }
      const std::uint64_t start = std::uint64_t{transfer.at} + timeline->start;
      const std::uint64_t horizon = std::uint64_t{transfer.at} + timeline->horizon;
      if (horizon > cycle_limit || start != row.start || horizon != row.horizon) {
        return std::unexpected(mismatch(PhaseMismatchKind::PlacedRow, row.tile, 0,
                                        "span " + number(start) + ".." + number(horizon) + " of " +
                                            row_name({*timeline, 0, 0, 0, t}) + " at cycle " +
                                            number(transfer.at),
                                        "span " + number(row.start) + ".." + number(row.horizon)));
      }
      by_tile[row.tile].push_back({*timeline, transfer.at, static_cast<std::uint32_t>(start),
                                   static_cast<std::uint32_t>(horizon), t});
    }
  }
  for (auto& [tile, rows] : by_tile) {
    // By start, rows of one start in transfer order (one row per tile per transfer).
    std::ranges::sort(rows, [](const ExpectedRow& a, const ExpectedRow& b) {
      return a.start != b.start ? a.start < b.start : a.transfer < b.transfer;
    });
  }
  return by_tile;
}

// Walks one tile's program against its expected rows (sorted by start).
std::optional<PhaseMismatch> check_program(std::uint16_t tile, std::span<const std::uint32_t> words,
                                           std::span<const ExpectedRow> rows) {
  using K = PhaseMismatchKind;
  if (words.empty() || words[0] != sync_word) {
    return mismatch(K::Framing, tile, 0, "sync word 0x41800003",
                    words.empty() ? "an empty program" : describe_instruction(words[0]));
  }
  const std::vector<DecodedInstruction> decoded = decode_row(words);
  std::uint32_t last_horizon = 0;
  for (const ExpectedRow& row : rows) last_horizon = std::max(last_horizon, row.horizon);

  std::size_t row = 0;
  std::size_t item = 0;
  std::uint32_t clock = 0;
  std::size_t i = 1;
  while (i < decoded.size()) {
    if (std::uint64_t{clock} + decoded[i].advance > cycle_limit) {
      return mismatch(K::ClockOverflow, tile, i, "a clock within 32 bits",
                      "cycle " + number(std::uint64_t{clock} + decoded[i].advance));
    }
    const phase_detail::Step step = phase_detail::read_step(decoded, i, clock);
    switch (step.kind) {
      case StepKind::Wait:
        break;
      case StepKind::Unplaceable:
        if (decoded[i].kind == WordKind::Sync) {
          return mismatch(K::Framing, tile, i, "one sync word, first", "a second sync word");
        }
        return mismatch(K::Word, tile, i, "an instruction the timeline reading places",
                        describe(decoded[i]));
      case StepKind::Return:
        if (row < rows.size()) {
          return mismatch(
              K::MissingInstruction, tile, i,
              phase_detail::describe_item(rows[row].timeline.items[item], rows[row].shift),
              "the return word");
        }
        if (i + 1 != decoded.size()) {
          return mismatch(K::Framing, tile, i + 1, "nothing after the return word",
                          describe(decoded[i + 1]));
        }
        if (clock != last_horizon) {
          return mismatch(K::Return, tile, i,
                          "return word issuing at cycle " + number(last_horizon),
                          "return word issuing at cycle " + number(clock));
        }
        return std::nullopt;
      case StepKind::Item: {
        if (row >= rows.size()) {
          return mismatch(K::ExtraInstruction, tile, i,
                          "return word issuing at cycle " + number(last_horizon),
                          phase_detail::describe_item(step.item));
        }
        const ExpectedRow& expected = rows[row];
        if (item == 0 && row > 0 && expected.start < rows[row - 1].horizon) {
          return mismatch(K::Overlap, tile, i,
                          row_name(expected) + " starting at or after cycle " +
                              number(rows[row - 1].horizon) + ", where " + row_name(rows[row - 1]) +
                              " ends",
                          row_name(expected) + " starting at cycle " + number(expected.start));
        }
        const TimedItem& wanted = expected.timeline.items[item];
        if (!phase_detail::same_item(wanted, expected.shift, step.item)) {
          return mismatch(K::Instruction, tile, i,
                          phase_detail::describe_item(wanted, expected.shift),
                          phase_detail::describe_item(step.item));
        }
        if (++item == expected.timeline.size) {
          item = 0;
          ++row;
        }
        break;
      }
    }
    clock += step.advance;
    i += step.words;
  }
  return mismatch(K::Framing, tile, decoded.size(), "return word", "the end of the program");
}

}  // namespace

std::string_view phase_mismatch_kind_name(PhaseMismatchKind kind) noexcept {
  switch (kind) {
    case PhaseMismatchKind::Program:
      return "program";
    case PhaseMismatchKind::Framing:
      return "framing";
    case PhaseMismatchKind::Word:
      return "word";
    case PhaseMismatchKind::PlacedRow:
      return "placed row";
    case PhaseMismatchKind::Overlap:
      return "overlap";
    case PhaseMismatchKind::Instruction:
      return "instruction";
    case PhaseMismatchKind::MissingInstruction:
      return "missing instruction";
    case PhaseMismatchKind::ExtraInstruction:
      return "extra instruction";
    case PhaseMismatchKind::Return:
      return "return";
    case PhaseMismatchKind::ClockOverflow:
      return "clock overflow";
  }
  return "unknown";
}

std::string describe(const PhaseMismatch& mismatch) {
  std::string out(phase_mismatch_kind_name(mismatch.kind));
  out += " mismatch on tile ";
  detail::append_unsigned(out, mismatch.tile);
  out += " at word ";
  detail::append_unsigned(out, mismatch.word);
  out += ": expected ";
  out += mismatch.expected;
  out += ", found ";
  out += mismatch.found;
  return out;
}

std::optional<PhaseMismatch> check_phase(std::span<const TileProgram> programs,
                                         std::span<const PlacedTransfer> transfers) {
  auto rows = expected_rows(transfers);
  if (!rows) return rows.error();
  std::map<std::uint16_t, const TileProgram*> by_tile;
  for (const TileProgram& program : programs) {
    if (!by_tile.emplace(program.tile, &program).second) {
      return mismatch(PhaseMismatchKind::Program, program.tile, 0, "one program for the tile",
                      "a second program");
    }
  }
  // Tiles in ascending order, whether they hold rows, a program or both.
  auto row_it = rows->begin();
  auto program_it = by_tile.begin();
  while (row_it != rows->end() || program_it != by_tile.end()) {
    const bool take_rows = row_it != rows->end() &&
                           (program_it == by_tile.end() || row_it->first <= program_it->first);
    const bool take_program = program_it != by_tile.end() &&
                              (row_it == rows->end() || program_it->first <= row_it->first);
    const std::uint16_t tile = take_rows ? row_it->first : program_it->first;
    std::span<const ExpectedRow> tile_rows;
    if (take_rows) tile_rows = row_it->second;
    if (!take_program) {
      return mismatch(PhaseMismatchKind::Program, tile, 0, "a program for the tile's rows",
                      "no program");
    }
    if (auto found = check_program(tile, program_it->second->words, tile_rows)) return found;
    if (take_rows) ++row_it;
    ++program_it;
  }
  return std::nullopt;
}

}  // namespace zerin::exchange
