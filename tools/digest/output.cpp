#include "output.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace zerin::digest {
namespace {
constexpr std::size_t buffer_capacity = 64 * 1024;
}  // namespace

OutputFile::OutputFile(int fd, std::string name) : OutputFile(fd, std::move(name), false) {}

OutputFile::OutputFile(int fd, std::string name, bool owned)
    : fd_(fd), name_(std::move(name)), owned_(owned) {
  buffer_.reserve(buffer_capacity);
}

OutputFile OutputFile::create(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  OutputFile file(fd, path, fd >= 0);
  if (fd < 0) file.set_error(errno);
  return file;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      name_(std::move(other.name_)),
      owned_(std::exchange(other.owned_, false)),
      error_(other.error_),
      buffer_(std::move(other.buffer_)) {}

OutputFile::~OutputFile() {
  if (owned_ && fd_ >= 0) ::close(fd_);
}

void OutputFile::write(std::string_view text) {
  if (error_ != 0) return;
  if (buffer_.size() + text.size() > buffer_capacity) {
    flush();
    if (text.size() >= buffer_capacity) {
      write_out(text.data(), text.size());
      return;
    }
  }
  buffer_.insert(buffer_.end(), text.begin(), text.end());
}

void OutputFile::write_out(const char* data, std::size_t size) {
  while (size != 0 && error_ == 0) {
    const ssize_t written = ::write(fd_, data, size);
    if (written < 0) {
      if (errno != EINTR) set_error(errno);
      continue;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

bool OutputFile::flush() {
  if (error_ == 0 && fd_ < 0) set_error(EBADF);
  if (error_ == 0) write_out(buffer_.data(), buffer_.size());
  buffer_.clear();
  return error_ == 0;
}

bool OutputFile::close() {
  flush();
  if (owned_ && fd_ >= 0) {
    if (::close(fd_) != 0) set_error(errno);
    fd_ = -1;
    owned_ = false;
  }
  return error_ == 0;
}

std::string OutputFile::error_text() const {
  return std::strerror(error_);
}

}  // namespace zerin::digest
