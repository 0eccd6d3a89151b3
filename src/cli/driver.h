// The command-line driver: runs the commands of one dorvenix invocation.
#ifndef DORVENIX_CLI_DRIVER_H_
#define DORVENIX_CLI_DRIVER_H_

#include "cli/console.h"

namespace dorvenix {

// The command in force for the file names that follow it.
enum class Mode { kNone = 0, kLoad = 1, kSave = 2, kLearn = 3, kDecipher = 4 };

// Runs the arguments (argv[1] ...) strictly left to right on one dictionary:
// "-l", "-s", "-a" and "-d" select the command for the file names after them,
// "-i" prints the collision report at once, and any other argument is a file
// name for the command in force. Results go to console.out, diagnostics to
// console.error.
//
// Returns the exit status: 1 when the usage text was printed (no arguments,
// or a file name before any command; the run ends there); 2 when a file could
// not be read or written or changed while it was read, a dictionary file had
// a malformed line, a "-s" named no file, memory ran out, or standard output
// could not be written (each is reported and the run goes on); else 0.
int RunCommandLine(int argc, const char* const* argv, Console& console);

// The same on the process's own standard output and error.
int RunCommandLine(int argc, const char* const* argv);

}  // namespace dorvenix

#endif  // DORVENIX_CLI_DRIVER_H_
