// Recorders of the digest stream.
//
// Every recorder appends the same bytes for the same values:
//   row         length 9 as 8 little-endian bytes, then the 9 words, 4 bytes each (44 bytes)
//   row vector  the number of rows as 8 little-endian bytes, then each row as above
//   text        its bytes, then one 0xFF byte
#ifndef ZERIN_DIGEST_RECORDERS_HPP
#define ZERIN_DIGEST_RECORDERS_HPP

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "output.hpp"
#include "siphash.hpp"
#include "sweep.hpp"

namespace zerin::digest {

// Bytes a row contributes to the stream.
inline constexpr std::size_t row_stream_size = 8 + 4 * exchange::row_length;

// Room for the timing texts of one sender row, each with its 0xFF.
inline constexpr std::size_t timing_texts_room =
    timing_offsets.size() * (exchange::timing_debug_capacity + 1);
// Writes the stream bytes of the timing texts of `sender` (for each timing
// offset the debug text of its timing, then 0xFF) at `p`, which has
// timing_texts_room bytes of room, and returns their end.
unsigned char* put_timing_texts(unsigned char* p, const ExchangeRow& sender);

// Feeds every value straight into a DefaultHasher, one write per field.
class HashRecorder final : public Recorder {
 public:
  void row(const ExchangeRow& row) override;
  void rows(std::span<const ExchangeRow> rows) override;
  void text(std::string_view text) override { hasher_.write_str(text); }
  const DefaultHasher& hasher() const noexcept { return hasher_; }

 private:
  DefaultHasher hasher_;
};

// Encodes the stream into a buffer and hands each full buffer over to be
// hashed, so the hash runs over long contiguous runs of whole 8-byte words.
class ChunkedRecorder : public Recorder {
 public:
  ChunkedRecorder(const ChunkedRecorder&) = delete;
  ChunkedRecorder& operator=(const ChunkedRecorder&) = delete;

  // The stream has no case brackets.
  void begin_case(const CaseHeader&) final {}
  void end_case() final {}
  void row(const ExchangeRow& row) final;
  void rows(std::span<const ExchangeRow> rows) final;
  void text(std::string_view text) final;
  // Writes the timing texts straight into the buffer.
  void sender_timings(const ExchangeRow& sender) final;
  // One room check for the whole plan, unless its row vector is long.
  void point_to_point(const ExchangeRow& sender, const ExchangeRow& receiver) final;
  void multicast(const ExchangeRow& sender, std::span<const ExchangeRow> receivers) final;

 protected:
  // Enough for a point-to-point plan (two rows and three timing texts) or a
  // multicast plan to a dozen receivers.
  static constexpr std::size_t minimum_room = 1024;
  static_assert(minimum_room >= 2 * row_stream_size + timing_texts_room);
  ChunkedRecorder() = default;
  ~ChunkedRecorder() override = default;
  // Takes the bytes [begin_, pos_) (hashing them, say, or keeping them) and
  // leaves at least minimum_room bytes of room after pos_.
  virtual void hand_over() = 0;

  unsigned char* begin_ = nullptr;
  unsigned char* pos_ = nullptr;
  unsigned char* end_ = nullptr;

 private:
  void reserve(std::size_t size) {
    if (static_cast<std::size_t>(end_ - pos_) < size) hand_over();
  }
  // A multicast plan's sender row, timing texts and row vector length.
  static constexpr std::size_t multicast_head_size = row_stream_size + timing_texts_room + 8;
  // Receivers whose multicast plan is written after a single room check.
  static constexpr std::size_t multicast_rows_in_room =
      (minimum_room - multicast_head_size) / row_stream_size;
};

// Hashes each buffer in the recording thread. Same digest as HashRecorder.
class BufferedHashRecorder final : public ChunkedRecorder {
 public:
  static constexpr std::size_t chunk_size = 32 * 1024;
  BufferedHashRecorder();
  // Hashes what is still buffered and returns the digest of the whole stream.
  std::uint64_t finish();
  // Bytes recorded so far.
  std::uint64_t length() const noexcept {
    return hasher_.length() + static_cast<std::uint64_t>(pos_ - begin_);
  }

 private:
  void hand_over() override;
  DefaultHasher hasher_;
  std::unique_ptr<unsigned char[]> buffer_;
};

// Encodes the stream of a run of cases into one growing buffer, kept from run
// to run, for another thread to hash later.
class BlockRecorder final : public ChunkedRecorder {
 public:
  static constexpr std::size_t initial_size = 256 * 1024;
  // Records into a buffer of its own, initial_size bytes to begin with.
  BlockRecorder();
  // Records into `room`, which the caller owns and keeps alive for as long as
  // this recorder, until a block outgrows it; then into a buffer of its own.
  // A `room` smaller than initial_size is not used.
  explicit BlockRecorder(std::span<unsigned char> room);
  // The bytes recorded since the last clear().
  std::span<const unsigned char> bytes() const noexcept {
    return {begin_, static_cast<std::size_t>(pos_ - begin_)};
  }
  // Empties the block. The buffer was last read by the hashing thread, so
  // each line the next block writes must first be taken back from that core;
  // zeroing the part the last block used takes them in one sweep, instead of
  // one stall at a time while planning writes a few bytes at a time.
  void clear() noexcept {
    std::memset(begin_, 0, static_cast<std::size_t>(pos_ - begin_));
    pos_ = begin_;
  }

 private:
  void hand_over() override;  // grows the buffer, keeping what it holds
  std::unique_ptr<unsigned char[]> buffer_;
};

// Records nothing but keeps the whole stream in memory (benchmarks and tests).
class StreamCapture final : public Recorder {
 public:
  void row(const ExchangeRow& row) override;
  void rows(std::span<const ExchangeRow> rows) override;
  void text(std::string_view text) override;
  const std::string& bytes() const noexcept { return bytes_; }
  void clear() noexcept { bytes_.clear(); }

 private:
  std::string bytes_;
};

// Which cases to dump, inclusive.
struct DumpRange {
  std::int64_t first = 0;
  std::int64_t last = -1;
};

// Forwards every value to `next` and, per case, writes a trace line
// `<case_index> <entry> <count> <kind> <param> <casehash>` to `trace` (when not
// null) and a readable dump of the cases in `dump_range` to `dump` (when not
// null). The case hash is the SipHash-1-3 of the bytes that case appended.
class CaseRecorder final : public Recorder {
 public:
  CaseRecorder(Recorder& next, OutputFile* trace, OutputFile* dump, DumpRange dump_range);

  void begin_case(const CaseHeader& header) override;
  void row(const ExchangeRow& row) override;
  void rows(std::span<const ExchangeRow> rows) override;
  void text(std::string_view text) override;
  void end_case() override;

 private:
  void dump_row(const ExchangeRow& row, std::string_view indent);

  Recorder& next_;
  OutputFile* trace_;
  OutputFile* dump_;
  DumpRange dump_range_;
  CaseHeader header_;
  HashRecorder case_hash_;
  bool dumping_ = false;
  std::string dump_body_;
  std::string line_;
};

// The case header line shared by trace and dump (no line feed).
std::string case_line(const CaseHeader& header, std::uint64_t case_hash);
// 16 lower-case hexadecimal digits, leading zeros kept.
std::string hex16(std::uint64_t value);

}  // namespace zerin::digest

#endif  // ZERIN_DIGEST_RECORDERS_HPP
