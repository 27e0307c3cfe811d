// Small text helpers shared by the text forms of the library's values.
#ifndef ZERIN_EXCHANGE_SRC_TEXT_HPP
#define ZERIN_EXCHANGE_SRC_TEXT_HPP

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "zerin/exchange/errors.hpp"

namespace zerin::exchange::detail {

// Appends `value` in decimal (base 10) or lower-case hexadecimal (base 16).
inline void append_unsigned(std::string& out, std::uint64_t value, int base = 10) {
  char buffer[20];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, base);
  out.append(buffer, result.ptr);
}

// Two decimal digits as characters, first digit in the low byte.
inline constexpr auto digit_pairs = [] {
  std::array<std::uint16_t, 100> pairs{};
  for (unsigned n = 0; n < 100; ++n) {
    pairs[n] = static_cast<std::uint16_t>(('0' + n / 10) | (('0' + n % 10) << 8));
  }
  return pairs;
}();

// Writes `value` in decimal at `p` and returns the end of the digits. The
// digest formats millions of cycle counts, most below 10000: those are built
// as one four-character word, leading zeros shifted out, and stored whole, so
// the caller keeps ten bytes of room whatever the value. Longer numbers are
// written two digits at a time from the end.
inline char* put_decimal(char* p, std::uint32_t value) noexcept {
  if (value < 10000) {
    const int digits = 1 + (value >= 10) + (value >= 100) + (value >= 1000);
    std::uint32_t word = digit_pairs[value / 100] | (std::uint32_t{digit_pairs[value % 100]} << 16);
    word >>= 8 * (4 - digits);
    if constexpr (std::endian::native == std::endian::big) word = std::byteswap(word);
    std::memcpy(p, &word, sizeof word);
    return p + digits;
  }
  // powers[k] is 10^k; 1233 / 4096 is just above log10(2), so t is floor(log10)
  // or one less.
  static constexpr std::uint32_t powers[] = {1,      10,      100,      1000,      10000,
                                             100000, 1000000, 10000000, 100000000, 1000000000};
  const int t = (static_cast<int>(std::bit_width(value)) * 1233) >> 12;
  char* const end = p + t + (value >= powers[t] ? 1 : 0);
  char* q = end;
  while (value >= 100) {
    q -= 2;
    std::memcpy(q, &digit_pairs[value % 100], 2);
    value /= 100;
  }
  if (value >= 10) {
    std::memcpy(q - 2, &digit_pairs[value], 2);
  } else {
    q[-1] = static_cast<char>('0' + value);
  }
  return end;
}

// Text written into a caller's fixed buffer, with the same append() calls as a
// std::string. Once the text does not fit, nothing more is written and full()
// says so; the text forms then need no allocation at all.
class BufferText {
 public:
  BufferText(char* first, char* last) noexcept : pos_(first), end_(last) {}
  void append(std::string_view text) noexcept {
    if (full_ || text.size() > static_cast<std::size_t>(end_ - pos_)) {
      full_ = true;
      return;
    }
    std::memcpy(pos_, text.data(), text.size());
    pos_ += text.size();
  }
  bool full() const noexcept { return full_; }
  char* end() const noexcept { return pos_; }

 private:
  char* pos_;
  char* end_;
  bool full_ = false;
};

inline void append_unsigned(BufferText& out, std::uint64_t value, int base = 10) {
  char buffer[20];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, base);
  out.append({buffer, static_cast<std::size_t>(result.ptr - buffer)});
}

// Appends the debug text of a Schedule error with `reason`: `Schedule("...")`.
template <class Out>
void put_schedule_debug(Out& out, std::string_view reason) {
  out.append("Schedule(\"");
  out.append(reason);
  out.append("\")");
}

// Appends the debug text of `error` (instantiated for std::string and BufferText).
template <class Out>
void put_debug(Out& out, const ExchangeError& error);

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_TEXT_HPP
