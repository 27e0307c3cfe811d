#include "recorders.hpp"

#include <bit>
#include <cstring>

namespace zerin::digest {
namespace {

inline unsigned char* put_u64(unsigned char* p, std::uint64_t value) noexcept {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
  return p + 8;
}

inline unsigned char* put_u32(unsigned char* p, std::uint32_t value) noexcept {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
  return p + 4;
}

inline unsigned char* put_row(unsigned char* p, const ExchangeRow& row) noexcept {
  p = put_u64(p, row.size());
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, row.data(), 4 * row.size());
    return p + 4 * row.size();
  } else {
    for (const std::uint32_t word : row) p = put_u32(p, word);
    return p;
  }
}

void append_u32_hex(std::string& out, std::uint32_t value) {
  static constexpr char digits[] = "0123456789abcdef";
  char text[10] = {'0', 'x'};
  for (int i = 0; i < 8; ++i) text[2 + i] = digits[(value >> (28 - 4 * i)) & 0xF];
  out.append(text, sizeof text);
}

}  // namespace

std::string hex16(std::uint64_t value) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 0; i < 16; ++i)
    text[static_cast<std::size_t>(i)] = digits[(value >> (60 - 4 * i)) & 0xF];
  return text;
}

std::string case_line(const CaseHeader& header, std::uint64_t case_hash) {
  std::string line = std::to_string(header.index);
  line += ' ';
  line += std::to_string(header.entry);
  line += ' ';
  line += std::to_string(header.count);
  line += ' ';
  line += kind_name(header.kind);
  line += ' ';
  line += std::to_string(header.param);
  line += ' ';
  line += hex16(case_hash);
  return line;
}

// --- HashRecorder ---

void HashRecorder::row(const ExchangeRow& row) {
  hasher_.write_length_prefix(row.size());
  for (const std::uint32_t word : row) {
    unsigned char bytes[4];
    put_u32(bytes, word);
    hasher_.write(bytes, sizeof bytes);
  }
}

void HashRecorder::rows(std::span<const ExchangeRow> rows) {
  hasher_.write_length_prefix(rows.size());
  for (const ExchangeRow& r : rows) row(r);
}

// --- ChunkedRecorder ---

void ChunkedRecorder::row(const ExchangeRow& row) {
  reserve(row_stream_size);
  pos_ = put_row(pos_, row);
}

void ChunkedRecorder::rows(std::span<const ExchangeRow> rows) {
  reserve(8);
  pos_ = put_u64(pos_, rows.size());
  for (const ExchangeRow& r : rows) row(r);
}

namespace {

// A successful plan's stream begins with its sender row and that row's timing texts.
unsigned char* put_sender(unsigned char* p, const ExchangeRow& sender) {
  return put_timing_texts(put_row(p, sender), sender);
}

}  // namespace

void ChunkedRecorder::point_to_point(const ExchangeRow& sender, const ExchangeRow& receiver) {
  reserve(2 * row_stream_size + timing_texts_room);
  pos_ = put_row(put_sender(pos_, sender), receiver);
}

void ChunkedRecorder::multicast(const ExchangeRow& sender, std::span<const ExchangeRow> receivers) {
  if (receivers.size() > multicast_rows_in_room) {
    Recorder::multicast(sender, receivers);  // value by value, each checking its room
    return;
  }
  reserve(multicast_head_size + receivers.size() * row_stream_size);
  unsigned char* p = put_u64(put_sender(pos_, sender), receivers.size());
  // Indexed, so the end is known without walking the rows again.
  for (std::size_t i = 0; i < receivers.size(); ++i) put_row(p + i * row_stream_size, receivers[i]);
  pos_ = p + receivers.size() * row_stream_size;
}

void ChunkedRecorder::text(std::string_view text) {
  while (text.size() >= static_cast<std::size_t>(end_ - pos_)) {
    // Longer than the room left: fill the buffer and go on in the next one.
    const std::size_t room = static_cast<std::size_t>(end_ - pos_);
    std::memcpy(pos_, text.data(), room);
    pos_ += room;
    text.remove_prefix(room);
    hand_over();
  }
  std::memcpy(pos_, text.data(), text.size());
  pos_ += text.size();
  *pos_++ = 0xFF;
}

void ChunkedRecorder::sender_timings(const ExchangeRow& sender) {
  reserve(timing_texts_room);
  pos_ = put_timing_texts(pos_, sender);
}

unsigned char* put_timing_texts(unsigned char* p, const ExchangeRow& sender) {
  char* text = reinterpret_cast<char*>(p);
  const exchange::SenderRowTiming timing(sender);
  // Unrolled: without a loop counter the calls keep fewer registers saved.
#pragma GCC unroll timing_offsets.size()
  for (const std::uint32_t offset : timing_offsets) {
    text = timing.write_debug_with_capacity(text, offset);
    *text++ = '\xFF';
  }
  return reinterpret_cast<unsigned char*>(text);
}

// --- BufferedHashRecorder ---

BufferedHashRecorder::BufferedHashRecorder() : buffer_(new unsigned char[chunk_size]) {
  begin_ = pos_ = buffer_.get();
  end_ = begin_ + chunk_size;
}

void BufferedHashRecorder::hand_over() {
  const auto size = static_cast<std::size_t>(pos_ - begin_);
  hasher_.write(begin_, size);
  pos_ = begin_;
}

std::uint64_t BufferedHashRecorder::finish() {
  hand_over();
  return hasher_.finish();
}

// --- BlockRecorder ---

BlockRecorder::BlockRecorder() : BlockRecorder(std::span<unsigned char>{}) {}

BlockRecorder::BlockRecorder(std::span<unsigned char> room) {
  if (room.size() < initial_size) {
    buffer_.reset(new unsigned char[initial_size]);
    room = {buffer_.get(), initial_size};
  }
  begin_ = pos_ = room.data();
  end_ = begin_ + room.size();
}

void BlockRecorder::hand_over() {
  const auto size = static_cast<std::size_t>(pos_ - begin_);
  const auto capacity = static_cast<std::size_t>(end_ - begin_);
  // Doubling leaves at least initial_size bytes of room, as hand_over() promises.
  std::unique_ptr<unsigned char[]> grown(new unsigned char[2 * capacity]);
  std::memcpy(grown.get(), begin_, size);
  buffer_ = std::move(grown);
  begin_ = buffer_.get();
  pos_ = begin_ + size;
  end_ = begin_ + 2 * capacity;
}

// --- StreamCapture ---

void StreamCapture::row(const ExchangeRow& row) {
  unsigned char bytes[row_stream_size];
  unsigned char* p = put_u64(bytes, row.size());
  for (const std::uint32_t word : row) p = put_u32(p, word);
  bytes_.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

void StreamCapture::rows(std::span<const ExchangeRow> rows) {
  unsigned char bytes[8];
  put_u64(bytes, rows.size());
  bytes_.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
  for (const ExchangeRow& r : rows) row(r);
}

void StreamCapture::text(std::string_view text) {
  bytes_ += text;
  bytes_ += '\xFF';
}

// --- CaseRecorder ---

CaseRecorder::CaseRecorder(Recorder& next, OutputFile* trace, OutputFile* dump,
                           DumpRange dump_range)
    : next_(next), trace_(trace), dump_(dump), dump_range_(dump_range) {}

void CaseRecorder::begin_case(const CaseHeader& header) {
  header_ = header;
  case_hash_ = HashRecorder();
  dumping_ =
      dump_ != nullptr && header.index >= dump_range_.first && header.index <= dump_range_.last;
  dump_body_.clear();
  next_.begin_case(header);
}

void CaseRecorder::dump_row(const ExchangeRow& row, std::string_view indent) {
  dump_body_ += indent;
  dump_body_ += "row";
  for (const std::uint32_t word : row) {
    dump_body_ += ' ';
    append_u32_hex(dump_body_, word);
  }
  dump_body_ += '\n';
}

void CaseRecorder::row(const ExchangeRow& row) {
  case_hash_.row(row);
  if (dumping_) dump_row(row, "  ");
  next_.row(row);
}

void CaseRecorder::rows(std::span<const ExchangeRow> rows) {
  case_hash_.rows(rows);
  if (dumping_) {
    dump_body_ += "  rows ";
    dump_body_ += std::to_string(rows.size());
    dump_body_ += '\n';
    for (const ExchangeRow& r : rows) dump_row(r, "    ");
  }
  next_.rows(rows);
}

void CaseRecorder::text(std::string_view text) {
  case_hash_.text(text);
  if (dumping_) {
    dump_body_ += "  text ";
    dump_body_ += text;
    dump_body_ += '\n';
  }
  next_.text(text);
}

void CaseRecorder::end_case() {
  line_ = case_line(header_, case_hash_.hasher().finish());
  line_ += '\n';
  if (trace_ != nullptr) trace_->write(line_);
  if (dumping_) {
    dump_->write(line_);
    dump_->write(dump_body_);
  }
  next_.end_case();
}

}  // namespace zerin::digest
