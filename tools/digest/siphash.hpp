// The digest's hash: SipHash-1-3 with both keys zero, one compression round per
// 8-byte little-endian message word, three finalisation rounds, 64-bit output.
#ifndef ZERIN_DIGEST_SIPHASH_HPP
#define ZERIN_DIGEST_SIPHASH_HPP

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace zerin::digest {

class SipHash13 {
 public:
  // Absorbs the whole 8-byte words at the front of `bytes` and returns how many
  // bytes they are; the 0..7 bytes left over are the caller's to pass on.
  std::size_t absorb(std::span<const unsigned char> bytes) noexcept {
    const std::size_t size = bytes.size() & ~std::size_t{7};
    // Work on a local copy so that the four words stay in registers.
    State s = state_;
    for (std::size_t at = 0; at < size; at += 8) {
      std::uint64_t m;
      std::memcpy(&m, bytes.data() + at, sizeof m);
      if constexpr (std::endian::native == std::endian::big) m = std::byteswap(m);
      s.absorb(m);
    }
    state_ = s;
    length_ += size;
    return size;
  }

  // The hash of everything absorbed followed by `rest`; this object is unchanged.
  std::uint64_t finish(std::span<const unsigned char> rest) const noexcept {
    SipHash13 h = *this;
    rest = rest.subspan(h.absorb(rest));
    std::uint64_t last = (h.length_ + rest.size()) << 56;
    for (std::size_t i = 0; i < rest.size(); ++i) last |= std::uint64_t{rest[i]} << (8 * i);
    State& s = h.state_;
    s.absorb(last);
    s.v2 ^= 0xff;
    s.round();
    s.round();
    s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
  }

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
  std::uint64_t length_ = 0;  // bytes absorbed
};

// SipHash-1-3 of `bytes`.
inline std::uint64_t siphash13(std::span<const unsigned char> bytes) noexcept {
  return SipHash13{}.finish(bytes);
}

}  // namespace zerin::digest

#endif  // ZERIN_DIGEST_SIPHASH_HPP
