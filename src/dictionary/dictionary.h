// Dictionary: every known word with the number of times it has been seen.
//
// Words are filed under their WordKey, so all the words a scrambled word may
// stand for are found together. The dictionary owns its words and never
// removes one; the words ForEachInOrder hands out stay valid for its whole
// life, and the answers of FindBestWord until the dictionary next changes.
// Counts are signed 32-bit and saturate at their limits instead of wrapping.
//
// Inside, words sit in a hash table keyed by the word itself (learning needs
// nothing else). The key index used by FindBestWord is built from it when a
// look-up first needs it after a change, and the (key, word) order used by the
// file writer and the report is produced by sorting once per traversal.
#ifndef DORVENIX_DICTIONARY_DICTIONARY_H_
#define DORVENIX_DICTIONARY_DICTIONARY_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/word_entry.h"
#include "dictionary/word_key.h"
#include "dictionary/word_table.h"

namespace dorvenix {

class Dictionary {
 public:
  Dictionary() = default;
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;

  // Adds entry.count to the count of entry.word, inserting the word with that
  // count when it is new. The word is filed under its own key (entry.key is
  // the same by construction).
  void AddEntry(const WordEntry& entry) { AddCount(entry.word, entry.count); }

  // AddEntry without building an entry: adds `count` to `word`'s count.
  void AddCount(std::string_view word, std::int32_t count) {
    bool added;
    const WordTable::Ref ref = words_.FindOrAdd(word, HashBytes(word), count, &added);
    if (!added) words_.SetValue(ref, SaturatingAdd(words_.Value(ref), count));
    lookups_valid_ = false;
  }

  // Counts one more sighting of `word`; a word of 3 bytes or fewer is ignored.
  void AddWord(std::string_view word) {
    if (IsStoredLength(word.size())) AddCount(word, 1);
  }

  // AddWord for each of `words`, faster than one by one: the table's memory
  // for the next words is fetched while the current ones are counted.
  void AddWords(std::span<const std::string_view> words);

  // A word and a count to add to it.
  struct WordCount {
    std::string_view word;
    std::int32_t count;
  };
  // AddCount for each of `counts`, in order, batched like AddWords.
  void AddCounts(std::span<const WordCount> counts);

  // The known word that `word` (a possibly scrambled word) most likely stands
  // for: `word` itself when it is known or has 3 bytes or fewer; otherwise the
  // word with the same key and the highest count above 0, the smallest in
  // byte order on a tie; otherwise `word` unchanged. The result views either
  // `word` or the dictionary's storage, valid until the dictionary changes.
  std::string_view FindBestWord(std::string_view word) const {
    return IsStoredLength(word.size()) ? FindBestLongWord(word) : word;
  }

  // answers[i] = FindBestWord(words[i]) for every i, faster than one by one.
  // REQUIRES: answers.size() >= words.size().
  void FindBestWords(std::span<const std::string_view> words,
                     std::span<std::string_view> answers) const;

  // The count of `word`, or nothing when the word is unknown.
  std::optional<std::int32_t> CountOf(std::string_view word) const;

  // Number of entries (distinct words).
  std::size_t size() const { return words_.size(); }

  // Calls f(word, count) for every entry in dictionary order: by key, then by
  // word, both as unsigned byte strings. Sorts once per call: O(n log n).
  template <class F>
  void ForEachInOrder(F&& f) const {
    for (const SortItem& item : SortedRefs()) f(words_.Word(item.ref), words_.Value(item.ref));
  }

  // Every entry in dictionary order, as full entries (for tests and tools).
  std::vector<WordEntry> Entries() const;

 private:
  static std::int32_t SaturatingAdd(std::int32_t a, std::int32_t b) {
    std::int32_t sum;
    if (__builtin_add_overflow(a, b, &sum)) {
      return b > 0 ? std::numeric_limits<std::int32_t>::max()
                   : std::numeric_limits<std::int32_t>::min();
    }
    return sum;
  }
  // An entry to sort: the first eight bytes of its key, and its word.
  struct SortItem {
    std::uint32_t prefix_high;
    std::uint32_t prefix_low;
    WordTable::Ref ref;
  };
  // All entries in dictionary order.
  std::vector<SortItem> SortedRefs() const;
  // Where the key index files a word's key: its inner letter product (0 when
  // it has none) and the hash of that.
  struct KeyProbe {
    std::uint64_t product;
    std::uint64_t hash;
  };
  KeyProbe ProbeFor(std::string_view word) const;
  // FindBestWord for a word of more than 3 bytes.
  std::string_view FindBestLongWord(std::string_view word) const {
    return FindBestLongWord(word, ProbeFor(word));
  }
  std::string_view FindBestLongWord(std::string_view word, const KeyProbe& probe) const;
  // FindBestLongWord for a word with an inner letter product.
  std::string_view FindByLetters(std::string_view word, const KeyProbe& probe) const;
  // The answer a key index record gives for `word`: `word` itself when it is
  // one of the record's other words, else the record's best word. `head` is
  // the number of bytes before the best word.
  static std::string_view Answer(const WordTable& table, WordTable::Ref record, std::size_t head,
                                 std::string_view word);
  // AddCount(word_at(i), count_at(i)) for each i in [0, n) where keep(i), in
  // order, with the memory of each batch fetched ahead.
  template <class WordAt, class CountAt, class Keep>
  void AddBatched(std::size_t n, WordAt word_at, CountAt count_at, Keep keep);
  // Builds the key index anew.
  void PrepareLookups() const;

  WordTable words_;  // word -> count

  // The key index, rebuilt when FindBestWord is first called after a change.
  // It holds a record for every key with a word of positive count: the key,
  // the best word (the highest count, the smallest word on a tie), then the
  // other words filed under the key, whose number is the record's value.
  // Every scrambling of a word meets the same small set of records, which
  // stays in cache, and scrambled forms are never stored. Keys that have an
  // inner letter product are filed by it (the record starts with the product,
  // the first and the last byte); the others by the key itself (the record
  // starts with the key).
  static constexpr std::size_t kLetterRecordHead = 10;
  mutable WordTable best_by_letters_;
  mutable WordTable best_by_key_;
  mutable bool lookups_valid_ = false;  // the key index matches words_
  mutable std::string key_scratch_;     // key buffer for long words
};

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_DICTIONARY_H_
