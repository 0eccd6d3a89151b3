// Undoing a run of adds (Dictionary::Undo, Dictionary::AddLog): the parts
// that need no replay of the adds, and taking one add off again.
#include <algorithm>
#include <vector>

#include "base/hash.h"
#include "dictionary/dictionary.h"

namespace dorvenix {

void Dictionary::RestoreSaturated(std::span<AddLog* const> logs) {
  // Latest first, so that the value before the first saturation is the one
  // that stays.
  for (std::size_t i = logs.size(); i-- > 0;) {
    const std::vector<AddLog::Saturated>& saturated = logs[i]->saturated_;
    for (auto it = saturated.rbegin(); it != saturated.rend(); ++it) {
      partitions_[it->id >> kRefBits].SetValue(it->id & kRefMask, it->before);
    }
  }
  for (AddLog* log : logs) {
    std::sort(log->saturated_.begin(), log->saturated_.end(), [](const auto& a, const auto& b) {
      return a.id != b.id ? a.id < b.id : a.position < b.position;
    });
  }
}

void Dictionary::DropAdded(std::span<AddLog* const> logs) {
  version_.fetch_add(1, std::memory_order_relaxed);
  for (std::size_t p = 0; p < kPartitions; ++p) {
    for (const AddLog* log : logs) {
      if ((log->touched_ >> p & 1) != 0) {
        partitions_[p].RollBack(log->marks_[p]);
        break;
      }
    }
  }
}

void Dictionary::TakeOff(std::span<AddLog* const> logs, std::size_t i, std::uint64_t position,
                         std::string_view word, std::int32_t count) {
  const std::uint64_t hash = HashBytes(word);
  const std::size_t p = PartitionOf(hash);
  WordTable& table = partitions_[p];
  const WordTable::Ref ref = table.Find(word, hash);
  if (ref == WordTable::kNoRef) return;
  // A count that saturated has its value from before, once the adds before
  // its first saturation are taken off.
  const EntryId id = IdOf(p, ref);
  for (std::size_t j = 0; j <= i; ++j) {
    const std::vector<AddLog::Saturated>& saturated = logs[j]->saturated_;
    const auto it =
        std::lower_bound(saturated.begin(), saturated.end(), id,
                         [](const AddLog::Saturated& s, EntryId key) { return s.id < key; });
    if (it != saturated.end() && it->id == id && (j < i || it->position <= position)) return;
  }
  // The count went from c to c + count without saturating: wrapping
  // arithmetic gets c back whatever order the adds are taken off in.
  table.SetValue(ref, static_cast<std::int32_t>(static_cast<std::uint32_t>(table.Value(ref)) -
                                                static_cast<std::uint32_t>(count)));
}

}  // namespace dorvenix
