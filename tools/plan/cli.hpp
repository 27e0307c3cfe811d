// Command line of zerin-plan: a small, strict parser. Nothing is guessed: a value
// that does not fit its type, a non-number, a missing or surplus argument and an
// unknown option are all usage errors that name the argument.
#ifndef ZERIN_PLAN_CLI_HPP
#define ZERIN_PLAN_CLI_HPP

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zerin::plan {

enum class Command { Help, PointToPoint, Multicast, Paired, Timing, Decode, Tile };

struct Options {
  Command command = Command::Help;
  std::uint16_t sender = 0;              // p2p, multicast, paired
  std::vector<std::uint16_t> receivers;  // p2p (one), multicast, paired
  std::optional<std::uint32_t> count;    // plans
  std::optional<std::uint32_t> offset;   // multicast, timing
  std::vector<std::uint32_t> words;      // timing, decode
  std::uint16_t tile = 0;                // tile
  bool json = false;
  std::optional<std::string> svg_path;  // plans and timing
  bool verbose = false;
};

// A usage error: one line naming the argument, and the usage line of the
// command it concerns (or of the whole program).
struct UsageError {
  std::string message;
  std::string usage;
};

// Parses the arguments after the program name.
std::expected<Options, UsageError> parse_command_line(std::span<const std::string_view> args);

// The full help text (ends with a line feed).
std::string help_text();

// Numbers as the command line takes them: decimal, or hexadecimal after "0x".
// Words take hexadecimal with or without "0x". Each fails with a message
// fragment such as "'70000' does not fit 16 bits" or "'x' is not a number".
std::expected<std::uint64_t, std::string> parse_unsigned(std::string_view text, unsigned bits);
std::expected<std::uint32_t, std::string> parse_word(std::string_view text);

// `text` quoted for a one-line message: bytes outside printable ASCII become \xNN.
std::string quoted(std::string_view text);

}  // namespace zerin::plan

#endif  // ZERIN_PLAN_CLI_HPP
