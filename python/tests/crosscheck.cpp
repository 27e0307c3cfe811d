// Prints the C++ library's results for calls read from standard input, one
// line per call, for the Python tests to compare with the bindings' results.
//
//   p2p SENDER RECEIVER COUNT
//   mc SENDER COUNT OFFSET RECEIVER...
//   pmc SENDER COUNT RECEIVER...
//   prr SENDER RECEIVER COUNT MINIMUM_DOUBLE_MUX
//   early RECEIVER SENDER
//   timing OFFSET WORD...          (nine words)
//   decode WORD...
//
// Answers: "ok" and the rows' words as 8 hex digits (or the value), or "err"
// and the error's debug text. Timings are answered with the library's debug
// text of the timing result, decoded words with their descriptions joined by " | ".
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>
#include <zerin/exchange.hpp>

namespace zx = zerin::exchange;

namespace {

void put_row(std::string& out, const zx::ExchangeRow& row) {
  char word[12];
  for (const std::uint32_t value : row) {
    std::snprintf(word, sizeof word, " %08x", value);
    out += word;
  }
}

std::string error_line(const zx::ExchangeError& error) {
  return "err " + zx::debug_string(error);
}

std::string answer(const zx::Topology& topology, const std::string& line) {
  std::istringstream in(line);
  std::string kind;
  in >> kind;
  std::vector<long long> values;
  for (long long value = 0; in >> value;) values.push_back(value);
  auto u16 = [&](std::size_t i) { return static_cast<std::uint16_t>(values.at(i)); };
  auto u32 = [&](std::size_t i) { return static_cast<std::uint32_t>(values.at(i)); };
  auto tiles_from = [&](std::size_t first) {
    std::vector<std::uint16_t> tiles;
    for (std::size_t i = first; i < values.size(); ++i) tiles.push_back(u16(i));
    return tiles;
  };
  std::string out = "ok";
  if (kind == "p2p") {
    const auto plan = topology.point_to_point(u16(0), u16(1), u32(2));
    if (!plan) return error_line(plan.error());
    put_row(out, plan->sender);
    put_row(out, plan->receiver);
  } else if (kind == "mc" || kind == "pmc") {
    const auto plan = kind == "mc" ? topology.multicast(u16(0), tiles_from(3), u32(1), u32(2))
                                   : topology.paired_multicast(u16(0), tiles_from(2), u32(1));
    if (!plan) return error_line(plan.error());
    put_row(out, plan->sender);
    for (const zx::ExchangeRow& row : plan->receivers) put_row(out, row);
  } else if (kind == "prr") {
    const auto row = topology.paired_receiver_row(u16(0), u16(1), u32(2),
                                                  static_cast<std::int32_t>(values.at(3)));
    if (!row) return error_line(row.error());
    put_row(out, *row);
  } else if (kind == "early") {
    const auto early = topology.paired_receiver_is_early(u16(0), u16(1));
    if (!early) return error_line(early.error());
    out += *early ? " 1" : " 0";
  } else if (kind == "timing") {
    zx::ExchangeRow row{};
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = u32(i + 1);
    return zx::debug_string(zx::scheduled_sender_timing(row, u32(0)));
  } else if (kind == "decode") {
    std::vector<std::uint32_t> words;
    for (std::size_t i = 0; i < values.size(); ++i) words.push_back(u32(i));
    out.clear();
    for (const zx::DecodedInstruction& decoded : zx::decode_row(words)) {
      if (!out.empty()) out += " | ";
      out += zx::describe(decoded);
    }
  } else {
    return "unknown request " + kind;
  }
  return out;
}

}  // namespace

int main() {
  const zx::Topology topology = zx::Topology::r470();
  std::string line;
  std::string out;
  while (std::getline(std::cin, line)) {
    out += answer(topology, line);
    out += '\n';
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
