// The usage text, shown when dorvenix is given nothing to do or a file name
// before any command.
#ifndef DORVENIX_CLI_USAGE_H_
#define DORVENIX_CLI_USAGE_H_

#include "io/output_file.h"

namespace dorvenix {

void PrintUsage(OutputFile& out);

}  // namespace dorvenix

#endif  // DORVENIX_CLI_USAGE_H_
