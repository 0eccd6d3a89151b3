// Loads arbitrary bytes as a dictionary file.
//
// Invariants: every entry has a word of more than 3 bytes holding no space
// and no line feed, filed under its own key; entries come in strict
// (key, word) order; and what was loaded is exactly what a line-by-line
// reading of the file format gives for the lines before the first malformed
// one (counts added with saturation), with that line's number reported.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "dictionary/dictionary.h"
#include "dictionary/dictionary_file.h"
#include "dictionary/word_key.h"
#include "fuzz_check.h"
#include "io/input_file.h"

namespace {

using dorvenix::Dictionary;
using dorvenix::InputFile;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// One line of the format, read naively: "word count[anything]". Returns
// false for a malformed line; an empty line or a lone CR reads as nothing.
bool ParseLine(std::string_view line,
               std::optional<std::pair<std::string_view, std::int32_t>>* entry) {
  entry->reset();
  if (line.empty() || line == "\r") return true;
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return false;
  std::size_t i = space + 1;
  while (i < line.size() && IsBlank(line[i])) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  const std::size_t digits = i;
  // Big enough for any count: digits beyond 11 significant ones overflow.
  long double value = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
    value = value * 10 + (line[i] - '0');
  if (i == digits) return false;
  if (negative) value = -value;
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  entry->emplace(line.substr(0, space), static_cast<std::int32_t>(value));
  return true;
}

std::int32_t SaturatingAdd(std::int32_t a, std::int32_t b) {
  const std::int64_t sum = std::int64_t{a} + b;
  if (sum > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (sum < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(sum);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Dictionary dictionary;
  InputFile in = InputFile::FromMemory(text);
  const dorvenix::LoadResult result = dorvenix::LoadDictionary(dictionary, in);
  FUZZ_CHECK(result.read_error == 0);
  FUZZ_CHECK((result.bad_line == 0) == result.reason.empty());

  // Read in small blocks, lines straddle block ends: the same result.
  Dictionary small_blocks;
  InputFile small_in = InputFile::FromMemory(text, SmallBlockSize(data, size));
  const dorvenix::LoadResult small_result = dorvenix::LoadDictionary(small_blocks, small_in);
  FUZZ_CHECK(small_result.bad_line == result.bad_line);
  FUZZ_CHECK(small_result.reason == result.reason);
  FUZZ_CHECK(small_blocks.Entries() == dictionary.Entries());

  // The reference reading.
  std::map<std::string, std::int32_t, std::less<>> want;
  std::uint64_t bad_line = 0;
  std::uint64_t line_number = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    ++line_number;
    std::optional<std::pair<std::string_view, std::int32_t>> entry;
    if (!ParseLine(text.substr(start, end - start), &entry)) {
      bad_line = line_number;
      break;
    }
    if (entry && dorvenix::IsStoredLength(entry->first.size())) {
      auto [it, added] = want.try_emplace(std::string(entry->first), entry->second);
      if (!added) it->second = SaturatingAdd(it->second, entry->second);
    }
    start = end + 1;
  }
  FUZZ_CHECK(result.bad_line == bad_line);

  const std::vector<dorvenix::WordEntry> entries = dictionary.Entries();
  FUZZ_CHECK(entries.size() == dictionary.size());
  FUZZ_CHECK(entries.size() == want.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const dorvenix::WordEntry& e = entries[i];
    FUZZ_CHECK(e.word.size() > 3);
    FUZZ_CHECK(e.word.find(' ') == std::string::npos);
    FUZZ_CHECK(e.word.find('\n') == std::string::npos);
    FUZZ_CHECK(e.key == dorvenix::MakeWordKey(e.word));
    if (i > 0)
      FUZZ_CHECK(dorvenix::EntryLess(entries[i - 1].key, entries[i - 1].word, e.key, e.word));
    const auto it = want.find(e.word);
    FUZZ_CHECK(it != want.end());
    FUZZ_CHECK(it->second == e.count);
    FUZZ_CHECK(dictionary.CountOf(e.word) == e.count);
  }
  return 0;
}
