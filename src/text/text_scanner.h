// Learning and deciphering free text, cut into words by WordScanner.
#ifndef DORVENIX_TEXT_TEXT_SCANNER_H_
#define DORVENIX_TEXT_TEXT_SCANNER_H_

#include <cstdint>
#include <functional>

#include "dictionary/dictionary.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "text/word_scanner.h"

namespace dorvenix {

// Called after each block with the bytes read so far.
using ProgressFn = std::function<void(std::uint64_t bytes_read)>;

// Adds every word of `in` to `dictionary` (AddWord: words of more than 3
// letters, one count per occurrence). Returns false when reading failed;
// in.error() tells why, and the words read before the failure stay learnt.
bool LearnFromText(Dictionary& dictionary, InputFile& in, const ProgressFn& progress = {});

// Writes `in` to `out` with each word replaced by dictionary.FindBestWord of
// its lowercase form and every separator byte copied unchanged. Returns false
// when reading failed (in.error() tells why); what was read before stays
// written.
bool DecipherText(const Dictionary& dictionary, InputFile& in, OutputFile& out,
                  const ProgressFn& progress = {});

}  // namespace dorvenix

#endif  // DORVENIX_TEXT_TEXT_SCANNER_H_
