// Command line of zerin-digest.
#ifndef ZERIN_DIGEST_OPTIONS_HPP
#define ZERIN_DIGEST_OPTIONS_HPP

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "recorders.hpp"

namespace zerin::digest {

struct Options {
  enum class Action : std::uint8_t { run, help, version };
  Action action = Action::run;
  std::optional<std::string> trace_path;
  std::optional<DumpRange> dump;
  // 1: plan, record and hash on one thread; 2 (the default): plan on two
  // threads while one of them hashes. --trace and --dump always use one.
  unsigned threads = 2;
};

// Parses the arguments after the program name. `case_count` bounds the dump
// range. The error is one line without the program name or a line feed.
std::expected<Options, std::string> parse_options(std::span<const std::string_view> args,
                                                  std::int64_t case_count);

// The usage lines and the --help text, each ending in a line feed.
std::string usage_text();
std::string help_text();

}  // namespace zerin::digest

#endif  // ZERIN_DIGEST_OPTIONS_HPP
