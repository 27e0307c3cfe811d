// Small text helpers shared by the text forms of the library's values.
#ifndef ZERIN_EXCHANGE_SRC_TEXT_HPP
#define ZERIN_EXCHANGE_SRC_TEXT_HPP

#include <array>
#include <charconv>
#include <cstddef>
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

// Writes `text` at `p` and returns its end.
inline char* put(char* p, std::string_view text) noexcept {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

// The two decimal digits of every number below 100, "00" to "99".
inline constexpr auto digit_pairs = [] {
  std::array<char, 200> pairs{};
  for (std::size_t n = 0; n < 100; ++n) {
    pairs[2 * n] = static_cast<char>('0' + n / 10);
    pairs[2 * n + 1] = static_cast<char>('0' + n % 10);
  }
  return pairs;
}();

// Writes both digits of `value` (below 100), a leading zero included.
inline char* put_two_digits(char* p, std::uint32_t value) noexcept {
  std::memcpy(p, &digit_pairs[2 * value], 2);
  return p + 2;
}

// Writes `value` (below 10000) in decimal, without leading zeros.
inline char* put_below_10000(char* p, std::uint32_t value) noexcept {
  if (value < 100) {
    if (value < 10) {
      *p = static_cast<char>('0' + value);
      return p + 1;
    }
    return put_two_digits(p, value);
  }
  const std::uint32_t high = value / 100;
  const std::uint32_t low = value - high * 100;
  if (high < 10) {
    *p++ = static_cast<char>('0' + high);
  } else {
    p = put_two_digits(p, high);
  }
  return put_two_digits(p, low);
}

// Writes the four digits of `value` (below 10000), leading zeros included.
inline char* put_four_digits(char* p, std::uint32_t value) noexcept {
  const std::uint32_t high = value / 100;
  p = put_two_digits(p, high);
  return put_two_digits(p, value - high * 100);
}

// Largest text of put_decimal().
inline constexpr std::size_t decimal_max_size = 10;

// Writes `value` in decimal at `p` and returns the end of the digits. Cycle
// counts are mostly below 10000, so that range takes the short way.
inline char* put_decimal(char* p, std::uint32_t value) noexcept {
  if (value < 10000) return put_below_10000(p, value);
  if (value < 100000000) {
    const std::uint32_t high = value / 10000;
    p = put_below_10000(p, high);
    return put_four_digits(p, value - high * 10000);
  }
  const std::uint32_t high = value / 100000000;  // 1 to 42
  const std::uint32_t rest = value - high * 100000000;
  const std::uint32_t middle = rest / 10000;
  p = put_below_10000(p, high);
  p = put_four_digits(p, middle);
  return put_four_digits(p, rest - middle * 10000);
}

// Largest debug text of an ExchangeError:
// `PlanOffsetRange { cycles: 4294967295, maximum: 4294967295 }`.
inline constexpr std::size_t error_debug_max_size = 59;

// Writes the debug text of `error` at `p`, which has error_debug_max_size bytes
// of room, and returns its end.
char* put_debug(char* p, const ExchangeError& error) noexcept;

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_TEXT_HPP
