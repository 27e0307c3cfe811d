// The digest's SipHash-1-3 and the byte encodings of recorded values.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "recorders.hpp"
#include "siphash.hpp"
#include "zerin/exchange/topology.hpp"

namespace zd = zerin::digest;
namespace zx = zerin::exchange;

namespace {

// Records the same values through every stream recorder and checks they agree.
template <class Record>
std::uint64_t digest_of(Record record) {
  zd::HashRecorder direct;
  zd::BufferedHashRecorder buffered;
  zd::BlockRecorder block;
  zd::StreamCapture capture;
  record(direct);
  record(buffered);
  record(block);
  record(capture);
  zd::DefaultHasher bytes;
  bytes.write(capture.bytes().data(), capture.bytes().size());
  zd::DefaultHasher block_bytes;
  block_bytes.write(block.bytes().data(), block.bytes().size());
  const std::uint64_t value = direct.hasher().finish();
  EXPECT_EQ(buffered.finish(), value);
  EXPECT_EQ(block_bytes.finish(), value);
  EXPECT_EQ(bytes.finish(), value);
  return value;
}

TEST(DigestHash, KnownStreams) {
  EXPECT_EQ(zd::DefaultHasher().finish(), 0xd1fba762150c532cULL);
  EXPECT_EQ(digest_of([](zd::Recorder& r) { r.text("abc"); }), 0xef09e0f4895a251dULL);
  EXPECT_EQ(digest_of([](zd::Recorder& r) { r.row(zd::ExchangeRow{}); }), 0x6a250b1d12de352fULL);
  EXPECT_EQ(digest_of([](zd::Recorder& r) { r.rows({}); }), 0xbd60acb658c79e45ULL);
  EXPECT_EQ(digest_of([](zd::Recorder& r) {
              r.row(zd::ExchangeRow{1, 2, 3, 4, 5, 6, 7, 8, 9});
            }),
            0x7d51b23e3bb303dfULL);
}

TEST(DigestHash, HelpersAppendTheTableBytes) {
  zd::DefaultHasher helpers;
  helpers.write_str("abc");
  helpers.write_length_prefix(0);
  helpers.write_usize(0x0102030405060708ULL);
  const unsigned char raw[] = {'a', 'b', 'c', 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1};
  zd::DefaultHasher plain;
  plain.write(raw, sizeof raw);
  EXPECT_EQ(helpers.finish(), plain.finish());
  EXPECT_EQ(helpers.length(), sizeof raw);
}

TEST(DigestHash, SplitDoesNotMatter) {
  std::string stream;
  for (int i = 0; i < 1000; ++i) stream += static_cast<char>(i * 37 + 11);
  zd::DefaultHasher whole;
  whole.write(stream.data(), stream.size());
  for (std::size_t step : {1u, 3u, 7u, 8u, 13u, 64u}) {
    zd::DefaultHasher pieces;
    for (std::size_t at = 0; at < stream.size(); at += step) {
      pieces.write(stream.data() + at, std::min(step, stream.size() - at));
    }
    EXPECT_EQ(pieces.finish(), whole.finish()) << "step " << step;
  }
  // finish() leaves the state as it was: writing on gives the longer stream's value.
  zd::DefaultHasher on;
  on.write(stream.data(), 500);
  static_cast<void>(on.finish());
  on.write(stream.data() + 500, 500);
  EXPECT_EQ(on.finish(), whole.finish());
}

TEST(DigestHash, LongTextsAndBufferBoundaries) {
  // Texts longer than the recorder's buffer, and many values that straddle it.
  const std::string long_text(100000, 'x');
  digest_of([&](zd::Recorder& r) {
    for (int i = 0; i < 2000; ++i) {
      r.text(std::string_view(long_text).substr(0, static_cast<std::size_t>(i % 97)));
      r.row(zd::ExchangeRow{static_cast<std::uint32_t>(i)});
    }
    r.text(long_text);
    r.rows({});
  });
}

TEST(DigestHash, PlansInOneStepMatchValueByValue) {
  // The chunked recorders write a plan in one step unless its row vector is
  // long; every length and every place in the buffer gives the same bytes.
  const auto plan = zx::Topology::r470().point_to_point(0, 2, 7);
  ASSERT_TRUE(plan);
  std::vector<zd::ExchangeRow> receivers(40, plan->receiver);
  for (std::size_t i = 0; i < receivers.size(); ++i)
    receivers[i][8] = static_cast<std::uint32_t>(i);
  const auto in_steps = [&](zd::Recorder& r, std::size_t n) {
    r.row(plan->sender);
    r.sender_timings(plan->sender);
    r.rows(std::span(receivers).first(n));
  };
  for (const std::size_t n : {0u, 1u, 2u, 12u, 13u, 14u, 40u}) {
    zd::StreamCapture expected;
    in_steps(expected, n);
    zd::StreamCapture capture;
    capture.multicast(plan->sender, std::span(receivers).first(n));
    EXPECT_EQ(capture.bytes(), expected.bytes()) << n << " receivers";
  }
  zd::StreamCapture expected;
  expected.row(plan->sender);
  expected.sender_timings(plan->sender);
  expected.row(plan->receiver);
  zd::StreamCapture capture;
  capture.point_to_point(plan->sender, plan->receiver);
  EXPECT_EQ(capture.bytes(), expected.bytes());

  digest_of([&](zd::Recorder& r) {
    for (int i = 0; i < 3000; ++i) {
      r.multicast(plan->sender, std::span(receivers).first(static_cast<std::size_t>(i % 41)));
      r.point_to_point(plan->sender, plan->receiver);
      r.text(std::string(static_cast<std::size_t>(i % 53), 'e'));
    }
  });
}

TEST(DigestHash, BlockRecorderOnBorrowedRoom) {
  const auto record = [](zd::Recorder& r) {
    const std::string text(1000, 't');
    for (int i = 0; i < 400; ++i) {
      r.row(zd::ExchangeRow{static_cast<std::uint32_t>(i)});
      r.text(text);
    }
  };
  zd::StreamCapture expected;
  record(expected);
  ASSERT_GT(expected.bytes().size(), zd::BlockRecorder::initial_size);

  // The room is filled first, then outgrown without a byte lost or written
  // past its end; a room too small is never written at all.
  constexpr std::size_t guard = 64;
  for (const std::size_t room_size :
       {zd::BlockRecorder::initial_size, zd::BlockRecorder::initial_size - 1}) {
    std::string memory(room_size + guard, '\x5a');
    auto* room = reinterpret_cast<unsigned char*>(memory.data());
    {
      zd::BlockRecorder block({room, room_size});
      record(block);
      const auto bytes = block.bytes();
      EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                expected.bytes());
    }
    const bool used = room_size >= zd::BlockRecorder::initial_size;
    EXPECT_EQ(memory.compare(0, room_size, expected.bytes(), 0, room_size) == 0, used);
    EXPECT_EQ(memory.substr(room_size), std::string(guard, '\x5a'));
  }
}

TEST(DigestHash, HexKeepsLeadingZeros) {
  EXPECT_EQ(zd::hex16(0), "0000000000000000");
  EXPECT_EQ(zd::hex16(0x0fffffffffffffffULL), "0fffffffffffffff");
  EXPECT_EQ(zd::hex16(0xd1fba762150c532cULL), "d1fba762150c532c");
}

}  // namespace
