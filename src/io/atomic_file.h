// AtomicFile: replaces a regular file with new contents all at once.
//
// The new contents go to a temporary file in the same folder as the target;
// Commit() checks every write, syncs and closes it, then renames it over the
// target. Until then, and whenever a step fails, the target is untouched and
// the temporary file is removed. A symbolic link is followed: the file it
// points to is replaced and the link stays a link. The new file keeps the
// permission bits of the file it replaces; a new file gets 0666 less the
// umask, as a shell redirection would give it.
#ifndef DORVENIX_IO_ATOMIC_FILE_H_
#define DORVENIX_IO_ATOMIC_FILE_H_

#include <memory>
#include <string>

#include "io/output_file.h"

namespace dorvenix {

class AtomicFile {
 public:
  // Starts a new version of `path`. On failure error() is set and writes to
  // out() go nowhere.
  explicit AtomicFile(const std::string& path);
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  // Removes the temporary file unless Commit() succeeded.
  ~AtomicFile();

  OutputFile& out() { return *out_; }

  // Makes the new version the file at the target path. Returns false, with
  // error() set, when any write, the sync, the close or the rename failed.
  bool Commit();

  // errno of the first failure, 0 when none.
  int error() const { return error_; }

 private:
  std::string target_;               // the file to replace, links resolved
  std::string temp_;                 // the temporary file, empty once gone
  std::unique_ptr<OutputFile> out_;  // writes to temp_
  int error_ = 0;                    // errno of the first failure
};

}  // namespace dorvenix

#endif  // DORVENIX_IO_ATOMIC_FILE_H_
