// Small text helpers shared by the text forms of the library's values.
#ifndef ZERIN_EXCHANGE_SRC_TEXT_HPP
#define ZERIN_EXCHANGE_SRC_TEXT_HPP

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
