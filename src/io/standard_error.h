// The one writer of standard error, for diagnostics and the progress line.
#ifndef DORVENIX_IO_STANDARD_ERROR_H_
#define DORVENIX_IO_STANDARD_ERROR_H_

#include <string_view>

namespace dorvenix {

// Writes `text` to standard error at once (it is not buffered), retrying
// interrupted and partial writes. A failure is ignored: there is nowhere
// left to report it.
void WriteStandardError(std::string_view text);

}  // namespace dorvenix

#endif  // DORVENIX_IO_STANDARD_ERROR_H_
