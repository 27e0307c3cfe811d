// The program's outputs: standard output, the trace file, and the per-case
// views of the digest stream behind --trace and --dump.
#ifndef ZERIN_DIGEST_CASE_LOG_HPP
#define ZERIN_DIGEST_CASE_LOG_HPP

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "stream.hpp"

namespace zerin::digest {

// Buffered output that keeps the first failure with the system's reason for it
// (ENOSPC on a full device, EPIPE on a closed pipe, EBADF on a closed
// descriptor). After a failure nothing more is written.
class OutputFile {
 public:
  // Standard output.
  OutputFile() noexcept = default;
  // Creates or truncates `path`; on failure error() is set.
  explicit OutputFile(const std::string& path)
      : file_(std::fopen(path.c_str(), "w")), owned_(true) {
    if (file_ == nullptr) fail();
  }
  ~OutputFile() {
    if (owned_ && file_ != nullptr) std::fclose(file_);
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(std::string_view text) noexcept {
    if (error_ == 0 && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) fail();
  }
  // Writes out what is buffered and closes a file this object opened (standard
  // output stays open); false once anything has failed.
  bool close() noexcept {
    if (error_ == 0 && std::fflush(file_) != 0) fail();
    if (owned_ && file_ != nullptr && std::fclose(std::exchange(file_, nullptr)) != 0) fail();
    return error_ == 0;
  }

  // errno of the first failure, 0 while all is well.
  int error() const noexcept { return error_; }
  void set_error(int error) noexcept {
    if (error_ == 0) error_ = error;
  }
  std::string error_text() const { return std::strerror(error_); }

 private:
  void fail() noexcept { set_error(errno != 0 ? errno : EIO); }

  std::FILE* file_ = stdout;
  bool owned_ = false;
  int error_ = 0;
};

// Cases to dump, counted from 0, both ends included.
struct DumpRange {
  std::int64_t first = 0;
  std::int64_t last = -1;
};

// Writes, for every case, the line `<case_index> <entry> <count> <kind> <param>
// <casehash>` to `trace` (when not null), where casehash is the SipHash-1-3 of
// the bytes the case added to the stream; and for the cases of `dump_range`
// that line and the case's values, readably, to `dump` (when not null).
class CaseLog final : public StreamObserver {
 public:
  CaseLog(OutputFile* trace, OutputFile* dump, DumpRange dump_range)
      : trace_(trace), dump_(dump), dump_range_(dump_range) {}

  void value(ValueKind kind, std::span<const unsigned char> bytes) override;
  void end_case(const CaseHeader& header, std::span<const unsigned char> bytes) override;

 private:
  bool dumping() const noexcept {
    return dump_ != nullptr && next_case_ >= dump_range_.first && next_case_ <= dump_range_.last;
  }
  void dump_row(std::span<const unsigned char> bytes, std::string_view indent);

  OutputFile* trace_;
  OutputFile* dump_;
  DumpRange dump_range_;
  std::int64_t next_case_ = 0;
  std::string line_;
  std::string body_;
};

// Appends `digits` lower-case hexadecimal digits of `value`, leading zeros kept.
void append_hex(std::string& out, std::uint64_t value, int digits);

}  // namespace zerin::digest

#endif  // ZERIN_DIGEST_CASE_LOG_HPP
