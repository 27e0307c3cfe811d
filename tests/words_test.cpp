// Instruction-word encoders: layouts, masking and the checked operands.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;
using E = zx::ExchangeError;

namespace {

const E send_operand = E::schedule(zx::ScheduleReason::SendInstructionOperand);

TEST(PlainDelayWord, CyclesFillTheLowNineteenBits) {
  EXPECT_EQ(zx::encode_exchange_delay(0), 0x40A00000u);
  EXPECT_EQ(zx::encode_exchange_delay(5), 0x40A00005u);
  EXPECT_EQ(zx::encode_exchange_delay(0x7FFFF), 0x40A7FFFFu);
  // Bit 19 of the operand is cut off rather than spilling into the fixed bits.
  EXPECT_EQ(zx::delay(0x80000), 0x40A00000u);
  EXPECT_EQ(zx::delay(0xFFFFFFFF), 0x40A7FFFFu);
}

TEST(PicDelayWord, AdvanceSelectorAndControl) {
  EXPECT_EQ(zx::encode_exchange_delay_pic(52, 0, 0x14000), 0x61A14000u);
  EXPECT_EQ(zx::encode_exchange_delay_pic(127, 1, 0x3FFFF), 0x63FFFFFFu);
  EXPECT_EQ(zx::encode_exchange_delay_pic(0, 0, 0), 0x60000000u);
  // Each operand wraps inside its own field.
  EXPECT_EQ(zx::delay_pic(128, 0, 0), 0x60000000u);
  EXPECT_EQ(zx::delay_pic(0, 2, 0), 0x60000000u);
  EXPECT_EQ(zx::delay_pic(0, 0, 0x40000), 0x60000000u);
  EXPECT_EQ(zx::delay_pic(0, 1, 0), 0x60040000u);
}

TEST(XpicDelayWord, AdvanceFlagAndControl) {
  EXPECT_EQ(zx::encode_exchange_delay_xpic(0, 0, 0x640), 0x64000640u);
  EXPECT_EQ(zx::encode_exchange_delay_xpic(0x70, 0, 0), 0x641C0000u);
  EXPECT_EQ(zx::encode_exchange_delay_xpic(4095, 1, 0x1FFF), 0x67FFFFFFu);
  // Bit 13 of the control does not reach the flag bit; advance 4096 wraps to 0.
  EXPECT_EQ(zx::delay_xpic(0, 0, 0x2000), 0x64000000u);
  EXPECT_EQ(zx::delay_xpic(4096, 0, 0), 0x64000000u);
  EXPECT_EQ(zx::delay_xpic(0, 2, 0), 0x64000000u);
  EXPECT_EQ(zx::delay_xpic(0, 1, 0), 0x64002000u);
}

TEST(SendWord, EncodesInRangeOperands) {
  EXPECT_EQ(zx::encode_send(0, 1, 0), 0x78000001u);
  EXPECT_EQ(zx::encode_send(63, 2, 0), 0x7FE00002u);
  EXPECT_EQ(zx::encode_send(63, 7, 0x3FFFF), 0x7FFFFFFFu);
  EXPECT_EQ(zx::encode_send(0, 0, 0), 0x78000000u);
  EXPECT_EQ(zx::encode_send(0, 3, 1), 0x7800000Bu);
}

TEST(SendWord, RejectsEveryOperandOutsideItsField) {
  EXPECT_EQ(zx::encode_send(64, 1, 0), std::unexpected(send_operand));
  EXPECT_EQ(zx::encode_send(0, 8, 0), std::unexpected(send_operand));
  EXPECT_EQ(zx::encode_send(0, 1, 0x40000), std::unexpected(send_operand));
  EXPECT_EQ(zx::encode_send(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF), std::unexpected(send_operand));
}

TEST(SendOffWord, SplitsATwelveBitCount) {
  EXPECT_EQ(zx::send_off(0, 2, 0), 0x70000002u);
  EXPECT_EQ(zx::send_off(4083, 1, 0), 0x766FC001u);
  EXPECT_EQ(zx::send_off(4095, 7, 0x7FF), 0x77EFFFFFu);
  // Bit 12 of the count, bit 11 of the base and bit 3 of the direction are lost;
  // none of them may set bit 20, which would turn the word into a send control.
  EXPECT_EQ(zx::send_off(4096, 0, 0), 0x70000000u);
  EXPECT_EQ(zx::send_off(4096, 0, 0), zx::send_off(0, 0, 0));
  EXPECT_EQ(zx::send_off(0, 0, 0x800), 0x70000000u);
  EXPECT_EQ(zx::send_off(0, 8, 0), 0x70000000u);
  EXPECT_EQ(zx::send_off(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF), 0x77EFFFFFu);
}

TEST(TransferCount, OneToFortyOneFortyEight) {
  EXPECT_EQ(zx::validate_count(0), std::unexpected(E(E::Count{0})));
  EXPECT_TRUE(zx::validate_count(1));
  EXPECT_TRUE(zx::validate_count(64));
  EXPECT_TRUE(zx::validate_count(4096));
  EXPECT_TRUE(zx::validate_count(4148));
  EXPECT_EQ(zx::validate_count(4149), std::unexpected(E(E::Count{4149})));
  EXPECT_EQ(zx::validate_count(4160), std::unexpected(E(E::Count{4160})));
  EXPECT_EQ(zx::validate_count(0xFFFFFFFF), std::unexpected(E(E::Count{0xFFFFFFFF})));
}

// A kind that only narrows another does not exclude it; one fixed bit set
// differently does. (That the table's kinds exclude each other is checked when
// the library compiles.)
TEST(WordKinds, ExclusionNeedsADifferentFixedBit) {
  namespace f = zx::word_format;
  // The send-off and send-control kinds differ only in bit 20.
  const zx::WordKindBits either_send_off{0xF8000000u, 0x70000000u};
  EXPECT_FALSE(either_send_off.excludes(f::send_off.fixed));
  EXPECT_FALSE(either_send_off.excludes(f::send_control.fixed));
  EXPECT_TRUE(either_send_off.excludes(f::send.fixed));
}

}  // namespace
