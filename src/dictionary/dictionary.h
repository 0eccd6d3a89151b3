// Dictionary: every known word with the number of times it has been seen.
//
// The dictionary owns its words and removes one only when the run of adds
// that brought it is undone (Undo): the views of the others stay valid for
// its whole life. Counts are signed 32-bit and saturate at their limits
// instead of wrapping. Words of 3 bytes or fewer are never learnt (AddWord);
// a caller that adds entries directly decides itself.
//
// It holds words and counts and nothing else: choosing the best word for a
// scrambled one is the job of a BestWordIndex built from it, and dictionary
// order (by key, then by word) is produced by sorting once per traversal.
//
// Inside, words sit in kPartitions hash tables keyed by the word itself; the
// top bits of a word's hash choose its table. So threads can add words to
// different partitions at once (AddToPartition) with no word held twice, and
// sort the partitions in parallel. Apart from that, not thread-safe for
// writing; concurrent reads are fine.
//
// A run of adds that cannot be finished (memory runs out) can be undone: an
// AddLog notes what the run changed, and Undo takes it back.
#ifndef DORVENIX_DICTIONARY_DICTIONARY_H_
#define DORVENIX_DICTIONARY_DICTIONARY_H_

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "base/hash.h"
#include "dictionary/entry_order.h"
#include "dictionary/word_key.h"
#include "memory/page_pool.h"
#include "table/word_table.h"

namespace dorvenix {

class Dictionary {
 public:
  static constexpr unsigned kPartitionBits = 5;
  static constexpr std::size_t kPartitions = std::size_t{1} << kPartitionBits;
  static std::size_t PartitionOf(std::uint64_t hash) { return hash >> (64 - kPartitionBits); }

  // A word and a count to add to it.
  struct Entry {
    std::string_view word;
    std::int32_t count;
  };
  // An entry with its word's HashBytes, packed into 24 bytes.
  struct HashedEntry {
    const char* data;
    std::uint32_t size;
    std::int32_t count;
    std::uint64_t hash;

    // Throws LimitReached for a word too long for the dictionary (whose size
    // would not fit either).
    static HashedEntry Of(std::string_view word, std::int32_t count, std::uint64_t hash) {
      WordTable::CheckWordSize(word.size());
      return {word.data(), static_cast<std::uint32_t>(word.size()), count, hash};
    }
    std::string_view word() const { return {data, size}; }
  };

  class AddLog;

  // An empty dictionary. A test may give each partition fewer than the
  // usual kPartitionWindows windows (see Arena), to reach the limit.
  explicit Dictionary(std::size_t partition_windows = kPartitionWindows);
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;

  // Adds `count` to the count of `word`, inserting the word with that count
  // when it is new. Throws std::bad_alloc when memory runs out; what was
  // added before stays.
  void AddEntry(std::string_view word, std::int32_t count);

  // Counts one more sighting of `word`; a word of 3 bytes or fewer is ignored.
  void AddWord(std::string_view word) {
    if (IsStoredLength(word.size())) AddEntry(word, 1);
  }

  // AddWord for each of `words`, AddEntry for each of `entries`, in order;
  // faster than one by one. When memory runs out or a limit is reached, the
  // words before stay added, and `log`, if given, holds what they changed.
  // REQUIRES: every one of `words` has more than 3 bytes.
  void AddWords(std::span<const std::string_view> words, AddLog* log = nullptr);
  void AddEntries(std::span<const Entry> entries, AddLog* log = nullptr);

  // AddEntry for each of `entries`, in order, as AddWords does.
  // REQUIRES: every entry is in partition p. Threads may add to distinct
  // partitions at once, as long as nothing else uses the dictionary then.
  void AddToPartition(std::size_t p, std::span<const HashedEntry> entries, AddLog* log = nullptr);

  // The count of `word`, or nothing when the word is unknown.
  std::optional<std::int32_t> CountOf(std::string_view word) const;

  // Number of entries (distinct words).
  std::size_t size() const;

  // Undoes the runs logged in `logs`, the latest adds to the dictionary, made
  // in the order of the logs: afterwards it holds what it held before the
  // first. replay(i, add) must call add(word, count) for the items added
  // under logs[i] by AddWords, AddEntries or AddToPartition, in the order
  // they were given (further items are passed over). Needs no memory; the
  // logs are left unusable until cleared.
  template <class Replay>
  void Undo(std::span<AddLog* const> logs, Replay&& replay);

  // Number of entries in partition p, and room there for `expected` in all
  // (WordTable::Reserve).
  std::size_t PartitionSize(std::size_t p) const { return partitions_[p].size(); }
  void ReservePartition(std::size_t p, std::size_t expected) { partitions_[p].Reserve(expected); }

  // Changes whenever an entry is added or a count changes.
  std::uint64_t version() const { return version_.load(std::memory_order_relaxed); }

  // An entry's id: its partition and its place there. Ids stay valid for the
  // dictionary's whole life.
  using EntryId = std::uint32_t;
  std::string_view Word(EntryId id) const {
    return partitions_[id >> kRefBits].Word(id & kRefMask);
  }
  std::int32_t Count(EntryId id) const { return partitions_[id >> kRefBits].Value(id & kRefMask); }
  // Asks the processor to fetch the word and count of `id`.
  void Prefetch(EntryId id) const { partitions_[id >> kRefBits].PrefetchRecord(id & kRefMask); }

  // Calls f(id, word, count) for every entry of partition p, in no particular
  // order.
  template <class F>
  void ForEachIn(std::size_t p, F&& f) const {
    const WordTable& table = partitions_[p];
    table.ForEach([&](WordTable::Ref ref) { f(IdOf(p, ref), table.Word(ref), table.Value(ref)); });
  }

  // The length of the longest word held.
  std::size_t longest_word() const;

  // Every entry in dictionary order: by key, then by word, both as unsigned
  // byte strings (SortedEntry::id is the EntryId). Sorts on up to `threads`
  // threads: O(n log n).
  SortedEntries InOrder(unsigned threads = 1) const;

 private:
  // An id holds the partition in its top bits and the Ref in the rest, so a
  // partition's arena has at most 2^(kRefBits - Arena::kOffsetBits) windows:
  // 512 MiB of words, 16 GiB in all (more where words are over 64 KiB).
  static constexpr unsigned kRefBits = 32 - kPartitionBits;
  static constexpr EntryId kRefMask = (EntryId{1} << kRefBits) - 1;
  static constexpr std::size_t kPartitionWindows = std::size_t{1}
                                                   << (kRefBits - Arena::kOffsetBits);
  static EntryId IdOf(std::size_t p, WordTable::Ref ref) {
    return static_cast<EntryId>(p << kRefBits | ref);
  }
  template <std::size_t... kIndex>
  static std::array<WordTable, kPartitions> MakePartitions(std::size_t windows, PagePool& pool,
                                                           std::index_sequence<kIndex...>) {
    return {{((void)kIndex, WordTable(pool, windows,
                                      "the dictionary is full: over 512 MiB of words fell into "
                                      "one of its 32 hash partitions"))...}};
  }

  // Adds `count` to the count of `word` in partition p, whose table is
  // `table`; a count that saturates is noted in *log, if given, as item
  // `position`. Inline: it is the inner step of every add.
  static void Add(WordTable& table, std::size_t p, std::string_view word, std::uint64_t hash,
                  std::int32_t count, AddLog* log, std::uint64_t position) {
    bool added;
    const WordTable::Ref ref = table.FindOrAdd(word, hash, count, &added);
    if (added) return;
    std::int32_t sum;
    if (AddOverflows(table.Value(ref), count, &sum)) [[unlikely]] {
      Saturate(table, p, ref, count, log, position);
    } else {
      table.SetValue(ref, sum);
    }
  }
  // The count of `ref` in partition p plus `count` overflows: holds it at
  // the limit, noted in *log, if given, as item `position`.
  [[gnu::cold]] static void Saturate(WordTable& table, std::size_t p, WordTable::Ref ref,
                                     std::int32_t count, AddLog* log, std::uint64_t position);
  // The parts of Undo that need no replay: every count that saturated goes
  // back to what it was before its first saturation, and the words the runs
  // added are dropped. Sorts each log's saturations by id and position.
  void RestoreSaturated(std::span<AddLog* const> logs);
  void DropAdded(std::span<AddLog* const> logs);
  // Takes `count` off the count of `word`, item `position` of logs[i], unless
  // the runs added the word (it is gone) or its count saturated at or before
  // that item.
  void TakeOff(std::span<AddLog* const> logs, std::size_t i, std::uint64_t position,
               std::string_view word, std::int32_t count);
  template <class WordAt, class CountAt, class HashAt>
  void AddInBatches(std::size_t n, WordAt word_at, CountAt count_at, HashAt hash_at,
                    std::size_t first, std::size_t end, AddLog* log);

  // Memory of the partitions' large blocks and indexes. Declared before
  // them so that it is destroyed after them: they give their memory back to
  // it.
  PagePool pool_;
  std::array<WordTable, kPartitions> partitions_;  // word -> count, by hash
  std::atomic<std::uint64_t> version_{0};          // bumped by every change
};

// What a run of adds to a dictionary changed, so that the run can be undone
// when it cannot be finished.
//
// Adds only insert words and change counts. So a log keeps, for each
// partition it touched, the partition as it was before (its words added
// later are dropped), and the few counts that saturated, with the value
// before. Every other count went up or down by exactly the count added and
// is brought back by taking it off again: undoing replays the adds, so the
// log stays small and logging costs next to nothing. A log is used by one
// thread at a time.
class Dictionary::AddLog {
 public:
  AddLog() = default;
  AddLog(const AddLog&) = delete;
  AddLog& operator=(const AddLog&) = delete;

  // Forgets the adds logged so far, to log a new run.
  void Clear() {
    touched_ = 0;
    saturated_.clear();
    added_ = 0;
  }
  // Whether any add has been logged since Clear().
  bool touched() const { return touched_ != 0; }

 private:
  friend class Dictionary;

  struct Saturated {
    EntryId id;
    std::int32_t before;     // the count before the add
    std::uint64_t position;  // the add's item among those of the run
  };

  // Keeps partition p as it is, unless the run has touched it already.
  void Touch(std::size_t p, const WordTable& table) {
    if ((touched_ >> p & 1) != 0) return;
    marks_[p] = table.mark();
    touched_ |= std::uint64_t{1} << p;
  }

  static_assert(kPartitions <= 64);
  std::uint64_t touched_ = 0;                         // bit p: marks_[p] is partition p before
  std::array<WordTable::Mark, kPartitions> marks_{};  // partitions before the run's first add
  std::vector<Saturated> saturated_;                  // in the order of the adds
  std::uint64_t added_ = 0;                           // items added
};

template <class Replay>
void Dictionary::Undo(std::span<AddLog* const> logs, Replay&& replay) {
  RestoreSaturated(logs);
  DropAdded(logs);
  for (std::size_t i = 0; i < logs.size(); ++i) {
    std::uint64_t position = 0;
    replay(i, [&](std::string_view word, std::int32_t count) {
      if (position < logs[i]->added_) TakeOff(logs, i, position, word, count);
      ++position;
    });
  }
}

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_DICTIONARY_H_
