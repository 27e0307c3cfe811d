#include "case_log.hpp"

#include <charconv>

#include "siphash.hpp"

namespace zerin::digest {
namespace {

// The little-endian number in bytes [at, at + size).
std::uint64_t read_le(std::span<const unsigned char> bytes, std::size_t at, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value |= std::uint64_t{bytes[at + i]} << (8 * i);
  return value;
}

void append_decimal(std::string& out, std::uint64_t value) {
  char digits[20];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace

void append_hex(std::string& out, std::uint64_t value, int digits) {
  static constexpr char hex[] = "0123456789abcdef";
  for (int i = digits - 1; i >= 0; --i) out += hex[(value >> (4 * i)) & 0xF];
}

void CaseLog::dump_row(std::span<const unsigned char> bytes, std::string_view indent) {
  body_ += indent;
  body_ += "row";
  for (std::size_t at = length_bytes; at < row_bytes; at += 4) {
    body_ += " 0x";
    append_hex(body_, read_le(bytes, at, 4), 8);
  }
  body_ += '\n';
}

void CaseLog::value(ValueKind kind, std::span<const unsigned char> bytes) {
  if (!dumping()) return;
  switch (kind) {
    case ValueKind::row:
      dump_row(bytes, "  ");
      break;
    case ValueKind::rows:
      body_ += "  rows ";
      append_decimal(body_, read_le(bytes, 0, length_bytes));
      body_ += '\n';
      for (std::size_t at = length_bytes; at < bytes.size(); at += row_bytes) {
        dump_row(bytes.subspan(at, row_bytes), "    ");
      }
      break;
    case ValueKind::text:
      body_ += "  text ";
      body_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size() - 1);
      body_ += '\n';
      break;
  }
}

void CaseLog::end_case(const CaseHeader& header, std::span<const unsigned char> bytes) {
  line_.clear();
  for (const std::uint64_t number :
       {std::uint64_t(header.index), std::uint64_t{header.entry}, std::uint64_t{header.count}}) {
    append_decimal(line_, number);
    line_ += ' ';
  }
  line_ += kind_name(header.kind);
  line_ += ' ';
  append_decimal(line_, header.param);
  line_ += ' ';
  append_hex(line_, siphash13(bytes), 16);
  line_ += '\n';
  if (trace_ != nullptr) trace_->write(line_);
  if (dumping()) {
    dump_->write(line_);
    dump_->write(body_);
    body_.clear();
  }
  next_case_ = header.index + 1;
}

}  // namespace zerin::digest
