// The dictionary file: what dorvenix has learnt, kept between runs.
//
// Plain text, one entry per line: the word, one space, the count as a signed
// decimal number, a line feed. No header, no trailer; an empty dictionary is
// an empty file. Lines are in dictionary order (by key, then by word), so
// words that scramble alike stand on consecutive lines:
//
//   beard 2
//   bread 7
//   test 1
//
// The word is taken verbatim: any bytes but the space and the line feed,
// capitals kept, nothing trimmed. Reading adds each count to the word's count
// already held, so loading merges dictionaries. Words of 3 bytes or fewer are
// skipped. The count may be preceded by more blanks (spaces, tabs, CR, VT,
// FF) and followed by anything up to the line feed (a CR of a CRLF file,
// say), which is ignored. An empty line (or one holding just a CR) is
// skipped; a last line may lack its line feed.
#ifndef DORVENIX_DICTIONARY_DICTIONARY_FILE_H_
#define DORVENIX_DICTIONARY_DICTIONARY_FILE_H_

#include <cstdint>
#include <string>

#include "dictionary/dictionary.h"
#include "io/input_file.h"
#include "io/output_file.h"

namespace dorvenix {

struct LoadResult {
  int read_error = 0;          // errno of a failed open or read, 0 if none
  std::uint64_t bad_line = 0;  // 1-based number of a malformed line, 0 if none
  std::string reason;          // what is wrong with bad_line

  bool ok() const { return read_error == 0 && bad_line == 0; }
};

// Merges the entries of `in` into `dictionary`. Loading stops at the first
// malformed line (no space after the word; a count that is missing, not a
// number or outside the signed 32-bit range): that line adds nothing, the
// lines before it stay added, and the result names it. A read error stops
// loading likewise.
LoadResult LoadDictionary(Dictionary& dictionary, InputFile& in);

// Writes every entry of `dictionary` to `out`, in dictionary order. Write
// failures are left in out.error().
void SaveDictionary(const Dictionary& dictionary, OutputFile& out);

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_DICTIONARY_FILE_H_
