#include "io/save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "io/atomic_file.h"

namespace dorvenix {
namespace {

bool SameFile(const struct stat& a, int fd) {
  struct stat b;
  return ::fstat(fd, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

Status SaveFile(const std::string& path, OutputFile& standard_output,
                const std::function<Status(OutputFile&)>& write) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    if (SameFile(st, standard_output.fd())) {
      const Status written = write(standard_output);
      standard_output.Flush();
      return written;
    }
    if (!S_ISREG(st.st_mode)) {
      const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd < 0) return Status::System(errno);
      // Whatever reaches a terminal or pipe from here must follow what we
      // already wrote to standard output.
      standard_output.Flush();
      OutputFile out(fd, true);
      const Status written = write(out);
      out.Close();
      return written.ok() ? out.status() : written;
    }
  }
  AtomicFile file(path);
  // A save that cannot succeed does none of the work.
  if (!file.status().ok()) return file.status();
  const Status written = write(file.out());
  // A save that could not write everything leaves the old file as it was.
  return written.ok() ? file.Commit() : written;
}

}  // namespace dorvenix
