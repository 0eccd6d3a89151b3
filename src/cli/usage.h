// The usage text, shown when dorvenix is given nothing to do or a file name
// before any command.
#ifndef DORVENIX_CLI_USAGE_H_
#define DORVENIX_CLI_USAGE_H_

#include <string_view>

namespace dorvenix {

// A view of a string literal: valid for the whole run.
std::string_view UsageText();

}  // namespace dorvenix

#endif  // DORVENIX_CLI_USAGE_H_
