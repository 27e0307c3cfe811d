// The pieces of zerin-plan that the end-to-end checks reach only indirectly:
// strict number parsing, the option rules, row timing, table columns and the
// explanations of refused receiver lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli.hpp"
#include "explain.hpp"
#include "report.hpp"
#include "zerin/exchange/version.hpp"

namespace zp = zerin::plan;
namespace zx = zerin::exchange;

namespace {

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
  EXPECT_EQ(zp::quoted("a'\n"), "'a\\x27\\x0a'");
}

zp::ParsedCommandLine parse(std::vector<std::string_view> args) {
  return zp::parse_command_line(args);
}

std::string usage_message(const zp::ParsedCommandLine& parsed) {
  const auto* error = std::get_if<zp::UsageError>(&parsed);
  return error ? error->message : "(no usage error)";
}

TEST(CommandLineParse, BothOptionFormsAnyOrder) {
  const auto parsed =
      parse({"multicast", "--json", "0", "736,1286", "--offset=7", "--count", "100"});
  const auto* invocation = std::get_if<zp::Invocation>(&parsed);
  ASSERT_TRUE(invocation) << usage_message(parsed);
  EXPECT_EQ(invocation->command->name, "multicast");
  EXPECT_EQ(invocation->options.sender, 0u);
  EXPECT_EQ(invocation->options.receivers, (std::vector<std::uint16_t>{736, 1286}));
  EXPECT_EQ(invocation->options.count, 100u);
  EXPECT_EQ(invocation->options.offset, 7u);
  EXPECT_TRUE(invocation->options.json);

  const auto timing = parse({"timing", "41800003", "78000001", "43A00000"});
  const auto* words = std::get_if<zp::Invocation>(&timing);
  ASSERT_TRUE(words) << usage_message(timing);
  EXPECT_EQ(words->options.words, (std::vector<std::uint32_t>{0x41800003, 0x78000001, 0x43A00000}));
  EXPECT_FALSE(words->options.offset);
}

TEST(CommandLineParse, RepeatedSingleValuedOptionsAreRefusedByName) {
  EXPECT_EQ(usage_message(parse({"p2p", "0", "1", "--count", "1", "--count=2"})),
            "--count may be given only once");
  EXPECT_EQ(usage_message(parse({"p2p", "0", "1", "--count", "1", "--json", "--json"})),
            "--json may be given only once");
  EXPECT_EQ(usage_message(parse({"timing", "1", "--offset", "1", "--offset", "1"})),
            "--offset may be given only once");
  // A list is not a repeat.
  EXPECT_TRUE(std::holds_alternative<zp::Invocation>(parse({"decode", "1", "2", "3"})));
}

TEST(CommandLineParse, HelpAndVersionEverywhere) {
  for (const auto& args : std::vector<std::vector<std::string_view>>{
           {"--help"}, {"-h"}, {"p2p", "--help"}, {"tile", "-h"}}) {
    const auto parsed = parse(args);
    const auto* exit = std::get_if<zp::EarlyExit>(&parsed);
    ASSERT_TRUE(exit) << args.front();
    EXPECT_NE(exit->text.find("Usage:"), std::string::npos) << exit->text;
  }
  for (const auto& args : std::vector<std::vector<std::string_view>>{
           {"--version"}, {"decode", "--version"}, {"p2p", "0", "--version"}}) {
    const auto parsed = parse(args);
    const auto* exit = std::get_if<zp::EarlyExit>(&parsed);
    ASSERT_TRUE(exit) << args.front();
    EXPECT_EQ(exit->text, std::string("zerin-plan ") + ZERIN_EXCHANGE_VERSION_STRING + "\n");
  }
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

TEST(Tables, ColumnsWidenForLongNumbersAndNeverTouch) {
  // Issue cycles of ten digits: still two spaces between text and cycle.
  zp::Report report;
  report.command = "timing";
  report.offset = 4294000000u;
  const zx::ExchangeRow row{zx::sync_word, zx::delay(2), 0x78600001u, zx::return_word};
  report.rows.push_back(
      zp::make_row(zx::Topology::r470(), zp::RowRole::Sender, std::nullopt, row, *report.offset));
  report.sender_timing = zx::scheduled_sender_timing(row, *report.offset);
  const std::string text = zp::render_text(report);
  EXPECT_NE(text.find("  send 4 words dir 1 from 0x0  4294000003       4\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("  #  word        instruction                       issue  cycles\n"),
            std::string::npos)
      << text;

  // Eleven words: the index column is two wide from the first line on.
  const std::vector<std::uint32_t> words(11, 0);
  const std::string decoded = zp::render_decode_text(words);
  EXPECT_TRUE(
      decoded.starts_with("   #  word        instruction  cycles\n"
                          "   0  0x00000000  zero              0\n"))
      << decoded;
  EXPECT_NE(decoded.find("\n  10  0x00000000  zero              0\n"), std::string::npos);
}

TEST(Tables, OneReceiverIsOneTile) {
  zp::Report report;
  report.command = "multicast";
  report.sender_logical = 0;
  report.receivers_logical = {1};
  report.count = 1;
  EXPECT_EQ(zp::heading(report), "multicast: tile 0 sends 1 word to tile 1, schedule offset 0");
  report.receivers_logical = {1, 2};
  report.count = 2;
  EXPECT_EQ(zp::heading(report),
            "multicast: tile 0 sends 2 words to tiles 1, 2, schedule offset 0");
}

TEST(Tables, PointToPointReceiverLeadIsNamed) {
  const auto topology = zx::Topology::r470();
  const auto plan = topology.point_to_point(0, 1, 1);
  ASSERT_TRUE(plan);
  zp::RowReport row = zp::make_row(topology, zp::RowRole::Receiver, 1, plan->receiver, 0);
  EXPECT_EQ(row.words[0].kind, "unknown");
  zp::mark_p2p_receiver_lead(row);
  EXPECT_EQ(row.words[0].kind, "p2p-receiver-lead");
  EXPECT_EQ(row.words[0].text, "lead 1 (p2p receiver, before sync)");
  // Only that word: the sync word after it keeps its name.
  EXPECT_EQ(row.words[1].kind, "sync");
}

TEST(ReceiverListExplanations, PairedNamesEveryReceiverAndCheck) {
  const auto topology = zx::Topology::r470();
  using List = std::vector<std::uint16_t>;
  using Lines = std::vector<std::string>;
  EXPECT_EQ(zp::explain_paired_receivers(topology, List{2, 4}),
            (Lines{"receiver 2: its partner 3 is not in the list",
                   "receiver 4: its partner 5 is not in the list"}));
  EXPECT_EQ(zp::explain_paired_receivers(topology, List{}), (Lines{"the receiver list is empty"}));
  EXPECT_EQ(
      zp::explain_paired_receivers(topology, List{2, 3, 2}),
      (Lines{"3 receivers: paired receivers come in partner pairs, so their number must be even",
             "receiver 2 is listed 2 times"}));
  EXPECT_EQ(zp::explain_paired_receivers(topology, List{1472, 1473}),
            (Lines{"receiver 1472: it has no partner (logical tile 1472 is out of range)",
                   "receiver 1473: it has no partner (logical tile 1473 is out of range)"}));
  // Partners in any order are fine.
  EXPECT_TRUE(zp::explain_paired_receivers(topology, List{2, 1470, 3, 1471}).empty());
}

TEST(ReceiverListExplanations, Multicast) {
  const auto topology = zx::Topology::r470();
  using List = std::vector<std::uint16_t>;
  using Lines = std::vector<std::string>;
  EXPECT_EQ(zp::explain_multicast_receivers(topology, 7, List{}),
            (Lines{"the receiver list is empty"}));
  EXPECT_EQ(zp::explain_multicast_receivers(topology, 7, List{7}),
            (Lines{"the only receiver is the sender 7 itself"}));
  EXPECT_EQ(zp::explain_multicast_receivers(topology, 0, List{5, 1500, 5}),
            (Lines{"receiver 5 is listed 2 times",
                   "receiver 1500 is not a tile of the board (logical tiles 0..1471)"}));
  // The sender among other receivers is allowed.
  EXPECT_TRUE(zp::explain_multicast_receivers(topology, 0, List{0, 1}).empty());
}

}  // namespace
