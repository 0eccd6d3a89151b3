#include "io/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace dorvenix {
InputFile InputFile::Open(const std::string& path) {
  InputFile file;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    file.error_ = errno;
    return file;
  }
  file.fd_ = fd;
  struct stat st;
  if (::fstat(fd, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      file.error_ = EISDIR;
      return file;
    }
    if (S_ISREG(st.st_mode)) {
      file.size_ = static_cast<std::uint64_t>(st.st_size);
      file.regular_ = true;
      file.modified_s_ = st.st_mtim.tv_sec;
      file.modified_ns_ = st.st_mtim.tv_nsec;
    }
  }
  return file;
}

InputFile InputFile::FromMemory(std::string_view text, std::size_t block_size) {
  InputFile file;
  file.memory_.assign(text);
  file.memory_block_ = block_size == 0 ? 1 : block_size;
  file.size_ = text.size();
  return file;
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      error_(other.error_),
      memory_(std::move(other.memory_)),
      memory_at_(other.memory_at_),
      memory_block_(other.memory_block_),
      size_(other.size_),
      consumed_(other.consumed_),
      regular_(other.regular_),
      modified_s_(other.modified_s_),
      modified_ns_(other.modified_ns_) {}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool InputFile::Changed() const {
  struct stat st;
  if (!regular_ || ::fstat(fd_, &st) != 0) return false;
  return static_cast<std::uint64_t>(st.st_size) != size_ || st.st_mtim.tv_sec != modified_s_ ||
         st.st_mtim.tv_nsec != modified_ns_;
}

std::size_t InputFile::Read(char* to, std::size_t capacity) {
  if (error_ != 0 || capacity == 0) return 0;
  if (fd_ < 0) {
    const std::size_t n = std::min({capacity, memory_block_, memory_.size() - memory_at_});
    std::memcpy(to, memory_.data() + memory_at_, n);
    memory_at_ += n;
    consumed_ += n;
    return n;
  }
  for (;;) {
    const ssize_t n = ::read(fd_, to, capacity);
    if (n >= 0) {
      consumed_ += static_cast<std::uint64_t>(n);
      return static_cast<std::size_t>(n);
    }
    if (errno == EINTR) continue;
    error_ = errno;
    return 0;
  }
}

}  // namespace dorvenix
