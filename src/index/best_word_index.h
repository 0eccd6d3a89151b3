// BestWordIndex: answers "which known word does this scrambled word stand
// for?" for deciphering, from the words of one Dictionary.
//
// The index refers to the dictionary's words instead of copying them: for
// each key it holds the id of the key's best word and whether the key has
// other words, which the dictionary's own table then tells apart. Only the
// keys whose best words are seen most often, a few megabytes at most, get a
// record with copies of their words, so that ordinary text finds its answers
// in a few cache lines. So an index answers only for the dictionary it was
// made from, as that dictionary was then, and the dictionary must outlive
// it; asked after a change, it aborts the program (make a new index then).
//
// Inside (section.h), keys are split into sections of a few thousand words
// by their length and their first and last bytes, which every word of a key
// shares and which cost nothing to read. Nothing is built until a look-up
// needs it: a pass over the dictionary then fills every section a batch of
// words needs, so a short text pays for a few sections. Once a text needs a
// large share of them, or after a few such passes, the rest are filled at
// once, on several threads for a large dictionary (filler.h). Any number of
// threads may look up words at once; a thread that needs a section being
// filled waits.
#ifndef DORVENIX_INDEX_BEST_WORD_INDEX_H_
#define DORVENIX_INDEX_BEST_WORD_INDEX_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>

#include "dictionary/dictionary.h"
#include "dictionary/word_key.h"

namespace dorvenix {

namespace index_internal {
struct Section;
}  // namespace index_internal

class BestWordIndex {
 public:
  // How the index is laid out. The defaults suit every dictionary; tests
  // choose small values to reach every path with a small one.
  struct Shape {
    std::size_t section_words = 2048;  // words a section holds, about
    // Keys that get a record, at most. Records cost a little for a short
    // text and pay for a long one (callgrind, bench/index.sh's inputs): 64
    // MiB on brown.dict looks up for 1.20 G instructions, 1.26 G with 2^14
    // records, 1.75 G with none; 600 KB on english.dict takes 138 M in all,
    // 125 M with none, 206 M with 2^20.
    std::size_t recorded_keys = std::size_t{1} << 17;
    // Fewer words are filled on one thread: for english.dict's 163,395 and
    // the 600 KB text, two threads took 62 ms of CPU against 44 ms on one,
    // in the same wall time.
    std::size_t parallel_words = std::size_t{1} << 18;
    // Called at each step of a fill: before a word goes into a section, and
    // before a key's record is written. A test throws std::bad_alloc from it
    // to run out of memory there.
    std::function<void()> at_fill_step;
  };

  // An index of `dictionary` as it is now; nothing is filled yet. Filling
  // every section at once uses up to `threads` threads. Throws
  // std::bad_alloc when memory runs out.
  explicit BestWordIndex(const Dictionary& dictionary, unsigned threads = 1);
  BestWordIndex(const Dictionary& dictionary, unsigned threads, Shape shape);
  BestWordIndex(const BestWordIndex&) = delete;
  BestWordIndex& operator=(const BestWordIndex&) = delete;
  ~BestWordIndex();

  // Whether the index was made from the dictionary at `version`.
  bool DescribesVersion(std::uint64_t version) const { return version == version_; }

  // The known word that `word` (a possibly scrambled word) most likely stands
  // for: `word` itself when it is known or has 3 bytes or fewer; otherwise the
  // word with the same key and the highest count above 0, the smallest in
  // byte order on a tie; otherwise `word` unchanged. The result views either
  // `word` or storage of the index or of the dictionary. Throws
  // std::bad_alloc when memory runs out while a section is filled (a later
  // look-up fills it afresh).
  // REQUIRES: the dictionary has not changed since the index was made.
  std::string_view FindBestWord(std::string_view word) const;

  // answers[i] = FindBestWord(words[i]) for every i, faster than one by one.
  // REQUIRES: answers.size() >= words.size(), and as FindBestWord.
  void FindBestWords(std::span<const std::string_view> words,
                     std::span<std::string_view> answers) const;

  // A length that no word the index can answer with exceeds: a longer word
  // can only be answered with itself.
  std::size_t longest_word() const { return longest_word_; }

 private:
  using Section = index_internal::Section;
  class Filler;

  // The section of the key of `word` (more than 3 bytes): a hash of its
  // length and ends, which every word of a key shares.
  std::size_t SectionOf(std::string_view word) const {
    const auto ends = static_cast<std::uint32_t>(word.size()) << 16 ^
                      std::uint32_t{static_cast<unsigned char>(word.front())} << 8 ^
                      static_cast<unsigned char>(word.back());
    return static_cast<std::size_t>((std::uint64_t{ends * 0x9E3779B1u} * section_count_) >> 32);
  }
  // Checks that the dictionary has not changed since the index was made,
  // and fills the sections that `words` need and are still empty.
  void Ready(std::span<const std::string_view> words) const;
  void Prepare(std::span<const std::string_view> words) const;
  // The look-up itself, in a filled section.
  template <class RecordMatches, class EntryMatches>
  std::string_view Find(std::string_view word, const Section& section, std::uint64_t hash,
                        std::size_t head_size, RecordMatches&& record_matches,
                        EntryMatches&& entry_matches) const;
  // FindBestWord for a word of more than 3 bytes that has the LetterKey
  // `letters` and the KeyHash `hash`, in `section`.
  std::string_view FindByLetters(std::string_view word, const Section& section,
                                 const LetterKey& letters, std::uint64_t hash) const;
  // FindBestWord for a word of more than 3 bytes that has no LetterKey.
  std::string_view FindByKey(std::string_view word) const;

  const Dictionary& dictionary_;
  std::uint64_t version_;     // the dictionary's version when the index was made
  std::size_t longest_word_;  // the dictionary's longest word then
  unsigned threads_;          // for filling every section at once
  Shape shape_;
  std::size_t section_count_;  // at least 1
  std::unique_ptr<Section[]> sections_;
  mutable std::atomic<bool> filled_{false};  // every section is filled
  mutable std::mutex fill_mutex_;            // held while sections are filled
  // Guarded by fill_mutex_: the memory of every section's slots (made by the
  // first fill), and the passes over the dictionary so far.
  mutable std::unique_ptr<Filler> filler_;
};

}  // namespace dorvenix

#endif  // DORVENIX_INDEX_BEST_WORD_INDEX_H_
