// Small text helpers shared by the text forms of the library's values.
#ifndef ZERIN_EXCHANGE_SRC_TEXT_HPP
#define ZERIN_EXCHANGE_SRC_TEXT_HPP

#include <charconv>
#include <cstdint>
#include <string>

namespace zerin::exchange::detail {

// Appends `value` in decimal (base 10) or lower-case hexadecimal (base 16).
inline void append_unsigned(std::string& out, std::uint64_t value, int base = 10) {
  char buffer[20];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, base);
  out.append(buffer, result.ptr);
}

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_TEXT_HPP
