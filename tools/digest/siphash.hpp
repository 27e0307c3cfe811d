// The digest's running hash: SipHash-1-3 with both keys zero.
//
// One compression round per 8-byte message word and three finalisation rounds,
// 64-bit output. The value depends only on the bytes written and their order,
// never on how they were split into write() calls.
#ifndef ZERIN_DIGEST_SIPHASH_HPP
#define ZERIN_DIGEST_SIPHASH_HPP

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zerin::digest {

class DefaultHasher {
 public:
  // Appends `size` bytes. Whole 8-byte words are absorbed straight from `data`;
  // only the 0..7 bytes that do not fill a word are kept back.
  void write(const void* data, std::size_t size) noexcept {
    const auto* p = static_cast<const unsigned char*>(data);
    length_ += size;
    if (tail_size_ != 0) {
      for (; size != 0 && tail_size_ != 8; --size)
        tail_ |= std::uint64_t{*p++} << (8 * tail_size_++);
      if (tail_size_ != 8) return;
      state_.absorb(tail_);
      tail_ = 0;
      tail_size_ = 0;
    }
    // Work on a local copy so that the four words stay in registers.
    State s = state_;
    for (; size >= 8; size -= 8, p += 8) {
      std::uint64_t m;
      std::memcpy(&m, p, sizeof m);
      if constexpr (std::endian::native == std::endian::big) m = std::byteswap(m);
      s.absorb(m);
    }
    state_ = s;
    for (; size != 0; --size) tail_ |= std::uint64_t{*p++} << (8 * tail_size_++);
  }

  // SipHash-1-3 of everything written so far; the state is left unchanged.
  std::uint64_t finish() const noexcept {
    State s = state_;
    s.absorb(tail_ | (length_ << 56));
    s.v2 ^= 0xff;
    s.round();
    s.round();
    s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
  }

  // Number of bytes written so far.
  std::uint64_t length() const noexcept { return length_; }

 private:
  struct State {
    std::uint64_t v0, v1, v2, v3;
    void round() noexcept {
      v0 += v1;
      v1 = std::rotl(v1, 13) ^ v0;
      v0 = std::rotl(v0, 32);
      v2 += v3;
      v3 = std::rotl(v3, 16) ^ v2;
      v0 += v3;
      v3 = std::rotl(v3, 21) ^ v0;
      v2 += v1;
      v1 = std::rotl(v1, 17) ^ v2;
      v2 = std::rotl(v2, 32);
    }
    void absorb(std::uint64_t m) noexcept {
      v3 ^= m;
      round();
      v0 ^= m;
    }
  };

  // k0 = k1 = 0, so the key XOR leaves the initialisation constants as they are.
  State state_{0x736f6d6570736575ULL, 0x646f72616e646f6dULL, 0x6c7967656e657261ULL,
               0x7465646279746573ULL};
  std::uint64_t tail_ = 0;    // pending bytes, little-endian in the low bytes
  unsigned tail_size_ = 0;    // 0..7
  std::uint64_t length_ = 0;  // all bytes written
};

}  // namespace zerin::digest

#endif  // ZERIN_DIGEST_SIPHASH_HPP
