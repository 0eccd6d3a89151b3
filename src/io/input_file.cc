#include "io/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace dorvenix {
InputFile InputFile::Open(const std::string& path) {
  InputFile file(0);
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
      file.modified_ = st.st_mtim;
    }
  }
  return file;
}

InputFile::InputFile(InputFile&& other) noexcept
    : error_(other.error_),
      fd_(std::exchange(other.fd_, -1)),
      size_(other.size_),
      consumed_(other.consumed_),
      regular_(other.regular_),
      modified_(other.modified_) {}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool InputFile::Changed() const {
  struct stat st;
  if (!regular_ || ::fstat(fd_, &st) != 0) return false;
  return static_cast<std::uint64_t>(st.st_size) != size_ || st.st_mtim.tv_sec != modified_.tv_sec ||
         st.st_mtim.tv_nsec != modified_.tv_nsec;
}

std::size_t InputFile::Read(char* to, std::size_t capacity) {
  if (error_ != 0 || capacity == 0) return 0;
  const std::size_t n = Fill(to, capacity);
  consumed_ += n;
  return n;
}

std::size_t InputFile::Fill(char* to, std::size_t capacity) {
  for (;;) {
    const ssize_t n = ::read(fd_, to, capacity);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    error_ = errno;
    return 0;
  }
}

int ClosedStandardDescriptorNamedBy(std::string_view path) {
  constexpr std::string_view kNames[] = {"/dev/stdin", "/dev/stdout", "/dev/stderr"};
  int fd = -1;
  for (int n = 0; n < 3; ++n) fd = path == kNames[n] ? n : fd;
  for (const std::string_view folder : {"/dev/fd/", "/proc/self/fd/"}) {
    if (path.size() == folder.size() + 1 && path.starts_with(folder)) fd = path.back() - '0';
  }
  if (fd < 0 || fd > 2) return -1;
  const int flags = ::fcntl(fd, F_GETFL);
  return flags != -1 && (flags & O_PATH) != 0 ? fd : -1;
}

}  // namespace dorvenix
