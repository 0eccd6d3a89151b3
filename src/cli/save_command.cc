#include "cli/save_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "dictionary/dictionary_file.h"
#include "io/atomic_file.h"

namespace dorvenix {
namespace {

bool SameFile(const struct stat& a, int fd) {
  struct stat b;
  return ::fstat(fd, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

int SaveDictionaryToPath(const Dictionary& dictionary, const std::string& path,
                         OutputFile& stdout_out) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    if (SameFile(st, stdout_out.fd())) {
      SaveDictionary(dictionary, stdout_out);
      stdout_out.Flush();
      return 0;
    }
    if (!S_ISREG(st.st_mode)) {
      const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd < 0) return errno;
      // Whatever reaches a terminal or pipe from here must follow what we
      // already wrote to standard output.
      stdout_out.Flush();
      OutputFile out(fd, true);
      SaveDictionary(dictionary, out);
      out.Close();
      return out.error();
    }
  }
  AtomicFile file(path);
  SaveDictionary(dictionary, file.out());
  file.Commit();
  return file.error();
}

}  // namespace dorvenix
