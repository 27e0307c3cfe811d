// Shared pieces of the fuzz targets: reading operands from the fuzzer's bytes,
// failing loudly on a broken invariant, and small independent views of rows.
#ifndef ZERIN_EXCHANGE_FUZZ_SUPPORT_HPP
#define ZERIN_EXCHANGE_FUZZ_SUPPORT_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <expected>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>

#include "zerin/exchange.hpp"

namespace zerin::exchange::fuzz {

// Outcome tallies, printed at exit when ZERIN_FUZZ_TALLY is set: which results
// the inputs reach (for example `multicast Ok` or `multicast ReceiverSet`), so a
// corpus can be judged by more than its coverage count.
class Tally {
 public:
  static void count(const std::string& what) {
    static Tally& tally = instance();
    if (tally.enabled_) ++tally.counts_[what];
  }
  template <class T>
  static void outcome(std::string_view operation, const std::expected<T, ExchangeError>& result) {
    if (!instance().enabled_) return;
    std::string text = result ? std::string("Ok") : debug_string(result.error());
    // Schedule errors by reason; the other variants by name, not by payload.
    if (!result && !result.error().template is<ExchangeError::Schedule>()) {
      text = text.substr(0, text.find('('));
    }
    count(std::string(operation) + " " + text);
  }

 private:
  Tally() : enabled_(std::getenv("ZERIN_FUZZ_TALLY") != nullptr) {}
  ~Tally() {
    for (const auto& [what, number] : counts_)
      std::fprintf(stderr, "tally %s: %ld\n", what.c_str(), number);
  }
  static Tally& instance() {
    static Tally tally;
    return tally;
  }
  bool enabled_;
  std::map<std::string, long> counts_;
};

// Reads little-endian integers from the front of the input; past the end every
// read yields 0, so any input length is a valid input.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint16_t u16() {
    const std::uint16_t low = u8();
    return static_cast<std::uint16_t>(low | (std::uint16_t{u8()} << 8));
  }
  std::uint32_t u32() {
    const std::uint32_t low = u16();
    return low | (std::uint32_t{u16()} << 16);
  }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  bool empty() const noexcept { return pos_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Stops the run with a report when an invariant does not hold.
[[noreturn]] inline void violation(std::string_view what, std::string_view detail = {}) {
  std::fprintf(stderr, "invariant broken: %.*s %.*s\n", static_cast<int>(what.size()), what.data(),
               static_cast<int>(detail.size()), detail.data());
  std::abort();
}

inline void require(bool holds, std::string_view what, std::string_view detail = {}) {
  if (!holds) violation(what, detail);
}

// The error must be a Schedule error with one of `reasons`.
inline void require_schedule(const ExchangeError& error,
                             std::initializer_list<std::string_view> reasons,
                             std::string_view where) {
  const auto* schedule = error.get_if<ExchangeError::Schedule>();
  if (!schedule) violation(where, debug_string(error));
  for (const std::string_view reason : reasons) {
    if (reason_text(schedule->reason) == reason) return;
  }
  violation(where, debug_string(error));
}

// The result must hold a value; otherwise the report names its error.
template <class T>
void require_value(const std::expected<T, ExchangeError>& result, std::string_view what) {
  if (!result) violation(what, debug_string(result.error()));
}

inline void require_error(const ExchangeError& actual, const ExchangeError& expected,
                          std::string_view where) {
  if (actual != expected) {
    violation(where, "got " + debug_string(actual) + ", expected " + debug_string(expected));
  }
}

// Index of the return word that closes a row framed as
// [prefix..., instructions..., return, 0...]: the last non-zero word, which must be
// the return word, with only zeros after it. Returns row_length when the row is
// not so framed.
inline std::size_t closing_return_index(const ExchangeRow& row) {
  std::size_t last = row_length;
  for (std::size_t i = row_length; i-- > 0;) {
    if (row[i] != 0) {
      last = i;
      break;
    }
  }
  if (last == row_length || row[last] != return_word) return row_length;
  return last;
}

// Sum of the advances of words [first, end) of `row`, counting a SENDPICP
// instruction's payload word (the word after it) as part of the instruction.
inline std::uint64_t occupied_cycles(const std::uint32_t* first, const std::uint32_t* end) {
  std::uint64_t cycles = 0;
  for (const std::uint32_t* word = first; word < end; ++word) {
    cycles += instruction_advance(*word);
    if (is_send_control_pair(*word)) ++word;
  }
  return cycles;
}

// Number of word kinds whose fixed bits `word` carries.
inline int recognised_kinds(std::uint32_t word) {
  return int{is_exchange_delay(word)} + int{is_pic_delay(word)} + int{is_xpic_delay(word)} +
         int{is_send(word)} + int{is_send_off(word)} + int{is_send_control(word)} +
         int{is_send_control_pair(word)};
}

}  // namespace zerin::exchange::fuzz

#endif  // ZERIN_EXCHANGE_FUZZ_SUPPORT_HPP
