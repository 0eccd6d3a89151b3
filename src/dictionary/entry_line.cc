#include "dictionary/entry_line.h"

#include <cstdint>
#include <limits>

namespace dorvenix {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

EntryLine Malformed(const char* reason) { return {EntryLine::Kind::kMalformed, {}, reason}; }

}  // namespace

EntryLine ParseEntryLine(std::string_view line) {
  if (line.empty() || line == "\r") return {EntryLine::Kind::kSkip, {}, nullptr};
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return Malformed("no space between the word and its count");
  const std::string_view word = line.substr(0, space);
  std::size_t i = space + 1;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size()) return Malformed("missing count");
  bool negative = false;
  if (line[i] == '+' || line[i] == '-') negative = line[i++] == '-';
  if (i == line.size() || !IsDigit(line[i])) return Malformed("count is not a number");
  // Accumulate as a negative number so that -2147483648 fits.
  std::int64_t value = 0;
  for (; i < line.size() && IsDigit(line[i]); ++i) {
    value = value * 10 - (line[i] - '0');
    if (value < std::numeric_limits<std::int32_t>::min()) return Malformed("count out of range");
  }
  if (i < line.size() && !IsBlank(line[i])) return Malformed("count is not a plain integer");
  if (!negative) {
    value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return Malformed("count out of range");
  }
  if (!IsStoredLength(word.size())) return {EntryLine::Kind::kSkip, {}, nullptr};
  return {EntryLine::Kind::kEntry, {word, static_cast<std::int32_t>(value)}, nullptr};
}

}  // namespace dorvenix
