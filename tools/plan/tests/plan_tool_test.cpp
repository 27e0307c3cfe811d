// The pieces of zerin-plan that the end-to-end checks reach only indirectly:
// JSON string escaping, strict number parsing and row timing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli.hpp"
#include "json.hpp"
#include "report.hpp"

namespace zp = zerin::plan;
namespace zx = zerin::exchange;

namespace {

std::string json_string(std::string_view text) {
  std::string out;
  zp::append_json_string(out, text);
  return out;
}

TEST(JsonEscaping, SpecialsAndControlCharacters) {
  EXPECT_EQ(json_string("plain"), "\"plain\"");
  EXPECT_EQ(json_string("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(json_string("\b\f\n\r\t"), "\"\\b\\f\\n\\r\\t\"");
  EXPECT_EQ(json_string(std::string_view("\0\x01\x1f", 3)), "\"\\u0000\\u0001\\u001f\"");
  // DEL and '/' need no escape.
  EXPECT_EQ(json_string("\x7f/"), "\"\x7f/\"");
}

TEST(JsonEscaping, Utf8KeptAndBrokenBytesReplaced) {
  EXPECT_EQ(json_string("\xc3\xa9"), "\"\xc3\xa9\"");                  // U+00E9
  EXPECT_EQ(json_string("\xe2\x82\xac"), "\"\xe2\x82\xac\"");          // U+20AC
  EXPECT_EQ(json_string("\xf0\x9f\x98\x80"), "\"\xf0\x9f\x98\x80\"");  // U+1F600
  EXPECT_EQ(json_string("\xff"), "\"\\ufffd\"");
  EXPECT_EQ(json_string("\xc3"), "\"\\ufffd\"");                                   // truncated
  EXPECT_EQ(json_string("\xc0\xaf"), "\"\\ufffd\\ufffd\"");                        // overlong '/'
  EXPECT_EQ(json_string("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");             // surrogate
  EXPECT_EQ(json_string("\xf4\x90\x80\x80"), "\"\\ufffd\\ufffd\\ufffd\\ufffd\"");  // > U+10FFFF
  EXPECT_EQ(json_string("\xe2\x82x"), "\"\\ufffd\\ufffdx\"");
}

TEST(JsonWriter, CommasAndNesting) {
  std::string out;
  zp::JsonWriter json(out);
  json.begin_object();
  json.member("a", std::uint64_t{1});
  json.key("b");
  json.begin_array();
  json.value(std::int64_t{-2});
  json.begin_object();
  json.end_object();
  json.null();
  json.value(true);
  json.end_array();
  json.member("c", "x");
  json.end_object();
  EXPECT_EQ(out, R"({"a":1,"b":[-2,{},null,true],"c":"x"})");
}

TEST(CommandLineNumbers, BoundsAndForms) {
  EXPECT_EQ(zp::parse_unsigned("65535", 16).value(), 65535u);
  EXPECT_EQ(zp::parse_unsigned("0xFFFF", 16).value(), 65535u);
  EXPECT_EQ(zp::parse_unsigned("0", 16).value(), 0u);
  EXPECT_EQ(zp::parse_unsigned("4294967295", 32).value(), 4294967295u);
  EXPECT_EQ(zp::parse_unsigned("65536", 16).error(), "'65536' does not fit 16 bits (0..65535)");
  EXPECT_FALSE(zp::parse_unsigned("4294967296", 32));
  EXPECT_FALSE(zp::parse_unsigned("18446744073709551616", 32));
  for (const char* bad : {"", "-0", "+1", " 1", "1 ", "1e3", "0x", "0b1", "ff", "1,2"}) {
    EXPECT_EQ(zp::parse_unsigned(bad, 32).error(), zp::quoted(bad) + " is not a number") << bad;
  }
  EXPECT_EQ(zp::parse_word("41800003").value(), 0x41800003u);
  EXPECT_EQ(zp::parse_word("0xffffffff").value(), 0xFFFFFFFFu);
  EXPECT_EQ(zp::parse_word("00000000ffffffff").value(), 0xFFFFFFFFu);
  EXPECT_FALSE(zp::parse_word("100000000"));
  EXPECT_FALSE(zp::parse_word("-1"));
  EXPECT_FALSE(zp::parse_word(""));
}

TEST(CommandLineParse, WellFormedCommands) {
  std::vector<std::string_view> args{"multicast",  "--json",  "0",  "736,1286",
                                     "--offset=7", "--count", "100"};
  const auto options = zp::parse_command_line(args);
  ASSERT_TRUE(options) << options.error().message;
  EXPECT_EQ(options->command, zp::Command::Multicast);
  EXPECT_EQ(options->receivers, (std::vector<std::uint16_t>{736, 1286}));
  EXPECT_EQ(options->count, 100u);
  EXPECT_EQ(options->offset, 7u);
  EXPECT_TRUE(options->json);

  args = {"timing", "41800003", "78000001", "43A00000"};
  const auto timing = zp::parse_command_line(args);
  ASSERT_TRUE(timing);
  EXPECT_EQ(timing->words, (std::vector<std::uint32_t>{0x41800003, 0x78000001, 0x43A00000}));
  EXPECT_FALSE(timing->offset);
}

TEST(RowTiming, ClockRunsToTheReturnWordAndDoesNotWrap) {
  const std::vector<std::uint32_t> row{zx::sync_word, zx::delay(0x7FFFF), zx::return_word, 0};
  const auto timed = zp::time_row(row, 0xFFFFFFFFu);
  ASSERT_EQ(timed.size(), 4u);
  EXPECT_EQ(timed[1].issue, 0xFFFFFFFFu);
  EXPECT_EQ(timed[2].issue, 0xFFFFFFFFull + 0x80000);
  EXPECT_FALSE(timed[3].issue);
  // Without a return word every word is timed.
  const std::vector<std::uint32_t> open{zx::sync_word, zx::delay(4), 0};
  EXPECT_EQ(zp::time_row(open, 0)[2].issue, 5u);
  // The payload word of a SENDPICP takes no cycles of its own.
  const std::vector<std::uint32_t> pair{zx::sync_word, 0xF8600805u, 0xE4002000u, zx::return_word};
  const auto timed_pair = zp::time_row(pair, 0);
  EXPECT_EQ(timed_pair[2].decoded.kind, zx::WordKind::SendPicpPayload);
  EXPECT_EQ(timed_pair[3].issue, 4u);
}

}  // namespace
