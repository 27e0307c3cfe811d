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

// The decimal text of every value below 10000, leading zeros dropped: up to
// four characters, the first in the low byte, zero bytes above the last.
inline constexpr auto small_decimals = [] {
  std::array<std::uint32_t, 10000> texts{};
  for (std::uint32_t n = 0; n < texts.size(); ++n) {
    std::uint32_t text = 0;
    std::uint32_t rest = n;
    do {
      text = (text << 8) | ('0' + rest % 10);
      rest /= 10;
    } while (rest != 0);
    texts[n] = text;
  }
  return texts;
}();

// Writes `value` (below 10000) in decimal at `p` and returns the end of the
// digits. The text is looked up and stored whole, so four bytes of room are
// needed whatever the value; its length is the number of non-zero bytes.
inline char* put_small_decimal(char* p, std::uint32_t value) noexcept {
  std::uint32_t text = small_decimals[value];
  const int length = (std::bit_width(text) + 7) / 8;
  if constexpr (std::endian::native == std::endian::big) text = std::byteswap(text);
  std::memcpy(p, &text, sizeof text);
  return p + length;
}

// The eight decimal digits of `value` (below 10^8), leading zeros kept, as
// characters with the first in the low byte. The halves of the number are split
// side by side in one 64-bit word: into two 4-digit lanes, each into two 2-digit
// lanes, each into two digits. Multiplying by 10486 / 2^20 divides a lane below
// 10^4 by 100 exactly, and 103 / 2^10 one below 100 by 10; neither product
// reaches the next lane.
inline std::uint64_t eight_digits(std::uint32_t value) noexcept {
  std::uint64_t lanes = value / 10000 | (std::uint64_t{value % 10000} << 32);
  const std::uint64_t hundreds = ((lanes * 10486) >> 20) & 0x0000007F0000007Fu;
  lanes = hundreds | ((lanes - hundreds * 100) << 16);
  const std::uint64_t tens = ((lanes * 103) >> 10) & 0x000F000F000F000Fu;
  lanes = tens | ((lanes - tens * 10) << 8);
  return lanes | 0x3030303030303030u;
}

// Stores the eight characters of `digits` (as eight_digits() lays them out) at `p`.
inline void store_digits(char* p, std::uint64_t digits) noexcept {
  if constexpr (std::endian::native == std::endian::big) digits = std::byteswap(digits);
  std::memcpy(p, &digits, sizeof digits);
}

// Writes `value` in decimal at `p` and returns the end of the digits. The
// digest formats millions of cycle counts, most below 10000, and the rest in
// one pass of eight digits (with one or two before them for the largest
// values). Whole words are stored, so the caller keeps ten bytes of room
// whatever the value.
inline char* put_decimal(char* p, std::uint32_t value) noexcept {
  if (value < 10000) [[likely]] {
    return put_small_decimal(p, value);
  }
  if (value < 100000000) {
    std::uint64_t digits = eight_digits(value);
    // At most four leading zeros: the value has at least five digits.
    const int zeros = std::countr_zero(digits ^ 0x3030303030303030u) / 8;
    store_digits(p, digits >> (8 * zeros));
    return p + 8 - zeros;
  }
  p = put_small_decimal(p, value / 100000000);  // one or two digits, 1 to 42
  store_digits(p, eight_digits(value % 100000000));
  return p + 8;
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

// Text built at compile time with the same append() calls, in a fixed array of
// N characters; a text longer than N does not compile.
template <std::size_t N>
struct FixedText {
  char chars[N] = {};
  std::size_t size = 0;
  constexpr void append(std::string_view text) {
    for (const char c : text) chars[size++] = c;
  }
};

inline void append_unsigned(BufferText& out, std::uint64_t value, int base = 10) {
  char buffer[20];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, base);
  out.append({buffer, static_cast<std::size_t>(result.ptr - buffer)});
}

// Appends the debug text of a Schedule error with `reason`: `Schedule("...")`.
template <class Out>
constexpr void put_schedule_debug(Out& out, std::string_view reason) {
  out.append("Schedule(\"");
  out.append(reason);
  out.append("\")");
}

// Appends the debug text of `error` (instantiated for std::string and BufferText).
template <class Out>
void put_debug(Out& out, const ExchangeError& error);

}  // namespace zerin::exchange::detail

#endif  // ZERIN_EXCHANGE_SRC_TEXT_HPP
