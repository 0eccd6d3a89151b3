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

int SaveFile(const std::string& path, OutputFile& standard_output,
             const std::function<void(OutputFile&)>& write) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    if (SameFile(st, standard_output.fd())) {
      write(standard_output);
      standard_output.Flush();
      return 0;
    }
    if (!S_ISREG(st.st_mode)) {
      const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd < 0) return errno;
      // Whatever reaches a terminal or pipe from here must follow what we
      // already wrote to standard output.
      standard_output.Flush();
      OutputFile out(fd, true);
      write(out);
      out.Close();
      return out.error();
    }
  }
  AtomicFile file(path);
  write(file.out());
  file.Commit();
  return file.error();
}

}  // namespace dorvenix
