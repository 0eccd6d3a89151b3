#include "io/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
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
      file.modified_s_ = st.st_mtim.tv_sec;
      file.modified_ns_ = st.st_mtim.tv_nsec;
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

int ClosedStandardDescriptorNamedBy(std::string path) {
  char descriptors[PATH_MAX], folder[PATH_MAX];
  if (::realpath("/proc/self/fd", descriptors) == nullptr) return -1;
  // The links are followed one at a time, by their text: the last one,
  // /proc/self/fd/0, leads to what holds the descriptor (the root folder),
  // which is no different from the root folder named as such.
  for (int hops = 0; hops < 40; ++hops) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    const std::string name = path.substr(slash + 1);
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '2' &&
        ::realpath(dir.c_str(), folder) != nullptr && std::strcmp(folder, descriptors) == 0) {
      const int fd = name[0] - '0';
      const int flags = ::fcntl(fd, F_GETFL);
      return flags != -1 && (flags & O_PATH) != 0 ? fd : -1;
    }
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) == sizeof target) return -1;
    const std::string next(target, static_cast<std::size_t>(n));
    path = next[0] == '/' ? next : dir + next;
  }
  return -1;
}

}  // namespace dorvenix
