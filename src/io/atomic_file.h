// AtomicFile: replaces a regular file with new contents all at once.
//
// The new contents go to a file without a name (Linux O_TMPFILE) in the
// target's folder; Commit() checks every write and syncs the file, then gives
// it its name and syncs the folder, so that a save that reported success
// survives a power cut. A file that replaces nothing is linked in under the
// target's name at once. A file that replaces another is linked in under a
// temporary name, .NAME.XXXXXX, which is then renamed over the target: no
// system call links a file over another. Where the file system cannot make
// unnamed files, the file gets its temporary name at once. Until the new file
// has the target's name, and whenever a step fails, the target is untouched
// and the temporary file is removed. A process killed outright (SIGKILL, a
// crash) leaves its temporary file behind only from a file system without
// O_TMPFILE, or in the moment between the link and the rename; nothing else
// removes it, since it cannot be told from the file of another save in
// progress.
//
// A file is replaced only where we could have written it in place, as cp
// would: one that we may not write is refused from the start, though the
// folder's permission would let a rename replace it. In a sticky folder
// (/tmp) the system refuses to rename over another user's file in a folder
// not ours; the failure says so.
//
// A symbolic link is followed: the file it points to is replaced and the link
// stays a link. The new file keeps the owner and group of the file it
// replaces where we may set them, and all its permission bits (setuid, setgid
// and sticky included); a new file gets 0666 less the umask, as a shell
// redirection would give it.
#ifndef DORVENIX_IO_ATOMIC_FILE_H_
#define DORVENIX_IO_ATOMIC_FILE_H_

#include <functional>
#include <memory>
#include <string>

#include "base/status.h"
#include "io/output_file.h"

namespace dorvenix {

class AtomicFile {
 public:
  // How a save goes, for tests that steer it onto its rarer paths.
  struct Steering {
    bool unnamed = true;                  // try a file without a name first
    std::function<void()> before_naming;  // called just before the new file
                                          // takes the target's name, if set
  };

  // Starts a new version of `path`. When the file may not be replaced or no
  // new file can be made, status() and Commit() say why and writes to out()
  // go nowhere.
  explicit AtomicFile(const std::string& path);
  AtomicFile(const std::string& path, Steering steering);
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  // Removes the temporary file unless Commit() succeeded.
  ~AtomicFile();

  OutputFile& out() { return *out_; }
  // The first failure so far: a save refused at the start is known before
  // anything is written.
  const Status& status() const { return status_; }

  // Makes the new version the file at the target path. Returns the first
  // failure: the target may not be written ("Permission denied"), the new
  // file could not be made ("cannot write in folder DIR"), or a write, a
  // sync, the close, the link or the rename failed ("cannot replace a file
  // of another user in sticky folder DIR").
  Status Commit();

  // Removes the named temporary file of the save in progress, if there is
  // one. Async-signal-safe: for the handler of a signal that ends the
  // process. (The name is kept in one static buffer: while a file lives
  // under its temporary name, no other AtomicFile may exist.)
  static void RemoveTemporaryForSignal();

 private:
  // Closes the new file and removes its temporary name, if it has one.
  void Discard();
  // Whether the folder's sticky bit keeps us from replacing the target
  // without privilege: neither the folder nor the file is ours.
  bool StickyKeepsUsOut() const;

  Steering steering_;                // how the save goes
  std::string target_;               // the file to replace, links resolved
  bool replacing_ = false;           // target_ existed when the save began
  std::string folder_;               // the folder of target_
  std::string temporary_prefix_;     // folder_ + "/." + name + "."; six characters follow
  int fd_ = -1;                      // the new file, -1 once closed
  std::unique_ptr<OutputFile> out_;  // writes to fd_
  Status status_;                    // the first failure
};

}  // namespace dorvenix

#endif  // DORVENIX_IO_ATOMIC_FILE_H_
