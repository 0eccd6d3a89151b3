// One line of a dictionary file: "word count", parsed in place.
//
// The word is every byte up to the first space; the count follows after any
// number of blanks (space, tab, CR, VT, FF) as a signed decimal number within
// the signed 32-bit range, and after its digits comes a blank or the end of
// the line; anything after that blank is ignored. An empty line, or one
// holding just a CR, holds no entry.
#ifndef DORVENIX_DICTIONARY_ENTRY_LINE_H_
#define DORVENIX_DICTIONARY_ENTRY_LINE_H_

#include <string_view>

#include "dictionary/dictionary.h"

namespace dorvenix {

struct EntryLine {
  enum class Kind {
    kEntry,      // `entry` holds the line's word and count
    kSkip,       // an empty line, or a word of 3 bytes or fewer
    kMalformed,  // `reason` says what is wrong
  };
  Kind kind;
  Dictionary::Entry entry;  // views `line`
  const char* reason;
};

// Parses `line`, a line of a dictionary file without its line feed.
EntryLine ParseEntryLine(std::string_view line);

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_ENTRY_LINE_H_
