#include "base/status.h"

#include <cstring>

namespace dorvenix {

std::string Status::Describe(std::string_view subject) const {
  std::string text(subject);
  switch (code_) {
    case Code::kOk:
      return text;
    case Code::kSystem:
      text += ": ";
      if (!context_.empty()) (text += context_) += ": ";
      return text += std::strerror(error_);
    case Code::kMalformedLine:
      (((text += ':') += std::to_string(line_)) += ": ") += reason_;
      return text += "; the rest of the file is not loaded";
    case Code::kLimit:
      return (text += ": ") += reason_;
    case Code::kOutOfMemory:
      return text += ": out of memory";
    case Code::kChanged:
      return text += ": file changed while it was read";
  }
  return text;
}

}  // namespace dorvenix
