#include "io/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "base/hash.h"

namespace dorvenix {
namespace {

// The temporary name of the save in progress, for a signal handler to
// remove. The name is written before the flag is raised, and the flag is
// lowered only once the name is gone or renamed: the handler never sees half
// a name, at worst one that no longer exists.
char temporary_name[PATH_MAX];
volatile std::sig_atomic_t temporary_named = 0;

void ForgetTemporaryName() {
  if (temporary_named == 0) return;
  ::unlink(temporary_name);
  temporary_named = 0;
}

// Follows symbolic links from `path` to the file that a write would reach,
// even when that file does not exist yet, and stores it in *resolved. Gives
// up after 40 links (ELOOP).
Status ResolveLinks(std::string path, std::string* resolved) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *resolved = path;
      return {};
    }
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) return Status::System(errno);
    std::string next(target, static_cast<std::size_t>(n));
    if (next.empty() || next[0] != '/') {
      const std::size_t slash = path.rfind('/');
      next = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + next;
    }
    path = next;
  }
  return Status::System(ELOOP);
}

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// Six letters and digits that differ from call to call and from process to
// process.
void FillUnique(char* p) {
  static std::uint64_t calls = 0;
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  const std::uint64_t seed[] = {static_cast<std::uint64_t>(now.tv_sec),
                                static_cast<std::uint64_t>(now.tv_nsec),
                                static_cast<std::uint64_t>(::getpid()), ++calls};
  std::uint64_t z = HashBytes(std::string_view(reinterpret_cast<const char*>(seed), sizeof seed));
  static constexpr char kCharacters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int i = 0; i < 6; ++i, z /= 62) p[i] = kCharacters[z % 62];
}

// Has `make(name)` create a file under `prefix` and six unique characters;
// another name is tried while the one chosen is taken. The name is published
// for the signal handler before the file has it.
template <typename Make>
Status MakeNamed(const std::string& prefix, Make make) {
  if (prefix.size() + 6 >= sizeof temporary_name) return Status::System(ENAMETOOLONG);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::memcpy(temporary_name, prefix.data(), prefix.size());
    FillUnique(temporary_name + prefix.size());
    temporary_name[prefix.size() + 6] = '\0';
    std::atomic_signal_fence(std::memory_order_seq_cst);
    temporary_named = 1;
    Status made = make(temporary_name);
    if (made.ok()) return made;
    temporary_named = 0;
    if (made.error() != EEXIST) return made;
  }
  return Status::System(EEXIST);
}

// A new file without a name in `folder`, or -1 with errno set.
int OpenUnnamed(const std::string& folder) {
#ifdef O_TMPFILE
  return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
#else
  errno = EOPNOTSUPP;
  return -1;
#endif
}

// Gives the unnamed file `fd` a name, through /proc or, without /proc, by
// AT_EMPTY_PATH (which needs privilege).
Status LinkUnnamed(int fd, const char* name) {
  char self[40];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  if (::linkat(AT_FDCWD, self, AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0) return {};
  if (errno != ENOENT) return Status::System(errno);
#ifdef AT_EMPTY_PATH
  if (::linkat(fd, "", AT_FDCWD, name, AT_EMPTY_PATH) == 0) return {};
#endif
  return Status::System(errno);
}

// Makes the rename in `folder` durable, as the contents already are.
Status SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  // A folder we may write in but not read cannot be synced by us.
  if (fd < 0) return errno == EACCES ? Status() : Status::System(errno);
  // Some file systems have nothing to sync in a folder and say EINVAL.
  const Status synced = ::fsync(fd) == 0 || errno == EINVAL ? Status() : Status::System(errno);
  ::close(fd);
  return synced;
}

}  // namespace

void AtomicFile::RemoveTemporaryForSignal() {
  if (temporary_named != 0) ::unlink(temporary_name);
}

AtomicFile::AtomicFile(const std::string& path) : AtomicFile(path, Steering()) {}

AtomicFile::AtomicFile(const std::string& path, Steering steering)
    : steering_(std::move(steering)), out_(std::make_unique<OutputFile>(-1, false)) {
  // Until the new file is made, writes go nowhere.
  status_ = ResolveLinks(path, &target_);
  if (!status_.ok()) return;
  const std::size_t slash = target_.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  folder_ = dir.empty() ? "." : dir.size() == 1 ? dir : dir.substr(0, dir.size() - 1);
  // The temporary name adds 8 bytes to the target's; cut what it borrows from
  // a long target name so that it stays within NAME_MAX.
  constexpr std::size_t kTempExtra = 8;  // "." and ".XXXXXX"
  temporary_prefix_ = dir + "." + base.substr(0, NAME_MAX - kTempExtra) + ".";

  // A rename over a file needs only the folder's permission; we replace only
  // a file that we could have written in place, as cp would, and say so
  // before any file of ours exists.
  struct stat st;
  replacing_ = ::stat(target_.c_str(), &st) == 0;
  if (replacing_ && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0 &&
      (errno == EACCES || errno == EPERM)) {
    status_ = Status::System(errno);
    return;
  }
  fd_ = steering_.unnamed ? OpenUnnamed(folder_) : -1;
  Status made = fd_ >= 0 ? Status() : Status::System(steering_.unnamed ? errno : EOPNOTSUPP);
  // Kernels and file systems without unnamed files say so in several ways.
  if (!made.ok() &&
      (made.error() == EOPNOTSUPP || made.error() == EISDIR || made.error() == EINVAL)) {
    made = MakeNamed(temporary_prefix_, [this](const char* name) {
      fd_ = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      return fd_ >= 0 ? Status() : Status::System(errno);
    });
  }
  if (!made.ok()) {
    // Some file systems (/proc, say) answer "no such file" for a file they
    // do not let anyone make, in a folder that exists.
    struct stat folder;
    const bool refused =
        made.error() == ENOENT && ::stat(folder_.c_str(), &folder) == 0 && S_ISDIR(folder.st_mode);
    status_ =
        Status::System(refused ? EOPNOTSUPP : made.error(), "cannot write in folder " + folder_);
    return;
  }
  if (replacing_) {
    // Owner and group first: changing them clears the setuid and setgid bits.
    if (::fchown(fd_, st.st_uid, st.st_gid) != 0) {
      // Only a privileged user may give the file away; otherwise it stays
      // ours, as a file written by a shell redirection would.
    }
    ::fchmod(fd_, st.st_mode & 07777);
  } else {
    ::fchmod(fd_, 0666 & ~CurrentUmask());
  }
  try {
    out_ = std::make_unique<OutputFile>(fd_, false);
  } catch (...) {
    Discard();
    throw;
  }
}

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::StickyKeepsUsOut() const {
  struct stat folder, file;
  const uid_t us = ::geteuid();
  return ::stat(folder_.c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 &&
         folder.st_uid != us && ::stat(target_.c_str(), &file) == 0 && file.st_uid != us;
}

void AtomicFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ForgetTemporaryName();
}

Status AtomicFile::Commit() {
  if (!status_.ok()) return status_;
  bool named = false;  // the new file has the target's name
  if (!out_->Flush()) {
    status_ = out_->status();
  } else if (::fsync(fd_) != 0) {
    status_ = Status::System(errno);
  } else if (temporary_named == 0) {
    // A file that replaces nothing takes its name at once, so that no
    // temporary name exists for a kill to leave behind. Should a file of
    // that name have appeared meanwhile, the rename below replaces it.
    if (!replacing_) {
      if (steering_.before_naming) steering_.before_naming();
      const Status linked = LinkUnnamed(fd_, target_.c_str());
      named = linked.ok();
      if (!named && linked.error() != EEXIST) status_ = linked;
    }
    if (!named && status_.ok()) {
      status_ =
          MakeNamed(temporary_prefix_, [this](const char* name) { return LinkUnnamed(fd_, name); });
    }
  }
  if (::close(fd_) != 0 && status_.ok()) {
    status_ = Status::System(errno);
    if (named) ::unlink(target_.c_str());  // what we linked in, and nothing else
  }
  fd_ = -1;
  if (status_.ok() && !named) {
    if (steering_.before_naming) steering_.before_naming();
    if (::rename(temporary_name, target_.c_str()) != 0) {
      // In a sticky folder (/tmp) only the owner of the folder or of the
      // file may rename over it.
      const int error = errno;
      status_ = error == EPERM && StickyKeepsUsOut()
                    ? Status::System(error,
                                     "cannot replace a file of another user in sticky "
                                     "folder " +
                                         folder_)
                    : Status::System(error);
    }
  }
  if (!status_.ok()) {
    Discard();
    return status_;
  }
  temporary_named = 0;
  status_ = SyncFolder(folder_);
  return status_;
}

}  // namespace dorvenix
