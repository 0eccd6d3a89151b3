// Loads arbitrary bytes as a dictionary file, saves it, and loads the saved
// bytes again in small blocks.
//
// Invariants: the saved file loads without complaint into the same entries
// and saves to the same bytes, one "word count" line per entry in dictionary
// order. Not when the saved file starts with a word that starts with a UTF-8
// byte order mark: loading skips those bytes.
#include "dictionary/dictionary_file.h"
#include "fuzz_check.h"
#include "test_support.h"

namespace {

std::string Save(const dorvenix::Dictionary& dictionary) {
  std::string bytes;
  dorvenix::OutputFile out(&bytes);
  FUZZ_CHECK(dorvenix::SaveDictionary(dictionary, out).ok());
  FUZZ_CHECK(out.Flush());
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dorvenix;
  Dictionary first, second;
  testing::TextInput in(std::string_view(reinterpret_cast<const char*>(data), size));
  (void)LoadDictionary(first, in);  // a malformed line just ends the input
  const std::string saved = Save(first);
  if (saved.starts_with("\xEF\xBB\xBF")) return 0;
  testing::TextInput again(saved, SmallBlockSize(data, size));
  FUZZ_CHECK(LoadDictionary(second, again).ok());
  FUZZ_CHECK(Save(second) == saved);
  FUZZ_CHECK(testing::Listing(first) == saved);
  return 0;
}
