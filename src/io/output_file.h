// OutputFile: a buffered writer to a file descriptor or to a string.
//
// Writes are gathered in a buffer and handed on when it fills, on Flush() and
// on Close(): 1 MiB for a descriptor, so that a system call moves much at
// once; 16 KiB for a string, which is cheap to make anew for each small
// text. The first failed write is remembered in status(); from then on bytes
// are dropped, so a caller checks status() (or the result of Flush()) once
// instead of after every write.
#ifndef DORVENIX_IO_OUTPUT_FILE_H_
#define DORVENIX_IO_OUTPUT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "base/status.h"

namespace dorvenix {

class OutputFile {
 public:
  // Writes to `fd`; closes it on Close() or destruction only when `owns_fd`.
  OutputFile(int fd, bool owns_fd);
  // Appends everything written to `*sink`, which must outlive the writer.
  explicit OutputFile(std::string* sink);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  void Write(std::string_view bytes) {
    // Large pieces (whole deciphered blocks) skip the buffer.
    if (bytes.size() > capacity_ - used_ || bytes.size() >= kDirect) return WriteSlow(bytes);
    CopyBytes(buffer_.get() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
  }
  void Put(char c) {
    if (used_ == capacity_) Drain();
    buffer_[used_++] = c;
  }
  // Writes `value` in decimal.
  void WriteInt(std::int64_t value);

  // Hands the buffered bytes on. Returns false once any write has failed.
  bool Flush();
  // Flushes, then closes an owned descriptor; status() tells whether a write
  // or the close failed.
  void Close();

  Status status() const { return error_ == 0 ? Status() : Status::System(error_); }
  int fd() const { return fd_; }

 private:
  static constexpr std::size_t kDirect = std::size_t{64} << 10;  // written without copying
  void WriteSlow(std::string_view bytes);
  void Drain();
  void Send(const char* data, std::size_t size);

  int fd_;                          // -1 when writing to sink_
  bool owns_fd_;                    // Close() closes fd_
  std::string* sink_ = nullptr;     // destination of a string writer
  std::unique_ptr<char[]> buffer_;  // bytes not yet handed on
  std::size_t capacity_;            // size of buffer_
  std::size_t used_ = 0;            // bytes in buffer_
  int error_ = 0;                   // errno of the first failed write or close
};

}  // namespace dorvenix

#endif  // DORVENIX_IO_OUTPUT_FILE_H_
