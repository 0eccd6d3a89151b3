// The collision report: how ambiguous the dictionary is.
//
// A collision is a pair of known words that share a key, so that one
// scrambled word could stand for either ('form' and 'from'). The report lists
// each entry that shares its key with the entry before it in dictionary
// order, then the number of entries and the number of collisions:
//
//   Collision: beard(2) with bread(7)
//   Words loaded(excluding 3 letter words and shorter)=2
//   Collisions=1
#ifndef DORVENIX_DICTIONARY_REPORT_H_
#define DORVENIX_DICTIONARY_REPORT_H_

#include "base/status.h"
#include "dictionary/dictionary.h"
#include "io/output_file.h"

namespace dorvenix {

// Writes the report on `dictionary` to `out`, sorting on up to `threads`
// threads. A group of n words sharing a key gives n - 1 collision lines.
// Returns a failure to sort (memory running out), before anything is
// written; write failures are left in out.status().
Status PrintReport(const Dictionary& dictionary, OutputFile& out, unsigned threads = 1);

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_REPORT_H_
