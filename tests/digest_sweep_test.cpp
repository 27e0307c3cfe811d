// The digest sweep: case order and counts, the bytes of known cases, recorded
// failures and the fatal stop of a failed point-to-point plan.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "parallel.hpp"
#include "recorders.hpp"
#include "sweep.hpp"
#include "zerin/exchange/topology.hpp"

namespace zd = zerin::digest;
namespace zx = zerin::exchange;

namespace {

const zx::Topology& board() {
  static const zx::Topology topology = zx::Topology::r470();
  return topology;
}

zd::CaseTable table_of(std::vector<zd::SourceEntry> entries, std::uint32_t last_count) {
  zd::CaseTable table;
  table.entries = std::move(entries);
  table.last_count = last_count;
  return table;
}

// Keeps each case's header and the bytes it appended.
class CaseBytes final : public zd::Recorder {
 public:
  struct Case {
    zd::CaseHeader header;
    std::string bytes;
  };
  void begin_case(const zd::CaseHeader& header) override {
    capture_.clear();
    cases.push_back({header, {}});
  }
  void row(const zd::ExchangeRow& row) override { capture_.row(row); }
  void rows(std::span<const zd::ExchangeRow> rows) override { capture_.rows(rows); }
  void text(std::string_view text) override { capture_.text(text); }
  void end_case() override { cases.back().bytes = capture_.bytes(); }
  std::vector<Case> cases;

 private:
  zd::StreamCapture capture_;
};

// Counts cases without keeping anything.
class Counter final : public zd::Recorder {
 public:
  void row(const zd::ExchangeRow&) override {}
  void rows(std::span<const zd::ExchangeRow>) override {}
  void text(std::string_view) override {}
  void end_case() override { ++ended; }
  std::int64_t ended = 0;
};

std::string le64(std::uint64_t v) {
  std::string s;
  for (int i = 0; i < 8; ++i) s += static_cast<char>(v >> (8 * i));
  return s;
}

std::string row_bytes(const zd::ExchangeRow& row) {
  std::string s = le64(9);
  for (const std::uint32_t w : row) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>(w >> (8 * i));
  }
  return s;
}

std::string text_bytes(std::string_view text) {
  return std::string(text) + '\xFF';
}

std::string timing(std::uint64_t start, std::uint64_t end, std::uint64_t horizon) {
  return text_bytes("Ok(ScheduledPayloadTiming { payload_start: " + std::to_string(start) +
                    ", payload_end: " + std::to_string(end) +
                    ", horizon: " + std::to_string(horizon) + " })");
}

TEST(DigestSweep, EntryOneCountOneOrder) {
  const auto table = table_of({zd::digest_case_table().entries[0]}, 1);
  CaseBytes recorded;
  EXPECT_EQ(zd::run_sweep(board(), table, recorded), 8);
  const std::vector<std::pair<std::string_view, std::uint32_t>> expected{
      {"p2p", 2},   {"mc", 0},  {"mc", 1},    {"mc", 51},
      {"mc", 4095}, {"pmc", 2}, {"pmc", 274}, {"pmc", 1286}};
  ASSERT_EQ(recorded.cases.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& header = recorded.cases[i].header;
    EXPECT_EQ(header.index, static_cast<std::int32_t>(i));
    EXPECT_EQ(header.entry, 1u);
    EXPECT_EQ(header.count, 1u);
    EXPECT_EQ(zd::kind_name(header.kind), expected[i].first);
    EXPECT_EQ(header.param, expected[i].second);
  }
}

TEST(DigestSweep, CaseCounts) {
  const zd::CaseTable full = zd::digest_case_table();
  ASSERT_EQ(full.entries.size(), 6u);
  EXPECT_EQ(zd::case_total(full), 211548);
  Counter first;
  EXPECT_EQ(zd::run_sweep(board(), table_of({full.entries[0]}, 4148), first), 33184);
  Counter two;
  EXPECT_EQ(zd::run_sweep(board(), table_of({full.entries[0], full.entries[1]}, 4148), two), 70516);
  Counter all;
  EXPECT_EQ(zd::run_sweep(board(), full, all), 211548);
  EXPECT_EQ(all.ended, 211548);
}

TEST(DigestSweep, MulticastToTwoBytes) {
  // Entry 2 (source 0, receivers 736 and 1286), count 1, offset 0: start cycle 23,
  // so the sender waits 23 cycles and sends for one.
  auto table = table_of({zd::digest_case_table().entries[1]}, 1);
  CaseBytes recorded;
  zd::run_sweep(board(), table, recorded);
  ASSERT_EQ(recorded.cases.size(), 9u);
  const auto& mc = recorded.cases[2];
  ASSERT_EQ(zd::kind_name(mc.header.kind), "mc");
  ASSERT_EQ(mc.header.param, 0u);
  const std::string expected =
      row_bytes({0x41800003, 0x40A00016, 0x78000003, 0x43A00000}) + timing(23, 24, 24) +
      timing(296, 297, 297) + timing(4294966806, 4294966807, 4294966807) + le64(2) +
      row_bytes({0x41800003, 0x6404C000, 0x64000640, 0x61914000, 0x40A00005, 0x43A00000}) +
      row_bytes({0x41800003, 0x64000000, 0x64000640, 0x61914000, 0x40A00005, 0x43A00000});
  EXPECT_EQ(mc.bytes, expected);

  // Offset 4095 pushes the start cycle past 4095: only the text and 0xFF.
  EXPECT_EQ(recorded.cases[5].header.param, 4095u);
  EXPECT_EQ(recorded.cases[5].bytes,
            text_bytes("exchange schedule is not encodable: multicast start cycle"));
}

TEST(DigestSweep, PointToPointBytes) {
  // Source 0 to receiver 1, one word: no trailing sender delay.
  CaseBytes recorded;
  zd::run_sweep(board(), table_of({{0, {1}}}, 1), recorded);
  ASSERT_FALSE(recorded.cases.empty());
  const std::string sender = row_bytes({0x41800003, 0x40A0008B, 0x78000001, 0x43A00000});
  EXPECT_EQ(recorded.cases[0].bytes.substr(0, sender.size()), sender);
  EXPECT_EQ(recorded.cases[0].bytes.substr(sender.size(), timing(140, 141, 141).size()),
            timing(140, 141, 141));
  const std::string receiver = row_bytes(
      {0x00000001, 0x41800003, 0x641C0000, 0x64000640, 0x61900000, 0x40A00005, 0x43A00000});
  EXPECT_TRUE(recorded.cases[0].bytes.ends_with(receiver));
}

TEST(DigestSweep, EntryTwoOffset4095FailsForEveryCount) {
  CaseBytes recorded;
  zd::run_sweep(board(), table_of({zd::digest_case_table().entries[1]}, 4148), recorded);
  const std::string failure =
      text_bytes("exchange schedule is not encodable: multicast start cycle");
  std::uint32_t seen = 0;
  for (const auto& c : recorded.cases) {
    if (c.header.kind != zd::CaseKind::multicast || c.header.param != 4095) continue;
    ASSERT_EQ(c.bytes, failure) << "count " << c.header.count;
    ++seen;
  }
  EXPECT_EQ(seen, 4148u);
}

TEST(DigestSweep, FailedPointToPointStops) {
  // Case 0 succeeds; the second receiver is not a tile of the board.
  Counter counter;
  try {
    zd::run_sweep(board(), table_of({{0, {2, 1472}}}, 1), counter);
    FAIL() << "no fatal stop";
  } catch (const zd::FatalStop& stop) {
    EXPECT_STREQ(stop.what(), "called `Result::unwrap()` on an `Err` value: Tile(1472)");
    EXPECT_EQ(stop.where(), "case 1 (entry 1, count 1, p2p 1472)");
  }
  EXPECT_EQ(counter.ended, 1);
  EXPECT_THROW(zd::run_sweep(board(), table_of({{5, {5}}}, 1), counter), zd::FatalStop);
}

TEST(DigestSweep, BufferedDigestMatchesPlainStream) {
  auto table = zd::digest_case_table();
  table.last_count = 800;
  zd::HashRecorder plain;
  zd::BufferedHashRecorder buffered;
  zd::StreamCapture capture;
  zd::run_sweep(board(), table, plain);
  zd::run_sweep(board(), table, buffered);
  zd::run_sweep(board(), table, capture);
  EXPECT_EQ(buffered.length(), capture.bytes().size());
  EXPECT_EQ(buffered.finish(), plain.hasher().finish());
}

TEST(DigestSweep, BlocksCoverTheTableInOrder) {
  auto table = zd::digest_case_table();
  table.first_count = 3;
  table.last_count = 140;
  const auto blocks = zd::sweep_blocks(table, 64);
  // 138 counts per entry: blocks of 64, 64 and 10.
  ASSERT_EQ(blocks.size(), 18u);
  EXPECT_EQ(blocks[0].first_count, 3u);
  EXPECT_EQ(blocks[0].last_count, 66u);
  EXPECT_EQ(blocks[2].first_count, 131u);
  EXPECT_EQ(blocks[2].last_count, 140u);
  // Entry 1 has one receiver (8 cases per count), entry 2 two (9).
  EXPECT_EQ(blocks[1].first_case, 64 * 8);
  EXPECT_EQ(blocks[3].entry, 1u);
  EXPECT_EQ(blocks[3].first_case, 138 * 8);
  EXPECT_EQ(blocks[4].first_case, 138 * 8 + 64 * 9);
  EXPECT_TRUE(zd::sweep_blocks(table_of({{0, {2}}}, 0), 64).empty());
  // Each block's cases pick up the index where the one before stopped.
  zd::SweepRunner runner(board());
  CaseBytes recorded;
  std::int32_t cases = 0;
  for (const auto& block : zd::sweep_blocks(table, 50)) {
    EXPECT_EQ(block.first_case, cases);
    cases += runner.run(table, block, recorded);
  }
  EXPECT_EQ(cases, zd::case_total(table));
  for (std::size_t i = 0; i < recorded.cases.size(); ++i) {
    ASSERT_EQ(recorded.cases[i].header.index, static_cast<std::int32_t>(i));
  }
}

TEST(DigestSweep, ParallelDigestMatchesTheSingleThread) {
  auto table = zd::digest_case_table();
  table.last_count = 900;
  zd::BufferedHashRecorder single;
  const std::int32_t cases = zd::run_sweep(board(), table, single);
  const std::uint64_t length = single.length();
  const std::uint64_t expected = single.finish();
  // Small blocks and few slots wrap round the buffers many times over.
  for (const zd::ParallelShape shape : {zd::ParallelShape{}, zd::ParallelShape{1, 2},
                                        zd::ParallelShape{7, 3}, zd::ParallelShape{5000, 2}}) {
    const zd::SweepDigest result = zd::parallel_digest(board(), table, shape);
    EXPECT_EQ(result.cases, cases);
    EXPECT_EQ(result.length, length);
    EXPECT_EQ(result.digest, expected);
  }
  const zd::SweepDigest empty = zd::parallel_digest(board(), table_of({{0, {2}}}, 0));
  EXPECT_EQ(empty.cases, 0);
  EXPECT_EQ(empty.digest, zd::DefaultHasher().finish());
}

TEST(DigestSweep, ParallelDigestStopsAtTheFirstFailingCase) {
  // Entry 2 fails at count 1, entry 4 only later: the first failure in sweep
  // order is the one reported, whichever thread met it first.
  auto table = table_of({{0, {2}}, {0, {1472}}, {0, {2}}, {7, {7}}}, 300);
  for (const zd::ParallelShape shape : {zd::ParallelShape{1, 2}, zd::ParallelShape{64, 4}}) {
    try {
      zd::parallel_digest(board(), table, shape);
      ADD_FAILURE() << "no fatal stop";
    } catch (const zd::FatalStop& stop) {
      EXPECT_EQ(stop.where(), "case 2400 (entry 2, count 1, p2p 1472)");
    }
  }
}

TEST(DigestSweep, TraceAndDumpLines) {
  auto table = table_of({zd::digest_case_table().entries[1]}, 1);
  CaseBytes recorded;
  zd::run_sweep(board(), table, recorded);

  char trace_path[] = "/tmp/zerin_digest_trace_XXXXXX";
  char dump_path[] = "/tmp/zerin_digest_dump_XXXXXX";
  ASSERT_GE(mkstemp(trace_path), 0);
  ASSERT_GE(mkstemp(dump_path), 0);
  {
    zd::OutputFile trace = zd::OutputFile::create(trace_path);
    zd::OutputFile dump = zd::OutputFile::create(dump_path);
    zd::HashRecorder next;
    zd::CaseRecorder recorder(next, &trace, &dump, zd::DumpRange{2, 2});
    zd::run_sweep(board(), table, recorder);
    ASSERT_TRUE(trace.close());
    ASSERT_TRUE(dump.close());
  }
  auto read = [](const char* path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  const std::string trace = read(trace_path);
  const std::string dump = read(dump_path);
  std::remove(trace_path);
  std::remove(dump_path);

  std::string expected_trace;
  for (const auto& c : recorded.cases) {
    zd::DefaultHasher h;
    h.write(c.bytes.data(), c.bytes.size());
    expected_trace += zd::case_line(c.header, h.finish()) + '\n';
  }
  EXPECT_EQ(trace, expected_trace);
  EXPECT_TRUE(trace.starts_with("0 1 1 p2p 736 ")) << trace;

  zd::DefaultHasher h;
  h.write(recorded.cases[2].bytes.data(), recorded.cases[2].bytes.size());
  EXPECT_EQ(dump, "2 1 1 mc 0 " + zd::hex16(h.finish()) +
                      "\n"
                      "  row 0x41800003 0x40a00016 0x78000003 0x43a00000 0x00000000 0x00000000 "
                      "0x00000000 0x00000000 0x00000000\n"
                      "  text Ok(ScheduledPayloadTiming { payload_start: 23, payload_end: 24, "
                      "horizon: 24 })\n"
                      "  text Ok(ScheduledPayloadTiming { payload_start: 296, payload_end: 297, "
                      "horizon: 297 })\n"
                      "  text Ok(ScheduledPayloadTiming { payload_start: 4294966806, payload_end: "
                      "4294966807, horizon: 4294966807 })\n"
                      "  rows 2\n"
                      "    row 0x41800003 0x6404c000 0x64000640 0x61914000 0x40a00005 0x43a00000 "
                      "0x00000000 0x00000000 0x00000000\n"
                      "    row 0x41800003 0x64000000 0x64000640 0x61914000 0x40a00005 0x43a00000 "
                      "0x00000000 0x00000000 0x00000000\n");
}

}  // namespace
