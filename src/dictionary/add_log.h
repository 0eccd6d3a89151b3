// Dictionary::AddLog: what a run of adds to a dictionary changed, so that
// the run can be undone when it cannot be finished.
//
// Adds only insert words and change counts. So a log keeps, for each
// partition it touched, the partition as it was before (its words added
// later are dropped), and the few counts that saturated, with the value
// before. Every other count went up or down by exactly the count added and
// is brought back by taking it off again: undoing replays the adds, so the
// log stays small and logging costs next to nothing. A log is used by one
// thread at a time.
#ifndef DORVENIX_DICTIONARY_ADD_LOG_H_
#define DORVENIX_DICTIONARY_ADD_LOG_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "dictionary/dictionary.h"
#include "table/word_table.h"

namespace dorvenix {

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

  // Undoes the runs logged in `logs`, the latest adds to `dictionary`, made
  // in the order of the logs: afterwards it holds what it held before the
  // first. replay(i, add) must call add(word, count) for the items added
  // under logs[i] by AddWords (its words of more than 3 bytes; shorter ones
  // are not added), AddEntries or AddToPartition, in the order they were
  // given (further items are passed over). Needs no memory; the logs
  // are left unusable until cleared.
  template <class Replay>
  static void Undo(Dictionary& dictionary, std::span<AddLog* const> logs, Replay&& replay) {
    RestoreSaturated(dictionary, logs);
    DropAdded(dictionary, logs);
    for (std::size_t i = 0; i < logs.size(); ++i) {
      std::uint64_t position = 0;
      replay(i, [&](std::string_view word, std::int32_t count) {
        if (position < logs[i]->added_) TakeOff(dictionary, logs, i, position, word, count);
        ++position;
      });
    }
  }

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

  // Sets every count that saturated back to what it was before its first
  // saturation, and sorts each log's saturations by id and position.
  static void RestoreSaturated(Dictionary& dictionary, std::span<AddLog* const> logs);
  // Drops the words added by the runs.
  static void DropAdded(Dictionary& dictionary, std::span<AddLog* const> logs);
  // Takes `count` off the count of `word`, item `position` of logs[i], unless
  // the runs added the word (it is gone) or its count saturated at or before
  // that item.
  static void TakeOff(Dictionary& dictionary, std::span<AddLog* const> logs, std::size_t i,
                      std::uint64_t position, std::string_view word, std::int32_t count);

  static_assert(kPartitions <= 64);
  std::uint64_t touched_ = 0;                         // bit p: marks_[p] is partition p before
  std::array<WordTable::Mark, kPartitions> marks_{};  // partitions before the run's first add
  std::vector<Saturated> saturated_;                  // in the order of the adds
  std::uint64_t added_ = 0;                           // items added
};

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_ADD_LOG_H_
