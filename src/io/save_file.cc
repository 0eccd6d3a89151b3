#include "io/save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "io/atomic_file.h"

namespace dorvenix {
namespace {

bool SameFile(const struct stat& a, int fd) {
  struct stat b;
  return ::fstat(fd, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::string SaveFile(const std::string& path, OutputFile& standard_output,
                     const std::function<void(OutputFile&)>& write) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    if (SameFile(st, standard_output.fd())) {
      write(standard_output);
      standard_output.Flush();
      return {};
    }
    if (!S_ISREG(st.st_mode)) {
      const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd < 0) return std::strerror(errno);
      // Whatever reaches a terminal or pipe from here must follow what we
      // already wrote to standard output.
      standard_output.Flush();
      OutputFile out(fd, true);
      write(out);
      return out.Close() ? std::string() : std::strerror(out.error());
    }
  }
  AtomicFile file(path);
  write(file.out());
  if (file.Commit()) return {};
  const std::string& folder = file.unwritable_folder();
  std::string reason = std::strerror(file.error());
  if (folder.empty()) return reason;
  // Some file systems (/proc, say) answer "no such file" for a file they
  // will not create, in a folder that exists.
  if (file.error() == ENOENT && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    reason = "its file system refuses new files";
  }
  return "cannot write in folder " + folder + ": " + reason;
}

}  // namespace dorvenix
