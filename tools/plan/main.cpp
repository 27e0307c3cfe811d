// zerin-plan: plans a transfer on the r470 board and shows every row, decoded and
// timed, as tables, JSON or an SVG timing diagram. The subcommands are the
// table in commands.cpp.
//
// Exit status: 0 success; 1 planning error (its display text on standard error),
// an SVG file that cannot be written, or standard output that cannot be
// written; 2 usage error; 101 internal fault.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "cli.hpp"
#include "zerin/exchange/errors.hpp"

namespace {

namespace zp = zerin::plan;

constexpr int exit_output = 1;
constexpr int exit_usage = 2;
constexpr int exit_internal_fault = 101;

// Writes all of `text` to `stream` and flushes it; on failure, the system's reason.
const char* write_all(std::FILE* stream, std::string_view text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() || std::fflush(stream) != 0) {
    return std::strerror(errno != 0 ? errno : EIO);
  }
  return nullptr;
}

// The output of a command: standard output first; a failure to write it is an
// error of its own.
int finish(const zp::Output& output) {
  int status = output.status;
  if (const char* reason = write_all(stdout, output.out)) {
    std::fprintf(stderr, "zerin-plan: cannot write standard output: %s\n", reason);
    status = exit_output;
  }
  write_all(stderr, output.err);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const zp::ParsedCommandLine parsed = zp::parse_command_line(args);
  if (const auto* error = std::get_if<zp::UsageError>(&parsed)) {
    return finish(zp::Output{
        {}, "zerin-plan: " + error->message + "\nusage: " + error->usage + "\n", exit_usage});
  }
  if (const auto* exit = std::get_if<zp::EarlyExit>(&parsed)) {
    return finish(zp::Output{exit->text, {}, 0});
  }
  const auto& invocation = std::get<zp::Invocation>(parsed);
  zp::Output output;
  try {
    invocation.command->run(invocation.options, output);
  } catch (const zerin::exchange::InternalFault& fault) {
    std::fprintf(stderr, "zerin-plan: internal fault: %s\n", fault.what());
    return exit_internal_fault;
  }
  return finish(output);
}
