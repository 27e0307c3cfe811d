// Buffered output that keeps the first failure with the system's reason for it
// (ENOSPC on a full device, EPIPE on a closed pipe, EBADF on a closed
// descriptor). After a failure nothing more is written.
#ifndef ZERIN_DIGEST_OUTPUT_HPP
#define ZERIN_DIGEST_OUTPUT_HPP

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace zerin::digest {

class OutputFile {
 public:
  // Standard output.
  OutputFile() noexcept : file_(stdout), owned_(false) {}
  // Creates or truncates `path`; on failure error() is set.
  explicit OutputFile(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {
    if (file_ == nullptr) fail();
  }
  ~OutputFile() {
    if (owned_ && file_ != nullptr) std::fclose(file_);
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(std::string_view text) noexcept {
    if (error_ == 0 && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) fail();
  }
  // Writes out what is buffered; false once anything has failed.
  bool flush() noexcept {
    if (error_ == 0 && std::fflush(file_) != 0) fail();
    return error_ == 0;
  }
  // flush(), then closes a file this object opened (its errors count too).
  bool close() noexcept {
    flush();
    if (owned_ && file_ != nullptr && std::fclose(std::exchange(file_, nullptr)) != 0) fail();
    return error_ == 0;
  }

  // errno of the first failure, 0 while all is well.
  int error() const noexcept { return error_; }
  void set_error(int error) noexcept {
    if (error_ == 0) error_ = error;
  }
  std::string error_text() const { return std::strerror(error_); }

 private:
  void fail() noexcept { set_error(errno != 0 ? errno : EIO); }

  std::FILE* file_;
  bool owned_ = true;
  int error_ = 0;
};

}  // namespace zerin::digest

#endif  // ZERIN_DIGEST_OUTPUT_HPP
