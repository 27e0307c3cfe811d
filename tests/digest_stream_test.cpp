// The digest's SipHash-1-3, the byte encodings of recorded values, and what an
// observer of the stream sees.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "stream.hpp"
#include "zerin/exchange/errors.hpp"

namespace zd = zerin::digest;

namespace {

std::span<const unsigned char> bytes_of(std::string_view text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

std::uint64_t hash_of(std::string_view bytes) {
  return zd::siphash13(bytes_of(bytes));
}

std::string as_text(std::span<const unsigned char> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Keeps what the encoder shows: each value and each case.
class Watch final : public zd::StreamObserver {
 public:
  void value(zd::ValueKind kind, std::span<const unsigned char> bytes) override {
    values.emplace_back(kind, as_text(bytes));
  }
  void end_case(const zd::CaseHeader& header, std::span<const unsigned char> bytes) override {
    cases.emplace_back(header.index, as_text(bytes));
  }
  std::vector<std::pair<zd::ValueKind, std::string>> values;
  std::vector<std::pair<std::int64_t, std::string>> cases;
};

// The digest of one case holding what `record` writes.
template <class Record>
std::uint64_t digest_of(Record record) {
  zd::StreamEncoder stream;
  stream.begin_case();
  record(stream);
  stream.end_case({});
  return stream.finish();
}

TEST(DigestStream, KnownStreams) {
  EXPECT_EQ(zd::StreamEncoder().finish(), 0xd1fba762150c532cULL);
  EXPECT_EQ(digest_of([](zd::StreamEncoder& s) { s.text("abc"); }), 0xef09e0f4895a251dULL);
  EXPECT_EQ(hash_of("abc\xFF"), 0xef09e0f4895a251dULL);
  EXPECT_EQ(digest_of([](zd::StreamEncoder& s) { s.row(zd::ExchangeRow{}); }),
            0x6a250b1d12de352fULL);
  EXPECT_EQ(digest_of([](zd::StreamEncoder& s) { s.rows({}); }), 0xbd60acb658c79e45ULL);
  EXPECT_EQ(digest_of([](zd::StreamEncoder& s) {
              s.row(zd::ExchangeRow{1, 2, 3, 4, 5, 6, 7, 8, 9});
            }),
            0x7d51b23e3bb303dfULL);
}

TEST(DigestStream, ValueBytes) {
  Watch watch;
  zd::StreamEncoder stream(&watch);
  stream.begin_case();
  const zd::ExchangeRow row{0x41800003, 0x04030201};
  stream.row(row);
  stream.rows(std::vector<zd::ExchangeRow>{row, zd::ExchangeRow{}});
  stream.text("Ok");
  stream.text("");
  stream.end_case({.index = 7});

  const std::string row_bytes = std::string("\x09\0\0\0\0\0\0\0", 8) +
                                std::string("\x03\x00\x80\x41\x01\x02\x03\x04", 8) +
                                std::string(28, '\0');
  ASSERT_EQ(watch.values.size(), 4u);
  EXPECT_EQ(watch.values[0], std::pair(zd::ValueKind::row, row_bytes));
  EXPECT_EQ(watch.values[1],
            std::pair(zd::ValueKind::rows, std::string("\x02\0\0\0\0\0\0\0", 8) + row_bytes +
                                               std::string("\x09", 1) + std::string(43, '\0')));
  EXPECT_EQ(watch.values[2], std::pair(zd::ValueKind::text, std::string("Ok\xFF")));
  EXPECT_EQ(watch.values[3], std::pair(zd::ValueKind::text, std::string("\xFF")));
  std::string whole;
  for (const auto& [kind, bytes] : watch.values) whole += bytes;
  ASSERT_EQ(watch.cases.size(), 1u);
  EXPECT_EQ(watch.cases[0], std::pair(std::int64_t{7}, whole));
  EXPECT_EQ(stream.finish(), hash_of(whole));
}

TEST(DigestStream, HashOfPieces) {
  // Pieces of any size: each absorbs its whole words and hands back the rest,
  // which goes in front of the next piece or into finish().
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += static_cast<char>(i * 37 + 11);
  const auto all = bytes_of(bytes);
  for (std::size_t step : {1u, 3u, 7u, 8u, 13u, 64u, 999u}) {
    zd::SipHash13 pieces;
    std::size_t at = 0;
    for (std::size_t end = step; end < all.size(); end += step) {
      const std::size_t absorbed = pieces.absorb(all.subspan(at, end - at));
      EXPECT_EQ(absorbed % 8, 0u);
      EXPECT_LT(end - at - absorbed, 8u);
      at += absorbed;
    }
    EXPECT_EQ(pieces.finish(all.subspan(at)), hash_of(bytes)) << "step " << step;
    // finish() leaves the state as it was.
    EXPECT_EQ(pieces.finish(all.subspan(at)), hash_of(bytes)) << "step " << step;
  }
  EXPECT_EQ(hash_of(""), zd::StreamEncoder().finish());
}

TEST(DigestStream, CasesStayWholeAcrossBufferRefills) {
  // Cases of many sizes, far more bytes than the buffer holds: every case is
  // seen in one piece, and the digest is that of all the bytes in order.
  Watch watch;
  zd::StreamEncoder stream(&watch);
  std::string all;
  for (std::int64_t i = 0; i < 3000; ++i) {
    stream.begin_case();
    stream.text(std::string(static_cast<std::size_t>(i % 997), 'x'));
    stream.row(zd::ExchangeRow{static_cast<std::uint32_t>(i)});
    stream.rows(std::vector<zd::ExchangeRow>(static_cast<std::size_t>(i % 5)));
    stream.end_case({.index = i});
    all += watch.cases.back().second;
  }
  ASSERT_GT(all.size(), 10 * zd::StreamEncoder::buffer_size);
  EXPECT_EQ(watch.cases.size(), 3000u);
  EXPECT_EQ(stream.finish(), hash_of(all));
}

TEST(DigestStream, CaseLargerThanTheBufferIsAFault) {
  zd::StreamEncoder stream;
  stream.begin_case();
  stream.text(std::string(zd::StreamEncoder::buffer_size / 2, 'a'));
  EXPECT_THROW(stream.text(std::string(zd::StreamEncoder::buffer_size / 2, 'b')),
               zerin::exchange::InternalFault);
}

}  // namespace
