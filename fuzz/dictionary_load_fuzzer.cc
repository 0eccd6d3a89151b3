// Loads arbitrary bytes as a dictionary file, whole and in small blocks.
//
// Invariants: both readings agree; what was loaded is exactly what a plain
// line-by-line reading of the format (with std::from_chars) gives for the
// lines before the first malformed one, counts added with saturation, and
// that line's number is reported; entries come in strict dictionary order.
#include <charconv>
#include <optional>

#include "dictionary/dictionary_file.h"
#include "fuzz_check.h"
#include "test_support.h"

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

// The count of a line whose word ends at `space`: blanks, then a signed
// 32-bit decimal number, then a blank or the end. Nothing when malformed.
std::optional<std::int32_t> CountOf(std::string_view line, std::size_t space) {
  std::size_t i = line.find_first_not_of(kBlanks, space + 1);
  if (i == std::string_view::npos) return std::nullopt;
  if (line[i] == '+' && i + 1 < line.size() && line[i + 1] != '-') ++i;  // from_chars takes no +
  std::int32_t count;
  const auto [end, error] = std::from_chars(line.data() + i, line.data() + line.size(), count);
  const std::size_t rest = static_cast<std::size_t>(end - line.data());
  if (error != std::errc() || (rest < line.size() && kBlanks.find(line[rest]) == kBlanks.npos)) {
    return std::nullopt;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dorvenix;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Dictionary whole, small;
  testing::TextInput in(text);
  const std::size_t block = SmallBlockSize(data, size);
  testing::TextInput small_in(text, block);
  const Status result = LoadDictionary(whole, in);
  // Small blocks on 3 threads load the same.
  const Status small_result = LoadDictionary(small, small_in, WorkPlan{3, block});
  FUZZ_CHECK(small_result.Describe("f") == result.Describe("f"));
  FUZZ_CHECK(testing::Listing(small) == testing::Listing(whole));

  testing::Counts want;
  std::uint64_t bad_line = 0, line_number = 0;
  for (std::size_t start = 0; start < text.size() && bad_line == 0;) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (++line_number == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    if (line.empty() || line == "\r") continue;
    const std::size_t space = line.find(' ');
    const auto count = space == std::string_view::npos ? std::nullopt : CountOf(line, space);
    if (!count) {
      bad_line = line_number;
    } else if (space > 3) {
      std::int32_t& sum = want[std::string(line.substr(0, space))];
      sum = static_cast<std::int32_t>(
          std::clamp<std::int64_t>(std::int64_t{sum} + *count, INT32_MIN, INT32_MAX));
    }
  }
  FUZZ_CHECK(result.line() == bad_line);
  FUZZ_CHECK(testing::Listing(whole) == testing::Listing(want));
  return 0;
}
