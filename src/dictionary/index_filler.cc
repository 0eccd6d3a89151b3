#include "dictionary/index_filler.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "base/huge_pages.h"
#include "base/parallel_for.h"
#include "dictionary/index_record.h"

namespace dorvenix {

using index_internal::kFlags;
using index_internal::kLine;
using index_internal::kOthers;
using index_internal::kRecorded;
using index_internal::LooksUp;
using index_internal::TagOf;

BestWordIndex::Filler::Filler(const BestWordIndex& index, unsigned threads) : index_(index) {
  // Words in each partition, and words by bit width of their positive
  // counts; each of the dictionary's partitions counted on its own.
  struct Counts {
    std::vector<std::size_t> words;
    std::size_t widths[32] = {};
  };
  std::vector<Counts> counts(Dictionary::kPartitions);
  ParallelFor(counts.size(), threads, [&](std::size_t wp) {
    Counts& c = counts[wp];
    c.words.resize(index.partition_count_);
    index.dictionary_.ForEachIn(
        wp, [&](Dictionary::EntryId, std::string_view word, std::int32_t count) {
          if (!LooksUp(word)) return;
          ++c.words[index.PartitionOf(word)];
          if (count > 0) ++c.widths[std::bit_width(static_cast<std::uint32_t>(count))];
        });
  });
  std::vector<std::size_t> words(index.partition_count_);
  std::size_t widths[32] = {};
  for (const Counts& c : counts) {
    for (std::size_t p = 0; p < words.size(); ++p) words[p] += c.words[p];
    for (std::size_t w = 0; w < 32; ++w) widths[w] += c.widths[w];
  }
  const std::size_t total = std::accumulate(words.begin(), words.end(), std::size_t{0});
  // The lowest power of two that at most recorded_keys words reach.
  std::size_t above = 0;
  int width = 31;
  while (width > 0 && above + widths[width] <= index.shape_.recorded_keys) above += widths[width--];
  record_count_ = std::int64_t{1} << width;

  // A large dictionary fills its slots further, to keep the index small
  // beside the dictionary; a small one has room to spare for short probes.
  const bool large = total > (std::size_t{1} << 20);
  std::size_t slots = 0;
  // Room for a partition's words, and at least one slot to spare.
  auto size_for = [&](std::size_t n) { return n + (large ? n / 4 : n) + 1; };
  for (const std::size_t n : words) slots += size_for(n);
  bytes_ = slots * sizeof(Slot);
  // Memory the kernel hands out zeroed, touched only where partitions are
  // filled.
  memory_ = static_cast<Slot*>(bytes_ >= kHugePageSize ? MapHugePages(bytes_)
                                                       : std::calloc(slots, sizeof(Slot)));
  if (memory_ == nullptr) throw std::bad_alloc();
  Slot* next = memory_;
  for (std::size_t p = 0; p < index.partition_count_; ++p) {
    Partition& partition = index.partitions_[p];
    partition.slots = next;
    partition.size = size_for(words[p]);
    next += partition.size;
  }
}

BestWordIndex::Filler::~Filler() {
  if (bytes_ >= kHugePageSize) {
    UnmapHugePages(memory_, bytes_);
  } else {
    std::free(memory_);
  }
}

// Each of the dictionary's partitions is a piece of work for whichever
// thread is free, so that a thread slowed by other work on its core holds
// up nothing; a partition of the index is locked while a word goes into it.
// Then each partition of the index gets its records, again on any thread.
void BestWordIndex::Filler::Fill(std::span<const bool> wanted, unsigned threads) {
  const std::size_t count = index_.partition_count_;
  // A partition that an earlier fill began and did not end (memory ran out)
  // is cleared first; the others are as the kernel handed them out.
  ++passes_;
  ParallelFor(count, threads, [&](std::size_t p) {
    Partition& partition = index_.partitions_[p];
    if (!wanted[p]) return;
    if (partition.begun) {
      std::memset(static_cast<void*>(partition.slots), 0, partition.size * sizeof(Slot));
      partition.records.clear();
    }
    partition.begun = true;
  });
  std::vector<Found> found(Dictionary::kPartitions);
  ParallelFor(found.size(), threads,
              [&](std::size_t wp) { Scan(wanted, wp, threads > 1, found[wp]); });
  // What the scans found, grouped by partition: the slots of partition p
  // from frequent[frequent_at[p]] on, its other words from others[others_at[p]] on.
  std::vector<std::size_t> frequent_at(count + 1), others_at(count + 1);
  for (const Found& f : found) {
    for (const Place& place : f.frequent) ++frequent_at[place.first + 1];
    for (const auto& [place, id] : f.others) ++others_at[place.first + 1];
  }
  std::partial_sum(frequent_at.begin(), frequent_at.end(), frequent_at.begin());
  std::partial_sum(others_at.begin(), others_at.end(), others_at.begin());
  std::vector<std::size_t> frequent(frequent_at[count]);
  std::vector<std::pair<std::size_t, Dictionary::EntryId>> others(others_at[count]);
  {
    std::vector<std::size_t> next_frequent(frequent_at.begin(), frequent_at.end() - 1);
    std::vector<std::size_t> next_other(others_at.begin(), others_at.end() - 1);
    for (Found& f : found) {
      for (const Place& place : f.frequent) frequent[next_frequent[place.first]++] = place.second;
      for (const auto& [place, id] : f.others) {
        others[next_other[place.first]++] = std::pair(place.second, id);
      }
      f = Found();
    }
  }
  ParallelFor(count, threads, [&](std::size_t p) {
    if (!wanted[p]) return;
    Record(p, std::span(frequent).subspan(frequent_at[p], frequent_at[p + 1] - frequent_at[p]),
           std::span(others).subspan(others_at[p], others_at[p + 1] - others_at[p]));
  });
  for (std::size_t p = 0; p < count; ++p) {
    if (wanted[p]) index_.partitions_[p].filled.store(true, std::memory_order_release);
  }
}

void BestWordIndex::Filler::Scan(std::span<const bool> wanted, std::size_t wp, bool locked,
                                 Found& found) const {
  const Dictionary& dictionary = index_.dictionary_;
  std::string scratch;
  // Adds the entry `id` with `word` and `count`, of the key with KeyHash
  // `hash`, to partition p: a new key takes an empty slot; a key met before
  // keeps the better of its best word and this one, and the other is kept
  // aside with the key's slot.
  auto insert = [&](std::size_t p, std::uint64_t hash, Dictionary::EntryId id,
                    std::string_view word, std::int32_t count) {
    Partition& partition = index_.partitions_[p];
    // Released however the insert ends: memory may run out in it.
    struct Hold {
      std::atomic_flag* lock;
      ~Hold() {
        if (lock != nullptr) lock->clear(std::memory_order_release);
      }
    } hold{locked ? &partition.lock : nullptr};
    if (locked) {
      while (partition.lock.test_and_set(std::memory_order_acquire)) {
      }
    }
    const std::uint32_t tag = TagOf(hash);
    std::size_t i = partition.Home(tag);
    for (; partition.slots[i].tag != 0; i = partition.Next(i)) {
      Slot& slot = partition.slots[i];
      if ((slot.tag & ~kFlags) != tag) continue;
      const std::string_view best = dictionary.Word(slot.target);
      if (!SameKey(best, word, &scratch)) continue;
      slot.tag |= kOthers;
      const std::int32_t best_count = dictionary.Count(slot.target);
      if (count > best_count || (count == best_count && word < best)) {
        found.others.emplace_back(Place(p, i), slot.target);
        slot.target = id;
        if (Earns(word, count) && !Earns(best, best_count)) {
          found.frequent.emplace_back(p, i);
        }
      } else {
        found.others.emplace_back(Place(p, i), id);
      }
      break;
    }
    if (partition.slots[i].tag == 0) {
      partition.slots[i] = Slot{tag, id};
      if (Earns(word, count)) found.frequent.emplace_back(p, i);
    }
  };
  // Entries wait in a small batch while the slots they go to are fetched.
  struct Pending {
    std::size_t partition;
    std::uint64_t hash;
    std::string_view word;
    Dictionary::EntryId id;
    std::int32_t count;
  };
  constexpr std::size_t kBatch = 32;
  Pending pending[kBatch];
  std::size_t waiting = 0;
  dictionary.ForEachIn(wp, [&](Dictionary::EntryId id, std::string_view word, std::int32_t count) {
    if (!LooksUp(word)) return;
    const std::size_t p = index_.PartitionOf(word);
    if (!wanted[p]) return;
    const Partition& partition = index_.partitions_[p];
    const std::uint64_t hash = KeyHash(word, MakeLetterKey(word));
    // The run of slots an insert reads seldom passes the next cache line.
    const std::size_t home = partition.Home(TagOf(hash));
    __builtin_prefetch(&partition.slots[home]);
    __builtin_prefetch(&partition.slots[std::min(home + kLine - 1, partition.size - 1)]);
    pending[waiting++] = Pending{p, hash, word, id, count};
    if (waiting < kBatch) return;
    for (const Pending& e : pending) insert(e.partition, e.hash, e.id, e.word, e.count);
    waiting = 0;
  });
  for (std::size_t j = 0; j < waiting; ++j) {
    const Pending& e = pending[j];
    insert(e.partition, e.hash, e.id, e.word, e.count);
  }
}

void BestWordIndex::Filler::Record(
    std::size_t p, std::span<const std::size_t> frequent,
    std::span<std::pair<std::size_t, Dictionary::EntryId>> others) const {
  if (frequent.empty()) return;
  const Dictionary& dictionary = index_.dictionary_;
  Partition& partition = index_.partitions_[p];
  // The keys with the highest counts, most frequent first.
  std::vector<std::pair<std::int32_t, std::size_t>> by_count;  // count, slot
  by_count.reserve(frequent.size());
  for (const std::size_t i : frequent) {
    by_count.emplace_back(dictionary.Count(partition.slots[i].target), i);
  }
  std::sort(by_count.begin(), by_count.end(), std::greater<>());
  std::sort(others.begin(), others.end());
  std::vector<std::string_view> words;
  std::string key;
  for (const auto& [count, i] : by_count) {
    Slot& slot = partition.slots[i];
    const std::string_view best = dictionary.Word(slot.target);
    words.clear();
    auto run = std::lower_bound(others.begin(), others.end(), std::pair(i, Dictionary::EntryId{0}));
    for (; run != others.end() && run->first == i; ++run)
      words.push_back(dictionary.Word(run->second));
    const LetterKey letters = MakeLetterKey(best);
    if (!letters.valid()) {
      key.resize(best.size());
      MakeWordKey(best, key.data());
    }
    slot.target = static_cast<std::uint32_t>(
        IndexRecord::Append(letters, key, best, words, &partition.records));
    slot.tag |= kRecorded;
  }
}

}  // namespace dorvenix
