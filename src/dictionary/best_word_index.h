// BestWordIndex: answers "which known word does this scrambled word stand
// for?" for deciphering, from the words of one Dictionary.
//
// The index holds no words: for each key it holds the id of the key's best
// word in the dictionary and whether the key has other words, and when it
// has, an exact match among them is found in the dictionary's own table. So
// an index answers only for the dictionary it was made from, as that
// dictionary was then: every look-up checks that the dictionary has not
// changed since, and throws std::logic_error when it has (make a new index
// then). The dictionary must outlive the index.
//
// Inside, keys are split by their hash into partitions of a few thousand,
// each an open-addressing table of 8-byte slots (a hash tag and an id). A
// partition is filled the first time a look-up needs it: one pass over the
// dictionary fills every partition a batch of words needs, so a short text
// pays for a few partitions; once a text has needed a large share of them,
// or a few passes were made, the rest are filled in one more pass. Any number of threads may look
// up words at once; the ones that need a partition being filled wait for it.
#ifndef DORVENIX_DICTIONARY_BEST_WORD_INDEX_H_
#define DORVENIX_DICTIONARY_BEST_WORD_INDEX_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>

#include "dictionary/dictionary.h"
#include "dictionary/word_key.h"

namespace dorvenix {

class BestWordIndex {
 public:
  // An index of `dictionary` as it is now; nothing is filled yet. Throws
  // std::bad_alloc when memory runs out.
  explicit BestWordIndex(const Dictionary& dictionary);
  BestWordIndex(const BestWordIndex&) = delete;
  BestWordIndex& operator=(const BestWordIndex&) = delete;
  ~BestWordIndex();

  // Whether the index was made from the dictionary at `version`.
  bool DescribesVersion(std::uint64_t version) const { return version == version_; }

  // The known word that `word` (a possibly scrambled word) most likely stands
  // for: `word` itself when it is known or has 3 bytes or fewer; otherwise the
  // word with the same key and the highest count above 0, the smallest in
  // byte order on a tie; otherwise `word` unchanged. The result views either
  // `word` or the dictionary's storage. Throws std::logic_error when the
  // dictionary changed since the index was made, std::bad_alloc when memory
  // runs out while a partition is filled (the look-up can be tried again).
  std::string_view FindBestWord(std::string_view word) const;

  // answers[i] = FindBestWord(words[i]) for every i, faster than one by one.
  // REQUIRES: answers.size() >= words.size().
  void FindBestWords(std::span<const std::string_view> words,
                     std::span<std::string_view> answers) const;

  // A length no word the index can answer with exceeds: a longer word can
  // only be answered with itself.
  std::size_t longest_word() const { return longest_word_; }

 private:
  struct Slot;
  struct Partition;

  std::size_t PartitionOf(std::uint64_t hash) const {
    return static_cast<std::size_t>(((hash >> 32) * partition_count_) >> 32);
  }
  // Fills the partitions that `words` need and are still empty.
  void Prepare(std::span<const std::string_view> words) const;
  // Fills the partitions p with wanted[p] set, in one pass over the
  // dictionary. Must hold fill_mutex_.
  void Fill(std::span<const bool> wanted) const;
  // The look-up itself, for a word whose partition is filled.
  template <class RecordMatches, class EntryMatches>
  std::string_view Find(std::string_view word, std::uint64_t hash, std::size_t head_size,
                        RecordMatches&& record_matches, EntryMatches&& entry_matches) const;
  // FindBestWord for a word of more than 3 bytes that has the LetterKey
  // `letters` and the KeyHash `hash`.
  std::string_view FindByLetters(std::string_view word, const LetterKey& letters,
                                 std::uint64_t hash) const;
  // FindBestWord for a word of more than 3 bytes that has no LetterKey.
  std::string_view FindByKey(std::string_view word) const;

  const Dictionary& dictionary_;
  std::uint64_t version_;        // the dictionary's version when the index was made
  std::size_t longest_word_;     // the dictionary's longest word then
  std::size_t partition_count_;  // at least 1
  std::size_t partition_slots_;  // slots per partition at first, a power of two
  std::unique_ptr<Partition[]> partitions_;
  Slot* slots_;                // partition_count_ * partition_slots_ slots, zeroed until filled
  std::size_t slots_bytes_;    // the size of that memory
  mutable std::atomic<bool> filled_{false};  // every partition is filled
  mutable std::mutex fill_mutex_;
  // Guarded by fill_mutex_: passes over the dictionary so far, and the count
  // from which a key gets a record (0 until the first pass).
  mutable unsigned passes_ = 0;
  mutable std::int32_t record_count_ = 0;
};

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_BEST_WORD_INDEX_H_
