// SaveFile: writing a file named by the user, by the right means for what
// the name stands for.
#ifndef DORVENIX_IO_SAVE_FILE_H_
#define DORVENIX_IO_SAVE_FILE_H_

#include <functional>
#include <string>

#include "base/status.h"
#include "io/output_file.h"

namespace dorvenix {

// Has write(out) write the new contents of `path`, and returns the first
// failure: write()'s own ("out of memory"), or the file's ("No space left on
// device", "cannot write in folder ro: Permission denied").
// - A path that is our own standard output (/dev/stdout, say) is written
//   through `standard_output`, in order with everything else written there;
//   its write errors are left in standard_output.status().
// - Any other existing file that is not a regular file (a device, a FIFO) is
//   written directly.
// - A regular file, or a new one, is replaced atomically (AtomicFile): on
//   any failure the old file stays as it was. A file that may not be
//   replaced ("Permission denied") or a folder that takes no new file is
//   refused before write() is called.
Status SaveFile(const std::string& path, OutputFile& standard_output,
                const std::function<Status(OutputFile&)>& write);

}  // namespace dorvenix

#endif  // DORVENIX_IO_SAVE_FILE_H_
