#include "text/learn.h"

#include "text/word_batch.h"
#include "text/word_scanner.h"

namespace dorvenix {

bool LearnFromText(Dictionary& dictionary, InputFile& in, const ProgressFn& progress) {
  TextReader reader(in);
  WordBatch batch;
  for (TextBlock block = reader.Next(); !block.bytes.empty(); block = reader.Next()) {
    batch.Start(block.bytes.size());
    ScanWords(block.bytes, [&](std::string_view word) { batch.Add(word); });
    dictionary.AddWords(batch.words());
    if (progress) progress(in.consumed());
  }
  return in.error() == 0;
}

}  // namespace dorvenix
