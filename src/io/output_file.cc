#include "io/output_file.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <new>

namespace dorvenix {
namespace {

constexpr std::size_t kFileBuffer = std::size_t{1} << 20;
constexpr std::size_t kStringBuffer = std::size_t{16} << 10;

}  // namespace

OutputFile::OutputFile(int fd, bool owns_fd)
    : fd_(fd),
      owns_fd_(owns_fd),
      buffer_(std::make_unique_for_overwrite<char[]>(kFileBuffer)),
      capacity_(kFileBuffer) {}

OutputFile::OutputFile(std::string* sink)
    : fd_(-1),
      owns_fd_(false),
      sink_(sink),
      buffer_(std::make_unique_for_overwrite<char[]>(kStringBuffer)),
      capacity_(kStringBuffer) {}

OutputFile::~OutputFile() {
  // A destructor may not throw: a string writer dropped while memory runs
  // out (the stack unwinding from it) loses what it had not handed on.
  try {
    Close();
  } catch (const std::bad_alloc&) {
  }
}

void OutputFile::WriteInt(std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  Write(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

void OutputFile::WriteSlow(std::string_view bytes) {
  Drain();
  if (bytes.size() >= kDirect || bytes.size() > capacity_) {
    Send(bytes.data(), bytes.size());
  } else {
    std::memcpy(buffer_.get(), bytes.data(), bytes.size());
    used_ = bytes.size();
  }
}

void OutputFile::Drain() {
  Send(buffer_.get(), used_);
  used_ = 0;
}

void OutputFile::Send(const char* data, std::size_t size) {
  if (error_ != 0) return;
  if (sink_ != nullptr) {
    sink_->append(data, size);
    return;
  }
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

bool OutputFile::Flush() {
  Drain();
  return error_ == 0;
}

void OutputFile::Close() {
  Drain();
  if (owns_fd_ && fd_ >= 0) {
    if (::close(fd_) != 0 && error_ == 0) error_ = errno;
    fd_ = -1;
  }
}

}  // namespace dorvenix
