#include "dictionary/dictionary_file.h"

#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

namespace dorvenix {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// Reads "word count[rest]" from one line (without its line feed); a word of
// more than 3 bytes goes to `entries`. Returns the reason when the line is
// malformed, else nullptr.
const char* LoadLine(std::string_view line, std::vector<Dictionary::WordCount>* entries) {
  if (line.empty() || line == "\r") return nullptr;
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return "no space between the word and its count";
  const std::string_view word = line.substr(0, space);
  std::size_t i = space + 1;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size()) return "missing count";
  bool negative = false;
  if (line[i] == '+' || line[i] == '-') negative = line[i++] == '-';
  if (i == line.size() || line[i] < '0' || line[i] > '9') return "count is not a number";
  // Accumulate as a negative number so that -2147483648 fits.
  std::int64_t value = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    value = value * 10 - (line[i] - '0');
    if (value < std::numeric_limits<std::int32_t>::min()) return "count out of range";
  }
  if (!negative) {
    value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return "count out of range";
  }
  if (IsStoredLength(word.size())) entries->push_back({word, static_cast<std::int32_t>(value)});
  return nullptr;
}

}  // namespace

// Performance-critical for large dictionaries: lines are cut with memchr and
// parsed in place; only a line that straddles two blocks is copied.
LoadResult LoadDictionary(Dictionary& dictionary, InputFile& in) {
  LoadResult result;
  std::string partial;  // the start of a line that continues in the next block
  std::uint64_t line_number = 0;
  // The entries of a block, added together (Dictionary::AddCounts); views
  // into the block stay valid until the next one is read.
  std::vector<Dictionary::WordCount> entries;
  auto load = [&](std::string_view line) {
    ++line_number;
    if (const char* reason = LoadLine(line, &entries)) {
      result.bad_line = line_number;
      result.reason = reason;
    }
    return result.bad_line == 0;
  };
  for (std::span<char> block = in.Next(); !block.empty(); block = in.Next()) {
    const char* p = block.data();
    const char* const end = p + block.size();
    entries.clear();
    while (p < end) {
      const char* newline =
          static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (newline == nullptr) {
        partial.append(p, end);
        break;
      }
      std::string_view line(p, static_cast<std::size_t>(newline - p));
      const bool continued = !partial.empty();
      if (continued) {
        partial.append(line);
        line = partial;
      }
      const bool good = load(line);
      if (continued) {
        // The line lives in `partial`: add it before reusing that.
        dictionary.AddCounts(entries);
        entries.clear();
        partial.clear();
      }
      if (!good) break;
      p = newline + 1;
    }
    dictionary.AddCounts(entries);
    if (result.bad_line != 0) return result;
  }
  result.read_error = in.error();
  if (result.read_error == 0 && !partial.empty()) {
    entries.clear();
    load(partial);
    dictionary.AddCounts(entries);
  }
  return result;
}

void SaveDictionary(const Dictionary& dictionary, OutputFile& out) {
  dictionary.ForEachInOrder([&](std::string_view word, std::int32_t count) {
    out.Write(word);
    out.Put(' ');
    out.WriteInt(count);
    out.Put('\n');
  });
}

}  // namespace dorvenix
