#include "phase.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <limits>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "cli.hpp"
#include "report.hpp"

namespace zerin::plan {
namespace {

namespace zx = zerin::exchange;
using json = nlohmann::json;

constexpr int exit_refused = 1;
constexpr int exit_usage = 2;

// ---- Reading the files -------------------------------------------------------

using Fail = std::unexpected<std::string>;

std::expected<std::uint64_t, std::string> read_unsigned(const json& value, unsigned bits,
                                                        const std::string& path) {
  const std::uint64_t limit =
      bits >= 64 ? std::numeric_limits<std::uint64_t>::max() : (std::uint64_t{1} << bits) - 1;
  if (!value.is_number_integer() ||
      (value.is_number_integer() && !value.is_number_unsigned() && value.get<std::int64_t>() < 0)) {
    return Fail(path + ": expected an unsigned integer of at most " + std::to_string(bits) +
                " bits");
  }
  const auto number = value.get<std::uint64_t>();
  if (number > limit) {
    return Fail(path + ": " + std::to_string(number) + " does not fit " + std::to_string(bits) +
                " bits");
  }
  return number;
}

// Every key of `object` must be one of `known`.
std::expected<void, std::string> only_fields(const json& object,
                                             std::initializer_list<std::string_view> known,
                                             const std::string& path) {
  for (const auto& [key, value] : object.items()) {
    if (std::ranges::find(known, key) == known.end()) {
      return Fail(path + ": unknown field " + plan::quoted(key));
    }
  }
  return {};
}

std::expected<PhaseEntry, std::string> read_entry(const json& value, const std::string& path,
                                                  bool at_required) {
  if (!value.is_object()) return Fail(path + ": expected an object");
  if (auto known = only_fields(value, {"kind", "sender", "receivers", "count", "at"}, path);
      !known) {
    return Fail(known.error());
  }
  for (const char* field : {"kind", "sender", "receivers", "count"}) {
    if (!value.contains(field)) return Fail(path + "." + field + ": missing");
  }
  PhaseEntry entry;
  const json& kind = value["kind"];
  if (kind == "multicast") {
    entry.transfer.kind = zx::TransferKind::Multicast;
  } else if (kind == "paired") {
    entry.transfer.kind = zx::TransferKind::PairedMulticast;
  } else {
    return Fail(path + ".kind: expected \"multicast\" or \"paired\"");
  }
  auto sender = read_unsigned(value["sender"], 16, path + ".sender");
  if (!sender) return Fail(sender.error());
  entry.transfer.sender = static_cast<std::uint16_t>(*sender);
  const json& receivers = value["receivers"];
  if (!receivers.is_array()) return Fail(path + ".receivers: expected a list of tiles");
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    auto tile = read_unsigned(receivers[i], 16, path + ".receivers[" + std::to_string(i) + "]");
    if (!tile) return Fail(tile.error());
    entry.transfer.receivers.push_back(static_cast<std::uint16_t>(*tile));
  }
  auto count = read_unsigned(value["count"], 32, path + ".count");
  if (!count) return Fail(count.error());
  entry.transfer.count = static_cast<std::uint32_t>(*count);
  if (value.contains("at")) {
    auto at = read_unsigned(value["at"], 32, path + ".at");
    if (!at) return Fail(at.error());
    entry.at = static_cast<std::uint32_t>(*at);
  } else if (at_required) {
    return Fail(path + ".at: missing");
  }
  return entry;
}

std::expected<std::vector<PhaseEntry>, std::string> read_entries(const json& list,
                                                                 bool at_required) {
  if (!list.is_array()) return Fail("transfers: expected a list of transfers");
  std::vector<PhaseEntry> out;
  for (std::size_t i = 0; i < list.size(); ++i) {
    auto entry = read_entry(list[i], "transfers[" + std::to_string(i) + "]", at_required);
    if (!entry) return Fail(entry.error());
    out.push_back(std::move(*entry));
  }
  return out;
}

std::expected<json, std::string> parse_json(std::string_view text) {
  json document = json::parse(text, nullptr, false);
  if (document.is_discarded()) return Fail("not a JSON document");
  return document;
}

std::expected<std::uint32_t, std::string> read_word(const json& value, const std::string& path) {
  if (value.is_string()) {
    auto word = parse_word(value.get<std::string>());
    if (!word) return Fail(path + ": " + word.error());
    return *word;
  }
  auto word = read_unsigned(value, 32, path);
  if (!word) return Fail(path + ": expected a 32-bit word, a number or hexadecimal text");
  return static_cast<std::uint32_t>(*word);
}

// ---- Running -----------------------------------------------------------------

std::expected<std::string, std::string> read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return Fail("cannot read " + plan::quoted(path) + ": " + std::strerror(errno));
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string hex(std::uint32_t word) {
  std::ostringstream out;
  out << "0x" << std::hex << std::uppercase << std::setw(8) << std::setfill('0') << word;
  return out.str();
}

std::string kind_name(zx::TransferKind kind) {
  return kind == zx::TransferKind::Multicast ? "multicast" : "paired";
}

std::string tiles_text(const std::vector<std::uint16_t>& tiles) {
  std::string out;
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    if (i) out += ',';
    out += std::to_string(tiles[i]);
  }
  return out;
}

std::string placement_text(std::size_t index, const zx::PlacedTransfer& placed) {
  const zx::Transfer& t = placed.transfer;
  std::string out = "transfer " + std::to_string(index) + ": " + kind_name(t.kind) + " from tile " +
                    std::to_string(t.sender) + " to " + tiles_text(t.receivers) + ", " +
                    std::to_string(t.count) + (t.count == 1 ? " word" : " words") + ", at cycle " +
                    std::to_string(placed.at) + "\n";
  for (std::size_t i = 0; i < placed.rows.size(); ++i) {
    const zx::PlacedRow& row = placed.rows[i];
    out += "  tile " + std::to_string(row.tile) + (i == 0 ? " sends" : " receives") + ": cycles " +
           std::to_string(row.start) + " to " + std::to_string(row.horizon) + "\n";
  }
  return out;
}

std::string program_text(const zx::TileProgram& program) {
  std::string out = "tile " + std::to_string(program.tile) + ": " +
                    std::to_string(program.words.size()) + " words\n";
  out += "     #  word        issue  instruction\n";
  for (const TimedWord& word : time_row(program.words, 0)) {
    std::ostringstream line;
    line << std::setw(6) << word.index << "  " << hex(word.decoded.word) << "  " << std::setw(6)
         << (word.issue ? std::to_string(*word.issue) : "") << "  " << zx::describe(word.decoded)
         << "\n";
    out += line.str();
  }
  return out;
}

json placement_json(const zx::PlacedTransfer& placed) {
  json rows = json::array();
  for (const zx::PlacedRow& row : placed.rows) {
    rows.push_back({{"tile", row.tile}, {"start", row.start}, {"horizon", row.horizon}});
  }
  return {{"kind", kind_name(placed.transfer.kind)},
          {"sender", placed.transfer.sender},
          {"receivers", placed.transfer.receivers},
          {"count", placed.transfer.count},
          {"at", placed.at},
          {"rows", rows}};
}

json program_json(const zx::TileProgram& program) {
  json words = json::array();
  for (const TimedWord& word : time_row(program.words, 0)) {
    json entry = {{"word", hex(word.decoded.word)},
                  {"kind", zx::word_kind_name(word.decoded.kind)},
                  {"text", zx::describe(word.decoded)}};
    if (word.issue) entry["issue"] = *word.issue;
    words.push_back(std::move(entry));
  }
  return {{"tile", program.tile}, {"words", words}};
}

// One lane per tile that holds a row; each row a box from its start to its
// horizon, coloured and labelled by its transfer.
std::string phase_svg(const zx::Phase& phase) {
  const auto programs = phase.programs();
  const double width = 960;
  const double left = 80;
  const double lane = 22;
  const double top = 30;
  const double cycles = std::max<double>(1, phase.length());
  const double height = top + lane * static_cast<double>(programs.size()) + 30;
  auto x = [&](std::uint32_t cycle) { return left + (width - left - 20) * cycle / cycles; };
  std::ostringstream svg;
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
      << "\" font-family=\"monospace\" font-size=\"11\">\n"
      << "<title>exchange phase: " << phase.transfers().size() << " transfers, " << phase.length()
      << " cycles</title>\n";
  std::vector<std::uint16_t> lanes;
  for (std::size_t i = 0; i < programs.size(); ++i) {
    lanes.push_back(programs[i].tile);
    const double y = top + lane * static_cast<double>(i);
    svg << "<text x=\"4\" y=\"" << y + 14 << "\">tile " << programs[i].tile << "</text>\n";
    svg << "<line x1=\"" << left << "\" y1=\"" << y + lane << "\" x2=\"" << width - 20 << "\" y2=\""
        << y + lane << "\" stroke=\"#ddd\"/>\n";
  }
  const auto& transfers = phase.transfers();
  for (std::size_t t = 0; t < transfers.size(); ++t) {
    // Hues spread by the golden angle, so neighbouring transfers differ.
    const int hue = static_cast<int>((t * 137) % 360);
    for (std::size_t r = 0; r < transfers[t].rows.size(); ++r) {
      const zx::PlacedRow& row = transfers[t].rows[r];
      const auto it = std::ranges::lower_bound(lanes, row.tile);
      const double y = top + lane * static_cast<double>(it - lanes.begin()) + 3;
      svg << "<rect class=\"transfer-" << t << "\" x=\"" << x(row.start) << "\" y=\"" << y
          << "\" width=\"" << std::max(1.0, x(row.horizon) - x(row.start)) << "\" height=\""
          << lane - 6 << "\" fill=\"hsl(" << hue << ",60%," << (r == 0 ? 45 : 70)
          << "%)\"><title>transfer " << t << (r == 0 ? " send" : " receive") << ", cycles "
          << row.start << " to " << row.horizon << "</title></rect>\n";
    }
  }
  svg << "<text x=\"" << left << "\" y=\"" << height - 8 << "\">0</text>\n"
      << "<text x=\"" << width - 80 << "\" y=\"" << height - 8 << "\">" << phase.length()
      << " cycles</text>\n</svg>\n";
  return svg.str();
}

int refused(std::ostream& err, const std::string& what) {
  err << "zerin-plan: " << what << '\n';
  return exit_refused;
}

int bad_file(std::ostream& err, const std::string& file, const std::string& what) {
  err << "zerin-plan: " << file << ": " << what << '\n';
  return exit_usage;
}

}  // namespace

std::expected<PhaseFile, std::string> parse_phase_file(std::string_view text) {
  auto document = parse_json(text);
  if (!document) return Fail(document.error());
  PhaseFile out;
  const json* list = &*document;
  if (document->is_object()) {
    if (auto known = only_fields(*document, {"transfers", "maximum_cycles", "work_budget"}, "file");
        !known) {
      return Fail(known.error());
    }
    if (!document->contains("transfers")) return Fail("transfers: missing");
    list = &(*document)["transfers"];
    if (document->contains("maximum_cycles")) {
      auto maximum = read_unsigned((*document)["maximum_cycles"], 32, "maximum_cycles");
      if (!maximum) return Fail(maximum.error());
      out.options.maximum_cycles = static_cast<std::uint32_t>(*maximum);
    }
    if (document->contains("work_budget")) {
      auto budget = read_unsigned((*document)["work_budget"], 32, "work_budget");
      if (!budget) return Fail(budget.error());
      out.options.work_budget = static_cast<std::size_t>(*budget);
    }
  }
  auto entries = read_entries(*list, false);
  if (!entries) return Fail(entries.error());
  out.entries = std::move(*entries);
  return out;
}

std::expected<CheckFile, std::string> parse_check_file(std::string_view text) {
  auto document = parse_json(text);
  if (!document) return Fail(document.error());
  if (!document->is_object()) return Fail("expected an object with transfers and programs");
  if (auto known = only_fields(*document, {"transfers", "programs"}, "file"); !known) {
    return Fail(known.error());
  }
  for (const char* field : {"transfers", "programs"}) {
    if (!document->contains(field)) return Fail(std::string(field) + ": missing");
  }
  CheckFile out;
  auto entries = read_entries((*document)["transfers"], true);
  if (!entries) return Fail(entries.error());
  out.entries = std::move(*entries);
  const json& programs = (*document)["programs"];
  if (!programs.is_array()) return Fail("programs: expected a list of programs");
  for (std::size_t i = 0; i < programs.size(); ++i) {
    const std::string path = "programs[" + std::to_string(i) + "]";
    const json& program = programs[i];
    if (!program.is_object()) return Fail(path + ": expected an object");
    if (auto known = only_fields(program, {"tile", "words"}, path); !known) {
      return Fail(known.error());
    }
    if (!program.contains("tile")) return Fail(path + ".tile: missing");
    if (!program.contains("words")) return Fail(path + ".words: missing");
    auto tile = read_unsigned(program["tile"], 16, path + ".tile");
    if (!tile) return Fail(tile.error());
    const json& words = program["words"];
    if (!words.is_array()) return Fail(path + ".words: expected a list of words");
    zx::TileProgram read{static_cast<std::uint16_t>(*tile), {}};
    for (std::size_t w = 0; w < words.size(); ++w) {
      auto word = read_word(words[w], path + ".words[" + std::to_string(w) + "]");
      if (!word) return Fail(word.error());
      read.words.push_back(*word);
    }
    out.programs.push_back(std::move(read));
  }
  return out;
}

int run_phase_command(const PhaseCommandOptions& options, std::ostream& out, std::ostream& err) {
  const auto text = read_file(options.file);
  if (!text) return bad_file(err, options.file, text.error());
  const auto file = parse_phase_file(*text);
  if (!file) return bad_file(err, options.file, file.error());
  const zx::Topology topology = zx::Topology::r470();
  zx::Phase phase(topology, file->options);
  for (std::size_t i = 0; i < file->entries.size(); ++i) {
    const PhaseEntry& entry = file->entries[i];
    std::optional<zx::ExchangeError> error;
    if (entry.at) {
      if (auto placed = phase.add_at(entry.transfer, *entry.at); !placed) error = placed.error();
    } else if (auto placed = phase.add(entry.transfer); !placed) {
      error = placed.error();
    }
    if (error)
      return refused(err, "transfers[" + std::to_string(i) + "]: " + zx::to_string(*error));
  }
  const auto programs = phase.programs();
  if (options.svg_path) {
    std::ofstream svg(*options.svg_path, std::ios::binary | std::ios::trunc);
    if (svg) svg << phase_svg(phase);
    if (!svg || !svg.flush()) {
      return refused(
          err, "cannot write " + plan::quoted(*options.svg_path) + ": " + std::strerror(errno));
    }
  }
  if (options.json) {
    json document = {
        {"length", phase.length()}, {"transfers", json::array()}, {"programs", json::array()}};
    for (const auto& placed : phase.transfers()) {
      document["transfers"].push_back(placement_json(placed));
    }
    for (const auto& program : programs) document["programs"].push_back(program_json(program));
    out << document.dump(2) << '\n';
    return 0;
  }
  out << "phase: " << phase.transfers().size() << " transfers on " << programs.size() << " tiles, "
      << phase.length() << " cycles\n";
  for (std::size_t i = 0; i < phase.transfers().size(); ++i) {
    out << '\n' << placement_text(i, phase.transfers()[i]);
  }
  for (const auto& program : programs) out << '\n' << program_text(program);
  return 0;
}

int run_check_command(const PhaseCommandOptions& options, std::ostream& out, std::ostream& err) {
  const auto text = read_file(options.file);
  if (!text) return bad_file(err, options.file, text.error());
  const auto file = parse_check_file(*text);
  if (!file) return bad_file(err, options.file, file.error());
  const zx::Topology topology = zx::Topology::r470();
  std::vector<zx::PlacedTransfer> placed;
  for (std::size_t i = 0; i < file->entries.size(); ++i) {
    auto one = zx::place_transfer(topology, file->entries[i].transfer, *file->entries[i].at);
    if (!one) {
      return refused(err, "transfers[" + std::to_string(i) + "]: " + zx::to_string(one.error()));
    }
    placed.push_back(std::move(*one));
  }
  const auto mismatch = zx::check_phase(file->programs, placed);
  if (options.json) {
    json document = {{"ok", !mismatch}};
    if (mismatch) {
      document["mismatch"] = {{"kind", zx::phase_mismatch_kind_name(mismatch->kind)},
                              {"tile", mismatch->tile},
                              {"word", mismatch->word},
                              {"expected", mismatch->expected},
                              {"found", mismatch->found}};
    }
    out << document.dump(2) << '\n';
  } else if (mismatch) {
    out << zx::describe(*mismatch) << '\n';
  } else {
    out << "ok: " << file->programs.size() << " programs carry out " << placed.size()
        << " transfers\n";
  }
  return mismatch ? exit_refused : 0;
}

}  // namespace zerin::plan
