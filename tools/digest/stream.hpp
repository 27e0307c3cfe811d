// The digest stream: the bytes of every recorded value, in sweep order, and
// their hash, SipHash-1-3 with both keys zero.
//
//   row         the length 9 as 8 little-endian bytes, then the 9 words, 4 bytes each
//   row vector  the number of rows as 8 little-endian bytes, then each row as above
//   text        its bytes, then one 0xFF byte
//
// StreamEncoder is the one writer of these bytes. Values collect in a fixed
// buffer that is hashed whenever it fills, while the bytes are still in cache;
// the bytes of the case being recorded stay together, so that an observer sees
// each value and each whole case as one run of the stream.
#ifndef ZERIN_DIGEST_STREAM_HPP
#define ZERIN_DIGEST_STREAM_HPP

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/words.hpp"

namespace zerin::digest {

using exchange::ExchangeRow;

// SipHash-1-3 with both keys zero: one compression round per 8-byte
// little-endian message word, three finalisation rounds, 64-bit output.
class SipHash13 {
 public:
  // Absorbs the whole 8-byte words at the front of `bytes` and returns how many
  // bytes they are; the 0..7 bytes left over are the caller's to pass on.
  std::size_t absorb(std::span<const unsigned char> bytes) noexcept {
    const std::size_t size = bytes.size() & ~std::size_t{7};
    // Work on a local copy so that the four words stay in registers.
    SipHash13 h = *this;
    for (std::size_t at = 0; at < size; at += 8) {
      std::uint64_t m;
      std::memcpy(&m, bytes.data() + at, sizeof m);
      if constexpr (std::endian::native == std::endian::big) m = std::byteswap(m);
      h.compress(m);
    }
    h.length_ += size;
    *this = h;
    return size;
  }

  // The hash of everything absorbed followed by `rest`; this object is unchanged.
  std::uint64_t finish(std::span<const unsigned char> rest) const noexcept {
    SipHash13 h = *this;
    rest = rest.subspan(h.absorb(rest));
    std::uint64_t last = (h.length_ + rest.size()) << 56;
    for (std::size_t i = 0; i < rest.size(); ++i) last |= std::uint64_t{rest[i]} << (8 * i);
    h.compress(last);
    h.v2_ ^= 0xff;
    for (int i = 0; i < 3; ++i) h.round();
    return h.v0_ ^ h.v1_ ^ h.v2_ ^ h.v3_;
  }

 private:
  void round() noexcept {
    v0_ += v1_;
    v1_ = std::rotl(v1_, 13) ^ v0_;
    v0_ = std::rotl(v0_, 32);
    v2_ += v3_;
    v3_ = std::rotl(v3_, 16) ^ v2_;
    v0_ += v3_;
    v3_ = std::rotl(v3_, 21) ^ v0_;
    v2_ += v1_;
    v1_ = std::rotl(v1_, 17) ^ v2_;
    v2_ = std::rotl(v2_, 32);
  }
  void compress(std::uint64_t m) noexcept {
    v3_ ^= m;
    round();
    v0_ ^= m;
  }

  // k0 = k1 = 0, so the key XOR leaves the initialisation constants as they are.
  std::uint64_t v0_ = 0x736f6d6570736575ULL;
  std::uint64_t v1_ = 0x646f72616e646f6dULL;
  std::uint64_t v2_ = 0x6c7967656e657261ULL;
  std::uint64_t v3_ = 0x7465646279746573ULL;
  std::uint64_t length_ = 0;  // bytes absorbed
};

// SipHash-1-3 of `bytes`.
inline std::uint64_t siphash13(std::span<const unsigned char> bytes) noexcept {
  return SipHash13{}.finish(bytes);
}

// Bytes of the length in front of a row or a row vector, and of a whole row.
inline constexpr std::size_t length_bytes = 8;
inline constexpr std::size_t row_bytes = length_bytes + 4 * exchange::row_length;

enum class CaseKind : std::uint8_t { point_to_point, multicast, paired_multicast };
inline std::string_view kind_name(CaseKind kind) noexcept {
  static constexpr std::array<std::string_view, 3> names{"p2p", "mc", "pmc"};
  return names[static_cast<std::size_t>(kind)];
}

// Which case is being recorded.
struct CaseHeader {
  std::int64_t index = 0;   // counts from 0 in sweep order
  std::uint32_t entry = 0;  // 1-based position in the table
  std::uint32_t count = 0;
  CaseKind kind = CaseKind::point_to_point;
  // The receiver tile (p2p), the schedule offset (mc) or the pair's first tile (pmc).
  std::uint32_t param = 0;
};

enum class ValueKind : std::uint8_t { row, rows, text };

// Watches the stream as it is written. The spans are valid only during the call.
class StreamObserver {
 public:
  // A value just recorded, and the bytes it added.
  virtual void value(ValueKind kind, std::span<const unsigned char> bytes) = 0;
  // A finished case, and every byte it added.
  virtual void end_case(const CaseHeader& header, std::span<const unsigned char> bytes) = 0;

 protected:
  ~StreamObserver() = default;
};

class StreamEncoder {
 public:
  // Small enough to be hashed from cache; no case may be larger.
  static constexpr std::size_t buffer_size = 32 * 1024;

  explicit StreamEncoder(StreamObserver* observer = nullptr) noexcept : observer_(observer) {}
  StreamEncoder(const StreamEncoder&) = delete;
  StreamEncoder& operator=(const StreamEncoder&) = delete;

  void begin_case() noexcept { case_begin_ = pos_; }
  void end_case(const CaseHeader& header) {
    if (observer_ != nullptr) observer_->end_case(header, {case_begin_, pos_});
  }

  void row(const ExchangeRow& row) {
    unsigned char* const begin = reserve(row_bytes);
    pos_ = put_row(begin, row);
    observe(ValueKind::row, begin);
  }
  void rows(std::span<const ExchangeRow> rows) {
    unsigned char* const begin = reserve(length_bytes + rows.size() * row_bytes);
    pos_ = put_le(begin, rows.size(), length_bytes);
    for (const ExchangeRow& r : rows) pos_ = put_row(pos_, r);
    observe(ValueKind::rows, begin);
  }
  // A text that `write(char* first)` puts in place, at most `max_size` bytes,
  // returning its end.
  template <class Write>
  void text(std::size_t max_size, Write write) {
    unsigned char* const begin = reserve(max_size + 1);
    auto* const end = reinterpret_cast<unsigned char*>(write(reinterpret_cast<char*>(begin)));
    *end = 0xFF;
    pos_ = end + 1;
    observe(ValueKind::text, begin);
  }
  void text(std::string_view text) {
    this->text(text.size(), [text](char* p) { return std::copy(text.begin(), text.end(), p); });
  }

  // SipHash-1-3 of every byte recorded so far.
  std::uint64_t finish() const noexcept { return hasher_.finish({buffer_.data(), pos_}); }

 private:
  static unsigned char* put_le(unsigned char* p, std::uint64_t value, std::size_t size) noexcept {
    for (std::size_t i = 0; i < size; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
    return p + size;
  }
  static unsigned char* put_row(unsigned char* p, const ExchangeRow& row) noexcept {
    p = put_le(p, row.size(), length_bytes);
    if constexpr (std::endian::native != std::endian::little) {
      for (const std::uint32_t word : row) p = put_le(p, word, 4);
      return p;
    }
    std::memcpy(p, row.data(), sizeof row);
    return p + sizeof row;
  }

  // Where `size` bytes go.
  unsigned char* reserve(std::size_t size) {
    if (static_cast<std::size_t>(buffer_.data() + buffer_size - pos_) < size) [[unlikely]] {
      make_room(size);
    }
    return pos_;
  }
  // Hashes the whole words before the current case and moves the rest to the
  // front of the buffer.
  void make_room(std::size_t size) {
    unsigned char* const buffer = buffer_.data();
    const std::size_t hashed = hasher_.absorb({buffer, case_begin_});
    std::memmove(buffer, buffer + hashed, static_cast<std::size_t>(pos_ - buffer) - hashed);
    case_begin_ -= hashed;
    pos_ -= hashed;
    if (static_cast<std::size_t>(buffer + buffer_size - pos_) < size) {
      throw exchange::InternalFault("digest case outgrows its buffer");
    }
  }
  void observe(ValueKind kind, const unsigned char* begin) {
    if (observer_ != nullptr) [[unlikely]]
      observer_->value(kind, {begin, pos_});
  }

  StreamObserver* observer_;
  SipHash13 hasher_;
  std::array<unsigned char, buffer_size> buffer_;
  unsigned char* pos_ = buffer_.data();
  unsigned char* case_begin_ = buffer_.data();
};

}  // namespace zerin::digest

#endif  // ZERIN_DIGEST_STREAM_HPP
