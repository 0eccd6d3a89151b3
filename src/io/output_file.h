// OutputFile: a buffered writer to a file descriptor or to a string.
//
// Writes are gathered in a 1 MiB buffer and handed to the descriptor when it
// fills, on Flush() and on Close(). The first failed write is remembered in
// error(); from then on bytes are dropped, so a caller checks error() (or the
// result of Flush()/Close()) once instead of after every write.
#ifndef DORVENIX_IO_OUTPUT_FILE_H_
#define DORVENIX_IO_OUTPUT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace dorvenix {

class OutputFile {
 public:
  // Writes to `fd`; closes it on Close() or destruction only when `owns_fd`.
  OutputFile(int fd, bool owns_fd);
  // Appends everything written to `*sink` (for tests and in-memory use).
  explicit OutputFile(std::string* sink);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  void Write(std::string_view bytes) {
    const std::size_t n = bytes.size();
    if (n > capacity_ - used_) return WriteSlow(bytes);
    char* to = buffer_.get() + used_;
    const char* from = bytes.data();
    // Performance-critical: deciphering writes every word and every run of
    // separators. Short copies are done with two overlapping moves instead
    // of a call; neither reads nor writes outside the n bytes.
    if (n >= 4 && n <= 16) {
      if (n >= 8) {
        Move<std::uint64_t>(to, from);
        Move<std::uint64_t>(to + n - 8, from + n - 8);
      } else {
        Move<std::uint32_t>(to, from);
        Move<std::uint32_t>(to + n - 4, from + n - 4);
      }
    } else if (n < 4) {
      for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
    } else {
      std::memcpy(to, from, n);
    }
    used_ += n;
  }
  void Put(char c) {
    if (used_ == capacity_) Drain();
    buffer_[used_++] = c;
  }
  // Writes `value` in decimal.
  void WriteInt(std::int64_t value);

  // Hands the buffered bytes on. Returns false once any write has failed.
  bool Flush();
  // Flushes, then closes an owned descriptor. Returns false when a write or
  // the close failed; error() has the errno.
  bool Close();

  int error() const { return error_; }
  int fd() const { return fd_; }

 private:
  template <class T>
  static void Move(char* to, const char* from) {
    T value;
    std::memcpy(&value, from, sizeof value);
    std::memcpy(to, &value, sizeof value);
  }
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
