// Loads arbitrary bytes as a dictionary file, saves it, loads the saved
// bytes (in small blocks) into a fresh dictionary and saves again.
//
// Invariants: the saved file always loads without complaint; both saves are
// the same bytes and both dictionaries hold the same entries; the saved file
// is one "word count" line per entry, in entry order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/dictionary.h"
#include "dictionary/dictionary_file.h"
#include "fuzz_check.h"
#include "io/input_file.h"
#include "io/output_file.h"

namespace {

using dorvenix::Dictionary;
using dorvenix::InputFile;
using dorvenix::OutputFile;

std::string Save(const Dictionary& dictionary) {
  // One writer for the whole run: its 1 MiB buffer is costly to get anew
  // each time under the sanitizers.
  static std::string bytes;
  static OutputFile out(&bytes);
  bytes.clear();
  dorvenix::SaveDictionary(dictionary, out);
  FUZZ_CHECK(out.Flush());
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Dictionary first;
  InputFile in = InputFile::FromMemory(std::string_view(reinterpret_cast<const char*>(data), size));
  dorvenix::LoadDictionary(first, in);  // a malformed line just ends the input
  const std::string saved = Save(first);

  Dictionary second;
  InputFile again = InputFile::FromMemory(saved, SmallBlockSize(data, size));
  const dorvenix::LoadResult result = dorvenix::LoadDictionary(second, again);
  FUZZ_CHECK(result.ok());
  FUZZ_CHECK(Save(second) == saved);

  const std::vector<dorvenix::WordEntry> entries = first.Entries();
  FUZZ_CHECK(entries == second.Entries());

  std::string lines;
  for (const dorvenix::WordEntry& e : entries) {
    lines += e.word;
    lines += ' ';
    lines += std::to_string(e.count);
    lines += '\n';
  }
  FUZZ_CHECK(lines == saved);
  return 0;
}
