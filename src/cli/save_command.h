// Saving the dictionary to the path given after "-s".
#ifndef DORVENIX_CLI_SAVE_COMMAND_H_
#define DORVENIX_CLI_SAVE_COMMAND_H_

#include <string>

#include "dictionary/dictionary.h"
#include "io/output_file.h"

namespace dorvenix {

// Writes `dictionary` to `path` and returns 0, or the errno of the failure.
// - A path that is our own standard output (/dev/stdout, say) is written
//   through `stdout_out`, in order with everything else written there; its
//   write errors are left in stdout_out.error().
// - Any other existing file that is not a regular file (a device, a FIFO) is
//   written directly.
// - A regular file, or a new one, is replaced atomically: on any failure the
//   old file stays as it was.
int SaveDictionaryToPath(const Dictionary& dictionary, const std::string& path,
                         OutputFile& stdout_out);

}  // namespace dorvenix

#endif  // DORVENIX_CLI_SAVE_COMMAND_H_
