#include "cli.hpp"

#include <charconv>

namespace zerin::plan {
namespace {

constexpr std::size_t row_words = 9;

struct CommandInfo {
  std::string_view name;
  Command command;
  std::string_view usage;
  bool takes_count;
  bool takes_offset;
  bool takes_svg;
};

constexpr CommandInfo commands[] = {
    {"p2p", Command::PointToPoint,
     "zerin-plan p2p SENDER RECEIVER --count N [--json] [--svg FILE] [--verbose]", true, false,
     true},
    {"multicast", Command::Multicast,
     "zerin-plan multicast SENDER R1,R2,... --count N [--offset K] [--json] [--svg FILE] "
     "[--verbose]",
     true, true, true},
    {"paired", Command::Paired,
     "zerin-plan paired SENDER R1,R2,... --count N [--json] [--svg FILE] [--verbose]", true, false,
     true},
    {"timing", Command::Timing, "zerin-plan timing WORD... [--offset K] [--json] [--svg FILE]",
     false, true, true},
    {"decode", Command::Decode, "zerin-plan decode WORD... [--json]", false, false, false},
    {"tile", Command::Tile, "zerin-plan tile LOGICAL [--json]", false, false, false},
};

constexpr std::string_view program_usage =
    "zerin-plan p2p|multicast|paired|timing|decode|tile ... (zerin-plan --help for more)";

const CommandInfo* find_command(std::string_view name) {
  for (const CommandInfo& info : commands) {
    if (info.name == name) return &info;
  }
  return nullptr;
}

std::string hint(const CommandInfo* info) {
  return std::string{info ? info->usage : program_usage};
}

std::unexpected<UsageError> fail(const CommandInfo* info, std::string message) {
  return std::unexpected(UsageError{std::move(message), hint(info)});
}

}  // namespace

std::string quoted(std::string_view text) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out = "'";
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '\'') {
      out += ch;
    } else {
      out += "\\x";
      out += digits[byte >> 4];
      out += digits[byte & 0xF];
    }
  }
  out += '\'';
  return out;
}

std::expected<std::uint64_t, std::string> parse_unsigned(std::string_view text, unsigned bits) {
  int base = 10;
  std::string_view digits = text;
  if (digits.starts_with("0x") || digits.starts_with("0X")) {
    base = 16;
    digits.remove_prefix(2);
  }
  // from_chars alone would accept a leading '-' for nothing here, but it stops at
  // the first stray character; every character must be a digit of the base.
  std::uint64_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto result = std::from_chars(digits.data(), end, value, base);
  if (digits.empty() || result.ptr != end ||
      (result.ec != std::errc{} && result.ec != std::errc::result_out_of_range)) {
    return std::unexpected(quoted(text) + " is not a number");
  }
  const std::uint64_t max = bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
  if (result.ec == std::errc::result_out_of_range || value > max) {
    return std::unexpected(quoted(text) + " does not fit " + std::to_string(bits) + " bits (0.." +
                           std::to_string(max) + ")");
  }
  return value;
}

std::expected<std::uint32_t, std::string> parse_word(std::string_view text) {
  std::string_view digits = text;
  if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
  std::uint32_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto result = std::from_chars(digits.data(), end, value, 16);
  if (digits.empty() || result.ptr != end ||
      (result.ec != std::errc{} && result.ec != std::errc::result_out_of_range)) {
    return std::unexpected(quoted(text) + " is not a hexadecimal word");
  }
  if (result.ec == std::errc::result_out_of_range) {
    return std::unexpected(quoted(text) + " does not fit 32 bits");
  }
  return value;
}

std::expected<Options, UsageError> parse_command_line(std::span<const std::string_view> args) {
  Options options;
  if (args.empty()) return fail(nullptr, "missing command");
  const std::string_view first = args.front();
  if (first == "-h" || first == "--help" || first == "help") {
    if (args.size() > 1) return fail(nullptr, "unexpected argument " + quoted(args[1]));
    options.command = Command::Help;
    return options;
  }
  const CommandInfo* info = find_command(first);
  if (!info) {
    if (first.starts_with("-")) {
      const std::string_view name = first.substr(0, first.find('='));
      if (name == "--count" || name == "--offset" || name == "--json" || name == "--svg" ||
          name == "--verbose") {
        return fail(nullptr, std::string{name} + " goes after the command");
      }
      return fail(nullptr, "unknown option " + quoted(first));
    }
    return fail(nullptr, "unknown command " + quoted(first));
  }
  options.command = info->command;

  std::vector<std::string_view> positional;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!arg.starts_with("--") &&
        !(arg.starts_with("-") && arg.size() > 1 && !(arg[1] >= '0' && arg[1] <= '9'))) {
      positional.push_back(arg);
      continue;
    }
    // --name or --name=value.
    std::string_view name = arg;
    std::optional<std::string_view> inline_value;
    if (const auto eq = arg.find('='); eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      inline_value = arg.substr(eq + 1);
    }
    auto take_value = [&]() -> std::expected<std::string_view, UsageError> {
      if (inline_value) return *inline_value;
      // A following option is never swallowed as a value ("--svg --json").
      if (i + 1 >= args.size() || args[i + 1].starts_with("--")) {
        return fail(info, std::string{name} + " needs a value");
      }
      return args[++i];
    };
    auto flag = [&](bool& target) -> std::expected<void, UsageError> {
      if (inline_value) return fail(info, std::string{name} + " takes no value");
      if (target) return fail(info, std::string{name} + " given twice");
      target = true;
      return {};
    };
    auto number = [&](std::optional<std::uint32_t>& target, bool applies,
                      std::string_view placeholder) -> std::expected<void, UsageError> {
      if (!applies) {
        return fail(info, std::string{name} + " does not apply to " + std::string{info->name});
      }
      if (target) return fail(info, std::string{name} + " given twice");
      const auto text = take_value();
      if (!text) return std::unexpected(text.error());
      const auto value = parse_unsigned(*text, 32);
      if (!value) {
        return fail(info,
                    std::string{name} + " " + std::string{placeholder} + ": " + value.error());
      }
      target = static_cast<std::uint32_t>(*value);
      return {};
    };
    std::expected<void, UsageError> done;
    if (name == "--count") {
      done = number(options.count, info->takes_count, "N");
    } else if (name == "--offset") {
      done = number(options.offset, info->takes_offset, "K");
    } else if (name == "--json") {
      done = flag(options.json);
    } else if (name == "--verbose") {
      done = flag(options.verbose);
    } else if (name == "--svg") {
      if (!info->takes_svg) {
        return fail(info, "--svg does not apply to " + std::string{info->name});
      }
      if (options.svg_path) return fail(info, "--svg given twice");
      const auto path = take_value();
      if (!path) return std::unexpected(path.error());
      if (path->empty()) return fail(info, "--svg FILE: empty file name");
      options.svg_path = std::string{*path};
    } else if (name == "--help" || name == "-h") {
      options.command = Command::Help;
      return options;
    } else {
      return fail(info, "unknown option " + quoted(name));
    }
    if (!done) return std::unexpected(done.error());
  }

  auto tile = [&](std::string_view label,
                  std::string_view text) -> std::expected<std::uint16_t, UsageError> {
    const auto value = parse_unsigned(text, 16);
    if (!value) return fail(info, std::string{label} + ": " + value.error());
    return static_cast<std::uint16_t>(*value);
  };
  auto expect_count =
      [&](std::size_t wanted,
          std::span<const std::string_view> names) -> std::expected<void, UsageError> {
    if (positional.size() < wanted)
      return fail(info, "missing " + std::string{names[positional.size()]});
    if (positional.size() > wanted)
      return fail(info, "unexpected argument " + quoted(positional[wanted]));
    return {};
  };

  switch (options.command) {
    case Command::PointToPoint: {
      static constexpr std::string_view names[] = {"SENDER", "RECEIVER"};
      if (auto ok = expect_count(2, names); !ok) return std::unexpected(ok.error());
      const auto sender = tile("SENDER", positional[0]);
      if (!sender) return std::unexpected(sender.error());
      const auto receiver = tile("RECEIVER", positional[1]);
      if (!receiver) return std::unexpected(receiver.error());
      options.sender = *sender;
      options.receivers = {*receiver};
      break;
    }
    case Command::Multicast:
    case Command::Paired: {
      static constexpr std::string_view names[] = {"SENDER", "R1,R2,..."};
      if (auto ok = expect_count(2, names); !ok) return std::unexpected(ok.error());
      const auto sender = tile("SENDER", positional[0]);
      if (!sender) return std::unexpected(sender.error());
      options.sender = *sender;
      std::string_view list = positional[1];
      while (true) {
        const auto comma = list.find(',');
        const std::string_view entry = list.substr(0, comma);
        if (entry.empty()) {
          return fail(info, "R1,R2,...: empty entry in " + quoted(positional[1]));
        }
        const auto receiver = tile("R1,R2,...", entry);
        if (!receiver) return std::unexpected(receiver.error());
        options.receivers.push_back(*receiver);
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
      }
      break;
    }
    case Command::Timing:
    case Command::Decode: {
      if (positional.empty()) return fail(info, "missing WORD");
      if (options.command == Command::Timing && positional.size() > row_words) {
        return fail(
            info, "WORD...: a row holds at most 9 words, got " + std::to_string(positional.size()));
      }
      for (const std::string_view text : positional) {
        const auto word = parse_word(text);
        if (!word) return fail(info, "WORD: " + word.error());
        options.words.push_back(*word);
      }
      break;
    }
    case Command::Tile: {
      static constexpr std::string_view names[] = {"LOGICAL"};
      if (auto ok = expect_count(1, names); !ok) return std::unexpected(ok.error());
      const auto logical = tile("LOGICAL", positional[0]);
      if (!logical) return std::unexpected(logical.error());
      options.tile = *logical;
      break;
    }
    case Command::Help:
      break;
  }
  if (info->takes_count && !options.count) return fail(info, "missing --count N");
  return options;
}

std::string help_text() {
  std::string out =
      "zerin-plan: show the exchange rows the planner builds, decoded and timed.\n"
      "\n"
      "usage:\n";
  for (const CommandInfo& info : commands) {
    out += "  ";
    out += info.usage;
    out += '\n';
  }
  out +=
      "\n"
      "  p2p        point-to-point transfer of N words from SENDER to RECEIVER\n"
      "  multicast  one send of N words taken off by every receiver, start pushed by K cycles\n"
      "  paired     64-bit paired transfer to receivers that come in partner pairs\n"
      "  timing     time a sender row given as up to 9 words, starting at cycle K (default 0)\n"
      "  decode     decode instruction words\n"
      "  tile       physical number, its fields and the pair partner of a logical tile\n"
      "\n"
      "Tiles are 16-bit logical numbers, N and K 32-bit; all take decimal or 0x-prefixed\n"
      "hexadecimal. WORD is hexadecimal, with or without 0x.\n"
      "  --json        print one JSON document instead of the tables\n"
      "  --svg FILE    also write a timing diagram (one lane per row) to FILE\n"
      "  --verbose     show the planner's diagnostic events on standard error\n"
      "\n"
      "Exit status: 0 success, 1 planning error (or an unwritable FILE), 2 usage error.\n";
  return out;
}

}  // namespace zerin::plan
