#include "report.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <algorithm>
#include <iterator>

namespace zerin::plan {
namespace {

namespace zx = zerin::exchange;

// "tile 1" or "tiles 2, 3".
std::string tiles_phrase(const std::vector<std::uint16_t>& tiles) {
  return fmt::format("{} {}", tiles.size() == 1 ? "tile" : "tiles", fmt::join(tiles, ", "));
}

std::string words_phrase(std::uint32_t count) {
  return fmt::format("{} {}", count, count == 1 ? "word" : "words");
}

// The widths of a word table's columns, wide enough for every line of every
// table of one report, so that columns never run together and line up
// from one row to the next.
struct Columns {
  std::size_t index = 1;  // "#"
  std::size_t text = std::string_view{"instruction"}.size();
  std::size_t issue = 6;  // at least " issue"
  std::size_t cycles = 6;
};

std::size_t digits(std::uint64_t value) {
  return fmt::formatted_size("{}", value);
}

void widen(Columns& columns, const TimedWord& word) {
  columns.index = std::max(columns.index, digits(word.index));
  columns.text = std::max(columns.text, word.text.size());
  if (word.issue) columns.issue = std::max(columns.issue, digits(*word.issue));
  columns.cycles = std::max(columns.cycles, digits(word.decoded.advance));
}

void write_header(std::string& out, const Columns& c, bool with_issue) {
  fmt::format_to(std::back_inserter(out), "  {:>{}}  word        {:<{}}", "#", c.index,
                 "instruction", c.text);
  if (with_issue) fmt::format_to(std::back_inserter(out), "  {:>{}}", "issue", c.issue);
  fmt::format_to(std::back_inserter(out), "  {:>{}}\n", "cycles", c.cycles);
}

// One word; a word without an issue cycle (the zero fill) shows '-' for both numbers.
void write_line(std::string& out, const Columns& c, const TimedWord& word, bool with_issue) {
  fmt::format_to(std::back_inserter(out), "  {:>{}}  {}  {:<{}}", word.index, c.index,
                 word_hex(word.decoded.word), word.text, c.text);
  if (!with_issue) {
    fmt::format_to(std::back_inserter(out), "  {:>{}}\n", word.decoded.advance, c.cycles);
  } else if (word.issue) {
    fmt::format_to(std::back_inserter(out), "  {:>{}}  {:>{}}\n", *word.issue, c.issue,
                   word.decoded.advance, c.cycles);
  } else {
    fmt::format_to(std::back_inserter(out), "  {:>{}}  {:>{}}\n", "-", c.issue, "-", c.cycles);
  }
}

TimedWord untimed(std::size_t index, const zx::DecodedInstruction& decoded) {
  return TimedWord{index, decoded, std::string{zx::word_kind_name(decoded.kind)},
                   zx::describe(decoded), std::nullopt};
}

std::string row_title(const RowReport& row) {
  std::string out{role_name(row.role)};
  if (row.logical) fmt::format_to(std::back_inserter(out), " {}", *row.logical);
  if (row.physical) fmt::format_to(std::back_inserter(out), " (physical {})", *row.physical);
  return out;
}

}  // namespace

std::string_view role_name(RowRole role) {
  return role == RowRole::Sender ? "sender" : "receiver";
}

std::string word_hex(std::uint32_t word) {
  return fmt::format("0x{:08X}", word);
}

std::string heading(const Report& report) {
  const std::string count = report.count ? words_phrase(*report.count) : std::string{};
  const std::string sender =
      report.sender_logical ? fmt::format("{}", *report.sender_logical) : "?";
  if (report.command == "p2p") {
    return fmt::format("p2p: tile {} sends {} to {}", sender, count,
                       tiles_phrase(report.receivers_logical));
  }
  if (report.command == "multicast") {
    return fmt::format("multicast: tile {} sends {} to {}, schedule offset {}", sender, count,
                       tiles_phrase(report.receivers_logical), report.offset.value_or(0));
  }
  if (report.command == "paired") {
    return fmt::format("paired: tile {} sends {} in 64-bit pairs to {}", sender, count,
                       tiles_phrase(report.receivers_logical));
  }
  return fmt::format("timing: sender row at schedule offset {}", report.offset.value_or(0));
}

std::vector<TimedWord> time_row(std::span<const std::uint32_t> row, std::uint32_t start) {
  std::vector<TimedWord> out;
  std::uint64_t clock = start;
  bool ended = false;
  const auto decoded = zx::decode_row(row);
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    TimedWord word = untimed(i, decoded[i]);
    if (!ended) {
      word.issue = clock;
      clock += decoded[i].advance;
      ended = decoded[i].kind == zx::WordKind::Return;
    }
    out.push_back(std::move(word));
  }
  return out;
}

void mark_p2p_receiver_lead(RowReport& row) {
  if (row.words.empty() || row.words[0].decoded.word != 1) return;
  row.words[0].kind = "p2p-receiver-lead";
  row.words[0].text = "lead 1 (p2p receiver, before sync)";
}

RowReport make_row(const zx::Topology& topology, RowRole role, std::optional<std::uint16_t> logical,
                   const zx::ExchangeRow& row, std::uint32_t start) {
  RowReport out;
  out.role = role;
  out.logical = logical;
  if (logical) {
    if (const auto physical = topology.physical(*logical)) out.physical = *physical;
  }
  out.words = time_row(row, start);
  return out;
}

std::string render_text(const Report& report) {
  Columns columns;
  for (const RowReport& row : report.rows) {
    for (const TimedWord& word : row.words) widen(columns, word);
  }
  std::string out = heading(report) + "\n";
  for (const RowReport& row : report.rows) {
    out += '\n';
    out += row_title(row);
    out += '\n';
    write_header(out, columns, true);
    for (const TimedWord& word : row.words) write_line(out, columns, word, true);
  }
  out += "\nsender timing: " + zx::debug_string(report.sender_timing) + "\n";
  return out;
}

std::vector<TimedWord> decode_words(std::span<const std::uint32_t> words) {
  const auto decoded = zx::decode_row(words);
  std::vector<TimedWord> out;
  for (std::size_t i = 0; i < decoded.size(); ++i) out.push_back(untimed(i, decoded[i]));
  return out;
}

std::string render_decode_text(std::span<const std::uint32_t> words) {
  const std::vector<TimedWord> lines = decode_words(words);
  Columns columns;
  for (const TimedWord& line : lines) widen(columns, line);
  std::string out;
  write_header(out, columns, false);
  for (const TimedWord& line : lines) write_line(out, columns, line, false);
  return out;
}

PhysicalFields physical_fields(std::uint16_t physical) {
  PhysicalFields f{};
  f.odd_group = physical & 1u;
  f.lane = (physical >> 1) & 1u;
  f.column = (physical >> 2) & 0xFu;
  f.slot = physical >> 6;
  f.group = f.column * 2 + f.odd_group;
  return f;
}

std::string render_tile_text(const zx::Topology& topology, std::uint16_t logical,
                             std::uint16_t physical, std::uint16_t partner) {
  const PhysicalFields f = physical_fields(physical);
  std::string out =
      fmt::format("logical {}\nphysical {} (0x{:04X})\n", logical, physical, physical);
  const auto field = [&](std::string_view name, std::uint32_t value, std::string_view bits) {
    fmt::format_to(std::back_inserter(out), "  {:<10}{:<5}{}\n", name, value, bits);
  };
  field("slot", f.slot, "(bits 6 and up)");
  field("column", f.column, "(bits 2-5)");
  field("lane", f.lane, "(bit 1: 0 for the even logical tile of the pair)");
  field("odd group", f.odd_group, "(bit 0)");
  field("group", f.group, "(column * 2 + bit 0)");
  fmt::format_to(std::back_inserter(out), "partner logical {}", partner);
  if (const auto p = topology.physical(partner)) {
    fmt::format_to(std::back_inserter(out), " (physical {})", *p);
  }
  out += "\n";
  return out;
}

}  // namespace zerin::plan
