// Command line of zerin-plan, on CLI11. Every subcommand is one entry of the
// table commands() returns: its name, help, arguments and what it runs. Nothing
// is guessed: a value that does not fit its type, a non-number, a missing or
// surplus argument, an unknown option and a single-valued option given twice
// are usage errors, one line naming the argument.
#ifndef ZERIN_PLAN_CLI_HPP
#define ZERIN_PLAN_CLI_HPP

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace CLI {
class App;
}

namespace zerin::plan {

// Everything any subcommand takes; each fills what its arguments name.
struct Options {
  std::uint16_t sender = 0;              // p2p, multicast, paired
  std::vector<std::uint16_t> receivers;  // p2p (one), multicast, paired
  std::uint32_t count = 0;               // plans
  std::optional<std::uint32_t> offset;   // multicast, timing
  std::vector<std::uint32_t> words;      // timing, decode
  std::uint16_t tile = 0;                // tile
  std::string file;                      // phase, check
  bool json = false;
  std::optional<std::string> svg_path;  // plans and timing
  bool verbose = false;
};

// What a command leaves for the program to print.
struct Output {
  std::string out;  // standard output
  std::string err;  // standard error: one "zerin-plan: ..." line per message
  int status = 0;   // 0 success, 1 planning error or unwritable file
};

// One subcommand. A new subcommand is one more entry in commands().
struct Subcommand {
  std::string_view name;
  std::string_view summary;  // one line of --help
  std::string_view usage;    // the arguments after the name, for error messages
  // Declares the subcommand's arguments and options, bound to `options`.
  void (*declare)(CLI::App& app, Options& options);
  void (*run)(const Options& options, Output& output);
};

std::span<const Subcommand> commands();

// A parsed command line: the command to run and its options.
struct Invocation {
  const Subcommand* command = nullptr;
  Options options;
};
// --help or --version: the text for standard output, exit status 0.
struct EarlyExit {
  std::string text;
};
// A usage error: one line naming the argument, and the usage line of the
// command it concerns (or of the whole program). Exit status 2.
struct UsageError {
  std::string message;
  std::string usage;
};

using ParsedCommandLine = std::variant<Invocation, EarlyExit, UsageError>;

// Parses the arguments after the program name.
ParsedCommandLine parse_command_line(std::span<const std::string_view> args);

// Numbers as the command line takes them: decimal, or hexadecimal after "0x".
// Words take hexadecimal with or without "0x". Each fails with a message
// fragment such as "'70000' does not fit 16 bits (0..65535)" or "'x' is not a number".
std::expected<std::uint64_t, std::string> parse_unsigned(std::string_view text, unsigned bits);
std::expected<std::uint32_t, std::string> parse_word(std::string_view text);

// `text` quoted for a one-line message: bytes outside printable ASCII become \xNN.
std::string quoted(std::string_view text);

}  // namespace zerin::plan

#endif  // ZERIN_PLAN_CLI_HPP
