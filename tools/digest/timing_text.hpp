// The debug texts of sender timing results, written without allocating: the
// digest records three for every plan. They are the texts of the library's
// debug_string(TimingResult). Successes look up whole four-digit numbers and
// errors reuse the text of the one before; the library's to_chars() writes
// two digits at a time and would cost the whole run about a tenth more
// instructions.
#ifndef ZERIN_DIGEST_TIMING_TEXT_HPP
#define ZERIN_DIGEST_TIMING_TEXT_HPP

#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/sender_timing.hpp"

namespace zerin::digest {

// `Ok(ScheduledPayloadTiming { payload_start: 3, payload_end: 10, horizon: 12 })`.
class OkTimingText {
 public:
  static constexpr std::string_view head = "Ok(ScheduledPayloadTiming { payload_start: ";
  static constexpr std::string_view end_field = ", payload_end: ";
  static constexpr std::string_view horizon_field = ", horizon: ";
  static constexpr std::string_view tail = " })";
  // The longest text (three 10-digit numbers), and room for a number's store.
  static constexpr std::size_t max_size =
      head.size() + end_field.size() + horizon_field.size() + tail.size() + 3 * 10 + 4;

  // Writes the text at `p`, which has max_size bytes of room, and returns its end.
  static char* write(char* p, const exchange::ScheduledPayloadTiming& timing) noexcept {
    p = put(p, head);
    p = put(p, timing.payload_start);
    p = put(p, end_field);
    p = put(p, timing.payload_end);
    p = put(p, horizon_field);
    p = put(p, timing.horizon);
    return put(p, tail);
  }

 private:
  static char* put(char* p, std::string_view text) noexcept {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
  }
  // Writes `value` in decimal. Most cycle counts of the sweep are below 10000:
  // their text is looked up whole and stored as four bytes, the length being
  // the number of non-zero bytes. So the room holds four bytes past the text.
  static char* put(char* p, std::uint32_t value) noexcept {
    if (value >= small.size()) return std::to_chars(p, p + 10, value).ptr;
    std::uint32_t text = small[value];
    const int length = (std::bit_width(text) + 7) / 8;
    if constexpr (std::endian::native == std::endian::big) text = std::byteswap(text);
    std::memcpy(p, &text, sizeof text);
    return p + length;
  }

  // The decimal text of every value below 10000, first character in the low byte.
  static constexpr auto small = [] {
    std::array<std::uint32_t, 10000> texts{};
    for (std::uint32_t n = 0; n < texts.size(); ++n) {
      for (std::uint32_t rest = n;; rest /= 10) {
        texts[n] = (texts[n] << 8) | ('0' + rest % 10);
        if (rest < 10) break;
      }
    }
    return texts;
  }();
};

// The text of a failed timing, `Err(...)` as the library writes it. Runs of the
// same error reuse the text: it depends on nothing but the error.
class ErrTimingText {
 public:
  std::string_view operator()(const exchange::TimingResult& result) {
    if (!last_ || *last_ != result.error()) {
      last_ = result.error();
      text_.clear();
      exchange::append_debug(text_, result);
    }
    return text_;
  }

 private:
  std::optional<exchange::ExchangeError> last_;
  std::string text_;
};

}  // namespace zerin::digest

#endif  // ZERIN_DIGEST_TIMING_TEXT_HPP
