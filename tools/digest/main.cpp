// zerin-digest: runs the fixed sweep and prints `<cases> cases: <digest>`.
#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "stream.hpp"
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

// Buffered output that keeps the first failure with the system's reason for it
// (ENOSPC on a full device, EPIPE on a closed pipe, EBADF on a closed
// descriptor). After a failure nothing more is written.
class Output {
 public:
  // Standard output, failed with `error` from the start when that is not 0.
  explicit Output(int error) noexcept : error_(error) {}
  // Creates or truncates `path`.
  explicit Output(const std::string& path) : file_(std::fopen(path.c_str(), "w")), owned_(true) {
    if (file_ == nullptr) fail();
  }
  ~Output() {
    if (owned_ && file_ != nullptr) std::fclose(file_);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void write(std::string_view text) noexcept {
    if (ok() && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) fail();
  }
  // Writes out what is buffered and closes a file this object opened (standard
  // output stays open); false once anything has failed.
  bool close() noexcept {
    if (ok() && std::fflush(file_) != 0) fail();
    if (owned_ && file_ != nullptr && std::fclose(std::exchange(file_, nullptr)) != 0) fail();
    return ok();
  }
  bool ok() const noexcept { return error_ == 0; }
  std::string error_text() const { return std::strerror(error_); }

 private:
  void fail() noexcept {
    if (ok()) error_ = errno != 0 ? errno : EIO;
  }

  std::FILE* file_ = stdout;
  bool owned_ = false;
  int error_ = 0;
};

// The little-endian number in bytes [at, at + size).
std::uint64_t read_le(std::span<const unsigned char> bytes, std::size_t at, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value |= std::uint64_t{bytes[at + i]} << (8 * i);
  return value;
}

void append_decimal(std::string& out, std::uint64_t value) {
  char digits[20];
  const char* const end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));
}

// Appends `digits` (at most 16) lower-case hexadecimal digits of `value`,
// leading zeros kept.
void append_hex(std::string& out, std::uint64_t value, int digits) {
  static constexpr char hex[] = "0123456789abcdef";
  char text[16];
  for (int i = digits - 1; i >= 0; --i, value >>= 4) text[i] = hex[value & 0xF];
  out.append(text, static_cast<std::size_t>(digits));
}

// Cases to dump, counted from 0, both ends included.
struct DumpRange {
  std::int64_t first = 0;
  std::int64_t last = -1;
};

// Writes, for every case, the line `<case_index> <entry> <count> <kind> <param>
// <casehash>` to `trace` (when not null), where casehash is the SipHash-1-3 of
// the bytes the case added to the stream; and for the cases of `dump` that
// line and the case's values, readably, to `out`.
class CaseLog final : public zd::StreamObserver {
 public:
  CaseLog(Output* trace, Output& out, DumpRange dump) : trace_(trace), out_(out), dump_(dump) {}

  void value(zd::ValueKind kind, std::span<const unsigned char> bytes) override {
    if (!dumping()) return;
    switch (kind) {
      case zd::ValueKind::row:
        dump_row(bytes, "  ");
        break;
      case zd::ValueKind::rows:
        body_ += "  rows ";
        append_decimal(body_, read_le(bytes, 0, zd::length_bytes));
        body_ += '\n';
        for (std::size_t at = zd::length_bytes; at < bytes.size(); at += zd::row_bytes) {
          dump_row(bytes.subspan(at, zd::row_bytes), "    ");
        }
        break;
      case zd::ValueKind::text:
        body_ += "  text ";
        body_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size() - 1);
        body_ += '\n';
        break;
    }
  }

  void end_case(const zd::CaseHeader& header, std::span<const unsigned char> bytes) override {
    line_.clear();
    for (const std::uint64_t number :
         {std::uint64_t(header.index), std::uint64_t{header.entry}, std::uint64_t{header.count}}) {
      append_decimal(line_, number);
      line_ += ' ';
    }
    line_ += zd::kind_name(header.kind);
    line_ += ' ';
    append_decimal(line_, header.param);
    line_ += ' ';
    append_hex(line_, zd::siphash13(bytes), 16);
    line_ += '\n';
    if (trace_ != nullptr) trace_->write(line_);
    if (dumping()) {
      out_.write(line_);
      out_.write(body_);
      body_.clear();
    }
    next_case_ = header.index + 1;
  }

 private:
  bool dumping() const noexcept { return next_case_ >= dump_.first && next_case_ <= dump_.last; }
  void dump_row(std::span<const unsigned char> bytes, std::string_view indent) {
    body_ += indent;
    body_ += "row";
    for (std::size_t at = zd::length_bytes; at < zd::row_bytes; at += 4) {
      body_ += " 0x";
      append_hex(body_, read_le(bytes, at, 4), 8);
    }
    body_ += '\n';
  }

  Output* trace_;
  Output& out_;
  DumpRange dump_;
  std::int64_t next_case_ = 0;
  std::string line_;
  std::string body_;
};

// One report line per text, on standard error (unbuffered).
int report(int status, std::initializer_list<std::string> lines) {
  for (const std::string& line : lines) std::fprintf(stderr, "zerin-digest: %s\n", line.c_str());
  return status;
}

// Writes `text` to standard output; 0 on success, else the fatal stop's status.
int print(Output& out, std::string_view text) {
  out.write(text);
  if (out.close()) return 0;
  return report(exit_fatal, {"failed printing to stdout: " + out.error_text()});
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

// The --dump range, or a CLI::ValidationError naming what is wrong.
DumpRange dump_range(const std::vector<std::string>& args, std::int64_t case_count) {
  std::int64_t index[2] = {};
  for (int i = 0; i < 2; ++i) {
    const std::string& text = args[static_cast<std::size_t>(i)];
    const char* const end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, index[i]);
    if (text.empty() || text[0] == '-' || parsed.ec != std::errc{} || parsed.ptr != end) {
      throw CLI::ValidationError("--dump " + std::string(i == 0 ? "START" : "END") + " '" + text +
                                 "' is not a case index");
    }
  }
  if (index[0] > index[1]) {
    throw CLI::ValidationError("--dump START " + args[0] + " is greater than END " + args[1]);
  }
  if (index[1] >= case_count) {
    throw CLI::ValidationError("--dump END " + args[1] + " is past the last case " +
                               std::to_string(case_count - 1));
  }
  return {index[0], index[1]};
}

int run(const std::optional<std::string>& trace_path, const std::optional<DumpRange>& dump,
        Output& out) {
  std::optional<Output> trace;
  const auto trace_failure = [&] {
    return report(exit_trace_file,
                  {"cannot write trace file '" + *trace_path + "': " + trace->error_text()});
  };
  if (trace_path && !trace.emplace(*trace_path).ok()) return trace_failure();

  const zx::Topology topology = zx::Topology::r470();
  std::optional<CaseLog> log;
  if (trace || dump) log.emplace(trace ? &*trace : nullptr, out, dump.value_or(DumpRange{}));
  zd::StreamEncoder stream(log ? &*log : nullptr);
  const auto cases = zd::run_sweep(topology, zd::digest_case_table(), stream);
  if (!cases)
    return report(exit_fatal, {cases.error().report, "stopped at " + cases.error().where});
  std::string line = std::to_string(*cases);
  line += " cases: ";
  append_hex(line, stream.finish(), 16);
  line += '\n';
  if (trace && !trace->close()) return trace_failure();
  return print(out, line);
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe must surface as EPIPE from write(), reported like any other
  // output failure, rather than as a silent death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  Output out(occupy_standard_descriptors() ? EBADF : 0);

  try {
    CLI::App app(
        "Runs the fixed sweep of exchange plans and prints one line: the number of cases,\n"
        "\" cases: \" and the 64-bit digest of everything planned.",
        "zerin-digest");
    std::optional<std::string> trace_path;
    CLI::Option* const trace_option =
        app.add_option("--trace", trace_path,
                       "Also write one line per case to FILE:\n"
                       "<case_index> <entry> <count> <kind> <param> <casehash>\n"
                       "(kind p2p, mc or pmc; param the receiver tile, the schedule offset\n"
                       "or the pair's first tile; casehash the SipHash-1-3 of the bytes the\n"
                       "case added to the digest stream)")
            ->type_name("FILE")
            ->check([](const std::string& path) {
              return path.empty() ? "needs a non-empty file name" : "";
            });
    std::vector<std::string> dump_args;
    CLI::Option* const dump_option =
        app.add_option("--dump", dump_args,
                       "Print cases START..END (inclusive, counted from 0) readably before\n"
                       "the result line: each case's trace line, then its rows (nine words),\n"
                       "row vectors (their length, then the rows) and texts")
            ->type_name("START END")
            ->option_text("START END")
            ->expected(2);
    app.set_version_flag("--version", std::string("zerin-digest ") + zx::version_string,
                         "Print the version and exit");
    app.footer(
        "Exit status: 0 success, 1 trace file not written, 2 bad command line,\n"
        "101 fatal stop (a required plan failed, or standard output could not be written)");

    std::optional<DumpRange> dump;
    try {
      app.parse(argc, argv);
      if (*dump_option) dump = dump_range(dump_args, zd::case_total(zd::digest_case_table()));
    } catch (const CLI::CallForHelp&) {
      return print(out, app.help());
    } catch (const CLI::CallForVersion& version) {
      return print(out, std::string(version.what()) + '\n');
    } catch (const CLI::ParseError& error) {
      if (trace_option->count() > 1)
        return report(exit_usage, {"option --trace given more than once"});
      if (dump_option->count() > 2)
        return report(exit_usage, {"option --dump takes START and END, once"});
      return report(exit_usage, {error.what()});
    }
    return run(trace_path, dump, out);
  } catch (const zx::InternalFault& fault) {
    return report(exit_fatal, {std::string("internal fault: ") + fault.what()});
  } catch (const std::bad_alloc&) {
    return report(exit_fatal, {"out of memory"});
  } catch (const std::exception& error) {
    return report(exit_fatal, {error.what()});
  }
}
