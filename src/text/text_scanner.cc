#include "text/text_scanner.h"

namespace dorvenix {

bool LearnFromText(Dictionary& dictionary, InputFile& in, const ProgressFn& progress) {
  WordScanner scanner;
  auto learn = [&](std::string_view word) { dictionary.AddWord(word); };
  for (std::span<char> block = in.Next(); !block.empty(); block = in.Next()) {
    scanner.Feed(block, learn, [](std::string_view) {});
    if (progress) progress(in.consumed());
  }
  scanner.Finish(learn);
  return in.error() == 0;
}

bool DecipherText(const Dictionary& dictionary, InputFile& in, OutputFile& out,
                  const ProgressFn& progress) {
  WordScanner scanner;
  auto decipher = [&](std::string_view word) { out.Write(dictionary.FindBestWord(word)); };
  auto copy = [&](std::string_view separators) { out.Write(separators); };
  for (std::span<char> block = in.Next(); !block.empty(); block = in.Next()) {
    scanner.Feed(block, decipher, copy);
    if (progress) progress(in.consumed());
  }
  scanner.Finish(decipher);
  return in.error() == 0;
}

}  // namespace dorvenix
