// The decoder against the encoders: round trips, kind recognition and text forms.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "zerin/exchange.hpp"

namespace zx = zerin::exchange;

namespace {

constexpr int kRounds = 20000;

std::mt19937& rng() {
  static std::mt19937 engine(0x5eed1234u);
  return engine;
}

std::uint32_t random_word() {
  return static_cast<std::uint32_t>(rng()());
}

// A value that fits `width` bits, drawn so that both edges come up often.
std::uint32_t random_operand(unsigned width) {
  const std::uint32_t max = width >= 32 ? 0xFFFFFFFFu : (std::uint32_t{1} << width) - 1u;
  switch (rng()() % 8) {
    case 0:
      return 0;
    case 1:
      return max;
    default:
      return random_word() & max;
  }
}

// The field values of a decoded word, in operand order.
std::vector<std::uint32_t> values(const zx::DecodedInstruction& d) {
  std::vector<std::uint32_t> out;
  for (const zx::DecodedField& field : d.fields()) out.push_back(field.value);
  return out;
}

using Values = std::vector<std::uint32_t>;

// Which encoders/recognisers accept the word, as a kind.
zx::WordKind kind_by_recognisers(std::uint32_t w) {
  if (w == zx::sync_word) return zx::WordKind::Sync;
  if (w == zx::return_word) return zx::WordKind::Return;
  if (w == 0) return zx::WordKind::Zero;
  if (zx::is_exchange_delay(w)) return zx::WordKind::ExchangeDelay;
  if (zx::is_pic_delay(w)) return zx::WordKind::PicDelay;
  if (zx::is_xpic_delay(w)) return zx::WordKind::XpicDelay;
  if (zx::is_send(w)) return zx::WordKind::Send;
  if (zx::is_send_control_pair(w)) return zx::WordKind::SendPicp;
  if (zx::is_send_control(w)) return zx::WordKind::SendControl;
  if (zx::is_send_off(w)) return zx::WordKind::SendOff;
  return zx::WordKind::Unknown;
}

TEST(DecodeRoundTrip, EncodedWordsGiveBackTheirOperands) {
  for (int i = 0; i < kRounds; ++i) {
    {
      const std::uint32_t cycles = random_operand(19);
      const auto d = zx::decode_instruction(zx::delay(cycles));
      ASSERT_EQ(d.kind, zx::WordKind::ExchangeDelay) << cycles;
      EXPECT_EQ(d.field("cycles"), cycles);
      EXPECT_EQ(d.advance, cycles + 1);
    }
    {
      const std::uint32_t a = random_operand(7), b = random_operand(1), c = random_operand(18);
      const auto d = zx::decode_instruction(zx::delay_pic(a, b, c));
      ASSERT_EQ(d.kind, zx::WordKind::PicDelay);
      EXPECT_EQ(values(d), (Values{a, b, c}));
    }
    {
      const std::uint32_t a = random_operand(12), b = random_operand(1), c = random_operand(13);
      const auto d = zx::decode_instruction(zx::delay_xpic(a, b, c));
      ASSERT_EQ(d.kind, zx::WordKind::XpicDelay);
      EXPECT_EQ(values(d), (Values{a, b, c}));
    }
    {
      const std::uint32_t n = random_operand(6), dir = random_operand(3), base = random_operand(18);
      const auto word = zx::encode_send(n, dir, base);
      ASSERT_TRUE(word);
      const auto d = zx::decode_instruction(*word);
      ASSERT_EQ(d.kind, zx::WordKind::Send);
      EXPECT_EQ(values(d), (Values{n, dir, base}));
    }
    {
      const std::uint32_t n = random_operand(12), dir = random_operand(3),
                          base = random_operand(11);
      const auto d = zx::decode_instruction(zx::send_off(n, dir, base));
      ASSERT_EQ(d.kind, zx::WordKind::SendOff) << n << ' ' << dir << ' ' << base;
      EXPECT_EQ(values(d), (Values{n, dir, base}));
      EXPECT_EQ(d.advance, n + 1);
    }
    {
      const std::uint32_t n = random_operand(6), address = random_operand(18);
      const std::uint32_t control = random_operand(3);
      const std::uint32_t pic_b = random_operand(1), pic_c = random_operand(18);
      const std::uint32_t xpic_b = random_operand(1), xpic_c = random_operand(13);
      const std::uint32_t at = random_word();
      const std::array<zx::ReceiveEvent, 2> events{
          zx::ReceiveEvent{at, zx::delay_xpic(0, xpic_b, xpic_c),
                           zx::ReceiveEventKind::PairedSource},
          zx::ReceiveEvent{at, zx::delay_pic(0, pic_b, pic_c), zx::ReceiveEventKind::Pointer}};
      const auto pair = zx::encode_send_control_pair(n, address, control, events);
      ASSERT_TRUE(pair);
      const std::array<std::uint32_t, 2> words{pair->first, pair->second};
      const auto row = zx::decode_row(words);
      ASSERT_EQ(row.size(), 2u);
      ASSERT_EQ(row[0].kind, zx::WordKind::SendPicp);
      EXPECT_EQ(values(row[0]), (Values{pic_b, n, address, control}));
      EXPECT_EQ(row[0].advance, n + 1);
      ASSERT_EQ(row[1].kind, zx::WordKind::SendPicpPayload);
      EXPECT_EQ(values(row[1]), (Values{xpic_b, xpic_c, pic_c}));
      EXPECT_EQ(row[1].advance, 0u);
    }
  }
}

// Every bit of these kinds is a fixed bit or a field, so re-encoding what the
// decoder read must rebuild the word exactly; and the decoder must agree with the
// recognisers and with instruction_advance on any word at all.
TEST(DecodeRoundTrip, ArbitraryWordsReencodeAndAgreeWithRecognisers) {
  for (int i = 0; i < 200000; ++i) {
    const std::uint32_t w = random_word();
    const auto d = zx::decode_instruction(w);
    ASSERT_EQ(d.kind, kind_by_recognisers(w)) << std::hex << w;
    ASSERT_EQ(d.advance, zx::instruction_advance(w)) << std::hex << w;
    switch (d.kind) {
      case zx::WordKind::PicDelay:
        EXPECT_EQ(zx::delay_pic(d.field("advance"), d.field("selector"), d.field("control")), w);
        break;
      case zx::WordKind::XpicDelay:
        EXPECT_EQ(zx::delay_xpic(d.field("advance"), d.field("flag"), d.field("control")), w);
        break;
      case zx::WordKind::Send:
        EXPECT_EQ(
            zx::encode_send(d.field("count_minus_one"), d.field("direction"), d.field("base_word"))
                .value(),
            w);
        break;
      case zx::WordKind::SendOff:
        EXPECT_EQ(
            zx::send_off(d.field("count_minus_one"), d.field("direction"), d.field("base_word")),
            w);
        break;
      default:
        break;
    }
  }
  // Random words rarely hit a plain delay (13 fixed bits); cover it directly.
  for (int i = 0; i < kRounds; ++i) {
    const std::uint32_t w = zx::delay(random_word());
    const auto d = zx::decode_instruction(w);
    ASSERT_EQ(d.kind, zx::WordKind::ExchangeDelay);
    EXPECT_EQ(zx::delay(d.field("cycles")), w);
  }
}

TEST(DecodeKinds, FrameWordsZeroAndStrangers) {
  EXPECT_EQ(zx::decode_instruction(zx::sync_word).kind, zx::WordKind::Sync);
  EXPECT_EQ(zx::decode_instruction(zx::return_word).kind, zx::WordKind::Return);
  EXPECT_EQ(zx::decode_instruction(0).kind, zx::WordKind::Zero);
  // Word 0 of a point-to-point receiver row is the value 1: not an instruction.
  EXPECT_EQ(zx::decode_instruction(1).kind, zx::WordKind::Unknown);
  EXPECT_EQ(zx::decode_instruction(zx::sync_word).advance, 0u);
  // Bit 20 set turns a send-off word into a send-control word.
  EXPECT_EQ(zx::decode_instruction(0x70100000u | (3u << 21) | 5u).kind, zx::WordKind::SendControl);
  EXPECT_EQ(zx::describe_instruction(0x70100000u | (3u << 21) | 5u), "send-control 4 words dir 5");
  // A payload word is only a payload after its instruction; alone it is whatever it looks like.
  EXPECT_EQ(zx::decode_instruction(0xAAF12345u).kind, zx::WordKind::Unknown);
  EXPECT_EQ(zx::decode_row(std::vector<std::uint32_t>{}).size(), 0u);
}

TEST(DecodeText, WorkedPointToPointRows) {
  const auto plan = zx::Topology::r470().point_to_point(0, 2, 100);
  ASSERT_TRUE(plan);
  std::vector<std::string> sender, receiver;
  for (const auto& d : zx::decode_row(plan->sender)) sender.push_back(zx::describe(d));
  for (const auto& d : zx::decode_row(plan->receiver)) receiver.push_back(zx::describe(d));
  EXPECT_EQ(sender,
            (std::vector<std::string>{
                "sync", "delay 142 (143 cycles)", "send 64 words dir 1 from 0x0",
                "send-off 36 words dir 1 from 0x0", "return", "zero", "zero", "zero", "zero"}));
  EXPECT_EQ(receiver, (std::vector<std::string>{"unknown 0x1", "sync",
                                                "xpic 112 (113 cycles) flag 0 control 0x0",
                                                "pic 53 (54 cycles) selector 0 control 0x0",
                                                "xpic 47 (48 cycles) flag 0 control 0x640",
                                                "delay 56 (57 cycles)", "return", "zero", "zero"}));
}

TEST(DecodeText, EdgesOfEachField) {
  EXPECT_EQ(zx::describe_instruction(0x40A0008Bu), "delay 139 (140 cycles)");
  EXPECT_EQ(zx::describe_instruction(0x40A7FFFFu), "delay 524287 (524288 cycles)");
  EXPECT_EQ(zx::describe_instruction(0x63FFFFFFu),
            "pic 127 (128 cycles) selector 1 control 0x3ffff");
  EXPECT_EQ(zx::describe_instruction(0x67FFFFFFu), "xpic 4095 (4096 cycles) flag 1 control 0x1fff");
  EXPECT_EQ(zx::describe_instruction(0x78000001u), "send 1 word dir 1 from 0x0");
  EXPECT_EQ(zx::describe_instruction(0x7FFFFFFFu), "send 64 words dir 7 from 0x3ffff");
  EXPECT_EQ(zx::describe_instruction(0x766FC001u), "send-off 4084 words dir 1 from 0x0");
  EXPECT_EQ(zx::describe_instruction(0x77EFFFFFu), "send-off 4096 words dir 7 from 0x7ff");
}

// The names and roles zerin-plan shows come from the word-kind table.
TEST(DecodeFields, NamesAndRolesOfEachKind) {
  auto names = [](std::uint32_t word) {
    std::vector<std::string_view> out;
    const zx::DecodedInstruction decoded = zx::decode_instruction(word);
    for (const zx::DecodedField& field : decoded.fields()) out.push_back(field.name);
    return out;
  };
  using Names = std::vector<std::string_view>;
  EXPECT_EQ(names(0x40A0008Bu), (Names{"cycles"}));
  EXPECT_EQ(names(0x63FFFFFFu), (Names{"advance", "selector", "control"}));
  EXPECT_EQ(names(0x67FFFFFFu), (Names{"advance", "flag", "control"}));
  EXPECT_EQ(names(0x78000001u), (Names{"count_minus_one", "direction", "base_word"}));
  EXPECT_EQ(names(0x766FC001u), (Names{"count_minus_one", "direction", "base_word"}));
  EXPECT_EQ(names(0xF8600805u),
            (Names{"pointer_selector", "count_minus_one", "source_word_address", "send_control"}));
  EXPECT_EQ(names(zx::sync_word), Names{});
  EXPECT_EQ(zx::decode_instruction(0x40A0008Bu).role(), zx::WordRole::Delay);
  EXPECT_EQ(zx::decode_instruction(0x63FFFFFFu).role(), zx::WordRole::Control);
  EXPECT_EQ(zx::decode_instruction(0x78000001u).role(), zx::WordRole::Send);
  EXPECT_EQ(zx::decode_instruction(zx::return_word).role(), zx::WordRole::Frame);
  EXPECT_EQ(zx::decode_instruction(1).role(), zx::WordRole::None);
  // The send-off count is put back together from its two pieces.
  EXPECT_EQ(zx::decode_instruction(0x766FC001u).field("count_minus_one"), 4083u);
}

TEST(DecodeText, WorkedSendControlPair) {
  const std::array<std::uint32_t, 2> pair{0xF8600805u, 0xAAF12345u};
  const auto row = zx::decode_row(pair);
  ASSERT_EQ(row.size(), 2u);
  EXPECT_EQ(zx::describe(row[0]), "sendpicp 4 words dir 5 from 0x100 pointer 1");
  EXPECT_EQ(zx::describe(row[1]), "sendpicp-payload xpic flag 1 control 0xabc pic control 0x12345");
}

}  // namespace
