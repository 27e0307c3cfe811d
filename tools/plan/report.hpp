// What zerin-plan shows of a plan: every row decoded and timed word by word,
// and the sender row's payload timing; written as tables, JSON or SVG.
#ifndef ZERIN_PLAN_REPORT_HPP
#define ZERIN_PLAN_REPORT_HPP

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zerin/exchange.hpp"

namespace zerin::plan {

// One word of a row and when it runs.
struct TimedWord {
  std::size_t index = 0;
  exchange::DecodedInstruction decoded;
  // What the tables, JSON and SVG call the word: the decoder's kind name and
  // text, unless the row gives the word a meaning of its own.
  std::string kind;
  std::string text;
  // Cycle at which the word issues; absent for the zero fill after the return
  // word, which is not part of the row's programme. Kept wide so that a row
  // placed late shows its true cycles instead of wrapped ones.
  std::optional<std::uint64_t> issue;
};

enum class RowRole { Sender, Receiver };

struct RowReport {
  RowRole role = RowRole::Sender;
  std::optional<std::uint16_t> logical;
  std::optional<std::uint16_t> physical;
  std::vector<TimedWord> words;
};

struct Report {
  std::string command;  // "p2p", "multicast", "paired", "timing"
  // The request, for the heading and the JSON document.
  std::optional<std::uint16_t> sender_logical;
  std::vector<std::uint16_t> receivers_logical;
  std::optional<std::uint32_t> count;
  std::optional<std::uint32_t> offset;
  std::vector<RowReport> rows;  // sender first, then the receivers in request order
  exchange::TimingResult sender_timing = exchange::ScheduledPayloadTiming{};
};

// Decodes `row` and gives every word of its programme its issue cycle, the clock
// starting at `start` with the first word.
std::vector<TimedWord> time_row(std::span<const std::uint32_t> row, std::uint32_t start);

// Decodes words without timing them (`decode`): no issue cycles.
std::vector<TimedWord> decode_words(std::span<const std::uint32_t> words);

// The row report of a tile (its physical number looked up when it is a tile).
RowReport make_row(const exchange::Topology& topology, RowRole role,
                   std::optional<std::uint16_t> logical, const exchange::ExchangeRow& row,
                   std::uint32_t start);

// A point-to-point receiver row starts with the value 1, before its sync word.
// Alone it decodes as an unknown word; in that row it is named for what it is.
void mark_p2p_receiver_lead(RowReport& row);

// One line naming the request, e.g. "p2p: tile 0 sends 1 word to tile 1".
std::string heading(const Report& report);
// The human tables (report.cpp).
std::string render_text(const Report& report);
std::string render_decode_text(std::span<const std::uint32_t> words);
std::string render_tile_text(const exchange::Topology& topology, std::uint16_t logical,
                             std::uint16_t physical, std::uint16_t partner);

// One JSON document each, ending with a line feed (json.cpp).
std::string render_json(const Report& report);
std::string render_decode_json(std::span<const std::uint32_t> words);
std::string render_tile_json(const exchange::Topology& topology, std::uint16_t logical,
                             std::uint16_t physical, std::uint16_t partner);

// The timing diagram: one lane per row (svg.cpp).
std::string render_svg(const Report& report);

// The bit fields of a physical tile number on the board.
struct PhysicalFields {
  std::uint32_t slot, column, lane, odd_group, group;
};
PhysicalFields physical_fields(std::uint16_t physical);

// "sender" or "receiver".
std::string_view role_name(RowRole role);

// "0x41800003": a word as the tables and JSON show it.
std::string word_hex(std::uint32_t word);

}  // namespace zerin::plan

#endif  // ZERIN_PLAN_REPORT_HPP
