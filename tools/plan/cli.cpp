#include "cli.hpp"

#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>

#include "zerin/exchange/version.hpp"

namespace zerin::plan {
namespace {

constexpr std::string_view program = "zerin-plan";

std::string program_usage() {
  std::string names;
  for (const Subcommand& command : commands()) {
    if (!names.empty()) names += '|';
    names += command.name;
  }
  return fmt::format("{} {} ... ({} --help for more)", program, names, program);
}

const Subcommand* find_command(std::string_view name) {
  const auto all = commands();
  const auto found = std::ranges::find(all, name, &Subcommand::name);
  return found == all.end() ? nullptr : &*found;
}

UsageError usage_error(const Subcommand* command, std::string message) {
  return UsageError{
      std::move(message),
      command ? fmt::format("{} {} {}", program, command->name, command->usage) : program_usage()};
}

// A single-valued option given twice: CLI11 keeps the last value, this refuses.
std::optional<std::string> repeated_option(const CLI::App& app) {
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_positional() || option->count() <= 1) continue;
    if (option->get_items_expected_max() > 1) continue;  // a list
    return fmt::format("{} may be given only once", option->get_name());
  }
  return std::nullopt;
}

// "--name", "--name=value" or "-x"; "-1" is a (bad) number, not an option.
bool is_option(std::string_view arg) {
  return arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
}

}  // namespace

std::string quoted(std::string_view text) {
  std::string out = "'";
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '\'') {
      out += ch;
    } else {
      fmt::format_to(std::back_inserter(out), "\\x{:02x}", byte);
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
  // Every character must be a digit of the base: from_chars alone stops at the
  // first stray one.
  std::uint64_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto result = std::from_chars(digits.data(), end, value, base);
  if (digits.empty() || result.ptr != end ||
      (result.ec != std::errc{} && result.ec != std::errc::result_out_of_range)) {
    return std::unexpected(plan::quoted(text) + " is not a number");
  }
  const std::uint64_t max = bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
  if (result.ec == std::errc::result_out_of_range || value > max) {
    return std::unexpected(
        fmt::format("{} does not fit {} bits (0..{})", plan::quoted(text), bits, max));
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
    return std::unexpected(plan::quoted(text) + " is not a hexadecimal word");
  }
  if (result.ec == std::errc::result_out_of_range) {
    return std::unexpected(plan::quoted(text) + " does not fit 32 bits");
  }
  return value;
}

ParsedCommandLine parse_command_line(std::span<const std::string_view> args) {
  if (args.empty()) return usage_error(nullptr, "missing command");
  const Subcommand* named = find_command(args.front());
  if (!named && !args.front().starts_with("-")) {
    return usage_error(nullptr, "unknown command " + plan::quoted(args.front()));
  }

  const std::string version = fmt::format("{} {}", program, ZERIN_EXCHANGE_VERSION_STRING);
  CLI::App app{
      "Shows the exchange rows the planner builds for one transfer on the r470 board, "
      "decoded and timed.",
      std::string{program}};
  app.set_version_flag("--version", version);
  app.require_subcommand(1);
  app.footer(
      "Tiles are 16-bit logical numbers, N and K 32-bit; all take decimal or 0x-prefixed\n"
      "hexadecimal. WORD is hexadecimal, with or without 0x. Options take --opt value or\n"
      "--opt=value, each at most once.\n"
      "Exit status: 0 success, 1 planning error (or an unwritable file), 2 usage error.");
  Options options;
  for (const Subcommand& command : commands()) {
    CLI::App* sub = app.add_subcommand(std::string{command.name}, std::string{command.summary});
    sub->set_version_flag("--version", version);
    // Keep every value so that a repeat can be refused by name below.
    sub->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    command.declare(*sub, options);
  }

  // An option the command does not have is named before anything else is
  // judged (CLI11 would first try the words around it as arguments).
  const CLI::App& scope = named ? *app.get_subcommand(std::string{named->name}) : app;
  for (const std::string_view arg : args.subspan(named ? 1 : 0)) {
    if (arg == "--") break;
    if (!is_option(arg)) continue;
    const std::string name{arg.substr(0, arg.find('='))};
    if (scope.get_option_no_throw(name) || app.get_option_no_throw(name)) continue;
    if (!named && std::ranges::any_of(app.get_subcommands({}), [&](const CLI::App* sub) {
          return sub->get_option_no_throw(name) != nullptr;
        })) {
      return usage_error(named, fmt::format("{} goes after the command", name));
    }
    return usage_error(named,
                       named ? fmt::format("{} does not take {}", named->name, plan::quoted(name))
                             : "unknown option " + plan::quoted(name));
  }

  // CLI11 takes its arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    if (!named) return EarlyExit{app.help()};
    return EarlyExit{app.get_subcommand(std::string{named->name})->help(std::string{program})};
  } catch (const CLI::CallForVersion&) {
    return EarlyExit{version + "\n"};
  } catch (const CLI::ParseError& error) {
    return usage_error(named, error.what());
  }
  const CLI::App* chosen = app.get_subcommands().front();
  if (auto repeated = repeated_option(*chosen)) return usage_error(named, std::move(*repeated));
  return Invocation{find_command(chosen->get_name()), std::move(options)};
}

}  // namespace zerin::plan
