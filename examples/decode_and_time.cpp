// examples/decode_and_time.cpp: decode a sender row word by word and time its
// payload at a schedule offset.
#include <cstdio>
#include <zerin/exchange.hpp>

namespace zx = zerin::exchange;

int main() {
  // A sender row as it might come from a file or a trace: sync, a delay of
  // 3 cycles, a send of 4 words in direction 1, another delay, return.
  const zx::ExchangeRow row{0x41800003, 0x40A00002, 0x78600001, 0x40A00000, 0x43A00000};
  for (const zx::DecodedInstruction& word : zx::decode_row(row)) {
    std::printf("%08x  %-7s %-28s +%u\n", word.word,
                std::string(zx::word_kind_name(word.kind)).c_str(), zx::describe(word).c_str(),
                word.advance);
    if (word.kind == zx::WordKind::Return) break;  // the rest is zero fill
  }
  // The schedule offset is the cycle at which the word after the sync issues;
  // a row that would run past cycle 0xFFFFFFFF cannot be timed.
  for (const std::uint32_t offset : {0u, 10u, 0xFFFFFFF9u}) {
    const zx::TimingResult timing = zx::scheduled_sender_timing(row, offset);
    std::printf("at offset %u: %s\n", offset, zx::debug_string(timing).c_str());
    if (timing) {
      std::printf("  payload runs %u cycles, row ends at cycle %u\n",
                  timing->payload_end - timing->payload_start, timing->horizon);
    }
  }
}
