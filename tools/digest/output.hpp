// Buffered output to a file descriptor that remembers the first failure.
//
// Writes go through write(2) so that the system's own error (ENOSPC on a full
// device, EPIPE on a closed pipe, EBADF on a closed descriptor) is what the
// caller reports. After the first failure everything further is discarded.
#ifndef ZERIN_DIGEST_OUTPUT_HPP
#define ZERIN_DIGEST_OUTPUT_HPP

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zerin::digest {

class OutputFile {
 public:
  // Writes to an open descriptor it does not own (standard output).
  OutputFile(int fd, std::string name);
  // Creates or truncates `path` for writing; on failure error() is set.
  static OutputFile create(const std::string& path);
  ~OutputFile();
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(std::string_view text);
  // Writes out the buffer; false once anything has failed.
  bool flush();
  // flush(), then closes an owned descriptor (its errors count too).
  bool close();

  // errno of the first failure, 0 while all is well.
  int error() const noexcept { return error_; }
  void set_error(int error) noexcept {
    if (error_ == 0) error_ = error;
  }
  const std::string& name() const noexcept { return name_; }
  // The system's text for error().
  std::string error_text() const;

 private:
  OutputFile(int fd, std::string name, bool owned);
  void write_out(const char* data, std::size_t size);

  int fd_;
  std::string name_;
  bool owned_;
  int error_ = 0;
  std::vector<char> buffer_;
};

}  // namespace zerin::digest

#endif  // ZERIN_DIGEST_OUTPUT_HPP
