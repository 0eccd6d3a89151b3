// InputFile: reads a file or a pipe.
//
// The file is opened by Open() and closed by the destructor; Read() fills a
// buffer of the caller's. A derived class may hand out bytes of its own
// instead (Fill): tests cut an input into pieces of the sizes they choose.
#ifndef DORVENIX_IO_INPUT_FILE_H_
#define DORVENIX_IO_INPUT_FILE_H_

#include <time.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/status.h"

namespace dorvenix {

// Called as an input is worked through, with the bytes read so far.
using ProgressFn = std::function<void(std::uint64_t bytes_read)>;

class InputFile {
 public:
  // Opens `path` for reading. On failure status() says why (EISDIR for a
  // folder), missing() tells whether nothing has that name, and reads return
  // nothing.
  static InputFile Open(const std::string& path);

  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&&) = delete;
  InputFile(const InputFile&) = delete;
  virtual ~InputFile();

  // Reads up to `capacity` bytes into `to` and returns how many; 0 at the end
  // of the input or after a read error (failed() tells which).
  std::size_t Read(char* to, std::size_t capacity);

  // Whether the open or a read failed, and why.
  bool failed() const { return error_ != 0; }
  Status status() const { return error_ == 0 ? Status() : Status::System(error_); }
  // Whether the open failed because no file has the name.
  bool missing() const { return error_ == ENOENT; }
  // Size of the file when it is a regular file, else 0.
  std::uint64_t size() const { return size_; }
  // Bytes handed out so far.
  std::uint64_t consumed() const { return consumed_; }
  // Whether the size or modification time of a regular file differs from
  // what it was at the open: something wrote to it while we read it, and
  // what we read may be neither the old contents nor the new. False for
  // other inputs.
  bool Changed() const;

 protected:
  // An input of `size` bytes (0 when unknown) with no file behind it: its
  // bytes come from Fill().
  explicit InputFile(std::uint64_t size) : size_(size) {}

  // Reads up to `capacity` (> 0) bytes into `to` and returns how many: 0 at
  // the end of the input, or after setting error_ on a failure. Called for
  // large pieces (about a block each), never per byte; reads the file unless
  // overridden.
  virtual std::size_t Fill(char* to, std::size_t capacity);

  int error_ = 0;  // errno of the failure, if any

 private:
  int fd_ = -1;                    // -1 for a failed open or no file
  std::uint64_t size_ = 0;         // regular file size, else 0
  std::uint64_t consumed_ = 0;     // bytes handed out
  bool regular_ = false;           // fd_ is a regular file
  struct timespec modified_ = {};  // its modification time at the open
};

// The standard descriptor (0, 1 or 2) that `path` names (/dev/stdin,
// /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N) when that descriptor
// cannot be read or written: closed when the process started and held by a
// descriptor of no file (O_PATH), as main() holds it. Else -1.
int ClosedStandardDescriptorNamedBy(std::string_view path);

}  // namespace dorvenix

#endif  // DORVENIX_IO_INPUT_FILE_H_
