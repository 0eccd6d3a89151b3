// BestWordIndex: answers "which known word does this scrambled word stand
// for?" for deciphering.
//
// Built from a Dictionary, and immutable once built: it holds its own copy of
// every word it can answer with, so its answers stay valid for as long as the
// index lives, whatever happens to the dictionary afterwards. An index built
// before a change to the dictionary answers for the dictionary as it was;
// DescribesVersion() tells whether it is still current. Any number of
// threads may look up words at once.
//
// Inside, one record for each key that has a word with a positive count
// (index_record.h). Every scrambling of a word meets the same small set of
// records, which stays in cache, and no scrambled form is ever stored.
// Records are laid out most frequent first.
#ifndef DORVENIX_DICTIONARY_BEST_WORD_INDEX_H_
#define DORVENIX_DICTIONARY_BEST_WORD_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/page_pool.h"
#include "dictionary/dictionary.h"
#include "dictionary/word_key.h"
#include "dictionary/word_table.h"

namespace dorvenix {

class BestWordIndex {
 public:
  // Indexes every key of `dictionary`. Throws std::bad_alloc when memory
  // runs out.
  explicit BestWordIndex(const Dictionary& dictionary);
  BestWordIndex(const BestWordIndex&) = delete;
  BestWordIndex& operator=(const BestWordIndex&) = delete;

  // Whether the index was built from the dictionary at `version`.
  bool DescribesVersion(std::uint64_t version) const { return version == version_; }

  // The known word that `word` (a possibly scrambled word) most likely stands
  // for: `word` itself when it is known or has 3 bytes or fewer; otherwise the
  // word with the same key and the highest count above 0, the smallest in
  // byte order on a tie; otherwise `word` unchanged. The result views either
  // `word` or the index's storage.
  std::string_view FindBestWord(std::string_view word) const {
    return IsStoredLength(word.size()) ? FindLong(word, MakeLetterKey(word)) : word;
  }

  // answers[i] = FindBestWord(words[i]) for every i, faster than one by one.
  // REQUIRES: answers.size() >= words.size().
  void FindBestWords(std::span<const std::string_view> words,
                     std::span<std::string_view> answers) const;

  // The length of the longest word the index can answer with: a longer word
  // can only be answered with itself.
  std::size_t longest_word() const { return longest_word_; }

 private:
  // FindBestWord for a word of more than 3 bytes whose LetterKey is `key`.
  std::string_view FindLong(std::string_view word, const LetterKey& key) const;
  // FindLong for a word that has a LetterKey.
  std::string_view FindByLetters(std::string_view word, const LetterKey& key) const;
  // FindLong for a word that has none.
  std::string_view FindByKey(std::string_view word) const;

  PagePool pool_;                                     // memory of the records and indexes
  WordTable by_letters_{Arena::kMaxWindows, &pool_};  // records filed by LetterKey
  WordTable by_key_{Arena::kMaxWindows, &pool_};      // records filed by the key itself
  std::uint64_t version_;                             // the dictionary's version when built
  std::size_t longest_word_ = 0;                      // the longest word with a record
};

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_BEST_WORD_INDEX_H_
