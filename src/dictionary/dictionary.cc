#include "dictionary/dictionary.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "base/batches.h"
#include "base/parallel_for.h"
#include "dictionary/entry_order.h"

namespace dorvenix {
namespace {

void AddToCount(WordTable& table, WordTable::Ref ref, std::int32_t count) {
  std::int32_t sum;
  if (__builtin_add_overflow(table.Value(ref), count, &sum)) {
    sum = count > 0 ? std::numeric_limits<std::int32_t>::max()
                    : std::numeric_limits<std::int32_t>::min();
  }
  table.SetValue(ref, sum);
}

void Add(WordTable& table, std::string_view word, std::uint64_t hash, std::int32_t count) {
  bool added;
  const WordTable::Ref ref = table.FindOrAdd(word, hash, count, &added);
  if (!added) AddToCount(table, ref, count);
}

}  // namespace

void Dictionary::AddEntry(std::string_view word, std::int32_t count) {
  version_.fetch_add(1, std::memory_order_relaxed);
  const std::uint64_t hash = HashBytes(word);
  Add(partitions_[PartitionOf(hash)], word, hash, count);
}

// AddEntry(word_at(i), count_at(i)) for every i in [0, n) where keep(i), in
// order, with the memory of later words fetched while earlier ones are added.
template <class WordAt, class CountAt, class Keep>
void Dictionary::AddInBatches(std::size_t n, WordAt word_at, CountAt count_at, Keep keep) {
  version_.fetch_add(1, std::memory_order_relaxed);
  std::uint64_t hashes[kPrefetchBatch];
  VisitInPrefetchBatches(
      n,
      [&](std::size_t i) {
        const std::uint64_t hash = hashes[i % kPrefetchBatch] = HashBytes(word_at(i));
        partitions_[PartitionOf(hash)].Prefetch(hash);
      },
      [&](std::size_t i) {
        const std::uint64_t hash = hashes[i % kPrefetchBatch];
        partitions_[PartitionOf(hash)].PrefetchString(hash);
      },
      [&](std::size_t i) {
        const std::uint64_t hash = hashes[i % kPrefetchBatch];
        if (keep(i)) Add(partitions_[PartitionOf(hash)], word_at(i), hash, count_at(i));
      });
}

void Dictionary::AddWords(std::span<const std::string_view> words) {
  AddInBatches(
      words.size(), [&](std::size_t i) { return words[i]; }, [](std::size_t) { return 1; },
      [&](std::size_t i) { return IsStoredLength(words[i].size()); });
}

void Dictionary::AddEntries(std::span<const Entry> entries) {
  AddInBatches(
      entries.size(), [&](std::size_t i) { return entries[i].word; },
      [&](std::size_t i) { return entries[i].count; }, [](std::size_t) { return true; });
}

void Dictionary::AddToPartition(std::size_t p, std::span<const HashedEntry> entries) {
  version_.fetch_add(1, std::memory_order_relaxed);
  WordTable& table = partitions_[p];
  VisitInPrefetchBatches(
      entries.size(), [&](std::size_t i) { table.Prefetch(entries[i].hash); },
      [&](std::size_t i) { table.PrefetchString(entries[i].hash); },
      [&](std::size_t i) { Add(table, entries[i].word(), entries[i].hash, entries[i].count); });
}

std::optional<std::int32_t> Dictionary::CountOf(std::string_view word) const {
  const std::uint64_t hash = HashBytes(word);
  const WordTable& table = partitions_[PartitionOf(hash)];
  const WordTable::Ref ref = table.Find(word, hash);
  if (ref == WordTable::kNoRef) return std::nullopt;
  return table.Value(ref);
}

std::size_t Dictionary::size() const {
  std::size_t total = 0;
  for (const WordTable& table : partitions_) total += table.size();
  return total;
}

void Dictionary::MergeInOrder(unsigned threads,
                              const std::function<void(std::size_t, WordTable::Ref)>& f) const {
  std::array<std::vector<SortedEntry>, kPartitions> sorted;
  // A small dictionary sorts sooner than threads start.
  constexpr std::size_t kParallelSize = std::size_t{1} << 16;
  ParallelFor(kPartitions, size() < kParallelSize ? 1 : threads,
              [&](std::size_t p) { sorted[p] = SortInDictionaryOrder(partitions_[p]); });
  MergeSortedRuns(
      sorted, [&](std::size_t p, std::size_t i) { return partitions_[p].Word(sorted[p][i].ref); },
      [&](std::size_t p, std::size_t i) { f(p, sorted[p][i].ref); });
}

}  // namespace dorvenix
