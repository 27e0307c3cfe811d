#include "stream.hpp"

#include "zerin/exchange/errors.hpp"

namespace zerin::digest {

std::string_view kind_name(CaseKind kind) noexcept {
  switch (kind) {
    case CaseKind::point_to_point:
      return "p2p";
    case CaseKind::multicast:
      return "mc";
    case CaseKind::paired_multicast:
      return "pmc";
  }
  return "?";
}

void StreamEncoder::make_room(std::size_t size) {
  unsigned char* const front = buffer_.data();
  hasher_.write(front, static_cast<std::size_t>(case_begin_ - front));
  const auto kept = static_cast<std::size_t>(pos_ - case_begin_);
  std::memmove(front, case_begin_, kept);
  case_begin_ = front;
  pos_ = front + kept;
  if (buffer_size - kept < size) {
    throw exchange::InternalFault("a digest case outgrows the stream buffer");
  }
}

std::uint64_t StreamEncoder::finish() noexcept {
  hasher_.write(buffer_.data(), static_cast<std::size_t>(pos_ - buffer_.data()));
  pos_ = case_begin_ = buffer_.data();
  return hasher_.finish();
}

}  // namespace zerin::digest
