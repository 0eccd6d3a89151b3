// EntryBuckets: the entries of one block sorted by dictionary partition, with
// their hashes, so that each partition's share can be added in one go
// (Dictionary::AddToPartition). The sort is stable: the entries of each
// partition keep their order. Views point where the caller's words do.
#ifndef DORVENIX_DICTIONARY_ENTRY_BUCKETS_H_
#define DORVENIX_DICTIONARY_ENTRY_BUCKETS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/hash.h"
#include "dictionary/dictionary.h"

namespace dorvenix {

class EntryBuckets {
 public:
  // Replaces the buckets' contents with the n entries (word_at(i),
  // count_at(i)).
  template <class WordAt, class CountAt>
  void Fill(std::size_t n, WordAt&& word_at, CountAt&& count_at) {
    hashes_.resize(n);
    for (std::size_t i = 0; i < n; ++i) hashes_[i] = HashBytes(word_at(i));
    Scatter(
        n, [&](std::size_t i) { return hashes_[i]; },
        [&](std::size_t i) {
          return Dictionary::HashedEntry::Of(word_at(i), count_at(i), hashes_[i]);
        });
  }

  // Replaces the buckets' contents with `entries`, whose hashes are known.
  void Fill(std::span<const Dictionary::HashedEntry> entries) {
    Scatter(
        entries.size(), [&](std::size_t i) { return entries[i].hash; },
        [&](std::size_t i) { return entries[i]; });
  }

  // The entries of partition p, in their original order.
  std::span<const Dictionary::HashedEntry> Of(std::size_t p) const {
    return {sorted_.data() + starts_[p], starts_[p + 1] - starts_[p]};
  }
  // Those of every partition, one after the other.
  std::span<const Dictionary::HashedEntry> all() const {
    return {sorted_.data(), starts_[Dictionary::kPartitions]};
  }

 private:
  // Sorts the n entries entry_at(i), whose hashes are hash_at(i), by
  // partition, stably.
  template <class HashAt, class EntryAt>
  void Scatter(std::size_t n, HashAt&& hash_at, EntryAt&& entry_at) {
    std::array<std::size_t, Dictionary::kPartitions> sizes{};
    for (std::size_t i = 0; i < n; ++i) ++sizes[Dictionary::PartitionOf(hash_at(i))];
    std::array<std::size_t, Dictionary::kPartitions> next;
    std::size_t start = 0;
    for (std::size_t p = 0; p < Dictionary::kPartitions; ++p) {
      starts_[p] = next[p] = start;
      start += sizes[p];
    }
    starts_[Dictionary::kPartitions] = start;
    sorted_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      sorted_[next[Dictionary::PartitionOf(hash_at(i))]++] = entry_at(i);
    }
  }

  std::vector<std::uint64_t> hashes_;            // of each entry, in the caller's order
  std::vector<Dictionary::HashedEntry> sorted_;  // by partition
  std::array<std::size_t, Dictionary::kPartitions + 1> starts_{};  // of each partition in sorted_
};

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_ENTRY_BUCKETS_H_
