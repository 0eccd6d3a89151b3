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
// skipped. How one line is read is told in entry_line.h. A UTF-8 byte order
// mark at the start of the file is skipped, and a last line may lack its
// line feed.
#ifndef DORVENIX_DICTIONARY_DICTIONARY_FILE_H_
#define DORVENIX_DICTIONARY_DICTIONARY_FILE_H_

#include "base/status.h"
#include "dictionary/dictionary.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "threads/work_plan.h"

namespace dorvenix {

// Merges the entries of `in` into `dictionary`, parsing as `plan` says (a
// file of fewer than 8 blocks on the calling thread alone); the dictionary
// ends up the same whatever the plan. Loading stops at the first malformed line:
// that line adds nothing, the lines before it stay added, and the result
// names it. A read error, memory running out or a limit reached stop loading
// likewise, and the result says which.
Status LoadDictionary(Dictionary& dictionary, InputFile& in, const WorkPlan& plan = {});

// Writes every entry of `dictionary` to `out`, in dictionary order, sorting
// on up to `threads` threads. Returns a failure to sort (memory running out);
// write failures are left in out.status().
Status SaveDictionary(const Dictionary& dictionary, OutputFile& out, unsigned threads = 1);

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_DICTIONARY_FILE_H_
