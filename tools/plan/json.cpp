// zerin-plan's JSON documents, written with nlohmann::json. Members keep the
// order in which they are set (ordered_json), so documents read the same from
// one run to the next.
#include <nlohmann/json.hpp>

#include "report.hpp"

namespace zerin::plan {
namespace {

namespace zx = zerin::exchange;
using Json = nlohmann::ordered_json;

// A word's fields, named as in word_format.
Json json_fields(const zx::DecodedFields& fields) {
  return std::visit(
      [](const auto& f) -> Json {
        using T = std::decay_t<decltype(f)>;
        if constexpr (std::is_same_v<T, zx::decoded::ExchangeDelay>) {
          return {{"cycles", f.cycles}};
        } else if constexpr (std::is_same_v<T, zx::decoded::PicDelay>) {
          return {{"advance", f.advance}, {"selector", f.selector}, {"control", f.control}};
        } else if constexpr (std::is_same_v<T, zx::decoded::XpicDelay>) {
          return {{"advance", f.advance}, {"flag", f.flag}, {"control", f.control}};
        } else if constexpr (std::is_same_v<T, zx::decoded::Send> ||
                             std::is_same_v<T, zx::decoded::SendOff>) {
          return {{"count_minus_one", f.count_minus_one},
                  {"direction", f.direction},
                  {"base_word", f.base_word}};
        } else if constexpr (std::is_same_v<T, zx::decoded::SendControl>) {
          return {{"count_minus_one", f.count_minus_one}, {"direction", f.direction}};
        } else if constexpr (std::is_same_v<T, zx::decoded::SendPicp>) {
          return {{"pointer_selector", f.pointer_selector},
                  {"count_minus_one", f.count_minus_one},
                  {"source_word_address", f.source_word_address},
                  {"send_control", f.send_control}};
        } else if constexpr (std::is_same_v<T, zx::decoded::SendPicpPayload>) {
          return {{"xpic_flag", f.xpic_flag},
                  {"xpic_control", f.xpic_control},
                  {"pic_control", f.pic_control}};
        } else {
          return Json::object();
        }
      },
      fields);
}

// The members every word carries; `timed` adds the issue cycle (null for the zero fill).
Json json_word(const TimedWord& word, bool timed) {
  Json out;
  out["index"] = word.index;
  out["word"] = word_hex(word.decoded.word);
  out["kind"] = word.kind;
  out["text"] = word.text;
  if (timed) out["issue_cycle"] = word.issue ? Json(*word.issue) : Json(nullptr);
  out["duration_cycles"] = word.decoded.advance;
  out["fields"] = json_fields(word.decoded.fields);
  return out;
}

Json json_timing(const zx::TimingResult& timing) {
  if (!timing) {
    return {{"error", zx::to_string(timing.error())}, {"debug", zx::debug_string(timing.error())}};
  }
  return {{"payload_start", timing->payload_start},
          {"payload_end", timing->payload_end},
          {"horizon", timing->horizon}};
}

// Compact, one line; bytes that are not UTF-8 (none come from the library) become U+FFFD.
std::string document(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string render_json(const Report& report) {
  Json out;
  out["command"] = report.command;
  if (report.sender_logical) out["sender"] = *report.sender_logical;
  if (report.command != "timing") out["receivers"] = report.receivers_logical;
  if (report.count) out["count"] = *report.count;
  if (report.offset) out["offset"] = *report.offset;
  Json rows = Json::array();
  for (const RowReport& row : report.rows) {
    Json words = Json::array();
    for (const TimedWord& word : row.words) words.push_back(json_word(word, true));
    rows.push_back({{"role", role_name(row.role)},
                    {"logical", row.logical ? Json(*row.logical) : Json(nullptr)},
                    {"physical", row.physical ? Json(*row.physical) : Json(nullptr)},
                    {"words", std::move(words)}});
  }
  out["rows"] = std::move(rows);
  out["sender_timing"] = json_timing(report.sender_timing);
  return document(out);
}

std::string render_decode_json(std::span<const std::uint32_t> words) {
  Json list = Json::array();
  for (const TimedWord& word : decode_words(words)) list.push_back(json_word(word, false));
  return document({{"command", "decode"}, {"words", std::move(list)}});
}

std::string render_tile_json(const zx::Topology& topology, std::uint16_t logical,
                             std::uint16_t physical, std::uint16_t partner) {
  const PhysicalFields f = physical_fields(physical);
  const auto partner_physical = topology.physical(partner);
  return document(
      {{"command", "tile"},
       {"logical", logical},
       {"physical", physical},
       {"slot", f.slot},
       {"column", f.column},
       {"group", f.group},
       {"lane", f.lane},
       {"odd_group", f.odd_group},
       {"partner_logical", partner},
       {"partner_physical", partner_physical ? Json(*partner_physical) : Json(nullptr)}});
}

}  // namespace zerin::plan
