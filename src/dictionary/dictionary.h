// Dictionary: every known word with the number of times it has been seen.
//
// The dictionary owns its words and never removes one: the views it hands
// out stay valid for its whole life. Counts are signed 32-bit and saturate at
// their limits instead of wrapping. Words of 3 bytes or fewer are never
// learnt (AddWord); a caller that adds entries directly decides itself.
//
// It holds words and counts and nothing else: choosing the best word for a
// scrambled one is the job of a BestWordIndex built from it, and dictionary
// order (by key, then by word) is produced by sorting once per traversal.
// Inside, words sit in a hash table keyed by the word itself. Not
// thread-safe for writing; concurrent reads are fine.
#ifndef DORVENIX_DICTIONARY_DICTIONARY_H_
#define DORVENIX_DICTIONARY_DICTIONARY_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "base/hash.h"
#include "dictionary/entry_order.h"
#include "dictionary/word_key.h"
#include "dictionary/word_table.h"

namespace dorvenix {

class Dictionary {
 public:
  Dictionary() = default;
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;

  // A word and a count to add to it.
  struct Entry {
    std::string_view word;
    std::int32_t count;
  };

  // Adds `count` to the count of `word`, inserting the word with that count
  // when it is new. Throws std::bad_alloc when memory runs out; what was
  // added before stays.
  void AddEntry(std::string_view word, std::int32_t count);

  // Counts one more sighting of `word`; a word of 3 bytes or fewer is ignored.
  void AddWord(std::string_view word) {
    if (IsStoredLength(word.size())) AddEntry(word, 1);
  }

  // AddWord for each of `words` and AddEntry for each of `entries`, in
  // order; faster than one by one.
  void AddWords(std::span<const std::string_view> words);
  void AddEntries(std::span<const Entry> entries);

  // The count of `word`, or nothing when the word is unknown.
  std::optional<std::int32_t> CountOf(std::string_view word) const;

  // Number of entries (distinct words).
  std::size_t size() const { return words_.size(); }

  // Changes whenever an entry is added or a count changes.
  std::uint64_t version() const { return version_; }

  // Calls f(word, count) for every entry, in no particular order.
  template <class F>
  void ForEach(F&& f) const {
    words_.ForEach([&](WordTable::Ref ref) { f(words_.Word(ref), words_.Value(ref)); });
  }

  // Calls f(word, count) for every entry in dictionary order: by key, then by
  // word, both as unsigned byte strings. Sorts once per call: O(n log n).
  template <class F>
  void ForEachInOrder(F&& f) const {
    for (const SortedEntry& entry : SortInDictionaryOrder(words_)) {
      f(words_.Word(entry.ref), words_.Value(entry.ref));
    }
  }

 private:
  // Adds `count` to the word at `ref`, saturating.
  void AddToCount(WordTable::Ref ref, std::int32_t count);

  WordTable words_;           // word -> count
  std::uint64_t version_ = 0;  // bumped by every change
};

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_DICTIONARY_H_
