#include "dictionary/dictionary_file.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/entry_line.h"

namespace dorvenix {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Parses lines and hands their entries to the dictionary in batches.
class Loader {
 public:
  explicit Loader(Dictionary& dictionary) : dictionary_(dictionary) {}

  // Parses one line; false once a line was malformed. Entries point into
  // the line: call Flush() before its storage changes.
  bool Line(std::string_view line) {
    if (++line_number_ == 1 && line.starts_with(kByteOrderMark)) {
      line.remove_prefix(kByteOrderMark.size());
    }
    const EntryLine parsed = ParseEntryLine(line);
    if (parsed.kind == EntryLine::Kind::kEntry) entries_.push_back(parsed.entry);
    if (parsed.kind != EntryLine::Kind::kMalformed) return true;
    result_ = {line_number_, parsed.reason};
    return false;
  }

  void Flush() {
    dictionary_.AddEntries(entries_);
    entries_.clear();
  }

  const LoadResult& result() const { return result_; }

 private:
  Dictionary& dictionary_;
  std::vector<Dictionary::Entry> entries_;  // parsed, not yet added
  std::uint64_t line_number_ = 0;
  LoadResult result_;
};

}  // namespace

// Performance-critical for large dictionaries: lines are cut with memchr and
// parsed in place; only a line that straddles two blocks is copied.
LoadResult LoadDictionary(Dictionary& dictionary, InputFile& in) {
  Loader loader(dictionary);
  std::string partial;  // the start of a line that continues in the next block
  for (std::span<char> block = in.Next(); !block.empty(); block = in.Next()) {
    const char* p = block.data();
    const char* const end = p + block.size();
    while (p < end) {
      const char* newline =
          static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (newline == nullptr) {
        partial.append(p, end);
        break;
      }
      const std::string_view rest(p, static_cast<std::size_t>(newline - p));
      p = newline + 1;
      if (partial.empty()) {
        if (!loader.Line(rest)) break;
        continue;
      }
      partial.append(rest);
      const bool good = loader.Line(partial);
      loader.Flush();  // the line lives in `partial`
      partial.clear();
      if (!good) break;
    }
    loader.Flush();
    if (!loader.result().ok()) return loader.result();
  }
  if (in.error() == 0 && !partial.empty()) {
    loader.Line(partial);
    loader.Flush();
  }
  return loader.result();
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
