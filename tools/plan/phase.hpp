// zerin-plan phase FILE.json and zerin-plan check FILE.json: a whole exchange
// phase of transfers laid as per-tile programs, and programs checked against
// the transfers they should carry out.
//
// FILE.json for `phase` is a list of transfers, or an object with that list
// under "transfers" (and optionally "maximum_cycles" and "work_budget"). A
// transfer is {"kind": "multicast" | "paired", "sender": TILE, "receivers":
// [TILE, ...], "count": N, "at": CYCLE (optional: placed at the earliest
// free cycle when absent)}. FILE.json for `check` is an object with
// "transfers" (each with its "at") and "programs": [{"tile": TILE, "words":
// [WORD, ...]}], a word being a number or a string of hexadecimal digits with
// or without "0x".
//
// Exit status: 0 success (the programs agree, for check); 1 a refused
// transfer, a mismatch, or an unwritable SVG file; 2 usage or a bad file (one
// line naming the entry and field).
#ifndef ZERIN_PLAN_PHASE_HPP
#define ZERIN_PLAN_PHASE_HPP

#include <cstdint>
#include <expected>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zerin/exchange.hpp"

namespace zerin::plan {

// What the phase and check subcommands take from the command line.
struct PhaseCommandOptions {
  std::string file;
  bool json = false;
  std::optional<std::string> svg_path;  // phase only
};

// One transfer of a phase file, with the cycle it asks for.
struct PhaseEntry {
  exchange::Transfer transfer;
  std::optional<std::uint32_t> at;
};

// A phase file read: its transfers and the phase's settings.
struct PhaseFile {
  std::vector<PhaseEntry> entries;
  exchange::PhaseOptions options;
};

// A check file read: placed transfers (every one with its cycle) and programs.
struct CheckFile {
  std::vector<PhaseEntry> entries;
  std::vector<exchange::TileProgram> programs;
};

// Reads a phase or check file's text. Fails with one line naming the entry and
// field, such as "transfers[2].count: expected an unsigned integer of at most 32 bits".
std::expected<PhaseFile, std::string> parse_phase_file(std::string_view text);
std::expected<CheckFile, std::string> parse_check_file(std::string_view text);

// The subcommands themselves: read the file, write the result to `out` and
// any error line (prefixed "zerin-plan: ") to `err`, return the exit status.
int run_phase_command(const PhaseCommandOptions& options, std::ostream& out, std::ostream& err);
int run_check_command(const PhaseCommandOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zerin::plan

#endif  // ZERIN_PLAN_PHASE_HPP
