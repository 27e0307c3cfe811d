#include "options.hpp"

#include <charconv>

namespace zerin::digest {
namespace {

std::string quoted(std::string_view text) {
  std::string out = "'";
  out += text;
  out += '\'';
  return out;
}

// A case index: plain decimal digits, nothing else.
std::optional<std::int64_t> parse_index(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || text[0] == '-') {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::expected<Options, std::string> parse_options(std::span<const std::string_view> args,
                                                  std::int64_t case_count) {
  Options options;
  bool help = false;
  bool version = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const auto value = [&](std::string_view what) -> std::expected<std::string_view, std::string> {
      if (i + 1 >= args.size()) {
        return std::unexpected("option " + quoted(arg) + " needs " + std::string(what));
      }
      return args[++i];
    };
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else if (arg == "--trace") {
      if (options.trace_path) return std::unexpected("option '--trace' given more than once");
      const auto path = value("a file name");
      if (!path) return std::unexpected(path.error());
      if (path->empty()) return std::unexpected("option '--trace' needs a non-empty file name");
      options.trace_path = std::string(*path);
    } else if (arg == "--dump") {
      if (options.dump) return std::unexpected("option '--dump' given more than once");
      const auto start_text = value("START and END case indices");
      if (!start_text) return std::unexpected(start_text.error());
      const auto end_text = value("START and END case indices");
      if (!end_text) return std::unexpected(end_text.error());
      const auto start = parse_index(*start_text);
      if (!start)
        return std::unexpected("--dump START " + quoted(*start_text) + " is not a case index");
      const auto end = parse_index(*end_text);
      if (!end) return std::unexpected("--dump END " + quoted(*end_text) + " is not a case index");
      if (*start > *end) {
        return std::unexpected("--dump START " + std::string(*start_text) +
                               " is greater than END " + std::string(*end_text));
      }
      if (*end >= case_count) {
        return std::unexpected("--dump END " + std::string(*end_text) + " is past the last case " +
                               std::to_string(case_count - 1));
      }
      options.dump = DumpRange{*start, *end};
    } else if (arg == "--threads") {
      const auto count = value("1 or 2");
      if (!count) return std::unexpected(count.error());
      if (*count != "1" && *count != "2") {
        return std::unexpected("--threads " + quoted(*count) + " is not 1 or 2");
      }
      options.threads = *count == "1" ? 1 : 2;
    } else if (arg.starts_with("-")) {
      return std::unexpected("unknown option " + quoted(arg));
    } else {
      return std::unexpected("unexpected argument " + quoted(arg));
    }
  }
  if (help) {
    options.action = Options::Action::help;
  } else if (version) {
    options.action = Options::Action::version;
  }
  return options;
}

std::string usage_text() {
  return "usage: zerin-digest [--trace FILE] [--dump START END] [--threads 1|2]\n"
         "       zerin-digest --help | --version\n";
}

std::string help_text() {
  return usage_text() +
         "\n"
         "Runs the fixed sweep of exchange plans and prints one line:\n"
         "the number of cases, \" cases: \" and the 64-bit digest of everything planned.\n"
         "\n"
         "options:\n"
         "  --trace FILE      also write one line per case to FILE:\n"
         "                    <case_index> <entry> <count> <kind> <param> <casehash>\n"
         "                    (kind p2p, mc or pmc; param the receiver tile, the schedule\n"
         "                    offset or the pair's first tile; casehash the SipHash-1-3 of\n"
         "                    the bytes the case added to the digest stream)\n"
         "  --dump START END  print cases START..END (inclusive, counted from 0) readably\n"
         "                    before the result line: rows as nine words, row vectors as\n"
         "                    their length and rows, texts verbatim\n"
         "  --threads 1|2     plan and hash on one thread (1) or plan on two while\n"
         "                    one of them hashes (2, the default); the result is the\n"
         "                    same. --trace and --dump always run on one thread\n"
         "  --help            print this help\n"
         "  --version         print the version\n"
         "\n"
         "exit status: 0 success, 1 trace file not written, 2 bad command line,\n"
         "101 fatal stop (a required plan failed, or standard output could not be written)\n";
}

}  // namespace zerin::digest
