// Word recognition, instruction advance, advance rewriting, send-control
// stamping and the SENDPICP pair.
#include <gtest/gtest.h>

#include "expected_support.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;
using Kind = zx::ReceiveEventKind;

namespace {

using zx::testing::error_of;
using zx::testing::schedule;

constexpr std::uint32_t send_control_word = 0x70100000u | (5u << 21);  // occupies 6 cycles

TEST(InstructionAdvance, EveryWordKind) {
  struct Case {
    std::uint32_t word;
    std::uint32_t advance;
  };
  const std::array cases{
      Case{0x40A00000, 1},    Case{0x40A7FFFF, 524288}, Case{0x63FFFFFF, 128},
      Case{0x60000000, 1},    Case{0x67FFFFFF, 4096},   Case{0x64000640, 1},
      Case{0x7FE00002, 64},   Case{0x78000001, 1},      Case{0x766FC001, 4084},
      Case{0x77EFFFFF, 4096}, Case{0xF8600805, 4},      Case{send_control_word, 6},
      Case{zx::sync_word, 0}, Case{zx::return_word, 0}, Case{0, 0},
      Case{0x12345678, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(zx::instruction_advance(c.word), c.advance) << std::hex << c.word;
  }
}

TEST(InstructionAdvance, PayloadSendsAndTimedMaxima) {
  EXPECT_TRUE(zx::is_payload_send(0x78000001));
  EXPECT_TRUE(zx::is_payload_send(0x70000002));
  EXPECT_FALSE(zx::is_payload_send(send_control_word));
  EXPECT_FALSE(zx::is_payload_send(0xF8600805));
  EXPECT_TRUE(zx::is_send_control(send_control_word));
  EXPECT_FALSE(zx::is_send_off(send_control_word));
  EXPECT_TRUE(zx::is_send_control_pair(0xF0000000));
  EXPECT_FALSE(zx::is_send_control_pair(0x78000000));

  EXPECT_EQ(zx::maximum_timed_instruction_advance(0x60040001), 128u);
  EXPECT_EQ(zx::maximum_timed_instruction_advance(0x64002640), 4096u);
  EXPECT_EQ(zx::maximum_timed_instruction_advance(0x40A00000), std::nullopt);
  EXPECT_EQ(zx::maximum_timed_instruction_advance(0x78000001), std::nullopt);
  EXPECT_EQ(zx::maximum_timed_instruction_advance(zx::sync_word), std::nullopt);
}

TEST(SetInstructionAdvance, BoundsOfEachDelayKind) {
  struct Case {
    std::uint32_t word;
    std::uint32_t advance;
    std::optional<std::uint32_t> rewritten;  // absent: fails with `reason`
    zx::ScheduleReason reason;
  };
  const std::array cases{
      Case{0x40A00005, 1, 0x40A00000, {}},
      Case{0x40A00000, 524288, 0x40A7FFFF, {}},
      Case{0x40A00000, 524289, std::nullopt, zx::ScheduleReason::DelayAdvanceOverflow},
      // PIC: the selector and control bits stay.
      Case{0x60052345, 128, 0x63FD2345, {}},
      Case{0x63FFFFFF, 1, 0x6007FFFF, {}},
      Case{0x60052345, 129, std::nullopt, zx::ScheduleReason::PicDelayAdvanceOverflow},
      // XPIC: the flag and control bits stay.
      Case{0x64002ABC, 4096, 0x67FFEABC, {}},
      Case{0x67FFFFFF, 1, 0x64003FFF, {}},
      Case{0x64002ABC, 4097, std::nullopt, zx::ScheduleReason::XpicDelayAdvanceOverflow},
  };
  for (const Case& c : cases) {
    std::uint32_t word = c.word;
    const auto result = zx::set_instruction_advance(word, c.advance);
    if (c.rewritten) {
      ASSERT_TRUE(result) << std::hex << c.word << " advance " << std::dec << c.advance;
      EXPECT_EQ(word, *c.rewritten);
      EXPECT_EQ(zx::instruction_advance(word), c.advance);
    } else {
      EXPECT_EQ(error_of(result), schedule(c.reason)) << std::hex << c.word;
      EXPECT_EQ(word, c.word) << "a failed rewrite leaves the word alone";
    }
  }
}

TEST(SetInstructionAdvance, WordsWithoutAnAdvanceField) {
  const std::array sends{0x78000001u, 0x70000002u, send_control_word};
  for (const std::uint32_t send : sends) {
    for (const std::uint32_t advance : {1u, 64u, 100000u}) {
      std::uint32_t word = send;
      EXPECT_EQ(error_of(zx::set_instruction_advance(word, advance)),
                schedule(zx::ScheduleReason::ScheduledOffsetTruncatesSend));
      EXPECT_EQ(word, send);
    }
  }
  const std::array others{zx::sync_word, zx::return_word, 0u, 0xF8600805u};
  for (const std::uint32_t other : others) {
    std::uint32_t word = other;
    EXPECT_EQ(error_of(zx::set_instruction_advance(word, 5)),
              schedule(zx::ScheduleReason::FirstScheduledEventNotDelay))
        << std::hex << other;
    EXPECT_EQ(word, other);
  }
  // A zero advance is refused before the word is looked at.
  for (const std::uint32_t any : {0x40A00003u, 0x60000000u, 0x64000000u, 0x78000001u, 0u}) {
    std::uint32_t word = any;
    EXPECT_EQ(error_of(zx::set_instruction_advance(word, 0)),
              schedule(zx::ScheduleReason::ZeroEventAdvance));
    EXPECT_EQ(word, any);
  }
}

TEST(SetSenderControl, StampsEverySendAndNothingElse) {
  const zx::ExchangeRow row{zx::sync_word, 0x40A0001E,        0x7FE00003,
                            0x70000003,    send_control_word, 0xF0000001,
                            0xF0000004,    0xF0000000,        zx::return_word};
  zx::ExchangeRow stamped = row;
  ASSERT_TRUE(zx::set_sender_control(stamped, 6));
  EXPECT_EQ(stamped,
            (zx::ExchangeRow{zx::sync_word, 0x40A0001E, 0x7FE00006, 0x70000006, send_control_word,
                             0xF0000006, 0xF0000004, 0xF0000000, zx::return_word}));
  // SENDPICP words whose field has either of its low bits set are rewritten.
  for (const std::uint32_t field : {1u, 2u, 3u, 5u, 6u, 7u}) {
    zx::ExchangeRow pair_row{zx::sync_word, 0xF8600800 | field, 0, zx::return_word};
    ASSERT_TRUE(zx::set_sender_control(pair_row, 4));
    EXPECT_EQ(pair_row[1], 0xF8600804u) << field;
  }
}

// Every word is judged by its kind alone: over words of every top-bit pattern,
// exactly the send, send-off and routed SENDPICP words take the control.
TEST(SetSenderControl, OnlyRoutedKindsAreRewritten) {
  std::uint32_t mix = 0x2545F491u;
  for (std::uint32_t top = 0; top < 4096; ++top) {
    mix = mix * 1664525u + 1013904223u;
    const std::uint32_t word = (top << 20) | (mix & 0xFFFFFu);
    const bool routed =
        zx::is_payload_send(word) || (zx::is_send_control_pair(word) && (word & 3u) != 0);
    zx::ExchangeRow row{zx::sync_word, word, zx::return_word};
    const auto stamped = zx::set_sender_control(row, 5);
    ASSERT_EQ(stamped.has_value(), routed) << std::hex << word;
    ASSERT_EQ(row[1], routed ? (word & ~7u) | 5u : word) << std::hex << word;
  }
}

TEST(SetSenderControl, FailuresLeaveTheRowUnchanged) {
  const zx::ExchangeRow with_send{zx::sync_word, 0x78000003, zx::return_word};
  for (const int control : {0, 8, 255}) {
    zx::ExchangeRow row = with_send;
    EXPECT_EQ(error_of(zx::set_sender_control(row, static_cast<std::uint8_t>(control))),
              schedule(zx::ScheduleReason::SendControl));
    EXPECT_EQ(row, with_send);
  }
  const std::array no_payload{
      zx::ExchangeRow{zx::sync_word, 0x40A00002, 0x40A7FFFF, zx::return_word},
      zx::ExchangeRow{zx::sync_word, send_control_word, 0xF0000000, 0xF0000004, zx::return_word},
      zx::ExchangeRow{},
  };
  for (const zx::ExchangeRow& original : no_payload) {
    zx::ExchangeRow row = original;
    EXPECT_EQ(error_of(zx::set_sender_control(row, 5)),
              schedule(zx::ScheduleReason::SenderPayload));
    EXPECT_EQ(row, original);
  }
  // The control value is checked before the row is walked.
  zx::ExchangeRow empty{};
  EXPECT_EQ(error_of(zx::set_sender_control(empty, 0)), schedule(zx::ScheduleReason::SendControl));
}

zx::ReceiveEvent event(std::uint32_t cycles, std::uint32_t instruction, Kind kind) {
  return {cycles, instruction, kind};
}

TEST(SendControlPair, WorkedPairInEitherOrder) {
  const auto pic = event(7, 0x60052345, Kind::Pointer);
  const auto xpic = event(7, 0x64002ABC, Kind::OrdinarySource);
  for (const auto& events : {std::array{pic, xpic}, std::array{xpic, pic}}) {
    const auto pair = zx::encode_send_control_pair(3, 0x100, 5, events);
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->first, 0xF8600805u);
    EXPECT_EQ(pair->second, 0xAAF12345u);
    EXPECT_EQ(zx::instruction_advance(pair->first), 4u);
  }
  // The advance fields of the event words do not reach the pair; a clear
  // selector bit leaves bit 27 clear.
  const std::array timed{event(7, 0x63F92345, Kind::Format),
                         event(7, 0x67FFEABC, Kind::PairedNeutral)};
  const auto pair = zx::encode_send_control_pair(0, 0, 0, timed);
  ASSERT_TRUE(pair);
  EXPECT_EQ(pair->first, 0xF0000000u);
  EXPECT_EQ(pair->second, 0xAAF12345u);
  const auto top = zx::encode_send_control_pair(63, 0x3FFFF, 7, std::array{pic, xpic});
  ASSERT_TRUE(top);
  EXPECT_EQ(top->first, 0xFFFFFFFFu);
}

TEST(SendControlPair, ErrorsInOrder) {
  const auto pointer = event(7, 0x60052345, Kind::Pointer);
  const auto source = event(7, 0x64002ABC, Kind::OrdinarySource);
  const std::array good{pointer, source};
  const std::vector<zx::ReceiveEvent> three{pointer, source, source};
  const auto operand = schedule(zx::ScheduleReason::SendPicpOperand);
  EXPECT_EQ(error_of(zx::encode_send_control_pair(3, 0, 0, std::span(good).first(1))), operand);
  EXPECT_EQ(error_of(zx::encode_send_control_pair(3, 0, 0, three)), operand);
  EXPECT_EQ(error_of(zx::encode_send_control_pair(3, 0, 0, {})), operand);
  EXPECT_EQ(error_of(zx::encode_send_control_pair(64, 0, 0, good)), operand);
  EXPECT_EQ(error_of(zx::encode_send_control_pair(3, 0x40000, 0, good)), operand);
  EXPECT_EQ(error_of(zx::encode_send_control_pair(3, 0, 8, good)), operand);
  // Operands before kinds, kinds before times.
  const std::array two_sources{source, event(9, 0x64000000, Kind::OrdinaryNeutral)};
  EXPECT_EQ(error_of(zx::encode_send_control_pair(64, 0, 0, two_sources)), operand);
  EXPECT_EQ(error_of(zx::encode_send_control_pair(3, 0, 0, two_sources)),
            schedule(zx::ScheduleReason::SendPicpPicControl));
  const std::array two_pointers{pointer, event(9, 0x60000000, Kind::Pointer)};
  EXPECT_EQ(error_of(zx::encode_send_control_pair(3, 0, 0, two_pointers)),
            schedule(zx::ScheduleReason::SendPicpXpicControl));
  const std::array apart{pointer, event(8, 0x64002ABC, Kind::OrdinarySource)};
  EXPECT_EQ(error_of(zx::encode_send_control_pair(3, 0, 0, apart)),
            schedule(zx::ScheduleReason::SendPicpEventTime));
}

}  // namespace
