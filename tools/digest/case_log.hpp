// The per-case views of the digest stream behind --trace and --dump.
#ifndef ZERIN_DIGEST_CASE_LOG_HPP
#define ZERIN_DIGEST_CASE_LOG_HPP

#include <cstdint>
#include <span>
#include <string>

#include "output.hpp"
#include "stream.hpp"

namespace zerin::digest {

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
  CaseLog(OutputFile* trace, OutputFile* dump, DumpRange dump_range);

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
