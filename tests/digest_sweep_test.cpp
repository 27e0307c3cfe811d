// The digest sweep: case order and counts, the bytes of known cases, recorded
// failures, the fatal stop of a failed point-to-point plan, and the fingerprint
// of the whole sweep.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "stream.hpp"
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

// Keeps each case's header and the bytes it added.
class CaseBytes final : public zd::StreamObserver {
 public:
  struct Case {
    zd::CaseHeader header;
    std::string bytes;
  };
  void value(zd::ValueKind, std::span<const unsigned char>) override {}
  void end_case(const zd::CaseHeader& header, std::span<const unsigned char> bytes) override {
    cases.push_back({header, {reinterpret_cast<const char*>(bytes.data()), bytes.size()}});
  }
  std::vector<Case> cases;
};

std::vector<CaseBytes::Case> sweep_cases(const zd::CaseTable& table) {
  CaseBytes recorded;
  zd::StreamEncoder stream(&recorded);
  zd::run_sweep(board(), table, stream);
  return std::move(recorded.cases);
}

std::span<const unsigned char> bytes_of(std::string_view text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

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
  const auto cases = sweep_cases(table_of({zd::digest_case_table().entries[0]}, 1));
  const std::vector<std::pair<std::string_view, std::uint32_t>> expected{
      {"p2p", 2},   {"mc", 0},  {"mc", 1},    {"mc", 51},
      {"mc", 4095}, {"pmc", 2}, {"pmc", 274}, {"pmc", 1286}};
  ASSERT_EQ(cases.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& header = cases[i].header;
    EXPECT_EQ(header.index, static_cast<std::int64_t>(i));
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
  EXPECT_EQ(zd::case_total(table_of({full.entries[0]}, 0)), 0);
  zd::StreamEncoder one;
  EXPECT_EQ(zd::run_sweep(board(), table_of({full.entries[0]}, 4148), one), 33184);
  zd::StreamEncoder two;
  EXPECT_EQ(zd::run_sweep(board(), table_of({full.entries[0], full.entries[1]}, 4148), two), 70516);
}

TEST(DigestSweep, MulticastToTwoBytes) {
  // Entry 2 (source 0, receivers 736 and 1286), count 1, offset 0: start cycle 23,
  // so the sender waits 23 cycles and sends for one.
  const auto cases = sweep_cases(table_of({zd::digest_case_table().entries[1]}, 1));
  ASSERT_EQ(cases.size(), 9u);
  const auto& mc = cases[2];
  ASSERT_EQ(mc.header.kind, zd::CaseKind::multicast);
  ASSERT_EQ(mc.header.param, 0u);
  EXPECT_EQ(
      mc.bytes,
      row_bytes({0x41800003, 0x40A00016, 0x78000003, 0x43A00000}) + timing(23, 24, 24) +
          timing(296, 297, 297) + timing(4294966806, 4294966807, 4294966807) + le64(2) +
          row_bytes({0x41800003, 0x6404C000, 0x64000640, 0x61914000, 0x40A00005, 0x43A00000}) +
          row_bytes({0x41800003, 0x64000000, 0x64000640, 0x61914000, 0x40A00005, 0x43A00000}));
  // Offset 4095 pushes the start cycle past 4095: only the text and 0xFF.
  EXPECT_EQ(cases[5].header.param, 4095u);
  EXPECT_EQ(cases[5].bytes,
            text_bytes("exchange schedule is not encodable: multicast start cycle"));
}

TEST(DigestSweep, PointToPointBytes) {
  // Source 0 to receiver 1, one word: no trailing sender delay; the timing at
  // the last offset overflows the cycle counter.
  const auto cases = sweep_cases(table_of({{0, {1}}}, 1));
  ASSERT_FALSE(cases.empty());
  EXPECT_EQ(cases[0].bytes, row_bytes({0x41800003, 0x40A0008B, 0x78000001, 0x43A00000}) +
                                timing(140, 141, 141) + timing(413, 414, 414) +
                                timing(4294966923, 4294966924, 4294966924) +
                                row_bytes({0x00000001, 0x41800003, 0x641C0000, 0x64000640,
                                           0x61900000, 0x40A00005, 0x43A00000}));
}

TEST(DigestSweep, EntryTwoOffset4095FailsForEveryCount) {
  const std::string failure =
      text_bytes("exchange schedule is not encodable: multicast start cycle");
  std::uint32_t seen = 0;
  for (const auto& c : sweep_cases(table_of({zd::digest_case_table().entries[1]}, 4148))) {
    if (c.header.kind != zd::CaseKind::multicast || c.header.param != 4095) continue;
    ASSERT_EQ(c.bytes, failure) << "count " << c.header.count;
    ++seen;
  }
  EXPECT_EQ(seen, 4148u);
}

TEST(DigestSweep, FailedPointToPointStops) {
  // Case 0 succeeds; the second receiver is not a tile of the board.
  CaseBytes recorded;
  zd::StreamEncoder stream(&recorded);
  const auto stopped = zd::run_sweep(board(), table_of({{0, {2, 1472}}}, 1), stream);
  ASSERT_FALSE(stopped) << "no fatal stop";
  EXPECT_EQ(stopped.error().report, "called `Result::unwrap()` on an `Err` value: Tile(1472)");
  EXPECT_EQ(stopped.error().where, "case 1 (entry 1, count 1, p2p 1472)");
  EXPECT_EQ(recorded.cases.size(), 1u);
  // A tile cannot send to itself.
  const auto to_itself = zd::run_sweep(board(), table_of({{5, {5}}}, 1), stream);
  ASSERT_FALSE(to_itself);
  EXPECT_EQ(to_itself.error().where, "case 0 (entry 1, count 1, p2p 5)");
}

// Hashes the bytes of each entry's cases of each kind apart, beside the digest.
class KindFingerprints final : public zd::StreamObserver {
 public:
  struct Kind {
    zd::SipHash13 hash;
    std::string rest;  // the bytes after the last whole word
    std::uint64_t length = 0;
  };
  void value(zd::ValueKind, std::span<const unsigned char>) override {}
  void end_case(const zd::CaseHeader& header, std::span<const unsigned char> bytes) override {
    Kind& kind = kinds[header.entry - 1][static_cast<std::size_t>(header.kind)];
    kind.rest.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    kind.rest.erase(0, kind.hash.absorb(bytes_of(kind.rest)));
    kind.length += bytes.size();
  }
  std::array<std::array<Kind, 3>, 6> kinds;
};

TEST(DigestSweep, Fingerprint) {
  // The whole line, and for each entry and kind of case the SipHash-1-3 of the
  // bytes those cases add and their number: a change of behaviour shows where
  // it happened.
  KindFingerprints kinds;
  zd::StreamEncoder stream(&kinds);
  const auto cases = zd::run_sweep(board(), zd::digest_case_table(), stream);
  EXPECT_EQ(cases, 211548);
  EXPECT_EQ(stream.finish(), 0x7745e52769bc051cULL);

  struct Expected {
    std::uint64_t hash;
    std::uint64_t bytes;
  };
  // Per entry: point-to-point, multicast, paired multicast.
  const std::array<std::array<Expected, 3>, 6> expected{{
      {{{0xcb96778c2c86df76ULL, 1274630},
        {0x4d58e46f05188f4eULL, 4166046},
        {0x9ff96231837dbe5dULL, 4473351}}},
      {{{0xd5a18e1cc522aa62ULL, 2551080},
        {0x61c81293644d72faULL, 4714782},
        {0x9ff96231837dbe5dULL, 4473351}}},
      {{{0x704bcba75d70f89dULL, 1274942},
        {0x2b91a24d4d85cf78ULL, 4166946},
        {0x427802703d59f8e3ULL, 4470052}}},
      {{{0x43878eeb27897ac2ULL, 2549490},
        {0x05401480d00dedb6ULL, 4718198},
        {0x2caf966c1f1fed87ULL, 4464768}}},
      {{{0xd91418fcbca3984aULL, 1275774},
        {0x4c8d1ac01de4248bULL, 4165198},
        {0x2ff11fc58c9a5326ULL, 4471140}}},
      {{{0x681b9afe3e5a256fULL, 2551028},
        {0xedb2aee50e7bbb47ULL, 4715982},
        {0x01d76f4b7de29fc9ULL, 4470804}}},
  }};
  std::uint64_t length = 0;
  for (std::size_t entry = 0; entry < 6; ++entry) {
    for (std::size_t kind = 0; kind < 3; ++kind) {
      const KindFingerprints::Kind& k = kinds.kinds[entry][kind];
      length += k.length;
      EXPECT_EQ(k.hash.finish(bytes_of(k.rest)), expected[entry][kind].hash)
          << "entry " << entry + 1 << ", " << zd::kind_name(static_cast<zd::CaseKind>(kind))
          << " cases";
      EXPECT_EQ(k.length, expected[entry][kind].bytes)
          << "entry " << entry + 1 << ", " << zd::kind_name(static_cast<zd::CaseKind>(kind))
          << " cases";
    }
  }
  EXPECT_EQ(length, 64947562u);
}

}  // namespace
