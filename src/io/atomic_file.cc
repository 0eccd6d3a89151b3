#include "io/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace dorvenix {
namespace {

// Follows symbolic links from `path` to the file that a write would reach,
// even when that file does not exist yet. Gives up after 40 links (ELOOP).
bool ResolveLinks(std::string path, std::string* resolved, int* error) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *resolved = path;
      return true;
    }
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) {
      *error = errno;
      return false;
    }
    std::string next(target, static_cast<std::size_t>(n));
    if (next.empty() || next[0] != '/') {
      const std::size_t slash = path.rfind('/');
      next = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + next;
    }
    path = next;
  }
  *error = ELOOP;
  return false;
}

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

}  // namespace

AtomicFile::AtomicFile(const std::string& path) {
  if (!ResolveLinks(path, &target_, &error_)) {
    out_ = std::make_unique<OutputFile>(-1, false);
    return;
  }
  const std::size_t slash = target_.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  // The temporary name adds 8 bytes to the target's; cut what it borrows from
  // a long target name so that it stays within NAME_MAX.
  constexpr std::size_t kTempExtra = 8;  // "." and ".XXXXXX"
  std::string temp = dir + "." + base.substr(0, NAME_MAX - kTempExtra) + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    error_ = errno;
    out_ = std::make_unique<OutputFile>(-1, false);
    return;
  }
  temp_ = temp;
  struct stat st;
  if (::stat(target_.c_str(), &st) == 0) {
    ::fchmod(fd, st.st_mode & 07777);
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Only a privileged user may give the file away; otherwise it stays
      // ours, as a file written by a shell redirection would.
    }
  } else {
    ::fchmod(fd, 0666 & ~CurrentUmask());
  }
  out_ = std::make_unique<OutputFile>(fd, false);
}

AtomicFile::~AtomicFile() {
  if (!temp_.empty()) {
    if (out_->fd() >= 0) ::close(out_->fd());
    ::unlink(temp_.c_str());
  }
}

bool AtomicFile::Commit() {
  if (error_ != 0) return false;
  const int fd = out_->fd();
  if (!out_->Flush()) {
    error_ = out_->error();
  } else if (::fsync(fd) != 0) {
    error_ = errno;
  }
  if (::close(fd) != 0 && error_ == 0) error_ = errno;
  out_ = std::make_unique<OutputFile>(-1, false);
  if (error_ == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) error_ = errno;
  if (error_ != 0) {
    ::unlink(temp_.c_str());
  }
  temp_.clear();
  return error_ == 0;
}

}  // namespace dorvenix
