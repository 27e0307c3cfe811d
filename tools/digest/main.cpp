// zerin-digest: runs the fixed sweep and prints `<cases> cases: <digest>`.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "options.hpp"
#include "output.hpp"
#include "parallel.hpp"
#include "recorders.hpp"
#include "sweep.hpp"
#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/topology.hpp"
#include "zerin/exchange/version.hpp"

namespace {

namespace zd = zerin::digest;
namespace zx = zerin::exchange;

constexpr int exit_trace_file = 1;
constexpr int exit_usage = 2;
constexpr int exit_fatal = 101;

void to_stderr(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere left to report to
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

int fatal_stop(std::string_view report, std::string_view where = {}) {
  std::string text = "zerin-digest: ";
  text += report;
  text += '\n';
  if (!where.empty()) {
    text += "zerin-digest: stopped at ";
    text += where;
    text += '\n';
  }
  to_stderr(text);
  return exit_fatal;
}

int stdout_failure(const zd::OutputFile& out) {
  return fatal_stop("failed printing to stdout: " + out.error_text());
}

// Writes `text` to standard output; 0 on success, else the fatal stop's status.
int print(zd::OutputFile& out, std::string_view text) {
  out.write(text);
  return out.flush() ? 0 : stdout_failure(out);
}

// Keeps descriptors 0..2 occupied, so that a file opened later can never land on
// a closed standard output. Returns whether standard output was closed.
bool occupy_standard_descriptors() {
  bool stdout_closed = false;
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == STDOUT_FILENO) stdout_closed = true;
    const int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd >= 0 && null_fd != fd) ::close(null_fd);
  }
  return stdout_closed;
}

int run(const zd::Options& options, zd::OutputFile& out) {
  std::optional<zd::OutputFile> trace;
  if (options.trace_path) {
    trace.emplace(zd::OutputFile::create(*options.trace_path));
    if (trace->error() != 0) {
      to_stderr("zerin-digest: cannot write trace file '" + *options.trace_path +
                "': " + trace->error_text() + "\n");
      return exit_trace_file;
    }
  }

  const zx::Topology topology = zx::Topology::r470();
  const zd::CaseTable table = zd::digest_case_table();
  std::int32_t cases = 0;
  std::uint64_t value = 0;
  if (trace || options.dump) {
    // Trace lines and dumps follow the cases in order: one thread.
    zd::BufferedHashRecorder digest;
    zd::CaseRecorder recorder(digest, trace ? &*trace : nullptr, options.dump ? &out : nullptr,
                              options.dump.value_or(zd::DumpRange{}));
    cases = zd::run_sweep(topology, table, recorder);
    value = digest.finish();
  } else if (options.threads == 1) {
    zd::BufferedHashRecorder digest;
    cases = zd::run_sweep(topology, table, digest);
    value = digest.finish();
  } else {
    const zd::SweepDigest result = zd::parallel_digest(topology, table);
    cases = result.cases;
    value = result.digest;
  }

  if (trace && !trace->close()) {
    to_stderr("zerin-digest: cannot write trace file '" + trace->name() +
              "': " + trace->error_text() + "\n");
    return exit_trace_file;
  }
  return print(out, std::to_string(cases) + " cases: " + zd::hex16(value) + "\n");
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe must surface as EPIPE from write(), reported like any other
  // output failure, rather than as a silent death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  const bool stdout_closed = occupy_standard_descriptors();
  zd::OutputFile out(STDOUT_FILENO, "stdout");
  if (stdout_closed) out.set_error(EBADF);

  try {
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto options = zd::parse_options(args, zd::case_total(zd::digest_case_table()));
    if (!options) {
      to_stderr("zerin-digest: " + options.error() + "\n" + zd::usage_text());
      return exit_usage;
    }
    switch (options->action) {
      case zd::Options::Action::help:
        return print(out, zd::help_text());
      case zd::Options::Action::version:
        return print(out, std::string("zerin-digest ") + zx::version_string + "\n");
      case zd::Options::Action::run:
        break;
    }
    return run(*options, out);
  } catch (const zd::FatalStop& stop) {
    return fatal_stop(stop.what(), stop.where());
  } catch (const zx::InternalFault& fault) {
    return fatal_stop(std::string("internal fault: ") + fault.what());
  } catch (const std::bad_alloc&) {
    return fatal_stop("out of memory");
  } catch (const std::exception& error) {
    return fatal_stop(error.what());
  }
}
