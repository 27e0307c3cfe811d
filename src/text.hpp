// Small text helpers shared by the text forms of the library's values.
#ifndef ZERIN_EXCHANGE_SRC_TEXT_HPP
#define ZERIN_EXCHANGE_SRC_TEXT_HPP

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

// Writes `value` in decimal at `p` (room for 10 characters) and returns the end.
// The digest formats millions of cycle counts, so the length comes from the bit
// width and the digits are written two at a time from the end.
inline char* put_decimal(char* p, std::uint32_t value) noexcept {
  static constexpr char pairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  // powers[k] is 10^k, except powers[0], which makes 0 one digit long.
  static constexpr std::uint32_t powers[] = {0,         10,         100,      1000,
                                             10000,     100000,     1000000,  10000000,
                                             100000000, 1000000000};
  // 1233 / 4096 is just above log10(2), so t is floor(log10) or one less.
  const int t = (static_cast<int>(std::bit_width(value)) * 1233) >> 12;
  char* const end = p + t + (value >= powers[t] ? 1 : 0);
  char* q = end;
  while (value >= 100) {
    q -= 2;
    std::memcpy(q, pairs + 2 * (value % 100), 2);
    value /= 100;
  }
  if (value >= 10) {
    std::memcpy(q - 2, pairs + 2 * value, 2);
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

// Appends the debug text of `error` (instantiated for std::string and BufferText).
template <class Out>
void put_debug(Out& out, const ExchangeError& error);

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_TEXT_HPP
