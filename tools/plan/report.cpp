#include "report.hpp"

#include <algorithm>
#include <charconv>

#include "json.hpp"

namespace zerin::plan {
namespace {

namespace zx = zerin::exchange;

std::string decimal(std::uint64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

void pad_left(std::string& out, const std::string& text, std::size_t width) {
  if (text.size() < width) out.append(width - text.size(), ' ');
  out += text;
}

void pad_right(std::string& out, const std::string& text, std::size_t width) {
  out += text;
  if (text.size() < width) out.append(width - text.size(), ' ');
}

std::string tile_list(const std::vector<std::uint16_t>& tiles) {
  std::string out;
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    if (i != 0) out += ", ";
    out += decimal(tiles[i]);
  }
  return out;
}

std::string words_phrase(std::uint32_t count) {
  return decimal(count) + (count == 1 ? " word" : " words");
}

}  // namespace

std::string heading(const Report& report) {
  const std::string count = report.count ? words_phrase(*report.count) : std::string{};
  const std::string sender = report.sender_logical ? decimal(*report.sender_logical) : "?";
  if (report.command == "p2p") {
    return "p2p: tile " + sender + " sends " + count + " to tile " +
           tile_list(report.receivers_logical);
  }
  if (report.command == "multicast") {
    return "multicast: tile " + sender + " sends " + count + " to tiles " +
           tile_list(report.receivers_logical) + ", schedule offset " +
           decimal(report.offset.value_or(0));
  }
  if (report.command == "paired") {
    return "paired: tile " + sender + " sends " + count + " in 64-bit pairs to tiles " +
           tile_list(report.receivers_logical);
  }
  return "timing: sender row at schedule offset " + decimal(report.offset.value_or(0));
}

namespace {

std::string_view role_name(RowRole role) {
  return role == RowRole::Sender ? "sender" : "receiver";
}

std::string row_title(const RowReport& row) {
  std::string out{role_name(row.role)};
  if (row.logical) {
    out += ' ';
    out += decimal(*row.logical);
  }
  if (row.physical) {
    out += " (physical ";
    out += decimal(*row.physical);
    out += ')';
  }
  return out;
}

void write_fields(JsonWriter& json, const zx::DecodedInstruction& word) {
  json.begin_object();
  for (const zx::DecodedField& field : word.fields()) json.member(field.name, field.value);
  json.end_object();
}

// The members every decoded word carries in JSON.
// `issue` is the word's issue cycle in a row (absent: null; decode has none).
void write_word(JsonWriter& json, std::size_t index, const zx::DecodedInstruction& d,
                const std::optional<std::uint64_t>* issue) {
  json.begin_object();
  json.member("index", std::uint64_t{index});
  json.member("word", word_hex(d.word));
  json.member("kind", zx::word_kind_name(d.kind));
  json.member("text", zx::describe(d));
  if (issue) {
    json.key("issue_cycle");
    *issue ? json.value(**issue) : json.null();
  }
  json.member("duration_cycles", d.advance);
  json.key("fields");
  write_fields(json, d);
  json.end_object();
}

void write_timing(JsonWriter& json, const zx::TimingResult& timing) {
  json.begin_object();
  if (timing) {
    json.member("payload_start", timing->payload_start);
    json.member("payload_end", timing->payload_end);
    json.member("horizon", timing->horizon);
  } else {
    json.member("error", zx::to_string(timing.error()));
    json.member("debug", zx::debug_string(timing.error()));
  }
  json.end_object();
}

}  // namespace

std::string word_hex(std::uint32_t word) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string out = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) out += digits[(word >> shift) & 0xF];
  return out;
}

std::vector<TimedWord> time_row(std::span<const std::uint32_t> row, std::uint32_t start) {
  std::vector<TimedWord> out;
  std::uint64_t clock = start;
  bool ended = false;
  const auto decoded = zx::decode_row(row);
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    TimedWord word{i, decoded[i], std::nullopt};
    if (!ended) {
      word.issue = clock;
      clock += decoded[i].advance;
      ended = decoded[i].kind == zx::WordKind::Return;
    }
    out.push_back(word);
  }
  return out;
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
  std::size_t text_width = std::string_view{"instruction"}.size();
  for (const RowReport& row : report.rows) {
    for (const TimedWord& word : row.words) {
      text_width = std::max(text_width, zx::describe(word.decoded).size());
    }
  }
  std::string out = heading(report) + "\n";
  for (const RowReport& row : report.rows) {
    out += '\n';
    out += row_title(row);
    out += '\n';
    out += "  #  word        ";
    pad_right(out, "instruction", text_width);
    out += "   issue  cycles\n";
    for (const TimedWord& word : row.words) {
      out += "  " + decimal(word.index) + "  " + word_hex(word.decoded.word) + "  ";
      pad_right(out, zx::describe(word.decoded), text_width);
      if (word.issue) {
        pad_left(out, decimal(*word.issue), 8);
        pad_left(out, decimal(word.decoded.advance), 8);
      } else {
        out += "       -       -";
      }
      out += "\n";
    }
  }
  out += "\nsender timing: " + zx::debug_string(report.sender_timing) + "\n";
  return out;
}

std::string render_json(const Report& report) {
  std::string out;
  JsonWriter json(out);
  json.begin_object();
  json.member("command", report.command);
  if (report.sender_logical) json.member("sender", *report.sender_logical);
  if (report.command != "timing") {
    json.key("receivers");
    json.begin_array();
    for (const std::uint16_t tile : report.receivers_logical) json.value(tile);
    json.end_array();
  }
  if (report.count) json.member("count", *report.count);
  if (report.offset) json.member("offset", *report.offset);
  json.key("rows");
  json.begin_array();
  for (const RowReport& row : report.rows) {
    json.begin_object();
    json.member("role", role_name(row.role));
    json.key("logical");
    row.logical ? json.value(*row.logical) : json.null();
    json.key("physical");
    row.physical ? json.value(*row.physical) : json.null();
    json.key("words");
    json.begin_array();
    for (const TimedWord& word : row.words) write_word(json, word.index, word.decoded, &word.issue);
    json.end_array();
    json.end_object();
  }
  json.end_array();
  json.key("sender_timing");
  write_timing(json, report.sender_timing);
  json.end_object();
  out += '\n';
  return out;
}

std::string render_decode_text(std::span<const std::uint32_t> words) {
  const auto decoded = zx::decode_row(words);
  std::size_t text_width = std::string_view{"instruction"}.size();
  for (const auto& d : decoded) text_width = std::max(text_width, zx::describe(d).size());
  std::string out = "  #  word        ";
  pad_right(out, "instruction", text_width);
  out += "  cycles\n";
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    out += "  " + decimal(i) + "  " + word_hex(decoded[i].word) + "  ";
    pad_right(out, zx::describe(decoded[i]), text_width);
    pad_left(out, decimal(decoded[i].advance), 8);
    out += "\n";
  }
  return out;
}

std::string render_decode_json(std::span<const std::uint32_t> words) {
  std::string out;
  JsonWriter json(out);
  json.begin_object();
  json.member("command", "decode");
  json.key("words");
  json.begin_array();
  const auto decoded = zx::decode_row(words);
  for (std::size_t i = 0; i < decoded.size(); ++i) write_word(json, i, decoded[i], nullptr);
  json.end_array();
  json.end_object();
  out += '\n';
  return out;
}

namespace {

// The bit fields of a physical tile number on the board.
struct PhysicalFields {
  std::uint32_t slot, column, lane, odd_group, group;
};

PhysicalFields physical_fields(std::uint16_t physical) {
  PhysicalFields f{};
  f.odd_group = physical & 1u;
  f.lane = (physical >> 1) & 1u;
  f.column = (physical >> 2) & 0xFu;
  f.slot = physical >> 6;
  f.group = f.column * 2 + f.odd_group;
  return f;
}

}  // namespace

std::string render_tile_text(const zx::Topology& topology, std::uint16_t logical,
                             std::uint16_t physical, std::uint16_t partner) {
  const PhysicalFields f = physical_fields(physical);
  std::string out = "logical " + decimal(logical) + "\n";
  out += "physical " + decimal(physical) + " (0x" + word_hex(physical).substr(6) + ")\n";
  auto field = [&](std::string_view name, std::uint32_t value, std::string_view bits) {
    out += "  ";
    pad_right(out, std::string{name}, 10);
    pad_right(out, decimal(value), 5);
    out += bits;
    out += '\n';
  };
  field("slot", f.slot, "(bits 6 and up)");
  field("column", f.column, "(bits 2-5)");
  field("lane", f.lane, "(bit 1: 0 for the even logical tile of the pair)");
  field("odd group", f.odd_group, "(bit 0)");
  field("group", f.group, "(column * 2 + bit 0)");
  out += "partner logical " + decimal(partner);
  if (const auto p = topology.physical(partner)) out += " (physical " + decimal(*p) + ")";
  out += "\n";
  return out;
}

std::string render_tile_json(const zx::Topology& topology, std::uint16_t logical,
                             std::uint16_t physical, std::uint16_t partner) {
  const PhysicalFields f = physical_fields(physical);
  std::string out;
  JsonWriter json(out);
  json.begin_object();
  json.member("command", "tile");
  json.member("logical", logical);
  json.member("physical", physical);
  json.member("slot", f.slot);
  json.member("column", f.column);
  json.member("group", f.group);
  json.member("lane", f.lane);
  json.member("odd_group", f.odd_group);
  json.member("partner_logical", partner);
  json.key("partner_physical");
  if (const auto p = topology.physical(partner)) {
    json.value(*p);
  } else {
    json.null();
  }
  json.end_object();
  out += '\n';
  return out;
}

}  // namespace zerin::plan
