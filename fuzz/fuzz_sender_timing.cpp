// Fuzz target: payload timing of arbitrary sender rows at arbitrary offsets.
//
// Input: a schedule offset (u32), a shape byte, then nine row words (u32 each).
// Shape bit 0 forces the sync word into index 0; bits 1-4 name an index that is
// forced to the return word (none when beyond the row), so framed rows are common.
#include <system_error>
#include <vector>

#include "fuzz_support.hpp"

namespace zx = zerin::exchange;
using namespace zx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  const std::uint32_t offset = in.u32();
  const std::uint8_t shape = in.u8();
  zx::ExchangeRow row{};
  for (std::uint32_t& word : row) word = in.u32();
  if (shape & 1u) row[0] = zx::sync_word;
  const std::size_t forced_return = (shape >> 1) & 0xFu;
  if (forced_return < zx::row_length) row[forced_return] = zx::return_word;

  const zx::ExchangeRow before = row;
  const auto timing = zx::scheduled_sender_timing(row, offset);
  Tally::outcome("timing", timing);
  require(row == before, "scheduled_sender_timing changed its row");

  // The appended text is the debug text.
  std::string appended = "x";
  zx::append_debug(appended, timing);
  require(appended == "x" + debug_string(timing), "appended timing text", debug_string(timing));

  // The bounded writer gives the same text, or refuses a room too small for it
  // without writing past it.
  const std::size_t room = offset % (zx::timing_debug_max_size + 1);
  std::vector<char> buffer(room);
  const auto written = zx::to_chars(buffer.data(), buffer.data() + room, timing);
  if (appended.size() - 1 <= room) {
    require(written.ec == std::errc{} &&
                std::string_view(buffer.data(), written.ptr) == debug_string(timing),
            "bounded timing text", debug_string(timing));
  } else {
    require(written.ec == std::errc::value_too_large && written.ptr == buffer.data() + room,
            "bounded timing text refused", debug_string(timing));
  }

  // The expected outcome, walked in 64-bit arithmetic.
  std::string_view expected_reason;
  std::size_t end = 0;
  while (end < zx::row_length && row[end] != zx::return_word) ++end;
  std::uint64_t cycles = offset;
  std::uint64_t start = 0;
  std::uint64_t finish = 0;
  bool payload = false;
  bool overflow = false;
  if (row[0] != zx::sync_word) {
    expected_reason = "sender row entry";
  } else if (end == zx::row_length) {
    expected_reason = "sender row return";
  } else {
    for (std::size_t i = 1; i < end; ++i) {
      const bool send = zx::is_payload_send(row[i]);
      if (send && !payload) start = cycles;
      cycles += zx::instruction_advance(row[i]);
      if (cycles > 0xFFFFFFFFu) overflow = true;
      if (send) {
        finish = cycles;
        payload = true;
      }
    }
    if (overflow) {
      expected_reason = "sender event horizon overflow";
    } else if (!payload) {
      expected_reason = "sender payload";
    }
  }

  if (!expected_reason.empty()) {
    require(!timing, "timing succeeded where it must fail", expected_reason);
    require_schedule(timing.error(), {expected_reason}, "timing error");
    return 0;
  }
  require(timing.has_value(), "timing failed on a well-formed row", debug_string(timing));
  require(timing->payload_start < timing->payload_end && timing->payload_end <= timing->horizon,
          "payload_start < payload_end <= horizon", debug_string(timing));
  require(
      timing->payload_start == start && timing->payload_end == finish && timing->horizon == cycles,
      "timing values", debug_string(timing));
  require(timing->payload_start >= offset, "payload starts before the schedule offset");
  return 0;
}
