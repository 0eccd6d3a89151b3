#include "dictionary/dictionary.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "dictionary/entry_order.h"
#include "table/batches.h"
#include "threads/parallel_for.h"

namespace dorvenix {

Dictionary::Dictionary(std::size_t partition_windows)
    : partitions_(
          MakePartitions(partition_windows, pool_, std::make_index_sequence<kPartitions>())) {}

void Dictionary::Saturate(WordTable& table, std::size_t p, WordTable::Ref ref, std::int32_t count,
                          AddLog* log, std::uint64_t position) {
  const std::int32_t before = table.Value(ref);
  if (log != nullptr) log->saturated_.push_back({IdOf(p, ref), before, position});
  table.SetValue(ref, count > 0 ? std::numeric_limits<std::int32_t>::max()
                                : std::numeric_limits<std::int32_t>::min());
}

void Dictionary::AddEntry(std::string_view word, std::int32_t count) {
  version_.fetch_add(1, std::memory_order_relaxed);
  const std::uint64_t hash = HashBytes(word);
  const std::size_t p = PartitionOf(hash);
  Add(partitions_[p], p, word, hash, count, nullptr, 0);
}

// AddEntry(word_at(i), count_at(i)) for every i in [0, n), in order, with
// the memory of later words fetched while earlier ones are added; hash_at(i)
// is the word's HashBytes. Every word is in the partitions [first, end),
// which *log, if given, keeps as they were before.
template <class WordAt, class CountAt, class HashAt>
void Dictionary::AddInBatches(std::size_t n, WordAt word_at, CountAt count_at, HashAt hash_at,
                              std::size_t first, std::size_t end, AddLog* log) {
  version_.fetch_add(1, std::memory_order_relaxed);
  if (log != nullptr) {
    for (std::size_t p = first; p < end; ++p) log->Touch(p, partitions_[p]);
  }
  const std::uint64_t before = log != nullptr ? log->added_ : 0;
  std::uint64_t added = 0;  // items so far
  std::uint64_t hashes[kPrefetchBatch];
  try {
    VisitInPrefetchBatches(
        n,
        [&](std::size_t i) {
          const std::uint64_t hash = hashes[i % kPrefetchBatch] = hash_at(i);
          partitions_[PartitionOf(hash)].Prefetch(hash);
        },
        [&](std::size_t i) {
          const std::uint64_t hash = hashes[i % kPrefetchBatch];
          partitions_[PartitionOf(hash)].PrefetchString(hash);
        },
        [&](std::size_t i) {
          const std::uint64_t hash = hashes[i % kPrefetchBatch];
          const std::size_t p = PartitionOf(hash);
          Add(partitions_[p], p, word_at(i), hash, count_at(i), log, before + added);
          ++added;
        });
  } catch (...) {
    if (log != nullptr) log->added_ = before + added;
    throw;
  }
  if (log != nullptr) log->added_ = before + added;
}

void Dictionary::AddWords(std::span<const std::string_view> words, AddLog* log) {
  AddInBatches(
      words.size(), [&](std::size_t i) { return words[i]; }, [](std::size_t) { return 1; },
      [&](std::size_t i) { return HashBytes(words[i]); }, 0, kPartitions, log);
}

void Dictionary::AddEntries(std::span<const Entry> entries, AddLog* log) {
  AddInBatches(
      entries.size(), [&](std::size_t i) { return entries[i].word; },
      [&](std::size_t i) { return entries[i].count; },
      [&](std::size_t i) { return HashBytes(entries[i].word); }, 0, kPartitions, log);
}

void Dictionary::AddToPartition(std::size_t p, std::span<const HashedEntry> entries, AddLog* log) {
  AddInBatches(
      entries.size(), [&](std::size_t i) { return entries[i].word(); },
      [&](std::size_t i) { return entries[i].count; },
      [&](std::size_t i) { return entries[i].hash; }, p, p + 1, log);
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

std::size_t Dictionary::longest_word() const {
  std::size_t longest = 0;
  for (const WordTable& table : partitions_) longest = std::max(longest, table.longest());
  return longest;
}

SortedEntries Dictionary::InOrder(unsigned threads) const {
  const std::function<std::string_view(std::uint32_t)> word_of = [this](EntryId id) {
    return Word(id);
  };
  auto entry_of = [](std::uint64_t prefix, EntryId id) {
    return SortedEntry{static_cast<std::uint32_t>(prefix >> 32), static_cast<std::uint32_t>(prefix),
                       id};
  };
  const std::size_t n = size();
  SortedEntries entries;
  // One thread, or a small dictionary, sorts sooner in one piece than in
  // buckets: in buckets, loading and saving 3.2 million words on one core,
  // or 50,000 on two, takes 8% longer.
  constexpr std::size_t kParallelSize = std::size_t{1} << 16;
  if (threads < 2 || n < kParallelSize) {
    entries.reserve(n);
    std::string key;
    for (std::size_t p = 0; p < kPartitions; ++p) {
      partitions_[p].ForEach([&](WordTable::Ref ref) {
        entries.push_back(entry_of(KeyPrefix(partitions_[p].Word(ref), &key), IdOf(p, ref)));
      });
    }
    SortEntries(entries, word_of);
    return entries;
  }

  // In parallel: each entry goes straight to the bucket of its first two
  // key bytes, and the buckets, which follow each other in dictionary order,
  // are sorted each on its own. Worker w takes the partitions w, w + workers,
  // ... and keeps its own count, then its own place, in every bucket.
  constexpr std::size_t kBuckets = std::size_t{1} << 16;
  const std::size_t workers = std::min<std::size_t>(threads, kPartitions);
  std::vector<std::vector<std::uint32_t>> places(workers, std::vector<std::uint32_t>(kBuckets));
  ParallelFor(workers, threads, [&](std::size_t w) {
    for (std::size_t p = w; p < kPartitions; p += workers) {
      partitions_[p].ForEach(
          [&](WordTable::Ref ref) { ++places[w][KeyPrefix16(partitions_[p].Word(ref))]; });
    }
  });
  std::vector<std::pair<std::size_t, std::size_t>> buckets;  // [begin, end) of each
  std::size_t at = 0;
  for (std::size_t b = 0; b < kBuckets; ++b) {
    const std::size_t begin = at;
    for (std::size_t w = 0; w < workers; ++w) {
      const std::uint32_t count = places[w][b];
      places[w][b] = static_cast<std::uint32_t>(at);
      at += count;
    }
    if (at - begin > 1) buckets.emplace_back(begin, at);
  }
  entries.resize(n);
  ParallelFor(workers, threads, [&](std::size_t w) {
    std::string key;
    for (std::size_t p = w; p < kPartitions; p += workers) {
      partitions_[p].ForEach([&](WordTable::Ref ref) {
        const std::uint64_t prefix = KeyPrefix(partitions_[p].Word(ref), &key);
        entries[places[w][prefix >> 48]++] = entry_of(prefix, IdOf(p, ref));
      });
    }
  });
  // The largest buckets first, so that the threads finish together.
  std::sort(buckets.begin(), buckets.end(),
            [](const auto& a, const auto& b) { return a.second - a.first > b.second - b.first; });
  ParallelFor(buckets.size(), threads, [&](std::size_t i) {
    SortEntries(std::span(entries).subspan(buckets[i].first, buckets[i].second - buckets[i].first),
                word_of);
  });
  return entries;
}

}  // namespace dorvenix
